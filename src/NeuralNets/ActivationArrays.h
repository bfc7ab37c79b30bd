// The sigmoid and tanh activation functions' formulas, for one net input
// and for arrays of them. The array forms give every value exactly the bits
// of the one-value formula, computing several values at a time in the
// vector unit (the functions of Common/VectorExp.h): batch recall and
// training run them over many rows of one neuron, or over the neurons of a
// layer, and must give what the functions of ActFunctions.h give neuron by
// neuron.
//
// Internal to the library (not installed). Pure functions, thread-safe.
#ifndef NETFORGE_NEURALNETS_SIGMOIDARRAYS_H
#define NETFORGE_NEURALNETS_SIGMOIDARRAYS_H

#include "Common/PortableMath.h"
#include "Common/SimdIsa.h"

// 1 / (1 + e^-net). Below -500 the exponential would overflow to a
// meaningless huge value; the output is pinned to a tiny positive number.
inline double SigmoidOf(double net) {
  return net < -500.0 ? 1e-300 : 1.0 / (1.0 + Netforge::Exp(-net));
}

// 1 / (1 + e^-(gain net)).
inline double SigmoidGainOf(double gain, double net) {
  return 1.0 / (1.0 + Netforge::Exp(-(gain * net)));
}

// out[i] = SigmoidOf(net[i]), SigmoidGainOf(gain, net[i]), Tanh(net[i]) and
// Tanh(gain * net[i]), for every i in [0, n), bit for bit. |net| and |out| are the same array or do not
// overlap. With the best vector unit, or with |isa|, which must be supported
// (for the tests and benchmarks).
void SigmoidValues(const double* net, double* out, int n);
void SigmoidValues(Netforge::SimdIsa isa, const double* net, double* out, int n);
void SigmoidGainValues(double gain, const double* net, double* out, int n);
void SigmoidGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n);
void TanhValues(const double* net, double* out, int n);
void TanhValues(Netforge::SimdIsa isa, const double* net, double* out, int n);
void TanhGainValues(double gain, const double* net, double* out, int n);
void TanhGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n);

#endif  // NETFORGE_NEURALNETS_SIGMOIDARRAYS_H
