#include "NeuralNets/TBasicLayer.h"

#include <utility>

#include "Common/Assert.h"
#include "Common/Console.h"
#include "NeuralNets/ActivationArrays.h"
#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicNetwork.h"

namespace {

// The neuron arrays of TSimpleLayer and TGainLayer differ only in the neuron
// class, so their bookkeeping is written once here.

// Points neuron i at its layer and output entry and keeps its numbering right.
template <class Neuron>
void AttachNodes(TBasicLayer& layer, std::vector<Neuron>& nodes) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    nodes[i].layer = &layer;
    nodes[i].output = &layer.outputs[i];
    nodes[i].layerNum = layer.layerNum;
    nodes[i].index = static_cast<int>(i);
  }
}

template <class Neuron>
void CreateNodes(TBasicLayer& layer, std::vector<Neuron>& nodes, const Neuron& prototype) {
  nodes.assign(static_cast<std::size_t>(layer.numNeurons), prototype);
  AttachNodes(layer, nodes);
}

// The gain is a field of the neuron, so copying a neuron copies it; a layer
// copies it once more after CopyState so that no hook can lose it.
inline void CopyGain(TBasicNeuron&, const TBasicNeuron&) {}
inline void CopyGain(TGainNeuron& to, const TGainNeuron& from) {
  to.gain = from.gain;
}

// Copies |from| into |to| the way a layer moves a neuron: all fields, the
// CopyState hook, then the gain again. The caller re-attaches |to|.
template <class Neuron>
void CopyNode(Neuron& to, const Neuron& from) {
  to = from;
  to.CopyState(&from);
  CopyGain(to, from);
}

template <class Neuron>
void CopyNodes(TBasicLayer& clone, std::vector<Neuron>& cloneNodes, const std::vector<Neuron>& sourceNodes) {
  for (std::size_t i = 0; i < cloneNodes.size(); ++i) CopyNode(cloneNodes[i], sourceNodes[i]);
  AttachNodes(clone, cloneNodes);
}

// Whether every neuron's |output| points at its own entry of the layer's
// outputs, as AttachNodes leaves it (the fields are public, so this is
// checked rather than assumed).
template <class Neuron>
bool OutputsAttached(const TBasicLayer& layer, const std::vector<Neuron>& nodes) {
  if (nodes.size() > layer.outputs.size()) return false;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].output != layer.outputs.data() + i) return false;
  }
  return true;
}

// With the plain sigmoid or tanh common to the layer, which read nothing of
// the neuron but its output pointer, the whole layer runs through the array
// form, with the bits that the function gives neuron by neuron.
template <class Neuron>
void ActivateNodes(TBasicLayer& layer, std::vector<Neuron>& nodes, const double* net) {
  const ActFunction commonFn = layer.commonFn;
  const int n = static_cast<int>(nodes.size());
  if (commonFn == SigmoidFunction && OutputsAttached(layer, nodes)) {
    SigmoidValues(net, layer.outputs.data(), n);
  } else if (commonFn == TanhFunction && OutputsAttached(layer, nodes)) {
    TanhValues(net, layer.outputs.data(), n);
  } else if (commonFn != nullptr) {
    for (std::size_t i = 0; i < nodes.size(); ++i) commonFn(&nodes[i], net[i]);
  } else {
    for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i].actFn(&nodes[i], net[i]);
  }
}

// Closes the gap in place: nothing is allocated, so removal cannot fail.
template <class Neuron>
void RemoveNode(TBasicLayer& layer, std::vector<Neuron>& nodes, int index) {
  for (std::size_t i = static_cast<std::size_t>(index); i + 1 < nodes.size(); ++i) {
    CopyNode(nodes[i], nodes[i + 1]);
  }
  nodes.pop_back();
  AttachNodes(layer, nodes);
}

// Builds the longer arrays first and installs them only when nothing more can
// fail, so a failed allocation leaves the layer unchanged.
template <class Neuron>
void InsertNode(TBasicLayer& layer, std::vector<Neuron>& nodes, int index, const Neuron& fresh) {
  std::vector<double> outputs(nodes.size() + 1, 0.0);
  std::vector<Neuron> grown(nodes.size() + 1);
  const std::size_t at = static_cast<std::size_t>(index);
  for (std::size_t k = 0; k < nodes.size(); ++k) CopyNode(grown[k < at ? k : k + 1], nodes[k]);
  grown[at] = fresh;
  layer.outputs.swap(outputs);
  nodes.swap(grown);
  AttachNodes(layer, nodes);
}

