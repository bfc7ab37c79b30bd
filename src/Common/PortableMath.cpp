#include "Common/PortableMath.h"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

#include "Common/PortableExpParts.h"

// Every line below relies on each + - * / being rounded once, to nearest, in
// the order written. Fused multiply-add or reassociation would change bits
// between machines; CMake compiles this file with -ffp-contract=off and
// -mno-fma, and these checks catch builds that would break it anyway.
#if defined(__FAST_MATH__)
#error "PortableMath must not be compiled with -ffast-math"
#endif
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "PortableMath needs double arithmetic evaluated in double precision"
#endif

namespace Netforge {

namespace {

using namespace ExpParts;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;   // sqrt(2), rounded

// Above this e^x exceeds the largest double; below the other e^x is less
// than half the smallest subnormal.
constexpr double kExpOverflow = 0x1.62e42fefa39efp+9;    // ln(DBL_MAX), 709.78...
constexpr double kExpUnderflow = -0x1.74910d52d3051p+9;  // -745.13...

// log(1+f) = 2 atanh(s) with s = f/(2+f) = 2s + s * (2/3 s^2 + 2/5 s^4 + ...).
// |s| <= 3 - 2 sqrt(2) < 0.172, so ten terms leave an error below 2^-60 relative.
constexpr std::array<double, 10> MakeLogCoefficients() {
  std::array<double, 10> c{};
  for (int i = 0; i < 10; ++i) c[static_cast<std::size_t>(i)] = 2.0 / (2 * i + 3);
  return c;
}
constexpr std::array<double, 10> kLogCoefficients = MakeLogCoefficients();

// c[0] + c[1] x + c[2] x^2 + ... by Estrin's scheme: pairs c[2i] + c[2i+1] x
// first, then the pairs as a polynomial in x^2, and so on. The same operations
// as Horner's rule but a chain of log2(N) steps instead of N, which is what
// the time of a call depends on. Fully unrolled, as the sizes are fixed.
template <std::size_t N>
double Estrin(const std::array<double, N>& c, double x) {
  if constexpr (N == 1) {
    return c[0];
  } else {
    std::array<double, (N + 1) / 2> pairs{};
    for (std::size_t i = 0; i + 1 < N; i += 2) pairs[i / 2] = c[i] + c[i + 1] * x;
    if constexpr (N % 2 == 1) pairs[N / 2] = c[N - 1];
    return Estrin(pairs, x * x);
  }
}

// 2^n for -1022 <= n <= 1023, built from its bits.
double Pow2(int n) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52);
}

// y * 2^k rounded once, for y in [0.5, 4] and -1076 <= k <= 1025.
double Scale(double y, int k) {
  if (k > 1023) return y * Pow2(k - 2) * 4.0;
  if (k < -1021) return y * Pow2(k + 1000) * 0x1p-1000;  // one rounding, in the last step
  return y * Pow2(k);
}

// x = m ln2/64 + r + c, |r| <= ln2/128 (up to the error of ln2's two parts,
// which is below 2^-80 relative), with m = 64 k + j.
struct Reduction {
  int m;
  double r;
  double c;
  int K() const { return m >> kTableBits; }
  const DoubleDouble& Power() const { return kExp2Table[static_cast<std::size_t>(m & (kTableSize - 1))]; }
};

Reduction Reduce(double x) {
  const double mf = (x * (kInvLn2 * kTableSize) + kRoundShifter) - kRoundShifter;
  // m ln2_hi/64 is exact and close to x, so hi is exact too.
  const double hi = x - mf * (kLn2Hi / kTableSize);
  const double lo = mf * (kLn2Lo / kTableSize);
  const double r = hi - lo;
  return {static_cast<int>(mf), r, (hi - r) - lo};
}

// e^(r+c) - 1 = r + r^2 P(r) + c (1 + r ...), less its first term r; c r is
// below 2^-60 relative and left out.
double Expm1Tail(const Reduction& red) {
  return red.r * red.r * Estrin(kExpCoefficients, red.r) + red.c;
}

// e^x = 2^k 2^(j/64) (1 + p) by the short way: 2^(j/64)_hi is added last and
// exactly, everything else is below 1/100 of it, so rounding p and the product
// costs under 2^-59 relative.
double ExpDirect(double x) {
  const Reduction red = Reduce(x);
  const double p = red.r + Expm1Tail(red);
  const DoubleDouble& power = red.Power();
  return Scale(power.hi + (power.lo + power.hi * p), red.K());
}

// e^x - 1 and e^x + 1 as double-doubles, each to about 2^-60 relative (lo
// not normalised), for |x| <= 709.
struct ExpAroundOne {
  DoubleDouble minusOne;
  DoubleDouble plusOne;
};

