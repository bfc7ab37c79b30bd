// The network file writer: WriteNetwork into string streams, SaveNetwork into
// real files.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::ReadAll;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string Blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

std::string WriteText(TBasicNetwork& network) {
  std::ostringstream out;
  FileTools tools;
  tools.WriteNetwork(out, &network, nullptr);
  return out.str();
}

// What WriteNetwork throws for |network|, with the text written before.
std::string WriteError(TBasicNetwork& network, std::string& written) {
  std::ostringstream out;
  FileTools tools;
  try {
    tools.WriteNetwork(out, &network, nullptr);
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.in, nullptr);
    EXPECT_EQ(error.out, &out);
    written = out.str();
    return error.message;
  }
  ADD_FAILURE() << "no error";
  return "";
}

std::unique_ptr<TMLPNetwork> Mlp(std::initializer_list<int> sizes, bool bias) {
  const std::vector<int> list(sizes);
  return std::make_unique<TMLPNetwork>(static_cast<int>(list.size()), list.data(), bias);
}

TBasicConnections& Block(TBasicNetwork& network, int from, int to) { return *network.priv_conns_index[to][from]; }

// The text of one layer block, from "[Layer = k]" to "[~Layer]".
std::string LayerBlock(const std::string& text, int k) {
  const std::string head = "[Layer = " + std::to_string(k) + "]\n";
  const std::size_t begin = text.find(head);
  if (begin == std::string::npos) return "(missing)";
  const std::size_t end = text.find("[~Layer]\n", begin);
  return text.substr(begin, end + 9 - begin);
}

// The text of the ConnectionLayer block of (from, to), without its frame
// lines up to and including the Attributes line.
std::string WeightsOf(const std::string& text, int from, int to) {
  const std::string head = "[LayerFrom = " + std::to_string(from) + "]\n[LayerTo = " + std::to_string(to) + "]\n";
  std::size_t begin = text.find(head);
  if (begin == std::string::npos) return "(missing)";
  begin = text.find("[Attributes", begin);
  begin = text.find('\n', begin) + 1;
  return text.substr(begin, text.find("[~ConnectionLayer]", begin) - begin);
}

// printf as the independent reference for the matrix form.
std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string MatrixHeader(int nTo, bool freezable) {
  std::string line = "/* To->";
  char text[64];
  for (int c = 0; c < nTo; ++c) {
    std::snprintf(text, sizeof text, "%*d", (c == 0 ? 13 : 21) + (freezable ? 2 : 0), c);
    line += text;
  }
  return line + "  From */";
}

// A matrix block of a fully present, trainable block whose weights are
// given target-major, as Randomize draws them.
std::string FullMatrix(const std::vector<double>& weights, int nFrom, int nTo) {
  std::string text = "[Matrix Weights TrainableInfo ]\n" + MatrixHeader(nTo, true) + "\n";
  for (int r = 0; r < nFrom; ++r) {
    for (int c = 0; c < nTo; ++c) text += Printf("%20.15g", weights[static_cast<std::size_t>(c * nFrom + r)]) + " T ";
    text += " /* " + std::to_string(r) + " */\n";
  }
  return text + "[~Matrix]\n";
}

// The network of the worked example: bias layer 0, input layer 1 of two
// neurons, output layer 2 of one gain neuron.
std::unique_ptr<TMLPNetwork> WorkedExample() {
  auto network = Mlp({2, 1}, true);
  Block(*network, 0, 2).Weight(0, 0) = 0.5;
  Block(*network, 1, 2).Weight(0, 0) = -1.25;
  Block(*network, 1, 2).Weight(1, 0) = 2;
  return network;
}

