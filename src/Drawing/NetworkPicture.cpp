#include "Drawing/NetworkPicture.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "Common/NumberText.h"
#include "NeuralNets/TBasicNetwork.h"

namespace Netforge {

namespace {

// The registered name of |fn|. Unlike TFnRegistry::GetFunctionName this
// never stops the program: a program may give a neuron a function it did not
// register, and a drawing should still come out.
std::string FunctionName(const TFnRegistry* registry, ActFunction fn) {
  if (registry != nullptr) {
    for (int i = registry->count - 1; i >= 0; --i) {
      if (registry->entries[i].fn == fn) return registry->entries[i].name;
    }
  }
  return "unregistered";
}

// The function more than half of the layer's neurons have, or null.
ActFunction MajorityFunction(TBasicLayer& layer) {
  std::vector<std::pair<ActFunction, int>> tally;
  for (int i = 0; i < layer.numNeurons; ++i) {
    const ActFunction fn = layer.GetNeuron(i)->GetActivationFunction();
    std::size_t k = 0;
    while (k < tally.size() && tally[k].first != fn) ++k;
    if (k == tally.size()) tally.emplace_back(fn, 0);
    if (++tally[k].second * 2 > layer.numNeurons) return fn;
  }
  return nullptr;
}

bool IsBiasLayer(TBasicNetwork& network, TBasicLayer& layer) {
  if (layer.layerNum == network.inLayer || layer.layerNum == network.outLayer) return false;
  if (layer.numNeurons == 0) return false;
  for (int i = 0; i < layer.numNeurons; ++i) {
    if (layer.GetNeuron(i)->GetActivationFunction() != BiasFunction) return false;
  }
  return true;
}

void DescribeLayer(TBasicNetwork& network, TBasicLayer& layer, bool withNeurons, NetworkPicture& picture) {
  const TFnRegistry* registry = network.fnRegistry.get();
  const ActFunction common = MajorityFunction(layer);
  PictureLayer entry;
  entry.number = layer.layerNum;
  entry.type = layer.GetTypeName();
  entry.neurons = layer.numNeurons;
  if (common != nullptr) entry.function = FunctionName(registry, common);
  entry.input = layer.layerNum == network.inLayer;
  entry.output = layer.layerNum == network.outLayer;
  entry.bias = IsBiasLayer(network, layer);
  picture.layers.push_back(entry);
  picture.neuronCount += layer.numNeurons;
  if (!withNeurons) return;
  for (int i = 0; i < layer.numNeurons; ++i) {
    const ActFunction fn = layer.GetNeuron(i)->GetActivationFunction();
    PictureNeuron neuron;
    neuron.layer = layer.layerNum;
    neuron.index = i;
    if (fn != common) neuron.function = FunctionName(registry, fn);
    picture.neurons.push_back(std::move(neuron));
  }
}

// Walks the existing connections of one block, keeping its figures and, in
// the neuron view, a copy of every connection.
class BlockSurvey : public TIterateObj {
 public:
  BlockSurvey(PictureBlock& block, std::vector<PictureConnection>* connections, double& largestMagnitude)
      : block_(block), connections_(connections), largestMagnitude_(largestMagnitude) {}

  void Visit() override {
    const double w = *weight;
    ++block_.existing;
    if (!trainable) ++block_.frozen;
    if (!std::isnan(w)) {
      if (!seen_ || w < block_.minWeight) block_.minWeight = w;
      if (!seen_ || w > block_.maxWeight) block_.maxWeight = w;
      seen_ = true;
      if (std::isfinite(w) && std::fabs(w) > largestMagnitude_) largestMagnitude_ = std::fabs(w);
    }
    if (connections_ != nullptr) {
      connections_->push_back(PictureConnection{fromLayer, from, toLayer, to, w, !trainable});
    }
  }

