// The vectorised backward loops against the plain loops of BlockBackward,
// bit for bit, for every implementation this machine can run (SSE2, AVX2
// and the AVX-512 choice forced in turn): shapes with every remainder of the
// register widths, weights, deltas, outputs and starting errors or gradients
// with -0.0, infinities, NaN and subnormals, flags with pruned, frozen and
// odd bit patterns, in every rounding mode. The same for the update loops
// (Descend, Adam) against their plain formulas.
#include <gtest/gtest.h>

#include <cfenv>
#include <utility>
#include <vector>

#include "../NeuralNets/KernelTestSupport.h"
#include "Training/BackwardKernels.h"
#include "Training/BlockBackward.h"
#include "Training/UpdateCells.h"

using namespace kerneltest;

namespace {

// A block view over |m| (with or without its flags).
struct View {
  std::vector<double*> rows;
  TBlockView view;

  View(Matrix& m, bool withFlags) {
    for (int t = 0; t < m.nTo; ++t) rows.push_back(m.weights.data() + static_cast<std::size_t>(t) * m.nFrom);
    view.rows = rows.data();
    view.flagRows = withFlags ? m.flagRows.data() : nullptr;
    view.nFrom = m.nFrom;
    view.nTo = m.nTo;
  }
};

void ExpectKernelsEqualPlainLoops(Matrix& m, ValueSource& values) {
  const std::vector<double> delta = Values(values, m.nTo);
  const std::vector<double> y = Values(values, m.nFrom);
  const std::vector<double> errStart = Values(values, m.nFrom);
  const std::vector<double> gradStart = Values(values, m.nFrom * m.nTo);
  for (bool withFlags : {false, true}) {
    const View v(m, withFlags);
    std::vector<double> err = errStart;
    std::vector<double> grad = gradStart;
    BlockBackward::PropagateError(v.view, delta.data(), err.data());
    BlockBackward::AccumulateGradient(v.view, delta.data(), y.data(), grad.data());
    for (const NetInputKernels::Isa isa : Implementations()) {
      std::vector<double> actual = errStart;
      BackwardKernels::PropagateError(isa, v.view, delta.data(), actual.data());
      ExpectSameBits(err, actual, Name(isa));
      actual = gradStart;
      BackwardKernels::AccumulateGradient(isa, v.view, delta.data(), y.data(), actual.data());
      ExpectSameBits(grad, actual, Name(isa));
    }
  }
}

}  // namespace

TEST(BackwardKernels, EqualPlainLoopsBitForBit) {
  unsigned seed = 1;
  for (int nFrom : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33, 67}) {
    for (int nTo : {0, 1, 2, 3, 7, 16, 19}) {
      for (double special : {0.0, 0.05, 0.3}) {
        for (double missing : {0.0, 0.3, 1.0}) {
          ValueSource values(seed++, special);
          Matrix m(nFrom, nTo, values, missing);
          ExpectKernelsEqualPlainLoops(m, values);
          if (testing::Test::HasFatalFailure()) {
            FAIL() << "nFrom " << nFrom << " nTo " << nTo << " special " << special << " missing " << missing;
          }
        }
      }
    }
  }
}

TEST(BackwardKernels, EqualPlainLoopsInEveryRoundingMode) {
  unsigned seed = 700;
  for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
    for (int nFrom : {5, 21, 40}) {
      ValueSource values(seed++, 0.1);
      Matrix m(nFrom, 11, values, 0.4);
      ASSERT_EQ(std::fesetround(mode), 0);
      ExpectKernelsEqualPlainLoops(m, values);
      std::fesetround(FE_TONEAREST);
      if (testing::Test::HasFatalFailure()) FAIL() << "mode " << mode << " nFrom " << nFrom;
    }
  }
}

// The cases the select exists for: a pruned connection leaves -0.0 as it is
// and its infinite weight never meets the NaN delta; a frozen connection
// still propagates (w * 0.0 = -0.0 for w = -1, and -0.0 + -0.0 = -0.0), but
// its gradient cell stays exactly as it was although delta * y is NaN.
TEST(BackwardKernels, SkippedConnectionsLeaveValuesAlone) {
  ValueSource values(9, 0.0);
  Matrix m(8, 2, values, 0.0);
  for (int f = 0; f < 8; ++f) m.flags[static_cast<std::size_t>(f)] = 0;  // row 0 pruned
  for (int f = 0; f < 8; ++f) m.flags[8 + static_cast<std::size_t>(f)] = FMaskExists;  // row 1 frozen
  m.weights[0] = kInf;
  for (int f = 0; f < 8; ++f) m.weights[8 + static_cast<std::size_t>(f)] = -1.0;
  const View v(m, true);
  const std::vector<double> delta = {DefaultNaN(), 0.0};
  const std::vector<double> y(8, kInf);
  for (const NetInputKernels::Isa isa : Implementations()) {
    std::vector<double> err(8, -0.0);
    BackwardKernels::PropagateError(isa, v.view, delta.data(), err.data());
    for (double e : err) EXPECT_EQ(Bits(e), Bits(-0.0)) << Name(isa);
    std::vector<double> grad(16, -0.0);
    BackwardKernels::AccumulateGradient(isa, v.view, delta.data(), y.data(), grad.data());
    for (double g : grad) EXPECT_EQ(Bits(g), Bits(-0.0)) << Name(isa);
  }
}

