// Batch recall (TBasicNetwork::RecallBatch and the batch kernels under it)
// must give every row the bits that Recall gives it. The kernels are held to
// the plain loop row by row, each implementation the machine can run in
// turn, with the special values, flags and shapes of RecallBitIdentity_test
// and every remainder of the row groups; whole networks (bias, shortcut
// blocks, pruned and frozen connections, gain layers) are held to Recall
// row by row, outputs and the layers' final state alike.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>
#include <memory>
#include <vector>

#include "KernelTestSupport.h"
#include "NeuralNets/NetInputKernels.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "NeuralNets/TPrunedConnections.h"

using namespace kerneltest;

namespace {

// A group of |batch| rows laid out neuron-major, |stride| apart, as the
// batch kernels read it.
struct Group {
  int batch;
  int stride;
  std::vector<double> x;    // nFrom * stride
  std::vector<double> net;  // nTo * stride

  Group(int nFrom, int nTo, int batch, int stride, ValueSource& values)
      : batch(batch), stride(stride), x(Values(values, nFrom * stride)), net(Values(values, nTo * stride)) {}

  // Row r of a neuron-major array of n neurons.
  std::vector<double> Row(const std::vector<double>& a, int n, int r) const {
    std::vector<double> row(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] = a[static_cast<std::size_t>(i) * stride + r];
    return row;
  }
};

// The plain loop row by row; rows past |batch| keep their values.
std::vector<double> PlainBatch(const Matrix& m, const Group& g, bool useFlags) {
  std::vector<double> net = g.net;
  for (int r = 0; r < g.batch; ++r) {
    const std::vector<double> x = g.Row(g.x, m.nFrom, r);
    std::vector<double> sums = g.Row(g.net, m.nTo, r);
    PlainSums(m, x.data(), useFlags, sums.data());
    for (int t = 0; t < m.nTo; ++t) net[static_cast<std::size_t>(t) * g.stride + r] = sums[static_cast<std::size_t>(t)];
  }
  return net;
}

void ExpectKernelsEqualPlainLoops(const Matrix& m, const Group& g) {
  const std::vector<double> dense = PlainBatch(m, g, false);
  const std::vector<double> masked = PlainBatch(m, g, true);
  for (const NetInputKernels::Isa isa : Implementations()) {
    std::vector<double> actual = g.net;
    NetInputKernels::AccumulateDenseBatch(isa, m.rows.data(), g.x.data(), m.nFrom, m.nTo, g.batch, g.stride,
                                          actual.data());
    ExpectSameBits(dense, actual, Name(isa));
    actual = g.net;
    NetInputKernels::AccumulateMaskedBatch(isa, m.rows.data(), m.flagRows.data(), g.x.data(), m.nFrom, m.nTo,
                                           g.batch, g.stride, actual.data());
    ExpectSameBits(masked, actual, Name(isa));
  }
}

}  // namespace

// Every remainder of the tiles of targets (six, or sixteen with AVX-512), of
// the rows of a register pair and of the stretches of 32 sources; groups
// narrower than their stride.
TEST(NetInputBatchKernels, EqualPlainLoopsRowByRowBitForBit) {
  unsigned seed = 1;
  for (int nFrom : {0, 1, 3, 8, 31, 32, 33, 67}) {
    for (int nTo : {0, 1, 2, 5, 6, 7, 13, 15, 16, 19, 33}) {
      for (int batch : {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 16, 17, 33}) {
        for (double special : {0.0, 0.3}) {
          for (double missing : {0.0, 0.02, 0.5}) {
            ValueSource values(seed++, special);
            const Matrix m(nFrom, nTo, values, missing);
            const Group g(nFrom, nTo, batch, batch + static_cast<int>(values.Index(3)), values);
            ExpectKernelsEqualPlainLoops(m, g);
            if (testing::Test::HasFatalFailure()) {
              FAIL() << "nFrom " << nFrom << " nTo " << nTo << " batch " << batch << " special " << special
                     << " missing " << missing;
            }
          }
        }
      }
    }
  }
}

// Blocks of a multiple of 512 sources take another tile with AVX-512 (eight
// targets, three registers of rows): every remainder of it, and sizes beside.
TEST(NetInputBatchKernels, RowsFourKiBApartEqualPlainLoopsBitForBit) {
  unsigned seed = 500;
  for (int nFrom : {511, 512, 1024}) {
    for (int nTo : {7, 8, 17, 33}) {
      for (int batch : {7, 24, 33, 40}) {
        for (double missing : {0.0, 0.02}) {
          ValueSource values(seed++, 0.1);
          const Matrix m(nFrom, nTo, values, missing);
          const Group g(nFrom, nTo, batch, batch + static_cast<int>(values.Index(3)), values);
          ExpectKernelsEqualPlainLoops(m, g);
          if (testing::Test::HasFatalFailure()) {
            FAIL() << "nFrom " << nFrom << " nTo " << nTo << " batch " << batch << " missing " << missing;
          }
        }
      }
    }
  }
}

// Sums that pass through zero in every rounding mode, with missing
// connections whose +0.0 products must leave them alone.
TEST(NetInputBatchKernels, EqualPlainLoopsInEveryRoundingMode) {
  unsigned seed = 900;
  for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
    for (int nFrom : {3, 33, 70}) {
      ValueSource values(seed++, 0.1);
      Matrix m(nFrom, 13, values, 0.4);
      Group g(nFrom, 13, 11, 11, values);
      for (int r = 0; r < g.batch; ++r) {
        for (int f = 1; f < nFrom; f += 2) {  // x[f] = -x[f - 1], w[f] = w[f - 1]: products cancel
          const double before = g.x[static_cast<std::size_t>(f - 1) * g.stride + r];
          g.x[static_cast<std::size_t>(f) * g.stride + r] = std::isnan(before) ? before : -before;
        }
      }
      for (int t = 0; t < m.nTo; ++t) {
        for (int f = 1; f < nFrom; f += 2) m.weights[static_cast<std::size_t>(t) * nFrom + f] = m.rows[t][f - 1];
      }
      ASSERT_EQ(std::fesetround(mode), 0);
      ExpectKernelsEqualPlainLoops(m, g);
      std::fesetround(FE_TONEAREST);
    }
  }
}

