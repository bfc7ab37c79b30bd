// The backward loops for processors with AVX2, chosen at run time: four
// sources to a register. Compiled as the AVX2 recall kernels are: a target
// attribute on each function, none for the file (see
// NeuralNets/NetInputKernelsAvx2.cpp).
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

#define NF_AVX2 __attribute__((target("avx2"), always_inline)) inline

namespace BackwardKernels {

namespace {

namespace avx2 {

#define NF_BACKWARD NF_AVX2

struct Vec : Netforge::Simd::Avx2 {
  // The four flag bytes widened to 64 bits, each lane compared with
  // |required| after keeping only those bits.
  NF_AVX2 static Reg Flags(const unsigned char* bytes, int required) {
    std::int32_t four;
    std::memcpy(&four, bytes, sizeof four);
    const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four));
    const __m256i bits = _mm256_set1_epi64x(required);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(wide, bits), bits));
  }
  NF_AVX2 static Reg FlagMask(unsigned char byte, int required) {
    return _mm256_castsi256_pd(_mm256_set1_epi64x(-static_cast<long long>((byte & required) == required)));
  }
  NF_AVX2 static void Transpose(Reg (&regs)[4]) {
    const Reg low01 = _mm256_unpacklo_pd(regs[0], regs[1]);   // 00 10 02 12
    const Reg high01 = _mm256_unpackhi_pd(regs[0], regs[1]);  // 01 11 03 13
    const Reg low23 = _mm256_unpacklo_pd(regs[2], regs[3]);   // 20 30 22 32
    const Reg high23 = _mm256_unpackhi_pd(regs[2], regs[3]);  // 21 31 23 33
    regs[0] = _mm256_permute2f128_pd(low01, low23, 0x20);
    regs[1] = _mm256_permute2f128_pd(high01, high23, 0x20);
    regs[2] = _mm256_permute2f128_pd(low01, low23, 0x31);
    regs[3] = _mm256_permute2f128_pd(high01, high23, 0x31);
  }
};

#include "Training/BackwardKernelBody.h"

#undef NF_BACKWARD

}  // namespace avx2

}  // namespace

__attribute__((target("avx2"))) int PropagateErrorAvx2(const TBlockView& block, const double* deltaTo,
                                                       double* errFrom) {
  return avx2::Propagate<avx2::Vec>(block, deltaTo, errFrom);
}

__attribute__((target("avx2"))) int AccumulateGradientAvx2(const TBlockView& block, const double* deltaTo,
                                                           const double* yFrom, double* grad) {
  return avx2::Gradient<avx2::Vec>(block, deltaTo, yFrom, grad);
}

__attribute__((target("avx2"))) int DescendAvx2(const TBlockView& block, const double* deltaTo, const double* yFrom,
                                                double rate, double momentum, double* velocity) {
  return avx2::DescendVectors<avx2::Vec>(block, deltaTo, yFrom, rate, momentum, velocity);
}

__attribute__((target("avx2"))) std::size_t AdamAvx2(const UpdateCells::TAdamStep& step, double* w,
                                                     const double* gradient, double* m, double* v, std::size_t count) {
  return avx2::AdamVectors<avx2::Vec>(step, w, gradient, m, v, count);
}

__attribute__((target("avx2"))) int PropagateErrorGroupAvx2(const TBlockView& block, const double* deltaTo, int rows,
                                                            int stride, double* errFrom) {
  return avx2::PropagateGroup<avx2::Vec>(block, deltaTo, rows, stride, errFrom);
}

__attribute__((target("avx2"))) int AccumulateGradientGroupAvx2(const TBlockView& block, const double* deltaTo,
                                                                const double* const* yRows, int rows, int stride,
                                                                double* grad) {
  return avx2::GradientGroup<avx2::Vec>(block, deltaTo, yRows, rows, stride, grad);
}

__attribute__((target("avx2"))) int AccumulateGradientSourcesLeftAvx2(const TBlockView& block, const double* deltaTo,
                                                                     const double* const* yRows, int rows, int stride,
                                                                     double* grad, int first) {
  return avx2::GradientSourcesLeftOver<avx2::Vec>(block, deltaTo, yRows, rows, stride, grad, first);
}

__attribute__((target("avx2"))) void GroupToRowsAvx2(const double* group, int n, int rows, int stride,
                                                        double* rowMajor, int pitch) {
  avx2::GroupToRows<avx2::Vec>(group, n, rows, static_cast<std::size_t>(stride), rowMajor,
                                  static_cast<std::size_t>(pitch));
}

__attribute__((target("avx2"))) void RowsToGroupAvx2(const double* const* rowPtrs, int n, int rows, double* group,
                                                     int stride) {
  avx2::RowsToGroup<avx2::Vec>(rowPtrs, n, rows, group, static_cast<std::size_t>(stride));
}

}  // namespace BackwardKernels

#endif
