#include "NeuralNets/TBasicNetwork.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "NeuralNets/TMLPNetwork.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Common/PortableMath.h"
#include "NetworkTestSupport.h"
#include "Support/ConsoleRecorder.h"

using nettest::AllWeights;
using nettest::SimpleNetwork;

namespace {

double Sigmoid(double x) {
  return 1.0 / (1.0 + Netforge::Exp(nettest::Opaque(-x)));
}

// Every block sits at its own row and column and knows it.
void ExpectBlocksNumbered(TBasicNetwork& network) {
  ASSERT_EQ(network.priv_conns.size(), static_cast<std::size_t>(network.numLayers * network.numLayers));
  for (int to = 0; to < network.numLayers; ++to) {
    EXPECT_EQ(network.priv_conns_index[to], network.priv_conns.data() + to * network.numLayers);
    for (int from = 0; from < network.numLayers; ++from) {
      EXPECT_EQ(network.priv_conns_index[to][from]->fromLayer, from);
      EXPECT_EQ(network.priv_conns_index[to][from]->toLayer, to);
    }
  }
  for (int k = 0; k < network.numLayers; ++k) {
    EXPECT_EQ(network.layers[k]->layerNum, k);
    for (int i = 0; i < network.layers[k]->numNeurons; ++i) EXPECT_EQ(network.layers[k]->GetNeuron(i)->layerNum, k);
  }
}

}  // namespace

TEST(TBasicNetwork, SizedNetworkHoldsEmptyBlocksAndTheRegistry) {
  TBasicNetwork network(3);
  EXPECT_EQ(network.numLayers, 3);
  EXPECT_EQ(network.inLayer, 1);
  EXPECT_EQ(network.outLayer, 2);
  ASSERT_EQ(network.layers.size(), 3u);
  EXPECT_EQ(network.layers[0], nullptr);
  ASSERT_EQ(network.priv_conns.size(), 9u);
  for (TBasicConnections* block : network.priv_conns) EXPECT_STREQ(block->GetConnectionsNType(), "Empty");
  ASSERT_NE(network.fnRegistry, nullptr);
  EXPECT_EQ(network.fnRegistry->count, 10);
  EXPECT_STREQ(network.GetNetworkType(), "Basic");
  // A partly filled network may be destroyed (a reader that gives up does so).
  network.SetLayer(0, new TSimpleLayer(&network, 0, 2));
}

TEST(TBasicNetwork, WeightCountsAndBlockOrder) {
  auto network = SimpleNetwork({1, 2, 2, 1});
  EXPECT_EQ(network->GetNumWeights(1), 0);
  EXPECT_EQ(network->GetNumWeights(0), 0);
  network->Connect(2, 3);
  network->Connect(1, 2);
  network->Connect(0, 2);
  EXPECT_EQ(network->GetNumWeights(1), 2 + 4 + 2);
  network->priv_conns_index[2][0]->Weight(0, 0) = 1;
  network->priv_conns_index[2][0]->Weight(0, 1) = 2;
  network->priv_conns_index[2][1]->SetWeights(std::vector<double>{3, 4, 5, 6}.data(), 1);
  network->priv_conns_index[3][2]->SetWeights(std::vector<double>{7, 8}.data(), 1);
  EXPECT_EQ(AllWeights(*network), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));

  network->priv_conns_index[2][1]->SetUnTrainable(1, 0);
  EXPECT_EQ(network->GetNumWeights(0), 7);
  EXPECT_EQ(AllWeights(*network, 0), (std::vector<double>{1, 2, 3, 5, 6, 7, 8}));
  const std::vector<double> in = {-1, -2, -3, -4, -5, -6, -7};
  EXPECT_EQ(network->SetWeights(in.data(), 0), 7);
  EXPECT_EQ(AllWeights(*network), (std::vector<double>{-1, -2, -3, 4, -4, -5, -6, -7}));
}

TEST(TBasicNetwork, ConnectKeepsAnExistingBlockAndDisconnectReplaces) {
  auto network = SimpleNetwork({1, 2, 2});
  network->Connect(1, 2);
  TBasicConnections* block = network->priv_conns_index[2][1];
  block->Weight(1, 1) = 3.5;
  network->Connect(1, 2);
  EXPECT_EQ(network->priv_conns_index[2][1], block);
  EXPECT_EQ(block->Weight(1, 1), 3.5);
  EXPECT_STREQ(block->GetConnectionsNType(), "Pruneable");

  network->Disconnect(2, 0);
  EXPECT_STREQ(network->priv_conns_index[0][2]->GetConnectionsNType(), "Empty");
  EXPECT_EQ(network->priv_conns_index[0][2]->fromLayer, 2);
  network->Disconnect(1, 2);
  EXPECT_FALSE(network->priv_conns_index[2][1]->IsConnected());
}

