// The data set file operations of FileTools: reading whole files or runs of
// rows, writing in three passes (header, rows, end) and telling a file's kind.
//
// Files are opened in binary mode so that the offsets ReadDataSetRows hands
// out are plain byte counts. Numbers go through Common/NumberText and every
// write is unformatted, so no locale can change a byte that is read or
// written.
#include "FileHandler/Filer.h"

#include <fstream>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "Common/Assert.h"
#include "Common/NumberText.h"
#include "Common/StrCase.h"
#include "DataObject/Data.h"
#include "DataObject/TLabelList.h"
#include "KQmessage/KQML.h"

namespace {

using Traits = std::char_traits<char>;

constexpr const char* kLabelListExpected = "Label list expected";
constexpr const char* kHeaderOverstatesRows = "Data set header announces more rows than the file holds";
constexpr const char* kRequestOverstatesRows = "More rows requested than the data set file holds";
constexpr const char* kOffsetOutsideData = "Offset lies outside the data block";
constexpr const char* kCannotStepBack = "Cannot step back in the data set file";


// What a header announces, with "Labels" turned into a flag and negative
// output counts into 0.
struct Shape {
  long rows = -1;
  long inputs = 0;
  long expected = 0;
  long generated = 0;
  long errors = 0;
  bool labels1 = false;
  bool labels2 = false;

  bool HasFirst() const { return inputs != 0 || expected != 0 || labels1; }
  bool HasSecond() const { return generated != 0 || errors != 0 || labels2; }

  // The fewest bytes one row can take in a file: a number is at least one
  // character, a label list at least "[]".
  unsigned long long MinRowBytes() const {
    return static_cast<unsigned long long>(inputs) + static_cast<unsigned long long>(expected) +
           static_cast<unsigned long long>(generated) + static_cast<unsigned long long>(errors) +
           2ULL * (labels1 ? 1 : 0) + 2ULL * (labels2 ? 1 : 0);
  }
};

// The part of a data set file in front of the rows.
// Whether a file opened for reading can really be read: a folder opens like
// a file on some systems and fails only at the first read, which the
// tokenizer (reading the buffer directly) would meet as an exception.
bool Readable(std::ifstream& in) {
  if (!in.is_open()) return false;
  in.peek();  // an empty file sets only eofbit
  if (in.bad()) return false;
  in.clear();
  return true;
}

struct DataBlock {
  Shape shape;
  std::string dataSetName;  // block names as written, for the end tags
  std::string dataName;
  std::streamoff start = 0;     // position just after the [Data] tag
  std::streamoff fileSize = 0;
};

std::streamoff FileSize(std::istream& in) {
  in.seekg(0, std::ios_base::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios_base::beg);
  return size < 0 ? 0 : size;
}

// The current read position; at the end of input (eofbit set) the stream is
// cleared first, as tellg refuses to answer otherwise.
std::streamoff ReadPosition(FileTools& tools, std::istream& in) {
  if (in.eof() && !in.bad()) in.clear();
  const std::streamoff position = in.tellg();
  if (position < 0) tools.Fail(in, "Cannot tell the position in the data set file");
  return position;
}

// Reads the data set block tag, the header and the data block tag. Returns a
// status other than SUCCESS for an unacceptable header (one without "Rows"
// included).
int OpenDataBlock(FileTools& tools, std::istream& in, DataBlock& block) {
  block.fileSize = FileSize(in);
  tools.BeginReading(in);
  block.dataSetName = tools.ExpectBlock(tools.ReadStatement(in, nullptr, false), in, "DATASET");

  Shape& shape = block.shape;
  Statement statement;
  const int status = tools.ReadDataSetHeader(in, &shape.inputs, &shape.expected, &shape.generated,
                                             &shape.errors, &shape.rows, &statement);
  if (status != SUCCESS) return status;
  if (shape.rows < 0) return FORMAT_ERROR;  // no "Rows": the number of rows is unknown
  block.dataName = tools.ExpectBlock(statement, in, "DATA");
  block.start = ReadPosition(tools, in);

  shape.labels1 = shape.expected == -1;
  shape.labels2 = shape.generated == -1;
  if (shape.expected < 0) shape.expected = 0;
  if (shape.generated < 0) shape.generated = 0;
  return SUCCESS;
}

// Refuses |rows| rows when the bytes from |position| to the end of the file
// cannot hold them, before anything is allocated for them.
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

// Turns a position counted from byte |origin| of the file into one counted
// from the top of the file.
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

// The data sets a shape calls for, made with |rows| slots and stored in the
// out-parameters at once, so that they belong to the caller even when
// reading fails later.
void MakeDataSets(const Shape& shape, long rows, Data** first, Data** second) {
  if (shape.HasFirst()) *first = new Data(rows, shape.inputs, shape.expected, shape.labels1);
  if (shape.HasSecond()) *second = new Data(rows, shape.generated, shape.errors, shape.labels2);
}

// Reads row after row of a data block into the two data sets.
//
// A row holds the first set's inputs and expected outputs, then the second
// set's generated outputs and errors. The writer puts each label list in the
// place of the outputs it replaces; files made by hand may also carry the
// label lists after all numbers of the row. Both orders are read: a label
// list is taken early when a "[" (not "[~") stands where it would be written.
class RowReader {
 public:
  RowReader(FileTools& tools, std::istream& in, const DataBlock& block)
      : tools_(tools), in_(in), shape_(block.shape), blockdef_(block.dataName) {}