std::string WorkedExampleHead(int outputs) {
  return Lines({"[FormatVersion = 1.0]", "", "[NeuralNetwork]", "[NetworkType = MLP]", "", "[NetworkInformation]",
                "[NumberOfLayers = 3]", "[InputLayer = 1]", "[OutputLayer = 2]", "[NumberOfInputs = 2]",
                "[NumberOfOutputs = " + std::to_string(outputs) + "]", "[BiasLayer = 0]", "[~NetworkInformation]", "",
                "[Layer = 0]", "[LayerType = Simple]", "[NumberOfNeurons = 1]", "[All ActivationFunction=bias ]",
                "[~Layer]", "", "[Layer = 1]", "[LayerType = Input]", "[NumberOfNeurons = 2]",
                "[All ActivationFunction=linear ]", "[~Layer]", "", "[Layer = 2]", "[LayerType = Gain]",
                "[NumberOfNeurons = " + std::to_string(outputs) + "]", "[All ActivationFunction=sigmoid ]",
                "[All Gain=1.000000000000000 ]", "[~Layer]"});
}

std::string ConnectionHead(int from, int to) {
  return Lines({"", "[ConnectionLayer]", "[LayerFrom = " + std::to_string(from) + "]",
                "[LayerTo = " + std::to_string(to) + "]", "[ConnectionType = Pruneable]",
                "[Attributes Pruneable Freezable ]"});
}

const char* const kTail = "[~ConnectionLayer]\n\n[~NeuralNetwork]\n";

}  // namespace

TEST(FileTools, WriteNetworkWorkedExample) {
  auto network = WorkedExample();
  const std::string header = "/* To->" + Blanks(14) + "0  From */";
  const std::string expected =
      WorkedExampleHead(1) + ConnectionHead(0, 2) +
      Lines({"[Matrix Weights TrainableInfo ]", header, Blanks(17) + "0.5 T  /* 0 */", "[~Matrix]",
             "[~ConnectionLayer]"}) +
      ConnectionHead(1, 2) +
      Lines({"[Matrix Weights TrainableInfo ]", header, Blanks(15) + "-1.25 T  /* 0 */", Blanks(19) + "2 T  /* 1 */",
             "[~Matrix]"}) +
      kTail;
  std::ostringstream out;
  FileTools tools;
  tools.WriteNetwork(out, network.get(), new TKQstructure("status"));  // taken over and released
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 57);
  EXPECT_EQ(out.precision(), 15);
}

TEST(FileTools, WriteNetworkSparseMatrixWithFrozenConnection) {
  auto network = Mlp({2, 3}, true);
  Block(*network, 0, 2).Weight(0, 0) = 0.5;
  Block(*network, 0, 2).Weight(0, 1) = 0.25;
  Block(*network, 0, 2).Weight(0, 2) = -0.75;
  TBasicConnections& block = Block(*network, 1, 2);
  block.PruneConnection(1, 0);
  block.PruneConnection(1, 1);
  block.PruneConnection(0, 2);
  block.Weight(0, 0) = -1.25;
  block.Weight(0, 1) = 0.1;
  block.SetUnTrainable(0, 1);
  block.Weight(1, 2) = 2;
  const std::string header = "/* To->" + Blanks(14) + "0" + Blanks(22) + "1" + Blanks(22) + "2  From */";
  const std::string none = Blanks(19) + "- - ";
  const std::string expected =
      WorkedExampleHead(3) + ConnectionHead(0, 2) +
      Lines({"[Matrix Weights TrainableInfo ]", header,
             Blanks(17) + "0.5 T " + Blanks(16) + "0.25 T " + Blanks(15) + "-0.75 T  /* 0 */", "[~Matrix]",
             "[~ConnectionLayer]"}) +
      ConnectionHead(1, 2) +
      Lines({"[Matrix Weights TrainableInfo ]", header,
             Blanks(15) + "-1.25 T " + Blanks(17) + "0.1 F " + none + " /* 0 */",
             none + none + Blanks(19) + "2 T  /* 1 */", "[~Matrix]"}) +
      kTail;
  EXPECT_EQ(WriteText(*network), expected);

  // With one connection of six left the block is listed instead.
  block.PruneConnection(0, 0);
  block.PruneConnection(0, 1);
  block.Weight(1, 2) = 3.14159;
  EXPECT_EQ(WeightsOf(WriteText(*network), 1, 2),
            Lines({"[WeightList]", "[From=1 To=2 Weight=3.141590000000000 Trainable ]", "[~WeightList]"}));
}

