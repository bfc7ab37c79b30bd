// The network file reader: FileTools::LoadNetwork and FileTools::ReadNetwork.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "Common/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Support/ChunkedBuffer.h"
#include "Support/ConsoleRecorder.h"

namespace {

using NetworkPtr = std::unique_ptr<TBasicNetwork>;

std::string ExampleText(const char* name) {
  std::ifstream file(std::string(NETFORGE_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The network a file holds; a rejected file fails the test.
NetworkPtr Read(const std::string& text) {
  std::istringstream in(text);
  FileTools tools;
  try {
    return NetworkPtr(tools.ReadNetwork(in, nullptr));
  } catch (const FileTools::Error& error) {
    ADD_FAILURE() << error.message << " in:\n" << text;
    return std::make_unique<TBasicNetwork>(0);
  }
}

// The message a file is rejected with, or "" when it reads.
std::string ErrorOf(const std::string& text) {
  std::istringstream in(text);
  FileTools tools;
  try {
    NetworkPtr network(tools.ReadNetwork(in, nullptr));
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.in, &in);
    return error.message;
  }
  return "";
}

std::string Num(double value) {
  std::string text;
  Netforge::AppendGeneral(text, value, 17);
  return text;
}

// Everything a network file stores, as text, for comparing networks.
std::string Describe(TBasicNetwork& network) {
  std::string text = std::string(network.GetNetworkType()) + " layers=" + std::to_string(network.numLayers) +
                     " in=" + std::to_string(network.inLayer) + " out=" + std::to_string(network.outLayer) + "\n";
  if (auto* mlp = dynamic_cast<TMLPNetwork*>(&network)) text += mlp->bias ? "bias\n" : "no bias\n";
  for (int k = 0; k < network.numLayers; ++k) {
    TBasicLayer* layer = network.layers[k];
    text += "layer " + std::to_string(k) + " " + layer->GetTypeName() + " " + std::to_string(layer->numNeurons) + ":";
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      text += ' ';
      text += network.fnRegistry->GetFunctionName(neuron->GetActivationFunction());
      std::vector<double> parameters(static_cast<std::size_t>(neuron->GetNumParameters()));
      neuron->GetParameters(parameters.data());
      for (double p : parameters) {
        text += '/';
        text += Num(p);
      }
    }
    text += "\n";
  }
  for (int from = 0; from < network.numLayers; ++from) {
    for (int to = 0; to < network.numLayers; ++to) {
      TBasicConnections* block = network.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      text += "block " + std::to_string(from) + "->" + std::to_string(to) + " " + block->GetConnectionsNType() + ":";
      for (int f = 0; f < network.layers[from]->numNeurons; ++f) {
        for (int t = 0; t < network.layers[to]->numNeurons; ++t) {
          if (!block->IsValid(f, t)) {
            text += " -";
          } else {
            text += ' ';
            text += Num(block->Weight(f, t));
            text += block->IsTrainable(f, t) ? 'T' : 'F';
          }
        }
      }
      text += "\n";
    }
  }
  return text;
}

std::vector<double> Recall(TBasicNetwork& network, std::vector<double> input) {
  std::vector<double> output(static_cast<std::size_t>(network.layers[network.outLayer]->numNeurons));
  network.Recall(input.data(), output.data());
  return output;
}

// A small Basic network whose pieces the tests below replace one at a time.
struct Parts {
  std::string type = "[NetworkType = Basic]\n";
  std::string info = "[NumberOfLayers = 2]\n[InputLayer = 0]\n";
  std::string layer0 = "[Layer = 0]\n[LayerType = Input]\n[NumberOfNeurons = 2]\n[~Layer]\n";
  std::string layer1 =
      "[Layer = 1]\n[LayerType = Gain]\n[NumberOfNeurons = 1]\n[All ActivationFunction=sigmoid ]\n"
      "[All Gain=1.5 ]\n[~Layer]\n";
  std::string conns =
      "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 1]\n[ConnectionType = Pruneable]\n"
      "[Matrix Weights ]\n0.5 -0.25\n[~Matrix]\n[~ConnectionLayer]\n";
  std::string tail;

  std::string Text() const {
    return "[NeuralNetwork]\n" + type + "[NetworkInformation]\n" + info + "[~NetworkInformation]\n" + layer0 +
           layer1 + conns + "[~NeuralNetwork]\n" + tail;
  }
};

// The small network without connections and with another layer 1.
std::string WithLayer1(const std::string& body) {
  Parts parts;
  parts.layer1 = "[Layer = 1]\n" + body + "[~Layer]\n";
  parts.conns = "";
  return parts.Text();
}

std::string WithConns(const std::string& conns) {
  Parts parts;
  parts.conns = conns;
  return parts.Text();
}

std::string Block(const std::string& body, const std::string& type = "Pruneable") {
  return "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 1]\n[ConnectionType = " + type + "]\n" + body +
         "[~ConnectionLayer]\n";
}

TEST(FileTools, ReadNetworkReadsTheExampleMultilayerPerceptron) {
  FileTools tools;
  const std::string path = std::string(NETFORGE_SOURCE_DIR) + "/examples/xor.wgt";
  NetworkPtr network(tools.LoadNetwork(path.c_str(), new TKQstructure()));  // the status is released
  EXPECT_EQ(Describe(*network),
            "MLP layers=4 in=1 out=3\n"
            "no bias\n"  // a bias layer numbered 0 leaves the flag off
            "layer 0 Simple 1: bias\n"
            "layer 1 Input 2: linear linear\n"
            "layer 2 Gain 2: sigmoid/1 sigmoid/1\n"
            "layer 3 Gain 1: sigmoid/1\n"
            "block 0->2 Pruneable: -10T 30T\n"
            "block 0->3 Pruneable: -30T\n"
            "block 1->2 Pruneable: 20T -20T 20T -20T\n"
            "block 2->3 Pruneable: 20T 20T\n");
  EXPECT_LT(Recall(*network, {0, 0})[0], 0.01);
  EXPECT_GT(Recall(*network, {0, 1})[0], 0.99);
  EXPECT_GT(Recall(*network, {1, 0})[0], 0.99);
  EXPECT_LT(Recall(*network, {1, 1})[0], 0.01);
}

TEST(FileTools, ReadNetworkReadsTheExampleSparseAndConnectedNetworks) {
  NetworkPtr sparse = Read(ExampleText("sparse.wgt"));
  EXPECT_EQ(Describe(*sparse),
            "Basic layers=3 in=0 out=2\n"
            "layer 0 Input 4: linear linear linear linear\n"
            "layer 1 Gain 5: tanh-gain/0.5 sigmoid-gain/2 tanh/1 linear-gain/-1.5 sigmoid/1\n"
            "layer 2 Simple 2: sigmoid sigmoid\n"
            "block 0->1 Pruneable: 0.25T - - - - - - 0.75T - - - - - 2F - -1.5F - - - -0.125T\n"
            "block 0->2 Pruneable: - - - 0.5F - - - -\n"
            "block 1->2 Pruneable: 1.25T - - - - 0.29999999999999999F - - -0.5T -\n");

  NetworkPtr connected = Read(ExampleText("connected.wgt"));
  EXPECT_EQ(Describe(*connected),
            "Connected layers=3 in=0 out=2\n"
            "layer 0 Input 3: linear linear linear\n"
            "layer 1 Simple 4: tanh tanh tanh tanh\n"
            "layer 2 Simple 2: sigmoid sigmoid\n"
            "block 0->1 FullyConnected: 0.10000000000000001T -0.20000000000000001T 0.29999999999999999T "
            "-0.40000000000000002T 0.5T -0.59999999999999998T 0.69999999999999996T -0.80000000000000004T "
            "0.90000000000000002T -1T 1.1000000000000001T -1.2T\n"
            "block 0->2 FullyConnected: 0.050000000000000003T -0.050000000000000003T 0T 0.14999999999999999T "
            "9.9999999999999995e-08T -2T\n"
            "block 1->2 FullyConnected: 1.5T -1.5T 2.5T -2.5T 0.75T 0.25T -3T 3T\n");
  // Recall by hand: hidden = tanh(x W1), out = sigmoid(x W02 + hidden W12).
  const std::vector<double> x = {0.3, -0.7, 1.1};
  const double w1[3][4] = {{0.1, -0.2, 0.3, -0.4}, {0.5, -0.6, 0.7, -0.8}, {0.9, -1.0, 1.1, -1.2}};
  const double w02[3][2] = {{0.05, -0.05}, {0, 0.15}, {1e-07, -2}};
  const double w12[4][2] = {{1.5, -1.5}, {2.5, -2.5}, {0.75, 0.25}, {-3, 3}};
  const std::vector<double> out = Recall(*connected, x);
  for (int t = 0; t < 2; ++t) {
    double net = 0;
    for (int f = 0; f < 3; ++f) net += x[f] * w02[f][t];
    for (int h = 0; h < 4; ++h) {
      double hidden = 0;
      for (int f = 0; f < 3; ++f) hidden += x[f] * w1[f][h];
      net += std::tanh(hidden) * w12[h][t];
    }
    EXPECT_NEAR(out[static_cast<std::size_t>(t)], 1 / (1 + std::exp(-net)), 1e-12);
  }
}

TEST(FileTools, ReadNetworkAcceptsTheVariantsOfTheFormat) {
  const std::string original = ExampleText("xor.wgt");
  const std::string expected = Describe(*Read(original));

  std::string lower = original;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_EQ(Describe(*Read(lower)), expected);
  std::string upper = original;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  EXPECT_EQ(Describe(*Read(upper)), expected);

  std::string crlf;
  for (char c : original) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Describe(*Read(crlf)), expected);

  const std::string header = "[FormatVersion = 1.0]\n";
  ASSERT_EQ(original.compare(0, header.size(), header), 0);
  EXPECT_EQ(Describe(*Read(original.substr(header.size()))), expected);

  // Comments, headers and blanks may follow the network block.
  EXPECT_EQ(Describe(*Read(original + "/* done */ [FormatVersion = 1.0]\n\n")), expected);

  // LayerType and NumberOfNeurons in either order, the function first.
  EXPECT_EQ(Describe(*Read(WithLayer1("[All ActivationFunction=sigmoid ][NumberOfNeurons = 1]\n"
                                      "[LayerType = Gain][All Gain=1.5 ]\n"))),
            Describe(*Read(WithLayer1("[LayerType = Gain]\n[NumberOfNeurons = 1]\n[All ActivationFunction=sigmoid ]\n"
                                      "[All Gain=1.5 ]\n"))));
}

TEST(FileTools, ReadNetworkCarriesParametersIntoNeuronLines) {
  // The ALL line sets every gain; the first neuron line changes it to 2 and
  // the second, which names no gain, keeps 2; the third sets 3.
  NetworkPtr network = Read(WithLayer1(
      "[LayerType = Gain]\n[NumberOfNeurons = 3]\n[All Gain=0.25 ]\n[Neurons]\n"
      "[Neuron=1 ActivationFunction=tanh Gain=2 ]\n[Neuron=0 ActivationFunction=tanh-gain ]\n"
      "[Neuron=2 activationfunction=SIGMOID-GAIN gain=3 ]\n[~Neurons]\n"));
  TBasicLayer* layer = network->layers[1];
  EXPECT_EQ(network->fnRegistry->GetFunctionName(layer->GetNeuron(0)->GetActivationFunction()), std::string("tanh-gain"));
  EXPECT_EQ(layer->GetActivationFunction(), nullptr);
  double gains[3];
  for (int i = 0; i < 3; ++i) layer->GetNeuron(i)->GetParameters(&gains[i]);
  EXPECT_EQ(gains[0], 2.0);
  EXPECT_EQ(gains[1], 2.0);
  EXPECT_EQ(gains[2], 3.0);

  // Without an ALL line, a neuron line that omits the gain takes 0.0; with
  // a common function, the neuron lines' functions are looked up and ignored.
  network = Read(WithLayer1(
      "[LayerType = Gain]\n[NumberOfNeurons = 2]\n[All ActivationFunction=linear-gain ]\n[Neurons]\n"
      "[Neuron=0 ActivationFunction=tanh ]\n[Neuron=1 Gain=4 ]\n[~Neurons]\n"));
  layer = network->layers[1];
  EXPECT_EQ(layer->GetActivationFunction(), LinearGainFunction);
  layer->GetNeuron(0)->GetParameters(&gains[0]);
  layer->GetNeuron(1)->GetParameters(&gains[1]);
  EXPECT_EQ(gains[0], 0.0);
  EXPECT_EQ(gains[1], 4.0);
}

TEST(FileTools, ReadNetworkReadsMatrixAndWeightListVariants) {
  // Flags before weights: the F of a cell applies to the connection its
  // weight creates; "-" in both items leaves the cell empty.
  NetworkPtr network = Read(WithConns(Block("[Matrix TrainableInfo Weights ]\nF 0.5 - -\n[~Matrix]\n")));
  EXPECT_EQ(Describe(*network).substr(Describe(*network).find("block")), "block 0->1 Pruneable: 0.5F -\n");

  // Several sub-blocks add to one block; a later one may change or remove
  // what an earlier one made; an entry without a weight gets 0.0, trainable.
  network = Read(WithConns(Block(
      "[Matrix Weights TrainableInfo ]\n1 T 2 F\n[~Matrix]\n"
      "[WeightList]\n[From=0 To=0 Weight=3 UnTrainable ]\n[~WeightList]\n"
      "[Matrix Weights Weights TrainableInfo ]\n7 8 F - - -\n[~Matrix]\n"
      "[WeightList][~WeightList]\n[Matrix]\n[~Matrix]\n")));
  EXPECT_EQ(Describe(*network).substr(Describe(*network).find("block")), "block 0->1 Pruneable: 8F -\n");
  network = Read(WithConns(Block("[WeightList]\n[To=0 From=1 ]\n[~WeightList]\n")));
  EXPECT_EQ(Describe(*network).substr(Describe(*network).find("block")), "block 0->1 Pruneable: - 0T\n");

  // A pruneable block with an empty list, or with only "-" cells, has no
  // connections at all; a block without sub-blocks likewise.
  for (const char* body : {"[WeightList]\n[~WeightList]\n", "[Matrix Weights ]\n- -\n[~Matrix]\n", ""}) {
    network = Read(WithConns(Block(body)));
    EXPECT_EQ(network->priv_conns_index[1][0]->GetNumWeights(FMaskExists), 0) << body;
    EXPECT_TRUE(network->priv_conns_index[1][0]->IsConnected()) << body;
  }

  // A fully connected block takes T flags and trainable entries.
  network = Read(WithConns(Block("[Matrix Weights TrainableInfo ]\n1 T 2 T\n[~Matrix]\n"
                                 "[WeightList]\n[From=1 To=0 Weight=5 Trainable ]\n[~WeightList]\n",
                                 "FullyConnected")));
  EXPECT_EQ(Describe(*network).substr(Describe(*network).find("block")), "block 0->1 FullyConnected: 1T 5T\n");

  // The Attributes line is ignored whatever it holds; a layer may feed itself.
  network = Read(WithConns(
      "[ConnectionLayer][Attributes][Attributes a b c ][LayerTo=1][LayerFrom=1][ConnectionType=Pruneable]"
      "[Matrix Weights] 4 [~Matrix][~ConnectionLayer]"));
  EXPECT_EQ(Describe(*network).substr(Describe(*network).find("block")), "block 1->1 Pruneable: 4T\n");
}

TEST(FileTools, ReadNetworkSetsTheBiasFlagOfMultilayerPerceptrons) {
  const std::string original = ExampleText("xor.wgt");
  auto withBias = [&](const std::string& line) {
    std::string text = original;
    text.replace(text.find("[BiasLayer = 0]"), 15, line);
    return text;
  };
  EXPECT_FALSE(static_cast<TMLPNetwork&>(*Read(original)).bias);
  EXPECT_FALSE(static_cast<TMLPNetwork&>(*Read(withBias(""))).bias);
  EXPECT_TRUE(static_cast<TMLPNetwork&>(*Read(withBias("[BiasLayer = 2]"))).bias);
  EXPECT_FALSE(static_cast<TMLPNetwork&>(*Read(withBias("[BiasLayer = 2][BiasLayer = 0]"))).bias);

  // Header defaults: input layer 1, output layer the last (also for -1).
  Parts parts;
  parts.info = "[NumberOfLayers = 2][OutputLayer = -1][InputLayer = 0]";
  NetworkPtr network = Read(parts.Text());
  EXPECT_EQ(network->inLayer, 0);
  EXPECT_EQ(network->outLayer, 1);
}

// Each message of the reader's table from a small file.
TEST(FileTools, ReadNetworkReportsTheFormatErrors) {
  FileTools tools;
  try {
    NetworkPtr network(tools.LoadNetwork("/nonexistent/dir/net.wgt", nullptr));
    ADD_FAILURE();
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, "Error on File Open");
  }
  try {
    const std::string folder = std::string(NETFORGE_SOURCE_DIR) + "/examples";
    NetworkPtr network(tools.LoadNetwork(folder.c_str(), new TKQstructure()));
    ADD_FAILURE();
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, "Error on File Read");
  }

  EXPECT_EQ(ErrorOf(""), "[NEURALNETWORK] expected");
  EXPECT_EQ(ErrorOf("[NetworkType = MLP]"), "[NEURALNETWORK] expected");
  EXPECT_EQ(ErrorOf("[NeuralNetwork][Type = MLP]"), "[NETWORKTYPE = <string>] expectedType");
  EXPECT_EQ(ErrorOf("[NeuralNetwork][NetworkType = MLP][Info]"), "[NETWORKINFORMATION] expected");

  Parts parts;
  auto withInfo = [&](const std::string& info) {
    Parts p;
    p.info = info;
    return p.Text();
  };
  auto withType = [&](const std::string& type) {
    Parts p;
    p.type = "[NetworkType = " + type + "]";
    return p.Text();
  };
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2 InputLayer = 0]")), "Too complicated statement");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = two]")), "integer-expected");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][Hidden = 1]")), "Unknown keyword");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][Size]")), "End Tag expected");
  EXPECT_EQ(ErrorOf(withInfo("[InputLayer = 0]")), "Must specify number of layers");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = -2][InputLayer = 0]")), "Must specify number of layers");
  EXPECT_EQ(ErrorOf(withType("Recurrent")), "Unknown network type");

  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 1][All]")), "[ALL] is incomplete statment");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 1][All Gain ]")),
            "Required syntax is [ALL <keyword>=<val>]");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 1][All Gain=1 Gain=2 ]")),
            "Too complicated statement");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain NumberOfNeurons = 1]")), "Too complicated statement");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][InputLayer = 0][NumberOfInputs = 3]")),
            "wrong number inputs in header");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][InputLayer = 0][NumberOfOutputs = 2]")),
            "wrong number outputs in header");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Linear][NumberOfNeurons = 1]")), "Unknown layer type");

  const std::string gain2 = "[LayerType = Gain][NumberOfNeurons = 2][All ActivationFunction=sigmoid ]";
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=0 Gain=1][Neuron=0 Gain=1][~Neurons]")),
            "repeated neuron");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=0 Gain][~Neurons]")),
            "Equals clause expected in neuron parameter");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 2][Neurons][Neuron=0 Gain=1][~Neurons]")),
            "No activation function defined");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=1 Gain=1][~Neurons]")), "Neuron not defined");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=0][Neuron=1][Gain=1][~Neurons]")), "End Tag expected");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2)), "Incomplete Layer information");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[All Gain=1][Junk]")), "End Tag expected");

  EXPECT_EQ(ErrorOf(WithConns(Block("[Weights = 3]"))), "Unknown keyword in connections");
  EXPECT_EQ(ErrorOf(WithConns(Block("[LayerTo = 1 LayerFrom = 0]"))), "Too complicated statement");
  EXPECT_EQ(ErrorOf(WithConns("[ConnectionLayer][LayerTo = 1][ConnectionType = Pruneable][~ConnectionLayer]")),
            "Insufficient information to construct layer");
  EXPECT_EQ(ErrorOf(WithConns("[ConnectionLayer][LayerFrom = 0][ConnectionType = Pruneable][~ConnectionLayer]")),
            "Insufficient information to construct layer");
  EXPECT_EQ(ErrorOf(WithConns("[ConnectionLayer][LayerFrom = -1][LayerTo = 1][ConnectionType = Pruneable]"
                              "[~ConnectionLayer]")),
            "Insufficient information to construct layer");
  EXPECT_EQ(ErrorOf(WithConns("[ConnectionLayer][LayerFrom = 0][LayerTo = 1][~ConnectionLayer]")),
            "Insufficient information to construct layer");
  EXPECT_EQ(ErrorOf(WithConns(Block("", "Sparse"))), "Insufficient information to construct layer");
  EXPECT_EQ(ErrorOf(WithConns(Block("") + Block("", "FullyConnected"))), "Connections already defined");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights = 1]"))), "Keyword expected in matrix parameter");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights Flags]"))), "Unknown matrix attribute");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights]\n1 [x] [~Matrix]"))), "Token Expected");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights]\n1 [~Matrix]"))), "Token Expected");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights]\n1 2 3 [~Matrix]"))), "End Tag expected");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights]\n1 x [~Matrix]"))), "number-expected");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=0 Weigth=1][~WeightList]"))),
            "Unknown keyword in weights list");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=0][To=0 Weight=1][~WeightList]"))),
            "Insufficient information in weights list");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0][~WeightList]"))), "Insufficient information in weights list");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=-1][~WeightList]"))),
            "Insufficient information in weights list");
  TestSupport::ConsoleRecorder console;
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=0 Frozen][~WeightList]"))),
            "Unknown keyword in weights list");
  EXPECT_EQ(console.TakeOutput(), "Frozen\n");
  EXPECT_EQ(console.TakeError(), "");

  // What may stand after the blocks.
  parts = Parts();
  parts.tail = "[Layer = 1]";
  EXPECT_EQ(ErrorOf(parts.Text()), "End Tag expected");
  parts.tail = "junk";
  EXPECT_EQ(ErrorOf(parts.Text()), "End Tag expected");
  parts = Parts();
  parts.conns += "[Layer = 1][LayerType = Gain][NumberOfNeurons = 1][~Layer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "End Tag expected");
  parts = Parts();
  parts.conns = "[~Layer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "Unexpected End Tag");
  const std::string text = Parts().Text();
  EXPECT_EQ(ErrorOf(text.substr(0, text.find("-0.25"))), "Unexpected end of file");
}

