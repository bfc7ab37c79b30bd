#include "FileHandler/DataBlock.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>

#include "DataObject/Data.h"
#include "DataObject/TLabelList.h"
#include "FileHandler/Filer.h"

namespace Netforge::detail {

namespace {

using Traits = std::char_traits<char>;

constexpr const char* kCannotStepBack = "Cannot step back in the data set file";

std::streamoff FileSize(std::istream& in) {
  in.seekg(0, std::ios_base::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios_base::beg);
  return size < 0 ? 0 : size;
}

}  // namespace

bool Readable(std::ifstream& in) {
  if (!in.is_open()) return false;
  in.peek();  // an empty file sets only eofbit
  if (in.bad()) return false;
  in.clear();
  return true;
}

std::streamoff ReadPosition(FileTools& tools, std::istream& in) {
  if (in.eof() && !in.bad()) in.clear();
  const std::streamoff position = in.tellg();
  if (position < 0) tools.Fail(in, "Cannot tell the position in the data set file");
  return position;
}

int OpenDataBlock(FileTools& tools, std::istream& in, DataBlock& block) {
  block.fileSize = FileSize(in);
  tools.BeginReading(in);
  block.dataSetName = tools.ExpectBlock(tools.ReadStatement(in, nullptr, false), in, "DATASET");

  Shape& shape = block.shape;
  Statement statement;
  const int status = tools.ReadDataSetHeader(in, &shape.inputs, &shape.expected, &shape.generated,
                                             &shape.errors, &shape.rows, &statement);
  if (status != SUCCESS) return status;
  if (shape.rows < 0) {
    block.noRows = true;  // the number of rows is unknown
    return FORMAT_ERROR;
  }
  block.dataName = tools.ExpectBlock(statement, in, "DATA");
  block.start = ReadPosition(tools, in);

  shape.labels1 = shape.expected == -1;
  shape.labels2 = shape.generated == -1;
  if (shape.expected < 0) shape.expected = 0;
  if (shape.generated < 0) shape.generated = 0;
  return SUCCESS;
}

void CheckRowsFit(FileTools& tools, std::istream& in, const DataBlock& block, std::streamoff position, long rows,
                  const char* message) {
  if (rows <= 0) return;
  const unsigned long long perRow = block.shape.MinRowBytes();
  const std::streamoff left = block.fileSize - position;
  if (perRow == 0) return;  // no data set: nothing is read or stored per row
  if (left <= 0 || static_cast<unsigned long long>(rows) > static_cast<unsigned long long>(left) / perRow) {
    tools.Fail(in, message);
  }
}

void RebaseOnFileStart(std::istream& in, std::streamoff origin, FileTools::Error& error) {
  if (error.line <= 0) return;
  in.clear();
  in.seekg(0, std::ios_base::beg);
  std::int64_t lines_before = 0;
  std::int64_t column_of_origin = 0;
  std::streambuf* buf = in.rdbuf();
  for (std::streamoff i = 0; i < origin; ++i) {
    const int c = buf->sbumpc();
    if (c == Traits::eof()) return;
    ++column_of_origin;
    if (c == '\n') {
      ++lines_before;
      column_of_origin = 0;
    }
  }
  if (error.line == 1) error.column += column_of_origin;
  error.line += lines_before;
}

void MakeDataSets(const Shape& shape, long rows, Data** first, Data** second) {
  if (first != nullptr && shape.HasFirst()) *first = new Data(rows, shape.inputs, shape.expected, shape.labels1);
  if (second != nullptr && shape.HasSecond()) *second = new Data(rows, shape.generated, shape.errors, shape.labels2);
}

void ReadDataBlockEnd(FileTools& tools, std::istream& in, const DataBlock& block) {
  tools.ExpectEnd(tools.ReadStatement(in, block.dataName.c_str(), false), in);
  tools.ExpectEnd(tools.ReadStatement(in, block.dataSetName.c_str(), false), in);
  tools.ExpectEnd(tools.ReadStatement(in, nullptr, false), in);
}

void RowReader::ReadRow(long row, Data* first, Data* second) {
  inputs_.resize(static_cast<std::size_t>(shape_.inputs));
  expected_.resize(static_cast<std::size_t>(shape_.expected));
  generated_.resize(static_cast<std::size_t>(shape_.generated));
  errors_.resize(static_cast<std::size_t>(shape_.errors));

  std::unique_ptr<TLabelList> labels1;
  std::unique_ptr<TLabelList> labels2;
  ReadNumbers(inputs_);
  ReadNumbers(expected_);
  if (shape_.labels1 && LabelListFollows()) labels1.reset(tools_.ReadLabels(in_));
  ReadNumbers(generated_);
  // Without the first list taken, a "[" here may still be that list.
  if (shape_.labels2 && (!shape_.labels1 || labels1) && LabelListFollows()) {
    labels2.reset(tools_.ReadLabels(in_));
  }
  ReadNumbers(errors_);

  if (first != nullptr) {
    first->AppendRow(inputs_.data(), expected_.data(), nullptr);
    if (shape_.labels1) {
      if (!labels1) labels1.reset(tools_.ReadLabels(in_));
      first->SetLabels(row, labels1.get());
    }
  }
  if (second != nullptr) {
    second->AppendRow(generated_.data(), errors_.data(), nullptr);
    if (shape_.labels2) {
      if (!labels2) labels2.reset(tools_.ReadLabels(in_));
      second->SetLabels(row, labels2.get());
    }
  }
}

void RowReader::ReadNumbers(std::vector<double>& values) {
  for (double& value : values) {
    value = tools_.GetNumberToken(tools_.ReadStatement(in_, blockdef_.c_str(), false), in_);
  }
}

bool RowReader::LabelListFollows() {
  if (tools_.PeekToken(in_) != '[') return false;
  std::streambuf* buf = in_.rdbuf();
  buf->sbumpc();
  const int next = buf->sgetc();
  if (buf->sungetc() == Traits::eof()) tools_.Fail(in_, kCannotStepBack);
  return next != '~';
}

}  // namespace Netforge::detail
