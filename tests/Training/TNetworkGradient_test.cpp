// The gradient of the training error against central finite differences, for
// every kind of network, activation function, error function and penalty the
// trainer takes: one parametrised check.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DataObject/Data.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Training/TTrainingSet.h"
#include "Training/TrainingObjective.h"
#include "Training/UpdateCells.h"

namespace {

enum class Shape { Mlp, MlpNoBias, ShortcutFromFile, PrunedAndFrozen, Connected };

struct GradientCase {
  const char* name;
  Shape shape;
  const char* hiddenFn;
  const char* outputFn;
  TTrainingError error;
  const char* penalty;  // structured-message text, or null
  bool trainGains;
};

std::ostream& operator<<(std::ostream& out, const GradientCase& c) { return out << c.name; }

std::unique_ptr<TKQstructure> ParsePenalty(const char* text) {
  if (text == nullptr) return nullptr;
  const char* cursor = text;
  return std::unique_ptr<TKQstructure>(ParseMessage(cursor));
}

// Gives every gain neuron of layers 2.. a gain that is not 1, so a wrong
// gain factor shows.
void SetGains(TBasicNetwork& network) {
  for (int k = 2; k < network.numLayers; ++k) {
    for (int i = 0; i < network.layers[k]->numNeurons; ++i) {
      if (auto* neuron = dynamic_cast<TGainNeuron*>(network.layers[k]->GetNeuron(i))) neuron->gain = 0.7 + 0.2 * i;
    }
  }
}

std::unique_ptr<TBasicNetwork> ReadBack(TBasicNetwork& network) {
  std::stringstream file;
  FileTools tools;
  tools.WriteNetwork(file, &network, nullptr);
  return std::unique_ptr<TBasicNetwork>(tools.ReadNetwork(file, nullptr));
}

std::unique_ptr<TBasicNetwork> Build(const GradientCase& c) {
  std::srand(7);
  std::unique_ptr<TBasicNetwork> network;
  if (c.shape == Shape::Connected) {
    const int sizes[] = {1, 3, 4, 2};
    network = std::make_unique<TConnectedNetwork>(4, sizes);
    network->layers[0]->SetActivationFunction(BiasFunction);
    for (auto [from, to] : {std::pair{0, 2}, {0, 3}, {1, 2}, {2, 3}, {1, 3}}) network->Connect(from, to);
  } else {
    const int sizes[] = {3, 4, 3, 2};
    network = std::make_unique<TMLPNetwork>(4, sizes, c.shape != Shape::MlpNoBias);
  }
  TFnRegistry& fns = *network->fnRegistry;
  for (int k = 2; k < network->outLayer; ++k) network->layers[k]->SetActivationFunction(fns.GetFunction(c.hiddenFn));
  network->layers[network->outLayer]->SetActivationFunction(fns.GetFunction(c.outputFn));
  network->Randomize(-0.8, 0.8);
  SetGains(*network);
  if (c.shape == Shape::ShortcutFromFile) {
    // Input straight into the output layer and the first hidden layer
    // straight into the output layer, then through the file reader.
    network->Connect(1, 4);
    network->Connect(2, 4);
    network->priv_conns_index[4][1]->Randomize(-0.8, 0.8);
    network->priv_conns_index[4][2]->Randomize(-0.8, 0.8);
    network = ReadBack(*network);
  }
  if (c.shape == Shape::PrunedAndFrozen) {
    TBasicConnections* hidden = network->priv_conns_index[2][1];
    hidden->PruneConnection(0, 1);
    hidden->PruneConnection(2, 3);
    hidden->SetUnTrainable(1, 0);
    network->priv_conns_index[4][3]->SetUnTrainable(2, 1);
    network->priv_conns_index[3][0]->SetUnTrainable(0, 2);
  }
  return network;
}

std::unique_ptr<Data> MakeData(int inputs, int outputs) {
  auto data = std::make_unique<Data>(5, inputs, outputs, false);
  for (int r = 0; r < 5; ++r) {
    std::vector<double> in(static_cast<std::size_t>(inputs)), out(static_cast<std::size_t>(outputs));
    for (int i = 0; i < inputs; ++i) in[static_cast<std::size_t>(i)] = std::sin(1.3 * r + 0.7 * i);
    for (int o = 0; o < outputs; ++o) out[static_cast<std::size_t>(o)] = 0.5 + 0.4 * std::cos(0.9 * r + 1.1 * o);
    data->AppendRow(in.data(), out.data(), nullptr);
  }
  return data;
}

// E computed the independent way: the network's own Recall into the error
// measures, plus the penalty they add.
double ErrorOf(TBasicNetwork& network, const Data& data, TTrainingError error, const TKQstructure* penalty) {
  const int nOut = network.layers[network.outLayer]->numNeurons;
  TErrorRMSObj rms(nOut);
  TErrorCrossEntropyObj crossEntropy(nOut);
  TErrorObj& measure = error == TTrainingError::SumSquared ? static_cast<TErrorObj&>(rms) : crossEntropy;
  std::vector<double> out(static_cast<std::size_t>(nOut));
  for (int r = 0; r < data.MbrNdxDataRows; ++r) {
    network.Recall(data.MbrDyaRtpInputs[r], out.data());
    measure.AddPattern(data.MbrDyaRtpOutputs[r], out.data());
  }
  std::vector<double> weights(static_cast<std::size_t>(network.GetNumWeights(FMaskExists)));
  network.GetWeights(weights.data(), FMaskExists);
  measure.AddPenalty(static_cast<int>(weights.size()), weights.data(), penalty);
  return error == TTrainingError::SumSquared ? 0.5 * rms.GetSum() : crossEntropy.GetSum();
}

class GradientCheck : public ::testing::TestWithParam<GradientCase> {};

TEST_P(GradientCheck, EqualsCentralDifferences) {
  const GradientCase& c = GetParam();
  std::unique_ptr<TBasicNetwork> network = Build(c);
  const std::unique_ptr<TKQstructure> penaltyText = ParsePenalty(c.penalty);
  const TDerivativeTable derivatives;
  TNetworkGradient model(*network, derivatives, c.error, c.trainGains);
  const std::unique_ptr<Data> data = MakeData(model.NumInputs(), model.NumOutputs());
  const TTrainingSet set(*data, model.NumInputs(), model.NumOutputs(), c.error, "the set");

  // The forward pass gives the bits of the network's own Recall.
  std::vector<double> recalled(static_cast<std::size_t>(model.NumOutputs()));
  for (int r = 0; r < set.Rows(); ++r) {
    network->Recall(set.Inputs(r), recalled.data());
    const double* forward = model.Forward(set.Inputs(r));
    for (int o = 0; o < model.NumOutputs(); ++o) {
      EXPECT_EQ(std::memcmp(&forward[o], &recalled[static_cast<std::size_t>(o)], sizeof(double)), 0);
    }
  }

  std::vector<double> gradient(model.Layout().size, 0.0);
  AddSetGradient(model, set, c.error, TPenaltyTerm(penaltyText.get()), gradient.data());

  int checked = 0;
  double worst = 0.0;
  model.Layout().ForEach([&](double& w, std::size_t k) {
    const double saved = w;
    const double h = 1e-5 * std::max(1.0, std::fabs(saved));
    w = saved + h;
    const double up = ErrorOf(*network, *data, c.error, penaltyText.get());
    w = saved - h;
    const double down = ErrorOf(*network, *data, c.error, penaltyText.get());
    w = saved;
    const double numeric = (up - down) / (2.0 * h);
    const double scale = std::max({std::fabs(numeric), std::fabs(gradient[k]), 1e-3});
    worst = std::max(worst, std::fabs(numeric - gradient[k]) / scale);
    ++checked;
  });
  EXPECT_LT(worst, 1e-6) << "over " << checked << " parameters";
  EXPECT_EQ(static_cast<std::size_t>(checked), model.Layout().trainable);

  // Frozen and pruned connections are no parameters, and a gain is one only
  // when asked for.
  if (c.shape == Shape::PrunedAndFrozen) {
    EXPECT_EQ(model.Layout().trainable,
              static_cast<std::size_t>(network->GetNumWeights(0)) + model.Layout().gains.size());
    EXPECT_EQ(network->GetNumWeights(FMaskExists) - network->GetNumWeights(0), 3);
  }
  EXPECT_EQ(model.Layout().gains.empty(), !c.trainGains);
}

// A batch of patterns through AddBatchGradient (and ForwardBatch) gives the
// gradient bits and outputs of AddPatternGradient called pattern by pattern, for batch sizes
// around the groups of 32 patterns (the rows cycle through the set, with
// large inputs mixed in so that sigmoids saturate).
TEST_P(GradientCheck, BatchEqualsPatternByPattern) {
  const GradientCase& c = GetParam();
  std::unique_ptr<TBasicNetwork> network = Build(c);
  const TDerivativeTable derivatives;
  TNetworkGradient model(*network, derivatives, c.error, c.trainGains);
  const std::unique_ptr<Data> data = MakeData(model.NumInputs(), model.NumOutputs());
  const std::size_t nOut = static_cast<std::size_t>(model.NumOutputs());
  std::vector<double> loud(static_cast<std::size_t>(model.NumInputs()), -700.0);
  for (int count : {1, 7, 32, 33, 70}) {
    std::vector<const double*> inputs, targets;
    for (int i = 0; i < count; ++i) {
      inputs.push_back(i % 11 == 10 ? loud.data() : data->MbrDyaRtpInputs[i % 5]);
      targets.push_back(data->MbrDyaRtpOutputs[(i + 2) % 5]);
    }
    std::vector<double> expected(model.Layout().size, 0.25), actual = expected;
    std::vector<double> expectedOut(static_cast<std::size_t>(count) * nOut), actualOut(expectedOut.size());
    for (int i = 0; i < count; ++i) {
      const double* y = model.AddPatternGradient(inputs[static_cast<std::size_t>(i)],
                                                 targets[static_cast<std::size_t>(i)], expected.data());
      std::memcpy(&expectedOut[static_cast<std::size_t>(i) * nOut], y, nOut * sizeof(double));
    }
    model.AddBatchGradient(inputs.data(), targets.data(), count, actual.data(), actualOut.data());
    EXPECT_EQ(std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(double)), 0) << count;
    EXPECT_EQ(std::memcmp(expectedOut.data(), actualOut.data(), expectedOut.size() * sizeof(double)), 0) << count;
    std::fill(actualOut.begin(), actualOut.end(), 0.0);
    model.ForwardBatch(inputs.data(), count, actualOut.data());
    EXPECT_EQ(std::memcmp(expectedOut.data(), actualOut.data(), expectedOut.size() * sizeof(double)), 0) << count;
  }
}

