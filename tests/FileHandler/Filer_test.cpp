#include "FileHandler/Filer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <locale>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Common/NumberText.h"
#include "Support/CommaLocale.h"
#include "DataObject/Data.h"
#include "DataObject/TLabelList.h"
#include "KQmessage/KQML.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ExampleFile;
using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteText;

// The message of the FileTools::Error that |action| throws, or "" if none.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileTools::Error& error) {
    return error.message;
  }
  return "";
}

// The two data sets of a read, owned by the test.
struct Read {
  int status = 0;
  std::unique_ptr<Data> first;
  std::unique_ptr<Data> second;
};

Read ReadFile(const std::string& path) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  Read result;
  try {
    result.status = tools.ReadDataSet(path.c_str(), &first, &second, new TKQstructure("options"));
  } catch (...) {
    delete first;
    delete second;
    throw;
  }
  result.first.reset(first);
  result.second.reset(second);
  return result;
}

Read ReadRows(const std::string& path, long* offset, long rows) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  Read result;
  try {
    result.status = tools.ReadDataSetRows(path.c_str(), offset, &rows, &first, &second);
  } catch (...) {
    delete first;
    delete second;
    throw;
  }
  result.first.reset(first);
  result.second.reset(second);
  return result;
}

std::string HeaderText(long rows, long inputs, const char* expected, const char* generated, long errors) {
  return "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = " + std::to_string(rows) + "]\n[Inputs = " +
         std::to_string(inputs) + "]\n[ExpectedOutputs = " + expected + "]\n[GeneratedOutputs = " + generated +
         "]\n[Error = " + std::to_string(errors) + "]\n\n[Data]\n";
}

const std::string kEnd = "[~Data]\n\n[~DataSet]\n";

std::string LabelsText(TLabelList* list) {
  FileTools tools;
  std::ostringstream out;
  tools.WriteLabels(out, list);
  return out.str();
}

std::string LabelsOf(Data& data, long row) {
  TLabelList* list = nullptr;
  data.GetLabels(row, &list);
  return list == nullptr ? "(none)" : LabelsText(list);
}

// Equal shape and equal values, labels and stored rows.
void ExpectSameData(Data& a, Data& b) {
  ASSERT_EQ(a.MbrNdxRows, b.MbrNdxRows);
  ASSERT_EQ(a.MbrNdxInputs, b.MbrNdxInputs);
  ASSERT_EQ(a.MbrNdxOutputs, b.MbrNdxOutputs);
  ASSERT_EQ(a.MbrBoolLabels, b.MbrBoolLabels);
  EXPECT_EQ(a.MbrNdxDataRows, b.MbrNdxDataRows);
  for (long row = 0; row < a.MbrNdxRows; ++row) {
    for (long col = 0; col < a.MbrNdxInputs; ++col) {
      EXPECT_EQ(a.MbrDyaRtpInputs[row][col], b.MbrDyaRtpInputs[row][col]) << row << "," << col;
    }
    for (long col = 0; col < a.MbrNdxOutputs; ++col) {
      EXPECT_EQ(a.MbrDyaRtpOutputs[row][col], b.MbrDyaRtpOutputs[row][col]) << row << "," << col;
    }
    EXPECT_EQ(LabelsOf(a, row), LabelsOf(b, row));
  }
}

using TestSupport::CommaLocale;

}  // namespace

// ---- Writing ----

TEST(FileTools, DataSetWriterWritesHeaderRowsAndEndByteForByte) {
  TempFolder folder;
  const std::string path = folder.File("two.dat");
  Data data(2, 2, 1, false);
  const double row0[] = {0.1, 0.2}, out0[] = {1.0};
  const double row1[] = {3.0, 4.0}, out1[] = {0.5};
  data.AppendRow(row0, out0, nullptr);
  data.AppendRow(row1, out1, nullptr);

  FileTools tools;
  EXPECT_EQ(tools.WriteDataSet(path.c_str(), &data, nullptr, new TKQstructure("options")), SUCCESS);
  EXPECT_EQ(ReadAll(path), HeaderText(2, 2, "1", "0", 0) + "0.1 0.2   1 \n3 4   0.5 \n" + kEnd);

  // Values in "%.15g" form: 15 significant digits, exponent form at the ends.
  Data wide(1, 5, 0, false);
  const double values[] = {1.0 / 3.0, -1e-300, 123456789012345678.0, 100000.0, -0.0};
  wide.AppendRow(values, nullptr, nullptr);
  EXPECT_EQ(tools.WriteDataSet(path.c_str(), &wide, nullptr, nullptr), SUCCESS);
  EXPECT_EQ(ReadAll(path), HeaderText(1, 5, "0", "0", 0) +
                               "0.333333333333333 -1e-300 1.23456789012346e+17 100000 -0   \n" + kEnd);

  // A second data set alone: two blanks before and between its parts.
  Data second(1, 1, 2, false);
  const double generated[] = {0.75}, errors[] = {0.0625, 2.0};
  second.AppendRow(generated, errors, nullptr);
  EXPECT_EQ(tools.WriteDataSet(path.c_str(), nullptr, &second, nullptr), SUCCESS);
  EXPECT_EQ(ReadAll(path), HeaderText(1, 0, "0", "1", 2) + "  0.75   0.0625 2 \n" + kEnd);

  // The three passes one by one give the same file.
  const std::string whole = ReadAll(path);
  EXPECT_EQ(tools.WriteDataSetHeader(path.c_str(), 0, 0, 1, 2, 1), SUCCESS);
  EXPECT_EQ(tools.WriteDataSetRows(path.c_str(), nullptr, &second, new TKQstructure("options")), SUCCESS);
  EXPECT_EQ(tools.WriteDataSetEnd(path.c_str()), SUCCESS);
  EXPECT_EQ(ReadAll(path), whole);
}

