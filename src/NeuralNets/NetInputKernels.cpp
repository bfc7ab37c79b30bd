// How the kernels stay exact and still run fast: a plain dot product is
// bound by the latency of its additions, one after another into one sum. The
// kernels instead take a tile of eight targets and walk the sources of all
// eight rows together, ascending; the eight running sums are independent,
// so they fill the processor's pipelines, and two of them share one SSE2
// register (the x86-64 baseline, so the binary runs on every x86-64). Each
// lane still computes w * x + sum for its own target in its own order: the
// same operations on the same operands as the plain loop, hence the same
// bits. Each row is multiplied by the sources two at a time, and the products
// of two rows are paired up by source with unpack instructions; nothing is
// reassociated, and the build never allows contraction into fused
// multiply-adds.
//
// Missing connections: the product of a missing connection is replaced, bit
// by bit, by +0.0 before it is added (a mask made from the flag bytes, so an
// infinite or NaN product never reaches the sum), and sum + (+0.0) is sum
// itself for every value the running sum can hold:
//   - a finite non-zero sum, an infinity or +0.0 is returned unchanged;
//   - a NaN sum is passed on with its own bits (the only NaN operand);
//   - -0.0: in rounding to nearest, upwards and towards zero a sum that
//     starts at +0.0 can never become -0.0 (an addition gives -0.0 there
//     only from two -0.0 operands), and rounding downwards, the one mode in
//     which it can, gives -0.0 + +0.0 = -0.0.
// So the masked addition skips the connection exactly, as the plain loop's
// branch does, at the cost of one AND. (A flag multiplied into the weight
// would not: 0 * infinity is NaN.) Chunks of eight sources in which every
// connection of the tile exists skip the masks.
#include "NeuralNets/NetInputKernels.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "Common/Assert.h"
#include "Common/SimdRegisters.h"
#include "NeuralNets/TBasicConnections.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace NetInputKernels {

void AccumulateDenseReference(const double* const* rows, const double* x, int nFrom, int nTo, double* net) {
  for (int t = 0; t < nTo; ++t) {
    const double* weights = rows[t];
    double sum = 0.0;
    for (int f = 0; f < nFrom; ++f) sum = weights[f] * x[f] + sum;
    net[t] += sum;
  }
}

void AccumulateMaskedReference(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                               int nFrom, int nTo, double* net) {
  for (int t = 0; t < nTo; ++t) {
    const double* weights = rows[t];
    const unsigned char* flags = flagRows[t];
    double sum = 0.0;
    for (int f = 0; f < nFrom; ++f) {
      if (flags[f] & FMaskExists) sum = weights[f] * x[f] + sum;
    }
    net[t] += sum;
  }
}

#if defined(__SSE2__)

namespace {

// Sources per chunk of the masked kernel: one 8-byte load of flags per row.
constexpr int kChunk = 8;
// Sources per stretch checked at once for missing connections.
constexpr int kStretch = 32;

// Calls fn(0), ..., fn(Pairs - 1), written out, so that the compiler keeps
// each pair's sum in a register of its own.
template <int Pairs, class Fn>
inline void ForEachPair(Fn&& fn) {
  [&]<int... P>(std::integer_sequence<int, P...>) { (fn(P), ...); }(std::make_integer_sequence<int, Pairs>{});
}

// 2 * Pairs targets computed together; lane 0 of sum[p] belongs to target
// 2p of the tile, lane 1 to target 2p + 1.
template <int Pairs>
struct Tile {
  const double* w[2 * Pairs];
  const unsigned char* m[2 * Pairs];
  __m128d sum[Pairs];

  Tile(const double* const* rows, const unsigned char* const* flagRows) {
    for (int i = 0; i < 2 * Pairs; ++i) {
      w[i] = rows[i];
      m[i] = flagRows != nullptr ? flagRows[i] : nullptr;
    }
    ForEachPair<Pairs>([&](int p) { sum[p] = _mm_setzero_pd(); });
  }