namespace {

// Column r of a neuron-major group of n neurons.
std::vector<double> Column(const std::vector<double>& group, int n, int stride, int r) {
  std::vector<double> column(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) column[static_cast<std::size_t>(i)] = group[static_cast<std::size_t>(i) * stride + r];
  return column;
}

// The group loops against the plain loops called row by row.
void ExpectGroupKernelsEqualPlainLoops(Matrix& m, int rows, int stride, ValueSource& values) {
  const std::vector<double> delta = Values(values, m.nTo * stride);
  const std::vector<double> y = Values(values, m.nFrom * rows);
  std::vector<const double*> yRows;
  for (int r = 0; r < rows; ++r) yRows.push_back(y.data() + static_cast<std::size_t>(r) * m.nFrom);
  const std::vector<double> errStart = Values(values, m.nFrom * stride);
  const std::vector<double> gradStart = Values(values, m.nFrom * m.nTo);
  for (bool withFlags : {false, true}) {
    const View v(m, withFlags);
    std::vector<double> err = errStart;
    std::vector<double> grad = gradStart;
    for (int r = 0; r < rows; ++r) {
      const std::vector<double> d = Column(delta, m.nTo, stride, r);
      std::vector<double> e = Column(err, m.nFrom, stride, r);
      BlockBackward::PropagateError(v.view, d.data(), e.data());
      for (int f = 0; f < m.nFrom; ++f) err[static_cast<std::size_t>(f) * stride + r] = e[static_cast<std::size_t>(f)];
      BlockBackward::AccumulateGradient(v.view, d.data(), yRows[static_cast<std::size_t>(r)], grad.data());
    }
    for (const NetInputKernels::Isa isa : Implementations()) {
      std::vector<double> actual = errStart;
      BackwardKernels::PropagateErrorGroup(isa, v.view, delta.data(), rows, stride, actual.data());
      ExpectSameBits(err, actual, Name(isa));
      actual = gradStart;
      BackwardKernels::AccumulateGradientGroup(isa, v.view, delta.data(), yRows.data(), rows, stride, actual.data());
      ExpectSameBits(grad, actual, Name(isa));
    }
  }
}

}  // namespace

// Every remainder of the tiles (four sources, two registers of rows, two
// targets times four registers of gradient cells; for the sources left
// over, two registers of targets, one, and single targets, squares of rows
// and single rows), groups narrower than their stride.
TEST(BackwardKernels, GroupsEqualPlainLoopsRowByRowBitForBit) {
  unsigned seed = 300;
  for (int nFrom : {0, 1, 3, 4, 5, 9, 14, 16, 17, 30, 35}) {
    for (int nTo : {0, 1, 3, 4, 8, 9, 13, 17}) {
      for (int rows : {0, 1, 2, 3, 4, 5, 8, 9, 16, 19}) {
        for (double special : {0.0, 0.2}) {
          ValueSource values(seed++, special);
          Matrix m(nFrom, nTo, values, 0.3);
          ExpectGroupKernelsEqualPlainLoops(m, rows, rows + static_cast<int>(values.Index(3)), values);
          if (testing::Test::HasFatalFailure()) {
            FAIL() << "nFrom " << nFrom << " nTo " << nTo << " rows " << rows << " special " << special;
          }
        }
      }
    }
  }
}

// Blocks on both sides of the size from which the gradient is swept four
// targets at a time (32768 cells), and with AVX-512, where the processor has
// it, instead of AVX2, with targets and sources left over.
TEST(BackwardKernels, LargeGroupsEqualPlainLoopsRowByRowBitForBit) {
  unsigned seed = 700;
  const std::pair<int, int> sizes[] = {{128, 256}, {64, 513}, {100, 330}, {130, 255}, {35, 1001}};
  for (const auto& [nFrom, nTo] : sizes) {
    for (int rows : {5, 19}) {
      ValueSource values(seed++, 0.2);
      Matrix m(nFrom, nTo, values, 0.3);
      ExpectGroupKernelsEqualPlainLoops(m, rows, rows + 2, values);
      if (testing::Test::HasFatalFailure()) FAIL() << "nFrom " << nFrom << " nTo " << nTo << " rows " << rows;
    }
  }
}

