// TTrainer: trains a network on a data set.
//
//   TTrainingOptions options;                 // iRPROP-, 100 epochs, ...
//   options.algorithm = TTrainingAlgorithm::Adam;
//   TTrainer trainer(options);                // throws TException on bad options
//   TTrainingResult result = trainer.Train(*network, *trainingSet, validationSet,
//       [](const TEpochReport& r) { return r.epoch < 50; });   // false stops
//
// Train checks everything first -- the network (see TNetworkGradient), the
// data sets (see TTrainingSet), the options -- and throws TException before
// any weight changes. Then it runs epochs until the epoch limit, the target
// error, the patience, the callback or a stop request ends them. With a
// validation set the network is left as it was after its epoch of lowest
// validation error; without one, as after the last epoch. Then connections
// below options.pruneBelow are pruned, and hidden neurons left without
// outputs removed.
//
// Training never changes a frozen weight, a pruned connection (it stays
// pruned with weight 0.0) or any gain unless options.trainGains. The same
// network, data, options and seed give the same bits on every run and
// machine.
//
// Errors reported are the measure of the options' error function without
// the penalty: the root-mean-square error (as TErrorRMSObj) or the summed
// cross-entropy (as TErrorCrossEntropyObj). The training error of an epoch
// is measured on the outputs computed during the epoch, before each row's
// (or step's) update, as FANN reports it; the validation error after it.
//
// Threads: one Train at a time per trainer. RequestStop may be called from
// any thread or from a signal handler.
#ifndef NETFORGE_TRAINING_TTRAINER_H
#define NETFORGE_TRAINING_TTRAINER_H

#include <atomic>
#include <functional>

#include "Training/TPenaltyTerm.h"
#include "Training/TTrainingOptions.h"

class Data;
class TBasicNetwork;

struct TEpochReport {
  int epoch = 0;                 // from 1
  double trainingError = 0.0;
  bool hasValidation = false;
  double validationError = 0.0;  // when hasValidation
  double seconds = 0.0;          // since training began
  bool best = false;             // the lowest validation (or training) error so far
};

enum class TStopReason {
  Epochs,       // the epoch limit was reached
  TargetError,  // the training error reached the target
  Patience,     // no better validation error for |patience| epochs
  Callback,     // the epoch callback returned false
  Interrupted,  // RequestStop was called
  Diverged,     // the training error became infinite or NaN; the network is
                // as it was before that epoch
};

struct TTrainingResult {
  int epochs = 0;              // epochs run
  int bestEpoch = 0;           // epoch of the lowest validation (without one: training) error
  double bestError = 0.0;      // that error
  TStopReason stop = TStopReason::Epochs;
  // Errors of the network as left by Train (after pruning), measured anew.
  double trainingError = 0.0;
  bool hasValidation = false;
  double validationError = 0.0;
  int connectionsPruned = 0;
  int neuronsPruned = 0;
  double seconds = 0.0;
};

class TTrainer {
 public:
  // Called after every epoch; returning false stops training.
  using EpochCallback = std::function<bool(const TEpochReport&)>;

  // Checks |options| (throws TException, kind "Bad Training Option": epochs
  // < 1, a negative or non-finite rate, momentum outside [0, 1), batch size
  // < 1, negative patience, target error or pruning threshold, RPROP or Adam
  // parameters out of range, a bad penalty).
  explicit TTrainer(const TTrainingOptions& options);

  // Trains |network| as described above. |validation| may be null. The
  // network and data sets are the caller's; they are only read during the
  // call, except the network's weights (and gains), and its structure when
  // pruning.
  TTrainingResult Train(TBasicNetwork& network, const Data& training, const Data* validation,
                        const EpochCallback& onEpoch = {});

  // Asks a running (or the next) Train to stop after its current epoch.
  // Async-signal-safe. Train clears the request when it returns.
  void RequestStop() noexcept { stop_.store(true); }

  const TTrainingOptions& Options() const { return options_; }

 private:
  TTrainingOptions options_;
  TPenaltyTerm penalty_;
  std::atomic<bool> stop_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "RequestStop must be usable from a signal handler");
};

#endif  // NETFORGE_TRAINING_TTRAINER_H