TEST(FileTools, WriteNetworkRandomisedNetworkMatchesIndependentReference) {
  auto network = Mlp({2, 3, 1}, true);
  srand(20240611);
  network->Randomize(-0.5, 0.5);

  // The same draws, made here from the documented formula in block order:
  // (0->2), (0->3), (1->2), (2->3), each target-major.
  srand(20240611);
  std::vector<double> draws;
  for (int i = 0; i < 13; ++i) {
    const unsigned k = static_cast<unsigned>(rand()) % 32767u;
    const double w = static_cast<double>(k * (1.0L / 32767) * (static_cast<long double>(0.5) - -0.5) + -0.5);
    EXPECT_GE(w, -0.5);
    EXPECT_LT(w, 0.5);
    draws.push_back(w);
  }
  auto part = [&](int first, int count) {
    return std::vector<double>(draws.begin() + first, draws.begin() + first + count);
  };
  auto connection = [&](int from, int to, const std::string& matrix) {
    return ConnectionHead(from, to) + matrix + "[~ConnectionLayer]\n";
  };
  const std::string expected =
      Lines({"[FormatVersion = 1.0]", "", "[NeuralNetwork]", "[NetworkType = MLP]", "", "[NetworkInformation]",
             "[NumberOfLayers = 4]", "[InputLayer = 1]", "[OutputLayer = 3]", "[NumberOfInputs = 2]",
             "[NumberOfOutputs = 1]", "[BiasLayer = 0]", "[~NetworkInformation]", "", "[Layer = 0]",
             "[LayerType = Simple]", "[NumberOfNeurons = 1]", "[All ActivationFunction=bias ]", "[~Layer]", "",
             "[Layer = 1]", "[LayerType = Input]", "[NumberOfNeurons = 2]", "[All ActivationFunction=linear ]",
             "[~Layer]", "", "[Layer = 2]", "[LayerType = Gain]", "[NumberOfNeurons = 3]",
             "[All ActivationFunction=sigmoid ]", "[All Gain=1.000000000000000 ]", "[~Layer]", "", "[Layer = 3]",
             "[LayerType = Gain]", "[NumberOfNeurons = 1]", "[All ActivationFunction=sigmoid ]",
             "[All Gain=1.000000000000000 ]", "[~Layer]"}) +
      connection(0, 2, FullMatrix(part(0, 3), 1, 3)) + connection(0, 3, FullMatrix(part(3, 1), 1, 1)) +
      connection(1, 2, FullMatrix(part(4, 6), 2, 3)) + connection(2, 3, FullMatrix(part(10, 3), 3, 1)) +
      "\n[~NeuralNetwork]\n";
  EXPECT_EQ(WriteText(*network), expected);
}

TEST(FileTools, WriteNetworkMatrixCellsUseFifteenSignificantDigits) {
  auto network = Mlp({1, 7}, false);
  const std::vector<double> weights = {1e-07, 2, 1.5e+20, -1.23456789012345e-300, 0.1 + 0.2, 1.0 / 3, -0.0};
  for (int c = 0; c < 7; ++c) Block(*network, 1, 2).Weight(0, c) = weights[static_cast<std::size_t>(c)];
  const std::string matrix = WeightsOf(WriteText(*network), 1, 2);
  EXPECT_EQ(matrix, FullMatrix(weights, 1, 7));
  // The cells themselves, for the reader of this test.
  EXPECT_NE(matrix.find("               1e-07 T                    2 T "), std::string::npos);
  EXPECT_NE(matrix.find(" -1.23456789012345e-300 T  "), std::string::npos);
  EXPECT_NE(matrix.find(" 0.3 T    0.333333333333333 T " + Blanks(18) + "-0 T  /* 0 */"), std::string::npos);
}

