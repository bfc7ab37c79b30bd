// The data set file reader: whole files, header identification, and runs of
// rows from byte offsets the reader itself returned (and one taken from the
// input).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FuzzTempFile.h"
#include "KQmessage/KQML.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = FuzzTempName(0);
  WriteWholeFile(name, reinterpret_cast<const char*>(data), size);
  FileTools tools;

  {
    // Data sets already made belong to the caller even when reading fails.
    Data* first = nullptr;
    Data* second = nullptr;
    try {
      tools.ReadDataSet(name.c_str(), &first, &second, nullptr);
    } catch (const FileTools::Error&) {
    }
    delete first;
    delete second;
  }

  try {
    std::unique_ptr<TKQstructure> kind(tools.IdentifyFile(name.c_str()));
  } catch (const FileTools::Error&) {
  }

  // Runs of rows: two rows at a time from the start, then from an offset
  // chosen by the input's first byte.
  long offset = 0;
  for (int run = 0; run < 3; ++run) {
    long rows = 2;
    Data* first = nullptr;
    Data* second = nullptr;
    int status = SUCCESS;
    try {
      status = tools.ReadDataSetRows(name.c_str(), &offset, &rows, &first, &second);
    } catch (const FileTools::Error&) {
      status = FORMAT_ERROR;
    }
    delete first;
    delete second;
    if (status != SUCCESS) break;
  }
  offset = size > 0 ? data[0] : 0;
  long rows = 1;
  Data* first = nullptr;
  try {
    tools.ReadDataSetRows(name.c_str(), &offset, &rows, &first);
  } catch (const FileTools::Error&) {
  }
  delete first;
  return 0;
}
