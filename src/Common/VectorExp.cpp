// The run-time choice of the vector Exp's kernels, the plain loops, and the
// SSE2 kernel (the x86-64 baseline, two values to a register).
//
// Like PortableMath.cpp, this file and the other kernel files rely on each
// + - * being rounded once in the order written: CMake compiles them with
// -ffp-contract=off and -mno-fma.
#include "Common/VectorExp.h"

#include <array>
#include <cstdint>

#include "Common/Assert.h"
#include "Common/PortableExpParts.h"
#include "Common/PortableMath.h"
#include "Common/SimdRegisters.h"

#if defined(__FAST_MATH__)
#error "VectorExp must not be compiled with -ffast-math"
#endif

#if defined(__SSE2__)
#include <emmintrin.h>

namespace Netforge {

namespace {

namespace sse2_exp {

#define NF_EXP inline

struct Vec : Simd::Sse2 {
  static Reg Neg(Reg a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
  static Reg Less(Reg a, Reg b) { return _mm_cmplt_pd(a, b); }
  static Reg Pow2(Reg t) {
    const __m128i biased = _mm_add_epi64(_mm_castpd_si128(t), _mm_set1_epi64x(ExpParts::kPow2Offset));
    return _mm_castsi128_pd(_mm_slli_epi64(_mm_srli_epi64(biased, ExpParts::kTableBits), 52));
  }
  // SSE2 has no gather: the two indices go through memory.
  static void Power(Reg t, Reg& hi, Reg& lo) {
    alignas(16) std::int64_t bits[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(bits), _mm_castpd_si128(t));
    const auto& first = ExpParts::kExp2Table[static_cast<std::size_t>(bits[0] & (ExpParts::kTableSize - 1))];
    const auto& second = ExpParts::kExp2Table[static_cast<std::size_t>(bits[1] & (ExpParts::kTableSize - 1))];
    hi = _mm_set_pd(second.hi, first.hi);
    lo = _mm_set_pd(second.lo, first.lo);
  }
  static Reg Abs(Reg a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
  static Reg Equal(Reg a, Reg b) { return _mm_cmpeq_pd(a, b); }
  static unsigned Outside(Reg x, double lowest, double highest) {
    const Reg magnitude = Abs(x);
    const Reg inside =
        _mm_and_pd(_mm_cmpge_pd(magnitude, _mm_set1_pd(lowest)), _mm_cmple_pd(magnitude, _mm_set1_pd(highest)));
    return static_cast<unsigned>(_mm_movemask_pd(inside)) ^ 0x3u;
  }
};

#include "Common/VectorExpBody.h"

#undef NF_EXP

}  // namespace sse2_exp

}  // namespace

void ExpFormValuesSse2(const ExpArrayForm& form, const double* x, double* y, int n) {
  sse2_exp::ExpFormArray(form, x, y, n);
}

}  // namespace Netforge

#endif  // __SSE2__

namespace Netforge {

namespace {

// The plain loops: the formulas as VectorExp.h states them.
double FormOf(const ExpArrayForm& form, double x) {
  switch (form.kind) {
    case ExpArrayForm::Kind::kExp:
      return Exp(x);
    case ExpArrayForm::Kind::kLogistic:
      return 1.0 / (1.0 + Exp(-(form.gain * x)));
    case ExpArrayForm::Kind::kFlooredLogistic:
      return x < form.floor ? form.floorValue : 1.0 / (1.0 + Exp(-x));
    case ExpArrayForm::Kind::kScaledTanh:
      return Tanh(form.gain * x);
  }
  return x;
}

void ExpFormValues(SimdIsa isa, const ExpArrayForm& form, const double* x, double* y, int n) {
  NF_ASSERT(SimdSupported(isa));
  switch (isa) {
#if defined(__SSE2__)
    case SimdIsa::kAvx512:
      ExpFormValuesAvx512(form, x, y, n);
      return;
    case SimdIsa::kAvx2:
      ExpFormValuesAvx2(form, x, y, n);
      return;
    case SimdIsa::kSse2:
      ExpFormValuesSse2(form, x, y, n);
      return;
#endif
    default:
      for (int i = 0; i < n; ++i) y[i] = FormOf(form, x[i]);
  }
}

}  // namespace

void ExpValues(SimdIsa isa, const double* x, double* y, int n) {
  ExpFormValues(isa, {ExpArrayForm::Kind::kExp, 0.0, 0.0, 0.0}, x, y, n);
}

void ExpValues(const double* x, double* y, int n) {
  ExpValues(BestSimdIsa(), x, y, n);
}

void LogisticValues(SimdIsa isa, double gain, const double* x, double* y, int n) {
  ExpFormValues(isa, {ExpArrayForm::Kind::kLogistic, gain, 0.0, 0.0}, x, y, n);
}

void FlooredLogisticValues(SimdIsa isa, double floor, double floorValue, const double* x, double* y, int n) {
  ExpFormValues(isa, {ExpArrayForm::Kind::kFlooredLogistic, 0.0, floor, floorValue}, x, y, n);
}

void TanhValues(SimdIsa isa, double gain, const double* x, double* y, int n) {
  ExpFormValues(isa, {ExpArrayForm::Kind::kScaledTanh, gain, 0.0, 0.0}, x, y, n);
}

}  // namespace Netforge