TEST(FileTools, WriteNetworkLayersWithoutBiasOrNeurons) {
  auto network = Mlp({2, 1}, false);
  const std::string text = WriteText(*network);
  EXPECT_EQ(text.find("BiasLayer"), std::string::npos);
  EXPECT_EQ(LayerBlock(text, 0),
            Lines({"[Layer = 0]", "[LayerType = Simple]", "[NumberOfNeurons = 0]", "[All ActivationFunction=null ]",
                   "[~Layer]"}));
  EXPECT_EQ(text.find("[LayerFrom = 0]"), std::string::npos);

  // Layers = 1: the bias and the input layer, no connection block.
  auto single = Mlp({3}, true);
  const std::string singleText = WriteText(*single);
  EXPECT_EQ(singleText.find("[ConnectionLayer]"), std::string::npos);
  EXPECT_NE(singleText.find("[OutputLayer = 1]\n[NumberOfInputs = 3]\n[NumberOfOutputs = 3]\n[BiasLayer = 0]\n"),
            std::string::npos);
  EXPECT_NE(singleText.find("[All ActivationFunction=linear ]\n[~Layer]\n\n[~NeuralNetwork]\n"), std::string::npos);
}

TEST(FileTools, WriteNetworkNeuronsBlockForDifferingNeurons) {
  auto network = Mlp({1, 3}, false);
  auto* output = static_cast<TGainLayer*>(network->layers[2]);
  output->nodes[1].gain = 2.5;
  EXPECT_EQ(LayerBlock(WriteText(*network), 2),
            Lines({"[Layer = 2]", "[LayerType = Gain]", "[NumberOfNeurons = 3]", "[All ActivationFunction=sigmoid ]",
                   "[Neurons]", "[Neuron=0 Gain=1.000000000000000 ]", "[Neuron=1 Gain=2.500000000000000 ]",
                   "[Neuron=2 Gain=1.000000000000000 ]", "[~Neurons]", "[~Layer]"}));

  // A neuron with its own function: no common function line, and the
  // functions listed per neuron; the shared gain stays an All line.
  output->nodes[1].gain = 1.0;
  output->GetNeuron(1)->SetActivationFunction(TanhFunction);
  EXPECT_EQ(LayerBlock(WriteText(*network), 2),
            Lines({"[Layer = 2]", "[LayerType = Gain]", "[NumberOfNeurons = 3]", "[All Gain=1.000000000000000 ]",
                   "[Neurons]", "[Neuron=0 ActivationFunction=sigmoid ]", "[Neuron=1 ActivationFunction=tanh ]",
                   "[Neuron=2 ActivationFunction=sigmoid ]", "[~Neurons]", "[~Layer]"}));

  // Both differ.
  output->nodes[2].gain = -0.125;
  EXPECT_EQ(LayerBlock(WriteText(*network), 2),
            Lines({"[Layer = 2]", "[LayerType = Gain]", "[NumberOfNeurons = 3]", "[Neurons]",
                   "[Neuron=0 ActivationFunction=sigmoid Gain=1.000000000000000 ]",
                   "[Neuron=1 ActivationFunction=tanh Gain=1.000000000000000 ]",
                   "[Neuron=2 ActivationFunction=sigmoid Gain=-0.125000000000000 ]", "[~Neurons]", "[~Layer]"}));

  // Neurons without parameters.
  auto inputs = Mlp({2, 1}, false);
  inputs->layers[1]->GetNeuron(0)->SetActivationFunction(SaturatedLinearFunction);
  EXPECT_EQ(LayerBlock(WriteText(*inputs), 1),
            Lines({"[Layer = 1]", "[LayerType = Input]", "[NumberOfNeurons = 2]", "[Neurons]",
                   "[Neuron=0 ActivationFunction=saturated-linear ]", "[Neuron=1 ActivationFunction=linear ]",
                   "[~Neurons]", "[~Layer]"}));
}

