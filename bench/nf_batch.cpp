// Batch recall speed, for the side-by-side comparison (bench/compare_batch.py):
// builds a multilayer perceptron with a bias neuron and random weights (as
// nf_recall does), draws ROWS random input rows and recalls all of them
// PASSES times, either with one RecallBatch call per pass or with Recall row
// by row. Prints the seconds, the multiply-adds per second and a checksum of
// all outputs; both modes must print the same checksum, to the last digit.
// The seconds are the processor time of the process, not the wall time: on
// a shared machine the time it waits for a core does not count.
//
// Usage: nf_batch batch|rows ROWS PASSES [--connected] SIZE...
//   --connected   fully connected blocks (TConnectedNetwork) instead of
//                 pruneable ones
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

// A connected network with the layers of the multilayer perceptron: a bias
// neuron in layer 0, the input layer 1 and sigmoid layers above.
std::unique_ptr<TBasicNetwork> MakeConnected(const std::vector<int>& sizes) {
  std::vector<int> all{1};
  all.insert(all.end(), sizes.begin(), sizes.end());
  auto network = std::make_unique<TConnectedNetwork>(static_cast<int>(all.size()), all.data());
  network->layers[0]->SetActivationFunction(BiasFunction);
  for (int k = 2; k < network->numLayers; ++k) {
    network->Connect(k - 1, k);
    network->Connect(0, k);
    network->layers[k]->SetActivationFunction(SigmoidFunction);
  }
  return network;
}

double ProcessSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (std::strcmp(argv[1], "batch") != 0 && std::strcmp(argv[1], "rows") != 0)) {
    std::fprintf(stderr, "usage: nf_batch batch|rows ROWS PASSES [--connected] SIZE...\n");
    return 2;
  }
  const bool batch = std::strcmp(argv[1], "batch") == 0;
  const int rows = std::atoi(argv[2]);
  const int passes = std::atoi(argv[3]);
  bool connected = false;
  std::vector<int> sizes;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--connected") == 0) {
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

  const std::size_t nIn = static_cast<std::size_t>(sizes.front());
  const std::size_t nOut = static_cast<std::size_t>(sizes.back());
  std::vector<double> input(nIn * rows);
  for (double& x : input) x = static_cast<double>(std::rand()) / RAND_MAX - 0.5;
  std::vector<double> output(nOut * rows);
  double checksum = 0;
  const double start = ProcessSeconds();
  for (int pass = 0; pass < passes; ++pass) {
    if (batch) {
      network->RecallBatch(input.data(), output.data(), rows);
    } else {
      for (int r = 0; r < rows; ++r) network->Recall(input.data() + r * nIn, output.data() + r * nOut);
    }
    checksum += output[static_cast<std::size_t>(pass) % output.size()];
  }
  const double seconds = ProcessSeconds() - start;
  for (double y : output) checksum += y;
  const double macs = static_cast<double>(network->GetNumWeights(1)) * rows * passes;
  std::printf("%.6f %.0f %.17g\n", seconds, macs / seconds, checksum);
  return 0;
}
