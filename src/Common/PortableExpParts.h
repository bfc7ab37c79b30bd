// The constants of PortableMath's exp that its vector form (VectorExp)
// shares, so that both compute e^x from the same numbers: ln 2 in two parts,
// the round shifter, the polynomial's coefficients and the table of 2^(j/64)
// as double-doubles, with the double-double arithmetic that builds the table.
//
// Internal to the library (not installed). Everything here is constexpr and
// computed by the compiler; the table has one address in the program.
#ifndef NETFORGE_COMMON_PORTABLEEXPPARTS_H
#define NETFORGE_COMMON_PORTABLEEXPPARTS_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace Netforge::ExpParts {

// ln 2 in two parts. The high part has 29 significant bits, so k * kLn2Hi is
// exact for every |k| < 2^24 and x - k * kLn2Hi loses nothing; the low part
// holds the next 53 bits. Both from ln 2 computed to 60 digits.
inline constexpr double kLn2Hi = 0x1.62e42ffp-1;
inline constexpr double kLn2Lo = -0x1.718432a1b0e26p-35;
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;  // 1 / ln 2, rounded

// Adding then subtracting 1.5 * 2^52 rounds a double of magnitude < 2^51 to
// the nearest integer (ties to even).
inline constexpr double kRoundShifter = 0x1.8p52;

constexpr double Factorial(int n) { return n <= 1 ? 1.0 : n * Factorial(n - 1); }

// Taylor coefficients of e^r - 1 - r, divided by r^2: 1/2!, ..., 1/6!. On
// |r| <= ln2/128 the first term left out, r^7/7!, is below 2^-65.
constexpr std::array<double, 5> MakeExpCoefficients() {
  std::array<double, 5> c{};
  for (int i = 0; i < 5; ++i) c[static_cast<std::size_t>(i)] = 1.0 / Factorial(i + 2);
  return c;
}
inline constexpr std::array<double, 5> kExpCoefficients = MakeExpCoefficients();

// An unevaluated sum hi + lo: a number with about twice a double's precision.
struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly, for any a, b (Knuth).
constexpr DoubleDouble TwoSum(double a, double b) {
  const double sum = a + b;
  const double bPart = sum - a;
  return {sum, (a - (sum - bPart)) + (b - bPart)};
}

// a + b exactly, for |a| >= |b| or a == 0 (Dekker).
constexpr DoubleDouble FastTwoSum(double a, double b) {
  const double sum = a + b;
  return {sum, b - (sum - a)};
}

// a * b exactly (Dekker, with Veltkamp's split into 26-bit halves), for
// products far from overflow and underflow.
constexpr DoubleDouble TwoProduct(double a, double b) {
  constexpr double kSplitter = 0x1p27 + 1.0;
  const double aScaled = kSplitter * a;
  const double aHi = aScaled - (aScaled - a);
  const double aLo = a - aHi;
  const double bScaled = kSplitter * b;
  const double bHi = bScaled - (bScaled - b);
  const double bLo = b - bHi;
  const double product = a * b;
  return {product, ((aHi * bHi - product) + aHi * bLo + aLo * bHi) + aLo * bLo};
}

// Double-double products and quotients, enough to compute the table below.
constexpr DoubleDouble Multiply(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble p = TwoProduct(a.hi, b.hi);
  return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DoubleDouble DivideBySmallInteger(DoubleDouble a, double n) {
  const double q = a.hi / n;
  const DoubleDouble back = TwoProduct(q, n);
  return FastTwoSum(q, (((a.hi - back.hi) - back.lo) + a.lo) / n);
}

// e^x reduces to 2^k * 2^(j/64) * e^r with |r| <= ln2/128. The 64 powers
// 2^(j/64) as double-doubles, computed by the compiler: 2^(1/64) =
// e^(ln2/64) from its Taylor series, then its powers, each to about 2^-100.
inline constexpr int kTableBits = 6;
inline constexpr int kTableSize = 1 << kTableBits;

constexpr std::array<DoubleDouble, kTableSize> MakeExp2Table() {
  const DoubleDouble x = FastTwoSum(kLn2Hi / kTableSize, kLn2Lo / kTableSize);
  DoubleDouble term{1.0, 0.0};
  DoubleDouble root{1.0, 0.0};
  for (int n = 1; n <= 16; ++n) {  // x^17/17! < 2^-170
    term = DivideBySmallInteger(Multiply(term, x), n);
    const DoubleDouble sum = TwoSum(root.hi, term.hi);
    root = FastTwoSum(sum.hi, sum.lo + (root.lo + term.lo));
  }
  std::array<DoubleDouble, kTableSize> table{};
  table[0] = {1.0, 0.0};
  for (std::size_t j = 1; j < table.size(); ++j) table[j] = Multiply(table[j - 1], root);
  return table;
}
inline constexpr std::array<DoubleDouble, kTableSize> kExp2Table = MakeExp2Table();

// The table as a flat array of doubles, for gathers: entry j's hi part at
// 2j, its lo part at 2j + 1.
static_assert(sizeof(DoubleDouble) == 2 * sizeof(double));
inline const double* const kExp2TableDoubles = &kExp2Table[0].hi;


// The vector form's ordinary range, 2^-54 <= |x| <= 707: there e^x is not
// 1 + x to the last bit, and k = m >> 6 lies in [-1020, 1019], where Scale
// multiplies by 2^k built from its bits, in one step.
inline constexpr double kVectorMin = 0x1p-54;
inline constexpr double kVectorMax = 707.0;

// Tanh's own cases: below kTanhLinearBelow tanh x rounds to x, from
// kTanhSaturatedFrom on to +-1 (1 - tanh 22 < 2^-62). The vector form
// computes the magnitudes in between, up to the double below 22.
inline constexpr double kTanhLinearBelow = 0x1p-28;
inline constexpr double kTanhSaturatedFrom = 22.0;
inline constexpr double kTanhVectorMax = 0x1.5ffffffffffffp+4;

// t = x * 64/ln2 + kRoundShifter holds m in its bits: bits(t) =
// bits(kRoundShifter) + m. Adding this offset gives 64 (k + 1023) + j, which
// shifted right by 6 and left by 52 is the bit pattern of 2^k (for k >= -1022).
inline constexpr std::int64_t kPow2Offset = 1023 * kTableSize - std::bit_cast<std::int64_t>(kRoundShifter);

}  // namespace Netforge::ExpParts

#endif  // NETFORGE_COMMON_PORTABLEEXPPARTS_H