  // net[t] += sum, target by target, as the plain loop ends.
  void AddTo(double* net) const {
    for (int p = 0; p < Pairs; ++p) {
      double lanes[2];
      _mm_storeu_pd(lanes, sum[p]);
      net[2 * p] += lanes[0];
      net[2 * p + 1] += lanes[1];
    }
  }
};

// sum = w * x + sum for both lanes. The order of the operands of each
// operation could only decide which NaN comes out when both are NaN, which
// the language leaves to the compiler (it may swap them in either loop).
inline __m128d MultiplyAdd(__m128d w, __m128d x, __m128d sum) { return _mm_add_pd(sum, _mm_mul_pd(w, x)); }

// As MultiplyAdd where |mask| is all ones; sum itself where it is all zeros
// (see the top of the file).
inline __m128d MaskedMultiplyAdd(__m128d mask, __m128d w, __m128d x, __m128d sum) {
  return _mm_add_pd(sum, _mm_and_pd(mask, _mm_mul_pd(w, x)));
}

// The products of sources f and f + 1 of one pair: |first| holds those of
// the first row, |second| those of the second; each row is multiplied by the
// sources as they lie in memory, two at a time, and the products are then
// paired up by source: (first[f], second[f]) and (first[f+1], second[f+1]).
struct PairProducts {
  __m128d atF;
  __m128d atNext;
};

inline PairProducts Products(const double* w0, const double* w1, __m128d xs) {
  const __m128d first = _mm_mul_pd(_mm_loadu_pd(w0), xs);
  const __m128d second = _mm_mul_pd(_mm_loadu_pd(w1), xs);
  return {_mm_unpacklo_pd(first, second), _mm_unpackhi_pd(first, second)};
}

// Sources f and f + 1, every connection present: sum = w * x + sum, the
// source f first.
template <int Pairs>
inline void DenseStep(Tile<Pairs>& tile, const double* x, int f) {
  const __m128d xs = _mm_loadu_pd(x + f);
  ForEachPair<Pairs>([&](int p) {
    const PairProducts products = Products(tile.w[2 * p] + f, tile.w[2 * p + 1] + f, xs);
    tile.sum[p] = _mm_add_pd(tile.sum[p], products.atF);
    tile.sum[p] = _mm_add_pd(tile.sum[p], products.atNext);
  });
}

// Source f alone, with the flags when |Masked|.
template <bool Masked, int Pairs>
inline void SingleStep(Tile<Pairs>& tile, const double* x, int f) {
  const __m128d xf = _mm_set1_pd(x[f]);
  ForEachPair<Pairs>([&](int p) {
    const __m128d w = _mm_set_pd(tile.w[2 * p + 1][f], tile.w[2 * p][f]);
    if constexpr (!Masked) {
      tile.sum[p] = MultiplyAdd(w, xf, tile.sum[p]);
    } else {
      const __m128i bits = _mm_set_epi64x(-static_cast<long long>(tile.m[2 * p + 1][f] & FMaskExists),
                                          -static_cast<long long>(tile.m[2 * p][f] & FMaskExists));
      tile.sum[p] = MaskedMultiplyAdd(_mm_castsi128_pd(bits), w, xf, tile.sum[p]);
    }
  });
}

// Whether every connection of the tile from sources [f, f + Sources) exists;
// Sources is 8 or a multiple of 16.
template <int Sources, int Pairs>
inline bool Complete(const Tile<Pairs>& tile, int f) {
  if constexpr (Sources == 8) {
    constexpr std::uint64_t kExistsBits = 0x0101010101010101ULL * FMaskExists;
    std::uint64_t all = ~std::uint64_t{0};
    for (int i = 0; i < 2 * Pairs; ++i) {
      std::uint64_t bytes;
      std::memcpy(&bytes, tile.m[i] + f, sizeof bytes);
      all &= bytes;
    }
    return (all & kExistsBits) == kExistsBits;
  } else {
    static_assert(Sources % 16 == 0);
    const __m128i exists = _mm_set1_epi8(FMaskExists);
    __m128i all = exists;
    for (int i = 0; i < 2 * Pairs; ++i) {
      for (int k = 0; k < Sources; k += 16) {
        all = _mm_and_si128(all, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tile.m[i] + f + k)));
      }
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(all, exists)) == 0xFFFF;
  }
}

