// TPenaltyTerm: a weight penalty of the error measures, as a training term.
//
// The error measures (TErrorObj) add a penalty over the network's weights,
// described by a TKQstructure: NONE, QUADPENALTY (EPSILON1, EPSILON2, BETA)
// or LWF (LEARNINGRATE, FORGETTINGRATE). A TPenaltyTerm reads such a
// description once, refusing what the measures could not use, and gives the
// derivative of exactly the formula they add:
//
//   QUADPENALTY  d/dw = 2 EPSILON1 BETA w / (BETA w^2 + 1)^2 + 2 EPSILON2 w
//   LWF          d/dw = LEARNINGRATE FORGETTINGRATE sign(w)   (0 at w = 0)
//
// A plain value; thread-safe to read.
#ifndef NETFORGE_TRAINING_TPENALTYTERM_H
#define NETFORGE_TRAINING_TPENALTYTERM_H

class TKQstructure;

class TPenaltyTerm {
 public:
  enum class Kind { None, Quad, Lwf };

  // No penalty.
  TPenaltyTerm() = default;
  // Reads |description| (null: no penalty). Throws TException (kind "Bad
  // Penalty") for an unknown head word or a parameter that is not a finite
  // number.
  explicit TPenaltyTerm(const TKQstructure* description);

  Kind GetKind() const { return kind_; }
  // The penalty's derivative at the weight |w|.
  double Derivative(double w) const;

 private:
  Kind kind_ = Kind::None;
  double epsilon1_ = 0.0;
  double epsilon2_ = 0.0;
  double beta_ = 1.0;
  double rate_ = 0.0;  // LEARNINGRATE * FORGETTINGRATE
};

#endif  // NETFORGE_TRAINING_TPENALTYTERM_H
