// The inner loops of training's backward pass for one connection block.
//
// A block from a source layer (nFrom neurons, outputs y) into a target layer
// (nTo neurons) takes part in the backward pass twice:
//   PropagateError     passes the target neurons' deltas (dE/dnet) back to
//                      the source neurons' output errors (dE/dy) through the
//                      existing connections, frozen ones included;
//   AccumulateGradient adds dE/dw = delta[t] * y[f] for every connection that
//                      exists and is trainable; frozen and pruned cells of
//                      the gradient are never written.
// For gradient descent after every pattern, Descend takes the place of
// AccumulateGradient: it spends the pattern's gradient on the weights at once
// instead of storing it (PropagateError must have read the weights first).
//
// All are plain loops in a fixed order (documented per function), so a
// vectorised version must give exactly the same bits: every output element
// keeps its own running sum and takes its terms in the order given, and no
// multiply-add is fused (the build uses -ffp-contract=off).
//
// The caller owns every array. TBlockView describes a weight-carrying block
// without owning it: rows[t] points at the nFrom weights into target t and,
// for a block with flags, flagRows[t] at their nFrom flag bytes.
#ifndef NETFORGE_TRAINING_BLOCKBACKWARD_H
#define NETFORGE_TRAINING_BLOCKBACKWARD_H

struct TBlockView {
  double* const* rows = nullptr;
  // Null for a block whose connections all exist and are trainable
  // (TConnectedConnections).
  const unsigned char* const* flagRows = nullptr;
  int nFrom = 0;
  int nTo = 0;
};

namespace BlockBackward {

// errFrom[f] += w(f,t) * deltaTo[t] over existing connections, in this order:
//   for t ascending: for f ascending: errFrom[f] = w[t][f] * deltaTo[t] + errFrom[f]
// A missing connection leaves errFrom[f] as it was (it adds nothing, not 0.0).
void PropagateError(const TBlockView& block, const double* deltaTo, double* errFrom);

// grad[t * nFrom + f] += deltaTo[t] * yFrom[f] for connections that exist and
// are trainable (flags FMaskAll), each cell by itself:
//   grad[t*nFrom+f] = deltaTo[t] * yFrom[f] + grad[t*nFrom+f]
void AccumulateGradient(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad);

// The momentum step of one pattern, for connections that exist and are
// trainable, each cell by itself (i = t * nFrom + f):
//   g = deltaTo[t] * yFrom[f] + 0.0   (AccumulateGradient's value in a zeroed cell)
//   UpdateCells::Descend(g, rate, momentum, velocity[i], w[t][f])
// Other cells keep their weight and their velocity.
void Descend(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
             double* velocity);

}  // namespace BlockBackward

#endif  // NETFORGE_TRAINING_BLOCKBACKWARD_H
