// The vector Exp for processors with AVX-512, chosen at run time: eight
// values to a register, the table entries fetched with gathers.
//
// Compiled as VectorExpAvx2.cpp is: a target attribute on each function,
// none for the file.
#include "Common/VectorExp.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <array>
#include <cstddef>

#include "Common/PortableExpParts.h"
#include "Common/PortableMath.h"
#include "Common/SimdRegisters.h"

#define NF_AVX512 __attribute__((target("avx512f"), always_inline)) inline

namespace Netforge {

namespace {

namespace avx512_exp {

#define NF_EXP NF_AVX512

// GCC 12's plain shifts and gathers leave their unused source undefined and
// then warn about it; their masked forms with every lane set do the same work.
constexpr __mmask8 kAll = 0xFF;
// AVX-512F has no logical operations on doubles, only on integers.
constexpr long long kSignBit = static_cast<long long>(0x8000000000000000ULL);

struct Vec : Simd::Avx512 {
  NF_AVX512 static Reg Neg(Reg a) {
    return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(kSignBit)));
  }
  NF_AVX512 static __mmask8 Less(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OS); }
  NF_AVX512 static Reg Pow2(Reg t) {
    const __m512i biased = _mm512_add_epi64(_mm512_castpd_si512(t), _mm512_set1_epi64(ExpParts::kPow2Offset));
    return _mm512_castsi512_pd(
        _mm512_maskz_slli_epi64(kAll, _mm512_maskz_srli_epi64(kAll, biased, ExpParts::kTableBits), 52));
  }
  NF_AVX512 static void Power(Reg t, Reg& hi, Reg& lo) {
    const __m512i j = _mm512_and_si512(_mm512_castpd_si512(t), _mm512_set1_epi64(ExpParts::kTableSize - 1));
    const __m512i index = _mm512_maskz_slli_epi64(kAll, j, 1);
    hi = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), kAll, index, ExpParts::kExp2TableDoubles, 8);
    lo = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), kAll, index, ExpParts::kExp2TableDoubles + 1, 8);
  }
  NF_AVX512 static Reg Abs(Reg a) {
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(~kSignBit)));
  }
  NF_AVX512 static __mmask8 Equal(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  NF_AVX512 static unsigned Outside(Reg x, double lowest, double highest) {
    const Reg magnitude = Abs(x);
    const __mmask8 inside = _mm512_cmp_pd_mask(magnitude, _mm512_set1_pd(lowest), _CMP_GE_OQ) &
                            _mm512_cmp_pd_mask(magnitude, _mm512_set1_pd(highest), _CMP_LE_OQ);
    return static_cast<unsigned>(inside ^ kAll);
  }
};

#include "Common/VectorExpBody.h"

#undef NF_EXP

}  // namespace avx512_exp

}  // namespace

__attribute__((target("avx512f"))) void ExpFormValuesAvx512(const ExpArrayForm& form, const double* x, double* y,
                                                            int n) {
  avx512_exp::ExpFormArray(form, x, y, n);
}

}  // namespace Netforge

#endif