// The errors are passed back in stretches of targets whose deltas span 16
// KiB (64 targets of a stride of 32 rows, at least eight): target counts on
// both sides of one and two stretches, and strides whose stretch is the
// least one, with rows left over from the tiles of two registers.
TEST(BackwardKernels, GroupStretchesOfTargetsEqualPlainLoopsBitForBit) {
  unsigned seed = 900;
  const std::pair<int, int> stridesAndTargets[] = {{32, 63},  {32, 64},  {32, 65},  {32, 128}, {32, 129},
                                                   {300, 8}, {300, 9}, {300, 17}, {2048, 8}, {2048, 9}};
  for (const auto& [stride, nTo] : stridesAndTargets) {
    for (int nFrom : {7, 12}) {
      for (int rows : {32, 27}) {
        ValueSource values(seed++, 0.2);
        Matrix m(nFrom, nTo, values, 0.3);
        ExpectGroupKernelsEqualPlainLoops(m, rows, stride, values);
        if (testing::Test::HasFatalFailure()) {
          FAIL() << "stride " << stride << " nTo " << nTo << " nFrom " << nFrom << " rows " << rows;
        }
      }
    }
  }
}

namespace {

// Descend against the plain loop, the velocities and the weights, for every
// implementation (frozen and pruned cells must keep both).
void ExpectDescendEqualsPlainLoop(Matrix& m, ValueSource& values, double rate, double momentum) {
  const std::vector<double> delta = Values(values, m.nTo);
  const std::vector<double> y = Values(values, m.nFrom);
  const std::vector<double> velocityStart = Values(values, m.nFrom * m.nTo);
  const std::vector<double> weightsStart = m.weights;
  for (bool withFlags : {false, true}) {
    m.weights = weightsStart;
    const View v(m, withFlags);
    std::vector<double> velocity = velocityStart;
    BlockBackward::Descend(v.view, delta.data(), y.data(), rate, momentum, velocity.data());
    const std::vector<double> weights = m.weights;
    for (std::size_t i = 0; withFlags && i < weights.size(); ++i) {
      if ((m.flags[i] & FMaskAll) == FMaskAll) continue;
      ASSERT_EQ(Bits(weights[i]), Bits(weightsStart[i])) << "cell " << i;
      ASSERT_EQ(Bits(velocity[i]), Bits(velocityStart[i])) << "cell " << i;
    }
    for (const NetInputKernels::Isa isa : Implementations()) {
      m.weights = weightsStart;
      std::vector<double> actual = velocityStart;
      BackwardKernels::Descend(isa, v.view, delta.data(), y.data(), rate, momentum, actual.data());
      ExpectSameBits(velocity, actual, Name(isa));
      ExpectSameBits(weights, m.weights, Name(isa));
    }
  }
}

}  // namespace

// The plain loop is the gradient of the pattern stored into a zeroed cell
// and then spent by the step, and the vector loops give its bits: every
// remainder of the register widths, special values, momentum 0 and not.
TEST(BackwardKernels, DescendEqualsGradientThenStep) {
  unsigned seed = 900;
  for (int nFrom : {0, 1, 2, 3, 4, 5, 7, 8, 9, 17, 33}) {
    for (int nTo : {0, 1, 3, 7}) {
      for (double special : {0.0, 0.05, 0.3}) {
        for (double momentum : {0.0, 0.9}) {
          ValueSource values(seed++, special);
          Matrix m(nFrom, nTo, values, 0.3);
          ExpectDescendEqualsPlainLoop(m, values, 0.7, momentum);
          if (testing::Test::HasFatalFailure()) {
            FAIL() << "nFrom " << nFrom << " nTo " << nTo << " special " << special << " momentum " << momentum;
          }
        }
      }
    }
  }
  // The plain loop against its statement: AccumulateGradient into zeros,
  // then UpdateCells::Descend cell by cell.
  ValueSource values(5, 0.1);
  Matrix m(9, 4, values, 0.0);
  const View v(m, false);
  const std::vector<double> delta = Values(values, m.nTo), y = Values(values, m.nFrom);
  std::vector<double> velocity = Values(values, m.nFrom * m.nTo), expectedVelocity = velocity;
  std::vector<double> gradient(velocity.size(), 0.0), expectedWeights = m.weights;
  BlockBackward::AccumulateGradient(v.view, delta.data(), y.data(), gradient.data());
  for (std::size_t i = 0; i < gradient.size(); ++i) {
    UpdateCells::Descend(gradient[i], 0.3, 0.5, expectedVelocity[i], expectedWeights[i]);
  }
  BlockBackward::Descend(v.view, delta.data(), y.data(), 0.3, 0.5, velocity.data());
  ExpectSameBits(expectedVelocity, velocity, "velocity");
  ExpectSameBits(expectedWeights, m.weights, "weights");
}

