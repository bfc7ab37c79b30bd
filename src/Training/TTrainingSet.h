// TTrainingSet: the rows of a data set, checked for training a network.
//
// A read-only view of a Data's stored rows, oldest first: pointers to each
// row's inputs and expected outputs. The Data must outlive the view and not
// change while it exists.
#ifndef NETFORGE_TRAINING_TTRAININGSET_H
#define NETFORGE_TRAINING_TTRAININGSET_H

#include <vector>

#include "Training/TNetworkGradient.h"

class Data;

class TTrainingSet {
 public:
  // Checks |data| against a network of |numInputs| inputs and |numOutputs|
  // outputs and throws TException (kind "Bad Data Set"; |name| names the set
  // in the message, e.g. "the training set") when it holds no rows, its
  // widths differ, it has no expected outputs (label rows), a value is NaN
  // or infinite, or, for cross-entropy, an expected output lies outside
  // [0, 1].
  TTrainingSet(const Data& data, int numInputs, int numOutputs, TTrainingError error, const char* name);

  int Rows() const { return static_cast<int>(inputs_.size()); }
  const double* Inputs(int row) const { return inputs_[static_cast<std::size_t>(row)]; }
  const double* Targets(int row) const { return targets_[static_cast<std::size_t>(row)]; }

 private:
  std::vector<const double*> inputs_;
  std::vector<const double*> targets_;
};

#endif  // NETFORGE_TRAINING_TTRAININGSET_H