TEST(FileTools, DataSetLabelsStandInPlaceOfOutputsAndReadBack) {
  TempFolder folder;
  const std::string path = folder.File("labels.dat");
  Data data(2, 2, 0, true);
  const double row0[] = {1.0, 2.0}, row1[] = {-1.5, 0.0};
  TLabelList labels("cat", 1.0);
  labels.Append("dog", 0.5);
  data.AppendRow(row0, nullptr, &labels);
  data.AppendRow(row1, nullptr, nullptr);

  FileTools tools;
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), &data, nullptr, nullptr), SUCCESS);
  EXPECT_EQ(ReadAll(path),
            HeaderText(2, 2, "Labels", "0", 0) + "1 2   [cat dog=0.500000000 ] \n-1.5 0   [] \n" + kEnd);

  Read read = ReadFile(path);
  ASSERT_EQ(read.status, SUCCESS);
  ASSERT_NE(read.first, nullptr);
  EXPECT_EQ(read.second, nullptr);
  ExpectSameData(data, *read.first);
  EXPECT_EQ(LabelsOf(*read.first, 0), "[cat dog=0.500000000 ]");
}

TEST(FileTools, LabelListsAreWrittenAndReadInTheirOwnForm) {
  FileTools tools;
  TLabelList list;
  EXPECT_EQ(LabelsText(&list), "[]");
  EXPECT_EQ(LabelsText(nullptr), "[]");
  list.Append("one", 1.0);
  list.Append("neg", -2.0);
  list.Append("tiny", 1e-10);
  list.Append("big", 12345.6789);
  EXPECT_EQ(LabelsText(&list), "[one neg=-2.000000000 tiny=0.000000000 big=12345.678900000 ]");

  auto read = [&](const char* text) {
    std::istringstream in(text);
    std::unique_ptr<TLabelList> labels(tools.ReadLabels(in));
    return LabelsText(labels.get());
  };
  // Repeated names add up; blanks, commas and comments may stand between.
  EXPECT_EQ(read("[a a=2 , b]"), "[a=3.000000000 b ]");
  EXPECT_EQ(read(" /* c */ [ /* d */ x = 0.25 ]"), "[x=0.250000000 ]");
  EXPECT_EQ(read("[ ]"), "[]");
  EXPECT_EQ(read("[cat] 7"), "[cat ]");

  auto fails = [&](const char* text) {
    return ErrorOf([&] {
      std::istringstream in(text);
      std::unique_ptr<TLabelList> labels(tools.ReadLabels(in));
    });
  };
  EXPECT_EQ(fails(""), "Unexpected end of file");
  EXPECT_EQ(fails("  "), "Unexpected end of file");
  EXPECT_EQ(fails("1 [a]"), "Label list expected");
  EXPECT_EQ(fails("[~Data]"), "Label list expected");
  EXPECT_EQ(fails("[a b"), "Unexpected end of file");
  EXPECT_EQ(fails("[a=x]"), "number-expected");
  EXPECT_EQ(fails("[[a]"), "Unexpected special character");
}

// ---- Reading ----

TEST(FileTools, DataSetHeaderAcceptsItsKeywordsInOrder) {
  FileTools tools;
  long inputs = 9, expected = 9, generated = 9, errors = 9, rows = 9;
  Statement statement;
  auto header = [&](const char* text) {
    std::istringstream in(text);
    return tools.ReadDataSetHeader(in, &inputs, &expected, &generated, &errors, &rows, &statement);
  };

  EXPECT_EQ(header("[rows = 2][INPUTS = 3][Rows=5][expectedoutputs = labels][Error = 1][Data]"), SUCCESS);
  EXPECT_EQ(rows, 5);  // the last "Rows" counts
  EXPECT_EQ(inputs, 3);
  EXPECT_EQ(expected, -1);
  EXPECT_EQ(generated, 0);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(statement.type, Tag);
  EXPECT_EQ(statement.name, "Data");

  EXPECT_EQ(header("[Data]"), SUCCESS);
  EXPECT_EQ(rows, -1);
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(header("[GeneratedOutputs = -7] 1"), SUCCESS);
  EXPECT_EQ(generated, -7);
  EXPECT_EQ(statement.type, Token);

  // Order, repetition, unknown keywords, brackets with two assignments and
  // negative rows or errors make the header unacceptable.
  for (const char* bad : {"[ExpectedOutputs = 1][Inputs = 2][Data]", "[Inputs = 1][Inputs = 1][Data]",
                          "[Outputs = 1][Data]", "[Rows = 2 Inputs = 3][Data]", "[Rows = -1][Data]",
                          "[Rows = Labels][Data]", "[Error = Labels][Data]", "[Error = -2][Data]",
                          "[Error = 1][GeneratedOutputs = 1][Data]"}) {
    EXPECT_EQ(header(bad), FORMAT_ERROR) << bad;
  }
  EXPECT_EQ(ErrorOf([&] { header("[Inputs = Labels][Data]"); }), "No labels in inputs");
  EXPECT_EQ(ErrorOf([&] { header("[Inputs = -1][Data]"); }), "No labels in inputs");
  EXPECT_EQ(ErrorOf([&] { header("[Rows = two][Data]"); }), "integer-expected");
  EXPECT_EQ(ErrorOf([&] { header("[Rows = 99999999999][Data]"); }), "integer-expected");
}

