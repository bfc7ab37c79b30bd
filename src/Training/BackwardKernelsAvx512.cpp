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

#include "Common/SimdRegisters.h"
#include "NeuralNets/TBasicConnections.h"

#define NF_AVX512 NF_SIMD_AVX512

namespace BackwardKernels {

namespace {

namespace avx512 {

#define NF_BACKWARD NF_AVX512

// AVX-512's registers with the flag masks the loops need, as mask registers.
struct Vec : Netforge::Simd::Avx512 {
  // The eight flag bytes widened to 64 bits, each lane compared with
  // |required| after keeping only those bits. (The zero-masked widening: the
  // plain one trips GCC 12's uninitialised-use warning.)
  NF_AVX512 static __mmask8 Flags(const unsigned char* bytes, int required) {
    std::int64_t eight;
    std::memcpy(&eight, bytes, sizeof eight);
    const __m512i wide = _mm512_maskz_cvtepu8_epi64(0xFF, _mm_cvtsi64_si128(eight));
    const __m512i bits = _mm512_set1_epi64(required);
    return _mm512_cmpeq_epi64_mask(_mm512_and_si512(wide, bits), bits);
  }
  NF_AVX512 static __mmask8 FlagMask(unsigned char byte, int required) {
    return (byte & required) == required ? 0xFF : 0;
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