TEST(TBasicNetwork, RandomizeRunsInBlockOrder) {
  auto network = SimpleNetwork({1, 2, 2, 1});
  network->Connect(2, 3);
  network->Connect(1, 2);
  network->Connect(0, 3);
  network->Connect(0, 2);
  const std::vector<double> expected = nettest::ExpectedRandomWeights(1234, 9, -0.5, 0.5);
  std::srand(1234);
  network->Randomize(-0.5, 0.5);
  // (0->2), (0->3), (1->2), (2->3).
  EXPECT_EQ(AllWeights(*network), expected);
  EXPECT_EQ(network->priv_conns_index[3][0]->Weight(0, 0), expected[2]);
}

TEST(TBasicNetwork, RecallMatchesAHandComputation) {
  TMLPNetwork network(2, std::vector<int>{2, 2}.data(), true);
  TBasicConnections* bias = network.priv_conns_index[2][0];
  TBasicConnections* in = network.priv_conns_index[2][1];
  bias->Weight(0, 0) = 0.25;
  bias->Weight(0, 1) = -0.75;
  in->Weight(0, 0) = 0.5;
  in->Weight(1, 0) = -1.25;
  in->Weight(0, 1) = 2.0;
  in->Weight(1, 1) = 0.125;
  const double input[] = {0.3, -0.7};
  double output[2] = {0, 0};
  TestSupport::ConsoleRecorder console;
  network.Recall(input, output);
  EXPECT_EQ(console.TakeError(), "");

  for (int t = 0; t < 2; ++t) {
    double net = 0.0;
    net += 0.0 + bias->Weight(0, t) * 1.0;  // bias block first (lower layer)
    double sum = 0.0;
    sum = in->Weight(0, t) * input[0] + sum;
    sum = in->Weight(1, t) * input[1] + sum;
    net += sum;
    EXPECT_EQ(output[t], Sigmoid(net));
  }
  EXPECT_EQ(network.layers[0]->outputs[0], 1.0);
  EXPECT_EQ(network.layers[1]->outputs[1], -0.7);
}

TEST(TBasicNetwork, RecallWithoutBiasAndWithBlocksPointingDown) {
  TMLPNetwork network(3, std::vector<int>{2, 2, 1}.data(), false);
  std::srand(99);
  network.Randomize(-1.0, 1.0);
  const double input[] = {0.9, 0.1};
  double before = 0.0;
  network.Recall(input, &before);

  TBasicConnections* in = network.priv_conns_index[2][1];
  TBasicConnections* out = network.priv_conns_index[3][2];
  double hidden[2];
  for (int t = 0; t < 2; ++t) {
    double sum = 0.0;
    sum = in->Weight(0, t) * input[0] + sum;
    sum = in->Weight(1, t) * input[1] + sum;
    hidden[t] = Sigmoid(0.0 + sum);
  }
  double sum = 0.0;
  sum = out->Weight(0, 0) * hidden[0] + sum;
  sum = out->Weight(1, 0) * hidden[1] + sum;
  EXPECT_EQ(before, Sigmoid(0.0 + sum));

  // Blocks from a layer into itself or into a lower layer take no part.
  network.Connect(3, 2);
  network.Connect(2, 2);
  network.Connect(3, 1);
  network.priv_conns_index[2][3]->Randomize(5.0, 6.0);
  network.priv_conns_index[2][2]->Randomize(5.0, 6.0);
  network.priv_conns_index[1][3]->Randomize(5.0, 6.0);
  double after = 0.0;
  network.Recall(input, &after);
  EXPECT_EQ(after, before);
}

TEST(TBasicNetwork, GetNeuronNumbersNeuronsLayerByLayer) {
  auto network = SimpleNetwork({1, 2, 3});
  EXPECT_EQ(network->GetNumNeurons(), 6);
  EXPECT_EQ(network->GetNeuron(0), network->layers[0]->GetNeuron(0));
  EXPECT_EQ(network->GetNeuron(1), network->layers[1]->GetNeuron(0));
  EXPECT_EQ(network->GetNeuron(2), network->layers[1]->GetNeuron(1));
  EXPECT_EQ(network->GetNeuron(3), network->layers[2]->GetNeuron(0));
  EXPECT_EQ(network->GetNeuron(5), network->layers[2]->GetNeuron(2));
  auto gappy = SimpleNetwork({2, 0, 1});
  EXPECT_EQ(gappy->GetNeuron(2), gappy->layers[2]->GetNeuron(0));
}

