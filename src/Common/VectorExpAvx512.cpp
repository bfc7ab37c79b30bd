// The vector Exp for processors with AVX-512, chosen at run time: eight
// values to a register, the table entries picked from registers by permutes.
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

// The table's high and low parts apart, each aligned for whole-register loads.
struct TableHalves {
  alignas(64) std::array<double, ExpParts::kTableSize> hi;
  alignas(64) std::array<double, ExpParts::kTableSize> lo;
};

constexpr TableHalves MakeTableHalves() {
  TableHalves halves{};
  for (std::size_t j = 0; j < ExpParts::kExp2Table.size(); ++j) {
    halves.hi[j] = ExpParts::kExp2Table[j].hi;
    halves.lo[j] = ExpParts::kExp2Table[j].lo;
  }
  return halves;
}
constexpr TableHalves kTableHalves = MakeTableHalves();
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
  // The 64 entries of each half of the table lie in eight registers; a
  // permute picks from two of them by the index's low four bits, and the
  // next two bits choose among the four picks. On the processors measured
  // (Zen 4) this is faster than gathering from memory.
  NF_AVX512 static Reg Pick(const double* half, __m512i j, __mmask8 bit4, __mmask8 bit5) {
    Reg quarter[4];
    for (int q = 0; q < 4; ++q) {
      quarter[q] = _mm512_permutex2var_pd(_mm512_load_pd(half + 16 * q), j, _mm512_load_pd(half + 16 * q + 8));
    }
    return _mm512_mask_blend_pd(bit5, _mm512_mask_blend_pd(bit4, quarter[0], quarter[1]),
                                _mm512_mask_blend_pd(bit4, quarter[2], quarter[3]));
  }
  NF_AVX512 static void Power(Reg t, Reg& hi, Reg& lo) {
    const __m512i j = _mm512_castpd_si512(t);
    const __mmask8 bit4 = _mm512_test_epi64_mask(j, _mm512_set1_epi64(16));
    const __mmask8 bit5 = _mm512_test_epi64_mask(j, _mm512_set1_epi64(32));
    hi = Pick(kTableHalves.hi.data(), j, bit4, bit5);
    lo = Pick(kTableHalves.lo.data(), j, bit4, bit5);
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
