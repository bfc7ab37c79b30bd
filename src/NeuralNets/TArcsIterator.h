// Arc iterators: walking the weights that lead into one neuron.
//
// An arc is one possible connection into the iterator's target neuron: source
// layer and neuron, target layer and neuron, and the weight. The iterators
// read the weights straight from the rows of the weight-carrying blocks and
// do not consult connection flags: every position of such a block is an arc.
//
//   TArcsIterator              abstract: the accessors and stepping
//   TInAllArcsIterator         abstract: arcs from all source layers
//     TConnInAllArcsIterator   concrete
//   TInLayerArcsIterator       abstract: arcs from one source layer
//     TConnInLayerArcsIterator concrete
//
// Usage: construct (or take TConnectedNetwork::NewInAllArcsIterator(), which
// the caller then deletes), call Init, then Next() until it returns false;
// each true result stands the iterator on an arc whose data the accessors
// return. An iterator holds plain pointers into its network and is valid only
// while the network's layers, layer sizes and blocks stay as they are.
//
// Users normally include "NeuralNets/TBasicNetwork.h", which includes this.
#ifndef NETFORGE_NEURALNETS_TARCSITERATOR_H
#define NETFORGE_NEURALNETS_TARCSITERATOR_H

class TBasicNetwork;
class TBasicNeuron;
class TBasicConnections;

class TArcsIterator {
 public:
  virtual ~TArcsIterator() = default;

  // Data of the current arc. Off any arc the neuron and weight pointers are
  // null and the source neuron index is -1.
  virtual int GetFromLayer() = 0;
  virtual int GetToLayer() = 0;
  virtual int GetFromNode() = 0;
  virtual int GetToNode() = 0;
  virtual TBasicNeuron* GetToNeuron() = 0;
  virtual TBasicNeuron* GetFromNeuron() = 0;
  virtual double* GetWeight() = 0;  // read and write
  virtual void Reserved1();         // fails the check "false"
  virtual bool HasArc();            // OnArc()
  virtual void Reserved2();         // fails the check "false"
  virtual void Reserved3();         // fails the check "false"
  virtual bool OnArc() = 0;
  // Moves to the next (previous) arc; false when there is none.
  virtual bool Next() = 0;
  virtual bool Prev() = 0;
};

class TInAllArcsIterator : public TArcsIterator {
 public:
  TBasicNetwork* network;  // not owned

  explicit TInAllArcsIterator(TBasicNetwork* network) : network(network) {}
  // Aims the iterator at neuron |toNode| of layer |toLayer|, before its first
  // arc. Does nothing in this abstract class.
  virtual void Init(int toLayer, int toNode);
  // Init(neuron's layer number, neuron's index).
  void Init(TBasicNeuron* neuron);
  // Calls Reserved2().
  void Reserved();
};

class TInLayerArcsIterator : public TArcsIterator {
 public:
  TBasicNetwork* network;  // not owned

  explicit TInLayerArcsIterator(TBasicNetwork* network) : network(network) {}
  // Aims the iterator at neuron |toNode| of layer |toLayer| and the arcs from
  // layer |fromLayer|. Does nothing in this abstract class.
  virtual void Init(int toLayer, int toNode, int fromLayer);
  // Init(neuron's layer number, neuron's index, 0).
  void Init(TBasicNeuron* neuron);
  // Calls Reserved2().
  void Reserved();
};

// Arcs from every layer of the network (the target layer included), source
// layers ascending, skipping unconnected pairs and empty layers; within a
// source layer, source neurons ascending.
//
// Positions: after Init the iterator stands before the first arc; Next()
// past the last arc leaves it after the last arc, where Next() keeps
// returning false and Prev() returns to the last arc; Prev() before the first
// arc leaves it before the first arc, where Prev() keeps returning false and
// Next() finds the first arc. Before Init there is no arc either way.
class TConnInAllArcsIterator : public TInAllArcsIterator {
 public:
  explicit TConnInAllArcsIterator(TBasicNetwork* network);

  using TInAllArcsIterator::Init;
  // Layer and neuron numbers must be valid (consistency checks).
  void Init(int toLayer, int toNode) override;

  int GetFromLayer() override { return fromLayer; }
  int GetToLayer() override { return toLayer; }
  int GetFromNode() override { return fromNode; }
  int GetToNode() override { return toNode; }
  TBasicNeuron* GetToNeuron() override { return toNeuron; }
  TBasicNeuron* GetFromNeuron() override { return fromNeuron; }
  double* GetWeight() override { return weight; }
  bool OnArc() override { return block != nullptr; }
  bool Next() override;
  bool Prev() override;

 private:
  bool EnterLayer(int layer, bool atEnd);
  void Leave(int position);
  void Stand(int node);

  int fromLayer = -1;    // current source layer; -1 before the first arc, numLayers after the last
  int fromNode = -1;     // current source neuron; -1 off any arc
  int toLayer = 0;
  int toNode = 0;
  TBasicNeuron* fromNeuron = nullptr;
  TBasicNeuron* toNeuron = nullptr;
  double* weight = nullptr;
  int lastFromNode = -1;  // last neuron index of the current source layer
  TBasicConnections* block = nullptr;  // current block; null off any arc
  double* row = nullptr;  // the target's weight row in |block|
  bool initialised = false;
};

// Arcs from one source layer, source neurons ascending. After Init the
// iterator stands before neuron 0 of the source layer; OnArc() is true once
// Init found a connected block for the pair (also before the first Next()).
// Init on an unconnected pair leaves the iterator off any arc: OnArc() false
// and Next() false.
class TConnInLayerArcsIterator : public TInLayerArcsIterator {
 public:
  explicit TConnInLayerArcsIterator(TBasicNetwork* network);

  using TInLayerArcsIterator::Init;
  // Layer and neuron numbers must be valid (consistency checks).
  void Init(int toLayer, int toNode, int fromLayer) override;

  int GetFromLayer() override { return fromLayer; }
  int GetToLayer() override { return toLayer; }
  int GetFromNode() override { return fromNode; }
  int GetToNode() override { return toNode; }
  TBasicNeuron* GetToNeuron() override { return toNeuron; }
  TBasicNeuron* GetFromNeuron() override { return fromNeuron; }
  double* GetWeight() override { return weight; }
  bool OnArc() override { return block != nullptr; }
  bool Next() override;
  bool Prev() override;

  double* fromOutputs = nullptr;  // the source layer's output vector

 private:
  void Stand(int node);

  int fromLayer = 0;
  int fromNode = -1;
  int toLayer = 0;
  int toNode = 0;
  TBasicNeuron* fromNeuron = nullptr;
  TBasicNeuron* toNeuron = nullptr;
  double* weight = nullptr;
  int lastFromNode = -1;
  TBasicConnections* block = nullptr;  // the pair's block; null when not connected
  double* row = nullptr;
};

#endif  // NETFORGE_NEURALNETS_TARCSITERATOR_H
