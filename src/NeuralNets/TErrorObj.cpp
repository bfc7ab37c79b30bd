#include "NeuralNets/TErrorObj.h"

#include <cmath>

#include "Common/Assert.h"
#include "Common/PortableMath.h"
#include "Common/StrCase.h"
#include "KQmessage/KQML.h"

namespace {

// What a pattern adds when the output sits exactly on 0.0 or 1.0 and differs
// from its target: large but finite.
constexpr double kSaturatedError = 1000000.0;

// The number under |keyword|, or |fallback| when the keyword is absent.
double Parameter(const TKQstructure& penalty, const char* keyword, double fallback) {
  const TKQstructure* value = penalty.Find(keyword);
  return value == nullptr ? fallback : ToNumber(value->GetHead());
}

double QuadPenalty(int numWeights, const double* weights, const TKQstructure& penalty) {
  const double epsilon1 = Parameter(penalty, "EPSILON1", 0.0);
  const double epsilon2 = Parameter(penalty, "EPSILON2", 0.0);
  const double beta = Parameter(penalty, "BETA", 1.0);
  double result = 0.0;
  for (int i = 0; i < numWeights; ++i) {
    const double d = weights[i] * weights[i];
    const double term = (epsilon1 * beta * d) / (beta * d + 1.0) + epsilon2 * d;
    result += term;
  }
  return result;
}

double LwfPenalty(int numWeights, const double* weights, const TKQstructure& penalty) {
  double s = 0.0;
  for (int i = 0; i < numWeights; ++i) s += std::fabs(weights[i]);
  const double learningRate = Parameter(penalty, "LEARNINGRATE", 0.0);
  const double forgettingRate = Parameter(penalty, "FORGETTINGRATE", 0.0);
  return learningRate * forgettingRate * s;
}

}  // namespace

// ---- TErrorObj ----

TErrorObj::TErrorObj(int numOutputs) : numOutputs(numOutputs), numPatterns(0) { NF_ASSERT(numOutputs >= 0); }

double TErrorObj::Penalty(int numWeights, const double* weights, const TKQstructure* penalty) {
  if (penalty == nullptr) return 0.0;
  NF_ASSERT(numWeights == 0 || weights != NULL);
  const char* kind = penalty->GetHead();
  if (Netforge::strcasecmp(kind, "NONE") == 0) return 0.0;
  if (Netforge::strcasecmp(kind, "QUADPENALTY") == 0) return QuadPenalty(numWeights, weights, *penalty);
  if (Netforge::strcasecmp(kind, "LWF") == 0) return LwfPenalty(numWeights, weights, *penalty);
  NF_ASSERT(false);
  return 0.0;
}

// ---- TErrorRMSObj ----

TErrorRMSObj::TErrorRMSObj(int numOutputs) : TErrorObj(numOutputs), sum(0.0) {}

void TErrorRMSObj::Reset() {
  numPatterns = 0;
  sum = 0.0;
}

void TErrorRMSObj::AddPattern(const double* target, const double* output) {
  for (int i = 0; i < numOutputs; ++i) {
    const double d = target[i] - output[i];
    sum = d * d + sum;
  }
  numPatterns += 1;
}

double TErrorRMSObj::GetError() const {
  if (numPatterns == 0 || numOutputs == 0) return 0.0;
  return std::sqrt((sum / numOutputs) / numPatterns);
}

void TErrorRMSObj::AddPenalty(int numWeights, const double* weights, const TKQstructure* penalty) {
  const double added = Penalty(numWeights, weights, penalty);
  sum += added;
}

// ---- TErrorCrossEntropyObj ----

TErrorCrossEntropyObj::TErrorCrossEntropyObj(int numOutputs) : TErrorObj(numOutputs), sum(0.0) {}

void TErrorCrossEntropyObj::Reset() {
  numPatterns = 0;
  sum = 0.0;
}

void TErrorCrossEntropyObj::AddPattern(const double* target, const double* output) {
  for (int i = 0; i < numOutputs; ++i) {
    const double t = target[i];
    const double y = output[i];
    if (y == 1.0) {
      sum += t == 1.0 ? 0.0 : kSaturatedError;
    } else if (y == 0.0) {
      sum += t == 0.0 ? 0.0 : kSaturatedError;
    } else {
      // The library's own log: the C library's last bit depends on the processor.
      sum = (-t * Netforge::Log(y)) - Netforge::Log(1.0 - y) * (1.0 - t) + sum;
    }
  }
  numPatterns += 1;
}

double TErrorCrossEntropyObj::GetError() const { return sum; }

void TErrorCrossEntropyObj::AddPenalty(int numWeights, const double* weights, const TKQstructure* penalty) {
  const double added = Penalty(numWeights, weights, penalty);
  sum += added;
}
