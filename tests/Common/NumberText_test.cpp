#include "Common/NumberText.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

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
