// PyDataSet: a data set as the Python module holds it (the DataSet class).
//
// It owns its Data. Rows are handed to Python in slot order, which for a set
// made from arrays or read from a file is the order of its rows. Not
// thread-safe: every use holds the GIL.
#ifndef NETFORGE_PYTHON_PYDATASET_H
#define NETFORGE_PYTHON_PYDATASET_H

#include <memory>

#include "DataObject/Data.h"

namespace nfpy {

struct PyDataSet {
  std::unique_ptr<Data> data;
};

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_PYDATASET_H