// Adam's vector loops against UpdateCells::Adam, in every rounding mode:
// lengths with every remainder, special gradients and moments, a step
// whose rows are not a power of two.
TEST(BackwardKernels, AdamEqualsTheFormulaCellByCell) {
  unsigned seed = 1200;
  for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
    for (int count : {0, 1, 2, 3, 4, 5, 8, 11, 40}) {
      for (double special : {0.0, 0.2}) {
        ValueSource values(seed++, special);
        const UpdateCells::TAdamStep step{count % 2 == 0 ? 32.0 : 7.0, 0.9, 0.999, 1.0 - 0.9, 1.0 - 0.999,
                                          0.271, 0.00299, 0.001, 1e-8};
        const std::vector<double> gradient = Values(values, count);
        std::vector<double> w = Values(values, count), m = Values(values, count), v = Values(values, count);
        for (double& x : v) x = x * x;  // a second moment is never negative
        ASSERT_EQ(std::fesetround(mode), 0);
        std::vector<double> expectedW = w, expectedM = m, expectedV = v;
        for (std::size_t i = 0; i < gradient.size(); ++i) {
          UpdateCells::Adam(step, gradient[i], expectedM[i], expectedV[i], expectedW[i]);
        }
        for (const NetInputKernels::Isa isa : Implementations()) {
          std::vector<double> actualW = w, actualM = m, actualV = v;
          BackwardKernels::Adam(isa, step, actualW.data(), gradient.data(), actualM.data(), actualV.data(),
                                gradient.size());
          ExpectSameBits(expectedW, actualW, Name(isa));
          ExpectSameBits(expectedM, actualM, Name(isa));
          ExpectSameBits(expectedV, actualV, Name(isa));
        }
        std::fesetround(FE_TONEAREST);
        if (testing::Test::HasFatalFailure()) FAIL() << "mode " << mode << " count " << count;
      }
    }
  }
}

// The group's values row by row for every count of neurons and rows on both
// sides of the squares of two and four (transposed in registers), the
// cells between the rows (pitch beyond the neurons) left alone.
TEST(BackwardKernels, GroupToRowsGivesEveryRowItsValues) {
  for (int n : {0, 1, 2, 3, 4, 5, 8, 11}) {
    for (int rows : {0, 1, 2, 3, 4, 5, 7, 9}) {
      const int stride = rows + 3;
      const int pitch = n + 2;
      std::vector<double> group(static_cast<std::size_t>(n * stride));
      for (std::size_t i = 0; i < group.size(); ++i) group[i] = static_cast<double>(i) + 0.5;
      std::vector<double> expected(static_cast<std::size_t>(rows * pitch), -1.0);
      for (int r = 0; r < rows; ++r) {
        for (int f = 0; f < n; ++f) expected[static_cast<std::size_t>(r * pitch + f)] = group[static_cast<std::size_t>(f * stride + r)];
      }
      for (const NetInputKernels::Isa isa : Implementations()) {
        std::vector<double> actual(expected.size(), -1.0);
        BackwardKernels::GroupToRows(isa, group.data(), n, rows, stride, actual.data(), pitch);
        EXPECT_EQ(expected, actual) << Name(isa) << " n " << n << " rows " << rows;
      }
    }
  }
}

// And back: rows given by pointers into the group's layout, the cells past
// the rows (stride beyond them) left alone.
TEST(BackwardKernels, RowsToGroupGivesEveryNeuronItsValues) {
  for (int n : {0, 1, 2, 3, 4, 5, 8, 11}) {
    for (int rows : {0, 1, 2, 3, 4, 5, 7, 9}) {
      const int stride = rows + 3;
      std::vector<double> values(static_cast<std::size_t>(rows * (n + 1)));
      for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i) + 0.25;
      std::vector<const double*> rowPtrs;
      for (int r = 0; r < rows; ++r) rowPtrs.push_back(values.data() + static_cast<std::size_t>(r * (n + 1)));
      std::vector<double> expected(static_cast<std::size_t>(n * stride), -1.0);
      for (int f = 0; f < n; ++f) {
        for (int r = 0; r < rows; ++r) expected[static_cast<std::size_t>(f * stride + r)] = rowPtrs[static_cast<std::size_t>(r)][f];
      }
      for (const NetInputKernels::Isa isa : Implementations()) {
        std::vector<double> actual(expected.size(), -1.0);
        BackwardKernels::RowsToGroup(isa, rowPtrs.data(), n, rows, actual.data(), stride);
        EXPECT_EQ(expected, actual) << Name(isa) << " n " << n << " rows " << rows;
      }
    }
  }
}
