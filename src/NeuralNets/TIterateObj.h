// Visitors over the connections of a block.
//
// A block's traversal (IterateIn, IterateOut, Iterate) binds a visitor to the
// block's layer pair, then for each selected connection sets |from|, |to|,
// |weight| and |trainable| and calls Visit() once. Visitors are short-lived
// objects on the caller's stack; they own nothing, and the cursors and
// buffers they write through belong to the caller. A visitor must not be used
// by two traversals at the same time.
//
// TIterateObj2 and TIterateObj3 walk the same connections of two or three
// networks of identical structure in step (Iterate2, Iterate3).
//
// Users normally include "NeuralNets/TBasicNetwork.h", which includes this.
#ifndef NETFORGE_NEURALNETS_TITERATEOBJ_H
#define NETFORGE_NEURALNETS_TITERATEOBJ_H

#include "NeuralNets/TBasicConnections.h"

class TBasicLayer;
class TBasicNetwork;

class TIterateObj {
 public:
  int fromLayer = 0;                      // source layer number (binding)
  int toLayer = 0;                        // target layer number (binding)
  int from = 0;                           // source neuron index (each visit)
  int to = 0;                             // target neuron index (each visit)
  TBasicConnections* conn = nullptr;      // the block being traversed (binding)
  double* weight = nullptr;               // the visited weight; valid during Visit()
  bool trainable = false;                 // the visited connection's trainable flag
  TBasicLayer* fromLayerPtr = nullptr;    // source layer (binding)
  TBasicLayer* toLayerPtr = nullptr;      // target layer (binding)
  double* fromOutputs = nullptr;          // source layer's output vector (binding)
  double* toOutputs = nullptr;            // target layer's output vector (binding)

  TIterateObj() = default;
  TIterateObj(const TIterateObj&) = default;
  TIterateObj& operator=(const TIterateObj&) = default;
  virtual ~TIterateObj() = default;

  // Looks the two layers and the block for (toLayer, fromLayer) up in
  // |network|. The layer numbers must be valid and the layers installed.
  void Bind(TBasicNetwork* network, int fromLayer, int toLayer);
  // Takes the layer numbers from the layers and the block from their network.
  void Bind(TBasicLayer* fromLayerPtr, TBasicLayer* toLayerPtr);

  virtual void Visit() {}
};

// Two networks in step. |trainable| comes from the first network's block.
class TIterateObj2 {
 public:
  int fromLayer = 0;
  int toLayer = 0;
  int from = 0;
  int to = 0;
  TBasicConnections* conn = nullptr;
  TBasicConnections* conn2 = nullptr;
  double* weight = nullptr;
  double* weight2 = nullptr;
  bool trainable = false;
  TBasicLayer* fromLayerPtr = nullptr;
  TBasicLayer* toLayerPtr = nullptr;
  TBasicLayer* fromLayerPtr2 = nullptr;
  TBasicLayer* toLayerPtr2 = nullptr;
  double* fromOutputs = nullptr;
  double* toOutputs = nullptr;
  double* fromOutputs2 = nullptr;
  double* toOutputs2 = nullptr;

  TIterateObj2() = default;
  // Binds (see Bind) and stores |from| and |to|.
  TIterateObj2(TBasicNetwork* network, TBasicNetwork* network2, int fromLayer, int toLayer, int from, int to);
  virtual ~TIterateObj2() = default;

  // Binds the layers, outputs and blocks of both networks for the pair.
  // Checks "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()"
  // and that the two networks' layers have the same sizes.
  void Bind(TBasicNetwork* network, TBasicNetwork* network2, int fromLayer, int toLayer);

  virtual void Visit() {}
};

// Three networks in step. |trainable| comes from the first network's block.
class TIterateObj3 {
 public:
  int fromLayer = 0;
  int toLayer = 0;
  int from = 0;
  int to = 0;
  TBasicConnections* conn = nullptr;
  TBasicConnections* conn2 = nullptr;
  TBasicConnections* conn3 = nullptr;
  double* weight = nullptr;
  double* weight2 = nullptr;
  double* weight3 = nullptr;
  bool trainable = false;
  TBasicLayer* fromLayerPtr = nullptr;
  TBasicLayer* toLayerPtr = nullptr;
  TBasicLayer* fromLayerPtr2 = nullptr;
  TBasicLayer* toLayerPtr2 = nullptr;
  TBasicLayer* fromLayerPtr3 = nullptr;
  TBasicLayer* toLayerPtr3 = nullptr;
  double* fromOutputs = nullptr;
  double* toOutputs = nullptr;
  double* fromOutputs2 = nullptr;
  double* toOutputs2 = nullptr;
  double* fromOutputs3 = nullptr;
  double* toOutputs3 = nullptr;

  TIterateObj3() = default;
  TIterateObj3(TBasicNetwork* network, TBasicNetwork* network2, TBasicNetwork* network3, int fromLayer, int toLayer,
               int from, int to);
  virtual ~TIterateObj3() = default;

  // As TIterateObj2::Bind, also checking
  // "conn1 -> GetConnectionsNType() == conn3 -> GetConnectionsNType()".
  void Bind(TBasicNetwork* network, TBasicNetwork* network2, TBasicNetwork* network3, int fromLayer, int toLayer);

  virtual void Visit() {}
};

// ---- The visitors used by the blocks and the network ----

// sum = source output * weight + sum.
class TIterateObjAggregate : public TIterateObj {
 public:
  double sum = 0.0;
  void Visit() override { sum = fromOutputs[from] * *weight + sum; }
};

class TIterateObjGetNumWeights : public TIterateObj {
 public:
  int numVisited = 0;
  void Visit() override { ++numVisited; }
};

class TIterateObjGetWeights : public TIterateObj {
 public:
  int numVisited = 0;
  double* cursor;
  explicit TIterateObjGetWeights(double* out) : cursor(out) {}
  void Visit() override {
    *cursor++ = *weight;
    ++numVisited;
  }
};

class TIterateObjSetWeights : public TIterateObj {
 public:
  int numVisited = 0;
  const double* cursor;
  explicit TIterateObjSetWeights(const double* in) : cursor(in) {}
  void Visit() override {
    *weight = *cursor++;
    ++numVisited;
  }
};

class TIterateObjRandomize : public TIterateObj {
 public:
  double min;
  double max;
  TIterateObjRandomize(double min, double max) : min(min), max(max) {}
  void Visit() override { *weight = TBasicConnections::RandomWeight(min, max); }
};

class TIterateObjGetFlags : public TIterateObj {
 public:
  int numVisited = 0;
  unsigned char* buffer;
  explicit TIterateObjGetFlags(unsigned char* buffer) : buffer(buffer) {}
  void Visit() override { buffer[numVisited++] = conn->GetFlags(from, to); }
};

class TIterateObjSetFlags : public TIterateObj {
 public:
  int numVisited = 0;
  const unsigned char* data;
  explicit TIterateObjSetFlags(const unsigned char* data) : data(data) {}
  void Visit() override { conn->SetFlags(from, to, data[numVisited++]); }
};

class TIterateObjAllUntrainable : public TIterateObj {
 public:
  void Visit() override { conn->SetUnTrainable(from, to); }
};

// Counts the outgoing connections of a neuron (the network's PruneNodes).
class TIterateObjPruneNode : public TIterateObj {
 public:
  int numVisited = 0;
  void Visit() override { ++numVisited; }
};

// Counts the connections of a block (the network file writer).
class TIterateObjCount : public TIterateObj {
 public:
  int numVisited = 0;
  void Visit() override { ++numVisited; }
};

#endif  // NETFORGE_NEURALNETS_TITERATEOBJ_H
