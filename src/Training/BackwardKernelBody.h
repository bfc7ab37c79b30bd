// The backward loops, written once for every vector unit.
//
// Included only by BackwardKernels.cpp (SSE2), BackwardKernelsAvx2.cpp
// (AVX2) and BackwardKernelsAvx512.cpp (AVX-512, the group gradient only),
// inside a namespace of their own, after they define NF_BACKWARD (the
// attributes of their functions: the instruction set, always inlined) and a
// vector type with these static members:
//   using Reg;  kLanes;  Load(p);  Store(p, reg);  Broadcast(value);
//   Add(a, b);  Sub(a, b);  Mul(a, b);  Div(a, b);  Sqrt(a);
//   Select(mask, a, b)        a where the lane's mask is set, else b;
//   Flags(bytes, required)    per lane, a mask set where the lane's flag byte
//                             holds every bit of |required| (all ones in a
//                             register, or a bit of a mask register);
//   FlagMask(byte, required)  the same for one byte, in every lane.
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

// One cell of BlockBackward::Descend; with |Masked| only where the
// connection exists and is trainable.
template <bool Masked>
NF_BACKWARD void DescendCell(const unsigned char* flags, int f, double delta, double y, double rate, double momentum,
                             double& v, double& w) {
  if constexpr (Masked) {
    if ((flags[f] & FMaskAll) != FMaskAll) return;
  }
  UpdateCells::Descend(delta * y + 0.0, rate, momentum, v, w);
}

// BlockBackward::Descend for every source (returns nFrom). Each row takes
// single cells up to its first weight on a register boundary, then whole
// registers, then single cells again: the weights' stores are aligned, which
// made the loop about a sixth faster on rows of 125 weights (memory bound:
// weights and velocities do not fit the first-level cache). With |Masked|, a register's cells whose connection is missing or
// frozen store their old weight and velocity back.
template <class Vec, bool Masked>
NF_BACKWARD int DescendRows(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate,
                            double momentum, double* velocity) {
  constexpr std::uintptr_t kAlign = Vec::kLanes * sizeof(double);
  // Copies of what the loops read: the stores may alias anything.
  const int nFrom = block.nFrom;
  const typename Vec::Reg zero = Vec::Broadcast(0.0);
  const typename Vec::Reg step = Vec::Broadcast(rate);
  const typename Vec::Reg keep = Vec::Broadcast(momentum);
  for (int t = 0; t < block.nTo; ++t) {
    const double d = deltaTo[t];
    const typename Vec::Reg delta = Vec::Broadcast(d);
    double* w = block.rows[t];
    double* v = velocity + static_cast<std::size_t>(t) * static_cast<std::size_t>(nFrom);
    const unsigned char* flags = Masked ? block.flagRows[t] : nullptr;
    const std::uintptr_t misalignment = reinterpret_cast<std::uintptr_t>(w) % kAlign;
    const int lead = std::min(nFrom, static_cast<int>((kAlign - misalignment) % kAlign / sizeof(double)));
    int f = 0;
    for (; f < lead; ++f) DescendCell<Masked>(flags, f, d, yFrom[f], rate, momentum, v[f], w[f]);
    for (; f + Vec::kLanes <= nFrom; f += Vec::kLanes) {
      const typename Vec::Reg g = Vec::Add(Vec::Mul(delta, Vec::Load(yFrom + f)), zero);
      const typename Vec::Reg oldV = Vec::Load(v + f);
      const typename Vec::Reg oldW = Vec::Load(w + f);
      const typename Vec::Reg newV = Vec::Sub(Vec::Mul(keep, oldV), Vec::Mul(step, g));
      const typename Vec::Reg newW = Vec::Add(oldW, newV);
      if constexpr (Masked) {
        const typename Vec::Reg trainable = Vec::Flags(flags + f, FMaskAll);
        Vec::Store(v + f, Vec::Select(trainable, newV, oldV));
        Vec::Store(w + f, Vec::Select(trainable, newW, oldW));
      } else {
        Vec::Store(v + f, newV);
        Vec::Store(w + f, newW);
      }
    }
    for (; f < nFrom; ++f) DescendCell<Masked>(flags, f, d, yFrom[f], rate, momentum, v[f], w[f]);
  }
  return nFrom;
}

