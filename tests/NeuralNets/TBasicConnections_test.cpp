#include "NeuralNets/TBasicConnections.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TPrunedConnections.h"
#include "NetworkTestSupport.h"

using nettest::SimpleNetwork;

TEST(TBasicConnections, FlagConstants) {
  EXPECT_EQ(FMaskExists, 1);
  EXPECT_EQ(FMaskTrainable, 2);
  EXPECT_EQ(FMaskAll, 3);
}

TEST(TBasicConnections, RandomWeightFormula) {
  // min == max: the value, and rand() is not called.
  std::srand(5);
  const int next = std::rand();
  std::srand(5);
  EXPECT_EQ(TBasicConnections::RandomWeight(2.0, 2.0), 2.0);
  EXPECT_EQ(std::rand(), next);

  // Otherwise exactly one rand() per weight, by the formula.
  const std::vector<double> expected = nettest::ExpectedRandomWeights(77, 200, -5.0, 5.0);
  std::srand(77);
  for (double value : expected) {
    const double weight = TBasicConnections::RandomWeight(-5.0, 5.0);
    EXPECT_EQ(weight, value);
    EXPECT_GE(weight, -5.0);
    EXPECT_LT(weight, 5.0);
  }

  // DrawRandomWeight draws even when min equals max.
  std::srand(5);
  EXPECT_EQ(TBasicConnections::DrawRandomWeight(1.0, 1.0), 1.0);
  EXPECT_NE(std::rand(), next);
}

TEST(TBasicConnections, RandomWeightEndsOfTheRange) {
  // k = 0 gives exactly min; the largest k, 32766, stays below max.
  const long double step = 1.0L / 32767;
  EXPECT_EQ(static_cast<double>(0u * step * (static_cast<long double>(5.0) - -5.0) + -5.0), -5.0);
  EXPECT_LT(static_cast<double>(32766u * step * (static_cast<long double>(5.0) - -5.0) + -5.0), 5.0);
  // A rand() result of 32767 is reduced to k = 0 and gives exactly min.
  EXPECT_EQ(32767u % 32767u, 0u);
}

TEST(TEmptyConnections, HoldsNothing) {
  auto network = SimpleNetwork({2, 3});
  TBasicConnections* block = network->priv_conns_index[1][0];
  EXPECT_FALSE(block->IsConnected());
  EXPECT_STREQ(block->GetConnectionsNType(), "Empty");
  EXPECT_EQ(block->GetNumWeights(FMaskExists), 0);
  EXPECT_EQ(block->GetNumWeights(0), 0);
  double buffer[2] = {7.0, 7.0};
  EXPECT_EQ(block->GetWeights(buffer, FMaskExists), 0);
  EXPECT_EQ(block->SetWeights(buffer, FMaskExists), 0);
  EXPECT_EQ(buffer[0], 7.0);
  double net[3] = {1.0, 2.0, 3.0};
  block->AccumulateNetInput(net);
  EXPECT_EQ(net[2], 3.0);
  TIterateObjCount counter;
  block->Iterate(counter, FMaskExists);
  block->IterateIn(counter, 0, FMaskExists);
  block->IterateOut(counter, 0, FMaskExists);
  EXPECT_EQ(counter.numVisited, 0);
  for (int f = 0; f < 2; ++f) {
    for (int t = 0; t < 3; ++t) {
      EXPECT_FALSE(block->IsValid(f, t));
      EXPECT_FALSE(block->IsTrainable(f, t));
      EXPECT_EQ(block->GetFlags(f, t), FMaskAll);
    }
  }
  std::srand(3);
  const int next = std::rand();
  std::srand(3);
  block->Randomize(-1.0, 1.0);
  EXPECT_EQ(std::rand(), next);
  block->SetFlags(0, 0, FMaskAll);
  block->SetFlags(0, 0, FMaskExists);
  block->InsertFromNode(0, 0.0, 1.0, true);
  block->RemoveToNode(0);
  std::unique_ptr<unsigned char[]> flags(block->GetFlagArray());
  EXPECT_NE(flags, nullptr);

  std::unique_ptr<TBasicConnections> clone(block->Clone(network.get()));
  EXPECT_STREQ(clone->GetConnectionsNType(), "Empty");
  EXPECT_EQ(clone->fromLayer, 0);
  EXPECT_EQ(clone->toLayer, 1);
  EXPECT_EQ(clone->network, network.get());
}

