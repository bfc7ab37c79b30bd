#include "FileHandler/DataSetRowReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/TLabelList.h"
#include "FileHandler/Filer.h"
#include "Support/TestFiles.h"

namespace {

using TestSupport::TempFolder;
using TestSupport::WriteText;

// A data set file with both data sets, labels in the first: |rows| rows of
// two inputs, a label list, one generated output and one error.
std::string LabelledFile(long rows) {
  std::string text =
      "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = " + std::to_string(rows) +
      "]\n[Inputs = 2]\n[ExpectedOutputs = Labels]\n[GeneratedOutputs = 1]\n[Error = 1]\n\n[Data]\n";
  for (long row = 0; row < rows; ++row) {
    const std::string n = std::to_string(row);
    text += n + " -" + n + ".5  [a b=0." + n + "]   " + n + "e-3  /* row " + n + " */ 0." + n + "\n";
  }
  return text + "[~Data]\n\n[~DataSet]\n";
}

std::string LabelsOf(Data& data, long row) {
  TLabelList* list = nullptr;
  data.GetLabels(row, &list);
  std::string text;
  for (int k = 0; list != nullptr && k < list->count; ++k) {
    text += list->labels[k].name;
    text += '=' + std::to_string(list->labels[k].value) + ' ';
  }
  return text;
}

// Everything a data set holds, as text, rows from |from| on.
std::string Describe(Data* data, long from = 0) {
  if (data == nullptr) return "(none)";
  std::string text;
  for (long row = 0; row < data->MbrNdxRows; ++row) {
    text += std::to_string(from + row) + ':';
    std::vector<double> inputs(static_cast<std::size_t>(data->MbrNdxInputs));
    std::vector<double> outputs(static_cast<std::size_t>(data->MbrNdxOutputs));
    if (!inputs.empty()) data->GetInputRow(row, inputs.data());
    for (double v : inputs) text += ' ' + std::to_string(v);
    for (long col = 0; col < data->MbrNdxOutputs; ++col) {
      double v = 0.0;
      data->GetOutputDatum(row, col, &v);
      text += ' ' + std::to_string(v);
    }
    if (data->MbrBoolLabels) text += " [" + LabelsOf(*data, row) + ']';
    text += '\n';
  }
  return text;
}

// The data sets of one read; they belong to the caller even when the read
// throws, so they are owned before it can.
struct Sets {
  Data* first = nullptr;
  Data* second = nullptr;
  ~Sets() {
    delete first;
    delete second;
  }
};

// The whole file read by ReadDataSet, described.
std::string ReadWhole(const std::string& path) {
  Sets sets;
  EXPECT_EQ(FileTools().ReadDataSet(path.c_str(), &sets.first, &sets.second, nullptr), SUCCESS);
  return Describe(sets.first) + "|" + Describe(sets.second);
}

// The whole file read run by run, described as ReadWhole does.
std::string ReadInRuns(const std::string& path, long perRun) {
  DataSetRowReader reader;
  EXPECT_EQ(reader.Open(path.c_str()), SUCCESS);
  std::string first, second;
  long done = 0;
  do {
    Sets run;
    const long rows = reader.ReadRows(perRun, &run.first, &run.second);
    EXPECT_EQ(run.first->MbrNdxRows, rows);
    first += Describe(run.first, done);
    second += Describe(run.second, done);
    done += rows;
    EXPECT_EQ(reader.RowsLeft(), reader.Rows() - done);
  } while (reader.RowsLeft() > 0);
  return first + "|" + second;
}

// The place and message of the error that reading |path| throws, read whole
// (perRun 0) or in runs.
std::string ErrorAt(const std::string& path, long perRun) {
  try {
    if (perRun == 0) {
      ReadWhole(path);
    } else {
      ReadInRuns(path, perRun);
    }
  } catch (const FileTools::Error& error) {
    return std::to_string(error.line) + ":" + std::to_string(error.column) + " " + error.message;
  }
  return "no error";
}

TEST(DataSetRowReader, RunsOfAnySizeGiveTheRowsOfAWholeRead) {
  TempFolder folder;
  const std::string path = folder.File("set.dat");
  WriteText(path, LabelledFile(23));
  const std::string whole = ReadWhole(path);
  for (long perRun : {1L, 2L, 5L, 22L, 23L, 1000L}) {
    SCOPED_TRACE(perRun);
    EXPECT_EQ(ReadInRuns(path, perRun), whole);
  }
  DataSetRowReader reader;
  ASSERT_EQ(reader.Open(path.c_str()), SUCCESS);
  EXPECT_EQ(reader.Rows(), 23);
  EXPECT_EQ(reader.Inputs(), 2);
  EXPECT_EQ(reader.ExpectedOutputs(), 0);
  EXPECT_EQ(reader.GeneratedOutputs(), 1);
  EXPECT_EQ(reader.Errors(), 1);
  EXPECT_TRUE(reader.FirstLabels());
  EXPECT_FALSE(reader.SecondLabels());
  EXPECT_TRUE(reader.HasFirst());
  EXPECT_TRUE(reader.HasSecond());
}

TEST(DataSetRowReader, NullTargetsReadThePartPastWithoutKeepingIt) {
  TempFolder folder;
  const std::string path = folder.File("set.dat");
  WriteText(path, LabelledFile(4));
  DataSetRowReader reader;
  ASSERT_EQ(reader.Open(path.c_str()), SUCCESS);
  Data* first = nullptr;
  EXPECT_EQ(reader.ReadRows(3, &first, nullptr), 3);
  std::unique_ptr<Data> owned(first);
  Data* second = nullptr;
  EXPECT_EQ(reader.ReadRows(3, nullptr, &second), 1);
  std::unique_ptr<Data> ownedSecond(second);
  const std::string whole = ReadWhole(path);
  const std::string wholeFirst = whole.substr(0, whole.find('|'));
  const std::string wholeSecond = whole.substr(whole.find('|') + 1);
  EXPECT_EQ(Describe(first), wholeFirst.substr(0, wholeFirst.find("3:")));
  EXPECT_EQ(Describe(second, 3), wholeSecond.substr(wholeSecond.find("3:")));
  EXPECT_EQ(reader.ReadRows(3, &first, &second), 0);  // nothing left: empty runs
  std::unique_ptr<Data> emptyFirst(first), emptySecond(second);
  EXPECT_EQ(first->MbrNdxRows, 0);
}

// Errors carry their place in the file, counted from its top, in whichever
// run they lie: the same place as a whole read gives.
TEST(DataSetRowReader, ErrorsPointAtTheirPlaceInTheFile) {
  TempFolder folder;
  const std::string path = folder.File("set.dat");
  const std::string good = LabelledFile(12);
  struct Case {
    std::string what, replacement, expected;
  };
  const std::vector<Case> cases = {
      {"9 -9.5", "9 nine", "20:3 number-expected"},
      {"[a b=0.11]", "[a b=zero]", "22:14 number-expected"},
      // One number too many in row 10 shifts the rest: row 11's label list
      // comes where its generated output is due.
      {"0.10\n", "0.10 7\n", "22:11 Token (number) expected"},
      {"[~Data]\n\n[~DataSet]\n", "[~Data]\n\n[~Data]\n", "25:1 Unexpected End Tag"},
      {"[~DataSet]\n", "[~DataSet]\n[x]", "26:1 End Tag expected"},
      {"11 -11.5  [a b=0.11]   11e-3  /* row 11 */ 0.11\n", "", "22:1 Token (number) expected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = good;
    const std::size_t at = text.find(c.what);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, c.what.size(), c.replacement);
    WriteText(path, text);
    const std::string whole = ErrorAt(path, 0);
    EXPECT_EQ(whole, c.expected);
    for (long perRun : {1L, 4L, 5L, 100L}) EXPECT_EQ(ErrorAt(path, perRun), whole) << "runs of " << perRun;
  }
}

TEST(DataSetRowReader, OpenTellsWhyAFileCannotBeRead) {
  TempFolder folder;
  const auto open = [&](const std::string& text) {
    WriteText(folder.File("h.dat"), text);
    DataSetRowReader reader;
    const int status = reader.Open(folder.File("h.dat").c_str());
    return std::to_string(status) + (status == FORMAT_ERROR && reader.MissingRows() ? " no rows" : "");
  };
  EXPECT_EQ(open("[DataSet][Inputs = 1][Data][~Data][~DataSet]"), std::to_string(FORMAT_ERROR) + " no rows");
  EXPECT_EQ(open("[DataSet][Rows = 1][Error = 1][Inputs = 1][Data][~Data][~DataSet]"),
            std::to_string(FORMAT_ERROR));
  EXPECT_EQ(open("[DataSet][Rows = 0][Inputs = 1][Data][~Data][~DataSet]"), std::to_string(SUCCESS));

  DataSetRowReader missing;
  EXPECT_EQ(missing.Open(folder.File("none.dat").c_str()), FILE_OPEN_FAILED);
  DataSetRowReader directory;
  EXPECT_EQ(directory.Open(folder.Path().c_str()), FILE_OPEN_FAILED);

  // A header whose rows the file cannot hold is refused before any row.
  WriteText(folder.File("huge.dat"), "[DataSet]\n[Rows = 2000000000]\n[Inputs = 3]\n[Data]\n1 2 3\n[~Data][~DataSet]\n");
  DataSetRowReader huge;
  try {
    huge.Open(folder.File("huge.dat").c_str());
    ADD_FAILURE() << "no error";
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, "Data set header announces more rows than the file holds");
    EXPECT_EQ(error.line, 4);
    EXPECT_EQ(error.column, 1);
  }
}