TEST(FileTools, WriteNetworkChoosesListBelowThirtyFivePercent) {
  auto network = Mlp({4, 5}, false);
  TBasicConnections& block = Block(*network, 1, 2);
  // Keep (0,0) (3,0) (2,1) (1,2) (2,2) (0,4) (3,4): 7 of 20, exactly 35 %.
  const bool keep[5][4] = {{true, false, false, true},
                           {false, false, true, false},
                           {false, true, true, false},
                           {false, false, false, false},
                           {true, false, false, true}};
  for (int t = 0; t < 5; ++t) {
    for (int f = 0; f < 4; ++f) {
      if (!keep[t][f]) block.PruneConnection(f, t);
      else block.Weight(f, t) = f + 10.0 * t + 0.5;
    }
  }
  block.SetUnTrainable(2, 2);
  EXPECT_EQ(WeightsOf(WriteText(*network), 1, 2).substr(0, 32), "[Matrix Weights TrainableInfo ]\n");

  block.PruneConnection(2, 1);  // 6 of 20
  block.Weight(0, 0) = 1e-20;
  block.Weight(3, 0) = -1e-20;
  EXPECT_EQ(WeightsOf(WriteText(*network), 1, 2),
            Lines({"[WeightList]", "[From=0 To=0 Weight=0.000000000000000 Trainable ]",
                   "[From=3 To=0 Weight=-0.000000000000000 Trainable ]",
                   "[From=1 To=2 Weight=21.500000000000000 Trainable ]",
                   "[From=2 To=2 Weight=22.500000000000000 UnTrainable ]",
                   "[From=0 To=4 Weight=40.500000000000000 Trainable ]",
                   "[From=3 To=4 Weight=43.500000000000000 Trainable ]", "[~WeightList]"}));

  for (int t = 0; t < 5; ++t) {
    for (int f = 0; f < 4; ++f) block.PruneConnection(f, t);
  }
  EXPECT_EQ(WeightsOf(WriteText(*network), 1, 2), "[WeightList]\n[~WeightList]\n");
}

TEST(FileTools, WriteNetworkBlockOfSizeZeroIsAMatrix) {
  TBasicNetwork network(4);
  network.SetLayer(0, new TSimpleLayer(&network, 0, 0));
  network.SetLayer(1, new TSimpleInputLayer(&network, 1, 2));
  network.SetLayer(2, new TGainLayer(&network, 2, 0, 1.0));
  network.SetLayer(3, new TSimpleLayer(&network, 3, 1));
  network.Connect(1, 2);
  const std::string text = WriteText(network);
  EXPECT_EQ(LayerBlock(text, 2),
            Lines({"[Layer = 2]", "[LayerType = Gain]", "[NumberOfNeurons = 0]", "[All ActivationFunction=null ]",
                   "[~Layer]"}));
  EXPECT_EQ(WeightsOf(text, 1, 2),
            Lines({"[Matrix Weights TrainableInfo ]", "/* To->  From */", " /* 0 */", " /* 1 */", "[~Matrix]"}));
}

TEST(FileTools, WriteNetworkBasicNetworkAndBiasLayers) {
  TBasicNetwork network(3);
  network.SetLayer(0, new TSimpleLayer(&network, 0, 1));
  network.SetLayer(1, new TSimpleInputLayer(&network, 1, 2));
  network.SetLayer(2, new TSimpleLayer(&network, 2, 1));
  network.layers[0]->SetActivationFunction(BiasFunction);
  network.layers[2]->SetActivationFunction(BiasFunction);
  network.Connect(1, 2);
  network.Connect(2, 1);  // a block into a lower layer is written like any other
  const std::string text = WriteText(network);
  const std::string head =
            Lines({"[FormatVersion = 1.0]", "", "[NeuralNetwork]", "[NetworkType = Basic]", "",
                   "[NetworkInformation]", "[NumberOfLayers = 3]", "[InputLayer = 1]", "[OutputLayer = 2]",
                   "[NumberOfInputs = 2]", "[NumberOfOutputs = 1]", "[BiasLayer = 0]", "[BiasLayer = 2]",
                   "[~NetworkInformation]"});
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_LT(text.find("[LayerFrom = 1]\n[LayerTo = 2]"), text.find("[LayerFrom = 2]\n[LayerTo = 1]"));
  EXPECT_EQ(LayerBlock(text, 2),
            Lines({"[Layer = 2]", "[LayerType = Simple]", "[NumberOfNeurons = 1]", "[All ActivationFunction=bias ]",
                   "[~Layer]"}));

  // A "bias" layer of two neurons cannot be stored; writing stops in the
  // information block.
  network.SetLayer(0, new TSimpleLayer(&network, 0, 2));
  network.layers[0]->SetActivationFunction(BiasFunction);
  std::string written;
  EXPECT_EQ(WriteError(network, written), "Illegal number of bias nodes");
  EXPECT_EQ(written, Lines({"[FormatVersion = 1.0]", "", "[NeuralNetwork]", "[NetworkType = Basic]", "",
                            "[NetworkInformation]", "[NumberOfLayers = 3]", "[InputLayer = 1]", "[OutputLayer = 2]",
                            "[NumberOfInputs = 2]", "[NumberOfOutputs = 1]"}));
}

