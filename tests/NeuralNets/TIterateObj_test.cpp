#include "NeuralNets/TIterateObj.h"

#include <gtest/gtest.h>

#include <vector>

#include "NeuralNets/TConnectedNetwork.h"
#include "NetworkTestSupport.h"

using nettest::SimpleNetwork;

TEST(TIterateObj, BindLooksUpLayersOutputsAndBlock) {
  auto network = SimpleNetwork({2, 3});
  network->Connect(0, 1);
  TIterateObj v;
  v.Bind(network.get(), 0, 1);
  EXPECT_EQ(v.fromLayer, 0);
  EXPECT_EQ(v.toLayer, 1);
  EXPECT_EQ(v.fromLayerPtr, network->layers[0]);
  EXPECT_EQ(v.toLayerPtr, network->layers[1]);
  EXPECT_EQ(v.fromOutputs, network->layers[0]->outputs.data());
  EXPECT_EQ(v.toOutputs, network->layers[1]->outputs.data());
  EXPECT_EQ(v.conn, network->priv_conns_index[1][0]);

  TIterateObj w;
  w.Bind(network->layers[1], network->layers[0]);
  EXPECT_EQ(w.fromLayer, 1);
  EXPECT_EQ(w.toLayer, 0);
  EXPECT_EQ(w.conn, network->priv_conns_index[0][1]);
}

TEST(TIterateObj, AggregateSumsSourceOutputsTimesWeights) {
  auto network = SimpleNetwork({3, 1});
  network->Connect(0, 1);
  TBasicConnections* block = network->priv_conns_index[1][0];
  block->Weight(0, 0) = 0.1;
  block->Weight(1, 0) = 0.2;
  block->Weight(2, 0) = 0.3;
  network->layers[0]->outputs = {1.5, -2.0, 4.0};
  TIterateObjAggregate v;
  block->IterateIn(v, 0, FMaskExists);
  double sum = 0.0;
  sum = 1.5 * 0.1 + sum;
  sum = -2.0 * 0.2 + sum;
  sum = 4.0 * 0.3 + sum;
  EXPECT_EQ(v.sum, sum);
}

TEST(TIterateObj, CountingAndCopyingVisitors) {
  auto network = SimpleNetwork({2, 2});
  network->Connect(0, 1);
  TBasicConnections* block = network->priv_conns_index[1][0];
  block->PruneConnection(0, 1);
  TIterateObjCount count;
  TIterateObjGetNumWeights num;
  TIterateObjPruneNode prune;
  block->Iterate(count, FMaskExists);
  block->Iterate(num, FMaskExists);
  block->IterateOut(prune, 0, FMaskExists);
  EXPECT_EQ(count.numVisited, 3);
  EXPECT_EQ(num.numVisited, 3);
  EXPECT_EQ(prune.numVisited, 1);

  const double in[] = {1.0, 2.0, 3.0};
  TIterateObjSetWeights set(in);
  block->Iterate(set, FMaskExists);
  EXPECT_EQ(set.numVisited, 3);
  EXPECT_EQ(set.cursor, in + 3);
  double out[3] = {0, 0, 0};
  TIterateObjGetWeights get(out);
  block->Iterate(get, FMaskExists);
  EXPECT_EQ(get.numVisited, 3);
  EXPECT_EQ(out[2], 3.0);
  EXPECT_EQ(block->Weight(1, 1), 3.0);

  TIterateObjRandomize fixed(0.25, 0.25);
  block->Iterate(fixed, 0);
  EXPECT_EQ(block->Weight(0, 0), 0.25);
  EXPECT_EQ(block->Weight(0, 1), 0.0);  // pruned: not visited
}

namespace {

struct PairSum : TIterateObj2 {
  std::vector<double> sums;
  void Visit() override { sums.push_back(*weight + *weight2); }
};

struct TripleCheck : TIterateObj3 {
  int visits = 0;
  void Visit() override {
    ++visits;
    *weight3 = *weight * *weight2;
  }
};

}  // namespace

TEST(TIterateObj2, WalksTwoNetworksInStep) {
  auto a = SimpleNetwork({2, 2});
  a->Connect(0, 1);
  a->priv_conns_index[1][0]->SetWeights(std::vector<double>{1, 2, 3, 4}.data(), 1);
  a->priv_conns_index[1][0]->PruneConnection(1, 0);
  TBasicNetwork b(*a);
  b.priv_conns_index[1][0]->SetWeights(std::vector<double>{10, 30, 40}.data(), 1);

  PairSum v;
  a->priv_conns_index[1][0]->Iterate2(v, &b, FMaskExists);
  EXPECT_EQ(v.sums, (std::vector<double>{11, 33, 44}));
  EXPECT_EQ(v.conn, a->priv_conns_index[1][0]);
  EXPECT_EQ(v.conn2, b.priv_conns_index[1][0]);
  EXPECT_EQ(v.fromOutputs2, b.layers[0]->outputs.data());

  TBasicNetwork c(*a);
  TripleCheck t;
  a->priv_conns_index[1][0]->Iterate3(t, &b, &c, FMaskExists);
  EXPECT_EQ(t.visits, 3);
  EXPECT_EQ(c.priv_conns_index[1][0]->Weight(1, 1), 4.0 * 40.0);
  EXPECT_EQ(a->priv_conns_index[1][0]->Weight(1, 1), 4.0);

  TIterateObj2 bound(a.get(), &b, 0, 1, 1, 0);
  EXPECT_EQ(bound.from, 1);
  EXPECT_EQ(bound.to, 0);
  EXPECT_EQ(bound.toLayerPtr2, b.layers[1]);
}

TEST(TIterateObj2DeathTest, BlocksOfDifferentTypesStop) {
  auto a = SimpleNetwork({2, 2});
  a->Connect(0, 1);
  TConnectedNetwork b(2, std::vector<int>{2, 2}.data());
  b.Connect(0, 1);
  auto c = SimpleNetwork({2, 2});
  PairSum v;
  EXPECT_DEATH(a->priv_conns_index[1][0]->Iterate2(v, &b, FMaskExists),
               "Assertion failed: conn1 -> GetConnectionsNType\\(\\) == conn2 -> GetConnectionsNType\\(\\)");
  TripleCheck t;
  EXPECT_DEATH(a->priv_conns_index[1][0]->Iterate3(t, a.get(), c.get(), FMaskExists),
               "Assertion failed: conn1 -> GetConnectionsNType\\(\\) == conn3 -> GetConnectionsNType\\(\\)");
  auto d = SimpleNetwork({3, 2});
  d->Connect(0, 1);
  EXPECT_DEATH(a->priv_conns_index[1][0]->Iterate2(v, d.get(), FMaskExists), "Assertion failed: first.fromLayerPtr");
}
