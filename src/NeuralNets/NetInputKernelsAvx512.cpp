// The batch net-input kernel for processors with AVX-512, chosen at run
// time: eight rows to a register, and 32 registers, which hold more sums
// per tile than AVX2's 16 do. A tile takes sixteen targets and one register
// of rows: each weight then serves one multiplication, which takes it
// straight from memory (an embedded broadcast). That measured fastest, but
// for one kind of block: where the weight rows lie a multiple of 4 KiB apart
// (a multiple of 512 sources, rows stored back to back), the sixteen rows
// read side by side all fall into the same sets of the first-level cache,
// whose eight ways cannot hold them, and the tile ran twice as slow. Such
// blocks take tiles of eight targets and three registers of rows instead
// (each weight broadcast once for three registers). Every lane computes its
// own (target, row) sum in the plain loop's order, as with the narrower
// units (see NetInputBatchTile.h), so the bits are the same.
//
// Compiled as NetInputKernelsAvx2.cpp is: a target attribute on each
// function, none for the file.
#include "NeuralNets/NetInputKernels.h"

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "Common/SimdRegisters.h"
#include "NeuralNets/TBasicConnections.h"

#define NF_AVX512 __attribute__((target("avx512f"), always_inline)) inline

namespace NetInputKernels {

namespace {

namespace avx512_batch {

#define NF_BATCH NF_AVX512

struct Ops : Netforge::Simd::Avx512 {
  NF_AVX512 static Reg Mask(unsigned char flags) {
    return _mm512_castsi512_pd(_mm512_set1_epi64(-static_cast<long long>(flags & FMaskExists)));
  }
};

// 16 sums and a value: 17 of 32 registers (a narrower tile takes up to
// four registers of rows).
struct Vec : Ops {
  static constexpr int kPanels = 1;
  static constexpr int kMaxPanels = 4;
  static constexpr int kTargets = 16;
};

// For weight rows a multiple of 4 KiB apart: 24 sums, 3 values and a
// weight, 28 of 32 registers.
struct AliasedVec : Ops {
  static constexpr int kPanels = 3;
  static constexpr int kMaxPanels = 3;
  static constexpr int kTargets = 8;
};

#include "NeuralNets/NetInputBatchTile.h"

#undef NF_BATCH

}  // namespace avx512_batch

// Rows of this many sources are 4 KiB long.
constexpr int kAliasedSources = 512;

}  // namespace

__attribute__((target("avx512f"))) int AccumulateBatchAvx512(const double* const* rows,
                                                             const unsigned char* const* flagRows, const double* x,
                                                             int nFrom, int nTo, int batch, int stride, double* net) {
  using avx512_batch::AliasedVec;
  using avx512_batch::BatchRows;
  using avx512_batch::Vec;
  if (nFrom % kAliasedSources == 0) {
    return flagRows == nullptr ? BatchRows<AliasedVec, false>(rows, nullptr, x, nFrom, nTo, batch, stride, net)
                               : BatchRows<AliasedVec, true>(rows, flagRows, x, nFrom, nTo, batch, stride, net);
  }
  return flagRows == nullptr ? BatchRows<Vec, false>(rows, nullptr, x, nFrom, nTo, batch, stride, net)
                             : BatchRows<Vec, true>(rows, flagRows, x, nFrom, nTo, batch, stride, net);
}

}  // namespace NetInputKernels

#endif