// The function a new neuron gets: the layer's common function, unless the
// layer has none. "null" only marks an empty layer and is no function to give
// a neuron, so it counts as none (and stops being cached once the layer has
// a neuron).
ActFunction FunctionForNewNeuron(TBasicLayer& layer) {
  if (layer.commonFn == NullFunction) layer.commonFn = nullptr;
  return layer.commonFn != nullptr ? layer.commonFn : ErrorFunction;
}

}  // namespace

// ---- TBasicLayer ----

TBasicLayer::TBasicLayer(TBasicNetwork* network, int layerNum, int numNeurons)
    : network(network), commonFn(nullptr), numNeurons(numNeurons), layerNum(layerNum), numDimensions(0) {
  NF_ASSERT(numNeurons>=0);
  outputs.assign(static_cast<std::size_t>(numNeurons), 0.0);
}

void TBasicLayer::Activate(const double* net) {
  for (int i = 0; i < numNeurons; ++i) {
    TBasicNeuron* neuron = GetNeuron(i);
    const ActFunction fn = commonFn != nullptr ? commonFn : neuron->actFn;
    fn(neuron, net[i]);
  }
}

void TBasicLayer::Recall(const double* input) {
  if (network->inLayer == layerNum) {
    Netforge::WriteConsole(Netforge::ConsoleStream::Error, "!Warning: changed input layer (TSimpleLayer)\n");
    NF_ASSERT(input != NULL);
    for (int i = 0; i < numNeurons; ++i) outputs[i] = input[i];
  } else {
    for (int i = 0; i < numNeurons; ++i) outputs[i] = 0.0;
  }
  AccumulateFromLowerLayers();
  Activate(outputs.data());
}

void TBasicLayer::AccumulateFromLowerLayers() {
  TBasicConnections** row = network->priv_conns_index[layerNum];
  for (int from = 0; from < layerNum; ++from) row[from]->AccumulateNetInput(outputs.data());
}

void TBasicLayer::InsertNeuron(int) {
  NF_ASSERT(false);
}

void TBasicLayer::SetActivationFunction(ActFunction fn) {
  commonFn = fn;
  for (int i = 0; i < numNeurons; ++i) GetNeuron(i)->actFn = fn;
}

ActFunction TBasicLayer::GetActivationFunction() {
  if (commonFn != nullptr) return commonFn;
  if (numNeurons == 0) {
    commonFn = NullFunction;
    return commonFn;
  }
  const ActFunction first = GetNeuron(0)->actFn;
  for (int i = 1; i < numNeurons; ++i) {
    if (GetNeuron(i)->actFn != first) return nullptr;
  }
  commonFn = first;
  return commonFn;
}

void TBasicLayer::GetDimensions(int* parameters) {
  if (numDimensions == 0) return;
  NF_ASSERT(parameters != NULL);
  for (int i = 0; i < numDimensions; ++i) parameters[i] = dimensions[i];
}

void TBasicLayer::SetDimensions(int n, const int* parameters) {
  NF_ASSERT(n>=0);
  std::vector<int> copy;
  if (n > 0) {
    NF_ASSERT(parameters != NULL);
    copy.assign(parameters, parameters + n);
  }
  dimensions.swap(copy);
  numDimensions = n;
}

void TBasicLayer::SetLayerNum(int number) {
  layerNum = number;
  for (int i = 0; i < numNeurons; ++i) GetNeuron(i)->layerNum = number;
}

void TBasicLayer::CopyBaseState(const TBasicLayer& source) {
  dimensions = source.dimensions;
  numDimensions = source.numDimensions;
  commonFn = source.commonFn;
}

// ---- TSimpleLayer ----

TSimpleLayer::TSimpleLayer(TBasicNetwork* network, int layerNum, int numNeurons)
    : TBasicLayer(network, layerNum, numNeurons) {
  CreateNodes(*this, nodes, TBasicNeuron());
}

