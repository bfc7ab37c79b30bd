#include "Training/TTrainer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Training/TTrainingSet.h"
#include "Training/TrainingObjective.h"
#include "Training/TUpdateRules.h"
#include "Training/TrainingRandom.h"

namespace {

[[noreturn]] void RefuseOption(const std::string& message) {
  throw TException(message.c_str(), "Bad Training Option", "TTrainer::TTrainer", nullptr);
}

void Require(bool ok, const char* message) {
  if (!ok) RefuseOption(message);
}

void CheckOptions(const TTrainingOptions& o) {
  Require(o.epochs >= 1, "the number of epochs must be at least 1");
  Require(std::isfinite(o.targetError) && o.targetError >= 0.0, "the target error must be a number >= 0");
  const double rate = EffectiveLearningRate(o);
  Require(std::isfinite(rate) && rate >= 0.0, "the learning rate must be a number >= 0");
  Require(std::isfinite(o.momentum) && o.momentum >= 0.0 && o.momentum < 1.0, "the momentum must lie in [0, 1)");
  Require(o.batchSize >= 1, "the batch size must be at least 1");
  Require(o.patience >= 0, "the patience must be >= 0");
  Require(std::isfinite(o.pruneBelow) && o.pruneBelow >= 0.0, "the pruning threshold must be a number >= 0");
  Require(std::isfinite(o.rpropIncrease) && o.rpropIncrease >= 1.0, "the RPROP increase factor must be >= 1");
  Require(std::isfinite(o.rpropDecrease) && o.rpropDecrease > 0.0 && o.rpropDecrease <= 1.0,
          "the RPROP decrease factor must lie in (0, 1]");
  Require(std::isfinite(o.rpropMinStep) && o.rpropMinStep >= 0.0 && std::isfinite(o.rpropMaxStep) &&
              o.rpropMaxStep >= o.rpropMinStep,
          "the RPROP step limits must satisfy 0 <= minimum <= maximum");
  Require(std::isfinite(o.rpropInitialStep) && o.rpropInitialStep > 0.0, "the RPROP initial step must be > 0");
  Require(std::isfinite(o.quickpropDecay) && std::isfinite(o.quickpropMu) && o.quickpropMu > 0.0,
          "the Quickprop mu must be > 0 and its decay finite");
  Require(std::isfinite(o.adamBeta1) && o.adamBeta1 >= 0.0 && o.adamBeta1 < 1.0 && std::isfinite(o.adamBeta2) &&
              o.adamBeta2 >= 0.0 && o.adamBeta2 < 1.0,
          "the Adam betas must lie in [0, 1)");
  Require(std::isfinite(o.adamEpsilon) && o.adamEpsilon > 0.0, "the Adam epsilon must be > 0");
}

// The error measure of the options' error function.
class Measure {
 public:
  Measure(TTrainingError error, int outputs) : error_(error), rms_(outputs), crossEntropy_(outputs) {}
  void Reset() {
    rms_.Reset();
    crossEntropy_.Reset();
  }
  void Add(const double* target, const double* output) {
    if (error_ == TTrainingError::SumSquared) rms_.AddPattern(target, output);
    else crossEntropy_.AddPattern(target, output);
  }
  // The figure reported: RMS error or summed cross-entropy.
  double Figure() const { return error_ == TTrainingError::SumSquared ? rms_.GetError() : crossEntropy_.GetError(); }
  // The training error E of the data without penalty: half the squared sum,
  // or the cross-entropy sum.
  double Objective() const { return error_ == TTrainingError::SumSquared ? 0.5 * rms_.GetSum() : crossEntropy_.GetSum(); }

