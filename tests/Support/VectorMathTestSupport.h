// For the tests that hold the vector exp, tanh and the array sigmoids to
// their scalar functions bit for bit (tests/Common/VectorExp_test.cpp,
// tests/NeuralNets/ActivationArrays_test.cpp): the vector units to try, the
// arguments and the bit comparison.
//
// The arguments are about a million values: every special value, the edges
// of the vector path's ordinary range (2^-54 and 707, for tanh 2^-28 and
// 22) and of the scalar exp's own cases (overflow, underflow, the exponents
// where its scaling takes other paths) with their neighbours, the points
// where the reduction rounds to the other table entry, results that are
// subnormal, and random values over the whole range, in random order so
// that every kind meets every lane.
#ifndef NETFORGE_TESTS_SUPPORT_VECTORMATHTESTSUPPORT_H
#define NETFORGE_TESTS_SUPPORT_VECTORMATHTESTSUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "Common/SimdIsa.h"
#include "Support/SimdTestSupport.h"

namespace TestSupport {

inline std::vector<double> ExpArguments() {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kLn2 = 0.6931471805599453;
  std::vector<double> values = {0.0,
                                kInf,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::bit_cast<double>(std::uint64_t{0x7FF8000000012345}),  // a NaN with a payload
                                std::bit_cast<double>(std::uint64_t{0x7FF0000000000001}),  // a signalling NaN
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::max()};
  // Edges and their neighbours, a few ulps either side.
  std::vector<double> edges = {0x1p-54, 0x1p-53, 0x1p-28, 707.0, 0x1.62e42fefa39efp+9, 0x1.74910d52d3051p+9,
                               500.0,   1.0,     0.5,     40.0,  22.0};
  for (int k = -1076; k <= -1018; ++k) edges.push_back(k * kLn2);  // subnormal results, Scale's paths
  for (int k = 1018; k <= 1025; ++k) edges.push_back(k * kLn2);
  for (int m = -64; m <= 64; ++m) {
    edges.push_back((m + 0.5) * kLn2 / 64);   // the round shifter's ties
    edges.push_back((m + 0.5) * kLn2 / 128);  // the same for tanh, which reduces 2|x|
  }
  for (double edge : edges) {
    double below = edge;
    double above = edge;
    for (int step = 0; step < 4; ++step) {
      values.push_back(below);
      values.push_back(above);
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, kInf);
    }
  }
  std::mt19937_64 random(20261208);
  auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
  for (int i = 0; i < 300000; ++i) values.push_back(uniform(-750.0, 750.0));
  for (int i = 0; i < 200000; ++i) values.push_back(uniform(-40.0, 40.0));
  for (int i = 0; i < 200000; ++i) values.push_back(std::exp2(uniform(-70.0, 10.5)));  // every magnitude
  for (int i = 0; i < 100000; ++i) values.push_back(std::bit_cast<double>(random()));  // any bit pattern
  // Both signs of everything.
  const std::size_t count = values.size();
  for (std::size_t i = 0; i < count; ++i) values.push_back(-values[i]);
  std::shuffle(values.begin(), values.end(), random);
  return values;
}

// Fails at the first value whose bits differ, naming it.
inline void ExpectSameBits(const std::vector<double>& input, const std::vector<double>& expected,
                           const std::vector<double>& actual, const char* what) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(expected[i]), std::bit_cast<std::uint64_t>(actual[i]))
        << what << ": input " << std::hexfloat << input[i] << " gives " << actual[i] << ", not " << expected[i];
  }
}

}  // namespace TestSupport

#endif  // NETFORGE_TESTS_SUPPORT_VECTORMATHTESTSUPPORT_H
