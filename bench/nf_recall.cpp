// Recall speed of Netforge networks, for the side-by-side comparison
// (bench/compare.py). Builds a layered network with a bias neuron, random
// weights, and runs Recall REPEATS times; prints the seconds, the
// multiply-adds per second and a checksum of the outputs.
//
// Usage: nf_recall REPEATS [--prune FRACTION] [--connected] SIZE...
//   --prune F     remove a random fraction F of every block's connections
//   --connected   fully connected blocks (TConnectedNetwork) instead of
//                 pruneable ones
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

// A connected network with the same layers as the multilayer perceptron:
// a bias neuron in layer 0, the input layer 1 and sigmoid layers above.
std::unique_ptr<TBasicNetwork> MakeConnected(const std::vector<int>& sizes) {
  std::vector<int> all{1};
  all.insert(all.end(), sizes.begin(), sizes.end());
  auto network = std::make_unique<TConnectedNetwork>(static_cast<int>(all.size()), all.data());
  network->layers[0]->SetActivationFunction(network->fnRegistry->GetFunction("bias"));
  for (int k = 2; k < network->numLayers; ++k) {
    network->Connect(k - 1, k);
    network->Connect(0, k);
    network->layers[k]->SetActivationFunction(network->fnRegistry->GetFunction("sigmoid"));
  }
  return network;
}

void Prune(TBasicNetwork& network, double fraction) {
  for (TBasicConnections* block : network.priv_conns) {
    if (!block->IsConnected()) continue;
    const int n_from = network.layers[block->fromLayer]->numNeurons;
    const int n_to = network.layers[block->toLayer]->numNeurons;
    for (int t = 0; t < n_to; ++t) {
      for (int f = 0; f < n_from; ++f) {
        if (std::rand() < fraction * RAND_MAX) block->PruneConnection(f, t);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: nf_recall REPEATS [--prune F] [--connected] SIZE...\n");
    return 2;
  }
  const int repeats = std::atoi(argv[1]);
  double prune = 0.0;
  bool connected = false;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--prune") == 0 && i + 1 < argc) {
      prune = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--connected") == 0) {
      connected = true;
    } else {
      sizes.push_back(std::atoi(argv[i]));
    }
  }
  std::srand(1);
  std::unique_ptr<TBasicNetwork> network =
      connected ? MakeConnected(sizes)
                : std::make_unique<TMLPNetwork>(static_cast<int>(sizes.size()), sizes.data(), true);
  network->Randomize(-0.5, 0.5);
  if (prune > 0.0) Prune(*network, prune);

  std::vector<double> input(sizes.front());
  std::vector<double> output(sizes.back());
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<double>(i) / input.size();
  double checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) {
    input[0] = r * 1e-3;
    network->Recall(input.data(), output.data());
    checksum += output[0];
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double macs = static_cast<double>(network->GetNumWeights(1)) * repeats;
  std::printf("%.6f %.0f %g\n", seconds, macs / seconds, checksum);
  return 0;
}
