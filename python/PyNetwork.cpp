#include "PyNetwork.h"

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace py = pybind11;

namespace nfpy {

ReadLock::ReadLock(PyNetwork& network) : mutex_(network.mutex()) {
  if (!mutex_.try_lock()) {
    py::gil_scoped_release release;
    mutex_.lock();
  }
}

EditLock::EditLock(PyNetwork& network) : ReadLock(network) {
  // A throw here unlocks: the constructed base is destroyed.
  if (network.training) {
    throw std::runtime_error("the network cannot be changed while it trains");
  }
}

bool IsGainFunction(ActFunction fn) {
  return fn == LinearGainFunction || fn == SigmoidGainFunction || fn == TanhGainFunction;
}

void PyNetwork::CheckLayer(long layer, const char* what) {
  if (layer < 0 || layer >= network_->numLayers) {
    throw py::index_error(std::string(what) + " " + std::to_string(layer) + " is not a layer of this network (0 .. " +
                          std::to_string(network_->numLayers - 1) + ")");
  }
}

TBasicConnections& PyNetwork::ConnectedBlock(long source, long target) {
  CheckLayer(source, "source layer");
  CheckLayer(target, "target layer");
  TBasicConnections* block = network_->priv_conns_index[target][source];
  if (!block->IsConnected()) {
    throw py::value_error("layers " + std::to_string(source) + " and " + std::to_string(target) + " are not connected");
  }
  return *block;
}

void PyNetwork::CheckRecallable() {
  for (TBasicLayer* layer : network_->layers) {
    // An input layer copies the input (or outputs zeros); it runs no function.
    if (dynamic_cast<TSimpleInputLayer*>(layer) != nullptr) continue;
    for (int i = 0; i < layer->numNeurons; ++i) {
      TBasicNeuron* neuron = layer->GetNeuron(i);
      const ActFunction fn = layer->commonFn != nullptr ? layer->commonFn : neuron->actFn;
      const bool runnable = fn != ErrorFunction && fn != NullFunction &&
                            (!IsGainFunction(fn) || dynamic_cast<TGainNeuron*>(neuron) != nullptr);
      if (!runnable) {
        throw py::value_error("neuron " + std::to_string(i) + " of layer " + std::to_string(layer->layerNum) +
                              " has the activation function \"" + network_->fnRegistry->GetFunctionName(fn) +
                              "\", which cannot be recalled");
      }
    }
  }
}

}  // namespace nfpy
