// Library tour, step 3: write a data set file, read it back and measure a
// network on it.
//
// Usage: tour_evaluate NETWORK.wgt DATASET.dat
#include <iostream>
#include <memory>
#include <string>

#include "Common/NumberText.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

void Print(const char* name, double value) {
  std::string line = name;
  line += ' ';
  Netforge::AppendGeneral(line, value, 17);
  std::cout << line << '\n';
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "Usage: tour_evaluate NETWORK.wgt DATASET.dat\n";
    return 1;
  }
  FileTools tools;
  try {
    // 1. A data set of four rows, each with two inputs and one expected
    //    output, written as a data set file.
    Data rows(4, 2, 1, false);
    const double samples[4][3] = {{0, 0, 1}, {1, 0.5, 0}, {0, 1, 1}, {1, 1, 0}};
    for (const auto& sample : samples) rows.AppendRow(sample, sample + 2, nullptr);
    if (tools.WriteDataSet(argv[2], &rows, nullptr, nullptr) != SUCCESS) {
      std::cerr << argv[2] << ": cannot write the file\n";
      return 1;
    }

    // 2. Read it back. The data set belongs to the caller.
    Data* first = nullptr;
    const int status = tools.ReadDataSet(argv[2], &first);
    std::unique_ptr<Data> data(first);
    if (status != SUCCESS) {
      std::cerr << argv[2] << ": cannot read the data set\n";
      return 1;
    }

    // 3. Load the network; the data set operations belong to TMLPNetwork.
    std::unique_ptr<TBasicNetwork> loaded(tools.LoadNetwork(argv[1], nullptr));
    auto* network = dynamic_cast<TMLPNetwork*>(loaded.get());
    if (network == nullptr) {
      std::cerr << argv[1] << ": not a multilayer perceptron\n";
      return 1;
    }

    // 4. The network's output for every row.
    Data* outputs = nullptr;
    network->RecallOutputOnly(data.get(), &outputs);
    std::unique_ptr<Data> results(outputs);
    for (long row = 0; row < results->MbrNdxDataRows; ++row) {
      double output = 0.0;
      results->GetOutputDatum(row, 0, &output);
      Print("output", output);
    }

    // 5. Error figures over all rows; an error object adds up every
    //    pattern it is given until it is reset.
    TErrorRMSObj rms(1);
    TErrorCrossEntropyObj crossEntropy(1);
    Print("rmse", network->ComputeError(data.get(), &rms));
    Print("cross-entropy", network->ComputeError(data.get(), &crossEntropy));
  } catch (const FileTools::Error& error) {
    std::cerr << "file error: " << error.message << '\n';
    return 1;
  }
  return 0;
}