 private:
  TTrainingError error_;
  TErrorRMSObj rms_;
  TErrorCrossEntropyObj crossEntropy_;
};

std::vector<double> TakeSnapshot(const TParameterLayout& layout) {
  std::vector<double> values(layout.size, 0.0);
  layout.ForEach([&](double& w, std::size_t k) { values[k] = w; });
  return values;
}

void Restore(const TParameterLayout& layout, const std::vector<double>& values) {
  layout.ForEach([&](double& w, std::size_t k) { w = values[k]; });
}

double PenaltyValue(TBasicNetwork& network, const TKQstructure* penalty) {
  if (penalty == nullptr) return 0.0;
  std::vector<double> weights(static_cast<std::size_t>(network.GetNumWeights(FMaskExists)));
  network.GetWeights(weights.data(), FMaskExists);
  return TErrorObj::Penalty(static_cast<int>(weights.size()), weights.data(), penalty);
}

// Forward passes in batches (ForwardBatch, the bits of Forward row by row).
double MeasureForward(TNetworkGradient& model, const TTrainingSet& set, TTrainingError error) {
  constexpr int kRows = 256;
  const std::size_t nOut = static_cast<std::size_t>(model.NumOutputs());
  Measure measure(error, model.NumOutputs());
  std::vector<const double*> inputs(kRows);
  std::vector<double> outputs(kRows * nOut);
  for (int first = 0; first < set.Rows(); first += kRows) {
    const int rows = std::min(kRows, set.Rows() - first);
    for (int r = 0; r < rows; ++r) inputs[static_cast<std::size_t>(r)] = set.Inputs(first + r);
    model.ForwardBatch(inputs.data(), rows, outputs.data());
    for (int r = 0; r < rows; ++r) {
      measure.Add(set.Targets(first + r), outputs.data() + static_cast<std::size_t>(r) * nOut);
    }
  }
  return measure.Figure();
}

int PruneSmallWeights(const TParameterLayout& layout, double threshold) {
  int pruned = 0;
  for (const TParameterLayout::Block& b : layout.blocks) {
    if (b.flags == nullptr) continue;  // a fully connected block cannot lose a connection
    for (int t = 0; t < b.view.nTo; ++t) {
      for (int f = 0; f < b.view.nFrom; ++f) {
        const std::size_t i = static_cast<std::size_t>(t) * static_cast<std::size_t>(b.view.nFrom) + static_cast<std::size_t>(f);
        if ((b.flags[i] & FMaskAll) == FMaskAll && std::fabs(b.weights[i]) < threshold) {
          b.block->PruneConnection(f, t);
          ++pruned;
        }
      }
    }
  }
  return pruned;
}

// Clears the stop request however Train ends.
struct StopReset {
  std::atomic<bool>& flag;
  ~StopReset() { flag.store(false); }
};

}  // namespace

TTrainer::TTrainer(const TTrainingOptions& options) : options_(options) {
  CheckOptions(options_);
  penalty_ = TPenaltyTerm(options_.penalty.get());
}

namespace {

// What one training run works with, made once the checks have passed.
struct Run {
  TBasicNetwork& network;
  TNetworkGradient& model;
  const TTrainingSet& trainSet;
  const TTrainingOptions& options;
  const TPenaltyTerm& penalty;
  std::unique_ptr<TUpdateRule> rule;
  int rowsPerStep;
  bool shuffles;
  std::vector<double> gradient;
  std::vector<const double*> stepInputs, stepTargets;  // one step's rows
  std::vector<double> stepOutputs;
  std::vector<std::int32_t> order;
  TTrainingRandom random;
  Measure measure;

  Run(TBasicNetwork& network, TNetworkGradient& model, const TTrainingSet& trainSet, const TTrainingOptions& options,
      const TPenaltyTerm& penalty)
      : network(network),
        model(model),
        trainSet(trainSet),
        options(options),
        penalty(penalty),
        rule(MakeUpdateRule(options, model.Layout().size)),
        rowsPerStep(rule->RowsPerStep() == 0 ? trainSet.Rows() : std::min(rule->RowsPerStep(), trainSet.Rows())),
        shuffles(options.shuffle && rowsPerStep < trainSet.Rows()),
        gradient(model.Layout().size, 0.0),
        order(static_cast<std::size_t>(trainSet.Rows())),
        random(options.seed),
        measure(options.error, model.NumOutputs()) {
    std::iota(order.begin(), order.end(), 0);
  }

  // One epoch: the rows in steps of rowsPerStep, each step's gradient (with
  // the penalty's share) handed to the rule. Returns the training error.
  double Epoch() {
    const int rows = trainSet.Rows();
    const double penaltyScale = PenaltyScale(options.error);
    if (shuffles) random.Shuffle(order);
    measure.Reset();
    for (int first = 0; first < rows; first += rowsPerStep) {
      const int last = std::min(rows, first + rowsPerStep);
      if (last - first == 1 && penalty.GetKind() == TPenaltyTerm::Kind::None && StepPattern(first)) continue;
      std::fill(gradient.begin(), gradient.end(), 0.0);
      if (last - first == 1) {
        const int r = order[static_cast<std::size_t>(first)];
        measure.Add(trainSet.Targets(r), model.AddPatternGradient(trainSet.Inputs(r), trainSet.Targets(r), gradient.data()));
      } else {
        AddStepGradient(first, last);
      }
      AddPenaltyGradient(model.Layout(), penalty, penaltyScale * (last - first) / rows, gradient.data());
      double error = 0.0;
      if (rule->NeedsError()) error = measure.Objective() + penaltyScale * PenaltyValue(network, options.penalty.get());
      rule->Step(model.Layout(), gradient.data(), last - first, error);
    }
    return measure.Figure();
  }

  // The row at |first| of the order through the rule's one-pass step, if it
  // has one (the bits of the general path, without the gradient array).
  bool StepPattern(int first) {
    const int r = order[static_cast<std::size_t>(first)];
    const double* outputs = rule->StepPattern(model, trainSet.Inputs(r), trainSet.Targets(r));
    if (outputs == nullptr) return false;
    measure.Add(trainSet.Targets(r), outputs);
    return true;
  }