// Inputs that would break a contract of the network model are rejected with
// a message that says what is wrong.
TEST(FileTools, ReadNetworkRejectsInputsTheModelCannotTake) {
  auto withInfo = [](const std::string& info) {
    Parts p;
    p.info = info;
    return p.Text();
  };
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 1]")), "Input layer out of range: 1");  // the default input layer
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][InputLayer = 2]")), "Input layer out of range: 2");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][InputLayer = -1]")), "Input layer out of range: -1");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2][InputLayer = 0][OutputLayer = 2]")),
            "Output layer out of range: 2");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 0][InputLayer = 0]")), "Input layer out of range: 0");

  Parts parts;
  parts.layer1 = "[Layer = 2][LayerType = Gain][NumberOfNeurons = 1][~Layer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "Layer number out of range: 2");
  parts.layer1 = "[Layer = -1][LayerType = Gain][NumberOfNeurons = 1][~Layer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "Layer number out of range: -1");
  // A second block for layer 0 replaces the first, so layer 1 has none.
  parts.layer1 = "[Layer = 0][LayerType = Input][NumberOfNeurons = 2][~Layer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "LayerTo names a layer without Layer block: 1");
  parts.layer1 = "";
  parts.conns = "";
  parts.tail = "/* padding that makes room for the missing Layer block */";
  EXPECT_EQ(ErrorOf(parts.Text()), "No Layer block for layer 1");
  parts.conns = Parts().conns;
  EXPECT_EQ(ErrorOf(parts.Text()), "LayerTo names a layer without Layer block: 1");
  parts = Parts();
  parts.conns = "[ConnectionLayer][LayerFrom = 1][LayerTo = 2][ConnectionType = Pruneable][~ConnectionLayer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "LayerTo out of range: 2");
  parts.conns = "[ConnectionLayer][LayerFrom = 7][LayerTo = 1][ConnectionType = Pruneable][~ConnectionLayer]";
  EXPECT_EQ(ErrorOf(parts.Text()), "LayerFrom out of range: 7");

  EXPECT_EQ(ErrorOf(WithLayer1("[All Gain=1][LayerType = Gain][NumberOfNeurons = 1]")),
            "Parameter Gain given before the layer's type and number of neurons");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 1][All Bias=1]")),
            "Unknown neuron parameter Bias");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Simple][NumberOfNeurons = 1][All Gain=1]")),
            "Unknown neuron parameter Gain");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 0][All Gain=1]")),
            "Unknown neuron parameter Gain");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 1][All ActivationFunction=relu]")),
            "Unknown activation function relu");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 2][All Gain=1][Neurons]"
                               "[Neuron=0 ActivationFunction=relu][~Neurons]")),
            "Unknown activation function relu");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Simple][NumberOfNeurons = 1][All ActivationFunction=tanh-gain]")),
            "Activation function tanh-gain needs gain neurons");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Simple][NumberOfNeurons = 1][Neurons]"
                               "[Neuron=0 ActivationFunction=Linear-Gain][~Neurons]")),
            "Activation function linear-gain needs gain neurons");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][All Gain=1]")),
            "Parameter Gain given before the layer's type and number of neurons");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain]")), "Layer type and number of neurons required for layer 1");
  EXPECT_EQ(ErrorOf(WithLayer1("[NumberOfNeurons = 1][Neurons][~Neurons]")),
            "Layer type and number of neurons required for layer 1");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = -1]")), "Negative number of neurons: -1");
  const std::string gain2 = "[LayerType = Gain][NumberOfNeurons = 2][All ActivationFunction=sigmoid ][All Gain=1]";
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=2][~Neurons]")), "Neuron index out of range: 2");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=-1][~Neurons]")), "Neuron index out of range: -1");
  EXPECT_EQ(ErrorOf(WithLayer1(gain2 + "[Neurons][Neuron=0 Bias=2][~Neurons]")), "Unknown neuron parameter Bias");

  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights Weights Weights Weights Weights Weights Weights Weights "
                                    "Weights TrainableInfo]"))),
            "More than nine items in a Matrix bracket");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights TrainableInfo]\n1 - 2 T [~Matrix]"))),
            "Flag T or F expected for an existing connection");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights TrainableInfo]\n1 X 2 T [~Matrix]"))),
            "Flag T or F expected for an existing connection");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=2 To=0][~WeightList]"))),
            "From out of range in weights list: 2");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=1][~WeightList]"))), "To out of range in weights list: 1");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights]\n1 - [~Matrix]", "FullyConnected"))),
            "A FullyConnected block cannot remove a connection");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights TrainableInfo]\n1 F 2 T [~Matrix]", "FullyConnected"))),
            "A FullyConnected block cannot freeze a connection");
  EXPECT_EQ(ErrorOf(WithConns(Block("[Matrix Weights TrainableInfo]\n1 - 2 T [~Matrix]", "FullyConnected"))),
            "Flag T or F expected for an existing connection");
  EXPECT_EQ(ErrorOf(WithConns(Block("[WeightList][From=0 To=0 UnTrainable][~WeightList]", "FullyConnected"))),
            "A FullyConnected block cannot freeze a connection");
}

