// The arrays go through in chunks that stay in the first-level cache: the
// exponents of a chunk are written to a buffer, the vector exp replaces them
// by their exponentials, and two more loops turn those into outputs. Each
// value meets the operations of the one-value formula in the same order
// (negation, exp, 1 +, 1 /), so its bits are the same. The short loops are
// plain code without branches, which the compiler runs several values at a
// time; the sigmoid's pinned outputs are put in by a loop of their own, as a
// division under a condition would keep the compiler from that.
#include "NeuralNets/SigmoidArrays.h"

#include <algorithm>
#include <cstring>

#include "Common/VectorExp.h"

namespace {

constexpr int kChunk = 256;

// For each chunk of at most kChunk values x of |net|: e^exponent(x), then
// out = pin(x, 1 / (1 + e^exponent(x))).
template <class Exponent, class Pin>
void InChunks(Netforge::SimdIsa isa, const double* net, double* out, int n, Exponent exponent, Pin pin) {
  double buffer[kChunk];
  for (int start = 0; start < n; start += kChunk) {
    const int count = std::min(kChunk, n - start);
    const double* x = net + start;
    for (int i = 0; i < count; ++i) buffer[i] = exponent(x[i]);
    Netforge::ExpValues(isa, buffer, buffer, count);
    for (int i = 0; i < count; ++i) buffer[i] = 1.0 / (1.0 + buffer[i]);
    for (int i = 0; i < count; ++i) buffer[i] = pin(x[i], buffer[i]);
    std::memcpy(out + start, buffer, static_cast<std::size_t>(count) * sizeof(double));
  }
}

}  // namespace

void SigmoidValues(Netforge::SimdIsa isa, const double* net, double* out, int n) {
  // Below -500 the exponential is not used; 1.0 stands in for it, a value
  // the vector exp takes on its fast path.
  InChunks(
      isa, net, out, n, [](double x) { return x < -500.0 ? 1.0 : -x; },
      [](double x, double sigmoid) { return x < -500.0 ? 1e-300 : sigmoid; });
}

void SigmoidGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n) {
  InChunks(
      isa, net, out, n, [gain](double x) { return -(gain * x); }, [](double, double sigmoid) { return sigmoid; });
}

void SigmoidValues(const double* net, double* out, int n) {
  SigmoidValues(Netforge::BestSimdIsa(), net, out, n);
}

void SigmoidGainValues(double gain, const double* net, double* out, int n) {
  SigmoidGainValues(Netforge::BestSimdIsa(), gain, net, out, n);
}
