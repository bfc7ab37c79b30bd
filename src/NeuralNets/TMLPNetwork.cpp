#include "NeuralNets/TMLPNetwork.h"

#include <stdexcept>

#include "Common/Assert.h"

namespace {

// numLayers + 1 must not overflow on the way to Init's own size check.
int LayerCountWithBias(int numLayers) {
  NF_ASSERT(numLayers>=0);
  if (numLayers >= TBasicNetwork::MaxLayers) throw std::length_error("network too large: more than 46340 layers");
  return numLayers + 1;
}

}  // namespace

TMLPNetwork::TMLPNetwork(int numLayers, const int* sizes, bool bias) : bias(bias) {
  NF_ASSERT(numLayers>=1);
  NF_ASSERT(sizes != NULL);
  Init(LayerCountWithBias(numLayers));
  SetLayer(0, new TSimpleLayer(this, 0, bias ? 1 : 0));
  SetLayer(1, new TSimpleInputLayer(this, 1, sizes[0]));
  for (int k = 2; k <= numLayers; ++k) SetLayer(k, new TGainLayer(this, k, sizes[k - 1], 1.0));
  layers[1]->SetActivationFunction(fnRegistry->GetFunction("linear"));
  for (int k = 2; k <= numLayers; ++k) {
    Connect(k - 1, k);
    layers[k]->SetActivationFunction(fnRegistry->GetFunction("sigmoid"));
  }
  if (bias) {
    layers[0]->SetActivationFunction(fnRegistry->GetFunction("bias"));
    for (int k = 2; k <= numLayers; ++k) Connect(0, k);
  }
  inLayer = 1;
}

TMLPNetwork::TMLPNetwork(int numLayers, bool bias) : bias(bias) {
  Init(LayerCountWithBias(numLayers));
}

TMLPNetwork::~TMLPNetwork() = default;

const char* TMLPNetwork::GetNetworkType() {
  return "MLP";
}