// A later Layer block for a layer number already read replaces the earlier
// layer, whatever its type, size and parameters; the header's counts apply to
// every block of the input and output layers.
TEST(FileTools, ReadNetworkLetsALaterLayerBlockReplaceTheEarlierOne) {
  Parts parts;
  parts.layer1 = "[Layer = 1][LayerType = Simple][NumberOfNeurons = 4][All ActivationFunction=tanh ][~Layer]\n" +
                 parts.layer1;
  NetworkPtr network = Read(parts.Text());
  ASSERT_EQ(network->numLayers, 2);
  EXPECT_STREQ(network->layers[1]->GetTypeName(), "Gain");
  EXPECT_EQ(network->layers[1]->numNeurons, 1);
  EXPECT_EQ(network->layers[1]->GetActivationFunction(), network->fnRegistry->GetFunction("sigmoid"));
  EXPECT_EQ(network->layers[1]->layerNum, 1);
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 2);

  // The same layer given three times, the input layer given twice.
  parts = Parts();
  parts.layer0 = "[Layer = 0][LayerType = Gain][NumberOfNeurons = 7][All ActivationFunction=linear ][All Gain=2][~Layer]" +
                 parts.layer0;
  parts.layer1 = parts.layer1 + parts.layer1 + parts.layer1;
  network = Read(parts.Text());
  EXPECT_STREQ(network->layers[0]->GetTypeName(), "Input");
  EXPECT_EQ(network->layers[0]->numNeurons, 2);

  parts = Parts();
  parts.info += "[NumberOfInputs = 2]\n";
  parts.layer0 += "[Layer = 0][LayerType = Input][NumberOfNeurons = 3][~Layer]\n";
  EXPECT_EQ(ErrorOf(parts.Text()), "wrong number inputs in header");
}

