// Library tour, step 1: build a small multilayer perceptron in code, give it
// known weights and save it as a network file.
//
// Usage: tour_build_and_save NETWORK.wgt
#include <iostream>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TMLPNetwork.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "Usage: tour_build_and_save NETWORK.wgt\n";
    return 1;
  }

  // Two inputs and one sigmoid output, with a bias neuron. The network has
  // three layers: 0 the bias neuron, 1 the inputs, 2 the output.
  const int sizes[] = {2, 1};
  TMLPNetwork network(2, sizes, true);

  // Every weight starts at 0. Weights are listed block by block, the bias
  // block (0 -> 2) first, then the block from the inputs (1 -> 2).
  const double weights[] = {0.5, -1.25, 2.0};
  network.SetWeights(weights, FMaskExists);

  try {
    FileTools tools;
    tools.SaveNetwork(argv[1], &network, nullptr);
  } catch (const FileTools::Error& error) {
    std::cerr << argv[1] << ": " << error.message << '\n';
    return 1;
  }
  return 0;
}
