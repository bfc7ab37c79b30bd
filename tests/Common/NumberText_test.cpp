#include "Common/NumberText.h"

#include <cfenv>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Netforge::ScanResult;

namespace {

std::string Printf(const char* format, double value, int precision) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, precision, value);
  return buffer;
}

std::string Fixed(double value, int precision) {
  std::string out;
  Netforge::AppendFixed(out, value, precision);
  return out;
}

std::string General(double value, int precision) {
  std::string out;
  Netforge::AppendGeneral(out, value, precision);
  return out;
}

}  // namespace

TEST(NumberText, FormatsLikePrintf) {
  const double samples[] = {0.0, -0.0, 0.5, -1.25, 2.0, 1e-7, 1e-20, 3.14159, 123456789012345.0,
                            1e15, 1e16, 1e21, -4.5e-300, DBL_MAX, DBL_MIN, 0.1, 1.0 / 3.0,
                            HUGE_VAL, -HUGE_VAL};
  for (double v : samples) {
    EXPECT_EQ(Fixed(v, 15), Printf("%.*f", v, 15)) << v;
    EXPECT_EQ(Fixed(v, 6), Printf("%.*f", v, 6)) << v;
    EXPECT_EQ(Fixed(v, 9), Printf("%.*f", v, 9)) << v;
    EXPECT_EQ(General(v, 15), Printf("%.*g", v, 15)) << v;
  }
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> range(-10.0, 10.0);
  for (int i = 0; i < 2000; ++i) {
    const double v = range(random) * std::pow(10.0, static_cast<int>(random() % 40) - 20);
    ASSERT_EQ(General(v, 15), Printf("%.*g", v, 15)) << v;
    ASSERT_EQ(Fixed(v, 15), Printf("%.*f", v, 15)) << v;
  }
}

TEST(NumberText, FormatsLongs) {
  std::string out;
  Netforge::AppendLong(out, -3);
  out += ' ';
  Netforge::AppendLong(out, LONG_MIN);
  EXPECT_EQ(out, "-3 " + std::to_string(LONG_MIN));
}

TEST(NumberText, ScansIntegersLikeScanfAndRejectsOverflow) {
  long v = 0;
  const char* end = nullptr;
  EXPECT_EQ(Netforge::ScanLong("  -42x", v, INT32_MIN, INT32_MAX, &end), ScanResult::kOk);
  EXPECT_EQ(v, -42);
  EXPECT_STREQ(end, "x");
  EXPECT_EQ(Netforge::ScanLong("+7", v, INT32_MIN, INT32_MAX), ScanResult::kOk);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(Netforge::ScanLong("12abc", v, INT32_MIN, INT32_MAX), ScanResult::kOk);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(Netforge::ScanLong("2147483647", v, INT32_MIN, INT32_MAX), ScanResult::kOk);
  EXPECT_EQ(Netforge::ScanLong("-2147483648", v, INT32_MIN, INT32_MAX), ScanResult::kOk);
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_EQ(Netforge::ScanLong("2147483648", v, INT32_MIN, INT32_MAX), ScanResult::kOutOfRange);
  EXPECT_EQ(Netforge::ScanLong("99999999999999999999999", v, LONG_MIN, LONG_MAX), ScanResult::kOutOfRange);
  EXPECT_EQ(Netforge::ScanLong("-9223372036854775808", v, LONG_MIN, LONG_MAX), ScanResult::kOk);
  EXPECT_EQ(v, LONG_MIN);
  EXPECT_EQ(Netforge::ScanLong("x1", v, LONG_MIN, LONG_MAX), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanLong("-", v, LONG_MIN, LONG_MAX), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanLong("--1", v, LONG_MIN, LONG_MAX), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanLong("", v, LONG_MIN, LONG_MAX), ScanResult::kNoNumber);
}

