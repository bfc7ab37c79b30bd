#include "Training/BackwardKernels.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/Assert.h"
#include "Common/SimdRegisters.h"
#include "NeuralNets/TBasicConnections.h"
#include "Training/UpdateCells.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace BackwardKernels {

namespace {

// The sources [first, nFrom) of every row, as the plain loops take them.
void PropagateRest(const TBlockView& block, const double* deltaTo, double* errFrom, int first) {
  for (int f = first; f < block.nFrom; ++f) {
    for (int t = 0; t < block.nTo; ++t) {
      if (block.flagRows == nullptr || (block.flagRows[t][f] & FMaskExists) != 0) {
        errFrom[f] = block.rows[t][f] * deltaTo[t] + errFrom[f];
      }
    }
  }
}

void GradientRest(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad, int first) {
  for (int t = 0; t < block.nTo; ++t) {
    double* g = grad + static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom);
    for (int f = first; f < block.nFrom; ++f) {
      if (block.flagRows == nullptr || (block.flagRows[t][f] & FMaskAll) == FMaskAll) {
        g[f] = deltaTo[t] * yFrom[f] + g[f];
      }
    }
  }
}

#if defined(__SSE2__)

namespace sse2 {

#define NF_BACKWARD inline

struct Vec : Netforge::Simd::Sse2 {
  static Reg Flags(const unsigned char* bytes, int required) {
    return _mm_castsi128_pd(_mm_set_epi64x(-static_cast<long long>((bytes[1] & required) == required),
                                           -static_cast<long long>((bytes[0] & required) == required)));
  }
  static Reg FlagMask(unsigned char byte, int required) {
    return _mm_castsi128_pd(_mm_set1_epi64x(-static_cast<long long>((byte & required) == required)));
  }
  static void Transpose(Reg (&regs)[2]) {
    const Reg low = _mm_unpacklo_pd(regs[0], regs[1]);
    regs[1] = _mm_unpackhi_pd(regs[0], regs[1]);
    regs[0] = low;
  }
};

#include "Training/BackwardKernelBody.h"

#undef NF_BACKWARD

}  // namespace sse2

#endif  // __SSE2__

// The sources the vector loops of |isa| covered.
int PropagateVectors(Isa isa, const TBlockView& block, const double* deltaTo, double* errFrom) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return PropagateErrorAvx2(block, deltaTo, errFrom);
    case Isa::kSse2:
      return sse2::Propagate<sse2::Vec>(block, deltaTo, errFrom);
#endif
    default:
      return 0;
  }
}

int GradientVectors(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return AccumulateGradientAvx2(block, deltaTo, yFrom, grad);
    case Isa::kSse2:
      return sse2::Gradient<sse2::Vec>(block, deltaTo, yFrom, grad);
#endif
    default:
      return 0;
  }
}

int DescendVectors(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double rate,
                   double momentum, double* velocity) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return DescendAvx2(block, deltaTo, yFrom, rate, momentum, velocity);
    case Isa::kSse2:
      return sse2::DescendVectors<sse2::Vec>(block, deltaTo, yFrom, rate, momentum, velocity);
#endif
    default:
      return 0;
  }
}

// The sources [first, nFrom) of every row, as the plain loop takes them.
void DescendRest(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
                 double* velocity, int first) {
  if (first >= block.nFrom) return;
  for (int t = 0; t < block.nTo; ++t) {
    double* w = block.rows[t];
    double* v = velocity + static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom);
    const unsigned char* flags = block.flagRows != nullptr ? block.flagRows[t] : nullptr;
    const double delta = deltaTo[t];
    for (int f = first; f < block.nFrom; ++f) {
      if (flags == nullptr || (flags[f] & FMaskAll) == FMaskAll) {
        UpdateCells::Descend(delta * yFrom[f] + 0.0, rate, momentum, v[f], w[f]);
      }
    }
  }
}

std::size_t AdamVectors(Isa isa, const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m,
                        double* v, std::size_t count) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return AdamAvx2(step, w, gradient, m, v, count);
    case Isa::kSse2:
      return sse2::AdamVectors<sse2::Vec>(step, w, gradient, m, v, count);
#endif
    default:
      return 0;
  }
}

