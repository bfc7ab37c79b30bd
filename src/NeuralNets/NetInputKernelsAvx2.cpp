// The net-input kernels for processors with AVX2, chosen at run time.
//
// The same plan as the SSE2 kernels (NetInputKernels.cpp), four targets to a
// register instead of two: a tile of sixteen targets walks the sources of
// its sixteen rows together, ascending, four sources at a time. Each row is
// multiplied by the four sources as it lies in memory; a 4 x 4 transpose of
// the products of four rows gives, per source, the products of four targets
// in one register, which are added to the four running sums source after
// source. Every lane computes w * x + sum for its own target in its own
// order, so the bits are those of the plain loop. Four registers of sums
// keep enough additions in flight to hide their latency.
//
// A missing connection's product is replaced by +0.0 before it is added,
// which leaves every running sum as it was (the argument is at the top of
// NetInputKernels.cpp); a stretch of sources in which every connection of
// the tile exists runs without the masks.
//
// Only these functions are compiled for AVX2 (a target attribute each, not a
// compiler flag for the file), so nothing else in the program, such as an
// inline function of the standard library, can pick up an AVX2 instruction
// and fail on an older processor. The helpers carry the attribute and are
// always inlined; there are no lambdas, which would not carry it.
#include "NeuralNets/NetInputKernels.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/SimdRegisters.h"
#include "NeuralNets/TBasicConnections.h"

#define NF_AVX2 __attribute__((target("avx2"), always_inline)) inline

