// One vector register of doubles and its exactly rounded arithmetic, for
// each vector unit of SimdIsa.h: Sse2 (two doubles), Avx2 (four) and Avx512
// (eight). The numeric kernels (net inputs, backward passes, exp) are each
// written once, over a type with these members, and each kernel file extends
// the type of its unit with what only that kernel needs (flag masks, tile
// sizes, table lookups):
//
//   struct Vec : Netforge::Simd::Avx2 { static constexpr int kTargets = 6; };
//
// Every member is one instruction of the unit (or a fixed sequence where the
// unit lacks one) that rounds as IEEE 754 says, so a kernel gives the same
// bits whichever unit runs it; there is no fused multiply-add.
//
// The Avx2 and Avx512 members carry their unit as a target attribute, so
// this header may be included by files compiled for the x86-64 baseline;
// callers must call them only where SimdSupported says the unit is there.
// Internal to the library (not installed). Stateless.
#ifndef NETFORGE_COMMON_SIMDREGISTERS_H
#define NETFORGE_COMMON_SIMDREGISTERS_H

#if defined(__SSE2__)

#include <immintrin.h>

#define NF_SIMD_SSE2 inline

namespace Netforge::Simd {

struct Sse2 {
  using Reg = __m128d;
  static constexpr int kLanes = 2;
  NF_SIMD_SSE2 static Reg Zero() { return _mm_setzero_pd(); }
  NF_SIMD_SSE2 static Reg Load(const double* p) { return _mm_loadu_pd(p); }
  NF_SIMD_SSE2 static void Store(double* p, Reg value) { _mm_storeu_pd(p, value); }
  NF_SIMD_SSE2 static Reg Broadcast(double value) { return _mm_set1_pd(value); }
  NF_SIMD_SSE2 static Reg Add(Reg a, Reg b) { return _mm_add_pd(a, b); }
  NF_SIMD_SSE2 static Reg Sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
  NF_SIMD_SSE2 static Reg Mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
  NF_SIMD_SSE2 static Reg Div(Reg a, Reg b) { return _mm_div_pd(a, b); }
  NF_SIMD_SSE2 static Reg Sqrt(Reg a) { return _mm_sqrt_pd(a); }
  NF_SIMD_SSE2 static Reg And(Reg a, Reg b) { return _mm_and_pd(a, b); }
  // Lane by lane: a where |mask| has all bits set, b where it has none.
  NF_SIMD_SSE2 static Reg Select(Reg mask, Reg a, Reg b) {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
  }
};

}  // namespace Netforge::Simd

#if defined(__GNUC__) || defined(__clang__)

#define NF_SIMD_AVX2 __attribute__((target("avx2"), always_inline)) inline
#define NF_SIMD_AVX512 __attribute__((target("avx512f"), always_inline)) inline

namespace Netforge::Simd {

struct Avx2 {
  using Reg = __m256d;
  static constexpr int kLanes = 4;
  NF_SIMD_AVX2 static Reg Zero() { return _mm256_setzero_pd(); }
  NF_SIMD_AVX2 static Reg Load(const double* p) { return _mm256_loadu_pd(p); }
  NF_SIMD_AVX2 static void Store(double* p, Reg value) { _mm256_storeu_pd(p, value); }
  NF_SIMD_AVX2 static Reg Broadcast(double value) { return _mm256_set1_pd(value); }
  NF_SIMD_AVX2 static Reg Add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
  NF_SIMD_AVX2 static Reg Sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
  NF_SIMD_AVX2 static Reg Mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
  NF_SIMD_AVX2 static Reg Div(Reg a, Reg b) { return _mm256_div_pd(a, b); }
  NF_SIMD_AVX2 static Reg Sqrt(Reg a) { return _mm256_sqrt_pd(a); }
  NF_SIMD_AVX2 static Reg And(Reg a, Reg b) { return _mm256_and_pd(a, b); }
  // Lane by lane: a where |mask| has its top bit set, b elsewhere.
  NF_SIMD_AVX2 static Reg Select(Reg mask, Reg a, Reg b) { return _mm256_blendv_pd(b, a, mask); }
};

// AVX-512F compares into mask registers, so its Select takes one of those.
struct Avx512 {
  using Reg = __m512d;
  static constexpr int kLanes = 8;
  NF_SIMD_AVX512 static Reg Zero() { return _mm512_setzero_pd(); }
  NF_SIMD_AVX512 static Reg Load(const double* p) { return _mm512_loadu_pd(p); }
  NF_SIMD_AVX512 static void Store(double* p, Reg value) { _mm512_storeu_pd(p, value); }
  NF_SIMD_AVX512 static Reg Broadcast(double value) { return _mm512_set1_pd(value); }
  NF_SIMD_AVX512 static Reg Add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
  NF_SIMD_AVX512 static Reg Sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
  NF_SIMD_AVX512 static Reg Mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
  NF_SIMD_AVX512 static Reg Div(Reg a, Reg b) { return _mm512_div_pd(a, b); }
  NF_SIMD_AVX512 static Reg Sqrt(Reg a) { return _mm512_sqrt_pd(a); }
  // AVX-512F has logical operations on integers only.
  NF_SIMD_AVX512 static Reg And(Reg a, Reg b) {
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(a), _mm512_castpd_si512(b)));
  }
  NF_SIMD_AVX512 static Reg Select(__mmask8 mask, Reg a, Reg b) { return _mm512_mask_blend_pd(mask, b, a); }
};

}  // namespace Netforge::Simd

#endif  // GCC or Clang

#endif  // __SSE2__

#endif  // NETFORGE_COMMON_SIMDREGISTERS_H