// The group's rows [first, rows) one by one with the one-row loops of |isa|.
void PropagateGroupRest(Isa isa, const TBlockView& block, const double* deltaTo, int rows, int stride,
                        double* errFrom, int first) {
  if (first >= rows) return;
  const std::size_t step = static_cast<std::size_t>(stride);
  std::vector<double> delta(static_cast<std::size_t>(block.nTo));
  std::vector<double> err(static_cast<std::size_t>(block.nFrom));
  for (int r = first; r < rows; ++r) {
    for (std::size_t t = 0; t < delta.size(); ++t) delta[t] = deltaTo[t * step + static_cast<std::size_t>(r)];
    for (std::size_t f = 0; f < err.size(); ++f) err[f] = errFrom[f * step + static_cast<std::size_t>(r)];
    PropagateError(isa, block, delta.data(), err.data());
    for (std::size_t f = 0; f < err.size(); ++f) errFrom[f * step + static_cast<std::size_t>(r)] = err[f];
  }
}

// Cell (t, f) over the rows ascending; a cell that is not trainable keeps
// its value.
void GradientRestCell(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                      std::size_t stride, double* grad, int t, int f) {
  if (block.flagRows != nullptr && (block.flagRows[t][f] & FMaskAll) != FMaskAll) return;
  double& cell = grad[static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom) + static_cast<std::size_t>(f)];
  double sum = cell;
  for (int r = 0; r < rows; ++r) sum = deltaTo[static_cast<std::size_t>(t) * stride + static_cast<std::size_t>(r)] * yRows[r][f] + sum;
  cell = sum;
}

// The sources [first, nFrom) of the targets [firstTarget, nTo) (fewer than
// a register's worth, after the vector loops).
void GradientGroupRest(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows, int stride,
                       double* grad, int first, int firstTarget) {
  const std::size_t step = static_cast<std::size_t>(stride);
  for (int f = first; f < block.nFrom; ++f) {
    for (int t = firstTarget; t < block.nTo; ++t) GradientRestCell(block, deltaTo, yRows, rows, step, grad, t, f);
  }
}

// The targets whose sources [first, nFrom) the vector loops of |isa| covered.
int GradientSourcesLeftVectors(Isa isa, const TBlockView& block, const double* deltaTo, const double* const* yRows,
                               int rows, int stride, double* grad, int first) {
  if (first >= block.nFrom) return block.nTo;
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return AccumulateGradientSourcesLeftAvx2(block, deltaTo, yRows, rows, stride, grad, first);
    case Isa::kSse2:
      return sse2::GradientSourcesLeftOver<sse2::Vec>(block, deltaTo, yRows, rows, stride, grad, first);
#endif
    default:
      return 0;
  }
}

int PropagateGroupVectors(Isa isa, const TBlockView& block, const double* deltaTo, int rows, int stride,
                          double* errFrom) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      return PropagateErrorGroupAvx2(block, deltaTo, rows, stride, errFrom);
    case Isa::kSse2:
      return sse2::PropagateGroup<sse2::Vec>(block, deltaTo, rows, stride, errFrom);
#endif
    default:
      return 0;
  }
}

int GradientGroupVectors(Isa isa, const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                         int stride, double* grad) {
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
      // Only blocks whose gradient is streamed gain from the wider registers
      // (see BackwardKernelsAvx512.cpp); the threshold is every copy's.
      if (static_cast<std::size_t>(block.nFrom) * static_cast<std::size_t>(block.nTo) > sse2::kStreamedGradientCells) {
        return AccumulateGradientGroupAvx512(block, deltaTo, yRows, rows, stride, grad);
      }
      return AccumulateGradientGroupAvx2(block, deltaTo, yRows, rows, stride, grad);
    case Isa::kAvx2:
      return AccumulateGradientGroupAvx2(block, deltaTo, yRows, rows, stride, grad);
    case Isa::kSse2:
      return sse2::GradientGroup<sse2::Vec>(block, deltaTo, yRows, rows, stride, grad);
#endif
    default:
      return 0;
  }
}

}  // namespace

void PropagateErrorGroup(Isa isa, const TBlockView& block, const double* deltaTo, int rows, int stride,
                         double* errFrom) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  NF_ASSERT(rows<=stride);
  const int done = PropagateGroupVectors(isa, block, deltaTo, rows, stride, errFrom);
  PropagateGroupRest(isa, block, deltaTo, rows, stride, errFrom, done);
}