TEST(TBasicNetworkDeathTest, QueriesAndEditsCheckTheirArguments) {
  auto network = SimpleNetwork({1, 2, 3, 1});
  EXPECT_DEATH(network->GetNeuron(7), "Assertion failed: index<GetNumNeurons\\(\\), file NeuralNets/TBasicNetwork.cpp");
  EXPECT_DEATH(network->GetNeuron(-1), "Assertion failed: index>=0");
  EXPECT_DEATH(network->RemoveLayer(network->inLayer), "Assertion failed: LayerNum!=inLayer");
  EXPECT_DEATH(network->RemoveLayer(4), "Assertion failed: LayerNum<numLayers");
  EXPECT_DEATH(network->RemoveNode(network->outLayer, 0), "Assertion failed: LayerNum!=outLayer");
  EXPECT_DEATH(network->InsertNode(2, 8, 0, 1, true), "Assertion failed: node<=GetNumNeurons\\(\\)");
  EXPECT_DEATH(network->InsertNode(2, 4, 0, 1, true), "Assertion failed: index<=numNeurons");
  EXPECT_DEATH(network->RemoveNode(-1, 0), "Assertion failed: LayerNum>=0");
  EXPECT_DEATH(network->InsertLayer(5, nullptr), "Assertion failed: LayerNum<=numLayers");
  EXPECT_DEATH(network->NewInAllArcsIterator(), "Assertion failed: false");
  EXPECT_DEATH(network->Reserved1(), "Assertion failed: false");
  EXPECT_DEATH(network->Reserved3(), "Assertion failed: false");
  EXPECT_DEATH(network->Connect(0, 4), "Assertion failed: toLayer<numLayers");
  EXPECT_DEATH(TBasicNetwork(-1), "Assertion failed: n_layers>=0");
}

TEST(TBasicNetwork, InsertNodeAndRemoveNodeResizeEveryBlockOfTheLayer) {
  auto network = SimpleNetwork({1, 2, 3, 1});
  network->Connect(1, 2);
  network->Connect(2, 3);
  network->Connect(0, 2);
  network->InsertNode(2, 3, 0.5, 0.5, true);
  EXPECT_EQ(network->layers[2]->numNeurons, 4);
  EXPECT_EQ(network->GetNumWeights(1), 4 * 2 + 4 * 1 + 4);
  EXPECT_EQ(network->priv_conns_index[3][2]->Weight(3, 0), 0.5);
  EXPECT_EQ(network->layers[2]->GetNeuron(3)->index, 3);
  network->RemoveNode(2, 0);
  network->RemoveNode(2, 0);
  EXPECT_EQ(network->layers[2]->numNeurons, 2);
  EXPECT_EQ(network->GetNumWeights(1), 2 * 2 + 2 + 2);
  ExpectBlocksNumbered(*network);
}

TEST(TBasicNetwork, PruneNodesRemovesADeadChainInOneCall) {
  // Layers: 0 bias, 1 input, 2 first hidden, 3 second hidden, 4 output.
  auto network = SimpleNetwork({1, 2, 2, 2, 1}, SigmoidFunction);
  network->Connect(1, 2);
  network->Connect(2, 3);
  network->Connect(3, 4);
  // Neuron 1 of layer 3 feeds nothing; neuron 0 of layer 2 feeds only it.
  TBasicConnections* out = network->priv_conns_index[4][3];
  out->PruneConnection(1, 0);
  TBasicConnections* mid = network->priv_conns_index[3][2];
  mid->PruneConnection(0, 0);
  // Layer 0 is examined too; it feeds layer 2, so only the chain is dead.
  network->Connect(0, 2);
  EXPECT_EQ(network->PruneNodes(), 2);
  EXPECT_EQ(network->layers[3]->numNeurons, 1);
  EXPECT_EQ(network->layers[2]->numNeurons, 1);
  EXPECT_EQ(network->layers[0]->numNeurons, 1);
  EXPECT_EQ(network->GetNumWeights(1), 2 + 1 + 1 + 1);
  EXPECT_EQ(network->PruneNodes(), 0);
}