TEST(FileTools, ReadDataSetReadsTheExampleFiles) {
  Read xorSet = ReadFile(ExampleFile("xor.dat"));
  ASSERT_EQ(xorSet.status, SUCCESS);
  ASSERT_NE(xorSet.first, nullptr);
  EXPECT_EQ(xorSet.second, nullptr);
  Data& xorData = *xorSet.first;
  EXPECT_EQ(xorData.MbrNdxRows, 4);
  EXPECT_EQ(xorData.MbrNdxDataRows, 4);
  EXPECT_EQ(xorData.MbrNdxInputs, 2);
  EXPECT_EQ(xorData.MbrNdxOutputs, 1);
  EXPECT_FALSE(xorData.MbrBoolLabels);
  const double targets[] = {0, 1, 1, 0};
  for (long row = 0; row < 4; ++row) {
    EXPECT_EQ(xorData.MbrDyaRtpInputs[row][0], row / 2);
    EXPECT_EQ(xorData.MbrDyaRtpInputs[row][1], row % 2);
    EXPECT_EQ(xorData.MbrDyaRtpOutputs[row][0], targets[row]);
  }

  Read animals = ReadFile(ExampleFile("animals.dat"));
  ASSERT_EQ(animals.status, SUCCESS);
  ASSERT_TRUE(animals.first->MbrBoolLabels);
  EXPECT_EQ(animals.first->MbrNdxOutputs, 0);
  EXPECT_EQ(animals.first->MbrDyaRtpInputs[1][1], 1.25);
  EXPECT_EQ(LabelsOf(*animals.first, 0), "[cat ]");
  EXPECT_EQ(LabelsOf(*animals.first, 1), "[dog mammal=0.500000000 ]");
  EXPECT_EQ(LabelsOf(*animals.first, 2), "[]");

  Read recall = ReadFile(ExampleFile("xor-recall.dat"));
  ASSERT_EQ(recall.status, SUCCESS);
  ASSERT_NE(recall.second, nullptr);
  ExpectSameData(*recall.first, xorData);
  EXPECT_EQ(recall.second->MbrNdxInputs, 1);
  EXPECT_EQ(recall.second->MbrNdxOutputs, 1);
  EXPECT_EQ(recall.second->MbrDyaRtpInputs[2][0], 0.5);
  EXPECT_EQ(recall.second->MbrDyaRtpOutputs[3][0], 0.015625);

  // The form with one out-parameter cannot take the second data set: it is
  // dropped and reported, and the first is still delivered.
  FileTools tools;
  Data* first = nullptr;
  EXPECT_EQ(tools.ReadDataSet(ExampleFile("xor-recall.dat").c_str(), &first), FORMAT_ERROR);
  ASSERT_NE(first, nullptr);
  std::unique_ptr<Data> owned(first);
  ExpectSameData(*owned, xorData);
  first = nullptr;
  EXPECT_EQ(tools.ReadDataSet(ExampleFile("xor.dat").c_str(), &first), SUCCESS);
  owned.reset(first);
  ExpectSameData(*owned, xorData);

  first = reinterpret_cast<Data*>(&tools);  // a stale pointer is overwritten
  EXPECT_EQ(tools.ReadDataSet((ExampleFile("xor.dat") + ".missing").c_str(), &first), FILE_OPEN_FAILED);
  EXPECT_EQ(first, nullptr);
  // A folder opens like a file but cannot be read.
  EXPECT_EQ(tools.ReadDataSet(NETFORGE_SOURCE_DIR, &first), FILE_OPEN_FAILED);
  EXPECT_EQ(first, nullptr);
}

