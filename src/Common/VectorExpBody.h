// The vector Exp and the logistic function over it, written once for every
// vector unit.
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
//   Add(a, b);  Sub(a, b);  Mul(a, b);  Div(a, b)  (one rounding per lane
//                   each);  Neg(a)  (the sign bit flipped, as -a);
//   Less(a, b)      a lane mask (of the unit's mask type) where a < b;
//   Select(mask, a, b)  a where the mask is set, b elsewhere;
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
  // P(r) by Estrin's scheme: (a0 + a1 r) + (a2 + a3 r) r^2, then + a4 r^4.
  const std::array<double, 5>& a = kExpCoefficients;
  const R r2 = Vec::Mul(r, r);
  const R low = Vec::Add(Vec::Broadcast(a[0]), Vec::Mul(Vec::Broadcast(a[1]), r));
  const R high = Vec::Add(Vec::Broadcast(a[2]), Vec::Mul(Vec::Broadcast(a[3]), r));
  const R inner = Vec::Add(low, Vec::Mul(high, r2));
  const R poly = Vec::Add(inner, Vec::Mul(Vec::Broadcast(a[4]), Vec::Mul(r2, r2)));
  // p = r + (r^2 P(r) + c), then 2^(j/64)_hi + (2^(j/64)_lo + 2^(j/64)_hi p).
  const R p = Vec::Add(r, Vec::Add(Vec::Mul(r2, poly), c));
  R powerHi;
  R powerLo;
  Vec::Power(t, powerHi, powerLo);
  const R y = Vec::Add(powerHi, Vec::Add(powerLo, Vec::Mul(powerHi, p)));
  return Vec::Mul(y, Vec::Pow2(t));
}

// The forms of ExpArrayForm (VectorExp.h), lane by lane: Exponent(x) is
// the argument of the exponential, Output(x, e) the result from x and the
// exponential e, each with the operations of the scalar formula.
struct ExpOnly {
  NF_EXP Vec::Reg Exponent(Vec::Reg x) const { return x; }
  NF_EXP Vec::Reg Output(Vec::Reg, Vec::Reg e) const { return e; }
};

// 1 / (1 + e^-(gain x)).
struct Logistic {
  Vec::Reg gain;
  NF_EXP Vec::Reg Exponent(Vec::Reg x) const { return Vec::Neg(Vec::Mul(gain, x)); }
  NF_EXP Vec::Reg Output(Vec::Reg, Vec::Reg e) const {
    const Vec::Reg one = Vec::Broadcast(1.0);
    return Vec::Div(one, Vec::Add(one, e));
  }
};

// x < floor ? floorValue : 1 / (1 + e^-x). A floored lane's exponent is
// 1.0, an ordinary value whose exponential is dropped.
struct FlooredLogistic {
  Vec::Reg floor;
  Vec::Reg floorValue;
  NF_EXP Vec::Reg Exponent(Vec::Reg x) const {
    return Vec::Select(Vec::Less(x, floor), Vec::Broadcast(1.0), Vec::Neg(x));
  }
  NF_EXP Vec::Reg Output(Vec::Reg x, Vec::Reg e) const {
    const Vec::Reg one = Vec::Broadcast(1.0);
    return Vec::Select(Vec::Less(x, floor), floorValue, Vec::Div(one, Vec::Add(one, e)));
  }
};

// out[0 .. kLanes) = the form of in[0 .. kLanes); |in| may be |out|. Lanes
// whose exponent lies outside the ordinary range get their exponential from
// the scalar Exp.
template <class Form>
NF_EXP void FormRegister(const Form& form, const double* in, double* out) {
  const Vec::Reg x = Vec::Load(in);
  const Vec::Reg z = form.Exponent(x);
  Vec::Reg e = ExpOrdinary(z);
  const unsigned outside = Vec::Outside(z);
  if (outside != 0) {
    double zs[Vec::kLanes];
    double es[Vec::kLanes];
    Vec::Store(zs, z);
    Vec::Store(es, e);
    for (int lane = 0; lane < Vec::kLanes; ++lane) {
      if ((outside >> lane) & 1u) es[lane] = Netforge::Exp(zs[lane]);
    }
    e = Vec::Load(es);
  }
  Vec::Store(out, form.Output(x, e));
}

// y[i] = the form of x[i] for i in [0, n); the last values, fewer than a
// register holds, are padded with 1.0 to a full register.
template <class Form>
NF_EXP void FormArray(const Form& form, const double* x, double* y, int n) {
  int i = 0;
  for (; i + Vec::kLanes <= n; i += Vec::kLanes) FormRegister(form, x + i, y + i);
  if (i == n) return;
  double in[Vec::kLanes];
  double out[Vec::kLanes];
  for (int lane = 0; lane < Vec::kLanes; ++lane) in[lane] = i + lane < n ? x[i + lane] : 1.0;
  FormRegister(form, in, out);
  for (int lane = 0; i + lane < n; ++lane) y[i + lane] = out[lane];
}

// The kernel entry: y[i] = |form| of x[i].
NF_EXP void ExpFormArray(const Netforge::ExpArrayForm& form, const double* x, double* y, int n) {
  using Kind = Netforge::ExpArrayForm::Kind;
  switch (form.kind) {
    case Kind::kExp:
      FormArray(ExpOnly{}, x, y, n);
      return;
    case Kind::kLogistic:
      FormArray(Logistic{Vec::Broadcast(form.gain)}, x, y, n);
      return;
    case Kind::kFlooredLogistic:
      FormArray(FlooredLogistic{Vec::Broadcast(form.floor), Vec::Broadcast(form.floorValue)}, x, y, n);
      return;
  }
}
