// The group gradient for processors with AVX-512, chosen at run time for
// blocks whose gradient is swept four targets at a time (see
// kStreamedGradientCells): eight sources to a register, in the same tiles as
// AVX2's, so each load of the group's outputs and each broadcast delta serves
// twice the products. That made gene training (120-512-512-3) about 4 %
// faster; on smaller blocks it was no faster, or slower (thyroid, 21-32-3),
// and passing errors back was slower with AVX-512, so those keep AVX2. Every
// lane computes its own sum in the plain loop's order, as with the narrower
// units, so the bits are the same. Compiled as the AVX2 kernels are: a
// target attribute on each function, none for the file.
#include "Training/BackwardKernels.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "NeuralNets/TBasicConnections.h"

#define NF_AVX512 __attribute__((target("avx512f"), always_inline)) inline

namespace BackwardKernels {

namespace {

namespace avx512 {

#define NF_BACKWARD NF_AVX512

struct Vec {
  using Reg = __m512d;
  static constexpr int kLanes = 8;
  NF_AVX512 static Reg Load(const double* p) { return _mm512_loadu_pd(p); }
  NF_AVX512 static void Store(double* p, Reg value) { _mm512_storeu_pd(p, value); }
  NF_AVX512 static Reg Broadcast(double value) { return _mm512_set1_pd(value); }
  NF_AVX512 static Reg Add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
  NF_AVX512 static Reg Sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
  NF_AVX512 static Reg Mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
  NF_AVX512 static Reg Div(Reg a, Reg b) { return _mm512_div_pd(a, b); }
  NF_AVX512 static Reg Sqrt(Reg a) { return _mm512_sqrt_pd(a); }
  // A lane's mask is all ones or all zeros.
  NF_AVX512 static Reg Select(Reg mask, Reg a, Reg b) {
    const __m512i bits = _mm512_castpd_si512(mask);
    return _mm512_mask_blend_pd(_mm512_test_epi64_mask(bits, bits), b, a);
  }
  // The eight flag bytes widened to 64 bits, each lane compared with
  // |required| after keeping only those bits.
  NF_AVX512 static Reg Flags(const unsigned char* bytes, int required) {
    std::int64_t eight;
    std::memcpy(&eight, bytes, sizeof eight);
    // (The zero-masked form: the plain one trips GCC 12's uninitialised-use warning.)
    const __m512i wide = _mm512_maskz_cvtepu8_epi64(0xFF, _mm_cvtsi64_si128(eight));
    const __m512i bits = _mm512_set1_epi64(required);
    const __mmask8 held = _mm512_cmpeq_epi64_mask(_mm512_and_si512(wide, bits), bits);
    return _mm512_castsi512_pd(_mm512_maskz_set1_epi64(held, -1));
  }
  NF_AVX512 static Reg FlagMask(unsigned char byte, int required) {
    return _mm512_castsi512_pd(_mm512_set1_epi64(-static_cast<long long>((byte & required) == required)));
  }
};

#include "Training/BackwardKernelBody.h"

#undef NF_BACKWARD

}  // namespace avx512

}  // namespace

__attribute__((target("avx512f"))) int AccumulateGradientGroupAvx512(const TBlockView& block, const double* deltaTo,
                                                                     const double* const* yRows, int rows, int stride,
                                                                     double* grad) {
  return avx512::GradientGroup<avx512::Vec>(block, deltaTo, yRows, rows, stride, grad);
}

}  // namespace BackwardKernels

#endif