// The lane mask of source K (0 to 3) of a chunk half: |quad| holds, in each
// 32-bit element, the four flag bytes of one lane's row. The exists bit of
// byte K moves to the top of its element and is spread over it; both
// elements of a lane are equal, so the whole 64-bit lane is all ones or all
// zeros.
template <int K>
inline __m128d LaneMask(__m128i quad) {
  static_assert(FMaskExists == 1, "the exists flag is bit 0 of a flag byte");
  return _mm_castsi128_pd(_mm_srai_epi32(_mm_slli_epi32(quad, 31 - 8 * K), 31));
}

// Sources [f, f + 2) of one pair, with the lane masks of both sources.
inline __m128d MaskedPairStep(__m128d sum, const double* w0, const double* w1, __m128d xs, __m128d mask0,
                              __m128d mask1) {
  const PairProducts products = Products(w0, w1, xs);
  sum = _mm_add_pd(sum, _mm_and_pd(mask0, products.atF));
  return _mm_add_pd(sum, _mm_and_pd(mask1, products.atNext));
}

// Sources [f, f + kChunk) with flags.
template <int Pairs>
inline void MaskedChunk(Tile<Pairs>& tile, const double* x, int f) {
  __m128d xs[kChunk / 2];
  for (int k = 0; k < kChunk / 2; ++k) xs[k] = _mm_loadu_pd(x + f + 2 * k);
  ForEachPair<Pairs>([&](int p) {
    const double* w0 = tile.w[2 * p] + f;
    const double* w1 = tile.w[2 * p + 1] + f;
    // Lane 0: the flag bytes of the first row, lane 1 those of the second.
    const __m128i flags =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(tile.m[2 * p] + f)),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tile.m[2 * p + 1] + f)));
    const __m128i low = _mm_shuffle_epi32(flags, _MM_SHUFFLE(2, 2, 0, 0));   // sources 0-3
    const __m128i high = _mm_shuffle_epi32(flags, _MM_SHUFFLE(3, 3, 1, 1));  // sources 4-7
    __m128d sum = tile.sum[p];
    sum = MaskedPairStep(sum, w0, w1, xs[0], LaneMask<0>(low), LaneMask<1>(low));
    sum = MaskedPairStep(sum, w0 + 2, w1 + 2, xs[1], LaneMask<2>(low), LaneMask<3>(low));
    sum = MaskedPairStep(sum, w0 + 4, w1 + 4, xs[2], LaneMask<0>(high), LaneMask<1>(high));
    sum = MaskedPairStep(sum, w0 + 6, w1 + 6, xs[3], LaneMask<2>(high), LaneMask<3>(high));
    tile.sum[p] = sum;
  });
}

// Each tile keeps its sums in a local Tile, which the compiler holds in
// registers; a Tile reached through a reference would live in memory.
template <int Pairs>
void DenseTile(const double* const* rows, const double* x, int nFrom, double* net) {
  Tile<Pairs> tile(rows, nullptr);
  int f = 0;
  for (; f + 2 <= nFrom; f += 2) DenseStep(tile, x, f);
  if (f < nFrom) SingleStep<false>(tile, x, f);
  tile.AddTo(net);
}

