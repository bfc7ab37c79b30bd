#include "NeuralNets/TConnectedNetwork.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Common/PortableMath.h"
#include "NetworkTestSupport.h"

TEST(TConnectedNetwork, LayersAndNoConnections) {
  TConnectedNetwork network(3, std::vector<int>{2, 3, 1}.data());
  EXPECT_STREQ(network.GetNetworkType(), "Connected");
  EXPECT_EQ(network.numLayers, 3);
  EXPECT_EQ(network.inLayer, 1);
  EXPECT_EQ(network.outLayer, 2);
  EXPECT_STREQ(network.layers[0]->GetTypeName(), "Simple");
  EXPECT_STREQ(network.layers[1]->GetTypeName(), "Input");
  EXPECT_STREQ(network.layers[2]->GetTypeName(), "Simple");
  EXPECT_EQ(network.layers[1]->numNeurons, 3);
  for (TBasicConnections* block : network.priv_conns) EXPECT_FALSE(block->IsConnected());
}

TEST(TConnectedNetwork, ConnectCreatesFullyConnectedBlocksOnce) {
  TConnectedNetwork network(3, std::vector<int>{2, 3, 1}.data());
  network.Connect(1, 2);
  TBasicConnections* block = network.priv_conns_index[2][1];
  EXPECT_STREQ(block->GetConnectionsNType(), "FullyConnected");
  block->Weight(2, 0) = 1.5;
  network.Connect(1, 2);
  EXPECT_EQ(network.priv_conns_index[2][1], block);
  EXPECT_EQ(block->Weight(2, 0), 1.5);
  EXPECT_EQ(network.GetNumWeights(0), 3);
}

TEST(TConnectedNetwork, RecallThroughFullyConnectedBlocks) {
  TConnectedNetwork network(3, std::vector<int>{1, 2, 1}.data());
  network.layers[0]->SetActivationFunction(BiasFunction);
  network.layers[2]->SetActivationFunction(TanhFunction);
  network.Connect(0, 2);
  network.Connect(1, 2);
  network.priv_conns_index[2][0]->Weight(0, 0) = 0.1;
  network.priv_conns_index[2][1]->Weight(0, 0) = 0.2;
  network.priv_conns_index[2][1]->Weight(1, 0) = -0.3;
  const double input[] = {2.0, 1.0};
  double output = 0.0;
  network.Recall(input, &output);
  double sum = 0.0;
  sum = 0.2 * 2.0 + sum;
  sum = -0.3 * 1.0 + sum;
  EXPECT_EQ(output, Netforge::Tanh(nettest::Opaque((0.0 + (0.1 * 1.0 + 0.0)) + sum)));
}

TEST(TConnectedNetwork, ReadingConstructorsOnlySize) {
  TConnectedNetwork sized(2);
  EXPECT_EQ(sized.numLayers, 2);
  EXPECT_EQ(sized.layers[1], nullptr);
  TConnectedNetwork unsized;
  EXPECT_EQ(unsized.numLayers, 0);
  EXPECT_STREQ(unsized.GetNetworkType(), "Connected");
}

TEST(TConnectedNetwork, HandsOutAllArcsIterators) {
  TConnectedNetwork network(2, std::vector<int>{2, 1}.data());
  network.Connect(0, 1);
  std::unique_ptr<TInAllArcsIterator> it(network.NewInAllArcsIterator());
  ASSERT_NE(dynamic_cast<TConnInAllArcsIterator*>(it.get()), nullptr);
  it->Init(network.layers[1]->GetNeuron(0));
  int arcs = 0;
  while (it->Next()) ++arcs;
  EXPECT_EQ(arcs, 2);
}
