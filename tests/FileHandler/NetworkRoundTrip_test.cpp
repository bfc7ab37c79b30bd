// Networks that are cheap to describe but large in the model read back: a
// deep, narrow network (the deepest the generator makes) and a large block
// with few connections. Write, read, write again gives the same bytes, and
// CanWriteNetwork agrees with the writer.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Support/TestFiles.h"

namespace {

using NetworkPtr = std::unique_ptr<TBasicNetwork>;

std::string Written(TBasicNetwork& network) {
  std::ostringstream out;
  FileTools().WriteNetwork(out, &network, nullptr);
  return out.str();
}

// The network of |text|, or null with the reader's message in |error|.
NetworkPtr Read(const std::string& text, std::string& error) {
  std::istringstream in(text);
  try {
    return NetworkPtr(FileTools().ReadNetwork(in, nullptr));
  } catch (const FileTools::Error& e) {
    error = e.message;
    return nullptr;
  }
}

// |network| written, read back and written again: both texts must be equal.
void ExpectRoundTrip(TBasicNetwork& network) {
  const std::string first = Written(network);
  std::string error;
  const NetworkPtr reread = Read(first, error);
  ASSERT_NE(reread, nullptr) << error;
  EXPECT_EQ(reread->numLayers, network.numLayers);
  EXPECT_EQ(reread->GetNumWeights(FMaskExists), network.GetNumWeights(FMaskExists));
  EXPECT_TRUE(Written(*reread) == first);  // not EXPECT_EQ: megabytes of text
}

}  // namespace

// 4096 layers of one neuron and the bias layer: about 17 million pairs of
// layers, all but 8191 of them empty, in a file of 2.5 MB.
TEST(FileTools, DeepestGeneratedNetworkReadsBack) {
  if (TestSupport::UnderValgrind()) GTEST_SKIP() << "17 million empty blocks take minutes under Valgrind";
  const std::vector<int> sizes(4096, 1);
  TMLPNetwork network(4096, sizes.data(), true);
  network.Randomize(-1.0, 1.0);
  ExpectRoundTrip(network);
}

// Two layers of 3000 neurons joined by a pruneable block of 300 connections,
// which the writer lists (a WeightList) in a file of a few kilobytes.
TEST(FileTools, LargeSparseBlockReadsBack) {
  TBasicNetwork network(2);
  network.SetLayer(0, new TSimpleInputLayer(&network, 0, 3000));
  network.SetLayer(1, new TSimpleLayer(&network, 1, 3000));
  network.inLayer = 0;
  network.layers[1]->SetActivationFunction(network.fnRegistry->GetFunction("sigmoid"));
  network.Connect(0, 1);
  TBasicConnections* block = network.priv_conns_index[1][0];
  for (int to = 0; to < 3000; ++to) {
    for (int from = 0; from < 3000; ++from) {
      if (from != (to * 7) % 3000 || to % 10 != 0) block->PruneConnection(from, to);
    }
  }
  for (int to = 0; to < 3000; to += 10) {
    block->Weight((to * 7) % 3000, to) = 0.001 * to;
    if (to % 20 == 0) block->SetUnTrainable((to * 7) % 3000, to);
  }
  ASSERT_EQ(network.GetNumWeights(FMaskExists), 300);
  EXPECT_LT(Written(network).size(), 32000u);
  ExpectRoundTrip(network);
}

// The writer refuses exactly the networks CanWriteNetwork names, with its
// message; the reader loads such a network ("bias" layers of any size).
TEST(FileTools, CanWriteNetworkAgreesWithTheWriter) {
  const std::string text =
      "[NeuralNetwork]\n[NetworkType = Basic]\n[NetworkInformation]\n[NumberOfLayers = 2]\n"
      "[InputLayer = 1]\n[BiasLayer = 0]\n[~NetworkInformation]\n"
      "[Layer = 0]\n[LayerType = Simple]\n[NumberOfNeurons = 3]\n[All ActivationFunction=bias ]\n[~Layer]\n"
      "[Layer = 1]\n[LayerType = Input]\n[NumberOfNeurons = 1]\n[All ActivationFunction=linear ]\n[~Layer]\n"
      "[~NeuralNetwork]\n";
  std::string error;
  const NetworkPtr network = Read(text, error);
  ASSERT_NE(network, nullptr) << error;
  FileTools tools;
  std::string reason = "unchanged";
  EXPECT_FALSE(tools.CanWriteNetwork(network.get(), &reason));
  EXPECT_EQ(reason, "Illegal number of bias nodes");
  EXPECT_FALSE(tools.CanWriteNetwork(network.get()));
  std::ostringstream out;
  try {
    tools.WriteNetwork(out, network.get(), nullptr);
    ADD_FAILURE() << "written";
  } catch (const FileTools::Error& e) {
    EXPECT_EQ(e.message, reason);
  }

  // One neuron, or none, with the bias function can be written.
  for (int neurons : {1, 0}) {
    TBasicNetwork fixed(2);
    fixed.SetLayer(0, new TSimpleLayer(&fixed, 0, neurons));
    fixed.SetLayer(1, new TSimpleInputLayer(&fixed, 1, 1));
    fixed.layers[0]->SetActivationFunction(fixed.fnRegistry->GetFunction("bias"));
    reason = "unchanged";
    EXPECT_TRUE(tools.CanWriteNetwork(&fixed, &reason)) << neurons;
    EXPECT_EQ(reason, "unchanged");
    ExpectRoundTrip(fixed);
  }
}
