// PyNetwork: a network as the Python module holds it, with the argument
// checks that keep every call from Python away from the library's
// consistency checks.
//
// A PyNetwork owns its network. Python objects share it through a
// std::shared_ptr (a Network object and every Block view taken from it), so
// the network lives while any of them does.
//
// Locking: recall and training release the GIL while the library works, so
// another Python thread may call into the same network meanwhile. Every
// operation therefore holds |mutex| (through ReadLock or EditLock, or
// directly where the GIL is released). A thread never waits for the mutex
// while it holds the GIL, so the trainer, which takes the GIL for its epoch
// callback while it holds the mutex, cannot deadlock with it. The mutex is
// recursive: the epoch callback may read the network it trains (recall,
// weights, save), but not change it (EditLock refuses while |training|).
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
  std::recursive_mutex& mutex() { return mutex_; }

  // Set while Train runs on the network.
  bool training = false;

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
  std::recursive_mutex mutex_;
};

// Holds a network's mutex for its scope, taken by a thread that holds the
// GIL: the GIL is released while it waits.
class ReadLock {
 public:
  explicit ReadLock(PyNetwork& network);
  ~ReadLock() { mutex_.unlock(); }
  ReadLock(const ReadLock&) = delete;
  ReadLock& operator=(const ReadLock&) = delete;

 private:
  std::recursive_mutex& mutex_;
};

// A ReadLock for operations that change the network; throws RuntimeError
// (and holds nothing) while the network trains.
class EditLock : public ReadLock {
 public:
  explicit EditLock(PyNetwork& network);
};

// Whether |fn| is one of the functions that read a neuron's gain.
bool IsGainFunction(ActFunction fn);

}  // namespace nfpy

#endif  // NETFORGE_PYTHON_PYNETWORK_H
