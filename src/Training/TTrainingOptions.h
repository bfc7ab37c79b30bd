// TTrainingOptions: everything that chooses how TTrainer trains, with the
// defaults a plain `TTrainingOptions options;` gets.
//
// Update rules (g is the gradient of the training error E, summed over the
// patterns of one step; N is the number of training rows; see
// docs/training.md for the full statement of each):
//   Incremental  after every row:        v = momentum v - rate g;       w += v
//   Batch        once per epoch:         v = momentum v - (rate/N) g;   w += v
//   IRpropMinus  once per epoch, sign of g only, step sizes adapted per weight
//   IRpropPlus   iRPROP- with weight backtracking when the epoch error grew
//   Quickprop    once per epoch, Fahlman's rule as FANN states it
//   Adam         after every mini-batch of batchSize rows, on the mean gradient
#ifndef NETFORGE_TRAINING_TTRAININGOPTIONS_H
#define NETFORGE_TRAINING_TTRAININGOPTIONS_H

#include <cstdint>
#include <memory>
#include <optional>

#include "Training/TNetworkGradient.h"

class TKQstructure;
class TDerivativeTable;

enum class TTrainingAlgorithm { Incremental, Batch, IRpropMinus, IRpropPlus, Quickprop, Adam };

struct TTrainingOptions {
  TTrainingAlgorithm algorithm = TTrainingAlgorithm::IRpropMinus;
  TTrainingError error = TTrainingError::SumSquared;
  int epochs = 100;           // at least 1
  double targetError = 0.0;   // stop once the training error is at or below it, during the epoch and
                              // after its last update; 0: never
  // Incremental, Batch, Quickprop: 0.7 when not set; Adam: 0.001. Not used
  // by the RPROP family. Must be finite and >= 0.
  std::optional<double> learningRate;
  double momentum = 0.0;      // Incremental and Batch; in [0, 1)
  int batchSize = 32;         // Adam's mini-batch; at least 1
  bool shuffle = true;        // Incremental and Adam visit the rows in a new random order each epoch
  std::uint64_t seed = 1;     // of the shuffling generator
  // iRPROP- and iRPROP+ (FANN's defaults).
  double rpropIncrease = 1.2;
  double rpropDecrease = 0.5;
  double rpropInitialStep = 0.1;
  double rpropMinStep = 0.0;
  double rpropMaxStep = 50.0;
  // Quickprop (FANN's defaults; the decay is negative as in FANN).
  double quickpropDecay = -0.0001;
  double quickpropMu = 1.75;
  // Adam.
  double adamBeta1 = 0.9;
  double adamBeta2 = 0.999;
  double adamEpsilon = 1e-8;
  // A weight penalty as the error measures describe it, e.g. the structure
  // of "(lwf :learningrate 0.1 :forgettingrate 1e-4)"; null: none.
  std::shared_ptr<const TKQstructure> penalty;
  bool trainGains = false;    // also train the gains of gain neurons
  // With a validation set: stop after this many epochs in a row without a
  // lower validation error; 0: run all epochs (the best network is kept
  // either way).
  int patience = 0;
  // After training, prune every trainable connection whose weight has a
  // magnitude below this, then hidden neurons left without outputs; 0: none.
  double pruneBelow = 0.0;
  // Derivatives of the activation functions; null: the built-in ones. Must
  // outlive the training.
  const TDerivativeTable* derivatives = nullptr;
};

// The learning rate |options| use for their algorithm.
double EffectiveLearningRate(const TTrainingOptions& options);

#endif  // NETFORGE_TRAINING_TTRAININGOPTIONS_H