 private:
  PictureBlock& block_;
  std::vector<PictureConnection>* connections_;
  double& largestMagnitude_;
  bool seen_ = false;
};

long ExistingConnections(TBasicNetwork& network) {
  long total = 0;
  for (TBasicConnections* block : network.priv_conns) {
    if (block->IsConnected()) total += block->GetNumWeights(FMaskExists);
  }
  return total;
}

bool ChooseNeuronView(TBasicNetwork& network, const PictureOptions& options) {
  if (options.view != PictureView::kAuto) return options.view == PictureView::kNeurons;
  return network.GetNumNeurons() <= options.maxNeurons && ExistingConnections(network) <= options.maxConnections;
}

void DescribeBlocks(TBasicNetwork& network, NetworkPicture& picture) {
  std::vector<PictureConnection>* connections = picture.neuronView ? &picture.connections : nullptr;
  for (int from = 0; from < network.numLayers; ++from) {
    for (int to = 0; to < network.numLayers; ++to) {
      TBasicConnections* conns = network.priv_conns_index[to][from];
      if (!conns->IsConnected()) continue;
      PictureBlock block;
      block.fromLayer = from;
      block.toLayer = to;
      block.type = conns->GetConnectionsNType();
      block.sources = network.layers[from]->numNeurons;
      block.targets = network.layers[to]->numNeurons;
      block.possible = static_cast<long>(block.sources) * block.targets;
      BlockSurvey survey(block, connections, picture.largestMagnitude);
      conns->Iterate(survey, FMaskExists);
      picture.existingConnections += block.existing;
      picture.possibleConnections += block.possible;
      picture.frozenConnections += block.frozen;
      picture.blocks.push_back(std::move(block));
    }
  }
}

std::string Plural(long n, const char* noun) {
  std::string text = Count(n);
  text += ' ';
  text += noun;
  if (n != 1) text += 's';
  return text;
}

std::string Number(double value) {
  std::string text;
  AppendGeneral(text, value, 4);
  return text;
}

}  // namespace

std::string Count(long n) {
  std::string digits;
  AppendLong(digits, n);
  if (n < 10000 && n > -10000) return digits;
  // Groups of three digits, apart by a space: "2 002 000".
  std::string text;
  const std::size_t sign = digits[0] == '-' ? 1 : 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) text += ' ';
    text += digits[i];
  }
  return text;
}

NetworkPicture DescribeNetwork(TBasicNetwork& network, const PictureOptions& options) {
  NetworkPicture picture;
  picture.networkType = network.GetNetworkType();
  picture.caption = options.caption;
  picture.neuronView = ChooseNeuronView(network, options);
  for (int k = 0; k < network.numLayers; ++k) {
    DescribeLayer(network, *network.layers[k], picture.neuronView, picture);
  }
  DescribeBlocks(network, picture);
  for (PictureLayer& layer : picture.layers) layer.drawn = layer.neurons > 0;
  for (const PictureBlock& block : picture.blocks) {
    picture.layers[block.fromLayer].drawn = true;
    picture.layers[block.toLayer].drawn = true;
  }
  return picture;
}

std::string TitleLine(const NetworkPicture& picture) {
  std::string text = picture.networkType + " network: ";
  text += Plural(static_cast<long>(picture.layers.size()), "layer") + ", ";
  text += Plural(picture.neuronCount, "neuron") + ", ";
  text += Count(picture.existingConnections) + " of " + Count(picture.possibleConnections);
  text += " possible connections, " + Count(picture.frozenConnections) + " frozen";
  return text;
}

std::string LayerHeading(const PictureLayer& layer) {
  std::string text = "Layer ";
  AppendLong(text, layer.number);
  return text;
}

std::string LayerKind(const PictureLayer& layer) { return layer.type + ", " + Plural(layer.neurons, "neuron"); }

std::string LayerRole(const PictureLayer& layer) {
  if (layer.bias) return "bias";
  std::string text = layer.input ? "input" : layer.output ? "output" : "hidden";
  if (layer.neurons == 0) return text;
  return text + ", " + (layer.function.empty() ? std::string("mixed functions") : layer.function);
}

std::vector<std::string> BlockSummary(const PictureBlock& block) {
  std::vector<std::string> lines;
  std::string shape = "layer ";
  AppendLong(shape, block.fromLayer);
  shape += " to ";
  AppendLong(shape, block.toLayer);
  lines.push_back(shape + ": " + Count(block.sources) + " x " + Count(block.targets));
  std::string density = Count(block.existing) + " of " + Count(block.possible);
  if (block.possible > 0) {
    density += " (";
    AppendGeneral(density, 100.0 * static_cast<double>(block.existing) / static_cast<double>(block.possible), 3);
    density += " %)";
  }
  lines.push_back(std::move(density));
  if (block.existing > 0) lines.push_back("weights " + Number(block.minWeight) + " to " + Number(block.maxWeight));
  if (block.frozen > 0) lines.push_back(Count(block.frozen) + " frozen");
  return lines;
}

}  // namespace Netforge
