#include "NeuralNets/TPrunedConnections.h"

#include "Common/Assert.h"
#include "NeuralNets/BlockStorage.h"
#include "NeuralNets/NetInputKernels.h"

TPrunedConnections::TPrunedConnections(TBasicNetwork* network, int fromLayer, int toLayer)
    : TBasicConnections(network, fromLayer, toLayer) {
  CheckInstalledLayers();
  storedFrom = SourceCount();
  storedTo = TargetCount();
  const std::size_t cells = static_cast<std::size_t>(CheckedProduct(storedFrom, storedTo));
  index_weights.resize(static_cast<std::size_t>(storedTo));
  index_masks.resize(static_cast<std::size_t>(storedTo));
  BlockStorage::FillMatrix(array_weights, cells, 0.0);
  BlockStorage::FillMatrix(array_masks, cells, static_cast<unsigned char>(FMaskAll));
  PointAllRows();
}

TPrunedConnections::TPrunedConnections(const TPrunedConnections& source, TBasicNetwork* newNetwork)
    : TBasicConnections(newNetwork, source.fromLayer, source.toLayer),
      array_weights(source.array_weights),
      index_weights(source.index_weights.size()),
      array_masks(source.array_masks),
      index_masks(source.index_masks.size()),
      storedFrom(source.storedFrom),
      storedTo(source.storedTo) {
  PointAllRows();
}

void TPrunedConnections::PointAllRows() {
  BlockStorage::PointRows(index_weights, array_weights, storedFrom);
  BlockStorage::PointRows(index_masks, array_masks, storedFrom);
}

// RandomWeight for every trainable cell, with its test of min == max made
// once for the whole block.
void TPrunedConnections::Randomize(double min, double max) {
  const std::size_t cells = array_weights.size();
  const unsigned char* masks = array_masks.data();
  double* weights = array_weights.data();
  if (min == max) {
    for (std::size_t i = 0; i < cells; ++i) {
      if (masks[i] & FMaskTrainable) weights[i] = min;
    }
    return;
  }
  for (std::size_t i = 0; i < cells; ++i) {
    if (masks[i] & FMaskTrainable) weights[i] = DrawRandomWeight(min, max);
  }
}

void TPrunedConnections::AccumulateNetInput(double* net) {
  const double* source = network->layers[fromLayer]->outputs.data();
  NetInputKernels::AccumulateMasked(index_weights.data(), index_masks.data(), source, storedFrom, storedTo, net);
}

void TPrunedConnections::AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) {
  NetInputKernels::AccumulateMaskedBatch(index_weights.data(), index_masks.data(), source, storedFrom, storedTo, batch,
                                         stride, net);
}

bool TPrunedConnections::IsValid(int from, int to) {
  return (index_masks[to][from] & FMaskExists) != 0;
}

bool TPrunedConnections::IsTrainable(int from, int to) {
  return (index_masks[to][from] & FMaskTrainable) != 0;
}

void TPrunedConnections::PruneConnection(int from, int to) {
  index_masks[to][from] = 0;
  index_weights[to][from] = 0.0;
}

void TPrunedConnections::AddConnection(int from, int to) {
  if (index_masks[to][from] & FMaskExists) return;
  index_masks[to][from] = FMaskAll;
  index_weights[to][from] = 0.0;
}

void TPrunedConnections::SetTrainable(int from, int to) {
  if (index_masks[to][from] & FMaskExists) index_masks[to][from] |= FMaskTrainable;
}

void TPrunedConnections::SetUnTrainable(int from, int to) {
  index_masks[to][from] &= static_cast<unsigned char>(~FMaskTrainable);
}

void TPrunedConnections::VisitCell(TIterateObj& v, int from, int to, unsigned char flags) {
  v.from = from;
  v.to = to;
  v.trainable = (flags & FMaskTrainable) != 0;
  v.weight = index_weights[to] + from;
  v.Visit();
}

void TPrunedConnections::IterateIn(TIterateObj& v, int to, int mask) {
  BindVisitor(v);
  const unsigned char required = Required(mask);
  v.to = to;
  const unsigned char* flags = index_masks[to];
  for (int f = 0; f < storedFrom; ++f) {
    if ((flags[f] & required) == required) VisitCell(v, f, to, flags[f]);
  }
}

void TPrunedConnections::IterateOut(TIterateObj& v, int from, int mask) {
  BindVisitor(v);
  const unsigned char required = Required(mask);
  v.from = from;
  for (int t = 0; t < storedTo; ++t) {
    const unsigned char flags = index_masks[t][from];
    if ((flags & required) == required) VisitCell(v, from, t, flags);
  }
}

void TPrunedConnections::Iterate(TIterateObj& v, int mask) {
  BindVisitor(v);
  const unsigned char required = Required(mask);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    const unsigned char* flags = index_masks[t];
    for (int f = 0; f < storedFrom; ++f) {
      if ((flags[f] & required) == required) VisitCell(v, f, t, flags[f]);
    }
  }
}

