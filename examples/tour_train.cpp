// Training with the library: load a network file and a data set file, train
// the network with iRPROP- and a validation set, prune it, save it.
//
// Usage: tour_train NETWORK.wgt DATASET.dat TRAINED.wgt
#include <iostream>
#include <memory>
#include <string>

#include "Common/NumberText.h"
#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Training/TTrainer.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::cerr << "Usage: tour_train NETWORK.wgt DATASET.dat TRAINED.wgt\n";
    return 1;
  }
  FileTools tools;
  try {
    std::unique_ptr<TBasicNetwork> network(tools.LoadNetwork(argv[1], nullptr));
    Data* rows = nullptr;
    const int status = tools.ReadDataSet(argv[2], &rows);
    std::unique_ptr<Data> data(rows);
    if (status != SUCCESS) {
      std::cerr << argv[2] << ": cannot read the data set\n";
      return 1;
    }

    // iRPROP- is the default; the same set serves as validation set here,
    // so the network of the lowest error is kept.
    TTrainingOptions options;
    options.epochs = 200;
    options.patience = 20;
    options.pruneBelow = 1e-3;
    TTrainer trainer(options);
    const TTrainingResult result =
        trainer.Train(*network, *data, data.get(), [](const TEpochReport& report) {
          if (report.epoch % 50 == 0) {
            std::string line = "epoch ";
            Netforge::AppendLong(line, report.epoch);
            line += " error ";
            Netforge::AppendGeneral(line, report.trainingError, 6);
            std::cout << line << '\n';
          }
          return true;  // false would stop the training after this epoch
        });

    std::string line = "best epoch ";
    Netforge::AppendLong(line, result.bestEpoch);
    line += ", error ";
    Netforge::AppendGeneral(line, result.validationError, 6);
    std::cout << line << '\n';
    tools.SaveNetwork(argv[3], network.get(), nullptr);
  } catch (const FileTools::Error& error) {
    std::cerr << "file error: " << error.message << '\n';
    return 1;
  } catch (const TException& refused) {
    // Refusals (an untrainable network, a data set that does not fit) come
    // before any weight changes.
    std::cerr << "refused: " << refused.message << '\n';
    return 1;
  }
  return 0;
}