  void ReadRow(long row, Data* first, Data* second) {
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

 private:
  void ReadNumbers(std::vector<double>& values) {
    for (double& value : values) {
      value = tools_.GetNumberToken(tools_.ReadStatement(in_, blockdef_.c_str(), false), in_);
    }
  }

  // Skips blanks and comments and tells whether a "[" that is not the start
  // of an end tag comes next; that "[" is left in the stream.
  bool LabelListFollows() {
    if (tools_.PeekToken(in_) != '[') return false;
    std::streambuf* buf = in_.rdbuf();
    buf->sbumpc();
    const int next = buf->sgetc();
    if (buf->sungetc() == Traits::eof()) tools_.Fail(in_, kCannotStepBack);
    return next != '~';
  }

  FileTools& tools_;
  std::istream& in_;
  const Shape& shape_;
  const std::string& blockdef_;
  std::vector<double> inputs_, expected_, generated_, errors_;
};

// ---- Writing ----

struct WriteCounts {
  long rows = -1;
  long inputs = 0;
  long expected = 0;
  long generated = 0;
  long errors = 0;
};

// The header counts of the data sets to write; INVALID_DATA_SET when the
// sets differ in their number of slots or none is given. A set that keeps
// labels must have no values in the columns its labels replace.
int CountsOf(const Data* data1, const Data* data2, WriteCounts& counts) {
  if (data1 != nullptr) {
    counts.rows = data1->MbrNdxRows;
    counts.inputs = data1->MbrNdxInputs;
    counts.expected = data1->MbrNdxOutputs;
    if (data1->MbrBoolLabels) {
      const long LngExpectedOutputs = data1->MbrNdxOutputs;
      NF_ASSERT(LngExpectedOutputs == 0);
      counts.expected = -1;
    }
  }
  if (data2 != nullptr) {
    if (data1 == nullptr) counts.rows = data2->MbrNdxRows;
    else if (data1->MbrNdxRows != data2->MbrNdxRows) return INVALID_DATA_SET;
    counts.generated = data2->MbrNdxInputs;
    counts.errors = data2->MbrNdxOutputs;
    if (data2->MbrBoolLabels) {
      const long LngCalculatedOutputs = data2->MbrNdxInputs;
      NF_ASSERT(LngCalculatedOutputs == 0);
      counts.generated = -1;
    }
  }
  return counts.rows < 0 ? INVALID_DATA_SET : SUCCESS;
}

void Put(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// How the row writer spells numbers: "%.15g" by default; with the option
// (options :numbers exact), the fewest digits (15 to 17) that read back as
// the same double, for files that must keep every bit of their values.
enum class NumberForm { kFifteenDigits, kExact };

NumberForm NumberFormOf(const TKQstructure* options) {
  const TKQstructure* numbers = options != nullptr ? options->Find("numbers") : nullptr;
  if (numbers != nullptr && Netforge::strcasecmp(numbers->GetHead(), "exact") == 0) return NumberForm::kExact;
  return NumberForm::kFifteenDigits;
}

// |values| each in the chosen form followed by one blank.
void AppendValues(std::string& line, const double* values, long count, NumberForm form) {
  for (long col = 0; col < count; ++col) {
    if (form == NumberForm::kExact) Netforge::AppendExact(line, values[col]);
    else Netforge::AppendGeneral(line, values[col], 15);
    line += ' ';
  }
}

// The row's input values (or output values).
void AppendInputs(std::string& line, const Data& data, long row, NumberForm form) {
  if (data.MbrNdxInputs > 0) AppendValues(line, data.MbrDyaRtpInputs[row], data.MbrNdxInputs, form);
}

void AppendOutputs(std::string& line, const Data& data, long row, NumberForm form) {
  if (data.MbrNdxOutputs > 0) AppendValues(line, data.MbrDyaRtpOutputs[row], data.MbrNdxOutputs, form);
}

// A label list: "[", each name followed by " " when its value is exactly 1,
// else by "=", the value in "%.9f" form and " "; then "]". A null list is
// written as the empty one.
void AppendLabels(std::string& text, const TLabelList* list) {
  text += '[';
  for (std::int32_t k = 0; list != nullptr && k < list->count; ++k) {
    const TLabel& label = list->labels[k];
    text += label.name;
    if (label.value != 1.0) {
      text += '=';
      Netforge::AppendFixed(text, label.value, 9);
    }
    text += ' ';
  }
  text += ']';
}

void AppendLabelsAndBlank(std::string& line, Data& data, long row) {
  TLabelList* list = nullptr;
  data.GetLabels(row, &list);
  AppendLabels(line, list);
  line += ' ';
}

// Flushes and closes a file written by one pass; its status.
int Finish(std::ofstream& out) {
  out.flush();
  const bool written = out.good();
  out.close();
  return written && !out.fail() ? SUCCESS : FILE_WRITE_FAILED;
}

}  // namespace

// ---- Reading ----

int FileTools::ReadDataSetHeader(std::istream& in, long* inputs, long* expectedOutputs, long* generatedOutputs,
                                 long* errors, long* rows, Statement* statement) {
  NF_ASSERT(statement != nullptr);
  *inputs = *expectedOutputs = *generatedOutputs = *errors = 0;
  *rows = -1;

  // The four counts come in this order, each at most once; "Rows" anywhere.
  static constexpr const char* kOrdered[] = {"Inputs", "ExpectedOutputs", "GeneratedOutputs", "Error"};
  long* const targets[] = {inputs, expectedOutputs, generatedOutputs, errors};
  int seen = 0;  // how many of kOrdered lie behind us
  for (;;) {
    *statement = ReadStatement(in, nullptr, false);
    if (statement->type != Assignment) return SUCCESS;
    if (statement->open) return FORMAT_ERROR;

    const char* name = statement->name.c_str();
    const long value = Netforge::strcasecmp(statement->value.c_str(), "Labels") == 0
                           ? -1
                           : ParseInteger(in, statement->value.c_str());
    if (Netforge::strcasecmp(name, "Rows") == 0) {
      if (value < 0) return FORMAT_ERROR;
      *rows = value;
      continue;
    }
    int k = seen;
    while (k < 4 && Netforge::strcasecmp(name, kOrdered[k]) != 0) ++k;
    if (k == 4) return FORMAT_ERROR;  // unknown, repeated or out of order
    if (k == 0 && value < 0) Fail(in, "No labels in inputs");
    if (k == 3 && value < 0) return FORMAT_ERROR;
    *targets[k] = value;
    seen = k + 1;
  }
}

TLabelList* FileTools::ReadLabels(std::istream& in) {
  const std::string open = ReadToken(in);
  if (open.empty()) Fail(in, "Unexpected end of file");
  if (open != "[") Fail(in, kLabelListExpected);

  auto list = std::make_unique<TLabelList>();
  std::string name = ReadToken(in);
  if (name == "]") return list.release();
  Statement statement = ReadBracketItem(in, std::move(name));
  for (;;) {
    const double value = statement.type == Tag ? 1.0 : ParseNumber(in, statement.value.c_str());
    list->Append(statement.name.c_str(), value);
    if (!statement.open) return list.release();
    statement = ReadStatement(in, nullptr, true);
  }
}

int FileTools::ReadDataSet(const char* filename, Data** PtrDatFileData1, Data** PtrDatFileData2,
                           TKQstructure* options) {
  delete options;
  NF_ASSERT(PtrDatFileData1 != nullptr && PtrDatFileData2 != nullptr);
  *PtrDatFileData1 = nullptr;
  *PtrDatFileData2 = nullptr;
  std::ifstream in(filename, std::ios_base::in | std::ios_base::binary);
  if (!Readable(in)) return FILE_OPEN_FAILED;

  DataBlock block;
  const int status = OpenDataBlock(*this, in, block);
  if (status != SUCCESS) return status;
  const Shape& shape = block.shape;
  CheckRowsFit(*this, in, block, block.start, shape.rows, kHeaderOverstatesRows);
  MakeDataSets(shape, shape.rows, PtrDatFileData1, PtrDatFileData2);

  if (shape.MinRowBytes() > 0) {
    RowReader reader(*this, in, block);
    for (long row = 0; row < shape.rows; ++row) reader.ReadRow(row, *PtrDatFileData1, *PtrDatFileData2);
  }

  ExpectEnd(ReadStatement(in, block.dataName.c_str(), false), in);
  ExpectEnd(ReadStatement(in, block.dataSetName.c_str(), false), in);
  ExpectEnd(ReadStatement(in, nullptr, false), in);
  return SUCCESS;
}

int FileTools::ReadDataSet(const char* filename, Data** PtrDatFileData1) {
  Data* second = nullptr;
  int status;
  try {
    status = ReadDataSet(filename, PtrDatFileData1, &second, nullptr);
  } catch (...) {
    delete second;
    throw;
  }
  if (second != nullptr) {
    delete second;
    if (status == SUCCESS) status = FORMAT_ERROR;
  }
  return status;
}

int FileTools::ReadDataSetRows(const char* filename, long* offset, long* rows, Data** PtrDatFileData1,
                               Data** PtrDatFileData2) {
  NF_ASSERT(offset != nullptr && rows != nullptr);
  NF_ASSERT(PtrDatFileData1 != nullptr && PtrDatFileData2 != nullptr);
  *PtrDatFileData1 = nullptr;
  *PtrDatFileData2 = nullptr;
  std::ifstream in(filename, std::ios_base::in | std::ios_base::binary);
  if (!Readable(in)) return FILE_OPEN_FAILED;

  DataBlock block;
  const int status = OpenDataBlock(*this, in, block);
  if (status != SUCCESS) return status;
  if (*offset < 0 || *offset > block.fileSize - block.start) Fail(in, kOffsetOutsideData);
  const std::streamoff position = block.start + *offset;
  in.seekg(position);
  if (!in) Fail(in, kOffsetOutsideData);
  BeginReading(in);
  try {
    const long requested = *rows;
    CheckRowsFit(*this, in, block, position, requested, kRequestOverstatesRows);
    MakeDataSets(block.shape, requested, PtrDatFileData1, PtrDatFileData2);
    if (block.shape.MinRowBytes() > 0) {
      RowReader reader(*this, in, block);
      for (long row = 0; row < requested; ++row) reader.ReadRow(row, *PtrDatFileData1, *PtrDatFileData2);
    }
    *offset = static_cast<long>(ReadPosition(*this, in) - block.start);
  } catch (Error& error) {
    // Lines and columns were counted from the offset; report them from the
    // top of the file. Counting the lines before the offset costs a pass over
    // that part of the file, so it is done only when there is an error.
    RebaseOnFileStart(in, position, error);
    throw;
  }
  return SUCCESS;
}

int FileTools::ReadDataSetRows(const char* filename, long* offset, long* rows, Data** PtrDatFileData1) {
  Data* second = nullptr;
  int status;
  try {
    status = ReadDataSetRows(filename, offset, rows, PtrDatFileData1, &second);
  } catch (...) {
    delete second;
    throw;
  }
  delete second;
  return status;
}

// ---- Writing ----

void FileTools::WriteLabels(std::ostream& out, const TLabelList* list) {
  std::string text;
  AppendLabels(text, list);
  Put(out, text);
}

int FileTools::WriteDataSetHeader(const char* filename, long inputs, long expectedOutputs, long generatedOutputs,
                                  long errors, long rows) {
  if (rows < 0) return INVALID_DATA_SET;
  std::ofstream out(filename, std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
  if (!out.is_open()) return FILE_WRITE_FAILED;

  WriteFormatVersion(out);
  WriteTag(out, "DataSet", true);
  WriteInteger(out, "Rows", rows, true);
  WriteInteger(out, "Inputs", inputs, true);
  if (expectedOutputs == -1) WriteString(out, "ExpectedOutputs", "Labels", true);
  else WriteInteger(out, "ExpectedOutputs", expectedOutputs, true);
  if (generatedOutputs == -1) WriteString(out, "GeneratedOutputs", "Labels", true);
  else WriteInteger(out, "GeneratedOutputs", generatedOutputs, true);
  WriteInteger(out, "Error", errors, true);
  WriteNewLine(out);
  WriteTag(out, "Data", true);
  return Finish(out);
}

int FileTools::WriteDataSetRows(const char* filename, Data* data1, Data* data2, TKQstructure* options) {
  const NumberForm form = NumberFormOf(std::unique_ptr<TKQstructure>(options).get());
  WriteCounts counts;
  const int status = CountsOf(data1, data2, counts);
  if (status != SUCCESS) return status;
  std::ofstream out(filename, std::ios_base::out | std::ios_base::app | std::ios_base::binary);
  if (!out.is_open()) return FILE_WRITE_FAILED;

  std::string line;
  for (long row = 0; row < counts.rows; ++row) {
    line.clear();
    if (data1 != nullptr) {
      AppendInputs(line, *data1, row, form);
      line += "  ";
      if (data1->MbrBoolLabels) AppendLabelsAndBlank(line, *data1, row);
      else AppendOutputs(line, *data1, row, form);
    }
    if (data2 != nullptr) {
      line += "  ";
      if (data2->MbrBoolLabels) AppendLabelsAndBlank(line, *data2, row);
      else AppendInputs(line, *data2, row, form);
      line += "  ";
      AppendOutputs(line, *data2, row, form);
    }
    line += '\n';
    Put(out, line);
  }
  return Finish(out);
}

int FileTools::WriteDataSetEnd(const char* filename) {
  std::ofstream out(filename, std::ios_base::out | std::ios_base::app | std::ios_base::binary);
  if (!out.is_open()) return FILE_WRITE_FAILED;
  WriteEndTag(out, "Data");
  WriteNewLine(out);
  WriteEndTag(out, "DataSet");
  return Finish(out);
}

int FileTools::WriteDataSet(const char* filename, Data* data1, Data* data2, TKQstructure* options) {
  std::unique_ptr<TKQstructure> owned(options);
  WriteCounts counts;
  int status = CountsOf(data1, data2, counts);
  if (status != SUCCESS) return status;

  status = WriteDataSetHeader(filename, counts.inputs, counts.expected, counts.generated, counts.errors,
                              counts.rows);
  if (status != SUCCESS) return status;
  status = WriteDataSetRows(filename, data1, data2, owned.release());
  if (status != SUCCESS) return status;
  return WriteDataSetEnd(filename);
}

// ---- Kind of file ----

TKQstructure* FileTools::IdentifyFile(const char* filename) {
  std::ifstream in(filename, std::ios_base::in | std::ios_base::binary);
  if (!Readable(in)) return MakeError("file-read-error");
  BeginReading(in);

  const std::string name = ExpectBlock(ReadStatement(in, nullptr, false), in, nullptr);
  if (Netforge::strcasecmp(name.c_str(), "DATASET") == 0) {
    long inputs = 0, expected = 0, generated = 0, errors = 0, rows = -1;
    Statement statement;
    const int status = ReadDataSetHeader(in, &inputs, &expected, &generated, &errors, &rows, &statement);
    in.close();
    if (status != SUCCESS) return MakeError("bad-header");
    auto answer = std::make_unique<TKQstructure>("data");
    answer->Set("rows", rows);
    answer->Set("inputs", inputs);
    answer->Set("actual-outputs", expected);
    answer->Set("calc-outputs", generated);
    answer->Set("errors", errors);
    return answer.release();
  }
  // Network files begin with [NeuralNetwork]; [Network] is the older name.
  if (Netforge::strcasecmp(name.c_str(), "NETWORK") == 0 ||
      Netforge::strcasecmp(name.c_str(), "NEURALNETWORK") == 0) {
    return new TKQstructure("network");
  }
  std::unique_ptr<TKQstructure> answer(MakeError("unknown-header"));
  answer->Set("header", name.c_str());
  return answer.release();
}