TEST(TEmptyConnectionsDeathTest, UnsupportedOperationsStop) {
  auto network = SimpleNetwork({2, 3});
  TBasicConnections* block = network->priv_conns_index[1][0];
  EXPECT_DEATH(block->Weight(0, 0), "Assertion failed: false, file NeuralNets/TBasicConnections.cpp");
  EXPECT_DEATH(block->PruneConnection(0, 0), "Assertion failed: false");
  EXPECT_DEATH(block->AddConnection(0, 0), "Assertion failed: false");
  EXPECT_DEATH(block->SetTrainable(0, 0), "Assertion failed: false");
  EXPECT_DEATH(block->SetUnTrainable(0, 0), "Assertion failed: false");
  EXPECT_DEATH(block->SetFlags(0, 0, 0), "Assertion failed: \\(val==FMaskAll\\) \\|\\| \\(val==FMaskExists\\)");
  EXPECT_DEATH(block->SetFlags(0, 0, 2), "Assertion failed: \\(val==FMaskAll\\) \\|\\| \\(val==FMaskExists\\)");
}

TEST(TBasicConnections, FlagArraysRoundTripBetweenBlocks) {
  auto network = SimpleNetwork({2, 2, 2});
  network->Connect(0, 2);
  network->Connect(1, 2);
  TBasicConnections* a = network->priv_conns_index[2][0];
  TBasicConnections* b = network->priv_conns_index[2][1];
  a->PruneConnection(1, 0);
  a->SetUnTrainable(0, 1);
  std::unique_ptr<unsigned char[]> flags(a->GetFlagArray());
  ASSERT_EQ(a->GetNumWeights(FMaskExists), 3);
  EXPECT_EQ(flags[0], FMaskAll);       // (0,0)
  EXPECT_EQ(flags[1], FMaskExists);    // (0,1): frozen
  EXPECT_EQ(flags[2], FMaskAll);       // (1,1)
  b->PruneConnection(1, 0);
  b->SetFlagArray(flags.get());
  EXPECT_EQ(b->GetFlags(0, 1), FMaskExists);
  EXPECT_EQ(b->GetFlags(1, 1), FMaskAll);

  b->SetAllUnTrainable();
  EXPECT_EQ(b->GetNumWeights(0), 0);
  EXPECT_EQ(b->GetNumWeights(FMaskExists), 3);

  TBasicConnections* emptyToo = network->priv_conns_index[1][0];
  EXPECT_FALSE(emptyToo->IsConnected());
  a->PruneConnection(0, 0);
  a->PruneConnection(0, 1);
  a->PruneConnection(1, 1);
  std::unique_ptr<unsigned char[]> none(a->GetFlagArray());
  EXPECT_EQ(a->GetNumWeights(FMaskExists), 0);
}

TEST(TBasicConnections, ProductsBeyondIntAreRejectedBeforeAllocation) {
  auto network = SimpleNetwork({70000, 70000});
  EXPECT_THROW(network->Connect(0, 1), std::length_error);
  EXPECT_FALSE(network->priv_conns_index[1][0]->IsConnected());
  EXPECT_THROW(TPrunedConnections(network.get(), 0, 1), std::length_error);
}

namespace {

// A minimal block that supplies only the abstract operations, so that the
// defaults of TBasicConnections (counting, copying, randomising, net input,
// flags) run through its traversal.
class TDenseTestBlock : public TBasicConnections {
 public:
  TDenseTestBlock(TBasicNetwork* network, int fromLayer, int toLayer)
      : TBasicConnections(network, fromLayer, toLayer),
        nFrom(SourceCount()),
        nTo(TargetCount()),
        weights(static_cast<std::size_t>(nFrom * nTo), 0.0),
        flags(weights.size(), FMaskAll) {}

