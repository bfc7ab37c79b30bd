#include "NeuralNets/SigmoidArrays.h"

#include "Common/VectorExp.h"

// The formulas in SigmoidArrays.h are the logistic functions of VectorExp.h
// with the same operations in the same order, which gives the same bits.

void SigmoidValues(Netforge::SimdIsa isa, const double* net, double* out, int n) {
  Netforge::FlooredLogisticValues(isa, -500.0, 1e-300, net, out, n);
}

void SigmoidGainValues(Netforge::SimdIsa isa, double gain, const double* net, double* out, int n) {
  Netforge::LogisticValues(isa, gain, net, out, n);
}

void SigmoidValues(const double* net, double* out, int n) {
  SigmoidValues(Netforge::BestSimdIsa(), net, out, n);
}

void SigmoidGainValues(double gain, const double* net, double* out, int n) {
  SigmoidGainValues(Netforge::BestSimdIsa(), gain, net, out, n);
}