TEST(FileTools, WriteNetworkFullyConnectedBlockHasNoFlags) {
  const int sizes[] = {0, 2, 3};
  TConnectedNetwork network(3, sizes);
  network.Connect(1, 2);
  network.Connect(0, 2);
  const std::vector<double> weights = {0.5, -1.25, 2, 1e-07, 3.5, -0.001};
  for (int t = 0; t < 3; ++t) {
    for (int f = 0; f < 2; ++f) Block(network, 1, 2).Weight(f, t) = weights[static_cast<std::size_t>(t * 2 + f)];
  }
  const std::string text = WriteText(network);
  EXPECT_NE(text.find("[NetworkType = Connected]\n"), std::string::npos);
  std::string matrix = "[Matrix Weights ]\n" + MatrixHeader(3, false) + "\n";
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) matrix += Printf("%20.15g", weights[static_cast<std::size_t>(c * 2 + r)]) + " ";
    matrix += " /* " + std::to_string(r) + " */\n";
  }
  matrix += "[~Matrix]\n";
  EXPECT_EQ(matrix.substr(0, 59), "[Matrix Weights ]\n/* To->            0                    1");
  EXPECT_EQ(text.substr(text.find("[LayerFrom = 1]")),
            Lines({"[LayerFrom = 1]", "[LayerTo = 2]", "[ConnectionType = FullyConnected]",
                   "[Attributes UnPrunable UnFreezable ]"}) +
                matrix + "[~ConnectionLayer]\n\n[~NeuralNetwork]\n");
  // A block of size 0 is a matrix without rows.
  EXPECT_EQ(WeightsOf(text, 0, 2), "[Matrix Weights ]\n" + MatrixHeader(3, false) + "\n[~Matrix]\n");
}

// A block class the writer does not know is read through the block
// interface, with the same result.
class TDerivedPruned : public TPrunedConnections {
 public:
  using TPrunedConnections::TPrunedConnections;
};

TEST(FileTools, WriteNetworkReadsUnknownBlockClassesThroughTheirInterface) {
  for (bool sparse : {false, true}) {
    auto known = Mlp({4, 3}, true);
    auto derived = Mlp({4, 3}, true);
    derived->InstallConnections(new TDerivedPruned(derived.get(), 1, 2));
    for (TMLPNetwork* network : {known.get(), derived.get()}) {
      srand(7);
      network->Randomize(-2, 2);
      TBasicConnections& block = Block(*network, 1, 2);
      block.PruneConnection(1, 0);
      block.PruneConnection(3, 2);
      block.SetUnTrainable(0, 1);
      block.SetFlags(2, 2, FMaskTrainable);  // trainable, but not a connection
      if (sparse) {  // two of twelve left, one of them frozen
        for (int f = 0; f < 4; ++f) block.PruneConnection(f, 0);
        for (int f = 0; f < 4; ++f) block.PruneConnection(f, 1);
        block.SetUnTrainable(1, 2);
      }
    }
    const std::string text = WriteText(*known);
    EXPECT_EQ(WriteText(*derived), text);
    const std::string weights = WeightsOf(text, 1, 2);
    EXPECT_EQ(weights.substr(0, 13), sparse ? "[WeightList]\n" : "[Matrix Weigh");
    EXPECT_NE(weights.find(sparse ? " UnTrainable ]" : " F "), std::string::npos);
    EXPECT_EQ(weights.find(" - T"), std::string::npos);  // the cell without a weight has no flag
  }
}

