#include "Training/TUpdateRules.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "Training/BackwardKernels.h"
#include "Training/UpdateCells.h"

namespace {

// Gradient descent with momentum, after every |rowsPerStep| rows (0: once
// per epoch). The step is rate / rows times the summed gradient, so batch
// descent moves by the mean gradient (FANN's learning_rate / num_data).
class GradientDescent : public TUpdateRule {
 public:
  GradientDescent(double rate, double momentum, int rowsPerStep, std::size_t size)
      : rate_(rate), momentum_(momentum), rowsPerStep_(rowsPerStep), velocity_(size, 0.0) {}

  int RowsPerStep() const override { return rowsPerStep_; }

  void Step(const TParameterLayout& layout, const double* gradient, int rows, double) override {
    const double rate = rate_ / rows;
    layout.ForEachRun([&](double* w, std::size_t k, std::size_t count) {
      double* velocity = velocity_.data() + k;
      for (std::size_t i = 0; i < count; ++i) UpdateCells::Descend(gradient[k + i], rate, momentum_, velocity[i], w[i]);
    });
  }

  // The same step without the gradient array.
  const double* StepPattern(TNetworkGradient& model, const double* input, const double* target) override {
    if (rowsPerStep_ != 1) return nullptr;
    return model.DescendPattern(input, target, rate_, momentum_, velocity_.data());  // rate_ / 1 rows
  }

 private:
  double rate_;
  double momentum_;
  int rowsPerStep_;
  std::vector<double> velocity_;
};

double Sign(double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); }

// iRPROP- (Igel and Huesken): the step of each weight grows while its
// gradient keeps its sign and shrinks when it changes; after a change the
// gradient is taken as 0, so the weight rests for one epoch. iRPROP+ also
// takes back the last move of a weight whose gradient changed sign when the
// epoch's error grew.
//
// A zero product of the previous and the current gradient (the first epoch,
// the epoch after a sign change, a zero gradient) counts as the same sign and
// grows the step, as FANN does: with FANN's defaults the first epoch then
// moves by 0.1 * 1.2 and gives FANN's weights. A weight whose gradient is 0
// does not move; unlike FANN 2.2, neither does one whose gradient just
// changed sign.
class Rprop : public TUpdateRule {
 public:
  Rprop(const TTrainingOptions& o, bool backtrack, std::size_t size)
      : increase_(o.rpropIncrease),
        decrease_(o.rpropDecrease),
        minStep_(o.rpropMinStep),
        maxStep_(o.rpropMaxStep),
        backtrack_(backtrack),
        step_(size, o.rpropInitialStep),
        previous_(size, 0.0),
        lastMove_(backtrack ? size : 0, 0.0) {}

  int RowsPerStep() const override { return 0; }
  bool NeedsError() const override { return backtrack_; }

  void Step(const TParameterLayout& layout, const double* gradient, int, double error) override {
    const bool errorGrew = error > previousError_;
    layout.ForEach([&](double& w, std::size_t k) {
      double g = gradient[k];
      const double product = previous_[k] * g;
      if (product >= 0.0) {
        step_[k] = std::min(step_[k] * increase_, maxStep_);
      } else {
        step_[k] = std::max(step_[k] * decrease_, minStep_);
        if (backtrack_) {
          if (errorGrew) w -= lastMove_[k];
          lastMove_[k] = 0.0;
        }
        g = 0.0;
      }
      if (g != 0.0) {
        const double move = -Sign(g) * step_[k];
        w += move;
        if (backtrack_) lastMove_[k] = move;
      }
      previous_[k] = g;
    });
    previousError_ = error;
  }

 private:
  double increase_, decrease_, minStep_, maxStep_;
  bool backtrack_;
  double previousError_ = std::numeric_limits<double>::infinity();
  std::vector<double> step_;
  std::vector<double> previous_;
  std::vector<double> lastMove_;
};

