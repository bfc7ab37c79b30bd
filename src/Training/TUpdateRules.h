// Update rules: how each training algorithm turns a gradient into new
// weights. TTrainer computes gradients; a rule keeps its own state (one value
// or a few per parameter, indexed like the gradient) and changes the
// parameters in the fixed order of TParameterLayout::ForEach.
//
// Made by MakeUpdateRule for one layout; not thread-safe.
#ifndef NETFORGE_TRAINING_TUPDATERULES_H
#define NETFORGE_TRAINING_TUPDATERULES_H

#include <cstddef>
#include <memory>

#include "Training/TTrainingOptions.h"

class TUpdateRule {
 public:
  virtual ~TUpdateRule() = default;
  // Rows per step: 1 (incremental), a mini-batch, or 0 for the whole epoch.
  virtual int RowsPerStep() const = 0;
  // Whether Step needs the epoch's error E (iRPROP+).
  virtual bool NeedsError() const { return false; }
  // Changes the parameters of |layout| from |gradient| (the gradient of E
  // summed over the step's |rows| rows, the penalty's share included).
  // |error| is E at the weights the gradient was taken at, when NeedsError.
  virtual void Step(const TParameterLayout& layout, const double* gradient, int rows, double error) = 0;
  // For a rule that steps after every row: trains |model| on one pattern in
  // one pass, with the bits of AddPatternGradient into a zeroed gradient
  // followed by Step (no penalty), and returns the outputs as
  // AddPatternGradient does. A rule without such a pass (the default)
  // returns null and changes nothing.
  virtual const double* StepPattern(TNetworkGradient& model, const double* input, const double* target);
};

// The rule of |options.algorithm| for a gradient of |size| values.
std::unique_ptr<TUpdateRule> MakeUpdateRule(const TTrainingOptions& options, std::size_t size);

#endif  // NETFORGE_TRAINING_TUPDATERULES_H