// With no rows, the first run checks the end of the file.
TEST(DataSetRowReader, AnEmptyDataSetIsCheckedByItsFirstRun) {
  TempFolder folder;
  const std::string path = folder.File("empty.dat");
  WriteText(path, "[DataSet]\n[Rows = 0]\n[Inputs = 2]\n[Data]\n[~Data]\n[~DataSet]\n");
  DataSetRowReader reader;
  ASSERT_EQ(reader.Open(path.c_str()), SUCCESS);
  Data* first = nullptr;
  Data* second = reinterpret_cast<Data*>(&reader);  // overwritten with nullptr
  EXPECT_EQ(reader.ReadRows(10, &first, &second), 0);
  std::unique_ptr<Data> owned(first);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->MbrNdxRows, 0);
  EXPECT_EQ(second, nullptr);

  WriteText(path, "[DataSet]\n[Rows = 0]\n[Inputs = 2]\n[Data]\n1 2\n[~Data]\n[~DataSet]\n");
  EXPECT_EQ(ErrorAt(path, 3), "5:1 End Tag expected");
}

}  // namespace

namespace {

// Reading on after a failure would read from an unknown place: a broken
// contract, not a file error.
TEST(DataSetRowReaderDeathTest, ReadingAfterAFailureStopsTheProgram) {
  TempFolder folder;
  const std::string path = folder.File("bad.dat");
  WriteText(path, "[DataSet]\n[Rows = 2]\n[Inputs = 1]\n[Data]\n1 x\n[~Data]\n[~DataSet]\n");
  EXPECT_DEATH(
      {
        DataSetRowReader reader;
        reader.Open(path.c_str());
        Data* first = nullptr;
        try {
          reader.ReadRows(2, &first, nullptr);
        } catch (const FileTools::Error&) {
        }
        reader.ReadRows(2, &first, nullptr);
      },
      "Assertion failed: state_ != nullptr && state_->readable && maxRows >= 0");
  EXPECT_DEATH(
      {
        DataSetRowReader reader;
        reader.Open(folder.File("missing.dat").c_str());
        Data* first = nullptr;
        reader.ReadRows(1, &first, nullptr);
      },
      "Assertion failed: state_ != nullptr && state_->readable");
}

}  // namespace
