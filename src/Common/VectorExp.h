// Exp over arrays: several values at once in the processor's vector unit,
// each with exactly the bits that Netforge::Exp gives it; and over arrays
// the two functions that spend most of their time in the exponential: the
// logistic function 1 / (1 + e^-x), computed in the same registers, and
// Tanh, with its double-double steps lane by lane as well.
//
// Every lane runs Exp's own operations in Exp's order (the reduction with
// the round shifter, the polynomial by Estrin's scheme, the table of 2^(j/64)
// as double-doubles and the scaling by 2^k built from its bits), each + - *
// / rounded once as in the scalar code, so the bits match lane by lane. The
// vector path covers exponents in the ordinary range 2^-54 <= |x| <= 707
// (for Tanh 2^-28 <= |x| < 22), without a branch; a lane outside it (0,
// tiny, huge, infinite or NaN) is computed by the scalar function, which
// knows the special cases.
//
// Internal to the library (not installed). Pure functions, thread-safe.
#ifndef NETFORGE_COMMON_VECTOREXP_H
#define NETFORGE_COMMON_VECTOREXP_H

#include "Common/SimdIsa.h"

namespace Netforge {

// In every function below |x| and |y| are the same array or do not overlap;
// the functions use the best supported unit, or |isa|, which must be
// supported (for the tests, which hold every unit to the scalar formulas,
// and the benchmarks).

// y[i] = Exp(x[i]) for every i in [0, n), bit for bit.
void ExpValues(const double* x, double* y, int n);
void ExpValues(SimdIsa isa, const double* x, double* y, int n);

// y[i] = 1.0 / (1.0 + Exp(-(gain * x[i]))), bit for bit as written.
void LogisticValues(SimdIsa isa, double gain, const double* x, double* y, int n);

// y[i] = x[i] < floor ? floorValue : 1.0 / (1.0 + Exp(-x[i])), bit for bit
// as written (the exponential of a floored value is not used).
void FlooredLogisticValues(SimdIsa isa, double floor, double floorValue, const double* x, double* y, int n);

// y[i] = Tanh(gain * x[i]), bit for bit as written. With gain 1.0 this is
// Tanh(x[i]) itself: 1.0 * x is x, but for a signalling NaN, which Tanh
// turns into the same quiet NaN either way.
void TanhValues(SimdIsa isa, double gain, const double* x, double* y, int n);

// What the kernels of each unit compute; the functions above in one form.
struct ExpArrayForm {
  enum class Kind { kExp, kLogistic, kFlooredLogistic, kScaledTanh };
  Kind kind;
  double gain;        // kLogistic and kScaledTanh only
  double floor;       // kFlooredLogistic only
  double floorValue;  // kFlooredLogistic only
};

// The kernels of each unit: VectorExp.cpp (SSE2), VectorExpAvx2.cpp and
// VectorExpAvx512.cpp; to be called only where the unit is supported.
void ExpFormValuesSse2(const ExpArrayForm& form, const double* x, double* y, int n);
void ExpFormValuesAvx2(const ExpArrayForm& form, const double* x, double* y, int n);
void ExpFormValuesAvx512(const ExpArrayForm& form, const double* x, double* y, int n);

}  // namespace Netforge

#endif  // NETFORGE_COMMON_VECTOREXP_H