TEST(FileTools, ReadDataSetRejectsBadFiles) {
  TempFolder folder;
  const std::string path = folder.File("bad.dat");
  auto result = [&](const std::string& text) {
    WriteText(path, text);
    std::string status;
    const std::string message = ErrorOf([&] { status = std::to_string(ReadFile(path).status); });
    return message.empty() ? status : message;
  };
  const std::string xorHeader = HeaderText(2, 2, "1", "0", 0);
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1 1\n" + kEnd), "0");
  EXPECT_EQ(result("[Data]\n" + kEnd), "[DATASET] expected");
  EXPECT_EQ(result(""), "[DATASET] expected");
  EXPECT_EQ(result("[DataSet][Rows = 1][Inputs = 1] 1 " + kEnd), "[DATA] expected");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1\n" + kEnd), "Token (number) expected");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 x 1\n" + kEnd), "number-expected");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1 1\n"), "Unexpected end of file");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1 1\n[~Data]\n[~Data]"), "Unexpected End Tag");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1 1\n" + kEnd + "[Extra]"), "End Tag expected");
  EXPECT_EQ(result(xorHeader + "0 0 0 1 1 1\n" + kEnd + "/* a comment */\n"), "0");
  // Without "Rows" the number of rows is unknown: the header is refused.
  EXPECT_EQ(result("[DataSet][Inputs = 1][Data] 1 " + kEnd), std::to_string(FORMAT_ERROR));
  EXPECT_EQ(result("[DataSet][Rows = Labels][Inputs = 1][Data] 1 " + kEnd), std::to_string(FORMAT_ERROR));
  EXPECT_EQ(result("[DataSet][Rows = 1][Inputs = Labels][Data] 1 " + kEnd), "No labels in inputs");
  EXPECT_EQ(result("[DataSet][Rows = 1][Error = Labels][Data] 1 " + kEnd), std::to_string(FORMAT_ERROR));

  // Label lists: one must begin with "[", and the file must not end where
  // one is due.
  const std::string labelHeader = HeaderText(1, 1, "Labels", "0", 0);
  EXPECT_EQ(result(labelHeader + "1 cat\n" + kEnd), "Label list expected");
  EXPECT_EQ(result(labelHeader + "1 \n" + kEnd), "Label list expected");
  EXPECT_EQ(result(labelHeader + "1 "), "Unexpected end of file");
  EXPECT_EQ(result(labelHeader + "1 [cat"), "Unexpected end of file");
  EXPECT_EQ(result(labelHeader + "1 [cat]" + kEnd), "0");

  // Counts below -1 of the outputs read as none, without labels.
  Read read;
  WriteText(path, "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = -4][Data] 2 " + kEnd);
  read = ReadFile(path);
  ASSERT_EQ(read.status, SUCCESS);
  EXPECT_EQ(read.first->MbrNdxOutputs, 0);
  EXPECT_FALSE(read.first->MbrBoolLabels);
  EXPECT_EQ(read.first->MbrDyaRtpInputs[0][0], 2.0);

  // A data set read before a failure stays with the caller.
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  WriteText(path, HeaderText(1, 1, "0", "1", 0) + "1 x" + kEnd);
  EXPECT_EQ(ErrorOf([&] { tools.ReadDataSet(path.c_str(), &first, &second, nullptr); }), "number-expected");
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  delete first;
  delete second;
}

TEST(FileTools, ReadDataSetRowsContinuesFromTheReturnedOffset) {
  long offset = 0;
  Read part = ReadRows(ExampleFile("xor.dat"), &offset, 2);
  ASSERT_EQ(part.status, SUCCESS);
  EXPECT_EQ(offset, 18);  // "\n0 0   0 \n0 1   1 ": the blank after the last number is taken
  ASSERT_NE(part.first, nullptr);
  EXPECT_EQ(part.second, nullptr);
  EXPECT_EQ(part.first->MbrNdxRows, 2);
  EXPECT_EQ(part.first->MbrNdxDataRows, 2);
  EXPECT_EQ(part.first->MbrDyaRtpInputs[1][1], 1.0);
  EXPECT_EQ(part.first->MbrDyaRtpOutputs[1][0], 1.0);

  part = ReadRows(ExampleFile("xor.dat"), &offset, 2);
  ASSERT_EQ(part.status, SUCCESS);
  EXPECT_EQ(offset, 36);
  EXPECT_EQ(part.first->MbrDyaRtpInputs[0][0], 1.0);
  EXPECT_EQ(part.first->MbrDyaRtpInputs[0][1], 0.0);
  EXPECT_EQ(part.first->MbrDyaRtpInputs[1][1], 1.0);
  EXPECT_EQ(part.first->MbrDyaRtpOutputs[1][0], 0.0);

  // Past the rows the end tag is met where a number is due.
  EXPECT_EQ(ErrorOf([&] { ReadRows(ExampleFile("xor.dat"), &offset, 1); }), "Token (number) expected");

  // Labels and a second data set, row by row; the four-argument form drops
  // the second set and keeps the status.
  offset = 0;
  Read animal;
  for (const char* expected : {"[cat ]", "[dog mammal=0.500000000 ]", "[]"}) {
    animal = ReadRows(ExampleFile("animals.dat"), &offset, 1);
    ASSERT_EQ(animal.status, SUCCESS);
    ASSERT_NE(animal.first, nullptr);
    EXPECT_EQ(LabelsOf(*animal.first, 0), expected);
  }
  FileTools tools;
  Data* first = nullptr;
  offset = 0;
  long rows = 3;
  EXPECT_EQ(tools.ReadDataSetRows(ExampleFile("xor-recall.dat").c_str(), &offset, &rows, &first), SUCCESS);
  std::unique_ptr<Data> owned(first);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned->MbrNdxRows, 3);
  EXPECT_EQ(owned->MbrDyaRtpOutputs[2][0], 1.0);
  Read rest = ReadRows(ExampleFile("xor-recall.dat"), &offset, 1);
  ASSERT_NE(rest.second, nullptr);
  EXPECT_EQ(rest.second->MbrDyaRtpInputs[0][0], 0.125);

  // No rows requested: empty data sets and the offset unchanged.
  offset = 18;
  part = ReadRows(ExampleFile("xor.dat"), &offset, 0);
  EXPECT_EQ(part.status, SUCCESS);
  EXPECT_EQ(offset, 18);
  EXPECT_EQ(part.first->MbrNdxRows, 0);

  // Offsets outside the data block and a missing file.
  offset = -1;
  EXPECT_EQ(ErrorOf([&] { ReadRows(ExampleFile("xor.dat"), &offset, 1); }), "Offset lies outside the data block");
  offset = 100000;
  EXPECT_EQ(ErrorOf([&] { ReadRows(ExampleFile("xor.dat"), &offset, 1); }), "Offset lies outside the data block");
  offset = 0;
  EXPECT_EQ(ReadRows(ExampleFile("none.dat"), &offset, 1).status, FILE_OPEN_FAILED);
}