TEST(TBasicNetwork, InsertLayerRenumbersLayersBlocksAndEnds) {
  auto network = SimpleNetwork({1, 2, 3, 1});
  network->Connect(1, 2);
  network->Connect(2, 3);
  network->Connect(0, 3);
  TBasicConnections* top = network->priv_conns_index[3][2];
  TBasicConnections* bias = network->priv_conns_index[3][0];
  TBasicLayer* output = network->layers[3];

  auto* fresh = new TSimpleLayer(network.get(), 99, 4);
  network->InsertLayer(network->outLayer, fresh);
  EXPECT_EQ(network->numLayers, 5);
  EXPECT_EQ(network->inLayer, 1);
  EXPECT_EQ(network->outLayer, 4);
  EXPECT_EQ(network->layers[3], fresh);
  EXPECT_EQ(network->layers[4], output);
  EXPECT_EQ(network->priv_conns_index[4][2], top);
  EXPECT_EQ(network->priv_conns_index[4][0], bias);
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(network->priv_conns_index[3][i]->IsConnected());
    EXPECT_FALSE(network->priv_conns_index[i][3]->IsConnected());
  }
  ExpectBlocksNumbered(*network);

  auto* first = new TSimpleLayer(network.get(), 0, 1);
  network->InsertLayer(0, first);
  EXPECT_EQ(network->inLayer, 2);
  EXPECT_EQ(network->outLayer, 5);
  EXPECT_EQ(network->priv_conns_index[5][3], top);
  ExpectBlocksNumbered(*network);

  network->RemoveLayer(0);
  network->RemoveLayer(3);
  EXPECT_EQ(network->numLayers, 4);
  EXPECT_EQ(network->inLayer, 1);
  EXPECT_EQ(network->outLayer, 3);
  EXPECT_EQ(network->priv_conns_index[3][2], top);
  EXPECT_EQ(network->priv_conns_index[3][0], bias);
  EXPECT_EQ(network->layers[3], output);
  ExpectBlocksNumbered(*network);

  // Removing a connected hidden layer destroys its blocks.
  network->RemoveLayer(2);
  EXPECT_EQ(network->numLayers, 3);
  EXPECT_EQ(network->outLayer, 2);
  EXPECT_EQ(network->GetNumWeights(1), 1);
  ExpectBlocksNumbered(*network);
}

TEST(TBasicNetwork, CopiesRecallTheSameAndStayIndependent) {
  TMLPNetwork source(3, std::vector<int>{3, 4, 2}.data(), true);
  std::srand(7);
  source.Randomize(-1.0, 1.0);
  source.layers[2]->GetNeuron(1)->SetActivationFunction(TanhFunction);
  TBasicNetwork copy(source);
  EXPECT_STREQ(copy.GetNetworkType(), "Basic");
  EXPECT_EQ(copy.numLayers, 4);
  EXPECT_EQ(copy.inLayer, 1);
  EXPECT_EQ(copy.outLayer, 3);
  EXPECT_NE(copy.fnRegistry.get(), source.fnRegistry.get());
  EXPECT_EQ(AllWeights(copy), AllWeights(source));
  ExpectBlocksNumbered(copy);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(copy.layers[k]->network, &copy);

  const double input[] = {0.2, -0.4, 0.8};
  double a[2], b[2];
  source.Recall(input, a);
  copy.Recall(input, b);
  EXPECT_EQ(a[0], b[0]);
  EXPECT_EQ(a[1], b[1]);

  copy.priv_conns_index[2][1]->Weight(0, 0) += 1.0;
  copy.Recall(input, b);
  double again[2];
  source.Recall(input, again);
  EXPECT_EQ(again[0], a[0]);
  EXPECT_NE(b[0], a[0]);

  TBasicNetwork assigned(2);
  assigned = source;
  EXPECT_EQ(AllWeights(assigned), AllWeights(source));
  assigned.Recall(input, b);
  EXPECT_EQ(b[1], a[1]);
  TBasicNetwork& alias = assigned;
  assigned = alias;
  EXPECT_EQ(assigned.numLayers, 4);
}

