// The batch net-input kernel, written once for every vector unit.
//
// How it stays exact: the rows of a group lie side by side in the lanes of a
// register (a source's values for consecutive rows are adjacent), so one
// weight, broadcast to every lane, is multiplied by the values of several
// rows at once. Each lane is one (target, row) pair with its own running sum,
// computed as the plain loop computes it: from 0.0, sources ascending,
// sum = w * x + sum, then net += sum. No lane ever mixes with another, so
// nothing is reassociated, whatever the width of the register.
//
// A tile of T targets times V registers of rows keeps T * V sums in
// registers; per source it loads V registers of values and T weights, each
// of which serves V * kLanes rows. The values are read where they lie, one
// source |stride| values after the other: a step reads whole cache lines
// (V * kLanes rows of one source), and copying them into a stream of their
// own per call cost more than it saved. A missing
// connection's product is replaced by +0.0 before it is added, which leaves
// each sum as it was (the argument is at the top of NetInputKernels.cpp);
// stretches of sources in which every connection of the tile exists skip the
// masks.
//
// Included only by the kernel files, inside a namespace of their own, after
// they define NF_BATCH (the attributes of their functions: the instruction
// set, always inlined) and a vector type with these static members:
//   using Reg;  kLanes;  kPanels (registers of rows per tile, V);
//   kMaxPanels (the most a narrower tile takes);  kTargets (targets per
//   tile, T);  Zero();  Load(p);  Store(p, reg);  Broadcast(value);
//   Add(a, b);  Mul(a, b);  And(a, b);  Mask(flagByte) (all ones where the
//   byte holds FMaskExists, all zeros elsewhere).
// The header has no include guard on purpose: each kernel file compiles it
// for its own instruction set.

// Sources per stretch checked at once for missing connections.
constexpr int kBatchStretch = 32;

// Whether every connection of the T rows from the sources [f, f + 32) exists.
template <int T>
inline bool BatchStretchComplete(const unsigned char* const* flagRows, int f) {
  constexpr std::uint64_t kExistsBits = 0x0101010101010101ULL * FMaskExists;
  std::uint64_t all = ~std::uint64_t{0};
  for (int t = 0; t < T; ++t) {
    for (int k = 0; k < kBatchStretch; k += 8) {
      std::uint64_t bytes;
      std::memcpy(&bytes, flagRows[t] + f + k, sizeof bytes);
      all &= bytes;
    }
  }
  return (all & kExistsBits) == kExistsBits;
}

// Whether every connection of the T rows from all nFrom sources exists.
template <int T>
inline bool BatchTargetsComplete(const unsigned char* const* flagRows, int nFrom) {
  int f = 0;
  for (; f + kBatchStretch <= nFrom; f += kBatchStretch) {
    if (!BatchStretchComplete<T>(flagRows, f)) return false;
  }
  for (; f < nFrom; ++f) {
    for (int t = 0; t < T; ++t) {
      if (!(flagRows[t][f] & FMaskExists)) return false;
    }
  }
  return true;
}

// Source f for every sum of the tile. |x| points at the tile's first row
// of source 0; source f lies f * |stride| values further on.
template <class Vec, int T, int V, bool Masked>
NF_BATCH void BatchStep(typename Vec::Reg (&sums)[T][V], const double* const* w, const unsigned char* const* m,
                        const double* x, std::size_t stride, int f) {
  typename Vec::Reg xs[V];
  for (int v = 0; v < V; ++v) xs[v] = Vec::Load(x + v * Vec::kLanes + static_cast<std::size_t>(f) * stride);
  for (int t = 0; t < T; ++t) {
    const typename Vec::Reg weight = Vec::Broadcast(w[t][f]);
    for (int v = 0; v < V; ++v) {
      typename Vec::Reg product = Vec::Mul(weight, xs[v]);
      if constexpr (Masked) product = Vec::And(product, Vec::Mask(m[t][f]));
      sums[t][v] = Vec::Add(sums[t][v], product);
    }
  }
}