// Counts that would make a short file allocate far more than it holds.
TEST(FileTools, ReadNetworkRejectsCountsItsFileCannotBack) {
  auto withInfo = [](const std::string& info) {
    Parts p;
    p.info = info;
    return p.Text();
  };
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 2000000000][InputLayer = 0]")),
            "More layers than Layer blocks can follow: 2000000000");
  EXPECT_EQ(ErrorOf(withInfo("[NumberOfLayers = 40][InputLayer = 0]")),
            "More layers than Layer blocks can follow: 40");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Gain][NumberOfNeurons = 2000000000]")),
            "Network too large for the size of its file");
  EXPECT_EQ(ErrorOf(WithLayer1("[LayerType = Simple][NumberOfNeurons = 3000000]")),
            "Network too large for the size of its file");
  // Two layers of 100000 neurons would need a block of 10^10 connections.
  Parts parts;
  parts.layer0 = "[Layer = 0][LayerType = Input][NumberOfNeurons = 100000][~Layer]";
  parts.layer1 = "[Layer = 1][LayerType = Simple][NumberOfNeurons = 100000][~Layer]";
  parts.conns = Block("[WeightList][From=99999 To=99999][~WeightList]");
  EXPECT_EQ(ErrorOf(parts.Text()), "Network too large for the size of its file");
  // The same layers with a block of 1000 x 1000 are within the allowance.
  parts.layer0 = "[Layer = 0][LayerType = Input][NumberOfNeurons = 1000][~Layer]";
  parts.layer1 = "[Layer = 1][LayerType = Simple][NumberOfNeurons = 1000][~Layer]";
  parts.conns = Block("[WeightList][From=999 To=999 Weight=2][~WeightList]");
  NetworkPtr network = Read(parts.Text());
  EXPECT_EQ(network->GetNumWeights(FMaskExists), 1);
}