void TPrunedConnections::Iterate2(TIterateObj2& v, TBasicNetwork* other, int mask) {
  v.Bind(network, other, fromLayer, toLayer);
  v.conn = this;
  TPrunedConnections* second = dynamic_cast<TPrunedConnections*>(v.conn2);
  NF_ASSERT(second != NULL);
  const unsigned char required = Required(mask);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    for (int f = 0; f < storedFrom; ++f) {
      const unsigned char flags = index_masks[t][f];
      if ((flags & required) != required) continue;
      v.from = f;
      v.trainable = (flags & FMaskTrainable) != 0;
      v.weight = index_weights[t] + f;
      v.weight2 = second->index_weights[t] + f;
      v.Visit();
    }
  }
}

void TPrunedConnections::Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int mask) {
  v.Bind(network, other2, other3, fromLayer, toLayer);
  v.conn = this;
  TPrunedConnections* second = dynamic_cast<TPrunedConnections*>(v.conn2);
  TPrunedConnections* third = dynamic_cast<TPrunedConnections*>(v.conn3);
  NF_ASSERT(second != NULL);
  NF_ASSERT(third != NULL);
  const unsigned char required = Required(mask);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    for (int f = 0; f < storedFrom; ++f) {
      const unsigned char flags = index_masks[t][f];
      if ((flags & required) != required) continue;
      v.from = f;
      v.trainable = (flags & FMaskTrainable) != 0;
      v.weight = index_weights[t] + f;
      v.weight2 = second->index_weights[t] + f;
      v.weight3 = third->index_weights[t] + f;
      v.Visit();
    }
  }
}

const char* TPrunedConnections::GetConnectionsNType() {
  return "Pruneable";
}

unsigned char TPrunedConnections::GetFlags(int from, int to) {
  return index_masks[to][from];
}

void TPrunedConnections::SetFlags(int from, int to, unsigned char val) {
  index_masks[to][from] = val;
}

TBasicConnections* TPrunedConnections::Clone(TBasicNetwork* newNetwork) {
  return new TPrunedConnections(*this, newNetwork);
}

void TPrunedConnections::RemoveFromNode(int node) {
  Shrink(node);
}

void TPrunedConnections::RemoveToNode(int node) {
  Shrink(node);
}

void TPrunedConnections::InsertFromNode(int node, double min, double max, bool attached) {
  Grow(node, min, max, attached);
}

void TPrunedConnections::InsertToNode(int node, double min, double max, bool attached) {
  Grow(node, min, max, attached);
}

void TPrunedConnections::Shrink(int node) {
  const int nFrom = SourceCount();
  const int nTo = TargetCount();
  if (nFrom == storedFrom && nTo == storedTo) return;
  NF_ASSERT(nFrom <= storedFrom && nTo <= storedTo);
  NF_ASSERT(node>=0);
  BlockStorage::ShrinkInPlace(array_weights, storedFrom, storedTo, nFrom, nTo, node);
  BlockStorage::ShrinkInPlace(array_masks, storedFrom, storedTo, nFrom, nTo, node);
  index_weights.resize(static_cast<std::size_t>(nTo));
  index_masks.resize(static_cast<std::size_t>(nTo));
  storedFrom = nFrom;
  storedTo = nTo;
  PointAllRows();
}

// Builds the grown arrays completely before installing them, so that a
// failed allocation leaves the block as it was.
void TPrunedConnections::Grow(int node, double min, double max, bool attached) {
  const int nFrom = SourceCount();
  const int nTo = TargetCount();
  if (nFrom == storedFrom && nTo == storedTo) return;
  NF_ASSERT(nFrom >= storedFrom && nTo >= storedTo);
  NF_ASSERT(node>=0);
  NF_ASSERT(nFrom == storedFrom || node<nFrom);
  NF_ASSERT(nTo == storedTo || node<nTo);
  CheckedProduct(nFrom, nTo);
  std::vector<double> weights = BlockStorage::GrowCopy(array_weights, storedFrom, storedTo, nFrom, nTo, node, 0.0);
  std::vector<unsigned char> masks =
      BlockStorage::GrowCopy(array_masks, storedFrom, storedTo, nFrom, nTo, node, static_cast<unsigned char>(0));
  std::vector<double*> weightRows(static_cast<std::size_t>(nTo));
  std::vector<unsigned char*> maskRows(static_cast<std::size_t>(nTo));
  if (attached) {
    BlockStorage::ForOpenedCells(storedFrom, storedTo, nFrom, nTo, node, [&](std::size_t cell) {
      weights[cell] = DrawRandomWeight(min, max);
      masks[cell] = FMaskAll;
    });
  }
  array_weights.swap(weights);
  array_masks.swap(masks);
  index_weights.swap(weightRows);
  index_masks.swap(maskRows);
  storedFrom = nFrom;
  storedTo = nTo;
  PointAllRows();
}