// Targets [0, T) of the weight rows |w| (flag rows |m|) for the V registers
// of rows at |x|, whose net inputs start at |net|.
template <class Vec, int T, int V, bool Masked>
NF_BATCH void BatchTile(const double* const* w, const unsigned char* const* m, const double* x, int nFrom, int stride,
                        double* net) {
  const std::size_t step = static_cast<std::size_t>(stride);
  typename Vec::Reg sums[T][V];
  for (int t = 0; t < T; ++t) {
    for (int v = 0; v < V; ++v) sums[t][v] = Vec::Zero();
  }
  int f = 0;
  if constexpr (Masked) {
    for (; f + kBatchStretch <= nFrom; f += kBatchStretch) {
      if (BatchStretchComplete<T>(m, f)) {
        for (int k = f; k < f + kBatchStretch; ++k) BatchStep<Vec, T, V, false>(sums, w, m, x, step, k);
      } else {
        for (int k = f; k < f + kBatchStretch; ++k) BatchStep<Vec, T, V, true>(sums, w, m, x, step, k);
      }
    }
  }
  for (; f < nFrom; ++f) BatchStep<Vec, T, V, Masked>(sums, w, m, x, step, f);
  // net += sum, lane by lane, as the plain loop ends.
  for (int t = 0; t < T; ++t) {
    for (int v = 0; v < V; ++v) {
      double* at = net + t * step + v * Vec::kLanes;
      Vec::Store(at, Vec::Add(Vec::Load(at), sums[t][v]));
    }
  }
}

// Registers of rows in a tile of T targets: kPanels for a full tile, more
// for a narrower one (up to kMaxPanels), so that it keeps about as many sums
// in flight.
template <class Vec, int T>
constexpr int BatchPanels() {
  const int panels = Vec::kPanels * Vec::kTargets / T;
  return panels < Vec::kPanels ? Vec::kPanels : panels > Vec::kMaxPanels ? Vec::kMaxPanels : panels;
}

// Targets [0, T) for every row: tiles of BatchPanels registers of rows, then
// of one; |batch| a multiple of kLanes. Targets whose connections all exist
// (the usual case) are checked once here and then run without the masks.
template <class Vec, int T, bool Masked>
NF_BATCH void BatchTargets(const double* const* w, const unsigned char* const* m, const double* x, int nFrom,
                           int batch, int stride, double* net) {
  if constexpr (Masked) {
    if (BatchTargetsComplete<T>(m, nFrom)) {
      BatchTargets<Vec, T, false>(w, nullptr, x, nFrom, batch, stride, net);
      return;
    }
  }
  constexpr int kPanels = BatchPanels<Vec, T>();
  int r = 0;
  for (; r + kPanels * Vec::kLanes <= batch; r += kPanels * Vec::kLanes) {
    BatchTile<Vec, T, kPanels, Masked>(w, m, x + r, nFrom, stride, net + r);
  }
  for (; r < batch; r += Vec::kLanes) BatchTile<Vec, T, 1, Masked>(w, m, x + r, nFrom, stride, net + r);
}

// Tiles of Vec::kTargets targets (as many as the registers hold sums for);
// the rest in one narrower tile. The target tiles are the outer loop, so that
// a tile's weight rows are read from memory once for the whole group and then
// served from the cache.
template <class Vec, bool Masked, int T = Vec::kTargets - 1>
NF_BATCH void BatchRestTargets(const double* const* rows, const unsigned char* const* flagRows, const double* x,
                               int nFrom, int nRest, int batch, int stride, double* net) {
  if constexpr (T > 0) {
    if (nRest == T) {
      BatchTargets<Vec, T, Masked>(rows, flagRows, x, nFrom, batch, stride, net);
    } else {
      BatchRestTargets<Vec, Masked, T - 1>(rows, flagRows, x, nFrom, nRest, batch, stride, net);
    }
  }
}

// The rows of the group whole registers hold. Returns how many rows it
// computed.
template <class Vec, bool Masked>
NF_BATCH int BatchRows(const double* const* rows, const unsigned char* const* flagRows, const double* source,
                       int nFrom, int nTo, int batch, int stride, double* net) {
  const std::size_t step = static_cast<std::size_t>(stride);
  batch -= batch % Vec::kLanes;
  if (batch == 0) return 0;
  int t = 0;
  for (; t + Vec::kTargets <= nTo; t += Vec::kTargets) {
    BatchTargets<Vec, Vec::kTargets, Masked>(rows + t, Masked ? flagRows + t : nullptr, source, nFrom, batch,
                                             stride, net + t * step);
  }
  BatchRestTargets<Vec, Masked>(rows + t, Masked ? flagRows + t : nullptr, source, nFrom, nTo - t, batch, stride,
                                net + t * step);
  return batch;
}
