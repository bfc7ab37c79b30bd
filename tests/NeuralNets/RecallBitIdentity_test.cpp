// Recall runs through vectorised net-input kernels; these tests hold them to
// the plain loop, bit for bit: per target neuron a sum from 0.0 over the
// existing connections, sources ascending, sum = w * x + sum, then added to
// the target's net input. Random shapes cover every tile and chunk remainder;
// weights and inputs include -0.0, infinities, NaN, subnormals and values
// that overflow; flags include pruned, frozen and odd bit patterns, and
// pruned connections carry weights of their own, so a kernel that added a
// missing connection (even as zero) would show.
// (Every NaN fed in is the default NaN: see KernelTestSupport.h.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cfenv>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "Common/PortableMath.h"
#include "KernelTestSupport.h"
#include "NetworkTestSupport.h"
#include "NeuralNets/NetInputKernels.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "NeuralNets/TPrunedConnections.h"

using namespace kerneltest;

// The implementation the blocks use is the best one this machine has.
TEST(NetInputKernels, UseTheBestSupportedImplementation) {
  EXPECT_TRUE(NetInputKernels::Supported(NetInputKernels::Best()));
  EXPECT_EQ(NetInputKernels::Best(), Implementations().back());
#if defined(__x86_64__)
  EXPECT_TRUE(NetInputKernels::Supported(NetInputKernels::Isa::kSse2));
  EXPECT_EQ(NetInputKernels::Supported(NetInputKernels::Isa::kAvx2), __builtin_cpu_supports("avx2") != 0);
#endif
}

// Shapes from empty to several tiles, with every remainder of the tile of
// eight targets and the chunk of eight sources; special values from none to
// frequent; connections from all present to all missing.
TEST(NetInputKernels, EqualPlainLoopsBitForBit) {
  const double specialShares[] = {0.0, 0.02, 0.3};
  const double missingShares[] = {0.0, 0.01, 0.3, 1.0};
  unsigned seed = 1;
  for (int nFrom : {0, 1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 31, 32, 33, 64, 67}) {
    for (int nTo : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 16, 17, 19, 33, 37}) {
      for (double special : specialShares) {
        for (double missing : missingShares) {
          ValueSource values(seed++, special);
          const Matrix m(nFrom, nTo, values, missing);
          const std::vector<double> x = Values(values, nFrom);
          const std::vector<double> start = Values(values, nTo);
          std::vector<double> dense = start;
          std::vector<double> masked = start;
          PlainSums(m, x.data(), false, dense.data());
          PlainSums(m, x.data(), true, masked.data());

          for (const NetInputKernels::Isa isa : Implementations()) {
            std::vector<double> actual = start;
            NetInputKernels::AccumulateDense(isa, m.rows.data(), x.data(), nFrom, nTo, actual.data());
            ExpectSameBits(dense, actual, Name(isa));
            actual = start;
            NetInputKernels::AccumulateMasked(isa, m.rows.data(), m.flagRows.data(), x.data(), nFrom, nTo,
                                              actual.data());
            ExpectSameBits(masked, actual, Name(isa));
            if (testing::Test::HasFatalFailure()) {
              FAIL() << Name(isa) << " nFrom " << nFrom << " nTo " << nTo << " special " << special << " missing "
                     << missing;
            }
          }
        }
      }
    }
  }
}