// Sources in stretches of kStretch: a stretch in which every connection of
// the tile exists runs unmasked; otherwise each chunk of kChunk sources is
// checked again, so that a lightly pruned block still runs mostly unmasked.
template <int Pairs>
void MaskedTile(const double* const* rows, const unsigned char* const* flagRows, const double* x, int nFrom,
                double* net) {
  Tile<Pairs> tile(rows, flagRows);
  auto chunk = [&](int c) {
    if (Complete<kChunk>(tile, c)) {
      for (int k = 0; k < kChunk; k += 2) DenseStep(tile, x, c + k);
    } else {
      MaskedChunk(tile, x, c);
    }
  };
  int f = 0;
  for (; f + kStretch <= nFrom; f += kStretch) {
    if (Complete<kStretch>(tile, f)) {
      for (int k = 0; k < kStretch; k += 2) DenseStep(tile, x, f + k);
    } else {
      for (int c = f; c < f + kStretch; c += kChunk) chunk(c);
    }
  }
  for (; f + kChunk <= nFrom; f += kChunk) chunk(f);
  for (; f < nFrom; ++f) SingleStep<true>(tile, x, f);
  tile.AddTo(net);
}

// Tiles of eight targets, then of two; a last odd target runs the plain loop.
constexpr int kWidePairs = 4;

void AccumulateDenseSse2(const double* const* rows, const double* x, int nFrom, int nTo, double* net) {
  int t = 0;
  for (; t + 2 * kWidePairs <= nTo; t += 2 * kWidePairs) DenseTile<kWidePairs>(rows + t, x, nFrom, net + t);
  for (; t + 2 <= nTo; t += 2) DenseTile<1>(rows + t, x, nFrom, net + t);
  if (t < nTo) AccumulateDenseReference(rows + t, x, nFrom, nTo - t, net + t);
}

void AccumulateMaskedSse2(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                          int nFrom, int nTo, double* net) {
  int t = 0;
  for (; t + 2 * kWidePairs <= nTo; t += 2 * kWidePairs) {
    MaskedTile<kWidePairs>(rows + t, flagRows + t, x, nFrom, net + t);
  }
  for (; t + 2 <= nTo; t += 2) MaskedTile<1>(rows + t, flagRows + t, x, nFrom, net + t);
  if (t < nTo) AccumulateMaskedReference(rows + t, flagRows + t, x, nFrom, nTo - t, net + t);
}

// The batch kernel with two rows to a register.
namespace sse2_batch {

#define NF_BATCH inline

struct Vec : Netforge::Simd::Sse2 {
  static constexpr int kPanels = 2;
  static constexpr int kMaxPanels = 2;
  static constexpr int kTargets = 6;  // 12 sums, 2 values and a weight: 15 of 16 registers
  static Reg Mask(unsigned char flags) {
    return _mm_castsi128_pd(_mm_set1_epi64x(-static_cast<long long>(flags & FMaskExists)));
  }
};

#include "NeuralNets/NetInputBatchTile.h"

#undef NF_BATCH

}  // namespace sse2_batch

}  // namespace

int AccumulateBatchSse2(const double* const* rows, const unsigned char* const* flagRows, const double* x, int nFrom,
                        int nTo, int batch, int stride, double* net) {
  if (flagRows == nullptr) {
    return sse2_batch::BatchRows<sse2_batch::Vec, false>(rows, nullptr, x, nFrom, nTo, batch, stride, net);
  }
  return sse2_batch::BatchRows<sse2_batch::Vec, true>(rows, flagRows, x, nFrom, nTo, batch, stride, net);
}

#endif  // __SSE2__

// ---- Choice of the implementation ----

bool Supported(Isa isa) { return Netforge::SimdSupported(isa); }

Isa Best() { return Netforge::BestSimdIsa(); }

void AccumulateDense(Isa isa, const double* const* rows, const double* x, int nFrom, int nTo, double* net) {
  NF_ASSERT(Supported(isa));
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      AccumulateDenseAvx2(rows, x, nFrom, nTo, net);
      return;
    case Isa::kSse2:
      AccumulateDenseSse2(rows, x, nFrom, nTo, net);
      return;
#endif
    default:
      AccumulateDenseReference(rows, x, nFrom, nTo, net);
  }
}