  // The rows [first, last) of the order through each block together: the
  // same bits as row by row (AddBatchGradient), each weight loaded once per
  // group of rows.
  void AddStepGradient(int first, int last) {
    const std::size_t nOut = static_cast<std::size_t>(model.NumOutputs());
    stepInputs.clear();
    stepTargets.clear();
    for (int i = first; i < last; ++i) {
      const int r = order[static_cast<std::size_t>(i)];
      stepInputs.push_back(trainSet.Inputs(r));
      stepTargets.push_back(trainSet.Targets(r));
    }
    stepOutputs.resize(static_cast<std::size_t>(last - first) * nOut);
    model.AddBatchGradient(stepInputs.data(), stepTargets.data(), last - first, gradient.data(), stepOutputs.data());
    for (std::size_t i = 0; i < stepTargets.size(); ++i) measure.Add(stepTargets[i], stepOutputs.data() + i * nOut);
  }
};

// Why training stops after |report|'s epoch, if it does.
std::optional<TStopReason> StopAfter(const TTrainingOptions& o, const TEpochReport& report, int sinceBest,
                                     bool callbackStops, bool stopRequested, bool targetReached) {
  if (callbackStops) return TStopReason::Callback;
  if (stopRequested) return TStopReason::Interrupted;
  if (targetReached) return TStopReason::TargetError;
  if (report.hasValidation && o.patience > 0 && sinceBest >= o.patience) return TStopReason::Patience;
  return std::nullopt;
}

}  // namespace

TTrainingResult TTrainer::Train(TBasicNetwork& network, const Data& training, const Data* validation,
                                const EpochCallback& onEpoch) {
  StopReset reset{stop_};
  const TDerivativeTable builtIn;
  const TDerivativeTable& derivatives = options_.derivatives != nullptr ? *options_.derivatives : builtIn;
  const TTrainingError error = options_.error;

  // Every check before any weight changes.
  TNetworkGradient model(network, derivatives, error, options_.trainGains);
  if (model.Layout().trainable == 0) {
    throw TException("the network has no trainable weight", "Untrainable Network", "TTrainer::Train", nullptr);
  }
  const TTrainingSet trainSet(training, model.NumInputs(), model.NumOutputs(), error, "the training set");
  std::optional<TTrainingSet> validSet;
  if (validation != nullptr) validSet.emplace(*validation, model.NumInputs(), model.NumOutputs(), error, "the validation set");

  const TParameterLayout& layout = model.Layout();
  Run run(network, model, trainSet, options_, penalty_);
  TTrainingResult result;
  result.hasValidation = validSet.has_value();
  result.bestError = std::numeric_limits<double>::infinity();
  std::vector<double> best;  // the parameters of the best validation error
  int sinceBest = 0;
  const auto start = std::chrono::steady_clock::now();

  for (int epoch = 1; epoch <= options_.epochs; ++epoch) {
    const std::vector<double> epochStart = TakeSnapshot(layout);
    TEpochReport report;
    report.epoch = epoch;
    report.trainingError = run.Epoch();
    result.epochs = epoch;
    if (!std::isfinite(report.trainingError)) {
      Restore(layout, epochStart);
      result.stop = TStopReason::Diverged;
      break;
    }
    report.hasValidation = validSet.has_value();
    if (validSet) report.validationError = MeasureForward(model, *validSet, error);
    const double figure = validSet ? report.validationError : report.trainingError;
    report.best = figure < result.bestError;
    if (report.best) {
      result.bestError = figure;
      result.bestEpoch = epoch;
      sinceBest = 0;
      if (validSet) best = TakeSnapshot(layout);
    } else {
      ++sinceBest;
    }
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool callbackStops = onEpoch && !onEpoch(report);
    // The epoch's error is measured while its updates move the weights, and
    // the last ones can move the error far: the target counts as reached
    // when the network as it now stands meets it too (one more forward pass,
    // only in epochs whose error came below the target).
    const bool targetReached = options_.targetError > 0.0 && report.trainingError <= options_.targetError &&
                               MeasureForward(model, trainSet, error) <= options_.targetError;
    if (const auto reason = StopAfter(options_, report, sinceBest, callbackStops, stop_.load(), targetReached)) {
      result.stop = *reason;
      break;
    }
  }

  if (validSet && !best.empty() && result.bestEpoch != result.epochs) Restore(layout, best);
  if (options_.pruneBelow > 0.0) {
    result.connectionsPruned = PruneSmallWeights(layout, options_.pruneBelow);
    result.neuronsPruned = network.PruneNodes();  // |model| no longer fits the network
  }
  // Pruning may have changed the structure |model| was laid out for; a new
  // one passes the same checks, as pruning only removes.
  TNetworkGradient measured(network, derivatives, error, false);
  result.trainingError = MeasureForward(measured, trainSet, error);
  if (validSet) result.validationError = MeasureForward(measured, *validSet, error);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}
