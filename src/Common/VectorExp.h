// Exp over arrays: several values at once in the processor's vector unit,
// each with exactly the bits that Netforge::Exp gives it.
//
// Every lane runs Exp's own operations in Exp's order (the reduction with
// the round shifter, the polynomial by Estrin's scheme, the table of 2^(j/64)
// as double-doubles and the scaling by 2^k built from its bits), each + - *
// rounded once as in the scalar function, so the bits match lane by lane.
// The vector path covers the ordinary range 2^-54 <= |x| <= 707, without a
// branch; a value outside it (0, tiny, huge, infinite or NaN) is handed to
// the scalar Exp, which knows the special cases.
//
// Internal to the library (not installed). Pure functions, thread-safe.
#ifndef NETFORGE_COMMON_VECTOREXP_H
#define NETFORGE_COMMON_VECTOREXP_H

#include "Common/SimdIsa.h"

namespace Netforge {

// y[i] = Exp(x[i]) for every i in [0, n), bit for bit. |x| and |y| are the
// same array or do not overlap. With the best supported unit, or with
// |isa|, which must be supported (for the tests, which hold every unit to
// the scalar function, and the benchmarks).
void ExpValues(const double* x, double* y, int n);
void ExpValues(SimdIsa isa, const double* x, double* y, int n);

// The kernels of each unit: VectorExp.cpp (SSE2), VectorExpAvx2.cpp and
// VectorExpAvx512.cpp; to be called only where the unit is supported.
void ExpValuesSse2(const double* x, double* y, int n);
void ExpValuesAvx2(const double* x, double* y, int n);
void ExpValuesAvx512(const double* x, double* y, int n);

}  // namespace Netforge

#endif  // NETFORGE_COMMON_VECTOREXP_H
