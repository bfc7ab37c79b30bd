// Random weights, flags and values for the tests that hold the net-input
// kernels to the plain loops bit for bit (RecallBitIdentity_test,
// BatchRecall_test), and the plain loop itself.
//
// Every NaN fed in is the machine's default NaN, the one that invalid
// operations produce, so that every NaN in a computation has the same bits:
// which of two NaN operands an addition passes on is the compiler's choice
// (the language leaves it open), and the tests must not depend on it.
#ifndef NETFORGE_TESTS_NEURALNETS_KERNELTESTSUPPORT_H
#define NETFORGE_TESTS_NEURALNETS_KERNELTESTSUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "NetworkTestSupport.h"
#include "NeuralNets/NetInputKernels.h"
#include "NeuralNets/TBasicConnections.h"
#include "Support/SimdTestSupport.h"

namespace kerneltest {

using nettest::Opaque;

inline const double kInf = std::numeric_limits<double>::infinity();

inline double DefaultNaN() { return Opaque(kInf) - Opaque(kInf); }

inline std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Values for weights and inputs: mostly ordinary, some special.
class ValueSource {
 public:
  explicit ValueSource(unsigned seed, double specialShare) : random_(seed), specialShare_(specialShare) {}

  double Next() {
    if (Chance(specialShare_)) {
      const double specials[] = {-0.0, 0.0, kInf, -kInf, DefaultNaN(), 1e308, -1e308, 4.9e-324, -2.2e-308};
      return specials[Index(sizeof specials / sizeof specials[0])];
    }
    return std::uniform_real_distribution<double>(-2.0, 2.0)(random_);
  }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p; }
  std::size_t Index(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;
  double specialShare_;
};

// The flag byte of one connection: present in most cases, else one of the
// patterns a block can hold (pruned, frozen, and bytes with other bits set).
inline unsigned char RandomFlags(ValueSource& values, double missingShare) {
  if (!values.Chance(missingShare)) {
    const unsigned char present[] = {FMaskAll, FMaskExists, 0xFF, 0x05};
    return present[values.Index(4)];
  }
  const unsigned char missing[] = {0, FMaskTrainable, 0xFE, 0x80};
  return missing[values.Index(4)];
}

// One matrix in the blocks' layout, with row pointer tables.
struct Matrix {
  int nFrom;
  int nTo;
  std::vector<double> weights;
  std::vector<unsigned char> flags;
  std::vector<const double*> rows;
  std::vector<const unsigned char*> flagRows;

  Matrix(int from, int to, ValueSource& values, double missingShare)
      : nFrom(from), nTo(to), weights(static_cast<std::size_t>(from) * to), flags(weights.size()) {
    for (double& w : weights) w = values.Next();
    for (unsigned char& m : flags) m = RandomFlags(values, missingShare);
    // Some rows and some aligned stretches complete, as in a lightly pruned block.
    for (int t = 0; t < to; ++t) {
      if (values.Chance(0.2)) std::fill_n(flags.begin() + static_cast<std::ptrdiff_t>(t) * from, from, FMaskAll);
    }
    for (int t = 0; t < to; ++t) {
      rows.push_back(weights.data() + static_cast<std::size_t>(t) * from);
      flagRows.push_back(flags.data() + static_cast<std::size_t>(t) * from);
    }
  }
};

// The plain loops, written here independently of the library.
inline void PlainSums(const Matrix& m, const double* x, bool useFlags, double* net) {
  for (int t = 0; t < m.nTo; ++t) {
    double sum = 0.0;
    for (int f = 0; f < m.nFrom; ++f) {
      if (useFlags && !(m.flagRows[t][f] & FMaskExists)) continue;
      sum = m.rows[t][f] * x[f] + sum;
    }
    net[t] += sum;
  }
}

inline void ExpectSameBits(const std::vector<double>& expected, const std::vector<double>& actual, const char* what) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(Bits(expected[i]), Bits(actual[i])) << what << ", target " << i << ": " << expected[i] << " vs "
                                                  << actual[i];
  }
}

inline std::vector<double> Values(ValueSource& values, int n) {
  std::vector<double> out(static_cast<std::size_t>(n));
  for (double& v : out) v = values.Next();
  return out;
}

// Every implementation of the kernels this machine can run.
inline std::vector<NetInputKernels::Isa> Implementations() { return TestSupport::SupportedIsas(); }

inline const char* Name(NetInputKernels::Isa isa) { return TestSupport::IsaName(isa); }

}  // namespace kerneltest

#endif  // NETFORGE_TESTS_NEURALNETS_KERNELTESTSUPPORT_H
