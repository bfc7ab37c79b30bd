#include "NeuralNets/TConnectedConnections.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "NeuralNets/TConnectedNetwork.h"
#include "NetworkTestSupport.h"

namespace {

// A connected network with layers of 2 and 3 neurons and the block (0 -> 1),
// weight (f, t) = 10 f + t.
struct Fixture {
  TConnectedNetwork network{2, std::vector<int>{2, 3}.data()};
  TConnectedConnections* block;
  Fixture() {
    network.Connect(0, 1);
    block = static_cast<TConnectedConnections*>(network.priv_conns_index[1][0]);
    for (int f = 0; f < 2; ++f) {
      for (int t = 0; t < 3; ++t) block->Weight(f, t) = 10.0 * f + t;
    }
  }
};

}  // namespace

TEST(TConnectedConnections, NewBlockIsFullAndZero) {
  TConnectedNetwork network(2, std::vector<int>{2, 3}.data());
  network.Connect(0, 1);
  TBasicConnections* block = network.priv_conns_index[1][0];
  EXPECT_STREQ(block->GetConnectionsNType(), "FullyConnected");
  EXPECT_TRUE(block->IsConnected());
  EXPECT_EQ(block->GetNumWeights(1), 6);
  EXPECT_EQ(block->GetNumWeights(0), 6);
  for (int f = 0; f < 2; ++f) {
    for (int t = 0; t < 3; ++t) {
      EXPECT_EQ(block->Weight(f, t), 0.0);
      EXPECT_TRUE(block->IsValid(f, t));
      EXPECT_TRUE(block->IsTrainable(f, t));
      EXPECT_EQ(block->GetFlags(f, t), FMaskAll);
    }
  }
}

TEST(TConnectedConnections, GetAndSetWeightsAreSourceMajor) {
  Fixture fx;
  std::vector<double> out(6);
  EXPECT_EQ(fx.block->GetWeights(out.data(), 1), 6);
  EXPECT_EQ(out, (std::vector<double>{0, 1, 2, 10, 11, 12}));
  EXPECT_EQ(fx.block->GetWeights(out.data(), 0), 6);  // mask ignored
  const std::vector<double> in = {5, 6, 7, 8, 9, 4};
  EXPECT_EQ(fx.block->SetWeights(in.data(), 0), 6);
  EXPECT_EQ(fx.block->Weight(0, 2), 7.0);
  EXPECT_EQ(fx.block->Weight(1, 0), 8.0);
  std::vector<double> back(6);
  fx.block->GetWeights(back.data(), 1);
  EXPECT_EQ(back, in);
  // The network's weight vector carries the block's own order.
  EXPECT_EQ(nettest::AllWeights(fx.network), in);
}

TEST(TConnectedConnections, IterateIsTargetMajorAndVisitsEverything) {
  Fixture fx;
  struct Recorder : TIterateObj {
    std::vector<double> weights;
    int untrainable = 0;
    void Visit() override {
      weights.push_back(*weight);
      if (!trainable) ++untrainable;
    }
  };
  Recorder all;
  fx.block->Iterate(all, 0);
  EXPECT_EQ(all.weights, (std::vector<double>{0, 10, 1, 11, 2, 12}));
  EXPECT_EQ(all.untrainable, 0);
  Recorder in;
  fx.block->IterateIn(in, 2, 0);
  EXPECT_EQ(in.weights, (std::vector<double>{2, 12}));
  Recorder out;
  fx.block->IterateOut(out, 1, 1);
  EXPECT_EQ(out.weights, (std::vector<double>{10, 11, 12}));
  EXPECT_EQ(out.to, 2);
}

TEST(TConnectedConnections, FlagOperationsChangeNothing) {
  Fixture fx;
  fx.block->SetFlags(1, 1, FMaskExists);
  fx.block->SetFlags(1, 1, FMaskAll);
  fx.block->AddConnection(1, 1);
  fx.block->SetTrainable(1, 1);
  EXPECT_EQ(fx.block->Weight(1, 1), 11.0);
  EXPECT_EQ(fx.block->GetFlags(1, 1), FMaskAll);
  EXPECT_TRUE(fx.block->IsTrainable(1, 1));
}

