// The derivatives of activation functions over arrays: the group form that
// the trainer's batched passes use, one neuron's values for many rows (or
// one layer's values when the slope reads nothing of the neuron).
//
// Internal to the library (not installed): the vector units it can be asked
// for are internal too. The definitions live in ActDerivatives.cpp, beside
// the built-in derivative functions whose bits the loops reproduce.
// Stateless and thread-safe.
#ifndef NETFORGE_TRAINING_SLOPEARRAYS_H
#define NETFORGE_TRAINING_SLOPEARRAYS_H

#include "Common/SimdIsa.h"
#include "Training/ActDerivatives.h"

// d[i] = e[i] * entry.byNet(neuron, net[i], y[i]) for i in [0, n), with the
// bits of those calls: the built-in derivatives run as plain loops over the
// values (which the compiler vectorises), any other derivative as the call.
void MultiplyBySlopes(const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron, const double* e,
                      const double* net, const double* y, int n, double* d);
// The same with the loops compiled for a given vector unit, which must be
// supported (kAvx512 runs the AVX2 copy; kPlain and kSse2 the baseline's);
// for the tests.
void MultiplyBySlopes(Netforge::SimdIsa isa, const TDerivativeTable::Entry& entry, const TBasicNeuron* neuron,
                      const double* e, const double* net, const double* y, int n, double* d);

// Whether entry.byNet reads nothing of the neuron (a built-in derivative
// without a gain): then one MultiplyBySlopes call may take the values of
// many neurons that share the entry.
bool SlopeIgnoresNeuron(const TDerivativeTable::Entry& entry);

#endif  // NETFORGE_TRAINING_SLOPEARRAYS_H
