// The vector Exp, and the logistic function and Tanh over it, written once
// for every vector unit.
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
// other lane is recomputed by the scalar Exp. Tanh (TanhOrdinary) follows
// Tanh and ExpPlusMinusOne in PortableMath.cpp the same way.
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
//   Abs(a)          the sign bit cleared;
//   Equal(a, b)     a lane mask where a == b;
//   Outside(x, lowest, highest)  the bit mask (bit i for lane i) of the
//                   lanes whose |x| lies outside [lowest, highest], NaN
//                   included.
// The header has no include guard on purpose: each kernel file compiles it
// for its own instruction set.

using R = Vec::Reg;

// x = m ln2/64 + r + c, as Reduce in PortableMath.cpp, with t the shifted
// value that holds m in its bits and mf = m as a double.
struct Reduction {
  R t;
  R mf;
  R r;
  R c;
};

NF_EXP Reduction Reduce(R x) {
  using namespace Netforge::ExpParts;
  const R shifter = Vec::Broadcast(kRoundShifter);
  const R t = Vec::Add(Vec::Mul(x, Vec::Broadcast(kInvLn2 * kTableSize)), shifter);
  const R mf = Vec::Sub(t, shifter);
  const R hi = Vec::Sub(x, Vec::Mul(mf, Vec::Broadcast(kLn2Hi / kTableSize)));
  const R lo = Vec::Mul(mf, Vec::Broadcast(kLn2Lo / kTableSize));
  const R r = Vec::Sub(hi, lo);
  return {t, mf, r, Vec::Sub(Vec::Sub(hi, r), lo)};
}

// r^2 P(r) + c, with P by Estrin's scheme: (a0 + a1 r) + (a2 + a3 r) r^2,
// then + a4 r^4.
NF_EXP R Expm1Tail(const Reduction& red) {
  const std::array<double, 5>& a = Netforge::ExpParts::kExpCoefficients;
  const R r = red.r;
  const R r2 = Vec::Mul(r, r);
  const R low = Vec::Add(Vec::Broadcast(a[0]), Vec::Mul(Vec::Broadcast(a[1]), r));
  const R high = Vec::Add(Vec::Broadcast(a[2]), Vec::Mul(Vec::Broadcast(a[3]), r));
  const R inner = Vec::Add(low, Vec::Mul(high, r2));
  const R poly = Vec::Add(inner, Vec::Mul(Vec::Broadcast(a[4]), Vec::Mul(r2, r2)));
  return Vec::Add(Vec::Mul(r2, poly), red.c);
}

// e^x for the lanes in the ordinary range; other lanes hold garbage (but
// every table index stays within the table). As ExpDirect:
// 2^(j/64)_hi + (2^(j/64)_lo + 2^(j/64)_hi p) with p = r + tail, times 2^k.
NF_EXP R ExpOrdinary(R x) {
  const Reduction red = Reduce(x);
  const R p = Vec::Add(red.r, Expm1Tail(red));
  R powerHi;
  R powerLo;
  Vec::Power(red.t, powerHi, powerLo);
  const R y = Vec::Add(powerHi, Vec::Add(powerLo, Vec::Mul(powerHi, p)));
  return Vec::Mul(y, Vec::Pow2(red.t));
}

// Double-doubles, lane by lane, as in PortableExpParts.h.
struct Pair {
  R hi;
  R lo;
};

NF_EXP Pair TwoSum(R a, R b) {
  const R sum = Vec::Add(a, b);
  const R bPart = Vec::Sub(sum, a);
  return {sum, Vec::Add(Vec::Sub(a, Vec::Sub(sum, bPart)), Vec::Sub(b, bPart))};
}

NF_EXP Pair FastTwoSum(R a, R b) {
  const R sum = Vec::Add(a, b);
  return {sum, Vec::Sub(b, Vec::Sub(sum, a))};
}

NF_EXP Pair TwoProduct(R a, R b) {
  const R splitter = Vec::Broadcast(0x1p27 + 1.0);
  const R aScaled = Vec::Mul(splitter, a);
  const R aHi = Vec::Sub(aScaled, Vec::Sub(aScaled, a));
  const R aLo = Vec::Sub(a, aHi);
  const R bScaled = Vec::Mul(splitter, b);
  const R bHi = Vec::Sub(bScaled, Vec::Sub(bScaled, b));
  const R bLo = Vec::Sub(b, bHi);
  const R product = Vec::Mul(a, b);
  const R cross = Vec::Add(Vec::Add(Vec::Sub(Vec::Mul(aHi, bHi), product), Vec::Mul(aHi, bLo)), Vec::Mul(aLo, bHi));
  return {product, Vec::Add(cross, Vec::Mul(aLo, bLo))};
}