namespace NetInputKernels {

namespace {

constexpr int kGroups = 4;         // groups of four targets in a wide tile
constexpr int kStep = 4;           // sources per step
constexpr int kLongStretch = 32;   // sources checked at once, and masked at once
constexpr int kStretch = 16;       // the same for the sources left over

template <int Groups>
struct Tile {
  const double* w[4 * Groups];
  const unsigned char* m[4 * Groups];
};

// The products of four rows with the sources [f, f + 4), transposed: out[k]
// holds, lane by lane, the products of the four rows with source f + k.
// |mask| holds per row the lane mask of its four connections (or all ones).
NF_AVX2 void TransposedProducts(const double* w0, const double* w1, const double* w2, const double* w3,
                                __m256d xs, const __m256d* masks, __m256d out[4]) {
  __m256d p0 = _mm256_mul_pd(_mm256_loadu_pd(w0), xs);
  __m256d p1 = _mm256_mul_pd(_mm256_loadu_pd(w1), xs);
  __m256d p2 = _mm256_mul_pd(_mm256_loadu_pd(w2), xs);
  __m256d p3 = _mm256_mul_pd(_mm256_loadu_pd(w3), xs);
  if (masks != nullptr) {
    p0 = _mm256_and_pd(p0, masks[0]);
    p1 = _mm256_and_pd(p1, masks[1]);
    p2 = _mm256_and_pd(p2, masks[2]);
    p3 = _mm256_and_pd(p3, masks[3]);
  }
  const __m256d t0 = _mm256_unpacklo_pd(p0, p1);  // p0[0] p1[0] p0[2] p1[2]
  const __m256d t1 = _mm256_unpackhi_pd(p0, p1);  // p0[1] p1[1] p0[3] p1[3]
  const __m256d t2 = _mm256_unpacklo_pd(p2, p3);
  const __m256d t3 = _mm256_unpackhi_pd(p2, p3);
  out[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
  out[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
  out[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
  out[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// The lane masks of four connections from their flag bytes: all ones where
// the byte holds FMaskExists (bit 0), all zeros elsewhere.
NF_AVX2 __m256d FlagMask(const unsigned char* flags) {
  static_assert(FMaskExists == 1, "the exists flag is bit 0 of a flag byte");
  std::int32_t four;
  std::memcpy(&four, flags, sizeof four);
  const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four));
  return _mm256_castsi256_pd(_mm256_sub_epi64(_mm256_setzero_si256(),
                                              _mm256_and_si256(wide, _mm256_set1_epi64x(1))));
}

// The lane masks of four connections from their lane bytes, 0xFF where the
// connection exists and 0x00 where not (see Stretch): one sign-extending
// load per row and step, where widening the flag bytes takes four steps.
NF_AVX2 __m256d LaneMask(const unsigned char* bytes) {
  std::int32_t four;
  std::memcpy(&four, bytes, sizeof four);
  return _mm256_castsi256_pd(_mm256_cvtepi8_epi64(_mm_cvtsi32_si128(four)));
}

// Where a step takes the lane masks of its products from.
enum class Masks {
  kNone,       // every connection exists
  kFromFlags,  // the flag bytes of the four sources
  kFromLanes,  // lane bytes made before: lanes[row * kLongStretch + shift], four of them
};

// Sources [f, f + 4) of every group.
template <Masks M, int Groups>
NF_AVX2 void Step(const Tile<Groups>& tile, const double* x, int f, const unsigned char* lanes, int shift,
                  __m256d* sums) {
  const __m256d xs = _mm256_loadu_pd(x + f);
#pragma GCC unroll 4
  for (int g = 0; g < Groups; ++g) {
    const double* const* w = tile.w + 4 * g;
    __m256d masks[4];
    for (int i = 0; i < 4; ++i) {
      if constexpr (M == Masks::kFromFlags) masks[i] = FlagMask(tile.m[4 * g + i] + f);
      if constexpr (M == Masks::kFromLanes) masks[i] = LaneMask(lanes + (4 * g + i) * kLongStretch + shift);
    }
    __m256d products[4];
    TransposedProducts(w[0] + f, w[1] + f, w[2] + f, w[3] + f, xs, M == Masks::kNone ? nullptr : masks, products);
    __m256d sum = sums[g];
    sum = _mm256_add_pd(sum, products[0]);
    sum = _mm256_add_pd(sum, products[1]);
    sum = _mm256_add_pd(sum, products[2]);
    sum = _mm256_add_pd(sum, products[3]);
    sums[g] = sum;
  }
}

// Source f alone, with the flags when |Masked|.
template <bool Masked, int Groups>
NF_AVX2 void SingleStep(const Tile<Groups>& tile, const double* x, int f, __m256d* sums) {
  const __m256d xf = _mm256_set1_pd(x[f]);
  for (int g = 0; g < Groups; ++g) {
    const double* const* w = tile.w + 4 * g;
    __m256d product = _mm256_mul_pd(_mm256_set_pd(w[3][f], w[2][f], w[1][f], w[0][f]), xf);
    if constexpr (Masked) {
      const unsigned char* const* m = tile.m + 4 * g;
      const __m256i bits = _mm256_set_epi64x(-static_cast<long long>(m[3][f] & FMaskExists),
                                             -static_cast<long long>(m[2][f] & FMaskExists),
                                             -static_cast<long long>(m[1][f] & FMaskExists),
                                             -static_cast<long long>(m[0][f] & FMaskExists));
      product = _mm256_and_pd(product, _mm256_castsi256_pd(bits));
    }
    sums[g] = _mm256_add_pd(sums[g], product);
  }
}

// Whether every connection of the tile from the sources [f, f + 32) exists:
// one load and AND per row, the cheap test that lets a block without missing
// connections run nearly as fast as a fully connected one.
template <int Groups>
NF_AVX2 bool Complete(const Tile<Groups>& tile, int f) {
  __m256i all = _mm256_set1_epi8(-1);
  for (int i = 0; i < 4 * Groups; ++i) {
    all = _mm256_and_si256(all, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile.m[i] + f)));
  }
  return _mm256_movemask_epi8(_mm256_slli_epi16(all, 7)) == -1;
}

// Per row of the tile, a byte 0xFF for an existing connection and 0x00 for a
// missing one (the flag's exists bit, negated), for the sources [f, f + 32)
// or, with |Half|, [f, f + 16); rows kLongStretch bytes apart. Returns
// whether every one of them exists.
template <bool Half, int Groups>
NF_AVX2 bool MakeLanes(const Tile<Groups>& tile, int f, unsigned char* lanes) {
  int all = -1;
  for (int i = 0; i < 4 * Groups; ++i) {
    if constexpr (Half) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tile.m[i] + f));
      const __m128i full = _mm_sub_epi8(_mm_setzero_si128(), _mm_and_si128(bytes, _mm_set1_epi8(1)));
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes + i * kLongStretch), full);
      all &= _mm_movemask_epi8(full) | ~0xFFFF;
    } else {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile.m[i] + f));
      const __m256i full = _mm256_sub_epi8(_mm256_setzero_si256(), _mm256_and_si256(bytes, _mm256_set1_epi8(1)));
      _mm256_store_si256(reinterpret_cast<__m256i*>(lanes + i * kLongStretch), full);
      all &= _mm256_movemask_epi8(full);
    }
  }
  return all == -1;
}

// Sources [f, f + 32), or [f, f + 16) with |Half|, with the flags: without
// masks where every connection of the tile exists, else with lane masks
// made once per row.
template <bool Half, int Groups>
NF_AVX2 void Stretch(const Tile<Groups>& tile, const double* x, int f, __m256d* sums) {
  constexpr int kLength = Half ? kStretch : kLongStretch;
  alignas(32) unsigned char lanes[4 * Groups * kLongStretch];
  if (MakeLanes<Half>(tile, f, lanes)) {
    for (int k = 0; k < kLength; k += kStep) Step<Masks::kNone>(tile, x, f + k, nullptr, 0, sums);
  } else {
    for (int k = 0; k < kLength; k += kStep) Step<Masks::kFromLanes>(tile, x, f + k, lanes, k, sums);
  }
}

