#include "NeuralNets/TArcsIterator.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "NeuralNets/TConnectedNetwork.h"

namespace {

// Layers of 2, 3 and 1 neurons with (0 -> 2) and (1 -> 2) connected; weight
// (f, t) of the block from layer L is 10 L + f.
struct Fixture {
  TConnectedNetwork network{3, std::vector<int>{2, 3, 1}.data()};
  Fixture() {
    network.Connect(0, 2);
    network.Connect(1, 2);
    for (int layer = 0; layer < 2; ++layer) {
      for (int f = 0; f < network.layers[layer]->numNeurons; ++f) {
        network.priv_conns_index[2][layer]->Weight(f, 0) = 10.0 * layer + f;
      }
    }
  }
};

using Arc = std::tuple<int, int, double>;  // source layer, source neuron, weight

Arc Current(TArcsIterator& it) {
  return {it.GetFromLayer(), it.GetFromNode(), *it.GetWeight()};
}

}  // namespace

TEST(TConnInAllArcsIterator, WalksEveryConnectedSourceLayer) {
  Fixture fx;
  TConnInAllArcsIterator it(&fx.network);
  it.Init(2, 0);
  EXPECT_FALSE(it.OnArc());
  std::vector<Arc> arcs;
  while (it.Next()) {
    EXPECT_TRUE(it.OnArc());
    EXPECT_TRUE(it.HasArc());
    EXPECT_EQ(it.GetToLayer(), 2);
    EXPECT_EQ(it.GetToNode(), 0);
    EXPECT_EQ(it.GetToNeuron(), fx.network.layers[2]->GetNeuron(0));
    EXPECT_EQ(it.GetFromNeuron(), fx.network.layers[it.GetFromLayer()]->GetNeuron(it.GetFromNode()));
    EXPECT_EQ(it.GetWeight(), &fx.network.priv_conns_index[2][it.GetFromLayer()]->Weight(it.GetFromNode(), 0));
    arcs.push_back(Current(it));
  }
  EXPECT_EQ(arcs, (std::vector<Arc>{{0, 0, 0.0}, {0, 1, 1.0}, {1, 0, 10.0}, {1, 1, 11.0}, {1, 2, 12.0}}));
  EXPECT_FALSE(it.OnArc());
  // Past the end: Next keeps answering false, off any arc.
  EXPECT_FALSE(it.Next());
  EXPECT_FALSE(it.Next());
  EXPECT_FALSE(it.OnArc());
  EXPECT_EQ(it.GetWeight(), nullptr);
  EXPECT_EQ(it.GetFromNeuron(), nullptr);
  EXPECT_EQ(it.GetFromNode(), -1);
  // ... and Prev walks back from the last arc.
  std::vector<Arc> back;
  while (it.Prev()) back.push_back(Current(it));
  EXPECT_EQ(back, (std::vector<Arc>{{1, 2, 12.0}, {1, 1, 11.0}, {1, 0, 10.0}, {0, 1, 1.0}, {0, 0, 0.0}}));
  EXPECT_FALSE(it.Prev());
  ASSERT_TRUE(it.Next());
  EXPECT_EQ(Current(it), (Arc{0, 0, 0.0}));
}

TEST(TConnInAllArcsIterator, WeightsCanBeWrittenThroughTheIterator) {
  Fixture fx;
  TConnInAllArcsIterator it(&fx.network);
  it.Init(fx.network.layers[2]->GetNeuron(0));
  while (it.Next()) *it.GetWeight() = -1.0;
  EXPECT_EQ(fx.network.priv_conns_index[2][1]->Weight(2, 0), -1.0);
  EXPECT_EQ(fx.network.priv_conns_index[2][0]->Weight(0, 0), -1.0);
}