// Every value a step may change: the block cells (trainable or not) and the
// gains.
std::vector<double> Parameters(const TParameterLayout& layout, TBasicNetwork& network) {
  std::vector<double> values;
  for (const TParameterLayout::Block& b : layout.blocks) values.insert(values.end(), b.weights, b.weights + b.cells);
  for (int k = 0; k < network.numLayers; ++k) {
    for (int i = 0; i < network.layers[k]->numNeurons; ++i) {
      if (auto* neuron = dynamic_cast<TGainNeuron*>(network.layers[k]->GetNeuron(i))) values.push_back(neuron->gain);
    }
  }
  return values;
}

// DescendPattern gives the bits of AddPatternGradient into a zeroed gradient
// followed by the momentum step on every parameter (velocities, weights,
// gains and outputs), pattern after pattern; cells that are not trainable
// keep their bits.
TEST_P(GradientCheck, DescendPatternEqualsGradientThenStep) {
  const GradientCase& c = GetParam();
  std::unique_ptr<TBasicNetwork> plainNetwork = Build(c), network = Build(c);
  const TDerivativeTable derivatives;
  TNetworkGradient plain(*plainNetwork, derivatives, c.error, c.trainGains);
  TNetworkGradient model(*network, derivatives, c.error, c.trainGains);
  const std::unique_ptr<Data> data = MakeData(model.NumInputs(), model.NumOutputs());
  const std::size_t nOut = static_cast<std::size_t>(model.NumOutputs());
  const std::vector<double> start = Parameters(model.Layout(), *network);
  std::vector<double> loud(static_cast<std::size_t>(model.NumInputs()), -700.0);
  std::vector<double> gradient(plain.Layout().size), plainVelocity(gradient.size(), 0.0), velocity = plainVelocity;
  for (int i = 0; i < 12; ++i) {
    const double* input = i % 7 == 6 ? loud.data() : data->MbrDyaRtpInputs[i % 5];
    const double* target = data->MbrDyaRtpOutputs[(i + 2) % 5];
    std::fill(gradient.begin(), gradient.end(), 0.0);
    const double* expectedOut = plain.AddPatternGradient(input, target, gradient.data());
    plain.Layout().ForEach([&](double& w, std::size_t k) {
      UpdateCells::Descend(gradient[k], 0.4, 0.8, plainVelocity[k], w);
    });
    const double* out = model.DescendPattern(input, target, 0.4, 0.8, velocity.data());
    ASSERT_EQ(std::memcmp(expectedOut, out, nOut * sizeof(double)), 0) << "pattern " << i;
    ASSERT_EQ(std::memcmp(plainVelocity.data(), velocity.data(), velocity.size() * sizeof(double)), 0) << i;
    const std::vector<double> expected = Parameters(plain.Layout(), *plainNetwork);
    const std::vector<double> actual = Parameters(model.Layout(), *network);
    ASSERT_EQ(std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(double)), 0) << "pattern " << i;
  }
  const std::vector<double> end = Parameters(model.Layout(), *network);
  std::size_t cell = 0;
  for (const TParameterLayout::Block& b : model.Layout().blocks) {
    for (std::size_t i = 0; i < b.cells; ++i, ++cell) {
      if (b.flags != nullptr && (b.flags[i] & FMaskAll) != FMaskAll) {
        EXPECT_EQ(std::memcmp(&start[cell], &end[cell], sizeof(double)), 0) << "cell " << cell;
      }
    }
  }
  EXPECT_NE(std::memcmp(start.data(), end.data(), start.size() * sizeof(double)), 0);
}

