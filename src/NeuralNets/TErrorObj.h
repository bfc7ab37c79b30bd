// Error measures: objects that accumulate the error of a network's outputs
// against target outputs over a run of patterns and report one figure.
//
// TErrorObj is the interface; TErrorRMSObj measures the root-mean-square
// error, TErrorCrossEntropyObj the cross-entropy error. Either can also add a
// weight penalty described by a TKQstructure whose head names the kind and
// whose pairs carry numeric parameters (head and keywords in any case):
//
//   NONE (or a null description)  no penalty
//   QUADPENALTY  EPSILON1 (default 0.0), EPSILON2 (0.0), BETA (1.0):
//                sum of EPSILON1*BETA*w^2/(BETA*w^2+1) + EPSILON2*w^2
//   LWF          LEARNINGRATE, FORGETTINGRATE (each 0.0 when absent, so an
//                incomplete description adds no penalty):
//                LEARNINGRATE * FORGETTINGRATE * sum of |w|
//
// Usage: construct (or Reset), AddPattern once per pattern, optionally
// AddPenalty, then GetError. An error object holds no pointers: the vectors
// passed in are only read during the call and must hold numOutputs (or
// numWeights) values; the penalty description stays the caller's.
#ifndef NETFORGE_NEURALNETS_TERROROBJ_H
#define NETFORGE_NEURALNETS_TERROROBJ_H

class TKQstructure;

class TErrorObj {
 public:
  explicit TErrorObj(int numOutputs);
  virtual ~TErrorObj() = default;

  // Forgets every pattern and penalty added so far.
  virtual void Reset() = 0;
  // Accumulates one pattern: |target| and |output| hold numOutputs values.
  virtual void AddPattern(const double* target, const double* output) = 0;
  // The error figure of what has been accumulated.
  virtual double GetError() const = 0;
  // Adds Penalty(numWeights, weights, penalty) to the accumulated error. A
  // parameter that is not a number throws TKQstructure::Error and leaves the
  // object as it was.
  virtual void AddPenalty(int numWeights, const double* weights, const TKQstructure* penalty) = 0;

  // The penalty of |penalty| (see above) over the |numWeights| values at
  // |weights|. Throws TKQstructure::Error for a parameter that is not a
  // number; an unknown head word is a caller's error (internal check
  // "false").
  static double Penalty(int numWeights, const double* weights, const TKQstructure* penalty);

  int GetNumOutputs() const { return numOutputs; }
  int GetNumPatterns() const { return numPatterns; }

 protected:
  int numOutputs;
  int numPatterns;
};

// Root-mean-square error: sqrt((sum / numOutputs) / numPatterns), where sum
// holds the squared differences and any penalties. With no pattern added the
// error is 0.0 rather than a division by zero.
class TErrorRMSObj : public TErrorObj {
 public:
  explicit TErrorRMSObj(int numOutputs);

  void Reset() override;
  void AddPattern(const double* target, const double* output) override;
  double GetError() const override;
  void AddPenalty(int numWeights, const double* weights, const TKQstructure* penalty) override;

  double GetSum() const { return sum; }

 private:
  double sum;
};

// Cross-entropy error: the sum over patterns and outputs of
// -t*ln(y) - (1-t)*ln(1-y), without averaging, plus any penalties. An output
// of exactly 1.0 adds 0.0 when its target is exactly 1.0 and one million
// otherwise; an output of exactly 0.0 mirrors this: 0.0 when its target is
// exactly 0.0 and one million otherwise. So the figure stays finite.
class TErrorCrossEntropyObj : public TErrorObj {
 public:
  explicit TErrorCrossEntropyObj(int numOutputs);

  void Reset() override;
  void AddPattern(const double* target, const double* output) override;
  double GetError() const override;
  void AddPenalty(int numWeights, const double* weights, const TKQstructure* penalty) override;

  double GetSum() const { return sum; }

 private:
  double sum;
};

#endif  // NETFORGE_NEURALNETS_TERROROBJ_H
