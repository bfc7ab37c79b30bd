#include "NeuralNets/TMLPNetwork.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "NetworkTestSupport.h"

using nettest::AllWeights;

namespace {

const char* FunctionName(TBasicNetwork& network, int layer) {
  return network.fnRegistry->GetFunctionName(network.layers[layer]->GetActivationFunction());
}

std::vector<std::pair<int, int>> ConnectedPairs(TBasicNetwork& network) {
  std::vector<std::pair<int, int>> pairs;
  for (int from = 0; from < network.numLayers; ++from) {
    for (int to = 0; to < network.numLayers; ++to) {
      if (network.priv_conns_index[to][from]->IsConnected()) pairs.emplace_back(from, to);
    }
  }
  return pairs;
}

}  // namespace

TEST(TMLPNetwork, TopologyWithBias) {
  TMLPNetwork network(3, std::vector<int>{2, 3, 1}.data(), true);
  EXPECT_TRUE(network.bias);
  EXPECT_STREQ(network.GetNetworkType(), "MLP");
  ASSERT_EQ(network.numLayers, 4);
  EXPECT_EQ(network.inLayer, 1);
  EXPECT_EQ(network.outLayer, 3);
  const int sizes[] = {1, 2, 3, 1};
  const char* types[] = {"Simple", "Input", "Gain", "Gain"};
  const char* functions[] = {"bias", "linear", "sigmoid", "sigmoid"};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(network.layers[k]->numNeurons, sizes[k]);
    EXPECT_STREQ(network.layers[k]->GetTypeName(), types[k]);
    EXPECT_STREQ(FunctionName(network, k), functions[k]);
  }
  EXPECT_EQ(static_cast<TGainLayer*>(network.layers[2])->nodes[2].gain, 1.0);
  EXPECT_EQ(ConnectedPairs(network), (std::vector<std::pair<int, int>>{{0, 2}, {0, 3}, {1, 2}, {2, 3}}));
  for (auto [from, to] : ConnectedPairs(network)) {
    EXPECT_STREQ(network.priv_conns_index[to][from]->GetConnectionsNType(), "Pruneable");
  }
  EXPECT_EQ(network.GetNumWeights(1), 13);
  EXPECT_EQ(network.GetNumWeights(0), 13);
  EXPECT_EQ(network.GetNumNeurons(), 7);
  for (double w : AllWeights(network)) EXPECT_EQ(w, 0.0);
}

TEST(TMLPNetwork, TopologyWithoutBias) {
  TMLPNetwork network(3, std::vector<int>{2, 3, 1}.data(), false);
  EXPECT_FALSE(network.bias);
  EXPECT_EQ(network.layers[0]->numNeurons, 0);
  EXPECT_STREQ(FunctionName(network, 0), "null");
  EXPECT_EQ(network.GetNumWeights(1), 9);
  EXPECT_EQ(ConnectedPairs(network), (std::vector<std::pair<int, int>>{{1, 2}, {2, 3}}));
}

TEST(TMLPNetwork, SeededWeightsComeInBlockOrderTargetMajor) {
  TMLPNetwork network(3, std::vector<int>{2, 3, 1}.data(), true);
  const std::vector<double> r = nettest::ExpectedRandomWeights(2024, 13, -0.5, 0.5);
  std::srand(2024);
  network.Randomize(-0.5, 0.5);
  EXPECT_EQ(AllWeights(network), r);

  // The same sequence placed by hand: (0->2), (0->3), (1->2), (2->3).
  std::size_t i = 0;
  for (int t = 0; t < 3; ++t) EXPECT_EQ(network.priv_conns_index[2][0]->Weight(0, t), r[i++]);
  EXPECT_EQ(network.priv_conns_index[3][0]->Weight(0, 0), r[i++]);
  for (int t = 0; t < 3; ++t) {
    for (int f = 0; f < 2; ++f) EXPECT_EQ(network.priv_conns_index[2][1]->Weight(f, t), r[i++]);
  }
  for (int f = 0; f < 3; ++f) EXPECT_EQ(network.priv_conns_index[3][2]->Weight(f, 0), r[i++]);
  EXPECT_EQ(i, 13u);
  for (double w : r) {
    EXPECT_GE(w, -0.5);
    EXPECT_LT(w, 0.5);
  }

  // The same seed gives the same network again.
  TMLPNetwork twin(3, std::vector<int>{2, 3, 1}.data(), true);
  std::srand(2024);
  twin.Randomize(-0.5, 0.5);
  EXPECT_EQ(AllWeights(twin), r);
}

TEST(TMLPNetwork, SingleLayerRecallsItsInput) {
  TMLPNetwork network(1, std::vector<int>{4}.data(), false);
  EXPECT_EQ(network.numLayers, 2);
  EXPECT_EQ(network.inLayer, 1);
  EXPECT_EQ(network.outLayer, 1);
  EXPECT_EQ(network.GetNumWeights(1), 0);
  const double input[] = {0.1, 0.2, 0.3, 0.4};
  double output[4];
  network.Recall(input, output);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(output[i], input[i]);
}

TEST(TMLPNetwork, UnrandomisedNetworkOutputsOneHalf) {
  TMLPNetwork network(3, std::vector<int>{2, 3, 2}.data(), true);
  const double input[] = {4.0, -9.0};
  double output[2];
  network.Recall(input, output);
  EXPECT_EQ(output[0], 0.5);
  EXPECT_EQ(output[1], 0.5);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(network.layers[2]->outputs[i], 0.5);
}

TEST(TMLPNetwork, ReadingConstructorOnlySizes) {
  TMLPNetwork network(2, true);
  EXPECT_TRUE(network.bias);
  EXPECT_EQ(network.numLayers, 3);
  EXPECT_EQ(network.inLayer, 1);
  EXPECT_EQ(network.outLayer, 2);
  for (TBasicLayer* layer : network.layers) EXPECT_EQ(layer, nullptr);
  EXPECT_EQ(network.GetNumWeights(1), 0);
  network.SetLayer(1, new TSimpleInputLayer(&network, 1, 2));
}

TEST(TMLPNetwork, OversizedRequestsFailCleanly) {
  EXPECT_THROW(TMLPNetwork(TBasicNetwork::MaxLayers, false), std::length_error);
  EXPECT_THROW(TMLPNetwork(2, std::vector<int>{70000, 70000}.data(), false), std::length_error);
}