// Every prefix of a valid file is either rejected or read completely.
TEST(FileTools, ReadNetworkHandlesEveryPrefixOfAFile) {
  for (const char* name : {"xor.wgt", "sparse.wgt", "connected.wgt"}) {
    const std::string text = ExampleText(name);
    const std::string expected = Describe(*Read(text));
    int complete = 0;
    TestSupport::ConsoleRecorder console;  // cut weight-list words are echoed as unknown
    for (std::size_t length = 0; length <= text.size(); ++length) {
      std::istringstream in(text.substr(0, length));
      FileTools tools;
      try {
        NetworkPtr network(tools.ReadNetwork(in, nullptr));
        EXPECT_EQ(Describe(*network), expected) << name << " cut at " << length;
        ++complete;
      } catch (const FileTools::Error& error) {
        EXPECT_FALSE(error.message.empty());
      }
    }
    // Only the prefixes that end after the network block's end tag read.
    EXPECT_EQ(complete, static_cast<int>(text.size() - text.rfind("]")));
  }
}

// Damaged files: bytes replaced, dropped or repeated, numbers made huge or
// negative. Each is rejected or read; none may stop the program.
TEST(FileTools, ReadNetworkSurvivesDamagedFiles) {
  const std::string alphabet = "[]=~/*-,0123456789 \nTFaz";
  const char* numbers[] = {"2000000000", "-1", "-2147483648", "99999999999", "1e308", "nan", "0"};
  std::mt19937 rng(7);
  int read = 0;
  TestSupport::ConsoleRecorder console;  // words of damaged weight lists are echoed
  for (const char* name : {"xor.wgt", "sparse.wgt", "connected.wgt"}) {
    const std::string original = ExampleText(name);
    for (int round = 0; round < 1500; ++round) {
      std::string text = original;
      for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0; --edits) {
        const std::size_t at = rng() % text.size();
        switch (rng() % 4) {
          case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
          case 1: text.erase(at, 1 + rng() % 8); break;
          case 2: text.insert(at, text.substr(rng() % text.size(), 1 + rng() % 40)); break;
          default: {
            const std::size_t digit = text.find_first_of("0123456789", at);
            if (digit != std::string::npos) text.replace(digit, 1, numbers[rng() % 7]);
          }
        }
      }
      std::istringstream in(text);
      FileTools tools;
      try {
        NetworkPtr network(tools.ReadNetwork(in, nullptr));
        ++read;
      } catch (const FileTools::Error& error) {
        EXPECT_FALSE(error.message.empty());
      }
    }
  }
  EXPECT_GT(read, 0);  // some damage is harmless, such as a changed weight
}