TEST(FileTools, WriteNetworkReportsAFailedStream) {
  auto network = WorkedExample();
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  FileTools tools;
  try {
    tools.WriteNetwork(out, network.get(), nullptr);
    ADD_FAILURE() << "no error";
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, "Error writing network file");
    EXPECT_EQ(error.out, &out);
  }
}

TEST(FileTools, SaveWeightsVisitorWritesOneListLine) {
  std::ostringstream out;
  FileTools tools;
  double weight = -0.5;
  TIterateObjSaveWeights visitor(out, tools, false);
  EXPECT_EQ(visitor.precision, 15);
  visitor.from = 3;
  visitor.to = 12;
  visitor.weight = &weight;
  visitor.trainable = true;
  visitor.Visit();
  TIterateObjSaveWeights frozen(out, tools, true, 2);
  frozen.weight = &weight;
  frozen.Visit();
  EXPECT_EQ(out.str(), "[From=3 To=12 Weight=-0.500000000000000 ]\n[From=0 To=0 Weight=-0.50 UnTrainable ]\n");
}

class FileToolsSaveNetwork : public ::testing::Test {
 protected:
  // The message SaveNetwork throws, or "" when it succeeds.
  static std::string Save(const std::string& name, TBasicNetwork& network) {
    FileTools tools;
    try {
      tools.SaveNetwork(name.c_str(), &network, new TKQstructure("status"));
    } catch (const FileTools::Error& error) {
      EXPECT_EQ(error.in, nullptr);
      EXPECT_NE(error.out, nullptr);
      return error.message;
    }
    return "";
  }
  const TestSupport::TempFolder folder_;
  const fs::path dir_ = folder_.Path();
};

TEST_F(FileToolsSaveNetwork, WritesTheFileAsWriteNetworkDoes) {
  auto network = WorkedExample();
  const fs::path path = dir_ / "net.wgt";
  {
    std::ofstream old(path);
    old << std::string(10000, 'x');  // truncated, not overwritten in place
  }
  EXPECT_EQ(Save(path.string(), *network), "");
  EXPECT_EQ(ReadAll(path), WriteText(*network));
}

TEST_F(FileToolsSaveNetwork, ReportsFilesThatCannotBeWritten) {
  auto network = WorkedExample();
  EXPECT_EQ(Save((dir_ / "missing" / "net.wgt").string(), *network), "Error on File Open");
  EXPECT_EQ(Save(dir_.string(), *network), "Error on File Open");  // a folder
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(Save("/dev/full", *network), "Error writing network file");
    // Larger than the file buffer, so the failure shows while writing.
    auto big = Mlp({400, 400}, true);
    EXPECT_EQ(Save("/dev/full", *big), "Error writing network file");
  }
}

TEST_F(FileToolsSaveNetwork, KeepsTheLinesWrittenBeforeAnError) {
  TBasicNetwork network(2);
  network.SetLayer(0, new TSimpleLayer(&network, 0, 3));
  network.SetLayer(1, new TSimpleInputLayer(&network, 1, 1));
  network.layers[0]->SetActivationFunction(BiasFunction);
  const fs::path path = dir_ / "bias.wgt";
  EXPECT_EQ(Save(path.string(), network), "Illegal number of bias nodes");
  EXPECT_EQ(ReadAll(path), Lines({"[FormatVersion = 1.0]", "", "[NeuralNetwork]", "[NetworkType = Basic]", "",
                                  "[NetworkInformation]", "[NumberOfLayers = 2]", "[InputLayer = 1]",
                                  "[OutputLayer = 1]", "[NumberOfInputs = 1]", "[NumberOfOutputs = 1]"}));
}
