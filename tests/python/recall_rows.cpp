// recall_rows: the plain C++ recall that the Python module is held to, for
// the pytest suite (bit identity) and bench/python_recall.py (speed).
//
// Usage: recall_rows [--batch] NETWORK INPUTS ROWS OUTPUTS [PASSES]
// Loads the network file NETWORK, reads ROWS rows of raw native float64
// input values from INPUTS, runs every row through TBasicNetwork::Recall
// (with --batch: all rows through RecallBatch) PASSES times (default 1) and
// writes the last pass's outputs as raw float64 to OUTPUTS. Prints the
// seconds of each pass, one per line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"

int main(int argc, char** argv) {
  const bool batch = argc > 1 && std::string(argv[1]) == "--batch";
  if (batch) {
    --argc;
    ++argv;
  }
  if (argc < 5) {
    std::cerr << "usage: recall_rows [--batch] NETWORK INPUTS ROWS OUTPUTS [PASSES]\n";
    return 2;
  }
  FileTools tools;
  std::unique_ptr<TBasicNetwork> network(tools.LoadNetwork(argv[1], nullptr));
  const long rows = std::atol(argv[3]);
  const int passes = argc > 5 ? std::atoi(argv[5]) : 1;
  const long inputs = network->layers[network->inLayer]->numNeurons;
  const long outputs = network->layers[network->outLayer]->numNeurons;
  std::vector<double> in(static_cast<std::size_t>(rows * inputs));
  std::vector<double> out(static_cast<std::size_t>(rows * outputs));
  std::ifstream inFile(argv[2], std::ios::binary);
  inFile.read(reinterpret_cast<char*>(in.data()), static_cast<std::streamsize>(in.size() * sizeof(double)));
  if (!inFile) {
    std::cerr << "cannot read " << rows << " rows of " << inputs << " inputs from " << argv[2] << '\n';
    return 1;
  }
  for (int pass = 0; pass < passes; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    if (batch) {
      network->RecallBatch(in.data(), out.data(), static_cast<int>(rows));
    } else {
      for (long r = 0; r < rows; ++r) network->Recall(in.data() + r * inputs, out.data() + r * outputs);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%.9f\n", seconds.count());
  }
  std::ofstream outFile(argv[4], std::ios::binary);
  outFile.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size() * sizeof(double)));
  return outFile ? 0 : 1;
}