// A stream that cannot seek, such as a pipe.
class PipeBuffer : public std::streambuf {
 public:
  explicit PipeBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 private:
  std::string text_;
};

TEST(FileTools, ReadNetworkReadsStreamsThatCannotSeek) {
  const std::string text = ExampleText("sparse.wgt");
  PipeBuffer buffer(text + "/* trailing comment */");
  std::istream in(&buffer);
  FileTools tools;
  NetworkPtr network(tools.ReadNetwork(in, nullptr));
  EXPECT_EQ(Describe(*network), Describe(*Read(text)));

  PipeBuffer broken(text.substr(0, 600));
  std::istream brokenIn(&broken);
  try {
    NetworkPtr none(tools.ReadNetwork(brokenIn, nullptr));
    ADD_FAILURE();
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.message, ErrorOf(text.substr(0, 600)));
    EXPECT_EQ(error.in, &brokenIn);
  }
}

// ---- Round trips ----

std::string Write(TBasicNetwork& network) {
  std::ostringstream out;
  FileTools tools;
  tools.WriteNetwork(out, &network, nullptr);
  return out.str();
}

TEST(FileTools, ReadNetworkThenWriteNetworkReproducesTheExamples) {
  for (const char* name : {"xor.wgt", "sparse.wgt", "connected.wgt"}) {
    const std::string text = ExampleText(name);
    EXPECT_EQ(Write(*Read(text)), text) << name;
  }
}

// Builds random networks of every kind the writer handles.
class RandomNetworks {
 public:
  explicit RandomNetworks(unsigned seed) : rng_(seed) { std::srand(seed); }

