// The vector Exp for processors with AVX2, chosen at run time: four values
// to a register, the table entries fetched with gathers.
//
// Only these functions are compiled for AVX2 (a target attribute each, not a
// compiler flag for the file), so nothing else in the program can pick up an
// AVX2 instruction and fail on an older processor.
#include "Common/VectorExp.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <array>
#include <cstddef>

#include "Common/PortableExpParts.h"
#include "Common/PortableMath.h"
#include "Common/SimdRegisters.h"

#define NF_AVX2 __attribute__((target("avx2"), always_inline)) inline

namespace Netforge {

namespace {

namespace avx2_exp {

#define NF_EXP NF_AVX2

struct Vec : Simd::Avx2 {
  NF_AVX2 static Reg Neg(Reg a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
  NF_AVX2 static Reg Less(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LT_OS); }
  NF_AVX2 static Reg Pow2(Reg t) {
    const __m256i biased = _mm256_add_epi64(_mm256_castpd_si256(t), _mm256_set1_epi64x(ExpParts::kPow2Offset));
    return _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_srli_epi64(biased, ExpParts::kTableBits), 52));
  }
  NF_AVX2 static void Power(Reg t, Reg& hi, Reg& lo) {
    const __m256i j = _mm256_and_si256(_mm256_castpd_si256(t), _mm256_set1_epi64x(ExpParts::kTableSize - 1));
    const __m256i index = _mm256_slli_epi64(j, 1);
    hi = _mm256_i64gather_pd(ExpParts::kExp2TableDoubles, index, 8);
    lo = _mm256_i64gather_pd(ExpParts::kExp2TableDoubles + 1, index, 8);
  }
  NF_AVX2 static Reg Abs(Reg a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  NF_AVX2 static Reg Equal(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  NF_AVX2 static unsigned Outside(Reg x, double lowest, double highest) {
    const Reg magnitude = Abs(x);
    const Reg inside = _mm256_and_pd(_mm256_cmp_pd(magnitude, _mm256_set1_pd(lowest), _CMP_GE_OQ),
                                     _mm256_cmp_pd(magnitude, _mm256_set1_pd(highest), _CMP_LE_OQ));
    return static_cast<unsigned>(_mm256_movemask_pd(inside)) ^ 0xFu;
  }
};

#include "Common/VectorExpBody.h"

#undef NF_EXP

}  // namespace avx2_exp

}  // namespace

__attribute__((target("avx2"))) void ExpFormValuesAvx2(const ExpArrayForm& form, const double* x, double* y,
                                                       int n) {
  avx2_exp::ExpFormArray(form, x, y, n);
}

}  // namespace Netforge

#endif
