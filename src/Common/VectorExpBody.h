// The vector Exp, written once for every vector unit.
//
// Each lane computes what ExpDirect in PortableMath.cpp computes, operation
// for operation and in the same order, from the same constants
// (PortableExpParts.h):
//   x = m ln2/64 + r + c,  e^x = 2^k 2^(j/64) (1 + p),  m = 64 k + j,
// with p = r + (r^2 P(r) + c), P by Estrin's scheme, and 2^(j/64) a
// double-double from the table. Where the scalar code converts m to an
// integer, a lane reads it from the bits of the shifted value
// t = x * 64/ln2 + 1.5 * 2^52: t lies in [2^52, 2^53), where doubles are the
// integers, so bits(t) = bits(1.5 * 2^52) + m and m's low six bits are j.
// In the ordinary range 2^-54 <= |x| <= 707, k lies in [-1020, 1019] and
// the scalar Scale multiplies by 2^k built from bits, as the lanes do; every
// other lane is recomputed by the scalar Exp.
//
// Included only by the kernel files, inside a namespace of their own, after
// they define NF_EXP (the attributes of their functions: the instruction
// set, always inlined) and a vector type with these static members:
//   using Reg;  kLanes;  Load(p);  Store(p, reg);  Broadcast(value);
//   Add(a, b);  Sub(a, b);  Mul(a, b)  (one rounding per lane each);
//   Pow2(t)         2^k per lane, from the bits of t as above;
//   Power(t, hi, lo)  the table entry j per lane, as hi and lo parts;
//   Outside(x)      the bit mask (bit i for lane i) of the lanes of x outside
//                   the ordinary range, NaN included.
// The header has no include guard on purpose: each kernel file compiles it
// for its own instruction set.

// e^x for the lanes in the ordinary range; other lanes hold garbage (but
// every table index stays within the table).
NF_EXP Vec::Reg ExpOrdinary(Vec::Reg x) {
  using namespace Netforge::ExpParts;
  using R = Vec::Reg;
  const R shifter = Vec::Broadcast(kRoundShifter);
  // The reduction.
  const R t = Vec::Add(Vec::Mul(x, Vec::Broadcast(kInvLn2 * kTableSize)), shifter);
  const R mf = Vec::Sub(t, shifter);
  const R hi = Vec::Sub(x, Vec::Mul(mf, Vec::Broadcast(kLn2Hi / kTableSize)));
  const R lo = Vec::Mul(mf, Vec::Broadcast(kLn2Lo / kTableSize));
  const R r = Vec::Sub(hi, lo);
  const R c = Vec::Sub(Vec::Sub(hi, r), lo);
  // P(r) by Estrin's scheme: (c0 + c1 r) + (c2 + c3 r) r^2, then + c4 r^4.
  const std::array<double, 5>& k = kExpCoefficients;
  const R r2 = Vec::Mul(r, r);
  const R low = Vec::Add(Vec::Broadcast(k[0]), Vec::Mul(Vec::Broadcast(k[1]), r));
  const R high = Vec::Add(Vec::Broadcast(k[2]), Vec::Mul(Vec::Broadcast(k[3]), r));
  const R inner = Vec::Add(low, Vec::Mul(high, r2));
  const R poly = Vec::Add(inner, Vec::Mul(Vec::Broadcast(k[4]), Vec::Mul(r2, r2)));
  // p = r + (r^2 P(r) + c), then 2^(j/64)_hi + (2^(j/64)_lo + 2^(j/64)_hi p).
  const R p = Vec::Add(r, Vec::Add(Vec::Mul(r2, poly), c));
  R powerHi;
  R powerLo;
  Vec::Power(t, powerHi, powerLo);
  const R y = Vec::Add(powerHi, Vec::Add(powerLo, Vec::Mul(powerHi, p)));
  return Vec::Mul(y, Vec::Pow2(t));
}

// out[0 .. kLanes) = Exp(in[0 .. kLanes)); |in| may be |out|.
NF_EXP void ExpRegister(const double* in, double* out) {
  const Vec::Reg x = Vec::Load(in);
  const Vec::Reg y = ExpOrdinary(x);
  const unsigned outside = Vec::Outside(x);
  if (outside == 0) {
    Vec::Store(out, y);
    return;
  }
  double xs[Vec::kLanes];
  double ys[Vec::kLanes];
  Vec::Store(xs, x);
  Vec::Store(ys, y);
  for (int lane = 0; lane < Vec::kLanes; ++lane) {
    if ((outside >> lane) & 1u) ys[lane] = Netforge::Exp(xs[lane]);
  }
  for (int lane = 0; lane < Vec::kLanes; ++lane) out[lane] = ys[lane];
}

// y[i] = Exp(x[i]) for i in [0, n); the last values, fewer than a register
// holds, are padded with 1.0 (an ordinary value) to a full register.
NF_EXP void ExpArray(const double* x, double* y, int n) {
  int i = 0;
  for (; i + Vec::kLanes <= n; i += Vec::kLanes) ExpRegister(x + i, y + i);
  if (i == n) return;
  double in[Vec::kLanes];
  double out[Vec::kLanes];
  for (int lane = 0; lane < Vec::kLanes; ++lane) in[lane] = i + lane < n ? x[i + lane] : 1.0;
  ExpRegister(in, out);
  for (int lane = 0; i + lane < n; ++lane) y[i + lane] = out[lane];
}