TEST(FileTools, DataSetReadersRefuseCountsTheFileCannotHold) {
  TempFolder folder;
  const std::string path = folder.File("huge.dat");
  auto result = [&](const std::string& text) {
    WriteText(path, text);
    std::string status;
    const std::string message = ErrorOf([&] { status = std::to_string(ReadFile(path).status); });
    return message.empty() ? status : message;
  };
  const char* const kTooMany = "Data set header announces more rows than the file holds";
  EXPECT_EQ(result("[DataSet][Rows = 2000000000][Inputs = 1][Data] 1 " + kEnd), kTooMany);
  EXPECT_EQ(result("[DataSet][Rows = 1][Inputs = 2000000000][Data] 1 " + kEnd), kTooMany);
  EXPECT_EQ(result("[DataSet][Rows = 2147483647][Inputs = 2147483647][ExpectedOutputs = 2147483647]"
                   "[GeneratedOutputs = 2147483647][Error = 2147483647][Data] 1 " +
                   kEnd),
            kTooMany);
  EXPECT_EQ(result("[DataSet][Rows = 2000000000][ExpectedOutputs = Labels][Data] [] " + kEnd), kTooMany);
  // Exactly enough bytes for the announced rows is accepted: "1 2" holds
  // two one-byte numbers, "[][]" two label lists.
  EXPECT_EQ(result("[DataSet][Rows = 2][Inputs = 1][Data]1 2[~Data][~DataSet]"), "0");
  EXPECT_EQ(result("[DataSet][Rows = 2][ExpectedOutputs = Labels][Data][][][~Data][~DataSet]"), "0");
  // No rows: no values to hold, whatever the width.
  EXPECT_EQ(result("[DataSet][Rows = 0][Inputs = 2000000000][Data]" + kEnd), "0");
  // No columns: nothing is stored per row.
  EXPECT_EQ(result("[DataSet][Rows = 2000000000][Data]" + kEnd), "0");

  long offset = 0;
  EXPECT_EQ(ErrorOf([&] { ReadRows(ExampleFile("xor.dat"), &offset, 2000000000); }),
            "More rows requested than the data set file holds");
  offset = 36;
  EXPECT_EQ(ErrorOf([&] { ReadRows(ExampleFile("xor.dat"), &offset, 100); }),
            "More rows requested than the data set file holds");
}

TEST(FileTools, DataSetWriterReportsInvalidSetsAndWriteFailures) {
  TempFolder folder;
  const std::string path = folder.File("out.dat");
  FileTools tools;
  Data three(3, 1, 1, false);
  Data four(4, 1, 1, false);
  EXPECT_EQ(tools.WriteDataSet(path.c_str(), &three, &four, new TKQstructure("options")), INVALID_DATA_SET);
  EXPECT_EQ(tools.WriteDataSet(path.c_str(), nullptr, nullptr, nullptr), INVALID_DATA_SET);
  EXPECT_FALSE(fs::exists(path));  // nothing written
  EXPECT_EQ(tools.WriteDataSetRows(path.c_str(), &three, &four, new TKQstructure("options")), INVALID_DATA_SET);
  EXPECT_EQ(tools.WriteDataSetRows(path.c_str(), nullptr, nullptr, nullptr), INVALID_DATA_SET);
  EXPECT_EQ(tools.WriteDataSetHeader(path.c_str(), 1, 1, 0, 0, -1), INVALID_DATA_SET);
  EXPECT_FALSE(fs::exists(path));

  // A file that cannot be created or written is reported.
  const std::string missing = folder.File("no/such/folder.dat");
  EXPECT_EQ(tools.WriteDataSet(missing.c_str(), &three, nullptr, new TKQstructure("options")), FILE_WRITE_FAILED);
  EXPECT_EQ(tools.WriteDataSetHeader(missing.c_str(), 1, 1, 0, 0, 3), FILE_WRITE_FAILED);
  EXPECT_EQ(tools.WriteDataSetRows(missing.c_str(), &three, nullptr, nullptr), FILE_WRITE_FAILED);
  EXPECT_EQ(tools.WriteDataSetEnd(missing.c_str()), FILE_WRITE_FAILED);
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(tools.WriteDataSet("/dev/full", &three, nullptr, nullptr), FILE_WRITE_FAILED);
    EXPECT_EQ(tools.WriteDataSetRows("/dev/full", &three, nullptr, nullptr), FILE_WRITE_FAILED);
    EXPECT_EQ(tools.WriteDataSetEnd("/dev/full"), FILE_WRITE_FAILED);
  }
}

TEST(FileToolsDeathTest, DataSetWriterChecksThatLabelsReplaceTheOutputs) {
  // Only reachable through a Data that claims labels and output columns at
  // once, which the Data constructor allows for the second data set.
  Data second(1, 1, 1, true);
  FileTools tools;
  EXPECT_DEATH(tools.WriteDataSetRows("/nonexistent/x.dat", nullptr, &second, nullptr),
               "Assertion failed: LngCalculatedOutputs == 0");
  Data first(1, 1, 1, true);
  EXPECT_DEATH(tools.WriteDataSetRows("/nonexistent/x.dat", &first, nullptr, nullptr),
               "Assertion failed: LngExpectedOutputs == 0");
}