void AccumulateMasked(Isa isa, const double* const* rows, const unsigned char* const* flagRows, const double* x,
                      int nFrom, int nTo, double* net) {
  NF_ASSERT(Supported(isa));
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      AccumulateMaskedAvx2(rows, flagRows, x, nFrom, nTo, net);
      return;
    case Isa::kSse2:
      AccumulateMaskedSse2(rows, flagRows, x, nFrom, nTo, net);
      return;
#endif
    default:
      AccumulateMaskedReference(rows, flagRows, x, nFrom, nTo, net);
  }
}

void AccumulateDense(const double* const* rows, const double* x, int nFrom, int nTo, double* net) {
  AccumulateDense(Best(), rows, x, nFrom, nTo, net);
}

// ---- Batches ----

namespace {

// The rows [first, batch) one at a time with the one-row kernel of |isa|,
// each row's values gathered into a contiguous copy and its net inputs
// scattered back; the kernels give a row the same bits either way.
void AccumulateRowsOneByOne(Isa isa, const double* const* rows, const unsigned char* const* flagRows,
                            const double* x, int nFrom, int nTo, int first, int batch, int stride, double* net) {
  if (first >= batch) return;
  const std::size_t step = static_cast<std::size_t>(stride);
  std::vector<double> source(static_cast<std::size_t>(nFrom));
  std::vector<double> sums(static_cast<std::size_t>(nTo));
  for (int r = first; r < batch; ++r) {
    for (int f = 0; f < nFrom; ++f) source[static_cast<std::size_t>(f)] = x[f * step + r];
    for (int t = 0; t < nTo; ++t) sums[static_cast<std::size_t>(t)] = net[t * step + r];
    if (flagRows == nullptr) {
      AccumulateDense(isa, rows, source.data(), nFrom, nTo, sums.data());
    } else {
      AccumulateMasked(isa, rows, flagRows, source.data(), nFrom, nTo, sums.data());
    }
    for (int t = 0; t < nTo; ++t) net[t * step + r] = sums[static_cast<std::size_t>(t)];
  }
}

void AccumulateBatch(Isa isa, const double* const* rows, const unsigned char* const* flagRows, const double* x,
                     int nFrom, int nTo, int batch, int stride, double* net) {
  NF_ASSERT(Supported(isa));
  NF_ASSERT(batch <= stride);
  int done = 0;
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
      done = AccumulateBatchAvx512(rows, flagRows, x, nFrom, nTo, batch, stride, net);
      break;
    case Isa::kAvx2:
      done = AccumulateBatchAvx2(rows, flagRows, x, nFrom, nTo, batch, stride, net);
      break;
    case Isa::kSse2:
      done = AccumulateBatchSse2(rows, flagRows, x, nFrom, nTo, batch, stride, net);
      break;
#endif
    default:
      break;
  }
  AccumulateRowsOneByOne(isa, rows, flagRows, x, nFrom, nTo, done, batch, stride, net);
}

}  // namespace

void AccumulateDenseBatch(Isa isa, const double* const* rows, const double* x, int nFrom, int nTo, int batch,
                          int stride, double* net) {
  AccumulateBatch(isa, rows, nullptr, x, nFrom, nTo, batch, stride, net);
}

void AccumulateMaskedBatch(Isa isa, const double* const* rows, const unsigned char* const* flagRows,
                           const double* x, int nFrom, int nTo, int batch, int stride, double* net) {
  AccumulateBatch(isa, rows, flagRows, x, nFrom, nTo, batch, stride, net);
}

void AccumulateDenseBatch(const double* const* rows, const double* x, int nFrom, int nTo, int batch, int stride,
                          double* net) {
  AccumulateBatch(Best(), rows, nullptr, x, nFrom, nTo, batch, stride, net);
}

void AccumulateMaskedBatch(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                           int nFrom, int nTo, int batch, int stride, double* net) {
  AccumulateBatch(Best(), rows, flagRows, x, nFrom, nTo, batch, stride, net);
}

void AccumulateMasked(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                      int nFrom, int nTo, double* net) {
  AccumulateMasked(Best(), rows, flagRows, x, nFrom, nTo, net);
}

}  // namespace NetInputKernels
