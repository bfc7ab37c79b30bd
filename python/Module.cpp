// The netforge Python module: networks, their blocks of weights, recall of
// NumPy arrays and data sets, on top of the Netforge library.
#include <pybind11/pybind11.h>

#include "Bindings.h"

PYBIND11_MODULE(netforge, module) {
  module.doc() =
      "Netforge: small multilayer perceptrons, their network files and data sets.\n\n"
      "generate() builds a network with random weights exactly as the Netforge tool\n"
      "does, load() and loads() read network files and texts, Network.recall() runs\n"
      "a whole NumPy array through a network, Network.block() gives a block's\n"
      "weights and flags as arrays, DataSet / load_dataset() move data sets\n"
      "between files and arrays, and Network.train() trains.";
  nfpy::BindErrors(module);
  nfpy::BindBlocks(module);
  nfpy::BindNetworks(module);
  nfpy::BindDataSets(module);
  nfpy::BindTraining(module);
}