TEST(FileTools, IdentifyFileTellsTheKindOfFile) {
  TempFolder folder;
  const std::string path = folder.File("file");
  FileTools tools;
  auto identify = [&](const std::string& text) {
    WriteText(path, text);
    std::unique_ptr<TKQstructure> answer(tools.IdentifyFile(path.c_str()));
    return TextForm(answer.get());
  };

  Data labelled(10, 3, 0, true);
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), &labelled, nullptr, nullptr), SUCCESS);
  std::unique_ptr<TKQstructure> answer(tools.IdentifyFile(path.c_str()));
  testing::internal::CaptureStdout();
  Print(answer.get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "(data :rows 10 :inputs 3 :actual-outputs -1 :calc-outputs 0 :errors 0)");

  EXPECT_EQ(identify("[dataset][Error = 4][Data]"),
            "(data :rows -1 :inputs 0 :actual-outputs 0 :calc-outputs 0 :errors 4)");
  EXPECT_EQ(identify("[DataSet][GeneratedOutputs = Labels][Rows = 5]"),
            "(data :rows 5 :inputs 0 :actual-outputs 0 :calc-outputs -1 :errors 0)");
  EXPECT_EQ(identify("[DataSet][Inputs = 2][Inputs = 2][Data]"), "(error :type bad-header)");
  EXPECT_EQ(identify("[FormatVersion = 1.0]\n[NeuralNetwork]\n"), "network");
  EXPECT_EQ(identify("[neuralnetwork]"), "network");
  EXPECT_EQ(identify("/* old */ [NETWORK]"), "network");
  EXPECT_EQ(identify("[Weights]"), "(error :type unknown-header :header Weights)");
  EXPECT_EQ(ErrorOf([&] { identify("1 2 3"); }), "start of block expected");
  EXPECT_EQ(ErrorOf([&] { identify(""); }), "start of block expected");
  EXPECT_EQ(ErrorOf([&] { identify("[DataSet][Inputs = Labels]"); }), "No labels in inputs");
  EXPECT_EQ(ErrorOf([&] { identify("[DataSet][Inputs = x]"); }), "integer-expected");

  answer.reset(tools.IdentifyFile(folder.File("missing").c_str()));
  EXPECT_EQ(TextForm(answer.get()), "(error :type file-read-error)");
  answer.reset(tools.IdentifyFile(NETFORGE_SOURCE_DIR));
  EXPECT_EQ(TextForm(answer.get()), "(error :type file-read-error)");
  answer.reset(tools.IdentifyFile(ExampleFile("xor-recall.dat").c_str()));
  EXPECT_EQ(TextForm(answer.get()), "(data :rows 4 :inputs 2 :actual-outputs 1 :calc-outputs 1 :errors 1)");
}

TEST(FileTools, DataSetFilesIgnoreTheLocale) {
  TempFolder folder;
  const std::string path = folder.File("comma.dat");
  const CommaLocale comma;
  std::ostringstream check;
  check << 1234.5;
  ASSERT_EQ(check.str(), "1.234,5");  // the locale is really in force

  Data data(1, 2, 0, true);
  const double values[] = {1234.5, -0.25};
  TLabelList labels("weight", 1234.5);
  data.AppendRow(values, nullptr, &labels);
  FileTools tools;
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), &data, nullptr, nullptr), SUCCESS);
  const std::string text = ReadAll(path);
  EXPECT_EQ(text, HeaderText(1, 2, "Labels", "0", 0) + "1234.5 -0.25   [weight=1234.500000000 ] \n" + kEnd);

  Read read = ReadFile(path);
  ASSERT_EQ(read.status, SUCCESS);
  ExpectSameData(data, *read.first);
  long offset = 0;
  Read rows = ReadRows(path, &offset, 1);
  EXPECT_EQ(rows.first->MbrDyaRtpInputs[0][0], 1234.5);
  // After the label list's "]": the data block's line end, the row less its
  // last blank and line end.
  const std::string row = "1234.5 -0.25   [weight=1234.500000000 ] \n";
  EXPECT_EQ(offset, static_cast<long>(1 + row.size() - 2));
}

TEST(FileTools, DataSetLabelListsAreReadInWrittenOrHandMadeOrder) {
  TempFolder folder;
  const std::string path = folder.File("order.dat");
  // The writer puts each list where the outputs it replaces stand; lists
  // after all numbers of the row are read as well.
  const std::string header = HeaderText(2, 1, "Labels", "Labels", 1);
  const std::string written = header + "5   [a ]   [b ]   7 \n6   [c=2.000000000 ]   [/* none */]   8 \n" + kEnd;
  const std::string handMade = header + "5 7 [a] [b]\n6 8 [c=2] []\n" + kEnd;
  WriteText(path, written);
  Read first = ReadFile(path);
  ASSERT_EQ(first.status, SUCCESS);
  WriteText(path, handMade);
  Read second = ReadFile(path);
  ASSERT_EQ(second.status, SUCCESS);
  ExpectSameData(*first.first, *second.first);
  ExpectSameData(*first.second, *second.second);
  EXPECT_EQ(first.second->MbrDyaRtpOutputs[1][0], 8.0);
  EXPECT_EQ(LabelsOf(*first.first, 1), "[c=2.000000000 ]");
  EXPECT_EQ(LabelsOf(*first.second, 0), "[b ]");

  // Writing it again gives the writer's form.
  FileTools tools;
  ASSERT_EQ(tools.WriteDataSet(path.c_str(), second.first.get(), second.second.get(), nullptr), SUCCESS);
  EXPECT_EQ(ReadAll(path), header + "5   [a ]   [b ]   7 \n6   [c=2.000000000 ]   []   8 \n" + kEnd);

  // A first list, then the second set's numbers.
  const std::string mixed = HeaderText(1, 1, "Labels", "1", 1);
  WriteText(path, mixed + "1   [x ]   2   3 \n" + kEnd);
  Read third = ReadFile(path);
  ASSERT_EQ(third.status, SUCCESS);
  EXPECT_EQ(third.second->MbrDyaRtpInputs[0][0], 2.0);
  EXPECT_EQ(third.second->MbrDyaRtpOutputs[0][0], 3.0);
  EXPECT_EQ(LabelsOf(*third.first, 0), "[x ]");
  WriteText(path, mixed + "1 2 3 [x]\n" + kEnd);
  Read fourth = ReadFile(path);
  ASSERT_EQ(fourth.status, SUCCESS);
  ExpectSameData(*third.second, *fourth.second);
  ExpectSameData(*third.first, *fourth.first);
}

