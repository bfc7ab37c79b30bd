// The vector exp (and tanh) against the scalar Exp (and Tanh), bit for bit, with every vector
// unit this machine has forced in turn: a million arguments with every
// special value and the edges of the vector path, in place and into another
// array, from unaligned starts, and every short length with every start, so
// that the padded last register is covered too.
#include "Common/VectorExp.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

#include "Common/PortableMath.h"
#include "Support/VectorMathTestSupport.h"

namespace {

using Netforge::SimdIsa;
using TestSupport::ExpectSameBits;
using TestSupport::IsaName;

std::vector<double> ScalarExp(const std::vector<double>& x) {
  std::vector<double> y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = Netforge::Exp(x[i]);
  return y;
}

TEST(VectorExp, EveryUnitGivesTheScalarBits) {
  const std::vector<double> x = TestSupport::ExpArguments();
  const std::vector<double> expected = ScalarExp(x);
  const int n = static_cast<int>(x.size());
  for (const SimdIsa isa : TestSupport::SupportedIsas()) {
    SCOPED_TRACE(IsaName(isa));
    // Into another array, both starting one double past a register boundary.
    std::vector<double> input(x.size() + 1);
    std::copy(x.begin(), x.end(), input.begin() + 1);
    std::vector<double> output(x.size() + 1);
    Netforge::ExpValues(isa, input.data() + 1, output.data() + 1, n);
    ExpectSameBits(x, expected, std::vector<double>(output.begin() + 1, output.end()), "into another array");
    // In place.
    std::vector<double> values = x;
    Netforge::ExpValues(isa, values.data(), values.data(), n);
    ExpectSameBits(x, expected, values, "in place");
  }
}

TEST(VectorExp, ShortArraysFromEveryStartTouchNothingElse) {
  const std::vector<double> x = TestSupport::ExpArguments();
  constexpr double kGuard = 12345.0;
  std::size_t next = 0;
  for (const SimdIsa isa : TestSupport::SupportedIsas()) {
    for (int n = 0; n <= 35; ++n) {
      for (int start = 0; start < 8; ++start) {
        SCOPED_TRACE(testing::Message() << IsaName(isa) << ", " << n << " values from " << start);
        const std::vector<double> input(x.begin() + static_cast<std::ptrdiff_t>(next),
                                        x.begin() + static_cast<std::ptrdiff_t>(next + static_cast<std::size_t>(n)));
        next += static_cast<std::size_t>(n);
        std::vector<double> buffer(static_cast<std::size_t>(start + n + 8), kGuard);
        Netforge::ExpValues(isa, input.data(), buffer.data() + start, n);
        const std::vector<double> actual(buffer.begin() + start, buffer.begin() + start + n);
        ExpectSameBits(input, ScalarExp(input), actual, "short array");
        for (int i = 0; i < start; ++i) ASSERT_EQ(buffer[static_cast<std::size_t>(i)], kGuard);
        for (std::size_t i = static_cast<std::size_t>(start + n); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard);
      }
    }
  }
}

// Tanh lane by lane with its double-double steps, plain and scaled by a gain.
TEST(VectorExp, TanhOfEveryUnitGivesTheScalarBits) {
  const std::vector<double> all = TestSupport::ExpArguments();
  for (const double gain : {1.0, 0.5, -3.0}) {
    const std::vector<double> x = gain == 1.0 ? all : std::vector<double>(all.begin(), all.begin() + 100000);
    std::vector<double> expected(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) expected[i] = Netforge::Tanh(gain * x[i]);
    for (const SimdIsa isa : TestSupport::SupportedIsas()) {
      SCOPED_TRACE(testing::Message() << IsaName(isa) << ", gain " << gain);
      std::vector<double> y = x;
      Netforge::TanhValues(isa, gain, y.data(), y.data(), static_cast<int>(y.size()));
      ExpectSameBits(x, expected, y, "tanh");
    }
  }
}

// The scalar and the vector code round the same operations the same way in
// every rounding mode, so they agree there too.
TEST(VectorExp, EveryUnitGivesTheScalarBitsInEveryRoundingMode) {
  const std::vector<double> all = TestSupport::ExpArguments();
  const std::vector<double> x(all.begin(), all.begin() + 20000);
  for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    const std::vector<double> expected = ScalarExp(x);
    std::vector<std::vector<double>> actual;
    for (const SimdIsa isa : TestSupport::SupportedIsas()) {
      actual.emplace_back(x.size());
      Netforge::ExpValues(isa, x.data(), actual.back().data(), static_cast<int>(x.size()));
    }
    std::fesetround(FE_TONEAREST);
    for (std::size_t k = 0; k < actual.size(); ++k) {
      SCOPED_TRACE(testing::Message() << IsaName(TestSupport::SupportedIsas()[k]) << ", rounding mode " << mode);
      ExpectSameBits(x, expected, actual[k], "rounding mode");
    }
  }
}

}  // namespace