// Quickprop (Fahlman) as FANN states it, on FANN's slope -g with its decay
// term: a quadratic estimate from the last two slopes, at most mu times the
// last step, plus a linear term rate / N * slope where the slope still
// points the same way.
class Quickprop : public TUpdateRule {
 public:
  Quickprop(const TTrainingOptions& o, std::size_t size)
      : rate_(EffectiveLearningRate(o)), decay_(o.quickpropDecay), mu_(o.quickpropMu), step_(size, 0.0), slope_(size, 0.0) {}

  int RowsPerStep() const override { return 0; }

  void Step(const TParameterLayout& layout, const double* gradient, int rows, double) override {
    const double epsilon = rate_ / rows;
    const double shrink = mu_ / (1.0 + mu_);
    layout.ForEach([&](double& w, std::size_t k) {
      const double previousStep = step_[k];
      const double previousSlope = slope_[k];
      const double slope = -gradient[k] + decay_ * w;
      double next = 0.0;
      if (previousStep > 0.001) {
        if (slope > 0.0) next += epsilon * slope;
        if (slope > shrink * previousSlope) next += mu_ * previousStep;
        else next += previousStep * slope / (previousSlope - slope);
      } else if (previousStep < -0.001) {
        if (slope < 0.0) next += epsilon * slope;
        if (slope < shrink * previousSlope) next += mu_ * previousStep;
        else next += previousStep * slope / (previousSlope - slope);
      } else {
        next += epsilon * slope;
      }
      step_[k] = next;
      w += next;
      slope_[k] = slope;
    });
  }

 private:
  double rate_, decay_, mu_;
  std::vector<double> step_;
  std::vector<double> slope_;
};

// Adam (Kingma and Ba) on the mean gradient of each mini-batch, with the
// usual bias correction.
class Adam : public TUpdateRule {
 public:
  Adam(const TTrainingOptions& o, std::size_t size)
      : rate_(EffectiveLearningRate(o)),
        beta1_(o.adamBeta1),
        beta2_(o.adamBeta2),
        epsilon_(o.adamEpsilon),
        batch_(o.batchSize),
        m_(size, 0.0),
        v_(size, 0.0) {}

  int RowsPerStep() const override { return batch_; }

  void Step(const TParameterLayout& layout, const double* gradient, int rows, double) override {
    ++t_;
    power1_ *= beta1_;
    power2_ *= beta2_;
    const UpdateCells::TAdamStep step{static_cast<double>(rows), beta1_, beta2_, 1.0 - beta1_, 1.0 - beta2_,
                                      1.0 - power1_, 1.0 - power2_, rate_, epsilon_};
    layout.ForEachRun([&](double* w, std::size_t k, std::size_t count) {
      BackwardKernels::Adam(step, w, gradient + k, m_.data() + k, v_.data() + k, count);
    });
  }

 private:
  double rate_, beta1_, beta2_, epsilon_;
  int batch_;
  long t_ = 0;
  double power1_ = 1.0;
  double power2_ = 1.0;
  std::vector<double> m_;
  std::vector<double> v_;
};

}  // namespace

const double* TUpdateRule::StepPattern(TNetworkGradient&, const double*, const double*) { return nullptr; }

double EffectiveLearningRate(const TTrainingOptions& options) {
  if (options.learningRate.has_value()) return *options.learningRate;
  return options.algorithm == TTrainingAlgorithm::Adam ? 0.001 : 0.7;
}

std::unique_ptr<TUpdateRule> MakeUpdateRule(const TTrainingOptions& options, std::size_t size) {
  switch (options.algorithm) {
    case TTrainingAlgorithm::Incremental:
      return std::make_unique<GradientDescent>(EffectiveLearningRate(options), options.momentum, 1, size);
    case TTrainingAlgorithm::Batch:
      return std::make_unique<GradientDescent>(EffectiveLearningRate(options), options.momentum, 0, size);
    case TTrainingAlgorithm::IRpropMinus:
      return std::make_unique<Rprop>(options, false, size);
    case TTrainingAlgorithm::IRpropPlus:
      return std::make_unique<Rprop>(options, true, size);
    case TTrainingAlgorithm::Quickprop:
      return std::make_unique<Quickprop>(options, size);
    case TTrainingAlgorithm::Adam:
      return std::make_unique<Adam>(options, size);
  }
  return nullptr;
}
