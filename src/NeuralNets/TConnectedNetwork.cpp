#include "NeuralNets/TConnectedNetwork.h"

#include "Common/Assert.h"

TConnectedNetwork::TConnectedNetwork(int numLayers, const int* sizes) : TBasicNetwork(numLayers) {
  NF_ASSERT(sizes != NULL);
  for (int i = 0; i < numLayers; ++i) {
    if (i == inLayer) {
      SetLayer(i, new TSimpleInputLayer(this, i, sizes[i]));
    } else {
      SetLayer(i, new TSimpleLayer(this, i, sizes[i]));
    }
  }
}

TConnectedNetwork::TConnectedNetwork(int numLayers) : TBasicNetwork(numLayers) {}

TConnectedNetwork::TConnectedNetwork() = default;

TConnectedNetwork::~TConnectedNetwork() = default;

void TConnectedNetwork::Connect(int fromLayer, int toLayer) {
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<numLayers);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<numLayers);
  if (priv_conns_index[toLayer][fromLayer]->IsConnected()) return;
  InstallConnections(new TConnectedConnections(this, fromLayer, toLayer));
}

const char* TConnectedNetwork::GetNetworkType() {
  return "Connected";
}

TInAllArcsIterator* TConnectedNetwork::NewInAllArcsIterator() {
  return new TConnInAllArcsIterator(this);
}
