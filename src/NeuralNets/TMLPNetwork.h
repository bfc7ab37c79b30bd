// TMLPNetwork: the layered feed-forward network (multilayer perceptron).
//
// For L requested layers of sizes s[0] .. s[L-1] the network has L + 1
// layers: layer 0 is the bias layer (a TSimpleLayer of one neuron with the
// "bias" function, or of none without a bias), layer 1 the input layer (a
// TSimpleInputLayer of s[0] neurons, "linear"), and layers 2 .. L are
// TGainLayers of s[k-1] neurons with gain 1.0 and the "sigmoid" function;
// layer L is the output layer. Each layer k >= 2 is connected to layer k-1
// and, with a bias, to layer 0, by TPrunedConnections blocks with every
// weight 0.0 until Randomize.
//
// Weight order (block order): the bias blocks (0->2), (0->3), ... (0->L)
// first, then (1->2), (2->3), ... (L-1->L); target-major within a block.
//
// A whole data set can be run through the network (RecallData,
// RecallOutputOnly, ComputeError). They read the set's rows with Data::Next
// from the oldest on, so they move its cursor, and recall them in batches
// (RecallBatch); the data sets they return belong to the caller, and the
// error object stays the caller's.
#ifndef NETFORGE_NEURALNETS_TMLPNETWORK_H
#define NETFORGE_NEURALNETS_TMLPNETWORK_H

#include "NeuralNets/TBasicNetwork.h"

class Data;
class TErrorObj;

class TMLPNetwork : public TBasicNetwork {
 public:
  bool bias;  // whether the network has a bias neuron

  // Builds the topology above. |sizes| holds numLayers counts (checks
  // "numLayers>=1", "sizes != NULL", and each count >= 0); the network keeps
  // no reference to it. Throws std::length_error for sizes whose products do
  // not fit an int.
  TMLPNetwork(int numLayers, const int* sizes, bool bias);
  // Stores |bias| and sizes the network for numLayers + 1 layers without
  // creating layers or connections; the creator (the file reader) installs
  // them. Checks "numLayers>=0".
  TMLPNetwork(int numLayers, bool bias);
  ~TMLPNetwork() override;

  // "MLP".
  const char* GetNetworkType() override;

  // ---- Running a data set through the network ----
  // In all three, the rows of |in| are read with Next after its cursor has
  // been set to its newest row, so reading starts at the oldest row and wraps
  // around the stored rows. The columns Next delivers (after any column
  // selection) must match the network: as many inputs as the input layer has
  // neurons and, for ComputeError, as many outputs as the output layer has,
  // as many as |err| measures; otherwise a TException of kind
  // "Bad Parameter" is thrown before anything is made or read.

  // A new data set of in->MbrNdxRows slots holding, row by row, the input
  // row and the network's output row; MbrNdxRows rows are taken, so a set
  // that is not full is run through more than once. Checks "in != nil".
  Data* RecallData(Data* in);
  // Stores in *out a new data set of in->MbrNdxDataRows slots holding only
  // the network's output rows, one for each row stored in |in|. A null |in|
  // throws TException "Null data pointer" (kind "Null Pointer Parameter",
  // origin "TBriarNet::RecallOutputOnly") and makes nothing.
  void RecallOutputOnly(Data* in, Data** out);
  // Feeds in->MbrNdxRows rows (inputs, and outputs as targets) through the
  // network into |err| and returns err->GetError(). |err| is not reset, so
  // patterns add to what it holds already. Checks "in != nil", "err != nil".
  double ComputeError(Data* in, TErrorObj* err);
};

#endif  // NETFORGE_NEURALNETS_TMLPNETWORK_H
