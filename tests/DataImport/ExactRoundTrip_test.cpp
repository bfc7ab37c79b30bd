// The importers' promise: the values written are the values read. Each value
// goes from its text through an importer into a data set file and back, and
// must arrive with the very bits that the text stands for.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Common/NumberText.h"
#include "DataImport/CsvReader.h"
#include "DataImport/FannReader.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "Support/TestFiles.h"

namespace {

// Texts that 15 significant digits would not keep, and others at the edges.
const std::vector<std::string> kTexts = {
    "0.1",   "1e-300", "-0.0", "0.30000000000000004", "0.12345678901234567", "-98765.432109876543",
    "4.9406564584124654e-324", "2.2250738585072009e-308", "1.7976931348623157e308", "123456789012345678",
    "9007199254740993", "1", "-2.5e-7", "6.02214076e23"};

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double ValueOf(const std::string& text) {
  double value = 0.0;
  Netforge::ScanDouble(text.c_str(), value);
  return value;
}

// |data| written with exact numbers and read back.
std::unique_ptr<Data> ThroughFile(Data& data) {
  TestSupport::TempFolder folder;
  const std::string file = folder.File("values.dat");
  FileTools tools;
  auto options = std::make_unique<TKQstructure>("options");
  options->Set("numbers", "exact");
  EXPECT_EQ(tools.WriteDataSet(file.c_str(), &data, nullptr, options.release()), SUCCESS);
  Data* read = nullptr;
  EXPECT_EQ(tools.ReadDataSet(file.c_str(), &read), SUCCESS);
  return std::unique_ptr<Data>(read);
}

void ExpectExact(Data& imported) {
  const auto back = ThroughFile(imported);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->MbrNdxDataRows, static_cast<std::int32_t>(kTexts.size()));
  for (std::size_t row = 0; row < kTexts.size(); ++row) {
    EXPECT_EQ(Bits(imported.MbrDyaRtpInputs[row][0]), Bits(ValueOf(kTexts[row]))) << kTexts[row];
    EXPECT_EQ(Bits(back->MbrDyaRtpInputs[row][0]), Bits(ValueOf(kTexts[row]))) << kTexts[row];
    EXPECT_EQ(Bits(back->MbrDyaRtpOutputs[row][0]), Bits(-ValueOf(kTexts[row]))) << kTexts[row];
  }
}

std::string Negated(const std::string& text) { return text[0] == '-' ? text.substr(1) : "-" + text; }

TEST(ExactRoundTrip, CsvValuesReadBackBitForBit) {
  std::string table = "value,negated\n";
  for (const std::string& text : kTexts) table += text + "," + Negated(text) + "\n";
  std::istringstream in(table);
  ExpectExact(*Netforge::ReadCsv(in, {}));
}

TEST(ExactRoundTrip, FannValuesReadBackBitForBit) {
  std::string text = std::to_string(kTexts.size()) + " 1 1\n";
  for (const std::string& value : kTexts) text += value + "\n" + Negated(value) + "\n";
  std::istringstream in(text);
  ExpectExact(*Netforge::ReadFannData(in));
}

TEST(ExactRoundTrip, ExactNumbersTakeOnlyTheDigitsTheyNeed) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0.1, "0.1"}, {0.5, "0.5"}, {1e-300, "1e-300"}, {-0.0, "-0"}, {0.1 + 0.2, "0.30000000000000004"},
               {1.0 / 3.0, "0.3333333333333333"}, {DBL_MAX, "1.7976931348623157e+308"}, {HUGE_VAL, "inf"}};
  for (const auto& c : cases) {
    std::string text;
    Netforge::AppendExact(text, c.value);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
