// Derivatives of activation functions, for training.
//
// Training needs, for every neuron it passes an error through, the slope of
// the neuron's activation function: d output / d net input, and for the gain
// forms optionally d output / d gain. A TDerivativeTable maps an activation
// function (by address, as the networks compare functions) to those two
// derivatives. A new table knows the built-in functions that can be trained:
//
//   "linear"            1
//   "saturated-linear"  1 where 0 < net < 1, else 0 (flat outside)
//   "sigmoid"           y (1 - y)
//   "tanh"              1 - y^2
//   "linear-gain"       g;            d/dg: net
//   "sigmoid-gain"      g y (1 - y);  d/dg: net y (1 - y)
//   "tanh-gain"         g (1 - y^2);  d/dg: net (1 - y^2)
//   "bias"              0 (a constant output)
//
// "error" and "null" have none: a network using them cannot be trained. A
// user who registers an activation function of their own with a network's
// TFnRegistry registers its derivative here, beside it.
//
// A table is a plain value: copy it, change the copy. It is not changed by
// training, so one table may serve several trainers, also at the same time.
#ifndef NETFORGE_TRAINING_ACTDERIVATIVES_H
#define NETFORGE_TRAINING_ACTDERIVATIVES_H

#include <vector>

#include "NeuralNets/ActFunctions.h"

// The slope of a neuron's output with respect to its net input (or to its
// gain), given the neuron (for its gain), its net input and its output.
typedef double (*ActDerivative)(const TBasicNeuron* neuron, double net, double output);

class TDerivativeTable {
 public:
  struct Entry {
    ActFunction fn;
    ActDerivative byNet;   // d output / d net; never null
    ActDerivative byGain;  // d output / d gain; null when the function has no gain
  };

  // A table of the built-in functions listed above.
  TDerivativeTable();

  // Registers (or replaces) the derivatives of |fn|. |byNet| must not be
  // null; |byGain| is null for a function without a gain.
  void Register(ActFunction fn, ActDerivative byNet, ActDerivative byGain = nullptr);

  // The entry of |fn|, or null when its derivative is not known.
  const Entry* Find(ActFunction fn) const;

 private:
  std::vector<Entry> entries_;
};

#endif  // NETFORGE_TRAINING_ACTDERIVATIVES_H
