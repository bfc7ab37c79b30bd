// The backward loops, written once for every vector unit.
//
// Included only by BackwardKernels.cpp (SSE2) and BackwardKernelsAvx2.cpp
// (AVX2), inside a namespace of their own, after they define NF_BACKWARD (the
// attributes of their functions: the instruction set, always inlined) and a
// vector type with these static members:
//   using Reg;  kLanes;  Load(p);  Store(p, reg);  Broadcast(value);
//   Add(a, b);  Mul(a, b);
//   Select(mask, a, b)        a where the lane's mask is all ones, else b;
//   Flags(bytes, required)    per lane, all ones where the lane's flag byte
//                             holds every bit of |required|.
// The header has no include guard on purpose: each kernel file compiles it
// for its own instruction set.

// Registers of source errors kept for a whole pass over the targets.
constexpr int kErrorRegisters = 4;

// errFrom[f] = w[t][f] * deltaTo[t] + errFrom[f] for the sources of
// |Registers| registers from |f|, targets ascending; with |Masked| only
// where the connection exists.
template <class Vec, int Registers, bool Masked>
NF_BACKWARD void PropagateStretch(const TBlockView& block, const double* deltaTo, double* errFrom, int f) {
  typename Vec::Reg err[Registers];
  for (int k = 0; k < Registers; ++k) err[k] = Vec::Load(errFrom + f + k * Vec::kLanes);
  for (int t = 0; t < block.nTo; ++t) {
    const typename Vec::Reg delta = Vec::Broadcast(deltaTo[t]);
    const double* w = block.rows[t] + f;
    for (int k = 0; k < Registers; ++k) {
      const typename Vec::Reg sum = Vec::Add(Vec::Mul(Vec::Load(w + k * Vec::kLanes), delta), err[k]);
      if constexpr (Masked) {
        err[k] = Vec::Select(Vec::Flags(block.flagRows[t] + f + k * Vec::kLanes, FMaskExists), sum, err[k]);
      } else {
        err[k] = sum;
      }
    }
  }
  for (int k = 0; k < Registers; ++k) Vec::Store(errFrom + f + k * Vec::kLanes, err[k]);
}

template <class Vec, bool Masked>
NF_BACKWARD int PropagateRows(const TBlockView& block, const double* deltaTo, double* errFrom) {
  int f = 0;
  for (; f + kErrorRegisters * Vec::kLanes <= block.nFrom; f += kErrorRegisters * Vec::kLanes) {
    PropagateStretch<Vec, kErrorRegisters, Masked>(block, deltaTo, errFrom, f);
  }
  for (; f + Vec::kLanes <= block.nFrom; f += Vec::kLanes) PropagateStretch<Vec, 1, Masked>(block, deltaTo, errFrom, f);
  return f;
}

// grad[t][f] = deltaTo[t] * yFrom[f] + grad[t][f] for the sources whole
// registers hold; with |Masked| only where the connection exists and is
// trainable.
template <class Vec, bool Masked>
NF_BACKWARD int GradientRows(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  const int end = block.nFrom - block.nFrom % Vec::kLanes;
  for (int t = 0; t < block.nTo; ++t) {
    const typename Vec::Reg delta = Vec::Broadcast(deltaTo[t]);
    double* g = grad + static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom);
    for (int f = 0; f < end; f += Vec::kLanes) {
      const typename Vec::Reg old = Vec::Load(g + f);
      const typename Vec::Reg sum = Vec::Add(Vec::Mul(delta, Vec::Load(yFrom + f)), old);
      if constexpr (Masked) {
        Vec::Store(g + f, Vec::Select(Vec::Flags(block.flagRows[t] + f, FMaskAll), sum, old));
      } else {
        Vec::Store(g + f, sum);
      }
    }
  }
  return end;
}

template <class Vec>
NF_BACKWARD int Propagate(const TBlockView& block, const double* deltaTo, double* errFrom) {
  return block.flagRows == nullptr ? PropagateRows<Vec, false>(block, deltaTo, errFrom)
                                   : PropagateRows<Vec, true>(block, deltaTo, errFrom);
}

template <class Vec>
NF_BACKWARD int Gradient(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  return block.flagRows == nullptr ? GradientRows<Vec, false>(block, deltaTo, yFrom, grad)
                                   : GradientRows<Vec, true>(block, deltaTo, yFrom, grad);
}