template <class Vec>
NF_BACKWARD int DescendVectors(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate,
                               double momentum, double* velocity) {
  return block.flagRows == nullptr ? DescendRows<Vec, false>(block, deltaTo, yFrom, rate, momentum, velocity)
                                   : DescendRows<Vec, true>(block, deltaTo, yFrom, rate, momentum, velocity);
}

// UpdateCells::Adam for the parameters whole registers hold; returns how
// many that is.
template <class Vec>
NF_BACKWARD std::size_t AdamVectors(const UpdateCells::TAdamStep& s, double* w, const double* gradient, double* m,
                                    double* v, std::size_t count) {
  const typename Vec::Reg rows = Vec::Broadcast(s.rows);
  const typename Vec::Reg beta1 = Vec::Broadcast(s.beta1), keep1 = Vec::Broadcast(s.keep1);
  const typename Vec::Reg beta2 = Vec::Broadcast(s.beta2), keep2 = Vec::Broadcast(s.keep2);
  const typename Vec::Reg correction1 = Vec::Broadcast(s.correction1), correction2 = Vec::Broadcast(s.correction2);
  const typename Vec::Reg rate = Vec::Broadcast(s.rate), epsilon = Vec::Broadcast(s.epsilon);
  const std::size_t end = count - count % Vec::kLanes;
  for (std::size_t i = 0; i < end; i += Vec::kLanes) {
    const typename Vec::Reg g = Vec::Div(Vec::Load(gradient + i), rows);
    const typename Vec::Reg newM = Vec::Add(Vec::Mul(beta1, Vec::Load(m + i)), Vec::Mul(keep1, g));
    const typename Vec::Reg newV = Vec::Add(Vec::Mul(beta2, Vec::Load(v + i)), Vec::Mul(keep2, Vec::Mul(g, g)));
    const typename Vec::Reg mHat = Vec::Div(newM, correction1);
    const typename Vec::Reg vHat = Vec::Div(newV, correction2);
    const typename Vec::Reg move = Vec::Div(Vec::Mul(rate, mHat), Vec::Add(Vec::Sqrt(vHat), epsilon));
    Vec::Store(m + i, newM);
    Vec::Store(v + i, newV);
    Vec::Store(w + i, Vec::Sub(Vec::Load(w + i), move));
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

// ---- Groups of rows ----
//
// The group's values lie neuron-major as in batch recall: deltaTo[t * stride
// + r] is target t's delta for row r, errFrom[f * stride + r] source f's
// error; yRows[r][f] is source f's output for row r.

// Whether the F flag bytes at |flags| all hold FMaskExists.
template <int F>
inline bool AllExist(const unsigned char* flags) {
  if constexpr (F == 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, flags, sizeof bytes);
    return (bytes & (0x0101010101010101ULL * FMaskExists)) == 0x0101010101010101ULL * FMaskExists;
  } else {
    for (int i = 0; i < F; ++i) {
      if (!(flags[i] & FMaskExists)) return false;
    }
    return true;
  }
}

// The targets of one stretch of PropagateGroupRows span this many bytes of
// the group's deltas (64 targets of a group of 32 rows, and at least eight
// targets): they stay in the first-level cache, beside the stretch's weights
// of four sources (2 KiB), while every tile of rows passes them.
constexpr int kPropagateDeltaBytes = 16384;

// Sources [f, f + F) of the rows [r, r + V * kLanes) for the targets [t0,
// t1): for every row the targets ascending, as PropagateError takes them row
// by row. |panel| holds the weights w[t][f + i] at (t - t0) * F + i.
template <class Vec, int F, int V, bool Masked>
NF_BACKWARD void PropagateGroupTile(const double* panel, const unsigned char* flagPanel, const double* deltaTo,
                                    int stride, double* errFrom, int t0, int t1, int f, int r) {
  const std::size_t step = static_cast<std::size_t>(stride);
  typename Vec::Reg err[F][V];
  for (int i = 0; i < F; ++i) {
    for (int v = 0; v < V; ++v) err[i][v] = Vec::Load(errFrom + (f + i) * step + r + v * Vec::kLanes);
  }
  for (int t = t0; t < t1; ++t) {
    typename Vec::Reg delta[V];
    for (int v = 0; v < V; ++v) delta[v] = Vec::Load(deltaTo + t * step + r + v * Vec::kLanes);
    const double* w = panel + static_cast<std::size_t>(t - t0) * F;
    const unsigned char* flags = Masked ? flagPanel + static_cast<std::size_t>(t - t0) * F : nullptr;
    // Masks only where one of the F connections into target t is missing.
    if (!Masked || AllExist<F>(flags)) {
      for (int i = 0; i < F; ++i) {
        const typename Vec::Reg weight = Vec::Broadcast(w[i]);
        for (int v = 0; v < V; ++v) err[i][v] = Vec::Add(Vec::Mul(weight, delta[v]), err[i][v]);
      }
      continue;
    }
    for (int i = 0; i < F; ++i) {
      const typename Vec::Reg weight = Vec::Broadcast(w[i]);
      const auto mask = Vec::FlagMask(flags[i], FMaskExists);
      for (int v = 0; v < V; ++v) {
        err[i][v] = Vec::Select(mask, Vec::Add(Vec::Mul(weight, delta[v]), err[i][v]), err[i][v]);
      }
    }
  }
  for (int i = 0; i < F; ++i) {
    for (int v = 0; v < V; ++v) Vec::Store(errFrom + (f + i) * step + r + v * Vec::kLanes, err[i][v]);
  }
}

// The weights (and flags) of the targets [t0, t1), transposed into panels
// of F sources and then single sources: the panel of the sources from f0
// starts at f0 * (t1 - t0) and holds w[t][f0 + i] at (t - t0) * F + i. The
// weight rows are read one after the other; the tiles then read each panel
// in one stream, where the rows of a block of 512 sources lie 4 KiB apart
// and compete for the same sets of the first-level cache.
template <int F>
inline void PackTargets(const TBlockView& block, int t0, int t1, double* panel, unsigned char* flagPanel) {
  const std::size_t n = static_cast<std::size_t>(t1 - t0);
  const int wide = block.nFrom - block.nFrom % F;
  for (int t = t0; t < t1; ++t) {
    const std::size_t at = static_cast<std::size_t>(t - t0);
    const double* row = block.rows[t];
    for (int f = 0; f < wide; f += F) std::memcpy(panel + f * n + at * F, row + f, F * sizeof(double));
    for (int f = wide; f < block.nFrom; ++f) panel[f * n + at] = row[f];
    if (block.flagRows == nullptr) continue;
    const unsigned char* flags = block.flagRows[t];
    for (int f = 0; f < wide; f += F) std::memcpy(flagPanel + f * n + at * F, flags + f, F);
    for (int f = wide; f < block.nFrom; ++f) flagPanel[f * n + at] = flags[f];
  }
}

// Sources [f, f + F) of the targets [t0, t1) for every register of rows.
template <class Vec, int F, bool Masked>
NF_BACKWARD void PropagateGroupColumns(const double* panel, const unsigned char* flagPanel, const double* deltaTo,
                                       int covered, int stride, double* errFrom, int t0, int t1, int f) {
  const std::size_t at = static_cast<std::size_t>(f) * static_cast<std::size_t>(t1 - t0);
  int r = 0;
  for (; r + 2 * Vec::kLanes <= covered; r += 2 * Vec::kLanes) {
    PropagateGroupTile<Vec, F, 2, Masked>(panel + at, Masked ? flagPanel + at : nullptr, deltaTo, stride, errFrom,
                                          t0, t1, f, r);
  }
  for (; r < covered; r += Vec::kLanes) {
    PropagateGroupTile<Vec, F, 1, Masked>(panel + at, Masked ? flagPanel + at : nullptr, deltaTo, stride, errFrom,
                                          t0, t1, f, r);
  }
}

// Stretches of targets, ascending, each transposed into panels; then tiles
// of four sources times two registers of rows (then one register, then
// single sources) add the stretch's products to the errors, which wait in
// errFrom from one stretch to the next, so every sum keeps the targets'
// order. Against tiles of eight sources times one register over all
// targets, each tile loads six values for eight products instead of nine,
// and the stretch's deltas stay in the first-level cache: the kernel took
// about a sixth less time in gene training (120-512-512-3). Returns the
// rows covered (a multiple of kLanes), every source of them.
template <class Vec, bool Masked>
NF_BACKWARD int PropagateGroupRows(const TBlockView& block, const double* deltaTo, int rows, int stride,
                                   double* errFrom) {
  constexpr int kF = 4;
  const int covered = rows - rows % Vec::kLanes;
  if (covered == 0) return 0;
  // Kept from call to call (one per thread), so that a group allocates nothing.
  thread_local std::vector<double> panel;
  thread_local std::vector<unsigned char> flagPanel;
  const int stretch = std::max(8, kPropagateDeltaBytes / (stride * static_cast<int>(sizeof(double))));
  const std::size_t size = static_cast<std::size_t>(block.nFrom) * static_cast<std::size_t>(stretch);
  if (panel.size() < size) panel.resize(size);
  if (Masked && flagPanel.size() < size) flagPanel.resize(size);
  for (int t0 = 0; t0 < block.nTo; t0 += stretch) {
    const int t1 = t0 + stretch < block.nTo ? t0 + stretch : block.nTo;
    PackTargets<kF>(block, t0, t1, panel.data(), flagPanel.data());
    int f = 0;
    for (; f + kF <= block.nFrom; f += kF) {
      PropagateGroupColumns<Vec, kF, Masked>(panel.data(), flagPanel.data(), deltaTo, covered, stride, errFrom, t0,
                                             t1, f);
    }
    for (; f < block.nFrom; ++f) {
      PropagateGroupColumns<Vec, 1, Masked>(panel.data(), flagPanel.data(), deltaTo, covered, stride, errFrom, t0,
                                            t1, f);
    }
  }
  return covered;
}

// Sources [f, f + K * kLanes) of the targets [t, t + T): each cell's sum is
// kept in a register over the rows, ascending, and, with |Masked|, stored
// only where the connection exists and is trainable (elsewhere the old value
// is stored back). Each register of outputs serves the T targets.
template <class Vec, int T, int K, bool Masked>
NF_BACKWARD void GradientTile(const TBlockView& block, const double* deltaTo, std::size_t stride,
                              const double* const* yRows, int rows, int t, int f, double* grad) {
  const std::size_t nFrom = static_cast<std::size_t>(block.nFrom);
  typename Vec::Reg sum[T][K];
  for (int i = 0; i < T; ++i) {
    const double* g = grad + static_cast<std::size_t>(t + i) * nFrom + static_cast<std::size_t>(f);
    for (int k = 0; k < K; ++k) sum[i][k] = Vec::Load(g + k * Vec::kLanes);
  }
  for (int r = 0; r < rows; ++r) {
    const double* y = yRows[r] + f;
    typename Vec::Reg ys[K];
    for (int k = 0; k < K; ++k) ys[k] = Vec::Load(y + k * Vec::kLanes);
    for (int i = 0; i < T; ++i) {
      const std::size_t at = static_cast<std::size_t>(t + i) * stride + static_cast<std::size_t>(r);
      const typename Vec::Reg d = Vec::Broadcast(deltaTo[at]);
      for (int k = 0; k < K; ++k) sum[i][k] = Vec::Add(Vec::Mul(d, ys[k]), sum[i][k]);
    }
  }
  for (int i = 0; i < T; ++i) {
    double* g = grad + static_cast<std::size_t>(t + i) * nFrom + static_cast<std::size_t>(f);
    for (int k = 0; k < K; ++k) {
      if constexpr (Masked) {
        const typename Vec::Reg old = Vec::Load(g + k * Vec::kLanes);
        sum[i][k] = Vec::Select(Vec::Flags(block.flagRows[t + i] + f + k * Vec::kLanes, FMaskAll), sum[i][k], old);
      }
      Vec::Store(g + k * Vec::kLanes, sum[i][k]);
    }
  }
}

// The targets [t0, t1) for the sources [f, f + K * kLanes): tiles of T
// targets, then single targets.
template <class Vec, int T, int K, bool Masked>
NF_BACKWARD void GradientColumns(const TBlockView& block, const double* deltaTo, std::size_t stride,
                                 const double* const* yRows, int rows, int t0, int t1, int f, double* grad) {
  int t = t0;
  for (; t + T <= t1; t += T) GradientTile<Vec, T, K, Masked>(block, deltaTo, stride, yRows, rows, t, f, grad);
  for (; t < t1; ++t) GradientTile<Vec, 1, K, Masked>(block, deltaTo, stride, yRows, rows, t, f, grad);
}

// The last |registers| (< KMax) registers of sources, in one tile too. In
// the sweep over all targets (|Wide|), its tiles take more targets where
// they take fewer registers, so that about eight sums stay in flight: a
// layer of 21 inputs has one register left, whose tiles of two targets
// waited on their two chains of additions.
template <class Vec, int T, int KMax, bool Masked, bool Wide, int K = KMax - 1>
NF_BACKWARD void GradientRestColumns(const TBlockView& block, const double* deltaTo, std::size_t stride,
                                     const double* const* yRows, int rows, int t0, int t1, int f, int registers,
                                     double* grad) {
  if constexpr (K > 0) {
    constexpr int kTargets = Wide && 8 / K > T ? 8 / K : T;
    if (registers == K) {
      GradientColumns<Vec, kTargets, K, Masked>(block, deltaTo, stride, yRows, rows, t0, t1, f, grad);
    } else {
      GradientRestColumns<Vec, T, KMax, Masked, Wide, K - 1>(block, deltaTo, stride, yRows, rows, t0, t1, f,
                                                              registers, grad);
    }
  }
}

// The targets [t0, t1) for the sources [0, end) (whole registers) in tiles
// of T targets times K registers of cells: the stretches of K registers of
// sources are the outer loop, so that the group's outputs of a stretch stay
// in the first-level cache while the targets pass.
template <class Vec, int T, int K, bool Masked, bool Wide>
NF_BACKWARD void GradientTargets(const TBlockView& block, const double* deltaTo, std::size_t stride,
                                 const double* const* yRows, int rows, int t0, int t1, int end, double* grad) {
  int f = 0;
  for (; f + K * Vec::kLanes <= end; f += K * Vec::kLanes) {
    GradientColumns<Vec, T, K, Masked>(block, deltaTo, stride, yRows, rows, t0, t1, f, grad);
  }
  GradientRestColumns<Vec, T, K, Masked, Wide>(block, deltaTo, stride, yRows, rows, t0, t1, f,
                                               (end - f) / Vec::kLanes, grad);
}

// Blocks of more gradient cells than this (256 KiB, a quarter of a common
// second-level cache, which the gradient shares with the group's values and
// the weights) come from the outer caches or memory at every group. They
// are swept four targets after the other, in tiles of four targets times
// two registers of cells, so that the gradient is read and written in four
// sequential streams, which the processor prefetches, and each register of
// outputs serves four targets. Sweeping all targets for each stretch of
// sources instead reads two cache lines of every row, a row apart, and
// measured two to three times as slow for 512 x 512 blocks whose gradient
// had left the caches.
//
// Smaller blocks sweep all targets for each stretch in tiles of two targets
// times four registers: their outputs of a stretch stay in the first-level
// cache, and a layer of two or three targets still keeps eight sums in
// flight (each cell's sum is one chain of additions, so enough of them must
// be in flight to hide their latency).
constexpr std::size_t kStreamedGradientCells = 32768;

// grad[t][f] = deltaTo[t][r] * y[r][f] + grad[t][f] for the rows ascending,
// for the sources whole registers hold; returns the sources covered.
template <class Vec, bool Masked>
NF_BACKWARD int GradientGroupRows(const TBlockView& block, const double* deltaTo, const double* const* yRows,
                                  int rows, int stride, double* grad) {
  const std::size_t step = static_cast<std::size_t>(stride);
  const int end = block.nFrom - block.nFrom % Vec::kLanes;
  if (static_cast<std::size_t>(block.nFrom) * static_cast<std::size_t>(block.nTo) <= kStreamedGradientCells) {
    GradientTargets<Vec, 2, 4, Masked, true>(block, deltaTo, step, yRows, rows, 0, block.nTo, end, grad);
    return end;
  }
  constexpr int kTargets = 4;
  for (int t = 0; t < block.nTo; t += kTargets) {
    const int t1 = t + kTargets < block.nTo ? t + kTargets : block.nTo;
    GradientTargets<Vec, kTargets, 2, Masked, false>(block, deltaTo, step, yRows, rows, t, t1, end, grad);
  }
  return end;
}

template <class Vec>
NF_BACKWARD int PropagateGroup(const TBlockView& block, const double* deltaTo, int rows, int stride, double* errFrom) {
  return block.flagRows == nullptr ? PropagateGroupRows<Vec, false>(block, deltaTo, rows, stride, errFrom)
                                   : PropagateGroupRows<Vec, true>(block, deltaTo, rows, stride, errFrom);
}

template <class Vec>
NF_BACKWARD int GradientGroup(const TBlockView& block, const double* deltaTo, const double* const* yRows, int rows,
                              int stride, double* grad) {
  return block.flagRows == nullptr ? GradientGroupRows<Vec, false>(block, deltaTo, yRows, rows, stride, grad)
                                   : GradientGroupRows<Vec, true>(block, deltaTo, yRows, rows, stride, grad);
}

// ---- Sources left over from the registers ----
//
// The sources the loops above leave (a bias block's single source, the last
// of an odd width) are summed with the targets in the lanes instead: a
// register holds the cells of kLanes targets for one source, each still
// taking its rows ascending. The deltas lie neuron-major, a target's rows
// side by side, so each kLanes x kLanes square of them (kLanes targets times
// kLanes rows) is loaded a target per register and transposed in registers
// (Vec::Transpose) into a row per register. Added to the members listed at
// the top: Transpose(regs), regs[i][j] becomes regs[j][i].

// Source f of the targets [t, t + V * kLanes): each cell's sum over the
// rows ascending, stored only where the connection exists and is trainable.
template <class Vec, int V, bool Masked>
NF_BACKWARD void GradientSourceTargets(const TBlockView& block, const double* deltaTo, std::size_t stride,
                                       const double* const* yRows, int rows, int t, int f, double* grad) {
  constexpr int L = Vec::kLanes;
  const std::size_t nFrom = static_cast<std::size_t>(block.nFrom);
  double cells[V * L];
  for (int i = 0; i < V * L; ++i) cells[i] = grad[static_cast<std::size_t>(t + i) * nFrom + static_cast<std::size_t>(f)];
  typename Vec::Reg sum[V];
  for (int v = 0; v < V; ++v) sum[v] = Vec::Load(cells + v * L);
  int r = 0;
  for (; r + L <= rows; r += L) {
    for (int v = 0; v < V; ++v) {
      typename Vec::Reg d[L];
      for (int i = 0; i < L; ++i) {
        d[i] = Vec::Load(deltaTo + static_cast<std::size_t>(t + v * L + i) * stride + static_cast<std::size_t>(r));
      }
      Vec::Transpose(d);
      for (int j = 0; j < L; ++j) sum[v] = Vec::Add(Vec::Mul(d[j], Vec::Broadcast(yRows[r + j][f])), sum[v]);
    }
  }
  for (; r < rows; ++r) {
    double d[V * L];
    for (int i = 0; i < V * L; ++i) d[i] = deltaTo[static_cast<std::size_t>(t + i) * stride + static_cast<std::size_t>(r)];
    const typename Vec::Reg y = Vec::Broadcast(yRows[r][f]);
    for (int v = 0; v < V; ++v) sum[v] = Vec::Add(Vec::Mul(Vec::Load(d + v * L), y), sum[v]);
  }
  for (int v = 0; v < V; ++v) Vec::Store(cells + v * L, sum[v]);
  for (int i = 0; i < V * L; ++i) {
    if (Masked && (block.flagRows[t + i][f] & FMaskAll) != FMaskAll) continue;
    grad[static_cast<std::size_t>(t + i) * nFrom + static_cast<std::size_t>(f)] = cells[i];
  }
}

// The sources [first, nFrom) of the targets whole registers hold, two
// registers of targets at a time (two sums in flight), then one; returns
// the targets covered.
template <class Vec, bool Masked>
NF_BACKWARD int GradientSourcesLeft(const TBlockView& block, const double* deltaTo, const double* const* yRows,
                                    int rows, int stride, double* grad, int first) {
  const std::size_t step = static_cast<std::size_t>(stride);
  const int covered = block.nTo - block.nTo % Vec::kLanes;
  for (int f = first; f < block.nFrom; ++f) {
    int t = 0;
    for (; t + 2 * Vec::kLanes <= covered; t += 2 * Vec::kLanes) {
      GradientSourceTargets<Vec, 2, Masked>(block, deltaTo, step, yRows, rows, t, f, grad);
    }
    for (; t < covered; t += Vec::kLanes) {
      GradientSourceTargets<Vec, 1, Masked>(block, deltaTo, step, yRows, rows, t, f, grad);
    }
  }
  return covered;
}

template <class Vec>
NF_BACKWARD int GradientSourcesLeftOver(const TBlockView& block, const double* deltaTo, const double* const* yRows,
                                        int rows, int stride, double* grad, int first) {
  return block.flagRows == nullptr ? GradientSourcesLeft<Vec, false>(block, deltaTo, yRows, rows, stride, grad, first)
                                   : GradientSourcesLeft<Vec, true>(block, deltaTo, yRows, rows, stride, grad, first);
}

// rowMajor[r * pitch + f] = group[f * stride + r] for the neurons [0, n)
// and rows [0, rows): squares of kLanes x kLanes transposed in registers,
// the neurons and rows left over one by one.
template <class Vec>
NF_BACKWARD void GroupToRows(const double* group, int n, int rows, std::size_t stride, double* rowMajor,
                                std::size_t pitch) {
  constexpr int L = Vec::kLanes;
  const int wide = n - n % L;
  const int tall = rows - rows % L;
  for (int f = 0; f < wide; f += L) {
    for (int r = 0; r < tall; r += L) {
      typename Vec::Reg square[L];
      for (int i = 0; i < L; ++i) square[i] = Vec::Load(group + static_cast<std::size_t>(f + i) * stride + r);
      Vec::Transpose(square);
      for (int j = 0; j < L; ++j) Vec::Store(rowMajor + static_cast<std::size_t>(r + j) * pitch + f, square[j]);
    }
  }
  for (int f = 0; f < n; ++f) {
    for (int r = f < wide ? tall : 0; r < rows; ++r) {
      rowMajor[static_cast<std::size_t>(r) * pitch + f] = group[static_cast<std::size_t>(f) * stride + r];
    }
  }
}

// group[f * stride + r] = rowPtrs[r][f] for the neurons [0, n) and rows
// [0, rows): GroupToRows the other way round.
template <class Vec>
NF_BACKWARD void RowsToGroup(const double* const* rowPtrs, int n, int rows, double* group, std::size_t stride) {
  constexpr int L = Vec::kLanes;
  const int wide = n - n % L;
  const int tall = rows - rows % L;
  for (int f = 0; f < wide; f += L) {
    for (int r = 0; r < tall; r += L) {
      typename Vec::Reg square[L];
      for (int j = 0; j < L; ++j) square[j] = Vec::Load(rowPtrs[r + j] + f);
      Vec::Transpose(square);
      for (int i = 0; i < L; ++i) Vec::Store(group + static_cast<std::size_t>(f + i) * stride + r, square[i]);
    }
  }
  for (int f = 0; f < n; ++f) {
    for (int r = f < wide ? tall : 0; r < rows; ++r) group[static_cast<std::size_t>(f) * stride + r] = rowPtrs[r][f];
  }
}