void AccumulateGradientGroup(Isa isa, const TBlockView& block, const double* deltaTo, const double* const* yRows,
                             int rows, int stride, double* grad) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  NF_ASSERT(rows<=stride);
  const int done = GradientGroupVectors(isa, block, deltaTo, yRows, rows, stride, grad);
  const int targets = GradientSourcesLeftVectors(isa, block, deltaTo, yRows, rows, stride, grad, done);
  GradientGroupRest(block, deltaTo, yRows, rows, stride, grad, done, targets);
}

void PropagateErrorGroup(const TBlockView& block, const double* deltaTo, int rows, int stride, double* errFrom) {
  PropagateErrorGroup(NetInputKernels::Best(), block, deltaTo, rows, stride, errFrom);
}

void AccumulateGradientGroup(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                             int stride, double* grad) {
  AccumulateGradientGroup(NetInputKernels::Best(), block, deltaTo, yRows, rows, stride, grad);
}

void PropagateError(Isa isa, const TBlockView& block, const double* deltaTo, double* errFrom) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  PropagateRest(block, deltaTo, errFrom, PropagateVectors(isa, block, deltaTo, errFrom));
}

void AccumulateGradient(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  GradientRest(block, deltaTo, yFrom, grad, GradientVectors(isa, block, deltaTo, yFrom, grad));
}

void Descend(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double rate,
             double momentum, double* velocity) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  const int done = DescendVectors(isa, block, deltaTo, yFrom, rate, momentum, velocity);
  DescendRest(block, deltaTo, yFrom, rate, momentum, velocity, done);
}

void Descend(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
             double* velocity) {
  Descend(NetInputKernels::Best(), block, deltaTo, yFrom, rate, momentum, velocity);
}

void Adam(Isa isa, const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m, double* v,
          std::size_t count) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  for (std::size_t i = AdamVectors(isa, step, w, gradient, m, v, count); i < count; ++i) {
    UpdateCells::Adam(step, gradient[i], m[i], v[i], w[i]);
  }
}

void Adam(const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m, double* v,
          std::size_t count) {
  Adam(NetInputKernels::Best(), step, w, gradient, m, v, count);
}

void PropagateError(const TBlockView& block, const double* deltaTo, double* errFrom) {
  PropagateError(NetInputKernels::Best(), block, deltaTo, errFrom);
}

void GroupToRows(Isa isa, const double* group, int n, int rows, int stride, double* rowMajor, int pitch) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  NF_ASSERT(rows<=stride);
  NF_ASSERT(n<=pitch);
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      GroupToRowsAvx2(group, n, rows, stride, rowMajor, pitch);
      return;
    case Isa::kSse2:
      sse2::GroupToRows<sse2::Vec>(group, n, rows, static_cast<std::size_t>(stride), rowMajor,
                                      static_cast<std::size_t>(pitch));
      return;
#endif
    default:
      for (int r = 0; r < rows; ++r) {
        for (int f = 0; f < n; ++f) {
          rowMajor[static_cast<std::size_t>(r) * static_cast<std::size_t>(pitch) + static_cast<std::size_t>(f)] =
              group[static_cast<std::size_t>(f) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(r)];
        }
      }
  }
}

void RowsToGroup(Isa isa, const double* const* rowPtrs, int n, int rows, double* group, int stride) {
  NF_ASSERT(NetInputKernels::Supported(isa));
  NF_ASSERT(rows<=stride);
  switch (isa) {
#if defined(__SSE2__)
    case Isa::kAvx512:
    case Isa::kAvx2:
      RowsToGroupAvx2(rowPtrs, n, rows, group, stride);
      return;
    case Isa::kSse2:
      sse2::RowsToGroup<sse2::Vec>(rowPtrs, n, rows, group, static_cast<std::size_t>(stride));
      return;
#endif
    default:
      for (int f = 0; f < n; ++f) {
        for (int r = 0; r < rows; ++r) {
          group[static_cast<std::size_t>(f) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(r)] =
              rowPtrs[r][f];
        }
      }
  }
}

void RowsToGroup(const double* const* rowPtrs, int n, int rows, double* group, int stride) {
  RowsToGroup(NetInputKernels::Best(), rowPtrs, n, rows, group, stride);
}

void GroupToRows(const double* group, int n, int rows, int stride, double* rowMajor, int pitch) {
  GroupToRows(NetInputKernels::Best(), group, n, rows, stride, rowMajor, pitch);
}

void AccumulateGradient(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  AccumulateGradient(NetInputKernels::Best(), block, deltaTo, yFrom, grad);
}

}  // namespace BackwardKernels