  int Below(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  double Value() { return std::uniform_real_distribution<double>(-3, 3)(rng_); }

  std::unique_ptr<TBasicNetwork> Mlp() {
    const int numLayers = 1 + Below(4);
    std::vector<int> sizes;
    for (int k = 0; k < numLayers; ++k) sizes.push_back(1 + Below(6));
    auto network = std::make_unique<TMLPNetwork>(numLayers, sizes.data(), Chance(0.7));
    network->Randomize(-2, 2);
    for (int k = 2; k <= numLayers; ++k) VaryNeurons(*network->layers[k]);
    EditBlocks(*network);
    return network;
  }

  // Layer 0 is the input layer; the other layers are Simple or Gain, some
  // empty; pairs are connected at random, forwards, backwards and to
  // themselves, by pruneable or fully connected blocks.
  std::unique_ptr<TBasicNetwork> Basic() {
    const int numLayers = 2 + Below(4);
    auto network = std::make_unique<TBasicNetwork>(numLayers);
    TBasicNetwork* net = network.get();
    net->SetLayer(0, new TSimpleInputLayer(net, 0, 1 + Below(5)));
    for (int k = 1; k < numLayers; ++k) {
      const int size = Chance(0.1) ? 0 : 1 + Below(7);
      if (Chance(0.5)) {
        net->SetLayer(k, new TGainLayer(net, k, size, 1.0));
      } else {
        net->SetLayer(k, new TSimpleLayer(net, k, size));
      }
      VaryNeurons(*net->layers[k]);
    }
    net->inLayer = 0;
    for (int from = 0; from < numLayers; ++from) {
      for (int to = 0; to < numLayers; ++to) {
        if (!Chance(from < to ? 0.6 : 0.15)) continue;
        if (Chance(0.25)) {
          net->InstallConnections(new TConnectedConnections(net, from, to));
        } else {
          net->Connect(from, to);
        }
      }
    }
    net->Randomize(-2, 2);
    EditBlocks(*net);
    return network;
  }

  std::unique_ptr<TBasicNetwork> Connected() {
    const int numLayers = 2 + Below(3);
    std::vector<int> sizes;
    for (int k = 0; k < numLayers; ++k) sizes.push_back(1 + Below(5));
    auto network = std::make_unique<TConnectedNetwork>(numLayers, sizes.data());
    for (int k = 0; k < numLayers; ++k) {
      if (k != network->inLayer) VaryNeurons(*network->layers[k]);
    }
    for (int to = 1; to < numLayers; ++to) {
      for (int from = 0; from < to; ++from) {
        if (from == to - 1 || Chance(0.5)) network->Connect(from, to);
      }
    }
    network->Randomize(-2, 2);
    return network;
  }

 private:
  // One function for the layer or one per neuron; one gain or one per neuron.
  void VaryNeurons(TBasicLayer& layer) {
    static const ActFunction plain[] = {LinearFunction, SaturatedLinearFunction, SigmoidFunction, TanhFunction};
    static const ActFunction gain[] = {LinearGainFunction, SigmoidGainFunction, TanhGainFunction};
    const bool isGain = std::string(layer.GetTypeName()) == "Gain";
    auto pick = [&]() { return isGain && Chance(0.5) ? gain[Below(3)] : plain[Below(4)]; };
    if (Chance(0.5)) {
      layer.SetActivationFunction(pick());
    } else {
      for (int i = 0; i < layer.numNeurons; ++i) layer.GetNeuron(i)->SetActivationFunction(pick());
    }
    if (!isGain) return;
    const double shared = Value();
    const bool perNeuron = Chance(0.5);
    for (int i = 0; i < layer.numNeurons; ++i) {
      const double value = perNeuron ? Value() : shared;
      layer.GetNeuron(i)->SetParameters(&value);
    }
  }

  // Prunes and freezes connections of the pruneable blocks, so that blocks
  // end up dense (a matrix) or sparse (a weight list).
  void EditBlocks(TBasicNetwork& network) {
    for (TBasicConnections* block : network.priv_conns) {
      if (std::string(block->GetConnectionsNType()) != "Pruneable") continue;
      const double prune = std::vector<double>{0, 0, 0.3, 0.7, 0.9, 1}[static_cast<std::size_t>(Below(6))];
      const double freeze = Chance(0.5) ? 0 : 0.3;
      const int nFrom = network.layers[block->fromLayer]->numNeurons;
      const int nTo = network.layers[block->toLayer]->numNeurons;
      for (int f = 0; f < nFrom; ++f) {
        for (int t = 0; t < nTo; ++t) {
          if (Chance(prune)) block->PruneConnection(f, t);
          if (Chance(freeze)) block->SetUnTrainable(f, t);
        }
      }
    }
  }

  std::mt19937 rng_;
};

// The same structure and, to the precision of the file, the same values.
void ExpectSameNetwork(TBasicNetwork& a, TBasicNetwork& b) {
  ASSERT_EQ(std::string(a.GetNetworkType()), b.GetNetworkType());
  ASSERT_EQ(a.numLayers, b.numLayers);
  EXPECT_EQ(a.inLayer, b.inLayer);
  EXPECT_EQ(a.outLayer, b.outLayer);
  for (int k = 0; k < a.numLayers; ++k) {
    TBasicLayer* la = a.layers[k];
    TBasicLayer* lb = b.layers[k];
    ASSERT_EQ(std::string(la->GetTypeName()), lb->GetTypeName());
    ASSERT_EQ(la->numNeurons, lb->numNeurons);
    for (int i = 0; i < la->numNeurons; ++i) {
      EXPECT_EQ(la->GetNeuron(i)->GetActivationFunction(), lb->GetNeuron(i)->GetActivationFunction());
      double pa = 0;
      double pb = 0;
      if (la->GetNeuron(i)->GetNumParameters() == 1) {
        la->GetNeuron(i)->GetParameters(&pa);
        lb->GetNeuron(i)->GetParameters(&pb);
      }
      EXPECT_NEAR(pa, pb, 1e-14);
    }
  }
  for (std::size_t i = 0; i < a.priv_conns.size(); ++i) {
    TBasicConnections* ba = a.priv_conns[i];
    TBasicConnections* bb = b.priv_conns[i];
    ASSERT_EQ(std::string(ba->GetConnectionsNType()), bb->GetConnectionsNType());
    if (!ba->IsConnected()) continue;
    for (int f = 0; f < a.layers[ba->fromLayer]->numNeurons; ++f) {
      for (int t = 0; t < a.layers[ba->toLayer]->numNeurons; ++t) {
        ASSERT_EQ(ba->IsValid(f, t), bb->IsValid(f, t));
        if (!ba->IsValid(f, t)) continue;
        EXPECT_EQ(ba->IsTrainable(f, t), bb->IsTrainable(f, t));
        EXPECT_NEAR(ba->Weight(f, t), bb->Weight(f, t), 1e-14);
      }
    }
  }
}

void ExpectRoundTrip(TBasicNetwork& original, unsigned seed) {
  SCOPED_TRACE(seed);
  const std::string text = Write(original);
  NetworkPtr copy = Read(text);
  ASSERT_EQ(Write(*copy), text);
  ExpectSameNetwork(original, *copy);
  std::mt19937 rng(seed);
  std::vector<double> input(static_cast<std::size_t>(original.layers[original.inLayer]->numNeurons));
  for (double& x : input) x = std::uniform_real_distribution<double>(-1, 1)(rng);
  const std::vector<double> expected = Recall(original, input);
  const std::vector<double> actual = Recall(*copy, input);
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i], actual[i], 1e-9);
}