TEST(TConnectedConnections, RandomizeAndNetInput) {
  Fixture fx;
  std::srand(2);
  const int next = std::rand();
  std::srand(2);
  fx.block->Randomize(1.0, 1.0);
  EXPECT_EQ(std::rand(), next);
  for (double w : fx.block->array_weights) EXPECT_EQ(w, 1.0);

  const std::vector<double> expected = nettest::ExpectedRandomWeights(6, 6, -3.0, 3.0);
  std::srand(6);
  fx.block->Randomize(-3.0, 3.0);
  EXPECT_EQ(fx.block->array_weights, expected);  // storage order: target-major
  EXPECT_EQ(fx.block->Weight(1, 0), expected[1]);

  fx.network.layers[0]->outputs = {0.5, -1.5};
  double net[3] = {1.0, 0.0, 0.0};
  fx.block->AccumulateNetInput(net);
  for (int t = 0; t < 3; ++t) {
    double sum = 0.0;
    sum = fx.block->Weight(0, t) * 0.5 + sum;
    sum = fx.block->Weight(1, t) * -1.5 + sum;
    EXPECT_EQ(net[t], (t == 0 ? 1.0 : 0.0) + sum);
  }
}

TEST(TConnectedConnections, InsertToNodeAddsARandomFirstRow) {
  Fixture fx;
  const std::vector<double> expected = nettest::ExpectedRandomWeights(13, 2, -1.0, 1.0);
  std::srand(13);
  fx.network.layers[1]->InsertNeuron(0);
  ++fx.network.layers[1]->numNeurons;
  fx.block->InsertToNode(0, -1.0, 1.0, true);
  EXPECT_EQ(fx.block->GetNumWeights(1), 8);
  EXPECT_EQ(fx.block->Weight(0, 0), expected[0]);
  EXPECT_EQ(fx.block->Weight(1, 0), expected[1]);
  for (int t = 1; t < 4; ++t) {
    EXPECT_EQ(fx.block->Weight(0, t), t - 1.0);
    EXPECT_EQ(fx.block->Weight(1, t), 10.0 + t - 1.0);
  }
  EXPECT_GE(expected[0], -1.0);
  EXPECT_LT(expected[0], 1.0);

  // Insertion draws once per new weight (4 targets) even when min equals max.
  std::srand(13);
  std::vector<int> sequence;
  for (int i = 0; i < 5; ++i) sequence.push_back(std::rand());
  std::srand(13);
  fx.network.layers[0]->InsertNeuron(2);
  ++fx.network.layers[0]->numNeurons;
  fx.block->InsertFromNode(2, 0.75, 0.75, true);
  EXPECT_EQ(std::rand(), sequence[4]);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(fx.block->Weight(2, t), 0.75);

  fx.network.layers[1]->RemoveNeuron(1);
  --fx.network.layers[1]->numNeurons;
  fx.block->RemoveToNode(1);
  EXPECT_EQ(fx.block->GetNumWeights(1), 9);
  EXPECT_EQ(fx.block->Weight(1, 1), 11.0);
  EXPECT_EQ(fx.block->index_weights.size(), 3u);
}

TEST(TConnectedConnections, CloneCopiesTheWeights) {
  Fixture fx;
  TBasicNetwork copy(fx.network);
  auto* clone = static_cast<TConnectedConnections*>(copy.priv_conns_index[1][0]);
  EXPECT_STREQ(clone->GetConnectionsNType(), "FullyConnected");
  EXPECT_EQ(clone->array_weights, fx.block->array_weights);
  clone->Weight(0, 0) = 99.0;
  EXPECT_EQ(fx.block->Weight(0, 0), 0.0);
}

TEST(TConnectedConnectionsDeathTest, UnsupportedOperationsStop) {
  Fixture fx;
  EXPECT_DEATH(fx.block->PruneConnection(0, 0), "Assertion failed: false, file NeuralNets/TBasicConnections.cpp");
  EXPECT_DEATH(fx.block->SetUnTrainable(0, 0), "Assertion failed: false");
  EXPECT_DEATH(fx.block->SetFlags(0, 0, 0), "Assertion failed: \\(val==FMaskAll\\) \\|\\| \\(val==FMaskExists\\)");
  EXPECT_DEATH(fx.block->InsertFromNode(0, 0.0, 1.0, false),
               "Assertion failed: attached, file NeuralNets/TConnectedConnections.cpp");
  EXPECT_DEATH(fx.block->InsertToNode(0, 0.0, 1.0, false), "Assertion failed: attached");
}
