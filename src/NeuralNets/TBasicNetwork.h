// TBasicNetwork: the frame of every network, and the header that gives users
// the whole network model (neurons, layers, connection blocks, visitors, arc
// iterators).
//
// A network holds an ordered array of layers and a square matrix of
// connection blocks, one for every ordered pair of layers (a layer with
// itself included). The block from layer |from| into layer |to| is
// priv_conns[to * numLayers + from], reached as priv_conns_index[to][from];
// an unconnected pair holds a TEmptyConnections, a connected pair a
// TPrunedConnections (TConnectedConnections in a TConnectedNetwork).
//
// Ownership: the network owns its layers (released with Destroy), its blocks
// (deleted, except the empty blocks it was sized with, which it makes and
// frees all at once: EmptyBlockPool.h), the arrays that hold them, and its
// activation-function registry. Layers and blocks keep plain back pointers to the network. Every
// layer entry must be filled before any operation other than the ones that
// fill it (SetLayer) runs; a network whose layer array is only partly filled
// may still be destroyed.
//
// Numbering: layer k sits at layers[k] and has layerNum k; neurons are also
// numbered globally, layer by layer in ascending layer number. Block order
// (weight vectors, randomisation): source layer outer, target layer inner.
//
// Failures: misuse (bad layer numbers, bad neuron numbers, operations a block
// does not support) fails a consistency check, which stops the program. Sizes
// whose products cannot be represented (numLayers * numLayers, a block's
// nFrom * nTo, total counts above INT_MAX) throw std::length_error before
// anything changes; allocation failures throw std::bad_alloc. Construction
// and structural edits either complete or leave the network as it was.
#ifndef NETFORGE_NEURALNETS_TBASICNETWORK_H
#define NETFORGE_NEURALNETS_TBASICNETWORK_H

#include <memory>
#include <vector>

#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TArcsIterator.h"
#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TBasicNeuron.h"
#include "NeuralNets/TIterateObj.h"

class EmptyBlockPool;

class TBasicNetwork {
 public:
  // The largest layer count whose block matrix (numLayers squared entries)
  // fits an int.
  static constexpr int MaxLayers = 46340;

  int numLayers;
  std::vector<TBasicLayer*> layers;  // owned; entry k has layerNum k (null only while being filled)
  int inLayer;   // number of the input layer; 1 after sizing
  int outLayer;  // number of the output layer; numLayers - 1 after sizing
  std::vector<TBasicConnections*> priv_conns;          // owned blocks, row |to|, column |from|
  std::vector<TBasicConnections**> priv_conns_index;   // priv_conns_index[to] = &priv_conns[to * numLayers]
  std::unique_ptr<TFnRegistry> fnRegistry;             // the ten built-in functions (null while unsized)

  // An unsized network (no layers, no registry); subclasses then call Init.
  TBasicNetwork();
  // Init(n_layers): n_layers unconnected pairs' empty blocks and an empty
  // layer array that the caller fills with SetLayer.
  explicit TBasicNetwork(int n_layers);
  // A deep copy: layers and blocks cloned, a fresh registry. The copy is a
  // TBasicNetwork whatever the class of |x|; every layer of |x| must exist.
  TBasicNetwork(const TBasicNetwork& x);
  TBasicNetwork& operator=(const TBasicNetwork& x);
  virtual ~TBasicNetwork();

  // Sum of the blocks' counts (throws std::length_error above INT_MAX).
  virtual int GetNumWeights(int mask);
  // The blocks' weight vectors concatenated in block order; returns the count.
  virtual int GetWeights(double* out, int mask);
  virtual int SetWeights(const double* in, int mask);
  // Randomize(min, max) on every block in block order, so a given seed always
  // gives the same weights for the same topology.
  virtual void Randomize(double min, double max);
  // Replaces the empty block of the pair by a TPrunedConnections (all
  // connections present and trainable, weights 0.0); a connected pair is
  // left as it is. Both layers must exist.
  virtual void Connect(int fromLayer, int toLayer);
  // Replaces the pair's block, whatever it is, by a new empty block.
  virtual void Disconnect(int fromLayer, int toLayer);
  // The forward pass: every layer in ascending order recalls from |input|
  // (read by the input layer), then the output layer's numNeurons outputs are
  // copied to |output|. Blocks into the same or a lower layer take no part.
  virtual void Recall(const double* input, double* output);
  // Recall of |rows| input rows at once (BatchRecall.cpp): |input| holds
  // rows x nIn values, row by row (nIn the input layer's numNeurons), and
  // |output| receives rows x nOut values the same way (nOut the output
  // layer's numNeurons). Gives every row the bits that Recall gives it, and
  // leaves the layers' outputs as Recall of the last row leaves them, but
  // passes groups of rows through each block together, so that each weight
  // is loaded once per group: several times faster than Recall row by row
  // on layers of some hundred neurons. Networks whose classes it does not
  // know (layers or networks of other classes) are recalled row by row with
  // Recall. Checks "rows>=0". Not thread-safe, as Recall is not.
  void RecallBatch(const double* input, double* output, int rows);
  // The type stored in network files: "Basic".
  virtual const char* GetNetworkType();
  // A new iterator over the incoming arcs of a neuron, owned by the caller.
  // Fails the check "false" here; TConnectedNetwork supplies one.
  virtual TInAllArcsIterator* NewInAllArcsIterator();
  // Reserved; each fails the check "false".
  virtual void Reserved1();
  virtual void Reserved2();
  virtual void Reserved3();

