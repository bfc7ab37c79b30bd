// Accuracy of the library's own exp, expm1, tanh and log against the long
// double functions of the C library, their special values, and a few exact
// results pinned bit for bit so that any change of the method is noticed.
#include "Common/PortableMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "Common/SeededRandom.h"
#include "Support/LongDouble.h"

namespace {

using Netforge::Exp;
using Netforge::Expm1;
using Netforge::Log;
using Netforge::SeededRandom;
using Netforge::Tanh;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();

// Distance of y from the exact value, in units of the last place of the
// correctly rounded double (the subnormal ulp below the normal range).
double UlpError(double y, long double exact) {
  if (std::isinf(y) && std::isinf(static_cast<double>(exact)) && (y > 0) == (exact > 0)) return 0.0;
  const int exponent = exact == 0 ? -1074 : std::max(std::ilogb(static_cast<double>(exact)), -1022) - 52;
  return static_cast<double>(std::fabs(static_cast<long double>(y) - exact) / std::ldexp(1.0L, exponent));
}

// A double spread evenly over [low, high].
double Uniform(SeededRandom& random, double low, double high) {
  return low + (high - low) * std::ldexp(static_cast<double>(random.Next() >> 11), -53);
}

// A double whose magnitude is spread evenly over the exponents 2^low..2^high,
// with a random sign when signed.
double LogUniform(SeededRandom& random, double low, double high, bool signed_) {
  const double magnitude = std::exp2(Uniform(random, low, high));
  return signed_ && (random.Next() & 1) ? -magnitude : magnitude;
}

struct SweepCase {
  std::string name;
  std::function<double(double)> ours;
  std::function<long double(long double)> reference;
  std::function<double(SeededRandom&)> draw;
};

std::vector<SweepCase> SweepCases() {
  return {
      {"Exp", Exp, [](long double x) { return expl(x); },
       [](SeededRandom& r) {
         switch (r.Next() % 4) {
           case 0: return Uniform(r, -745.2, 709.8);   // the whole range
           case 1: return Uniform(r, -745.2, -708.0);  // subnormal results
           case 2: return Uniform(r, -5.0, 5.0);       // where networks live
           default: return LogUniform(r, -60, 0, true);
         }
       }},
      {"Expm1", Expm1, [](long double x) { return expm1l(x); },
       [](SeededRandom& r) {
         return r.Next() % 2 ? Uniform(r, -45.0, 709.7) : LogUniform(r, -60, 2, true);
       }},
      {"Tanh", Tanh, [](long double x) { return tanhl(x); },
       [](SeededRandom& r) {
         return r.Next() % 2 ? Uniform(r, -23.0, 23.0) : LogUniform(r, -40, 5, true);
       }},
      {"Log", Log, [](long double x) { return logl(x); },
       [](SeededRandom& r) {
         switch (r.Next() % 3) {
           case 0: {  // any positive double, subnormals included
             const double x = std::bit_cast<double>(r.Next() & 0x7fefffffffffffffULL);
             return x > 0 ? x : 1.0;
           }
           case 1: return 1.0 + LogUniform(r, -52, -1, true);  // close to 1
           default: return Uniform(r, 1e-6, 10.0);
         }
       }},
  };
}

// For test names and failure messages (gtest would otherwise print the raw
// bytes of the functions, padding included).
void PrintTo(const SweepCase& c, std::ostream* out) { *out << c.name; }

class PortableMathSweep : public ::testing::TestWithParam<SweepCase> {};

// Within 1 ulp everywhere on a million inputs, and nearly always correctly
// rounded (the long double reference is itself exact to about 2^-63).
TEST_P(PortableMathSweep, WithinOneUlpOfTheExactResult) {
  if (!TestSupport::LongDoubleIsWiderThanDouble()) GTEST_SKIP() << "long double is no wider than double here";
  const SweepCase& c = GetParam();
  SeededRandom random(20261208);
  constexpr int kCount = 1000000;
  double worst = 0.0, worstAt = 0.0;
  int correctlyRounded = 0;
  for (int i = 0; i < kCount; ++i) {
    const double x = c.draw(random);
    const long double exact = c.reference(x);
    const double y = c.ours(x);
    const double error = UlpError(y, exact);
    if (error > worst) {
      worst = error;
      worstAt = x;
    }
    if (y == static_cast<double>(exact)) ++correctlyRounded;
  }
  const double share = static_cast<double>(correctlyRounded) / kCount;
  std::cout << c.name << ": max error " << worst << " ulp (at " << worstAt << "), correctly rounded "
            << share * 100 << " %\n";
  RecordProperty("max_ulp", std::to_string(worst));
  RecordProperty("correctly_rounded", std::to_string(share));
  EXPECT_LE(worst, 1.0) << "at " << std::hexfloat << worstAt;
  EXPECT_GE(share, 0.99);
}

INSTANTIATE_TEST_SUITE_P(AllFunctions, PortableMathSweep, ::testing::ValuesIn(SweepCases()),
                         [](const auto& info) { return info.param.name; });

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The correctly rounded double of a long double reference (not the C
// library's double functions, whose last bit depends on the processor).
double Rounded(long double exact) { return static_cast<double>(exact); }

struct EdgeCase {
  const char* function;
  double (*ours)(double);
  double x;
  double expected;  // compared bit for bit; any NaN matches any NaN
};

TEST(PortableMath, SpecialValuesAsTheCLibrary) {
  const EdgeCase cases[] = {
      {"Exp", Exp, 0.0, 1.0},
      {"Exp", Exp, -0.0, 1.0},
      {"Exp", Exp, kInf, kInf},
      {"Exp", Exp, -kInf, 0.0},
      {"Exp", Exp, kNaN, kNaN},
      {"Exp", Exp, 709.8, kInf},               // overflow
      {"Exp", Exp, 1e308, kInf},
      {"Exp", Exp, -745.2, 0.0},               // underflow
      {"Exp", Exp, -1e308, 0.0},
      {"Exp", Exp, -745.0, Rounded(expl(-745.0L))},  // smallest subnormal
      {"Exp", Exp, kTiny, 1.0},
      {"Expm1", Expm1, 0.0, 0.0},
      {"Expm1", Expm1, -0.0, -0.0},
      {"Expm1", Expm1, kTiny, kTiny},
      {"Expm1", Expm1, -kTiny, -kTiny},
      {"Expm1", Expm1, kInf, kInf},
      {"Expm1", Expm1, -kInf, -1.0},
      {"Expm1", Expm1, -50.0, -1.0},
      {"Expm1", Expm1, kNaN, kNaN},
      {"Expm1", Expm1, 710.0, kInf},
      {"Tanh", Tanh, 0.0, 0.0},
      {"Tanh", Tanh, -0.0, -0.0},
      {"Tanh", Tanh, kTiny, kTiny},
      {"Tanh", Tanh, -1e-300, -1e-300},
      {"Tanh", Tanh, kInf, 1.0},
      {"Tanh", Tanh, -kInf, -1.0},
      {"Tanh", Tanh, 22.0, 1.0},
      {"Tanh", Tanh, -800.0, -1.0},
      {"Tanh", Tanh, kNaN, kNaN},
      {"Log", Log, 1.0, 0.0},
      {"Log", Log, 0.0, -kInf},
      {"Log", Log, -0.0, -kInf},
      {"Log", Log, kInf, kInf},
      {"Log", Log, -kInf, kNaN},
      {"Log", Log, -1.0, kNaN},
      {"Log", Log, -kTiny, kNaN},
      {"Log", Log, kNaN, kNaN},
      {"Log", Log, 2.0, Rounded(logl(2.0L))},
      {"Log", Log, kTiny, Rounded(logl(kTiny))},
      {"Log", Log, std::numeric_limits<double>::max(), Rounded(logl(std::numeric_limits<double>::max()))},
  };
  for (const EdgeCase& c : cases) {
    const double y = c.ours(c.x);
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(y)) << c.function << "(" << c.x << ") = " << y;
    } else {
      EXPECT_EQ(Bits(y), Bits(c.expected)) << c.function << "(" << c.x << ") = " << y;
    }
  }
}

