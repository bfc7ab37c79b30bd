// What a picture shows of a network: layers, neurons with their labels,
// connections, blocks and their figures, and the choice of view.
#include "Drawing/NetworkPicture.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "Drawing/DrawingTestNetworks.h"

namespace {

using Netforge::DescribeNetwork;
using Netforge::NetworkPicture;
using Netforge::PictureOptions;
using Netforge::PictureView;

TEST(NetworkPicture, SparseExampleInTheNeuronView) {
  auto network = drawtest::LoadExample("sparse.wgt");
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  ASSERT_TRUE(picture.neuronView);
  EXPECT_EQ(picture.networkType, "Basic");
  EXPECT_EQ(picture.neuronCount, 11);
  EXPECT_EQ(picture.neurons.size(), 11u);
  EXPECT_EQ(picture.existingConnections, 9);
  EXPECT_EQ(picture.connections.size(), 9u);
  EXPECT_EQ(picture.possibleConnections, 4 * 5 + 4 * 2 + 5 * 2);
  EXPECT_EQ(picture.frozenConnections, 4);
  EXPECT_EQ(picture.largestMagnitude, 2.0);
  EXPECT_EQ(Netforge::TitleLine(picture), "Basic network: 3 layers, 11 neurons, 9 of 38 possible connections, 4 frozen");

  ASSERT_EQ(picture.layers.size(), 3u);
  EXPECT_TRUE(picture.layers[0].input);
  EXPECT_EQ(picture.layers[0].function, "linear");
  EXPECT_EQ(picture.layers[1].function, "") << "five different functions: none is the layer's";
  EXPECT_EQ(picture.layers[2].function, "sigmoid");
  EXPECT_TRUE(picture.layers[2].output);
  for (const auto& layer : picture.layers) EXPECT_FALSE(layer.bias);
  // Only the neurons of the mixed layer carry their own function.
  for (const auto& neuron : picture.neurons) EXPECT_EQ(neuron.function.empty(), neuron.layer != 1);
  EXPECT_EQ(picture.neurons[4].function, "tanh-gain");

  ASSERT_EQ(picture.blocks.size(), 3u);
  const Netforge::PictureBlock& first = picture.blocks[0];
  EXPECT_EQ(first.fromLayer, 0);
  EXPECT_EQ(first.toLayer, 1);
  EXPECT_EQ(first.existing, 5);
  EXPECT_EQ(first.possible, 20);
  EXPECT_EQ(first.frozen, 2);
  EXPECT_EQ(first.minWeight, -1.5);
  EXPECT_EQ(first.maxWeight, 2.0);
  EXPECT_EQ(picture.blocks[1].toLayer, 2) << "blocks in block order: source outer";
  EXPECT_EQ(Netforge::BlockSummary(first),
            (std::vector<std::string>{"layer 0 to 1: 4 x 5", "5 of 20 (25 %)", "weights -1.5 to 2", "2 frozen"}));
}

TEST(NetworkPicture, FrozenConnectionsKeepTheirWeights) {
  auto network = drawtest::LoadExample("sparse.wgt");
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  int frozen = 0;
  for (const auto& c : picture.connections) {
    if (c.fromLayer == 0 && c.fromNeuron == 3 && c.toLayer == 1 && c.toNeuron == 0) {
      EXPECT_EQ(c.weight, -1.5);
      EXPECT_TRUE(c.frozen);
    }
    frozen += c.frozen ? 1 : 0;
  }
  EXPECT_EQ(frozen, 4);
}

TEST(NetworkPicture, BiasLayerOfAPerceptron) {
  auto network = drawtest::LoadExample("xor.wgt");
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  EXPECT_TRUE(picture.layers[0].bias);
  EXPECT_FALSE(picture.layers[1].bias);
  EXPECT_EQ(Netforge::LayerRole(picture.layers[0]), "bias");
  EXPECT_EQ(Netforge::LayerRole(picture.layers[1]), "input, linear");
  EXPECT_EQ(Netforge::LayerRole(picture.layers[2]), "hidden, sigmoid");
  EXPECT_EQ(Netforge::LayerKind(picture.layers[3]), "Gain, 1 neuron");
  for (const auto& layer : picture.layers) EXPECT_TRUE(layer.drawn);
}

TEST(NetworkPicture, EmptyLayerOfAPerceptronWithoutBiasIsNotDrawn) {
  auto network = drawtest::Mlp({2, 3, 1}, false);
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  ASSERT_EQ(picture.layers.size(), 4u);
  EXPECT_FALSE(picture.layers[0].drawn);
  EXPECT_FALSE(picture.layers[0].bias);
  EXPECT_TRUE(picture.layers[1].drawn);
}

TEST(NetworkPicture, MajorityFunctionIsTheLayers) {
  auto network = drawtest::Mlp({2, 4, 1});
  TBasicLayer* hidden = network->layers[2];
  hidden->GetNeuron(3)->SetActivationFunction(TanhGainFunction);
  NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  EXPECT_EQ(picture.layers[2].function, "sigmoid") << "three of four neurons";
  EXPECT_EQ(picture.neurons[1 + 2 + 3].function, "tanh-gain");
  hidden->GetNeuron(2)->SetActivationFunction(TanhGainFunction);
  picture = DescribeNetwork(*network, PictureOptions{});
  EXPECT_EQ(picture.layers[2].function, "") << "two of four is no majority";
  EXPECT_EQ(Netforge::LayerRole(picture.layers[2]), "hidden, mixed functions");
}

TEST(NetworkPicture, ViewFollowsTheLimits) {
  struct Case {
    PictureView view;
    long maxConnections;
    long maxNeurons;
    bool neuronView;
  };
  // 2-3-1 with bias: 6 + 3 + 3 + 1 = 13 connections, 7 neurons.
  const Case cases[] = {
      {PictureView::kAuto, 13, 7, true},     {PictureView::kAuto, 12, 7, false},
      {PictureView::kAuto, 13, 6, false},    {PictureView::kLayers, 2000, 400, false},
      {PictureView::kNeurons, 0, 0, true},
  };
  auto network = drawtest::Mlp({2, 3, 1});
  for (const Case& c : cases) {
    PictureOptions options;
    options.view = c.view;
    options.maxConnections = c.maxConnections;
    options.maxNeurons = c.maxNeurons;
    const NetworkPicture picture = DescribeNetwork(*network, options);
    EXPECT_EQ(picture.neuronView, c.neuronView) << c.maxConnections << " " << c.maxNeurons;
    EXPECT_EQ(picture.existingConnections, 13);
    EXPECT_EQ(picture.connections.size(), c.neuronView ? 13u : 0u);
    EXPECT_EQ(picture.neurons.size(), c.neuronView ? 7u : 0u);
    EXPECT_EQ(picture.blocks.size(), 4u);
  }
}

TEST(NetworkPicture, PrunedConnectionsAreAbsentAndCounted) {
  auto network = drawtest::Mlp({3, 2});
  TBasicConnections* block = network->priv_conns_index[2][1];
  block->PruneConnection(0, 0);
  block->PruneConnection(2, 1);
  block->SetUnTrainable(1, 1);
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  EXPECT_EQ(picture.existingConnections, 2 + 4);
  EXPECT_EQ(picture.possibleConnections, 2 + 6);
  EXPECT_EQ(picture.frozenConnections, 1);
  EXPECT_EQ(picture.blocks[1].existing, 4);
  EXPECT_EQ(Netforge::BlockSummary(picture.blocks[1])[1], "4 of 6 (66.7 %)");
}

TEST(NetworkPicture, NonFiniteWeights) {
  auto network = drawtest::Mlp({2, 1});
  TBasicConnections* block = network->priv_conns_index[2][1];
  block->Weight(0, 0) = std::numeric_limits<double>::quiet_NaN();
  block->Weight(1, 0) = -std::numeric_limits<double>::infinity();
  network->priv_conns_index[2][0]->Weight(0, 0) = 0.25;
  const NetworkPicture picture = DescribeNetwork(*network, PictureOptions{});
  EXPECT_EQ(picture.largestMagnitude, 0.25) << "only finite weights set the scale";
  EXPECT_EQ(picture.blocks[1].minWeight, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(picture.blocks[1].maxWeight, -std::numeric_limits<double>::infinity()) << "NaN takes no part";
}

TEST(NetworkPicture, CountsAreGroupedInThrees) {
  const std::pair<long, const char*> cases[] = {{0, "0"},          {9999, "9999"},       {10000, "10 000"},
                                                {2002000, "2 002 000"}, {-123456, "-123 456"}, {100000, "100 000"}};
  for (const auto& [n, text] : cases) EXPECT_EQ(Netforge::Count(n), text);
}

}  // namespace