// The cases the select exists for, one by one: a missing connection whose
// source is infinite (with weight 0.0) or NaN leaves the sum alone, where
// adding it, even multiplied by a zero flag, would give NaN; an existing
// connection with weight 0.0 and an infinite source gives NaN.
TEST(NetInputKernels, MissingConnectionsLeaveTheSumAlone) {
  ValueSource values(7, 0.0);
  Matrix m(9, 8, values, 0.0);
  std::fill(m.flags.begin(), m.flags.end(), FMaskAll);
  auto cell = [&](int f, int t) -> std::size_t { return static_cast<std::size_t>(t) * 9 + f; };
  std::vector<double> x = Values(values, 9);
  x[0] = kInf;
  x[1] = DefaultNaN();
  m.flags[cell(0, 0)] = 0;
  m.weights[cell(0, 0)] = 0.0;
  m.flags[cell(1, 0)] = FMaskTrainable;
  m.weights[cell(1, 0)] = 5.0;
  m.flags[cell(1, 1)] = 0;
  m.weights[cell(0, 1)] = 0.0;
  m.flags[cell(0, 2)] = 0;

  std::vector<double> expected(8, -0.0);
  PlainSums(m, x.data(), true, expected.data());
  for (const NetInputKernels::Isa isa : Implementations()) {
    std::vector<double> net(8, -0.0);
    NetInputKernels::AccumulateMasked(isa, m.rows.data(), m.flagRows.data(), x.data(), 9, 8, net.data());
    ExpectSameBits(expected, net, Name(isa));
    EXPECT_TRUE(std::isfinite(net[0])) << Name(isa);
    for (int t = 1; t < 8; ++t) EXPECT_TRUE(std::isnan(net[static_cast<std::size_t>(t)])) << Name(isa) << " " << t;
  }
}

// A missing connection adds its product as +0.0, which leaves every sum that
// can arise unchanged in each rounding mode; the kernels equal the plain
// loops in all four.
TEST(NetInputKernels, EqualPlainLoopsInEveryRoundingMode) {
  const int modes[] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
  constexpr int kTargets = 23;  // every width of tile and a remainder
  unsigned seed = 500;
  for (int mode : modes) {
    for (int nFrom : {3, 8, 33, 70}) {
      ValueSource values(seed++, 0.1);
      // Values that cancel exactly, so that sums pass through zero.
      Matrix m(nFrom, kTargets, values, 0.4);
      std::vector<double> x = Values(values, nFrom);
      for (int f = 1; f < nFrom; f += 2) {
        const double before = x[static_cast<std::size_t>(f - 1)];
        x[static_cast<std::size_t>(f)] = std::isnan(before) ? before : -before;  // one NaN only
        for (int t = 0; t < kTargets; ++t) m.weights[static_cast<std::size_t>(t) * nFrom + f] = m.rows[t][f - 1];
      }
      for (const NetInputKernels::Isa isa : Implementations()) {
        std::vector<double> expected(kTargets, 0.0);
        std::vector<double> actual(kTargets, 0.0);
        ASSERT_EQ(std::fesetround(mode), 0);
        PlainSums(m, x.data(), true, expected.data());
        NetInputKernels::AccumulateMasked(isa, m.rows.data(), m.flagRows.data(), x.data(), nFrom, kTargets,
                                          actual.data());
        std::fesetround(FE_TONEAREST);
        ExpectSameBits(expected, actual, Name(isa));
      }
    }
  }
}

// Random outputs of the block's source layer and random starting net inputs:
// AccumulateNetInput must add what the plain loop over |m| adds.
static void ExpectBlockEqualsPlainLoop(TBasicNetwork& network, TBasicConnections& block, const Matrix& m,
                                       ValueSource& values, bool useFlags, const char* what) {
  const std::vector<double> x = Values(values, m.nFrom);
  std::copy(x.begin(), x.end(), network.layers[block.fromLayer]->outputs.begin());
  std::vector<double> expected = Values(values, m.nTo);
  std::vector<double> actual = expected;
  PlainSums(m, x.data(), useFlags, expected.data());
  block.AccumulateNetInput(actual.data());
  ExpectSameBits(expected, actual, what);
}

// A pruneable block through its public operations: pruned connections that
// keep weights of their own, frozen connections (which count), odd flag bytes.
TEST(TPrunedConnections, AccumulateNetInputEqualsThePlainLoopBitForBit) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    ValueSource values(seed, 0.05);
    const int nFrom = 5 + static_cast<int>(values.Index(40));
    const int nTo = 1 + static_cast<int>(values.Index(40));
    auto network = nettest::SimpleNetwork({nFrom, nTo});
    network->Connect(0, 1);
    TBasicConnections* block = network->priv_conns_index[1][0];
    Matrix m(nFrom, nTo, values, 0.3);
    for (int t = 0; t < nTo; ++t) {
      for (int f = 0; f < nFrom; ++f) {
        const std::size_t i = static_cast<std::size_t>(t) * nFrom + f;
        if (m.flags[i] == 0 && values.Chance(0.5)) {
          block->PruneConnection(f, t);
        } else if (m.flags[i] == FMaskExists && values.Chance(0.5)) {
          block->SetUnTrainable(f, t);
        } else {
          block->SetFlags(f, t, m.flags[i]);
        }
        block->Weight(f, t) = m.weights[i];
        m.flags[i] = block->GetFlags(f, t);
      }
    }
    ExpectBlockEqualsPlainLoop(*network, *block, m, values, true, "pruneable block");
  }
}