ExpAroundOne ExpPlusMinusOne(double x) {
  const Reduction red = Reduce(x);
  const DoubleDouble p = FastTwoSum(red.r, Expm1Tail(red));
  if (red.m == 0) {  // |x| <= ln2/128: e^x - 1 = p
    const DoubleDouble plusOne = FastTwoSum(2.0, p.hi);
    return {p, {plusOne.hi, plusOne.lo + p.lo}};
  }
  // e^x = 2^k 2^(j/64) (1 + p), its large part exactly.
  const DoubleDouble& power = red.Power();
  const DoubleDouble product = TwoProduct(power.hi, p.hi);
  const double small = product.lo + (power.lo + (power.hi * p.lo + power.lo * p.hi));
  const DoubleDouble head = FastTwoSum(power.hi, product.hi);
  const double scale = Pow2(red.K());
  const double high = scale * head.hi;
  const double low = scale * (head.lo + small);
  const DoubleDouble minusOne = TwoSum(high, -1.0);
  const DoubleDouble plusOne = TwoSum(high, 1.0);
  return {{minusOne.hi, minusOne.lo + low}, {plusOne.hi, plusOne.lo + low}};
}

}  // namespace

double Exp(double x) {
  if (x != x) return x + x;  // NaN
  if (x > kExpOverflow) return kInfinity;
  if (x < kExpUnderflow) return 0.0;
  if (x > -0x1p-54 && x < 0x1p-54) return 1.0 + x;  // e^x = 1 + x to the last bit
  return ExpDirect(x);
}

double Expm1(double x) {
  if (x != x) return x + x;
  if (x > kExpOverflow) return kInfinity;
  if (x < -40.0) return -1.0;                    // e^x is below half an ulp of 1
  if (x > -0x1p-54 && x < 0x1p-54) return x;    // keeps -0 and subnormals
  if (x > 40.0) return ExpDirect(x);            // the -1 is below 1/32 ulp
  const DoubleDouble e = ExpPlusMinusOne(x).minusOne;
  return e.hi + e.lo;
}

double Tanh(double x) {
  if (x != x) return x + x;
  const double a = x < 0 ? -x : x;
  if (a < kTanhLinearBelow) return x;  // tanh x = x (1 - x^2/3 ...), rounds to x
  if (a >= kTanhSaturatedFrom) return x < 0 ? -1.0 : 1.0;
  // tanh a = (e^2a - 1) / (e^2a + 1), with numerator and denominator as
  // double-doubles and the quotient corrected once by its exact remainder.
  const ExpAroundOne e = ExpPlusMinusOne(2.0 * a);
  const DoubleDouble& numerator = e.minusOne;
  const DoubleDouble& denominator = e.plusOne;
  // One division: the first quotient may be an ulp off, the exact remainder
  // puts that right.
  const double reciprocal = 1.0 / denominator.hi;
  const double quotient = numerator.hi * reciprocal;
  const DoubleDouble back = TwoProduct(quotient, denominator.hi);
  const double remainder = (((numerator.hi - back.hi) - back.lo) + numerator.lo) - quotient * denominator.lo;
  const double t = quotient + remainder * reciprocal;
  return x < 0 ? -t : t;
}

double Log(double x) {
  if (x != x) return x + x;
  if (x < 0.0) {
    const double zero = x - x;  // 0, or NaN for -inf
    return zero / zero;         // NaN, as the C library gives it
  }
  if (x == 0.0) return -kInfinity;
  if (x == kInfinity) return x;
  int k = 0;
  if (x < std::numeric_limits<double>::min()) {  // subnormal: make it normal
    x *= 0x1p54;
    k = -54;
  }
  // x = 2^k * m with m in [sqrt(2)/2, sqrt(2)), and f = m - 1 exactly.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  k += static_cast<int>(bits >> 52) - 1023;
  double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
  if (m > kSqrt2) {
    m *= 0.5;
    k += 1;
  }
  const double f = m - 1.0;
  // log(1+f) = 2s + s R with s = f/(2+f) and R = 2/3 s^2 + 2/5 s^4 + ...;
  // as 2s = f - s f and s f = f^2/2 - s f^2/2:
  //   log x = k ln2 + f - f^2/2 + s (f^2/2 + R).
  // The large terms k ln2_hi, f and f^2/2 are summed exactly; the small rest,
  // at most a twentieth of the result, is rounded once before it joins them.
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double series = z * Estrin(kLogCoefficients, z);
  const DoubleDouble square = TwoProduct(f, f);
  const double halfSquare = 0.5 * square.hi;
  const double dk = k;
  const DoubleDouble head = TwoSum(dk * kLn2Hi, f);
  const DoubleDouble sum = TwoSum(head.hi, -halfSquare);
  const double rest = s * (halfSquare + series) + (dk * kLn2Lo - 0.5 * square.lo);
  return sum.hi + ((head.lo + sum.lo) + rest);
}

}  // namespace Netforge
