// Training speed, for the side-by-side comparison (bench/compare_training.py):
// trains a multilayer perceptron with a bias neuron and sigmoid units on a
// data set in FANN's training file format ("rows inputs outputs", then each
// row's inputs and outputs) for EPOCHS epochs with TTrainer, and prints the
// processor-time milliseconds per epoch (between the ends of the first and
// the last epoch, so that setting up is left out), the last epoch's
// training error, how far the process's resident memory rose above what it
// was just before training (the trainer's gradients, algorithm state and
// working memory, beyond the network and the data set already loaded) and
// the number of weights.
//
// Usage: nf_train ALGORITHM EPOCHS FILE HIDDEN...
//   ALGORITHM  rprop (iRPROP-), incremental (rows in file order, as FANN),
//              batch, quickprop, adam (mini-batches of 32, shuffled)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "NeuralNets/TMLPNetwork.h"
#include "Training/TTrainer.h"

namespace {

// The process's resident memory, in bytes: "VmRSS" (now) or "VmHWM" (the
// largest since the last ResetPeakResident) from /proc/self/status.
long ResidentBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string word;
  long kilobytes = -1;
  while (status >> word) {
    if (word == std::string(field) + ":" && status >> kilobytes) break;
  }
  return kilobytes * 1024L;
}

// Starts VmHWM afresh from the current resident memory (Linux 4.0 and later).
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

double ProcessSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Reads a FANN training file; exits with a message on a malformed one.
std::unique_ptr<Data> ReadFannFile(const char* path, int& nIn, int& nOut) {
  std::ifstream in(path);
  long rows = 0;
  if (!(in >> rows >> nIn >> nOut) || rows < 1 || nIn < 1 || nOut < 1) {
    std::fprintf(stderr, "%s: not a FANN training file\n", path);
    std::exit(1);
  }
  auto data = std::make_unique<Data>(rows, nIn, nOut, false);
  std::vector<double> inputs(static_cast<std::size_t>(nIn)), outputs(static_cast<std::size_t>(nOut));
  for (long r = 0; r < rows; ++r) {
    for (double& x : inputs) in >> x;
    for (double& y : outputs) in >> y;
    if (!in) {
      std::fprintf(stderr, "%s: row %ld is incomplete\n", path, r + 1);
      std::exit(1);
    }
    data->AppendRow(inputs.data(), outputs.data(), nullptr);
  }
  return data;
}

bool ChooseAlgorithm(const char* name, TTrainingOptions& options) {
  const struct {
    const char* name;
    TTrainingAlgorithm algorithm;
  } kAlgorithms[] = {{"rprop", TTrainingAlgorithm::IRpropMinus},  {"incremental", TTrainingAlgorithm::Incremental},
                     {"batch", TTrainingAlgorithm::Batch},        {"quickprop", TTrainingAlgorithm::Quickprop},
                     {"adam", TTrainingAlgorithm::Adam}};
  for (const auto& a : kAlgorithms) {
    if (std::strcmp(name, a.name) == 0) {
      options.algorithm = a.algorithm;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  TTrainingOptions options;
  if (argc < 5 || !ChooseAlgorithm(argv[1], options)) {
    std::fprintf(stderr, "usage: nf_train rprop|incremental|batch|quickprop|adam EPOCHS FILE HIDDEN...\n");
    return 2;
  }
  options.epochs = std::atoi(argv[2]);
  options.shuffle = options.algorithm == TTrainingAlgorithm::Adam;  // FANN visits rows in file order
  int nIn = 0, nOut = 0;
  const std::unique_ptr<Data> data = ReadFannFile(argv[3], nIn, nOut);
  std::vector<int> sizes{nIn};
  for (int i = 4; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  sizes.push_back(nOut);

  std::srand(1);
  TMLPNetwork network(static_cast<int>(sizes.size()), sizes.data(), true);
  network.Randomize(-0.1, 0.1);  // FANN's initial range
  double firstEnd = 0.0, lastEnd = 0.0, lastError = 0.0;
  TTrainer trainer(options);
  ResetPeakResident();
  const long residentBefore = ResidentBytes("VmRSS");
  trainer.Train(network, *data, nullptr, [&](const TEpochReport& report) {
    (report.epoch == 1 ? firstEnd : lastEnd) = ProcessSeconds();
    lastError = report.trainingError;
    return true;
  });
  const long trainerBytes = ResidentBytes("VmHWM") - residentBefore;
  std::printf("%.6f %.9g %ld %d\n", (lastEnd - firstEnd) * 1e3 / (options.epochs - 1), lastError, trainerBytes,
              network.GetNumWeights(FMaskExists));
  return 0;
}