// net[t] += sum, target by target, as the plain loop ends.
template <int Groups>
NF_AVX2 void AddTo(const __m256d* sums, double* net) {
  for (int g = 0; g < Groups; ++g) {
    double lanes[4];
    _mm256_storeu_pd(lanes, sums[g]);
    for (int i = 0; i < 4; ++i) net[4 * g + i] += lanes[i];
  }
}

// One tile of 4 * Groups targets. The sums live in a local array, which the
// compiler keeps in registers once the group loops are unrolled.
template <bool Masked, int Groups>
NF_AVX2 void RunTile(const double* const* rows, const unsigned char* const* flagRows, const double* x, int nFrom,
                     double* net) {
  Tile<Groups> tile;
  for (int i = 0; i < 4 * Groups; ++i) {
    tile.w[i] = rows[i];
    tile.m[i] = Masked ? flagRows[i] : nullptr;
  }
  __m256d sums[Groups];
  for (int g = 0; g < Groups; ++g) sums[g] = _mm256_setzero_pd();
  int f = 0;
  if constexpr (Masked) {
    for (; f + kLongStretch <= nFrom; f += kLongStretch) {
      if (Complete(tile, f)) {
        for (int k = 0; k < kLongStretch; k += kStep) Step<Masks::kNone>(tile, x, f + k, nullptr, 0, sums);
      } else {
        Stretch<false>(tile, x, f, sums);
      }
    }
    for (; f + kStretch <= nFrom; f += kStretch) Stretch<true>(tile, x, f, sums);
  }
  constexpr Masks kRest = Masked ? Masks::kFromFlags : Masks::kNone;
  for (; f + kStep <= nFrom; f += kStep) Step<kRest>(tile, x, f, nullptr, 0, sums);
  for (; f < nFrom; ++f) SingleStep<Masked>(tile, x, f, sums);
  AddTo<Groups>(sums, net);
}

// Tiles of sixteen targets, then of four; the last up to three targets go to
// the SSE2 kernels.
template <bool Masked>
__attribute__((target("avx2"))) void Run(const double* const* rows, const unsigned char* const* flagRows,
                                         const double* x, int nFrom, int nTo, double* net) {
  int t = 0;
  for (; t + 4 * kGroups <= nTo; t += 4 * kGroups) {
    RunTile<Masked, kGroups>(rows + t, Masked ? flagRows + t : nullptr, x, nFrom, net + t);
  }
  for (; t + 4 <= nTo; t += 4) RunTile<Masked, 1>(rows + t, Masked ? flagRows + t : nullptr, x, nFrom, net + t);
  if (t == nTo) return;
  if constexpr (Masked) {
    AccumulateMasked(Isa::kSse2, rows + t, flagRows + t, x, nFrom, nTo - t, net + t);
  } else {
    AccumulateDense(Isa::kSse2, rows + t, x, nFrom, nTo - t, net + t);
  }
}

// The batch kernel with four rows to a register.
namespace avx2_batch {

#define NF_BATCH NF_AVX2

struct Vec : Netforge::Simd::Avx2 {
  static constexpr int kPanels = 2;
  static constexpr int kMaxPanels = 2;
  static constexpr int kTargets = 6;  // 12 sums, 2 values and a weight: 15 of 16 registers
  NF_AVX2 static Reg Mask(unsigned char flags) {
    return _mm256_castsi256_pd(_mm256_set1_epi64x(-static_cast<long long>(flags & FMaskExists)));
  }
};

#include "NeuralNets/NetInputBatchTile.h"

#undef NF_BATCH

}  // namespace avx2_batch

}  // namespace

__attribute__((target("avx2"))) int AccumulateBatchAvx2(const double* const* rows,
                                                        const unsigned char* const* flagRows, const double* x,
                                                        int nFrom, int nTo, int batch, int stride, double* net) {
  if (flagRows == nullptr) {
    return avx2_batch::BatchRows<avx2_batch::Vec, false>(rows, nullptr, x, nFrom, nTo, batch, stride, net);
  }
  return avx2_batch::BatchRows<avx2_batch::Vec, true>(rows, flagRows, x, nFrom, nTo, batch, stride, net);
}

void AccumulateDenseAvx2(const double* const* rows, const double* x, int nFrom, int nTo, double* net) {
  Run<false>(rows, nullptr, x, nFrom, nTo, net);
}

void AccumulateMaskedAvx2(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                          int nFrom, int nTo, double* net) {
  Run<true>(rows, flagRows, x, nFrom, nTo, net);
}

}  // namespace NetInputKernels

#endif
