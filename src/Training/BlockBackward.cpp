#include "Training/BlockBackward.h"

#include <cstddef>

#include "NeuralNets/TBasicConnections.h"
#include "Training/UpdateCells.h"

namespace BlockBackward {

void PropagateError(const TBlockView& block, const double* deltaTo, double* errFrom) {
  for (int t = 0; t < block.nTo; ++t) {
    const double* w = block.rows[t];
    const double delta = deltaTo[t];
    if (block.flagRows == nullptr) {
      for (int f = 0; f < block.nFrom; ++f) errFrom[f] = w[f] * delta + errFrom[f];
    } else {
      const unsigned char* flags = block.flagRows[t];
      for (int f = 0; f < block.nFrom; ++f) {
        if ((flags[f] & FMaskExists) != 0) errFrom[f] = w[f] * delta + errFrom[f];
      }
    }
  }
}

void AccumulateGradient(const TBlockView& block, const double* deltaTo, const double* yFrom, double* grad) {
  for (int t = 0; t < block.nTo; ++t) {
    double* g = grad + static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom);
    const double delta = deltaTo[t];
    if (block.flagRows == nullptr) {
      for (int f = 0; f < block.nFrom; ++f) g[f] = delta * yFrom[f] + g[f];
    } else {
      const unsigned char* flags = block.flagRows[t];
      for (int f = 0; f < block.nFrom; ++f) {
        if ((flags[f] & FMaskAll) == FMaskAll) g[f] = delta * yFrom[f] + g[f];
      }
    }
  }
}

void Descend(const TBlockView& block, const double* deltaTo, const double* yFrom, double rate, double momentum,
             double* velocity) {
  for (int t = 0; t < block.nTo; ++t) {
    double* w = block.rows[t];
    double* v = velocity + static_cast<std::size_t>(t) * static_cast<std::size_t>(block.nFrom);
    for (int f = 0; f < block.nFrom; ++f) {
      if (block.flagRows != nullptr && (block.flagRows[t][f] & FMaskAll) != FMaskAll) continue;
      UpdateCells::Descend(deltaTo[t] * yFrom[f] + 0.0, rate, momentum, v[f], w[f]);
    }
  }
}

}  // namespace BlockBackward
