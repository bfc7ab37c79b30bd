// TConnectedNetwork: a network whose connected pairs hold
// TConnectedConnections blocks and that hands out arc iterators.
//
// Type name "Connected". Layers are created as in TBasicNetwork: the input
// layer is a TSimpleInputLayer, every other layer a TSimpleLayer; no pair is
// connected until Connect is called.
#ifndef NETFORGE_NEURALNETS_TCONNECTEDNETWORK_H
#define NETFORGE_NEURALNETS_TCONNECTEDNETWORK_H

#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"

class TConnectedNetwork : public TBasicNetwork {
 public:
  // Sizes the network for |numLayers| layers and creates layer i with
  // sizes[i] neurons (check "sizes != NULL"; counts >= 0).
  TConnectedNetwork(int numLayers, const int* sizes);
  // Sizes the network only; the creator (the file reader) installs the layers.
  explicit TConnectedNetwork(int numLayers);
  // An unsized network.
  TConnectedNetwork();
  ~TConnectedNetwork() override;

  // Replaces an empty block by a TConnectedConnections with every weight
  // 0.0; a connected pair keeps its block and weights.
  void Connect(int fromLayer, int toLayer) override;
  // "Connected".
  const char* GetNetworkType() override;
  // A new TConnInAllArcsIterator for this network, owned by the caller.
  TInAllArcsIterator* NewInAllArcsIterator() override;
};

#endif  // NETFORGE_NEURALNETS_TCONNECTEDNETWORK_H
