#include "DataImport/CsvReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "ImportTestSupport.h"
#include "KQmessage/TException.h"
#include "Support/TestFiles.h"

namespace {

using ImportTest::FileErrorOf;
using ImportTest::InputsOf;
using ImportTest::OutputsOf;
using ImportTest::Rows;
using Netforge::CsvHeader;
using Netforge::CsvOptions;

std::unique_ptr<Data> Import(const std::string& text, const CsvOptions& options = {}) {
  std::istringstream in(text);
  return Netforge::ReadCsv(in, options);
}

CsvOptions Columns(std::optional<std::string> inputs, std::optional<std::string> outputs,
                   CsvHeader header = CsvHeader::kAuto, char delimiter = ',') {
  CsvOptions options;
  options.inputs = std::move(inputs);
  options.outputs = std::move(outputs);
  options.header = header;
  options.delimiter = delimiter;
  return options;
}

struct GoodTable {
  const char* name;
  std::string text;
  CsvOptions options;
  Rows inputs;
  Rows outputs;
};

// gtest names a case by its name instead of printing its bytes (padding included).
void PrintTo(const GoodTable& table, std::ostream* out) { *out << table.name; }

class CsvReaderReads : public testing::TestWithParam<GoodTable> {};

TEST_P(CsvReaderReads, TheChosenColumnsOfEveryRow) {
  const GoodTable& table = GetParam();
  const auto data = Import(table.text, table.options);
  EXPECT_EQ(InputsOf(*data), table.inputs);
  EXPECT_EQ(OutputsOf(*data), table.outputs);
  EXPECT_EQ(data->MbrNdxRows, data->MbrNdxDataRows);
  EXPECT_FALSE(data->MbrBoolLabels);
}

CsvOptions WithHeader(CsvHeader header, char delimiter = ',') {
  return Columns(std::nullopt, std::nullopt, header, delimiter);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CsvReaderReads,
    testing::Values(
        GoodTable{"LastColumnIsTheOutputByDefault", "a,b,c\n1,2,3\n4,5,6\n", {}, {{1, 2}, {4, 5}}, {{3}, {6}}},
        GoodTable{"NumericFirstLineIsData", "1,2,3\n4,5,6", {}, {{1, 2}, {4, 5}}, {{3}, {6}}},
        GoodTable{"HeaderForcedAlthoughNumeric", "1,2\n3,4\n", WithHeader(CsvHeader::kPresent), {{3}}, {{4}}},
        GoodTable{"CrLfBlankLinesAndBlanks", "\r\n x , y \r\n\r\n 1 ,\t2\r\n\n3,4\r\n", {}, {{1}, {3}}, {{2}, {4}}},
        GoodTable{"QuotedCells", "\"a,b\",\"c\"\"d\"\n\"1.5\" , \"-2\"\n", {}, {{1.5}}, {{-2}}},
        GoodTable{"QuotedLineEndInHeader", "\"x\ny\",z\n1,2\n", {}, {{1}}, {{2}}},
        GoodTable{"ByteOrderMark", "\xEF\xBB\xBFx,y\n1,2\n", {}, {{1}}, {{2}}},
        GoodTable{"SemicolonDelimiter", "x;y\n1.25;2e3\n", WithHeader(CsvHeader::kAuto, ';'), {{1.25}}, {{2000}}},
        GoodTable{"TabDelimiterKeepsEmptyCells", "1\t\t2\n", Columns("1", "3", CsvHeader::kAuto, '\t'), {{1}}, {{2}}},
        GoodTable{"NamesNumbersAndRanges", "id,x1,x2,x3,class\n7,1,2,3,0\n", Columns("x3,2-3", "class"), {{3, 1, 2}},
                  {{0}}},
        GoodTable{"OnlyOutputsGiven", "a,b,c\n1,2,3\n", Columns(std::nullopt, "a"), {{2, 3}}, {{1}}},
        GoodTable{"OnlyInputsGiven", "a,b,c\n1,2,3\n", Columns("2", std::nullopt), {{2}}, {{1, 3}}},
        GoodTable{"NoOutputs", "a,b\n1,2\n", Columns(std::nullopt, ""), {{1, 2}}, {{}}},
        GoodTable{"UnchosenColumnsAreNotRead", "name,x,y\nrose,1,2\n", Columns("x", "y"), {{1}}, {{2}}},
        GoodTable{"HeaderNameThatLooksLikeANumber", "2,x,y\n5,6,7\n", Columns("2", "y", CsvHeader::kPresent),
                  {{5}}, {{7}}}),
    [](const testing::TestParamInfo<GoodTable>& info) { return std::string(info.param.name); });

struct BadTable {
  const char* name;
  std::string text;
  CsvOptions options;
  std::string error;  // LINE:COLUMN: message
};

void PrintTo(const BadTable& table, std::ostream* out) { *out << table.name; }

class CsvReaderRefuses : public testing::TestWithParam<BadTable> {};

TEST_P(CsvReaderRefuses, WithLineAndColumnOfTheBadCell) {
  const BadTable& table = GetParam();
  EXPECT_EQ(FileErrorOf([&] { Import(table.text, table.options); }), table.error);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CsvReaderRefuses,
    testing::Values(
        BadTable{"DecimalComma", "x;y\n1;2\n3;1,5\n", WithHeader(CsvHeader::kAuto, ';'),
                 "3:3: column 2 (y): \"1,5\" has a decimal comma: write 1.5"},
        BadTable{"Word", "x,y\n1,2\n  abc ,3\n", {}, "3:3: column 1 (x): \"abc\" is not a decimal number"},
        BadTable{"EmptyCell", "1,2\n3,\n", {}, "2:3: column 2: empty where a number is due"},
        BadTable{"NotANumber", "1,nan\n", {}, "1:3: column 2: \"nan\" is not a decimal number"},
        BadTable{"Infinity", "1,inf\n", {}, "1:3: column 2: \"inf\" is not a decimal number"},
        BadTable{"Hexadecimal", "1,0x10\n", {}, "1:3: column 2: \"0x10\" is not a decimal number"},
        BadTable{"TooLarge", "1,1e400\n", {}, "1:3: column 2: \"1e400\" is too large for a double"},
        BadTable{"RaggedRecord", "x,y\n1,2\n3,4,5\n", {}, "3:1: a record of 3 cells where the first has 2"},
        BadTable{"UnclosedQuote", "x,y\n1,\"2\n", {}, "2:3: quoted cell not closed"},
        BadTable{"TextAfterQuote", "\"x\"y,z\n", {}, "1:4: text after the closing quote of a cell"},
        BadTable{"Empty", "", {}, "1:1: the table is empty"},
        BadTable{"BlankLinesOnly", "\n\r\n  \n", {}, "1:1: the table is empty"},
        BadTable{"HeaderOnly", "x,y\n", {}, "0:0: the table has a header but no rows of data"}),
    [](const testing::TestParamInfo<BadTable>& info) { return std::string(info.param.name); });

// What the TException of |action| says, or "no error".
std::string ParameterErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const TException& exception) {
    return exception.message;
  }
  return "no error";
}

