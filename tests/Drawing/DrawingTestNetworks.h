// Networks for the drawing tests: the shipped examples, loaded with the
// library's reader, and small networks built in code.
#pragma once

#include <memory>
#include <string>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TMLPNetwork.h"

namespace drawtest {

inline std::unique_ptr<TBasicNetwork> LoadExample(const char* name) {
  const std::string path = std::string(NETFORGE_SOURCE_DIR) + "/examples/" + name;
  FileTools tools;
  return std::unique_ptr<TBasicNetwork>(tools.LoadNetwork(path.c_str(), nullptr));
}

// A multilayer perceptron with a bias neuron and the given sizes, weights
// drawn from [-0.5, 0.5) with a fixed seed.
inline std::unique_ptr<TBasicNetwork> Mlp(std::initializer_list<int> sizes, bool bias = true) {
  const std::vector<int> list(sizes);
  auto network = std::make_unique<TMLPNetwork>(static_cast<int>(list.size()), list.data(), bias);
  std::srand(11);
  network->Randomize(-0.5, 0.5);
  return network;
}

}  // namespace drawtest
