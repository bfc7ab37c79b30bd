#include "NeuralNets/TPrunedConnections.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "NetworkTestSupport.h"

using nettest::SimpleNetwork;

namespace {

// A network with layers of 3 and 2 neurons and the block (0 -> 1).
struct Fixture {
  std::unique_ptr<TBasicNetwork> network = SimpleNetwork({3, 2});
  TPrunedConnections* block;
  Fixture() {
    network->Connect(0, 1);
    block = static_cast<TPrunedConnections*>(network->priv_conns_index[1][0]);
  }
  void Number() {
    for (int t = 0; t < 2; ++t) {
      for (int f = 0; f < 3; ++f) block->Weight(f, t) = 10.0 * f + t + 1;  // (f,t) -> f t+1
    }
  }
};

std::vector<double> Weights(TBasicConnections* block, int mask) {
  std::vector<double> out(static_cast<std::size_t>(block->GetNumWeights(mask)));
  EXPECT_EQ(block->GetWeights(out.data(), mask), static_cast<int>(out.size()));
  return out;
}

}  // namespace

TEST(TPrunedConnections, NewBlockIsFullTrainableAndZero) {
  Fixture fx;
  EXPECT_TRUE(fx.block->IsConnected());
  EXPECT_STREQ(fx.block->GetConnectionsNType(), "Pruneable");
  EXPECT_EQ(fx.block->GetNumWeights(1), 6);
  EXPECT_EQ(fx.block->GetNumWeights(0), 6);
  EXPECT_EQ(fx.block->array_weights.size(), 6u);
  for (int f = 0; f < 3; ++f) {
    for (int t = 0; t < 2; ++t) {
      EXPECT_EQ(fx.block->Weight(f, t), 0.0);
      EXPECT_EQ(fx.block->GetFlags(f, t), 3);
      EXPECT_EQ(&fx.block->Weight(f, t), &fx.block->array_weights[static_cast<std::size_t>(t * 3 + f)]);
    }
  }
  EXPECT_EQ(fx.block->index_weights[1], fx.block->array_weights.data() + 3);
  EXPECT_EQ(fx.block->index_masks[1], fx.block->array_masks.data() + 3);
}

TEST(TPrunedConnections, WeightsComeTargetMajor) {
  Fixture fx;
  fx.Number();
  EXPECT_EQ(Weights(fx.block, 1), (std::vector<double>{1, 11, 21, 2, 12, 22}));
  const std::vector<double> in = {-1, -2, -3, -4, -5, -6};
  EXPECT_EQ(fx.block->SetWeights(in.data(), 1), 6);
  EXPECT_EQ(fx.block->Weight(2, 0), -3.0);
  EXPECT_EQ(fx.block->Weight(0, 1), -4.0);
}

TEST(TPrunedConnections, PrunedConnectionIsSkippedEverywhere) {
  Fixture fx;
  fx.Number();
  fx.block->PruneConnection(1, 0);
  EXPECT_FALSE(fx.block->IsValid(1, 0));
  EXPECT_FALSE(fx.block->IsTrainable(1, 0));
  EXPECT_EQ(fx.block->Weight(1, 0), 0.0);
  EXPECT_EQ(fx.block->GetNumWeights(1), 5);
  EXPECT_EQ(Weights(fx.block, 1), (std::vector<double>{1, 21, 2, 12, 22}));

  fx.block->Weight(1, 0) = 100.0;  // stored but not a connection
  double* src = fx.network->layers[0]->outputs.data();
  src[0] = 1.0;
  src[1] = 2.0;
  src[2] = 3.0;
  double net[2] = {0.5, 0.0};
  fx.block->AccumulateNetInput(net);
  EXPECT_EQ(net[0], 0.5 + ((0.0 + 1.0 * 1.0) + 21.0 * 3.0));
  EXPECT_EQ(net[1], 0.0 + (((0.0 + 2.0 * 1.0) + 12.0 * 2.0) + 22.0 * 3.0));

  std::srand(9);
  fx.block->Randomize(-1.0, 1.0);
  EXPECT_EQ(fx.block->Weight(1, 0), 100.0);
}