// tanh x for the lanes with 2^-28 <= |x| < 22, as Tanh in PortableMath.cpp:
// e^2|x| - 1 and e^2|x| + 1 as double-doubles (ExpPlusMinusOne, both of its
// ways computed and the right one chosen per lane), their quotient
// corrected once by its exact remainder, and the sign of x.
NF_EXP R TanhOrdinary(R x) {
  const R one = Vec::Broadcast(1.0);
  const R magnitude = Vec::Abs(x);
  const Reduction red = Reduce(Vec::Mul(Vec::Broadcast(2.0), magnitude));
  const Pair p = FastTwoSum(red.r, Expm1Tail(red));
  // m = 0: e^2|x| - 1 = p.
  const Pair plusOneNear = FastTwoSum(Vec::Broadcast(2.0), p.hi);
  // Otherwise e^2|x| = 2^k 2^(j/64) (1 + p), its large part exactly.
  R powerHi;
  R powerLo;
  Vec::Power(red.t, powerHi, powerLo);
  const Pair product = TwoProduct(powerHi, p.hi);
  const R small =
      Vec::Add(product.lo, Vec::Add(powerLo, Vec::Add(Vec::Mul(powerHi, p.lo), Vec::Mul(powerLo, p.hi))));
  const Pair head = FastTwoSum(powerHi, product.hi);
  const R scale = Vec::Pow2(red.t);
  const R high = Vec::Mul(scale, head.hi);
  const R low = Vec::Mul(scale, Vec::Add(head.lo, small));
  const Pair minusOneFar = TwoSum(high, Vec::Broadcast(-1.0));
  const Pair plusOneFar = TwoSum(high, one);
  const auto near = Vec::Equal(red.mf, Vec::Broadcast(0.0));
  const Pair numerator = {Vec::Select(near, p.hi, minusOneFar.hi),
                          Vec::Select(near, p.lo, Vec::Add(minusOneFar.lo, low))};
  const Pair denominator = {Vec::Select(near, plusOneNear.hi, plusOneFar.hi),
                            Vec::Select(near, Vec::Add(plusOneNear.lo, p.lo), Vec::Add(plusOneFar.lo, low))};
  // One division, then the exact remainder puts the quotient right.
  const R reciprocal = Vec::Div(one, denominator.hi);
  const R quotient = Vec::Mul(numerator.hi, reciprocal);
  const Pair back = TwoProduct(quotient, denominator.hi);
  const R remainder = Vec::Sub(Vec::Add(Vec::Sub(Vec::Sub(numerator.hi, back.hi), back.lo), numerator.lo),
                               Vec::Mul(quotient, denominator.lo));
  const R t = Vec::Add(quotient, Vec::Mul(remainder, reciprocal));
  return Vec::Select(Vec::Less(x, Vec::Broadcast(0.0)), Vec::Neg(t), t);
}

// The forms of ExpArrayForm (VectorExp.h), lane by lane: Exponent(x) is
// the argument of the exponential, Output(x, e) the result from x and the
// exponential e, each with the operations of the scalar formula.
struct ExpOnly {
  NF_EXP R Exponent(R x) const { return x; }
  NF_EXP R Output(R, R e) const { return e; }
};

// 1 / (1 + e^-(gain x)).
struct Logistic {
  R gain;
  NF_EXP R Exponent(R x) const { return Vec::Neg(Vec::Mul(gain, x)); }
  NF_EXP R Output(R, R e) const {
    const R one = Vec::Broadcast(1.0);
    return Vec::Div(one, Vec::Add(one, e));
  }
};

// x < floor ? floorValue : 1 / (1 + e^-x). A floored lane's exponent is
// 1.0, an ordinary value whose exponential is dropped.
struct FlooredLogistic {
  R floor;
  R floorValue;
  NF_EXP R Exponent(R x) const {
    return Vec::Select(Vec::Less(x, floor), Vec::Broadcast(1.0), Vec::Neg(x));
  }
  NF_EXP R Output(R x, R e) const {
    const R one = Vec::Broadcast(1.0);
    return Vec::Select(Vec::Less(x, floor), floorValue, Vec::Div(one, Vec::Add(one, e)));
  }
};

// out[0 .. kLanes) = the form of in[0 .. kLanes); |in| may be |out|. Lanes
// whose exponent lies outside the ordinary range get their exponential from
// the scalar Exp.
template <class Form>
NF_EXP void FormRegister(const Form& form, const double* in, double* out) {
  const R x = Vec::Load(in);
  const R z = form.Exponent(x);
  R e = ExpOrdinary(z);
  const unsigned outside = Vec::Outside(z, Netforge::ExpParts::kVectorMin, Netforge::ExpParts::kVectorMax);
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

// tanh(gain x).
struct ScaledTanh {
  R gain;
};

// out[0 .. kLanes) = Tanh(gain in[0 .. kLanes)); lanes outside the range
// of TanhOrdinary get the scalar Tanh.
NF_EXP void FormRegister(const ScaledTanh& form, const double* in, double* out) {
  using namespace Netforge::ExpParts;
  const R x = Vec::Mul(form.gain, Vec::Load(in));
  Vec::Store(out, TanhOrdinary(x));
  const unsigned outside = Vec::Outside(x, kTanhLinearBelow, kTanhVectorMax);
  if (outside == 0) return;
  double xs[Vec::kLanes];
  Vec::Store(xs, x);
  for (int lane = 0; lane < Vec::kLanes; ++lane) {
    if ((outside >> lane) & 1u) out[lane] = Netforge::Tanh(xs[lane]);
  }
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
    case Kind::kScaledTanh:
      FormArray(ScaledTanh{Vec::Broadcast(form.gain)}, x, y, n);
      return;
  }
}
