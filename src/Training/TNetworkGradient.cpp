#include "Training/TNetworkGradient.h"

#include <string>
#include <typeinfo>

#include "Common/NumberText.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/NetInputKernels.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Training/BackwardKernels.h"
#include "Training/UpdateCells.h"

namespace {

const char* const kOrigin = "TNetworkGradient::TNetworkGradient";

[[noreturn]] void Refuse(const std::string& message) {
  throw TException(message.c_str(), "Untrainable Network", kOrigin, nullptr);
}

std::string Number(long n) {
  std::string text;
  Netforge::AppendLong(text, n);
  return text;
}

// The registered name of |fn|, without the registry's check for unknown
// functions (a user's function need not be registered).
std::string FunctionName(const TBasicNetwork& network, ActFunction fn) {
  const TFnRegistry& registry = *network.fnRegistry;
  for (int i = registry.count - 1; i >= 0; --i) {
    if (registry.entries[i].fn == fn && registry.entries[i].name != nullptr) return registry.entries[i].name;
  }
  return "(unregistered)";
}

bool AllTrainable(const unsigned char* flags, std::size_t cells) {
  if (flags == nullptr) return true;
  for (std::size_t i = 0; i < cells; ++i) {
    if ((flags[i] & FMaskAll) != FMaskAll) return false;
  }
  return true;
}

bool IsGainFunction(ActFunction fn) {
  return fn == LinearGainFunction || fn == SigmoidGainFunction || fn == TanhGainFunction;
}

// The rows of a weight-carrying block, or false for any other block class.
bool ViewOf(TBasicConnections* block, TBlockView& view, double*& weights, const unsigned char*& flags) {
  if (typeid(*block) == typeid(TPrunedConnections)) {
    auto* pruned = static_cast<TPrunedConnections*>(block);
    view.rows = pruned->index_weights.data();
    view.flagRows = pruned->index_masks.data();
    weights = pruned->array_weights.data();
    flags = pruned->array_masks.data();
    return true;
  }
  if (typeid(*block) == typeid(TConnectedConnections)) {
    auto* connected = static_cast<TConnectedConnections*>(block);
    view.rows = connected->index_weights.data();
    view.flagRows = nullptr;
    weights = connected->array_weights.data();
    flags = nullptr;
    return true;
  }
  return false;
}

}  // namespace

double& TParameterLayout::GainValue(const Gain& g) { return g.neuron->gain; }

TNetworkGradient::TNetworkGradient(TBasicNetwork& network, const TDerivativeTable& derivatives,
                                   TTrainingError error, bool trainGains)
    : network_(network), error_(error) {
  CheckBlocks();
  CheckNeurons(derivatives);
  LayOut(trainGains);
}

void TNetworkGradient::CheckBlocks() {
  TBasicNetwork& net = network_;
  const int n = net.numLayers;
  if (n < 2 || net.inLayer < 0 || net.inLayer >= n || net.outLayer < 0 || net.outLayer >= n) {
    Refuse("the network has no valid input and output layer");
  }
  if (net.outLayer <= net.inLayer) Refuse("the output layer does not lie above the input layer: nothing to train");
  lastLayer_ = net.outLayer;

  // Only forward blocks of the two weight-carrying classes.
  for (int from = 0; from < n; ++from) {
    for (int to = 0; to < n; ++to) {
      TBasicConnections* block = net.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      if (from >= to) {
        Refuse("the block from layer " + Number(from) + " into layer " + Number(to) +
               " leads into the same or a lower layer (a recurrent network cannot be trained)");
      }
      TBlockView view;
      double* weights = nullptr;
      const unsigned char* flags = nullptr;
      if (!ViewOf(block, view, weights, flags)) {
        Refuse("the block from layer " + Number(from) + " into layer " + Number(to) + " is of the type \"" +
               block->GetConnectionsNType() + "\", which training does not know");
      }
    }
  }

}