namespace {

// Random structure edits: pruned connections (some with weights of their
// own), frozen ones, special weights.
void RoughenBlocks(TBasicNetwork& network, ValueSource& values) {
  for (int to = 0; to < network.numLayers; ++to) {
    for (int from = 0; from < network.numLayers; ++from) {
      TBasicConnections* block = network.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      for (int t = 0; t < network.layers[to]->numNeurons; ++t) {
        for (int f = 0; f < network.layers[from]->numNeurons; ++f) {
          if (values.Chance(0.2)) block->PruneConnection(f, t);
          if (values.Chance(0.1)) block->SetUnTrainable(f, t);
          if (values.Chance(0.05)) block->Weight(f, t) = values.Next();
        }
      }
    }
  }
}

// RecallBatch of |rows| random rows against Recall of each row: the same
// output bits, and the same outputs left in every layer.
void ExpectBatchEqualsRecall(TBasicNetwork& network, int rows, ValueSource& values) {
  const int nIn = network.layers[network.inLayer]->numNeurons;
  const int nOut = network.layers[network.outLayer]->numNeurons;
  const std::vector<double> input = Values(values, rows * nIn);
  std::vector<double> expected(static_cast<std::size_t>(rows) * nOut);
  for (int r = 0; r < rows; ++r) {
    network.Recall(input.data() + static_cast<std::size_t>(r) * nIn,
                   expected.data() + static_cast<std::size_t>(r) * nOut);
  }
  std::vector<std::vector<double>> layerOutputs;
  for (int k = 0; k < network.numLayers; ++k) {
    layerOutputs.push_back(network.layers[k]->outputs);
    // Stale values, which the batch must overwrite as Recall does.
    if (rows > 0) network.layers[k]->outputs.assign(layerOutputs.back().size(), 777.0);
  }
  std::vector<double> actual(expected.size(), 12345.0);
  network.RecallBatch(input.data(), actual.data(), rows);
  ExpectSameBits(expected, actual, "outputs");
  for (int k = 0; k < network.numLayers; ++k) ExpectSameBits(layerOutputs[k], network.layers[k]->outputs, "layer");
}

}  // namespace

// A perceptron with bias, a shortcut block from the input to the output
// layer and rough blocks; row counts around the groups of 32 rows.
TEST(RecallBatch, EqualsRecallRowByRowBitForBit) {
  ValueSource values(21, 0.03);
  const int sizes[] = {19, 23, 9, 7};
  TMLPNetwork network(4, sizes, true);
  network.Connect(1, 4);
  std::srand(5);
  network.Randomize(-1.0, 1.0);
  RoughenBlocks(network, values);
  for (int rows : {0, 1, 3, 4, 5, 31, 32, 33, 64, 70}) {
    ExpectBatchEqualsRecall(network, rows, values);
    if (testing::Test::HasFatalFailure()) FAIL() << "rows " << rows;
  }
}

// Fully connected blocks (the dense kernel) and wide layers with tanh.
TEST(RecallBatch, FullyConnectedNetworkEqualsRecall) {
  ValueSource values(22, 0.01);
  const int sizes[] = {1, 70, 45, 12};
  TConnectedNetwork network(4, sizes);
  network.layers[0]->SetActivationFunction(BiasFunction);
  for (int k = 2; k < 4; ++k) network.layers[k]->SetActivationFunction(TanhFunction);
  for (int k = 0; k < 3; ++k) network.Connect(k, k + 1);
  network.Connect(0, 3);
  std::srand(6);
  network.Randomize(-0.5, 0.5);
  ExpectBatchEqualsRecall(network, 37, values);
}

namespace {

// A layer class the batch does not know: each neuron's output is its index.
class IndexLayer : public TSimpleLayer {
 public:
  using TSimpleLayer::TSimpleLayer;
  void Recall(const double*) override {
    for (int i = 0; i < numNeurons; ++i) outputs[static_cast<std::size_t>(i)] = i;
  }
};

// A pruneable block that leaves batches to the default of the base class,
// as a block class written outside the library would.
class RowByRowBlock : public TPrunedConnections {
 public:
  using TPrunedConnections::TPrunedConnections;
  void AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) override {
    TBasicConnections::AccumulateNetInputBatch(source, batch, stride, net);
  }
};

}  // namespace

// Networks with classes of their own: a layer class the batch does not know
// makes it recall row by row; a block class of its own is asked row by row.
TEST(RecallBatch, NetworksWithOwnClassesEqualRecall) {
  ValueSource values(23, 0.0);
  {
    const int sizes[] = {5, 8, 3};
    TMLPNetwork network(3, sizes, true);
    network.SetLayer(2, new IndexLayer(&network, 2, 8));
    network.Randomize(-1.0, 1.0);
    ExpectBatchEqualsRecall(network, 9, values);
  }
  {
    const int sizes[] = {6, 11, 4};
    TMLPNetwork network(3, sizes, true);
    network.InstallConnections(new RowByRowBlock(&network, 2, 3));
    std::srand(7);
    network.Randomize(-1.0, 1.0);
    RoughenBlocks(network, values);
    ExpectBatchEqualsRecall(network, 35, values);
  }
}
