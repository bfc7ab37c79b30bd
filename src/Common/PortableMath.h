// PortableMath: the library's own exp, expm1, tanh and log, giving the same
// bits on every x86-64 processor.
//
// The C library picks a variant of exp, log and expm1 at load time by what
// the processor offers (with or without fused multiply-add). The variants are
// not correctly rounded, so they disagree in the last bit for some inputs, and
// a network trained or recalled on one machine would differ from the same run
// on another. These functions use only + - * / of doubles, each exactly
// rounded by IEEE 754, in a fixed order (the file is compiled without
// contraction into fused multiply-add), so their results depend on the input
// alone.
//
// Accuracy: within 1 ulp of the exact result everywhere, and correctly
// rounded for the vast majority of inputs (tests/Common/PortableMath_test.cpp
// measures both). Special values follow the C library: NaN propagates, the
// results at 0 and at the infinities are exact, results too large become
// +inf, results too small become subnormal and then 0, Log(0) is -inf and the
// log of a negative number is NaN. Floating-point exception flags are not
// part of the contract.
//
// Pure functions, thread-safe.
#ifndef NETFORGE_COMMON_PORTABLEMATH_H
#define NETFORGE_COMMON_PORTABLEMATH_H

namespace Netforge {

// e to the power x.
double Exp(double x);

// e to the power x, minus 1; accurate also where the result is close to 0.
double Expm1(double x);

// The hyperbolic tangent of x; odd, saturates to exactly +-1 for |x| >= 22.
double Tanh(double x);

// The natural logarithm of x.
double Log(double x);

}  // namespace Netforge

#endif  // NETFORGE_COMMON_PORTABLEMATH_H