TEST(NumberText, ScansNumbersLikeStrtod) {
  const char* samples[] = {"1.5x", "-0.5", "+2", ".5", "1.", "1e3", "1E-7", "1e", "0x1.8p1", "0x", "inf",
                           "-Infinity", "1e400", "-1e400", "1e-400", "0.1", "3.141590000000000",
                           "  \t12", "000123.456e-2"};
  for (const char* text : samples) {
    char* strtod_end = nullptr;
    const double expected = std::strtod(text, &strtod_end);
    double value = -99.0;
    const char* end = nullptr;
    ASSERT_EQ(Netforge::ScanDouble(text, value, &end), ScanResult::kOk) << text;
    EXPECT_EQ(value, expected) << text;
    EXPECT_EQ(end, strtod_end) << text;
  }
  double value = 0;
  EXPECT_TRUE(Netforge::ScanDouble("nan", value) == ScanResult::kOk && std::isnan(value));
  EXPECT_EQ(Netforge::ScanDouble("new", value), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanDouble("-", value), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanDouble("--1", value), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanDouble(".", value), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanDouble("", value), ScanResult::kNoNumber);
}

// Short decimals take a quicker path than from_chars; it must give the same
// bits, at the edges of that path too (19 digits, 2^53, 22 decimals).
TEST(NumberText, ScansShortDecimalsToTheSameBitsAsStrtod) {
  std::mt19937_64 random(20261208);
  std::vector<std::string> texts = {"9007199254740992", "9007199254740993", "0.9007199254740993",
                                    "1234567890123456789", "0.0000000000000000000001", "-0.0",
                                    "0.00000000000000000000001", "18446744073709551615.5", "4.35",
                                    "0.1", "0.3", "123456.7890123456789012"};
  char buffer[64];
  for (int i = 0; i < 20000; ++i) {
    const double x = std::ldexp(static_cast<double>(random() >> 11), -53) * 2.0 - 1.0;
    const int precision = static_cast<int>(random() % 24);
    std::snprintf(buffer, sizeof buffer, i % 2 == 0 ? "%.*f" : "%.*g", precision, x * std::pow(10.0, i % 7));
    texts.emplace_back(buffer);
  }
  for (const std::string& text : texts) {
    double value = -99.0;
    const char* end = nullptr;
    ASSERT_EQ(Netforge::ScanDouble(text.c_str(), value, &end), ScanResult::kOk) << text;
    char* strtod_end = nullptr;
    const double expected = std::strtod(text.c_str(), &strtod_end);
    ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
    ASSERT_EQ(end, strtod_end) << text;
  }
}

// The bounded form reads nothing from |last| on, wherever that falls.
TEST(NumberText, ScansOnlyUpToTheGivenEnd) {
  const char text[] = "-1.25999e5";
  double value = 0;
  const char* end = nullptr;
  ASSERT_EQ(Netforge::ScanDouble(text, text + 5, value, &end), ScanResult::kOk);
  EXPECT_EQ(value, -1.25);
  EXPECT_EQ(end, text + 5);
  ASSERT_EQ(Netforge::ScanDouble(text, text + 9, value, &end), ScanResult::kOk);
  EXPECT_EQ(value, -1.25999);  // "e" without digits is not an exponent
  EXPECT_EQ(end, text + 8);
  const char word[] = "infinity";
  ASSERT_EQ(Netforge::ScanDouble(word, word + 5, value, &end), ScanResult::kOk);
  EXPECT_TRUE(std::isinf(value));
  EXPECT_EQ(end, word + 3);
  EXPECT_EQ(Netforge::ScanDouble(word, word + 2, value), ScanResult::kNoNumber);
  EXPECT_EQ(Netforge::ScanDouble(text, text + 1, value), ScanResult::kNoNumber);
  const char hex[] = "0x1p4";
  EXPECT_EQ(Netforge::ScanDouble(hex, hex + 2, value, &end), ScanResult::kOk);  // "0" then "x"
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(end, hex + 1);
}

// Outside round-to-nearest the quick path stands aside for from_chars.
TEST(NumberText, ScansInEveryRoundingModeAsFromChars) {
  for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO, FE_TONEAREST}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    for (const char* text : {"0.1", "-0.3", "2.675", "0.0621509445478683"}) {
      double value = 0;
      ASSERT_EQ(Netforge::ScanDouble(text, value), ScanResult::kOk);
      const char* digits = text[0] == '-' ? text + 1 : text;
      double expected = 0;
      std::from_chars(digits, digits + std::strlen(digits), expected);
      if (digits != text) expected = -expected;
      EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text << " in mode " << mode;
    }
  }
  std::fesetround(FE_TONEAREST);
}