TEST(CsvReader, RefusesOptionsThatDoNotFitTheTable) {
  const std::string table = "x,y,z\n1,2,3\n";
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("4", "1")); }),
            "column list: there is no column 4 (the table has 3 columns)");
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("w", "1")); }),
            "column list: \"w\" is neither a column name nor a column number");
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("3-1", "")); }),
            "column list: the range \"3-1\" goes down");
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("1,x", "")); }), "column list: column 1 is listed twice");
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("1,,2", "")); }), "column list: empty item");
  EXPECT_EQ(ParameterErrorOf([&] { Import(table, Columns("", "1")); }), "no input columns: a data set needs at least one");
  EXPECT_EQ(ParameterErrorOf([&] { Import("x\n1\n"); }), "no input columns: a data set needs at least one");
  for (char delimiter : {'"', '\n', ' ', '.', '5', '-', 'e', '\0'}) {
    EXPECT_NE(ParameterErrorOf([&] { Import(table, WithHeader(CsvHeader::kAuto, delimiter)); }), "no error")
        << "delimiter " << static_cast<int>(delimiter);
  }
}

TEST(CsvReader, ReadsFilesAndNamesTheOnesItCannotOpen) {
  TestSupport::TempFolder folder;
  TestSupport::WriteText(folder.File("t.csv"), "x,y\n0.5,1\n");
  EXPECT_EQ(InputsOf(*Netforge::ReadCsvFile(folder.File("t.csv"), {})), Rows{{0.5}});
  const std::string missing = folder.File("missing.csv");
  EXPECT_EQ(FileErrorOf([&] { Netforge::ReadCsvFile(missing, {}); }), "0:0: cannot open " + missing + " for reading");
  EXPECT_EQ(FileErrorOf([&] { Netforge::ReadCsvFile(folder.Path().string(), {}); }),
            "0:0: cannot open " + folder.Path().string() + " for reading");
}

}  // namespace