  double& Weight(int from, int to) override { return weights[static_cast<std::size_t>(to * nFrom + from)]; }
  bool IsValid(int from, int to) override { return (Flag(from, to) & FMaskExists) != 0; }
  void SetUnTrainable(int from, int to) override { Flag(from, to) &= ~FMaskTrainable; }
  void PruneConnection(int from, int to) override { Flag(from, to) = 0; }
  void IterateIn(TIterateObj& v, int to, int mask) override {
    BindVisitor(v);
    for (int f = 0; f < nFrom; ++f) Visit(v, f, to, mask);
  }
  void IterateOut(TIterateObj& v, int from, int mask) override {
    BindVisitor(v);
    for (int t = 0; t < nTo; ++t) Visit(v, from, t, mask);
  }
  void Iterate(TIterateObj& v, int mask) override {
    BindVisitor(v);
    for (int t = 0; t < nTo; ++t) {
      for (int f = 0; f < nFrom; ++f) Visit(v, f, t, mask);
    }
  }
  void Iterate2(TIterateObj2&, TBasicNetwork*, int) override {}
  void Iterate3(TIterateObj3&, TBasicNetwork*, TBasicNetwork*, int) override {}
  const char* GetConnectionsNType() override { return "Dense"; }
  TBasicConnections* Clone(TBasicNetwork* newNetwork) override { return new TDenseTestBlock(newNetwork, fromLayer, toLayer); }
  void RemoveFromNode(int) override {}
  void RemoveToNode(int) override {}

 private:
  unsigned char& Flag(int from, int to) { return flags[static_cast<std::size_t>(to * nFrom + from)]; }
  void Visit(TIterateObj& v, int from, int to, int mask) {
    const int required = mask == FMaskExists ? FMaskExists : FMaskAll;
    if ((Flag(from, to) & required) != required) return;
    v.from = from;
    v.to = to;
    v.trainable = (Flag(from, to) & FMaskTrainable) != 0;
    v.weight = &Weight(from, to);
    v.Visit();
  }

  int nFrom;
  int nTo;
  std::vector<double> weights;
  std::vector<unsigned char> flags;
};

}  // namespace

TEST(TBasicConnections, DefaultsWorkThroughTheTraversal) {
  auto network = SimpleNetwork({3, 2});
  auto* block = new TDenseTestBlock(network.get(), 0, 1);
  network->InstallConnections(block);
  const std::vector<double> in = {0.5, -1.0, 2.0, 0.25, 4.0, -0.125};
  EXPECT_EQ(block->SetWeights(in.data(), FMaskExists), 6);
  block->PruneConnection(1, 0);
  block->SetUnTrainable(2, 1);
  EXPECT_TRUE(block->IsConnected());
  EXPECT_EQ(block->GetNumWeights(FMaskExists), 5);
  EXPECT_EQ(block->GetNumWeights(0), 4);
  EXPECT_FALSE(block->IsTrainable(1, 0));
  EXPECT_TRUE(block->IsTrainable(2, 1));  // default: IsValid
  EXPECT_EQ(block->GetFlags(1, 0), FMaskAll);

  network->layers[0]->outputs = {3.0, 5.0, -2.0};
  double net[2] = {1.0, -1.0};
  block->AccumulateNetInput(net);
  double sum0 = 0.0;
  sum0 = 3.0 * 0.5 + sum0;
  sum0 = -2.0 * 2.0 + sum0;
  double sum1 = 0.0;
  sum1 = 3.0 * 0.25 + sum1;
  sum1 = 5.0 * 4.0 + sum1;
  sum1 = -2.0 * -0.125 + sum1;
  EXPECT_EQ(net[0], 1.0 + sum0);
  EXPECT_EQ(net[1], -1.0 + sum1);

  // Default Randomize: existing trainable connections only, in Iterate order.
  const std::vector<double> expected = nettest::ExpectedRandomWeights(31, 4, 0.0, 1.0);
  std::srand(31);
  block->Randomize(0.0, 1.0);
  std::vector<double> out(5);
  EXPECT_EQ(block->GetWeights(out.data(), FMaskExists), 5);
  EXPECT_EQ(out, (std::vector<double>{expected[0], expected[1], expected[2], expected[3], -0.125}));
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 5);
}
