#include "DataImport/FannReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "ImportTestSupport.h"

namespace {

using ImportTest::FileErrorOf;
using ImportTest::InputsOf;
using ImportTest::OutputsOf;
using ImportTest::Rows;

std::unique_ptr<Data> Import(const std::string& text) {
  std::istringstream in(text);
  return Netforge::ReadFannData(in);
}

TEST(FannReader, ReadsRowsWhateverTheLineLayout) {
  for (const char* text : {"2 2 1\n0 1\n1\n1 1\n0\n", "2 2 1 0 1 1 1 1 0", "\xEF\xBB\xBF 2\t2 1\r\n0 1 1\r\n1 1\n0\n\n"}) {
    const auto data = Import(text);
    EXPECT_EQ(InputsOf(*data), (Rows{{0, 1}, {1, 1}})) << text;
    EXPECT_EQ(OutputsOf(*data), (Rows{{1}, {0}})) << text;
    EXPECT_EQ(data->MbrNdxRows, 2);
    EXPECT_EQ(data->MbrNdxDataRows, 2);
  }
  const auto noOutputs = Import("1 3 0\n-1.5e-3 .5 7.\n");
  EXPECT_EQ(InputsOf(*noOutputs), (Rows{{-1.5e-3, 0.5, 7}}));
  EXPECT_EQ(noOutputs->MbrNdxOutputs, 0);
}

TEST(FannReader, RefusesWithThePlaceOfTheFault) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "1:1: the file ends where the number of rows is due"},
      {"2 1", "1:4: the file ends where the number of outputs is due"},
      {"x 1 1\n", "1:1: the number of rows must be a whole number, not \"x\""},
      {"1.5 1 1\n", "1:1: the number of rows must be a whole number, not \"1.5\""},
      {"0 1 1\n", "1:1: the number of rows must lie between 1 and 2147483647"},
      {"1 0 1\n", "1:3: the number of inputs must lie between 1 and 2147483647"},
      {"1 1 -1\n", "1:5: the number of outputs must lie between 0 and 2147483647"},
      {"2147483648 1 1\n", "1:1: the number of rows must lie between 1 and 2147483647"},
      {"3 1 1\n1\n2\n", "4:1: the file ends in row 2 of 3"},
      {"1 1 1\n1\n2\n3\n", "4:1: text after the last of 1 rows: \"3\""},
      {"1 2 1\n1,5 2\n3\n", "2:1: row 1: \"1,5\" has a decimal comma: write 1.5"},
      {"1 1 1\n1\nnan\n", "3:1: row 1: \"nan\" is not a decimal number"},
      {"1 1 1\n-1e999\n0\n", "2:1: row 1: \"-1e999\" is too large for a double"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileErrorOf([&] { Import(c.text); }), c.error) << c.text;
}

TEST(FannReader, AFileWhoseCountsLieCostsNoMemory) {
  // A hundred million announced values of which none is there: refused at
  // the end of the input, never allocated.
  EXPECT_EQ(FileErrorOf([] { Import("100000000 1000 1000\n1 2\n"); }), "3:1: the file ends in row 1 of 100000000");
}

}  // namespace
