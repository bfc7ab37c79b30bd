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
#ifndef NETFORGE_NEURALNETS_TMLPNETWORK_H
#define NETFORGE_NEURALNETS_TMLPNETWORK_H

#include "NeuralNets/TBasicNetwork.h"

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
};

#endif  // NETFORGE_NEURALNETS_TMLPNETWORK_H