TEST(FileTools, ReadNetworkReadsBackWhatWriteNetworkWrites) {
  // Every form of the file must have come up in the random networks.
  std::vector<std::string> forms = {"[NetworkType = MLP]", "[NetworkType = Basic]", "[NetworkType = Connected]",
                                    "[WeightList]", "UnTrainable ]", "[Matrix Weights TrainableInfo ]",
                                    "F ", "[Matrix Weights ]", "[Neurons]", "[All Gain=", "[BiasLayer = 0]",
                                    "[NumberOfNeurons = 0]", "-gain"};
  for (unsigned seed = 1; seed <= 60; ++seed) {
    RandomNetworks random(seed);
    NetworkPtr networks[] = {random.Mlp(), random.Basic(), random.Connected()};
    for (NetworkPtr& network : networks) {
      ExpectRoundTrip(*network, seed);
      const std::string text = Write(*network);
      std::erase_if(forms, [&](const std::string& form) { return text.find(form) != std::string::npos; });
    }
  }
  EXPECT_TRUE(forms.empty()) << forms.front();
}

}  // namespace

// Errors of the file's content point at the statement they concern.
TEST(FileTools, ReadNetworkErrorsCarryTheirLineAndColumn) {
  const std::string good = ExampleText("xor.wgt");
  auto position_of = [](const std::string& text) {
    std::istringstream in(text);
    FileTools tools;
    try {
      NetworkPtr network(tools.ReadNetwork(in, nullptr));
    } catch (const FileTools::Error& error) {
      return error.message + " at " + std::to_string(error.line) + ":" + std::to_string(error.column);
    }
    return std::string("read");
  };
  ASSERT_EQ(position_of(good), "read");

  // An unknown function name on its own line.
  std::string text = good;
  const std::size_t at = text.find("[All ActivationFunction=sigmoid ]");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 33, "[All ActivationFunction=sigmoidal ]");
  const long line = 1 + static_cast<long>(std::count(good.begin(), good.begin() + static_cast<long>(at), '\n'));
  // The item after "[All " is the statement concerned.
  EXPECT_EQ(position_of(text), "Unknown activation function sigmoidal at " + std::to_string(line) + ":6");

  // A matrix cell that is not a bare word, indented by three blanks.
  EXPECT_EQ(position_of("[NeuralNetwork]\n[NetworkType = Basic]\n[NetworkInformation]\n[NumberOfLayers = 2]\n"
                        "[InputLayer = 0]\n[OutputLayer = 1]\n[~NetworkInformation]\n"
                        "[Layer = 0]\n[LayerType = Input]\n[NumberOfNeurons = 1]\n[All ActivationFunction=linear ]\n[~Layer]\n"
                        "[Layer = 1]\n[LayerType = Simple]\n[NumberOfNeurons = 1]\n[All ActivationFunction=linear ]\n[~Layer]\n"
                        "[ConnectionLayer]\n[LayerFrom = 0]\n[LayerTo = 1]\n[ConnectionType = Pruneable]\n"
                        "[Matrix Weights ]\n   [x]\n[~Matrix]\n[~ConnectionLayer]\n[~NeuralNetwork]\n"),
            "Token Expected at 23:4");
}

// Matrix cells are mostly read in place in the stream's buffer; a cell cut
// by the end of a get area, or a buffer without one, takes the general path.
// What the reader builds, and where it says an error is, must be the same
// whichever way the bytes come.
TEST(FileTools, ReadNetworkReadsMatricesTheSameThroughEveryStreamBuffer) {
  auto outcome = [](std::istream& in) {
    FileTools tools;
    try {
      NetworkPtr network(tools.ReadNetwork(in, nullptr));
      return Describe(*network);
    } catch (const FileTools::Error& error) {
      return error.message + " at " + std::to_string(error.line) + ":" + std::to_string(error.column);
    }
  };
  const auto block = [](const std::string& matrix) {
    return WithConns(Block("[Matrix Weights TrainableInfo ]\n" + matrix + "[~Matrix]\n"));
  };
  std::vector<std::string> texts = {
      block("  0.5 T -0.0625 F\n"),
      block("/* To-> 0 1 */\r\n  -0.123456789012345678 T\t1e-300,F\n"),  // a comment, CR LF, long digits
      block("  - F    0.25 t\n"),
      block("  0.5 T /* cut */ -0.25"),                     // the matrix ends one flag early
      block("  0.5 T x F\n"),                                // not a number
      block("  0.5 Q 0.25 T\n"),                             // not a flag
      block("  0.5 T [0.25] T\n"),                           // a bracket for a cell
      block("  0.5 T " + std::string(300, '7') + " T\n"),   // too long for the quick number path
  };
  for (unsigned seed = 1; seed <= 6; ++seed) {
    RandomNetworks random(seed);
    NetworkPtr networks[] = {random.Mlp(), random.Basic(), random.Connected()};
    for (NetworkPtr& network : networks) texts.push_back(Write(*network));
  }
  for (const std::string& text : texts) {
    std::istringstream plain(text);
    const std::string expected = outcome(plain);
    for (const std::size_t chunk : {0, 1, 2, 3, 7, 64, 4096}) {
      TestSupport::ChunkedBuffer buffer(text, chunk);
      std::istream in(&buffer);
      EXPECT_EQ(outcome(in), expected) << "chunk " << chunk << " of:\n" << text;
    }
  }
  // The cases above that must fail, fail where they should.
  EXPECT_EQ(ErrorOf(texts[3]), "Token Expected");
  EXPECT_EQ(ErrorOf(texts[4]), "number-expected");
  EXPECT_EQ(ErrorOf(texts[5]), "Flag T or F expected for an existing connection");
  EXPECT_EQ(ErrorOf(texts[6]), "Token Expected");
  EXPECT_EQ(Read(texts[7])->priv_conns_index[1][0]->Weight(1, 0), std::strtod(std::string(300, '7').c_str(), nullptr));
}