namespace {

// A random data set whose values span many magnitudes; label values are
// 1 or multiples of 1/8, which the nine decimals of a label keep exactly.
std::unique_ptr<Data> RandomData(std::mt19937& random, long rows, long inputs, long outputs, bool labels) {
  auto data = std::make_unique<Data>(rows, inputs, outputs, labels);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-20, 20);
  std::uniform_int_distribution<int> small(0, 5);
  auto value = [&]() { return small(random) == 0 ? 0.0 : mantissa(random) * std::pow(10.0, exponent(random)); };
  std::vector<double> in(static_cast<std::size_t>(inputs) + 1), out(static_cast<std::size_t>(outputs) + 1);
  const long stored = rows - (rows > 2 ? 1 : 0);  // one slot left empty
  for (long row = 0; row < stored; ++row) {
    for (double& v : in) v = value();
    for (double& v : out) v = value();
    TLabelList list;
    const int count = small(random);
    for (int k = 0; k < count; ++k) {
      const std::string name(1 + small(random) % 3, static_cast<char>('a' + small(random)));
      list.Append(name.c_str(), small(random) == 0 ? 1.0 : (small(random) - 2) / 8.0);
    }
    data->AppendRow(in.data(), out.data(), &list);
  }
  return data;
}

// The value a "%.15g" line gives back.
double Written(double value) {
  char text[Netforge::kNumberBufferSize];
  *Netforge::FormatGeneral(text, value, 15) = '\0';
  double back = 0.0;
  Netforge::ScanDouble(text, back);
  return back;
}

void ExpectReadAsWritten(Data& original, Data& read) {
  ASSERT_EQ(original.MbrNdxRows, read.MbrNdxRows);
  ASSERT_EQ(original.MbrNdxInputs, read.MbrNdxInputs);
  ASSERT_EQ(original.MbrNdxOutputs, read.MbrNdxOutputs);
  ASSERT_EQ(original.MbrBoolLabels, read.MbrBoolLabels);
  EXPECT_EQ(read.MbrNdxDataRows, read.MbrNdxRows);  // every slot is a row in the file
  for (long row = 0; row < original.MbrNdxRows; ++row) {
    for (long col = 0; col < original.MbrNdxInputs; ++col) {
      EXPECT_EQ(read.MbrDyaRtpInputs[row][col], Written(original.MbrDyaRtpInputs[row][col]));
    }
    for (long col = 0; col < original.MbrNdxOutputs; ++col) {
      EXPECT_EQ(read.MbrDyaRtpOutputs[row][col], Written(original.MbrDyaRtpOutputs[row][col]));
    }
    EXPECT_EQ(LabelsOf(original, row), LabelsOf(read, row));
  }
}

}  // namespace

TEST(FileTools, DataSetRoundTripGivesTheSameDataAndBytes) {
  TempFolder folder;
  const std::string path = folder.File("round.dat");
  const std::string again = folder.File("again.dat");
  std::mt19937 random(20240611);
  struct Shape {
    long rows, inputs, expected;
    bool labels1;
    bool second;
    long generated, errors;
    bool labels2;
  };
  const Shape shapes[] = {
      {5, 3, 2, false, false, 0, 0, false}, {4, 2, 0, true, false, 0, 0, false},
      {6, 2, 1, false, true, 1, 1, false},  {3, 1, 0, true, true, 2, 1, false},
      {4, 0, 2, false, true, 0, 1, true},   {3, 0, 0, false, true, 0, 2, true},
      {5, 1, 0, true, true, 0, 1, true},    {0, 2, 1, false, true, 1, 0, false},
      {2, 0, 0, true, true, 0, 0, true},
  };
  FileTools tools;
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.rows << " rows, " << shape.inputs << "/" << shape.expected << "/"
                                    << shape.labels1 << " " << shape.generated << "/" << shape.errors << "/"
                                    << shape.labels2);
    std::unique_ptr<Data> first;
    if (shape.inputs != 0 || shape.expected != 0 || shape.labels1) {
      first = RandomData(random, shape.rows, shape.inputs, shape.expected, shape.labels1);
    }
    std::unique_ptr<Data> second;
    if (shape.second) second = RandomData(random, shape.rows, shape.generated, shape.errors, shape.labels2);

    ASSERT_EQ(tools.WriteDataSet(path.c_str(), first.get(), second.get(), nullptr), SUCCESS);
    Read read = ReadFile(path);
    ASSERT_EQ(read.status, SUCCESS);
    ASSERT_EQ(read.first != nullptr, first != nullptr);
    ASSERT_EQ(read.second != nullptr, second != nullptr);
    if (first) ExpectReadAsWritten(*first, *read.first);
    if (second) ExpectReadAsWritten(*second, *read.second);

    ASSERT_EQ(tools.WriteDataSet(again.c_str(), read.first.get(), read.second.get(), nullptr), SUCCESS);
    EXPECT_EQ(ReadAll(again), ReadAll(path));
    Read reread = ReadFile(again);
    ASSERT_EQ(reread.status, SUCCESS);
    if (first) ExpectSameData(*read.first, *reread.first);
    if (second) ExpectSameData(*read.second, *reread.second);

    // Row by row from the offsets gives the same rows.
    long offset = 0;
    for (long row = 0; row < shape.rows; ++row) {
      Read one = ReadRows(path, &offset, 1);
      ASSERT_EQ(one.status, SUCCESS);
      if (first) {
        EXPECT_EQ(LabelsOf(*one.first, 0), LabelsOf(*read.first, row));
        if (shape.inputs > 0) {
          EXPECT_EQ(one.first->MbrDyaRtpInputs[0][0], read.first->MbrDyaRtpInputs[row][0]);
        }
      }
      if (second && shape.errors > 0) {
        EXPECT_EQ(one.second->MbrDyaRtpOutputs[0][shape.errors - 1],
                  read.second->MbrDyaRtpOutputs[row][shape.errors - 1]);
      }
    }
  }
}