void TNetworkGradient::CheckNeurons(const TDerivativeTable& derivatives) {
  TBasicNetwork& net = network_;
  if (dynamic_cast<TSimpleInputLayer*>(net.layers[net.inLayer]) == nullptr) {
    Refuse("the input layer " + Number(net.inLayer) + " is not an input-type layer");
  }
  slopes_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  for (int k = 0; k <= lastLayer_; ++k) {
    TBasicLayer* layer = net.layers[k];
    if (k == net.inLayer) continue;
    if (dynamic_cast<TSimpleInputLayer*>(layer) != nullptr) {
      Refuse("layer " + Number(k) + " is an input-type layer but not the network's input layer");
    }
    auto& slopes = slopes_[static_cast<std::size_t>(k)];
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const ActFunction fn = neuron->GetActivationFunction();
      const TDerivativeTable::Entry* entry = derivatives.Find(fn);
      const std::string where = "neuron " + Number(i) + " of layer " + Number(k);
      if (entry == nullptr) {
        Refuse(where + " has the activation function \"" + FunctionName(net, fn) +
               "\", whose derivative is not known");
      }
      if (IsGainFunction(fn) && dynamic_cast<TGainNeuron*>(neuron) == nullptr) {
        Refuse(where + " has the gain function \"" + FunctionName(net, fn) + "\" but no gain");
      }
      if (k == lastLayer_ && error_ == TTrainingError::CrossEntropy && fn != SigmoidFunction &&
          fn != SigmoidGainFunction) {
        Refuse("cross-entropy needs sigmoid outputs, but output " + where + " has the function \"" +
               FunctionName(net, fn) + "\"");
      }
      slopes.push_back(entry);
    }
  }
}

void TNetworkGradient::LayOut(bool trainGains) {
  TBasicNetwork& net = network_;
  const int n = net.numLayers;
  // Parameter blocks in block order, then the gains.
  gainIndex_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  incoming_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  for (int from = 0; from < n; ++from) {
    for (int to = from + 1; to <= lastLayer_; ++to) {
      TBasicConnections* block = net.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      Incoming in{from, block, {}, -1};
      double* weights = nullptr;
      const unsigned char* flags = nullptr;
      ViewOf(block, in.view, weights, flags);
      in.view.nFrom = net.layers[from]->numNeurons;
      in.view.nTo = net.layers[to]->numNeurons;
      // A block whose connections all exist and are trainable (the usual
      // case) takes the inner loops without flag tests; the bits are the same.
      const std::size_t cells = static_cast<std::size_t>(in.view.nFrom) * static_cast<std::size_t>(in.view.nTo);
      const bool allTrainable = AllTrainable(flags, cells);
      if (allTrainable) in.view.flagRows = nullptr;
      if (to != net.inLayer) {
        in.parameterBlock = static_cast<int>(layout_.blocks.size());
        layout_.blocks.push_back(
            TParameterLayout::Block{block, from, to, in.view, weights, flags, layout_.size, cells, allTrainable});
        layout_.size += cells;
        for (std::size_t i = 0; i < cells; ++i) layout_.trainable += (flags == nullptr || (flags[i] & FMaskAll) == FMaskAll);
      }
      incoming_[static_cast<std::size_t>(to)].push_back(in);
    }
  }
  for (int k = 0; k <= lastLayer_; ++k) {
    TBasicLayer* layer = net.layers[k];
    auto& gains = gainIndex_[static_cast<std::size_t>(k)];
    gains.assign(static_cast<std::size_t>(layer->numNeurons), -1);
    if (!trainGains || k == net.inLayer) continue;
    for (int i = 0; i < layer->numNeurons; ++i) {
      auto* neuron = dynamic_cast<TGainNeuron*>(layer->GetNeuron(i));
      if (neuron == nullptr || slopes_[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)]->byGain == nullptr) continue;
      gains[static_cast<std::size_t>(i)] = static_cast<long>(layout_.size);
      layout_.gains.push_back(TParameterLayout::Gain{neuron, layout_.size});
      layout_.size += 1;
      layout_.trainable += 1;
    }
  }

  gainGradient_.assign(layout_.gains.size(), 0.0);
  numInputs_ = net.layers[net.inLayer]->numNeurons;
  numOutputs_ = net.layers[lastLayer_]->numNeurons;
  net_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  outputError_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  delta_.assign(static_cast<std::size_t>(lastLayer_) + 1, {});
  for (int k = 0; k <= lastLayer_; ++k) {
    const std::size_t size = static_cast<std::size_t>(net.layers[k]->numNeurons);
    net_[static_cast<std::size_t>(k)].assign(size, 0.0);
    outputError_[static_cast<std::size_t>(k)].assign(size, 0.0);
    delta_[static_cast<std::size_t>(k)].assign(size, 0.0);
  }
}

const double* TNetworkGradient::Forward(const double* input) {
  TBasicNetwork& net = network_;
  for (int k = 0; k <= lastLayer_; ++k) {
    TBasicLayer* layer = net.layers[k];
    if (k == net.inLayer) {
      for (int i = 0; i < layer->numNeurons; ++i) layer->outputs[static_cast<std::size_t>(i)] = input[i];
      continue;
    }
    std::vector<double>& netInput = net_[static_cast<std::size_t>(k)];
    for (double& value : netInput) value = 0.0;
    for (const Incoming& in : incoming_[static_cast<std::size_t>(k)]) {
      // A block whose connections all exist (and are trainable) takes the
      // loop without flag tests: the sums of AccumulateNetInput, with less
      // to read.
      if (in.view.flagRows == nullptr) {
        NetInputKernels::AccumulateDense(in.view.rows, net.layers[in.fromLayer]->outputs.data(), in.view.nFrom,
                                         in.view.nTo, netInput.data());
      } else {
        in.block->AccumulateNetInput(netInput.data());
      }
    }
    layer->Activate(netInput.data());
  }
  return net.layers[lastLayer_]->outputs.data();
}

