#include "NeuralNets/ActivationArrays.h"

#include "Common/VectorExp.h"

// The formulas in ActivationArrays.h are the functions of VectorExp.h with
// the same operations in the same order, which gives the same bits.

void SigmoidValues(Netforge::SimdIsa isa, const double* net, double* out, int n) {
  Netforge::FlooredLogisticValues(isa, -500.0, 1e-300, net, out, n);
}

void SigmoidGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n) {
  Netforge::LogisticValues(isa, gain, net, out, n);
}

void TanhValues(Netforge::SimdIsa isa, const double* net, double* out, int n) {
  Netforge::TanhValues(isa, 1.0, net, out, n);  // 1.0 * net gives Tanh(net)'s bits: see there
}

void TanhGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n) {
  Netforge::TanhValues(isa, gain, net, out, n);
}

void SigmoidValues(const double* net, double* out, int n) {
  SigmoidValues(Netforge::BestSimdIsa(), net, out, n);
}

void SigmoidGainValues(double gain, const double* net, double* out, int n) {
  SigmoidGainValues(Netforge::BestSimdIsa(), gain, net, out, n);
}

void TanhValues(const double* net, double* out, int n) {
  TanhValues(Netforge::BestSimdIsa(), net, out, n);
}

void TanhGainValues(double gain, const double* net, double* out, int n) {
  TanhGainValues(Netforge::BestSimdIsa(), gain, net, out, n);
}