TEST(FileTools, EveryPrefixOfADataSetFileIsRejectedOrReadWhole) {
  TempFolder folder;
  const std::string path = folder.File("prefix.dat");
  const std::string header = HeaderText(3, 1, "Labels", "1", 1);
  const std::string text =
      header + "0.5   [a b=0.250000000 ]   1 /* note */ -2 \n7   []   8 9 \n1e-05 2 3 [c]\n" + kEnd;
  WriteText(path, text);
  Read whole = ReadFile(path);
  ASSERT_EQ(whole.status, SUCCESS);

  for (std::size_t size = 0; size <= text.size(); ++size) {
    WriteText(path, text.substr(0, size));
    try {
      Read read = ReadFile(path);
      if (read.status == SUCCESS) {
        EXPECT_GE(size, text.size() - 1) << size;  // only the final line end may be missing
        ExpectSameData(*read.first, *whole.first);
        ExpectSameData(*read.second, *whole.second);
      }
    } catch (const FileTools::Error&) {
    }
    try {
      long offset = 0;
      Read rows = ReadRows(path, &offset, 3);
      if (rows.status == SUCCESS) {
        EXPECT_GE(size, text.find("[c]") + 3) << size;
        ExpectSameData(*rows.first, *whole.first);
      }
    } catch (const FileTools::Error&) {
    }
    try {
      std::unique_ptr<TKQstructure> answer(FileTools().IdentifyFile(path.c_str()));
      EXPECT_NE(answer, nullptr);
    } catch (const FileTools::Error&) {
    }
  }
}

// Errors point at the line and column of the offending text, counted from the
// top of the file also when the rows are read from an offset.
TEST(FileTools, DataSetErrorsCarryTheirLineAndColumn) {
  TempFolder folder;
  const std::string path = folder.File("bad.dat");
  WriteText(path,
            "[DataSet]\n[Rows = 3]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n\n[Data]\n"
            "1 2  3 \n"
            "4 5  6 \n"
            "7 x  9 \n"
            "[~Data]\n[~DataSet]\n");
  FileTools tools;
  auto expect_error_at = [&](const std::function<void()>& read, std::int64_t line, std::int64_t column) {
    try {
      read();
      ADD_FAILURE() << "no error";
    } catch (const FileTools::Error& error) {
      EXPECT_EQ(error.message, "number-expected");
      EXPECT_EQ(error.line, line);
      EXPECT_EQ(error.column, column);
    }
  };
  expect_error_at(
      [&] {
        Data* first = nullptr;
        Data* second = nullptr;
        std::unique_ptr<Data> keep;
        try {
          tools.ReadDataSet(path.c_str(), &first, &second, nullptr);
        } catch (...) {
          keep.reset(first);
          delete second;
          throw;
        }
      },
      9, 3);

  // The first two rows read; the third, from the returned offset, fails.
  long offset = 0;
  long rows = 2;
  Data* first = nullptr;
  ASSERT_EQ(tools.ReadDataSetRows(path.c_str(), &offset, &rows, &first), SUCCESS);
  delete first;
  expect_error_at(
      [&] {
        long one = 1;
        Data* next = nullptr;
        std::unique_ptr<Data> keep;
        try {
          tools.ReadDataSetRows(path.c_str(), &offset, &one, &next);
        } catch (...) {
          keep.reset(next);
          throw;
        }
      },
      9, 3);

  WriteText(path, "[DataSet]\n[Rows = 1]\n[Inputs = 1]\n[Expectedoutputs = Labels]\n[Data]\n0.5  cat\n[~Data]\n[~DataSet]\n");
  try {
    Data* labelled = nullptr;
    std::unique_ptr<Data> keep;
    try {
      tools.ReadDataSet(path.c_str(), &labelled);
    } catch (...) {
      keep.reset(labelled);
      throw;
    }
    ADD_FAILURE() << "no error";
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, "Label list expected");
    EXPECT_EQ(error.line, 6);
    EXPECT_EQ(error.column, 6);
  }
}
