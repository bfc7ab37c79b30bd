// Load speed of Netforge network files, for the side-by-side comparison
// (bench/compare.py). Times FileTools::LoadNetwork on one file (opening,
// reading, building the network) and prints the seconds, the number of
// existing connections and a checksum of the weights, so that a reader that
// skips work cannot look fast.
//
// Usage: nf_load FILE
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nf_load FILE\n");
    return 2;
  }
  FileTools tools;
  std::unique_ptr<TBasicNetwork> network;
  const auto start = std::chrono::steady_clock::now();
  try {
    network.reset(tools.LoadNetwork(argv[1], nullptr));
  } catch (const FileTools::Error& error) {
    std::fprintf(stderr, "%s (line %lld, column %lld)\n", error.message.c_str(),
                 static_cast<long long>(error.line), static_cast<long long>(error.column));
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int count = network->GetNumWeights(FMaskExists);
  std::vector<double> weights(static_cast<std::size_t>(count));
  network->GetWeights(weights.data(), FMaskExists);
  double checksum = 0;
  for (double w : weights) checksum += w;
  std::printf("%.6f %d %.17g\n", seconds, count, checksum);
  return 0;
}