void TSimpleLayer::Activate(const double* net) {
  ActivateNodes(*this, nodes, net);
}

const char* TSimpleLayer::GetTypeName() {
  return "Simple";
}

void TSimpleLayer::Destroy() {
  delete this;
}

TBasicLayer* TSimpleLayer::Clone(TBasicNetwork* newNetwork) {
  TLayerPtr clone(new TSimpleLayer(newNetwork, layerNum, numNeurons));
  TSimpleLayer& copy = static_cast<TSimpleLayer&>(*clone);
  copy.CopyBaseState(*this);
  CopyNodes(copy, copy.nodes, nodes);
  return clone.release();
}

void TSimpleLayer::RemoveNeuron(int index) {
  NF_ASSERT(index>=0);
  NF_ASSERT(index<numNeurons);
  RemoveNode(*this, nodes, index);
}

void TSimpleLayer::InsertNeuron(int index) {
  NF_ASSERT(index>=0);
  NF_ASSERT(index<=numNeurons);
  TBasicNeuron fresh;
  fresh.actFn = FunctionForNewNeuron(*this);
  InsertNode(*this, nodes, index, fresh);
}

// ---- TSimpleInputLayer ----

TSimpleInputLayer::TSimpleInputLayer(TBasicNetwork* network, int layerNum, int numNeurons)
    : TSimpleLayer(network, layerNum, numNeurons) {
  SetActivationFunction(LinearFunction);
}

void TSimpleInputLayer::Recall(const double* input) {
  if (network->inLayer == layerNum) {
    NF_ASSERT(input != NULL);
    for (int i = 0; i < numNeurons; ++i) outputs[i] = input[i];
  } else {
    Netforge::WriteConsole(Netforge::ConsoleStream::Error, "!Warning: changed input layer (TSimpleInputLayer)\n");
    for (int i = 0; i < numNeurons; ++i) outputs[i] = 0.0;
  }
}

const char* TSimpleInputLayer::GetTypeName() {
  return "Input";
}

TBasicLayer* TSimpleInputLayer::Clone(TBasicNetwork* newNetwork) {
  TLayerPtr clone(new TSimpleInputLayer(newNetwork, layerNum, numNeurons));
  TSimpleInputLayer& copy = static_cast<TSimpleInputLayer&>(*clone);
  copy.CopyBaseState(*this);
  CopyNodes(copy, copy.nodes, nodes);
  return clone.release();
}

// ---- TGainLayer ----

TGainLayer::TGainLayer(TBasicNetwork* network, int layerNum, int numNeurons, double gain)
    : TBasicLayer(network, layerNum, numNeurons) {
  TGainNeuron prototype;
  prototype.gain = gain;
  CreateNodes(*this, nodes, prototype);
}

void TGainLayer::Activate(const double* net) {
  ActivateNodes(*this, nodes, net);
}

const char* TGainLayer::GetTypeName() {
  return "Gain";
}

void TGainLayer::Destroy() {
  delete this;
}

TBasicLayer* TGainLayer::Clone(TBasicNetwork* newNetwork) {
  TLayerPtr clone(new TGainLayer(newNetwork, layerNum, numNeurons, 1.0));
  TGainLayer& copy = static_cast<TGainLayer&>(*clone);
  copy.CopyBaseState(*this);
  CopyNodes(copy, copy.nodes, nodes);
  return clone.release();
}

void TGainLayer::RemoveNeuron(int index) {
  NF_ASSERT(index>=0);
  NF_ASSERT(index<numNeurons);
  RemoveNode(*this, nodes, index);
}

void TGainLayer::InsertNeuron(int index) {
  NF_ASSERT(index>=0);
  NF_ASSERT(index<=numNeurons);
  TGainNeuron fresh;
  fresh.gain = nodes.empty() ? 1.0 : nodes[0].gain;
  fresh.actFn = FunctionForNewNeuron(*this);
  InsertNode(*this, nodes, index, fresh);
}

void TGainLayer::SetGain(double gain) {
  for (TGainNeuron& neuron : nodes) neuron.gain = gain;
}