TEST(TConnectedConnections, AccumulateNetInputEqualsThePlainLoopBitForBit) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    ValueSource values(seed, 0.05);
    const int nFrom = 1 + static_cast<int>(values.Index(40));
    const int nTo = 1 + static_cast<int>(values.Index(40));
    const int sizes[] = {nFrom, nTo};
    TConnectedNetwork network(2, sizes);
    network.Connect(0, 1);
    TBasicConnections* block = network.priv_conns_index[1][0];
    ASSERT_STREQ(block->GetConnectionsNType(), "FullyConnected");
    const Matrix m(nFrom, nTo, values, 0.0);
    for (int t = 0; t < nTo; ++t) {
      for (int f = 0; f < nFrom; ++f) block->Weight(f, t) = m.rows[static_cast<std::size_t>(t)][f];
    }
    ExpectBlockEqualsPlainLoop(network, *block, m, values, false, "fully connected block");
  }
}

// A whole multilayer perceptron with a bias layer and pruned and frozen
// connections: Recall equals a recall written out with the plain loop,
// block by block in ascending source layer, then the layer's function.
TEST(TMLPNetwork, RecallEqualsThePlainRecallBitForBit) {
  ValueSource values(11, 0.0);
  const int sizes[] = {19, 23, 9, 4};
  TMLPNetwork network(4, sizes, true);
  std::srand(3);
  network.Randomize(-1.0, 1.0);
  for (int to = 0; to < network.numLayers; ++to) {
    for (int from = 0; from < network.numLayers; ++from) {
      TBasicConnections* block = network.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      for (int t = 0; t < network.layers[to]->numNeurons; ++t) {
        for (int f = 0; f < network.layers[from]->numNeurons; ++f) {
          if (values.Chance(0.25)) block->PruneConnection(f, t);
          if (values.Chance(0.1)) block->SetUnTrainable(f, t);
          if (values.Chance(0.05)) block->Weight(f, t) = values.Next();  // also on pruned ones
        }
      }
    }
  }
  std::vector<double> input = Values(values, 19);
  input[3] = -0.0;
  input[5] = kInf;  // its pruned connections must not turn sums into NaN

  std::vector<double> output(4);
  network.Recall(input.data(), output.data());

  // The plain recall, with the outputs of the layers kept here.
  std::vector<std::vector<double>> outs(static_cast<std::size_t>(network.numLayers));
  outs[0] = {1.0};
  outs[1] = input;
  for (int to = 2; to < network.numLayers; ++to) {
    const int n = network.layers[to]->numNeurons;
    std::vector<double> net(static_cast<std::size_t>(n), 0.0);
    for (int from = 0; from < to; ++from) {
      TBasicConnections* block = network.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      for (int t = 0; t < n; ++t) {
        double sum = 0.0;
        for (int f = 0; f < network.layers[from]->numNeurons; ++f) {
          if (block->IsValid(f, t)) sum = block->Weight(f, t) * outs[static_cast<std::size_t>(from)][static_cast<std::size_t>(f)] + sum;
        }
        net[static_cast<std::size_t>(t)] += sum;
      }
    }
    outs[static_cast<std::size_t>(to)].resize(static_cast<std::size_t>(n));
    for (int t = 0; t < n; ++t) {
      const double v = net[static_cast<std::size_t>(t)];
      outs[static_cast<std::size_t>(to)][static_cast<std::size_t>(t)] = v < -500.0 ? 1e-300 : 1.0 / (1.0 + Netforge::Exp(-v));
    }
  }
  ASSERT_EQ(network.outLayer, 4);
  ExpectSameBits(outs[4], output, "network output");
  for (int k = 2; k < network.numLayers; ++k) ExpectSameBits(outs[static_cast<std::size_t>(k)], network.layers[k]->outputs, "layer");
}