TEST(TPrunedConnections, AddConnectionAndTrainableFlags) {
  Fixture fx;
  fx.block->Weight(0, 0) = 4.0;
  fx.block->SetUnTrainable(0, 0);
  fx.block->AddConnection(0, 0);  // exists: kept as it is
  EXPECT_EQ(fx.block->Weight(0, 0), 4.0);
  EXPECT_EQ(fx.block->GetFlags(0, 0), FMaskExists);
  fx.block->SetTrainable(0, 0);
  EXPECT_EQ(fx.block->GetFlags(0, 0), FMaskAll);

  fx.block->Weight(2, 1) = 5.0;
  fx.block->PruneConnection(2, 1);
  fx.block->SetTrainable(2, 1);
  EXPECT_EQ(fx.block->GetFlags(2, 1), 0);
  fx.block->SetUnTrainable(2, 1);
  EXPECT_EQ(fx.block->GetFlags(2, 1), 0);
  fx.block->AddConnection(2, 1);
  EXPECT_EQ(fx.block->GetFlags(2, 1), FMaskAll);
  EXPECT_EQ(fx.block->Weight(2, 1), 0.0);
}

TEST(TPrunedConnections, SetFlagsIsStoredAsGiven) {
  Fixture fx;
  fx.block->SetFlags(1, 1, FMaskTrainable);  // trainable but not existing
  EXPECT_FALSE(fx.block->IsValid(1, 1));
  EXPECT_TRUE(fx.block->IsTrainable(1, 1));
  EXPECT_EQ(fx.block->GetNumWeights(1), 5);
  fx.block->SetFlags(0, 0, FMaskExists);  // frozen
  EXPECT_EQ(fx.block->GetNumWeights(1), 5);
  EXPECT_EQ(fx.block->GetNumWeights(0), 4);

  // Randomize changes trainable positions only: (1,1) yes, (0,0) no.
  fx.block->Weight(0, 0) = 7.0;
  std::vector<double> expected = nettest::ExpectedRandomWeights(11, 5, -2.0, 2.0);
  std::srand(11);
  fx.block->Randomize(-2.0, 2.0);
  EXPECT_EQ(fx.block->Weight(0, 0), 7.0);
  // Storage order: (1,0) (2,0) (0,1) (1,1) (2,1).
  EXPECT_EQ(fx.block->Weight(1, 0), expected[0]);
  EXPECT_EQ(fx.block->Weight(2, 0), expected[1]);
  EXPECT_EQ(fx.block->Weight(0, 1), expected[2]);
  EXPECT_EQ(fx.block->Weight(1, 1), expected[3]);
  EXPECT_EQ(fx.block->Weight(2, 1), expected[4]);

  // Randomize(0.5, 0.5) sets trainable weights without calling rand().
  std::srand(4);
  const int next = std::rand();
  std::srand(4);
  fx.block->Randomize(0.5, 0.5);
  EXPECT_EQ(std::rand(), next);
  EXPECT_EQ(fx.block->Weight(2, 1), 0.5);
  EXPECT_EQ(fx.block->Weight(0, 0), 7.0);
}

TEST(TPrunedConnections, TraversalsReportIndicesAndFlags) {
  Fixture fx;
  fx.Number();
  fx.block->SetUnTrainable(1, 1);
  struct Recorder : TIterateObj {
    std::vector<int> froms, tos;
    std::vector<bool> trainables;
    std::vector<double> weights;
    void Visit() override {
      froms.push_back(from);
      tos.push_back(to);
      trainables.push_back(trainable);
      weights.push_back(*weight);
    }
  };
  Recorder out;
  fx.block->IterateOut(out, 1, FMaskExists);
  EXPECT_EQ(out.tos, (std::vector<int>{0, 1}));
  EXPECT_EQ(out.froms, (std::vector<int>{1, 1}));
  EXPECT_EQ(out.trainables, (std::vector<bool>{true, false}));
  EXPECT_EQ(out.conn, fx.block);
  EXPECT_EQ(out.fromLayer, 0);
  EXPECT_EQ(out.toLayer, 1);
  EXPECT_EQ(out.fromOutputs, fx.network->layers[0]->outputs.data());

  Recorder in;
  fx.block->IterateIn(in, 1, 0);  // trainable only
  EXPECT_EQ(in.froms, (std::vector<int>{0, 2}));
  EXPECT_EQ(in.weights, (std::vector<double>{2, 22}));
}