  int GetNumNeurons();
  // The neuron with global number |index| (checks "index>=0",
  // "index<GetNumNeurons()").
  TBasicNeuron* GetNeuron(int index);
  // Inserts a neuron at position |node| of hidden layer |LayerNum| and opens
  // its connections in every block of the layer's row and column (random
  // weights from [min, max) when |attached|, none otherwise). Checks
  // "LayerNum>=0", "LayerNum<numLayers", "LayerNum!=inLayer",
  // "LayerNum!=outLayer", "node>=0", "node<=GetNumNeurons()", and then that
  // node lies within 0 .. the layer's numNeurons.
  void InsertNode(int LayerNum, int node, double min, double max, bool attached);
  // Removes the neuron at |node| of hidden layer |LayerNum| with its
  // connections. Checks as InsertNode, with "node<GetNumNeurons()" and then
  // node below the layer's numNeurons. Cannot fail otherwise.
  void RemoveNode(int LayerNum, int node);
  // Removes hidden neurons without outgoing connections, from the output side
  // down, so whole dead chains go in one call; returns how many.
  int PruneNodes();
  // IterateIn(v, node, mask) on the block from every layer (ascending) into
  // |toLayer|.
  void IterateIntoNode(TIterateObj& v, int toLayer, int node, int mask);
  // IterateOut(v, node, mask) on the block from |fromLayer| into every layer.
  void IterateOutOfNode(TIterateObj& v, int fromLayer, int node, int mask);
  // Inserts |layer| (constructed for this network; taken over) at position
  // |LayerNum| with empty blocks in its row and column; later layers, their
  // blocks, inLayer and outLayer move up by one. Checks "LayerNum>=0",
  // "LayerNum<=numLayers".
  void InsertLayer(int LayerNum, TBasicLayer* layer);
  // Destroys layer |LayerNum| and its blocks; later layers move down. Checks
  // "LayerNum>=0", "LayerNum<numLayers", "LayerNum!=inLayer",
  // "LayerNum!=outLayer".
  void RemoveLayer(int LayerNum);

  // ---- Building a network piece by piece (the network file reader) ----

  // Installs |layer| (constructed for this network with any layer number;
  // taken over) at layers[LayerNum], renumbering it, and destroys the layer
  // that was there. Checks "LayerNum>=0", "LayerNum<numLayers",
  // "layer != NULL", "layer->network == this"; a layer that connected blocks
  // already use may only be replaced by one of the same size.
  void SetLayer(int LayerNum, TBasicLayer* layer);
  // Installs |block| (constructed for this network; taken over) at
  // priv_conns_index[block->toLayer][block->fromLayer] and destroys the block
  // that was there. Checks "block != NULL", "block->network == this" and the
  // two layer numbers.
  void InstallConnections(TBasicConnections* block);

 protected:
  // Sizes an unsized network: numLayers = n_layers, inLayer 1, outLayer
  // n_layers - 1, an empty block for every pair, an unfilled layer array and
  // a registry with the built-in functions. Checks "n_layers>=0"; throws
  // std::length_error above MaxLayers.
  void Init(int n_layers);

 private:
  void CopyFrom(const TBasicNetwork& x);
  void PointRowIndex();
  bool HasConnectedBlock(int LayerNum);
  void UndoInsertNode(int LayerNum, int node);

  // The empty blocks made when the network was sized (null while unsized).
  std::unique_ptr<EmptyBlockPool> emptyBlocks_;
};

#endif  // NETFORGE_NEURALNETS_TBASICNETWORK_H
