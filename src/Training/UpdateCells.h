// The update rules' formulas for one parameter, written once: the rules'
// plain loops (TUpdateRules.cpp) and the vectorised loops (BackwardKernels)
// take them from here, and a vectorised loop must give their bits (the same
// operations in the same order, no fused multiply-add).
#ifndef NETFORGE_TRAINING_UPDATECELLS_H
#define NETFORGE_TRAINING_UPDATECELLS_H

#include <cmath>

namespace UpdateCells {

// Gradient descent with momentum: the step of the parameter |w| on its
// gradient |g| (already summed over the step's rows), |rate| the learning
// rate per row.
inline void Descend(double g, double rate, double momentum, double& velocity, double& w) {
  velocity = momentum * velocity - rate * g;
  w = w + velocity;
}

// Adam's constants for one step.
struct TAdamStep {
  double rows;                      // the rows whose gradients were summed
  double beta1, beta2;              // the decay of the moments
  double keep1, keep2;              // 1 - beta1, 1 - beta2
  double correction1, correction2;  // 1 - beta1^t, 1 - beta2^t
  double rate, epsilon;
};

// Adam's step of the parameter |w| on its summed gradient |gradient|, with
// its first and second moments |m| and |v|.
inline void Adam(const TAdamStep& s, double gradient, double& m, double& v, double& w) {
  const double g = gradient / s.rows;
  m = s.beta1 * m + s.keep1 * g;
  v = s.beta2 * v + s.keep2 * (g * g);
  const double mHat = m / s.correction1;
  const double vHat = v / s.correction2;
  w = w - s.rate * mHat / (std::sqrt(vHat) + s.epsilon);
}

}  // namespace UpdateCells

#endif  // NETFORGE_TRAINING_UPDATECELLS_H