TEST(TPrunedConnections, InsertAndRemoveNodesThroughTheNetwork) {
  auto network = SimpleNetwork({1, 2, 2, 1});
  network->Connect(1, 2);
  network->Connect(2, 3);
  auto* in = static_cast<TPrunedConnections*>(network->priv_conns_index[2][1]);
  auto* out = static_cast<TPrunedConnections*>(network->priv_conns_index[3][2]);
  for (int t = 0; t < 2; ++t) {
    for (int f = 0; f < 2; ++f) in->Weight(f, t) = 10.0 * f + t;
  }
  out->Weight(0, 0) = 0.5;
  out->Weight(1, 0) = 1.5;

  // Not attached: a row of non-existing connections into the new neuron and
  // a column of them out of it.
  network->InsertNode(2, 1, -1.0, 1.0, false);
  EXPECT_EQ(in->GetNumWeights(1), 4);
  EXPECT_EQ(in->Weight(0, 0), 0.0);
  EXPECT_EQ(in->Weight(1, 0), 10.0);
  EXPECT_EQ(in->Weight(0, 2), 1.0);
  EXPECT_EQ(in->Weight(1, 2), 11.0);
  EXPECT_EQ(in->GetFlags(0, 1), 0);
  EXPECT_EQ(in->GetFlags(1, 1), 0);
  EXPECT_EQ(out->Weight(0, 0), 0.5);
  EXPECT_EQ(out->Weight(2, 0), 1.5);
  EXPECT_EQ(out->GetFlags(1, 0), 0);
  EXPECT_EQ(out->Weight(1, 0), 0.0);

  // Attached: one rand() per new connection, the incoming row (source order)
  // of (1 -> 2) and then the outgoing column of (2 -> 3).
  const std::vector<double> expected = nettest::ExpectedRandomWeights(21, 3, -1.0, 1.0);
  std::srand(21);
  network->InsertNode(2, 0, -1.0, 1.0, true);
  EXPECT_EQ(in->Weight(0, 0), expected[0]);
  EXPECT_EQ(in->Weight(1, 0), expected[1]);
  EXPECT_EQ(out->Weight(0, 0), expected[2]);
  EXPECT_EQ(in->GetFlags(1, 0), FMaskAll);
  EXPECT_EQ(in->Weight(1, 1), 10.0);
  EXPECT_EQ(out->Weight(3, 0), 1.5);

  network->RemoveNode(2, 0);
  network->RemoveNode(2, 1);
  EXPECT_EQ(in->GetNumWeights(1), 4);
  EXPECT_EQ(in->Weight(0, 0), 0.0);
  EXPECT_EQ(in->Weight(1, 1), 11.0);
  EXPECT_EQ(out->Weight(0, 0), 0.5);
  EXPECT_EQ(out->Weight(1, 0), 1.5);
  EXPECT_EQ(in->index_weights.size(), 2u);
}