TEST(TConnInAllArcsIterator, EdgeCases) {
  Fixture fx;
  TConnInAllArcsIterator it(&fx.network);
  // Not initialised: no arcs.
  EXPECT_FALSE(it.Next());
  EXPECT_FALSE(it.Prev());
  // No incoming connected layer.
  it.Init(1, 2);
  EXPECT_FALSE(it.Next());
  EXPECT_FALSE(it.OnArc());
  // Prev right after Init.
  it.Init(2, 0);
  EXPECT_FALSE(it.Prev());
  EXPECT_FALSE(it.OnArc());
  ASSERT_TRUE(it.Next());
  EXPECT_EQ(Current(it), (Arc{0, 0, 0.0}));

  // A connected source layer without neurons is skipped, and the target layer
  // itself is a candidate source.
  TConnectedNetwork gappy(4, std::vector<int>{1, 0, 2, 1}.data());
  gappy.Connect(1, 3);
  gappy.Connect(3, 3);
  gappy.Connect(0, 3);
  TConnInAllArcsIterator g(&gappy);
  g.Init(3, 0);
  std::vector<int> layers;
  while (g.Next()) layers.push_back(g.GetFromLayer());
  EXPECT_EQ(layers, (std::vector<int>{0, 3}));
}

TEST(TConnInLayerArcsIterator, WalksOneSourceLayer) {
  Fixture fx;
  TConnInLayerArcsIterator it(&fx.network);
  it.Init(2, 0, 1);
  EXPECT_TRUE(it.OnArc());  // the pair is connected
  EXPECT_EQ(it.GetFromNode(), -1);
  EXPECT_EQ(it.fromOutputs, fx.network.layers[1]->outputs.data());
  EXPECT_FALSE(it.Prev());
  std::vector<Arc> arcs;
  while (it.Next()) arcs.push_back(Current(it));
  EXPECT_EQ(arcs, (std::vector<Arc>{{1, 0, 10.0}, {1, 1, 11.0}, {1, 2, 12.0}}));
  EXPECT_FALSE(it.Next());
  EXPECT_EQ(Current(it), (Arc{1, 2, 12.0}));
  ASSERT_TRUE(it.Prev());
  EXPECT_EQ(Current(it), (Arc{1, 1, 11.0}));
  EXPECT_EQ(it.GetFromNeuron(), fx.network.layers[1]->GetNeuron(1));

  TConnInLayerArcsIterator byNeuron(&fx.network);
  byNeuron.Init(fx.network.layers[2]->GetNeuron(0));  // source layer 0
  ASSERT_TRUE(byNeuron.Next());
  EXPECT_EQ(byNeuron.GetFromLayer(), 0);
}

TEST(TConnInLayerArcsIterator, UnconnectedPairsAndEmptyLayersHaveNoArcs) {
  Fixture fx;
  TConnInLayerArcsIterator it(&fx.network);
  it.Init(1, 0, 0);  // (0 -> 1) is not connected
  EXPECT_FALSE(it.OnArc());
  EXPECT_FALSE(it.Next());
  EXPECT_FALSE(it.Prev());
  EXPECT_EQ(it.GetWeight(), nullptr);

  TConnectedNetwork gappy(3, std::vector<int>{0, 1, 1}.data());
  gappy.Connect(0, 2);
  TConnInLayerArcsIterator empty(&gappy);
  empty.Init(2, 0, 0);
  EXPECT_FALSE(empty.Next());
}

TEST(TArcsIteratorDeathTest, ReservedOperationsStop) {
  Fixture fx;
  TConnInAllArcsIterator all(&fx.network);
  TConnInLayerArcsIterator one(&fx.network);
  EXPECT_DEATH(all.Reserved1(), "Assertion failed: false, file NeuralNets/TArcsIterator.cpp");
  EXPECT_DEATH(all.Reserved2(), "Assertion failed: false");
  EXPECT_DEATH(one.Reserved3(), "Assertion failed: false");
  EXPECT_DEATH(all.Reserved(), "Assertion failed: false");
  EXPECT_DEATH(one.Reserved(), "Assertion failed: false");
  EXPECT_DEATH(all.Init(2, 1), "Assertion failed: toNode<network->layers\\[toLayer\\]->numNeurons");
  EXPECT_DEATH(one.Init(3, 0, 0), "Assertion failed: toLayer<network->numLayers");
}
