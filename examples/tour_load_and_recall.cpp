// Library tour, step 2: load a network file and run one input through it.
//
// Usage: tour_load_and_recall NETWORK.wgt
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "Common/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "Usage: tour_load_and_recall NETWORK.wgt\n";
    return 1;
  }

  // The loaded network belongs to the caller.
  std::unique_ptr<TBasicNetwork> network;
  try {
    FileTools tools;
    network.reset(tools.LoadNetwork(argv[1], nullptr));
  } catch (const FileTools::Error& error) {
    std::string place = argv[1];
    place += ':';
    Netforge::AppendLong(place, static_cast<long>(error.line));
    place += ':';
    Netforge::AppendLong(place, static_cast<long>(error.column));
    std::cerr << place << ": " << error.message << '\n';
    return 1;
  }

  // One value per input neuron in, one value per output neuron out.
  const double input[] = {1.0, 0.5};
  double output[1] = {0.0};
  network->Recall(input, output);

  std::string line = "output ";
  Netforge::AppendGeneral(line, output[0], 17);
  std::cout << line << '\n';

  // The network of step 1 computes sigmoid(0.5 - 1.25 * x0 + 2 * x1).
  const double expected = 1.0 / (1.0 + std::exp(-(0.5 - 1.25 * 1.0 + 2.0 * 0.5)));
  return std::fabs(output[0] - expected) < 1e-15 ? 0 : 1;
}
