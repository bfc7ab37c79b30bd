// The vectorised inner loops of training's backward pass and update steps:
// the work of BlockBackward and UpdateCells (the plain loops and formulas,
// and their order) with the vector unit the processor has, chosen at run
// time as for recall (SSE2, the x86-64 baseline, or AVX2, and AVX-512 for
// the group gradient of large blocks; see NeuralNets/NetInputKernels.h).
//
// All loops work element by element along a weight row: PropagateError
// keeps a stretch of source errors in registers and adds each target's
// products to it, targets ascending; AccumulateGradient updates each
// gradient cell once, Descend each velocity and weight, Adam each parameter
// with its moments. Every element sees the operations of the plain loop in
// its order, with the multiply and the addition apart, so the bits are the
// plain loop's for every input (division and square root are exactly
// rounded in every lane). A connection that must be skipped is skipped by a
// select that keeps the old value (not by adding zero, which would turn -0.0
// into +0.0 and infinity times zero into NaN).
//
// Stateless and thread-safe; the caller owns every array.
#ifndef NETFORGE_TRAINING_BACKWARDKERNELS_H
#define NETFORGE_TRAINING_BACKWARDKERNELS_H

#include "NeuralNets/NetInputKernels.h"
#include <cstddef>

#include "Training/BlockBackward.h"
#include "Training/UpdateCells.h"

namespace BackwardKernels {

using Isa = NetInputKernels::Isa;

// BlockBackward::PropagateError and AccumulateGradient with the best
// implementation this processor supports (NetInputKernels::Best()).
void PropagateError(const TBlockView& block, const double* deltaTo, double* errFrom);
void AccumulateGradient(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad);

// The same with a given implementation, which must be Supported (kAvx512
// runs the AVX2 loops); for the tests and benchmarks.
void PropagateError(Isa isa, const TBlockView& block, const double* deltaTo, double* errFrom);
void AccumulateGradient(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad);

// BlockBackward::Descend with the best implementation, or a given one (which
// must be Supported).
void Descend(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
             double* velocity);
void Descend(Isa isa, const TBlockView& block, const double* deltaTo, const double* yFrom, double rate,
             double momentum, double* velocity);

// UpdateCells::Adam on |count| parameters w[i] with their summed gradients
// gradient[i] and moments m[i] and v[i], each by itself; with the best
// implementation or a given one.
void Adam(const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m, double* v,
          std::size_t count);
void Adam(Isa isa, const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m, double* v,
          std::size_t count);

// Groups of rows at once (training's batches), each weight loaded once per
// group: |rows| rows (rows <= stride) whose deltas and source errors lie
// neuron-major as in batch recall, deltaTo[t * stride + r] and
// errFrom[f * stride + r], and whose source outputs are given row by row,
// yRows[r][f]. PropagateErrorGroup gives every row what
// PropagateError gives it; AccumulateGradientGroup gives |grad| the bits of
// AccumulateGradient called for rows 0, 1, ... in turn.
void PropagateErrorGroup(const TBlockView& block, const double* deltaTo, int rows, int stride, double* errFrom);
void AccumulateGradientGroup(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                             int stride, double* grad);
void PropagateErrorGroup(Isa isa, const TBlockView& block, const double* deltaTo, int rows, int stride,
                         double* errFrom);

// The group's values of |n| neurons for |rows| rows, neuron-major
// (group[f * stride + r]), row by row: rowMajor[r * pitch + f]. The source
// rows AccumulateGradientGroup reads, from a layer's group outputs.
void GroupToRows(const double* group, int n, int rows, int stride, double* rowMajor, int pitch);
void GroupToRows(Isa isa, const double* group, int n, int rows, int stride, double* rowMajor, int pitch);

// The other way round: group[f * stride + r] = rowPtrs[r][f] for |n|
// neurons and |rows| rows (a group's inputs).
void RowsToGroup(const double* const* rowPtrs, int n, int rows, double* group, int stride);
void RowsToGroup(Isa isa, const double* const* rowPtrs, int n, int rows, double* group, int stride);
void AccumulateGradientGroup(Isa isa, const TBlockView& block, const double* deltaTo, const double* const* yRows,
                             int rows, int stride, double* grad);

// The AVX2 loops (BackwardKernelsAvx2.cpp); only where Supported(kAvx2).
// Each handles the sources [0, returned value) of every row, a multiple of
// its register width (DescendAvx2: every source); the caller does the rest
// with the plain loop.
int PropagateErrorAvx2(const TBlockView& block, const double* deltaTo, double* errFrom);
int AccumulateGradientAvx2(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad);
int DescendAvx2(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
                double* velocity);
std::size_t AdamAvx2(const UpdateCells::TAdamStep& step, double* w, const double* gradient, double* m, double* v,
                     std::size_t count);
// The group loops cover the rows [0, returned value) of every source, or
// the sources [0, returned value) of every row and target.
int PropagateErrorGroupAvx2(const TBlockView& block, const double* deltaTo, int rows, int stride, double* errFrom);
int AccumulateGradientGroupAvx2(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                                int stride, double* grad);
// The group gradient of the sources [first, nFrom) the loops above leave,
// with the targets in the lanes; covers the targets [0, returned value) of
// those sources.
void GroupToRowsAvx2(const double* group, int n, int rows, int stride, double* rowMajor, int pitch);
void RowsToGroupAvx2(const double* const* rowPtrs, int n, int rows, double* group, int stride);
int AccumulateGradientSourcesLeftAvx2(const TBlockView& block, const double* deltaTo, const double* const* yRows,
                                      int rows, int stride, double* grad, int first);

// The group gradient with AVX-512 (BackwardKernelsAvx512.cpp); only where
// Supported(kAvx512). It covers what its AVX2 version covers.
int AccumulateGradientGroupAvx512(const TBlockView& block, const double* deltaTo, const double* const* yRows,
                                  int rows, int stride, double* grad);

}  // namespace BackwardKernels

#endif  // NETFORGE_TRAINING_BACKWARDKERNELS_H
