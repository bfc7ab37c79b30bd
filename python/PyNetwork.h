// PyNetwork: a network as the Python module holds it, with the argument
// checks that keep every call from Python away from the library's
// consistency checks.
//
// A PyNetwork owns its network. Python objects share it through a
// std::shared_ptr (a Network object and every Block view taken from it), so
// the network lives while any of them does. Every operation takes |mutex|
// first: recall releases the GIL, so another Python thread may call into the
// same network meanwhile and must wait until the recall is done. Code that
// holds the mutex never waits for the GIL, so the two cannot deadlock.
#ifndef NETFORGE_PYTHON_PYNETWORK_H
#define NETFORGE_PYTHON_PYNETWORK_H

#include <memory>
#include <mutex>
#include <string>

#include "NeuralNets/TBasicNetwork.h"

namespace nfpy {

class PyNetwork {
 public:
  explicit PyNetwork(std::unique_ptr<TBasicNetwork> network) : network_(std::move(network)) {}

  TBasicNetwork& network() { return *network_; }
  std::mutex& mutex() { return mutex_; }

  // Throws IndexError unless 0 <= layer < numLayers; |what| names the
  // argument in the message.
  void CheckLayer(long layer, const char* what);
  // The block from |source| into |target|; throws IndexError for bad layer
  // numbers and ValueError when the pair is not connected.
  TBasicConnections& ConnectedBlock(long source, long target);
  // Throws ValueError unless every neuron that recall activates has a
  // function that recall can run ("error" and "null" stop the program; a gain
  // function needs a gain neuron).
  void CheckRecallable();
  // The multilayer perceptron, network file and data set texts of the
  // network: "MLP", "Basic", "Connected".
  std::string Type() { return network_->GetNetworkType(); }

 private:
  std::unique_ptr<TBasicNetwork> network_;
  std::mutex mutex_;
};

// Whether |fn| is one of the functions that read a neuron's gain.
bool IsGainFunction(ActFunction fn);

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_PYNETWORK_H
