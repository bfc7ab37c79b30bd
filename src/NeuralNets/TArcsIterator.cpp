#include "NeuralNets/TArcsIterator.h"

#include "Common/Assert.h"
#include "NeuralNets/TBasicNetwork.h"

// ---- Abstract classes ----

void TArcsIterator::Reserved1() {
  NF_ASSERT(false);
}

bool TArcsIterator::HasArc() {
  return OnArc();
}

void TArcsIterator::Reserved2() {
  NF_ASSERT(false);
}

void TArcsIterator::Reserved3() {
  NF_ASSERT(false);
}

void TInAllArcsIterator::Init(int, int) {}

void TInAllArcsIterator::Init(TBasicNeuron* neuron) {
  Init(neuron->layerNum, neuron->index);
}

void TInAllArcsIterator::Reserved() {
  Reserved2();
}

void TInLayerArcsIterator::Init(int, int, int) {}

void TInLayerArcsIterator::Init(TBasicNeuron* neuron) {
  Init(neuron->layerNum, neuron->index, 0);
}

void TInLayerArcsIterator::Reserved() {
  Reserved2();
}

namespace {

// The target neuron must exist: the iterators read its weight row.
TBasicNeuron* TargetNeuron(TBasicNetwork* network, int toLayer, int toNode) {
  NF_ASSERT(network != NULL);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<network->numLayers);
  NF_ASSERT(toNode>=0);
  NF_ASSERT(toNode<network->layers[toLayer]->numNeurons);
  return network->layers[toLayer]->GetNeuron(toNode);
}

}  // namespace

// ---- TConnInAllArcsIterator ----

TConnInAllArcsIterator::TConnInAllArcsIterator(TBasicNetwork* network) : TInAllArcsIterator(network) {}

void TConnInAllArcsIterator::Init(int toLayer, int toNode) {
  toNeuron = TargetNeuron(network, toLayer, toNode);
  this->toLayer = toLayer;
  this->toNode = toNode;
  Leave(-1);
  initialised = true;
}

// Off any arc, before the first (-1) or after the last (numLayers).
void TConnInAllArcsIterator::Leave(int position) {
  fromLayer = position;
  fromNode = -1;
  fromNeuron = nullptr;
  weight = nullptr;
  lastFromNode = -1;
  block = nullptr;
  row = nullptr;
}

void TConnInAllArcsIterator::Stand(int node) {
  fromNode = node;
  fromNeuron = network->layers[fromLayer]->GetNeuron(node);
  weight = row + node;
}

// Stands on the first (or, |atEnd|, the last) arc from |layer| if the pair is
// connected and the layer has neurons.
bool TConnInAllArcsIterator::EnterLayer(int layer, bool atEnd) {
  TBasicConnections* candidate = network->priv_conns_index[toLayer][layer];
  const int count = network->layers[layer]->numNeurons;
  if (!candidate->IsConnected() || count == 0) return false;
  fromLayer = layer;
  block = candidate;
  lastFromNode = count - 1;
  row = &candidate->Weight(0, toNode);
  Stand(atEnd ? lastFromNode : 0);
  return true;
}

bool TConnInAllArcsIterator::Next() {
  if (!initialised) return false;
  if (block != nullptr && fromNode < lastFromNode) {
    Stand(fromNode + 1);
    return true;
  }
  for (int layer = fromLayer + 1; layer < network->numLayers; ++layer) {
    if (EnterLayer(layer, false)) return true;
  }
  Leave(network->numLayers);
  return false;
}

bool TConnInAllArcsIterator::Prev() {
  if (!initialised) return false;
  if (block != nullptr && fromNode > 0) {
    Stand(fromNode - 1);
    return true;
  }
  for (int layer = fromLayer - 1; layer >= 0; --layer) {
    if (EnterLayer(layer, true)) return true;
  }
  Leave(-1);
  return false;
}

// ---- TConnInLayerArcsIterator ----

TConnInLayerArcsIterator::TConnInLayerArcsIterator(TBasicNetwork* network) : TInLayerArcsIterator(network) {}

void TConnInLayerArcsIterator::Init(int toLayer, int toNode, int fromLayer) {
  toNeuron = TargetNeuron(network, toLayer, toNode);
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<network->numLayers);
  this->toLayer = toLayer;
  this->toNode = toNode;
  this->fromLayer = fromLayer;
  fromNode = -1;
  fromNeuron = nullptr;
  weight = nullptr;
  TBasicLayer* source = network->layers[fromLayer];
  fromOutputs = source->outputs.data();
  TBasicConnections* candidate = network->priv_conns_index[toLayer][fromLayer];
  // An empty block has no weight rows to walk: such a pair has no arcs.
  if (candidate->IsConnected()) {
    block = candidate;
    lastFromNode = source->numNeurons - 1;
    row = source->numNeurons > 0 ? &candidate->Weight(0, toNode) : nullptr;
  } else {
    block = nullptr;
    lastFromNode = -1;
    row = nullptr;
  }
}

void TConnInLayerArcsIterator::Stand(int node) {
  fromNode = node;
  fromNeuron = network->layers[fromLayer]->GetNeuron(node);
  weight = row + node;
}

bool TConnInLayerArcsIterator::Next() {
  if (block == nullptr || fromNode >= lastFromNode) return false;
  Stand(fromNode + 1);
  return true;
}

bool TConnInLayerArcsIterator::Prev() {
  if (block == nullptr || fromNode < 1) return false;
  Stand(fromNode - 1);
  return true;
}
