// Layers: arrays of neurons of one class with their outputs.
//
// A layer belongs to one network (|network| is a plain back pointer, never
// freed by the layer) and owns its neurons, its output array and its optional
// dimension list. During recall it gathers its net input from the connection
// blocks that lead into it from lower-numbered layers, then lets each neuron
// turn its net input into its output.
//
//   TBasicLayer        abstract base
//   TSimpleLayer       a layer of TBasicNeuron
//   TSimpleInputLayer  a TSimpleLayer that copies the network's input vector
//   TGainLayer         a layer of TGainNeuron
//
// Layers are released with Destroy(), never with delete (the destructor is
// protected); TLayerDestroyer and TLayerPtr let an owner hold one in a
// std::unique_ptr. The network owns its layers; code that builds a network
// layer by layer (the file reader) installs them with TBasicNetwork::SetLayer.
//
// Users normally include "NeuralNets/TBasicNetwork.h", which includes this.
#ifndef NETFORGE_NEURALNETS_TBASICLAYER_H
#define NETFORGE_NEURALNETS_TBASICLAYER_H

#include <memory>
#include <vector>

#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicNeuron.h"

class TBasicNetwork;

class TBasicLayer {
 public:
  TBasicNetwork* network;  // the network that holds the layer (not owned)
  // The function shared by all neurons, cached; null while not worked out or
  // when the neurons differ. When set it equals every neuron's actFn.
  ActFunction commonFn;
  // Number of neurons. The network keeps it in step with the neuron array
  // around InsertNeuron/RemoveNeuron (see there).
  int numNeurons;
  int layerNum;  // the layer's position in its network; kept right by the network
  // One entry per neuron: the neuron outputs, and during recall first the
  // net-input accumulator. Neuron i's |output| points at outputs[i].
  std::vector<double> outputs;
  int numDimensions;            // number of entries in |dimensions|
  std::vector<int> dimensions;  // stored, copied and handed out, never interpreted

  // numNeurons must be >= 0 (check "numNeurons>=0").
  TBasicLayer(TBasicNetwork* network, int layerNum, int numNeurons);
  TBasicLayer(const TBasicLayer&) = delete;
  TBasicLayer& operator=(const TBasicLayer&) = delete;

  // Computes neuron i's output from net[i] for every neuron, with the common
  // function if set, otherwise the neuron's own. |net| is |outputs| or an
  // array apart from it.
  virtual void Activate(const double* net);
  // The i-th neuron; i must lie in 0 .. numNeurons-1 (not checked).
  virtual TBasicNeuron* GetNeuron(int i) = 0;
  // One layer's part of the forward pass; |input| is the network's input
  // vector (needed only by the input layer).
  virtual void Recall(const double* input);
  // The layer type stored in network files: "Simple", "Input" or "Gain".
  virtual const char* GetTypeName() = 0;
  // Releases the layer with its neurons and arrays.
  virtual void Destroy() = 0;
  // A new layer of the same class, number, size, functions, gains and
  // dimensions, held by |newNetwork|, with all outputs 0.
  virtual TBasicLayer* Clone(TBasicNetwork* newNetwork) = 0;
  // Drops the neuron at |index| (check "index>=0", "index<numNeurons"); the
  // others close up. numNeurons and |outputs| are left unchanged: the caller
  // (the network's RemoveNode) decrements numNeurons right after the call.
  virtual void RemoveNeuron(int index) = 0;
  // Opens a neuron at |index| (check "index>=0", "index<=numNeurons") with
  // the common function (or "error" if there is none) and, in a gain layer,
  // the first neuron's gain (1.0 in an empty layer); |outputs| grows to
  // numNeurons+1 zeros. The caller increments numNeurons right after the
  // call. Fails the check "false" on a class without neuron insertion.
  virtual void InsertNeuron(int index);

  // Gives every neuron |fn| and caches it as the common function.
  void SetActivationFunction(ActFunction fn);
  // The common function: the cached one, "null" for a layer without neurons,
  // or, if every neuron has the same function, that one (then cached); null
  // when the neurons differ.
  ActFunction GetActivationFunction();
  // Copies the numDimensions values to |parameters| (check
  // "parameters != NULL" when there are any).
  void GetDimensions(int* parameters);
  // Replaces the dimension list by a copy of |n| values (n = 0: empty list;
  // otherwise check "parameters != NULL").
  void SetDimensions(int n, const int* parameters);
  // Sets |layerNum| of the layer and of each neuron; used by the network when
  // layers are renumbered.
  void SetLayerNum(int number);

 protected:
  virtual ~TBasicLayer() = default;
  // Gathers the net input into |outputs| from the blocks of all lower layers.
  void AccumulateFromLowerLayers();
  // Copies the base state of |source| (dimensions, common function) into a
  // freshly created clone.
  void CopyBaseState(const TBasicLayer& source);
};

struct TLayerDestroyer {
  void operator()(TBasicLayer* layer) const { layer->Destroy(); }
};
using TLayerPtr = std::unique_ptr<TBasicLayer, TLayerDestroyer>;

class TSimpleLayer : public TBasicLayer {
 public:
  std::vector<TBasicNeuron> nodes;  // the neurons, in order

  TSimpleLayer(TBasicNetwork* network, int layerNum, int numNeurons);

  void Activate(const double* net) override;
  TBasicNeuron* GetNeuron(int i) override { return &nodes[i]; }
  const char* GetTypeName() override;
  void Destroy() override;
  TBasicLayer* Clone(TBasicNetwork* newNetwork) override;
  void RemoveNeuron(int index) override;
  void InsertNeuron(int index) override;

 protected:
  ~TSimpleLayer() override = default;
};

class TSimpleInputLayer : public TSimpleLayer {
 public:
  // A TSimpleLayer whose neurons get the "linear" function.
  TSimpleInputLayer(TBasicNetwork* network, int layerNum, int numNeurons);

  // As the network's input layer: copies the input, reads no block, calls no
  // function. Anywhere else: warns on standard error and outputs zeros.
  void Recall(const double* input) override;
  const char* GetTypeName() override;
  TBasicLayer* Clone(TBasicNetwork* newNetwork) override;

 protected:
  ~TSimpleInputLayer() override = default;
};

class TGainLayer : public TBasicLayer {
 public:
  std::vector<TGainNeuron> nodes;  // the neurons, in order

  // Every neuron gets |gain| and the "error" function.
  TGainLayer(TBasicNetwork* network, int layerNum, int numNeurons, double gain);

  void Activate(const double* net) override;
  TBasicNeuron* GetNeuron(int i) override { return &nodes[i]; }
  const char* GetTypeName() override;
  void Destroy() override;
  TBasicLayer* Clone(TBasicNetwork* newNetwork) override;
  void RemoveNeuron(int index) override;
  void InsertNeuron(int index) override;

  // Sets the gain of every neuron.
  void SetGain(double gain);

 protected:
  ~TGainLayer() override = default;
};

#endif  // NETFORGE_NEURALNETS_TBASICLAYER_H
