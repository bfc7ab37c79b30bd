#include "FileHandler/DataSetRowReader.h"

#include <algorithm>
#include <fstream>

#include "Common/Assert.h"
#include "FileHandler/DataBlock.h"
#include "FileHandler/Filer.h"

using Netforge::detail::DataBlock;

// The open file and where reading stands in it. One FileTools reads the one
// stream from its top, so its line count is the file's.
struct DataSetRowReader::State {
  std::ifstream in;
  FileTools tools;
  DataBlock block;
  long rowsRead = 0;
  bool endChecked = false;
  bool readable = false;  // Open succeeded and no read has failed since
};

DataSetRowReader::DataSetRowReader() = default;
DataSetRowReader::~DataSetRowReader() = default;

int DataSetRowReader::Open(const char* filename) {
  NF_ASSERT(state_ == nullptr);
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.in.open(filename, std::ios_base::in | std::ios_base::binary);
  if (!Netforge::detail::Readable(s.in)) return FILE_OPEN_FAILED;
  const int status = Netforge::detail::OpenDataBlock(s.tools, s.in, s.block);
  if (status != SUCCESS) return status;
  Netforge::detail::CheckRowsFit(s.tools, s.in, s.block, s.block.start, s.block.shape.rows,
                                 Netforge::detail::kHeaderOverstatesRows);
  s.readable = true;
  return SUCCESS;
}

const DataSetRowReader::State& DataSetRowReader::Opened() const {
  NF_ASSERT(state_ != nullptr);  // Open comes first
  return *state_;
}

bool DataSetRowReader::MissingRows() const { return Opened().block.noRows; }
long DataSetRowReader::Rows() const { return Opened().block.shape.rows; }
long DataSetRowReader::Inputs() const { return Opened().block.shape.inputs; }
long DataSetRowReader::ExpectedOutputs() const { return Opened().block.shape.expected; }
long DataSetRowReader::GeneratedOutputs() const { return Opened().block.shape.generated; }
long DataSetRowReader::Errors() const { return Opened().block.shape.errors; }
bool DataSetRowReader::FirstLabels() const { return Opened().block.shape.labels1; }
bool DataSetRowReader::SecondLabels() const { return Opened().block.shape.labels2; }
bool DataSetRowReader::HasFirst() const { return Opened().block.shape.HasFirst(); }
bool DataSetRowReader::HasSecond() const { return Opened().block.shape.HasSecond(); }
long DataSetRowReader::RowsLeft() const { return Opened().block.shape.rows - Opened().rowsRead; }

long DataSetRowReader::ReadRows(long maxRows, Data** first, Data** second) {
  // Reading on after a failed Open or a failed run would read from an
  // unknown place in the file.
  NF_ASSERT(state_ != nullptr && state_->readable && maxRows >= 0);
  State& s = *state_;
  s.readable = false;  // until this run has been read whole
  const Netforge::detail::Shape& shape = s.block.shape;
  if (first != nullptr) *first = nullptr;
  if (second != nullptr) *second = nullptr;

  const long rows = std::min(maxRows, RowsLeft());
  Netforge::detail::MakeDataSets(shape, rows, first, second);
  if (shape.MinRowBytes() > 0) {
    Netforge::detail::RowReader reader(s.tools, s.in, s.block);
    Data* keptFirst = first != nullptr ? *first : nullptr;
    Data* keptSecond = second != nullptr ? *second : nullptr;
    for (long row = 0; row < rows; ++row) reader.ReadRow(row, keptFirst, keptSecond);
  }
  s.rowsRead += rows;
  if (RowsLeft() == 0 && !s.endChecked) {
    Netforge::detail::ReadDataBlockEnd(s.tools, s.in, s.block);
    s.endChecked = true;
  }
  s.readable = true;
  return rows;
}