TEST(PortableMath, TanhIsOddAndBounded) {
  SeededRandom random(7);
  for (int i = 0; i < 100000; ++i) {
    const double x = LogUniform(random, -30, 6, false);
    const double t = Tanh(x);
    ASSERT_EQ(Bits(Tanh(-x)), Bits(-t)) << x;
    ASSERT_LE(t, 1.0) << x;
    ASSERT_GE(t, 0.0) << x;
  }
}

TEST(PortableMath, LogInvertsExpOnExactPowersOfTwo) {
  for (int n = -1074; n <= 1023; ++n) {
    const long double exact = n * 0.693147180559945309417232121458176568L;
    ASSERT_LE(UlpError(Log(std::ldexp(1.0, n)), exact), 1.0) << n;
  }
}

// Exact results pinned bit for bit. These are the bits every machine must
// produce; a change here changes recalled outputs and trained networks.
TEST(PortableMath, PinnedBitPatterns) {
  struct Pin {
    const char* function;
    double (*f)(double);
    double x;
    double expected;
  };
  const Pin pins[] = {
      {"Exp", Exp, 1.0, 0x1.5bf0a8b145769p+1},
      {"Exp", Exp, -0.5, 0x1.368b2fc6f960ap-1},
      {"Exp", Exp, 0.1, 0x1.1aec7b35a00d4p+0},
      {"Exp", Exp, -2.0, 0x1.152aaa3bf81ccp-3},
      {"Exp", Exp, 100.0, 0x1.3494a9b171bf5p+144},
      {"Exp", Exp, -740.0, 0x0.0000000000055p-1022},
      {"Expm1", Expm1, 1e-5, 0x1.4f8bc681cdfb6p-17},
      {"Expm1", Expm1, -0.75, -0x1.0e25f8a081941p-1},
      {"Tanh", Tanh, 0.5, 0x1.d9353d7568af3p-2},
      {"Tanh", Tanh, -0.001, -0x1.0624d77516ce2p-10},
      {"Tanh", Tanh, 3.0, 0x1.fd77d111a0bp-1},
      {"Tanh", Tanh, 1.5, 0x1.cf6f9786df577p-1},
      {"Log", Log, 10.0, 0x1.26bb1bbb55516p+1},
      {"Log", Log, 0.3, -0x1.34378fcbda721p+0},
      {"Log", Log, 1.0000001, 0x1.ad7f2847b6492p-24},
      {"Log", Log, 1e-310, -0x1.64e69394d9508p+9},
  };
  for (const Pin& p : pins) {
    EXPECT_EQ(Bits(p.f(p.x)), Bits(p.expected))
        << p.function << "(" << p.x << ") = " << std::hexfloat << p.f(p.x);
  }
}

}  // namespace
