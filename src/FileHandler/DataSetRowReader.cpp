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
  return SUCCESS;
}

bool DataSetRowReader::MissingRows() const { return state_->block.noRows; }
long DataSetRowReader::Rows() const { return state_->block.shape.rows; }
long DataSetRowReader::Inputs() const { return state_->block.shape.inputs; }
long DataSetRowReader::ExpectedOutputs() const { return state_->block.shape.expected; }
long DataSetRowReader::GeneratedOutputs() const { return state_->block.shape.generated; }
long DataSetRowReader::Errors() const { return state_->block.shape.errors; }
bool DataSetRowReader::FirstLabels() const { return state_->block.shape.labels1; }
bool DataSetRowReader::SecondLabels() const { return state_->block.shape.labels2; }
bool DataSetRowReader::HasFirst() const { return state_->block.shape.HasFirst(); }
bool DataSetRowReader::HasSecond() const { return state_->block.shape.HasSecond(); }
long DataSetRowReader::RowsLeft() const { return state_->block.shape.rows - state_->rowsRead; }

long DataSetRowReader::ReadRows(long maxRows, Data** first, Data** second) {
  NF_ASSERT(state_ != nullptr && state_->block.shape.rows >= 0 && maxRows >= 0);
  State& s = *state_;
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
  return rows;
}