const TTrainingError kRms = TTrainingError::SumSquared;
const TTrainingError kCe = TTrainingError::CrossEntropy;

INSTANTIATE_TEST_SUITE_P(
    Training, GradientCheck,
    ::testing::Values(
        GradientCase{"sigmoid_bias", Shape::Mlp, "sigmoid", "sigmoid", kRms, nullptr, false},
        GradientCase{"sigmoid_no_bias", Shape::MlpNoBias, "sigmoid", "sigmoid", kRms, nullptr, false},
        GradientCase{"linear", Shape::Mlp, "linear", "linear", kRms, nullptr, false},
        GradientCase{"saturated_linear", Shape::Mlp, "saturated-linear", "sigmoid", kRms, nullptr, false},
        GradientCase{"tanh", Shape::Mlp, "tanh", "tanh", kRms, nullptr, false},
        GradientCase{"linear_gain", Shape::Mlp, "linear-gain", "linear-gain", kRms, nullptr, true},
        GradientCase{"sigmoid_gain", Shape::Mlp, "sigmoid-gain", "sigmoid-gain", kRms, nullptr, true},
        GradientCase{"tanh_gain", Shape::Mlp, "tanh-gain", "tanh-gain", kRms, nullptr, true},
        GradientCase{"gain_functions_gains_fixed", Shape::Mlp, "tanh-gain", "sigmoid-gain", kRms, nullptr, false},
        GradientCase{"cross_entropy", Shape::Mlp, "tanh", "sigmoid", kCe, nullptr, false},
        GradientCase{"cross_entropy_sigmoid_gain", Shape::Mlp, "sigmoid", "sigmoid-gain", kCe, nullptr, true},
        GradientCase{"quadpenalty", Shape::Mlp, "sigmoid", "sigmoid", kRms,
                     "(quadpenalty :epsilon1 0.3 :epsilon2 0.05 :beta 2)", false},
        GradientCase{"lwf", Shape::Mlp, "sigmoid", "sigmoid", kRms, "(lwf :learningrate 0.5 :forgettingrate 0.2)", false},
        GradientCase{"quadpenalty_cross_entropy", Shape::MlpNoBias, "tanh", "sigmoid", kCe,
                     "(QUADPENALTY :EPSILON1 0.1 :EPSILON2 0.02)", false},
        GradientCase{"shortcut_from_file", Shape::ShortcutFromFile, "tanh", "sigmoid", kRms, nullptr, false},
        GradientCase{"pruned_and_frozen", Shape::PrunedAndFrozen, "sigmoid-gain", "sigmoid", kRms,
                     "(lwf :learningrate 1 :forgettingrate 0.1)", true},
        GradientCase{"connected_network", Shape::Connected, "tanh", "sigmoid", kCe, nullptr, false}),
    [](const ::testing::TestParamInfo<GradientCase>& info) { return std::string(info.param.name); });

}  // namespace