TEST(TBasicNetwork, SetLayerAndInstallConnectionsForBuilders) {
  TBasicNetwork network(2);
  network.SetLayer(0, new TSimpleLayer(&network, 5, 2));
  EXPECT_EQ(network.layers[0]->layerNum, 0);
  network.SetLayer(1, new TSimpleLayer(&network, 1, 1));
  network.SetLayer(1, new TGainLayer(&network, 1, 3, 1.0));  // replaces and destroys
  EXPECT_STREQ(network.layers[1]->GetTypeName(), "Gain");
  auto* block = new TPrunedConnections(&network, 0, 1);
  block->PruneConnection(1, 2);
  network.InstallConnections(block);
  EXPECT_EQ(network.priv_conns_index[1][0], block);
  EXPECT_EQ(network.GetNumWeights(1), 5);
  network.InstallConnections(new TEmptyConnections(&network, 0, 1));
  EXPECT_EQ(network.GetNumWeights(1), 0);
}

TEST(TBasicNetwork, OversizedNetworksFailCleanly) {
  EXPECT_THROW(TBasicNetwork(TBasicNetwork::MaxLayers + 1), std::length_error);
}

namespace {

// An unconnected block whose neuron insertion fails as an allocation would.
class TFailingBlock : public TEmptyConnections {
 public:
  TFailingBlock(TBasicNetwork* network, int fromLayer, int toLayer)
      : TBasicConnections(network, fromLayer, toLayer), TEmptyConnections(network, fromLayer, toLayer) {}
  void InsertToNode(int, double, double, bool) override { throw std::bad_alloc(); }
};

}  // namespace

TEST(TBasicNetwork, FailedInsertNodeLeavesTheNetworkAsItWas) {
  auto network = SimpleNetwork({1, 2, 2, 1});
  network->Connect(0, 2);
  network->Connect(2, 3);
  network->priv_conns_index[2][0]->Weight(0, 1) = 0.75;
  network->priv_conns_index[3][2]->Weight(1, 0) = -0.5;
  // (0 -> 2) grows before (1 -> 2) fails; (2 -> 3) would come after.
  network->InstallConnections(new TFailingBlock(network.get(), 1, 2));
  const std::vector<double> before = AllWeights(*network);
  EXPECT_THROW(network->InsertNode(2, 0, -1.0, 1.0, true), std::bad_alloc);
  EXPECT_EQ(network->layers[2]->numNeurons, 2);
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 4);
  EXPECT_EQ(AllWeights(*network), before);
  EXPECT_EQ(network->priv_conns_index[2][0]->Weight(0, 1), 0.75);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(network->layers[2]->GetNeuron(i)->index, i);
  // Still usable afterwards.
  network->Disconnect(1, 2);
  network->InsertNode(2, 2, 0.5, 0.5, true);
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 6);
}

// The empty blocks a network is sized with are made all at once and freed
// with the network; every edit that replaces, moves, copies or drops them
// works as with blocks made one by one (the sanitizers check the freeing).
TEST(TBasicNetwork, EmptyBlocksOfTheSizedNetworkSurviveEveryEdit) {
  auto network = SimpleNetwork({2, 3, 1, 2});
  network->Connect(0, 1);
  network->Disconnect(0, 1);  // a new empty block replaces the weight-carrying one
  network->Disconnect(2, 3);  // an empty block of the sized network is replaced
  network->Connect(1, 2);
  network->Connect(3, 3);
  network->InsertLayer(2, new TSimpleLayer(network.get(), 2, 4));
  network->InsertLayer(5, new TSimpleLayer(network.get(), 5, 1));
  network->outLayer = 5;
  network->RemoveLayer(3);  // drops blocks of both kinds
  ExpectBlocksNumbered(*network);
  EXPECT_FALSE(network->priv_conns_index[1][0]->IsConnected());
  EXPECT_TRUE(network->priv_conns_index[3][3]->IsConnected());  // the block of old layer 3 with itself
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 4);

  TBasicNetwork copy(*network);
  ExpectBlocksNumbered(copy);
  copy = *network;  // the copy's own earlier blocks go
  ExpectBlocksNumbered(copy);
  for (int to = 0; to < copy.numLayers; ++to) {
    for (int from = 0; from < copy.numLayers; ++from) {
      TBasicConnections* block = copy.priv_conns_index[to][from];
      EXPECT_NE(block, network->priv_conns_index[to][from]);
      EXPECT_EQ(block->network, &copy);
      EXPECT_EQ(block->IsConnected(), network->priv_conns_index[to][from]->IsConnected());
    }
  }
  // An empty block cloned on its own is the caller's, as before.
  std::unique_ptr<TBasicConnections> clone(copy.priv_conns_index[0][0]->Clone(&copy));
  EXPECT_STREQ(clone->GetConnectionsNType(), "Empty");
}
