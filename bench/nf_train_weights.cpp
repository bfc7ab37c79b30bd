// Netforge's side of the one-epoch comparison with FANN
// (bench/train_vs_fann.py): trains a network file's network with the
// library's TTrainer and prints every weight with 17 significant digits, so
// that the comparison sees the weights as computed (a network file keeps 15
// digits).
//
// Usage: nf_train_weights NETWORK DATASET EPOCHS ALGORITHM RATE INITIALSTEP INCREASE
//   ALGORITHM    incremental (rows in file order), batch or irprop-
//   RATE         learning rate of incremental and batch
//   INITIALSTEP  iRPROP-'s initial step
//   INCREASE     iRPROP-'s increase factor
// Prints one line per connection: FROMLAYER FROMNEURON TOLAYER TONEURON WEIGHT.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Training/TTrainer.h"

namespace {

TTrainingAlgorithm AlgorithmOf(const char* name) {
  if (std::strcmp(name, "incremental") == 0) return TTrainingAlgorithm::Incremental;
  if (std::strcmp(name, "batch") == 0) return TTrainingAlgorithm::Batch;
  return TTrainingAlgorithm::IRpropMinus;
}

void PrintWeights(TBasicNetwork& network) {
  for (int to = 0; to < network.numLayers; ++to) {
    for (int from = 0; from < network.numLayers; ++from) {
      TBasicConnections* block = network.priv_conns_index[to][from];
      if (!block->IsConnected()) continue;
      for (int i = 0; i < network.layers[from]->numNeurons; ++i) {
        for (int j = 0; j < network.layers[to]->numNeurons; ++j) {
          if (block->IsValid(i, j)) std::printf("%d %d %d %d %.17g\n", from, i, to, j, block->Weight(i, j));
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: nf_train_weights NETWORK DATASET EPOCHS ALGORITHM RATE INITIALSTEP INCREASE\n");
    return 2;
  }
  FileTools tools;
  std::unique_ptr<TBasicNetwork> network(tools.LoadNetwork(argv[1], nullptr));
  Data* rows = nullptr;
  if (tools.ReadDataSet(argv[2], &rows) != SUCCESS) return 1;
  std::unique_ptr<Data> data(rows);

  TTrainingOptions options;
  options.epochs = std::atoi(argv[3]);
  options.algorithm = AlgorithmOf(argv[4]);
  options.learningRate = std::strtod(argv[5], nullptr);
  options.rpropInitialStep = std::strtod(argv[6], nullptr);
  options.rpropIncrease = std::strtod(argv[7], nullptr);
  options.shuffle = false;
  TTrainer trainer(options);
  trainer.Train(*network, *data, nullptr);
  PrintWeights(*network);
  return 0;
}
