// The inner loops of recall: the net input that one connection block adds to
// the neurons of its target layer.
//
// Both kernels compute, for every target t,
//     sum = 0.0; for f ascending: sum = w[t][f] * x[f] + sum;   net[t] += sum
// and give exactly the bits of that plain loop, for every input including
// -0.0, infinities and NaN: each target keeps its own running sum and takes
// its sources in ascending order; only independent targets are computed side
// by side. The masked kernel skips a connection whose flag byte lacks
// FMaskExists by keeping the running sum as it was (a select, never an
// addition of zero, which would turn -0.0 into +0.0 and infinity times zero
// into NaN).
//
// Internal to the connection blocks' implementation files. The caller owns
// every array; |rows[t]| points at nFrom weights (and |flagRows[t]| at nFrom
// flag bytes) for t in [0, nTo), |x| at nFrom values, |net| at nTo values.
//
// The batch kernels do the same for a group of |batch| input rows at once,
// each weight loaded once for the whole group: the group's values lie
// neuron-major, |stride| apart, x[f * stride + r] being source f of row r
// and net[t * stride + r] the net input of target t for row r (r < batch <=
// stride). Row r gets exactly the bits the one-row kernels give it.
#ifndef NETFORGE_NEURALNETS_NETINPUTKERNELS_H
#define NETFORGE_NEURALNETS_NETINPUTKERNELS_H

#include "Common/SimdIsa.h"

namespace NetInputKernels {

// The implementations, by the vector unit they use (Common/SimdIsa.h). kSse2
// is the x86-64 baseline; kAvx2 and kAvx512 are chosen at run time on
// processors that have them, so one binary runs on every x86-64 and still
// uses the wider unit where it can. kAvx512 has batch kernels of its own and
// otherwise runs the AVX2 kernels.
using Isa = Netforge::SimdIsa;

// Whether this build and this processor can run |isa|.
bool Supported(Isa isa);
// The fastest supported implementation: the one the functions below use.
Isa Best();

// Every connection present.
void AccumulateDense(const double* const* rows, const double* x, int nFrom, int nTo, double* net);

// Only the connections whose flag byte holds FMaskExists.
void AccumulateMasked(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                      int nFrom, int nTo, double* net);

// The same with a given implementation, which must be Supported; for the
// tests, which hold every implementation to the plain loops, and benchmarks.
void AccumulateDense(Isa isa, const double* const* rows, const double* x, int nFrom, int nTo, double* net);
void AccumulateMasked(Isa isa, const double* const* rows, const unsigned char* const* flagRows, const double* x,
                      int nFrom, int nTo, double* net);

// The plain loops above, one target at a time: the reference the fast
// kernels must equal bit for bit, and what runs where no vector unit is known.
void AccumulateDenseReference(const double* const* rows, const double* x, int nFrom, int nTo, double* net);
void AccumulateMaskedReference(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                               int nFrom, int nTo, double* net);

// Batch kernels: for every row r < batch, what AccumulateDense and
// AccumulateMasked do for x[. * stride + r] and net[. * stride + r].
void AccumulateDenseBatch(const double* const* rows, const double* x, int nFrom, int nTo, int batch, int stride,
                          double* net);
void AccumulateMaskedBatch(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                           int nFrom, int nTo, int batch, int stride, double* net);
void AccumulateDenseBatch(Isa isa, const double* const* rows, const double* x, int nFrom, int nTo, int batch,
                          int stride, double* net);
void AccumulateMaskedBatch(Isa isa, const double* const* rows, const unsigned char* const* flagRows,
                           const double* x, int nFrom, int nTo, int batch, int stride, double* net);

// The AVX2 kernels (NetInputKernelsAvx2.cpp), only to be called where
// Supported(Isa::kAvx2), and the AVX-512 ones (NetInputKernelsAvx512.cpp),
// only where Supported(Isa::kAvx512).
void AccumulateDenseAvx2(const double* const* rows, const double* x, int nFrom, int nTo, double* net);
void AccumulateMaskedAvx2(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                          int nFrom, int nTo, double* net);
// The batch kernels of one instruction set compute the rows [0, returned
// value), a multiple of the rows one register holds; the caller computes the
// rest with the one-row kernels. |flagRows| is null for the dense kernels.
int AccumulateBatchSse2(const double* const* rows, const unsigned char* const* flagRows, const double* x, int nFrom,
                        int nTo, int batch, int stride, double* net);
int AccumulateBatchAvx2(const double* const* rows, const unsigned char* const* flagRows, const double* x, int nFrom,
                        int nTo, int batch, int stride, double* net);
int AccumulateBatchAvx512(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                          int nFrom, int nTo, int batch, int stride, double* net);

}  // namespace NetInputKernels

#endif  // NETFORGE_NEURALNETS_NETINPUTKERNELS_H