TEST(TPrunedConnections, InsertFromNodeOpensAMiddleColumn) {
  auto network = SimpleNetwork({2, 2});
  network->Connect(0, 1);
  auto* block = static_cast<TPrunedConnections*>(network->priv_conns_index[1][0]);
  block->Weight(0, 0) = 1.0;
  block->Weight(1, 0) = 2.0;
  block->Weight(0, 1) = 3.0;
  block->Weight(1, 1) = 4.0;
  // Grow the source layer by hand, as the network does, then the block.
  network->layers[0]->InsertNeuron(1);
  ++network->layers[0]->numNeurons;
  block->InsertFromNode(1, -1.0, 1.0, false);
  EXPECT_EQ(block->Weight(0, 0), 1.0);
  EXPECT_EQ(block->Weight(1, 0), 0.0);
  EXPECT_EQ(block->Weight(2, 0), 2.0);
  EXPECT_EQ(block->Weight(2, 1), 4.0);
  EXPECT_FALSE(block->IsValid(1, 1));
  EXPECT_EQ(block->GetNumWeights(1), 4);
}

TEST(TPrunedConnections, SelfConnectedLayerResizesInBothDimensions) {
  auto network = SimpleNetwork({1, 1, 2, 1});
  network->Connect(2, 2);
  auto* self = static_cast<TPrunedConnections*>(network->priv_conns_index[2][2]);
  self->Weight(0, 0) = 1.0;
  self->Weight(1, 0) = 2.0;
  self->Weight(0, 1) = 3.0;
  self->Weight(1, 1) = 4.0;
  // New column first (targets ascending), then the new row (other sources).
  const std::vector<double> expected = nettest::ExpectedRandomWeights(8, 5, 0.0, 1.0);
  std::srand(8);
  network->InsertNode(2, 1, 0.0, 1.0, true);
  EXPECT_EQ(self->GetNumWeights(1), 9);
  EXPECT_EQ(self->Weight(1, 0), expected[0]);
  EXPECT_EQ(self->Weight(1, 1), expected[1]);
  EXPECT_EQ(self->Weight(1, 2), expected[2]);
  EXPECT_EQ(self->Weight(0, 1), expected[3]);
  EXPECT_EQ(self->Weight(2, 1), expected[4]);
  EXPECT_EQ(self->Weight(0, 0), 1.0);
  EXPECT_EQ(self->Weight(2, 0), 2.0);
  EXPECT_EQ(self->Weight(0, 2), 3.0);
  EXPECT_EQ(self->Weight(2, 2), 4.0);

  network->RemoveNode(2, 0);
  EXPECT_EQ(self->GetNumWeights(1), 4);
  EXPECT_EQ(self->Weight(0, 0), expected[1]);
  EXPECT_EQ(self->Weight(1, 0), expected[4]);
  EXPECT_EQ(self->Weight(0, 1), expected[2]);
  EXPECT_EQ(self->Weight(1, 1), 4.0);
}

TEST(TPrunedConnections, EmptyLayerGivesAnEmptyBlock) {
  auto network = SimpleNetwork({0, 3});
  network->Connect(0, 1);
  TBasicConnections* block = network->priv_conns_index[1][0];
  EXPECT_EQ(block->GetNumWeights(1), 0);
  TIterateObjCount counter;
  block->Iterate(counter, 1);
  block->IterateIn(counter, 2, 1);
  EXPECT_EQ(counter.numVisited, 0);
  double net[3] = {1.0, 2.0, 3.0};
  block->AccumulateNetInput(net);
  EXPECT_EQ(net[0], 1.0);
  EXPECT_EQ(net[2], 3.0);
}

TEST(TPrunedConnections, CloneCopiesWeightsAndFlags) {
  Fixture fx;
  fx.Number();
  fx.block->PruneConnection(2, 0);
  fx.block->SetUnTrainable(0, 1);
  TBasicNetwork copy(*fx.network);
  auto* clone = static_cast<TPrunedConnections*>(copy.priv_conns_index[1][0]);
  EXPECT_NE(clone, fx.block);
  EXPECT_EQ(clone->network, &copy);
  EXPECT_EQ(clone->array_weights, fx.block->array_weights);
  EXPECT_EQ(clone->array_masks, fx.block->array_masks);
  EXPECT_EQ(clone->index_weights[1], clone->array_weights.data() + 3);
  clone->Weight(0, 0) = -9.0;
  EXPECT_EQ(fx.block->Weight(0, 0), 1.0);
}