const double* TNetworkGradient::AddPatternGradient(const double* input, const double* target, double* gradient) {
  const double* outputs = Forward(input);
  Backward(target, gradient, nullptr);
  return outputs;
}

const double* TNetworkGradient::DescendPattern(const double* input, const double* target, double rate,
                                               double momentum, double* velocity) {
  const double* outputs = Forward(input);
  for (double& g : gainGradient_) g = 0.0;
  const Descent descent{rate, momentum, velocity};
  Backward(target, nullptr, &descent);
  // The gains last: the backward pass reads them.
  for (std::size_t i = 0; i < layout_.gains.size(); ++i) {
    const TParameterLayout::Gain& gain = layout_.gains[i];
    UpdateCells::Descend(gainGradient_[i], rate, momentum, velocity[gain.offset], gain.neuron->gain);
  }
  return outputs;
}

double& TNetworkGradient::GainGradient(long index, double* gradient) {
  if (gradient != nullptr) return gradient[index];
  return gainGradient_[static_cast<std::size_t>(index) - layout_.gains.front().offset];
}

void TNetworkGradient::Backward(const double* target, double* gradient, const Descent* descent) {
  TBasicNetwork& net = network_;
  for (auto& errors : outputError_) {
    for (double& value : errors) value = 0.0;
  }
  // The output layer's error: dE/dy = y - t for the squared error. For
  // cross-entropy the sigmoid's slope cancels, so the delta is set directly.
  {
    const std::vector<double>& y = net.layers[lastLayer_]->outputs;
    std::vector<double>& err = outputError_[static_cast<std::size_t>(lastLayer_)];
    for (int i = 0; i < numOutputs_; ++i) err[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)] - target[i];
  }
  for (int k = lastLayer_; k >= 0; --k) {
    if (k == net.inLayer) continue;
    const auto& incoming = incoming_[static_cast<std::size_t>(k)];
    const auto& gains = gainIndex_[static_cast<std::size_t>(k)];
    TBasicLayer* layer = net.layers[k];
    const std::vector<double>& netInput = net_[static_cast<std::size_t>(k)];
    const std::vector<double>& err = outputError_[static_cast<std::size_t>(k)];
    std::vector<double>& delta = delta_[static_cast<std::size_t>(k)];
    const bool crossEntropyOutput = k == lastLayer_ && error_ == TTrainingError::CrossEntropy;
    for (int i = 0; i < layer->numNeurons; ++i) {
      const std::size_t s = static_cast<std::size_t>(i);
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const double y = layer->outputs[s];
      const TDerivativeTable::Entry* slope = slopes_[static_cast<std::size_t>(k)][s];
      if (crossEntropyOutput) {
        // dE/dnet = (y - t) for "sigmoid", (y - t) * g for "sigmoid-gain";
        // dE/dg = (y - t) * net.
        const bool gain = slope->fn == SigmoidGainFunction;
        delta[s] = gain ? err[s] * static_cast<TGainNeuron*>(neuron)->gain : err[s];
        if (gains[s] >= 0) GainGradient(gains[s], gradient) += err[s] * netInput[s];
        continue;
      }
      delta[s] = err[s] * slope->byNet(neuron, netInput[s], y);
      if (gains[s] >= 0) GainGradient(gains[s], gradient) += err[s] * slope->byGain(neuron, netInput[s], y);
    }
    for (const Incoming& in : incoming) {
      // The error passes back before a descent moves the block's weights.
      const std::size_t from = static_cast<std::size_t>(in.fromLayer);
      const bool errorNeeded = in.fromLayer != net.inLayer &&
                               (!incoming_[from].empty() || !layout_.gains.empty());
      if (errorNeeded) BackwardKernels::PropagateError(in.view, delta.data(), outputError_[from].data());
      if (in.parameterBlock < 0) continue;
      const TParameterLayout::Block& block = layout_.blocks[static_cast<std::size_t>(in.parameterBlock)];
      const double* y = net.layers[in.fromLayer]->outputs.data();
      if (descent != nullptr) {
        BackwardKernels::Descend(in.view, delta.data(), y, descent->rate, descent->momentum,
                                 descent->velocity + block.offset);
      } else {
        BackwardKernels::AccumulateGradient(in.view, delta.data(), y, gradient + block.offset);
      }
    }
  }
}
