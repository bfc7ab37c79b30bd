#include "NeuralNets/TConnectedConnections.h"

#include <algorithm>

#include "Common/Assert.h"
#include "NeuralNets/BlockStorage.h"
#include "NeuralNets/NetInputKernels.h"

TConnectedConnections::TConnectedConnections(TBasicNetwork* network, int fromLayer, int toLayer)
    : TBasicConnections(network, fromLayer, toLayer) {
  CheckInstalledLayers();
  storedFrom = SourceCount();
  storedTo = TargetCount();
  const std::size_t cells = static_cast<std::size_t>(CheckedProduct(storedFrom, storedTo));
  index_weights.resize(static_cast<std::size_t>(storedTo));
  BlockStorage::FillMatrix(array_weights, cells, 0.0);
  BlockStorage::PointRows(index_weights, array_weights, storedFrom);
}

TConnectedConnections::TConnectedConnections(const TConnectedConnections& source, TBasicNetwork* newNetwork)
    : TBasicConnections(newNetwork, source.fromLayer, source.toLayer),
      array_weights(source.array_weights),
      index_weights(source.index_weights.size()),
      storedFrom(source.storedFrom),
      storedTo(source.storedTo) {
  BlockStorage::PointRows(index_weights, array_weights, storedFrom);
}

int TConnectedConnections::GetNumWeights(int) {
  return storedFrom * storedTo;
}

int TConnectedConnections::GetWeights(double* out, int) {
  int k = 0;
  for (int f = 0; f < storedFrom; ++f) {
    for (int t = 0; t < storedTo; ++t) out[k++] = index_weights[t][f];
  }
  return k;
}

int TConnectedConnections::SetWeights(const double* in, int) {
  int k = 0;
  for (int f = 0; f < storedFrom; ++f) {
    for (int t = 0; t < storedTo; ++t) index_weights[t][f] = in[k++];
  }
  return k;
}

// RandomWeight for every cell, with its test of min == max made once.
void TConnectedConnections::Randomize(double min, double max) {
  if (min == max) {
    std::fill(array_weights.begin(), array_weights.end(), min);
    return;
  }
  for (double& weight : array_weights) weight = DrawRandomWeight(min, max);
}

void TConnectedConnections::AccumulateNetInput(double* net) {
  const double* source = network->layers[fromLayer]->outputs.data();
  NetInputKernels::AccumulateDense(index_weights.data(), source, storedFrom, storedTo, net);
}

void TConnectedConnections::AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) {
  NetInputKernels::AccumulateDenseBatch(index_weights.data(), source, storedFrom, storedTo, batch, stride, net);
}

bool TConnectedConnections::IsValid(int, int) {
  return true;
}

void TConnectedConnections::AddConnection(int, int) {}

void TConnectedConnections::SetTrainable(int, int) {}

void TConnectedConnections::VisitCell(TIterateObj& v, int from, int to) {
  v.from = from;
  v.to = to;
  v.trainable = true;
  v.weight = index_weights[to] + from;
  v.Visit();
}

void TConnectedConnections::IterateIn(TIterateObj& v, int to, int) {
  BindVisitor(v);
  v.to = to;
  for (int f = 0; f < storedFrom; ++f) VisitCell(v, f, to);
}

void TConnectedConnections::IterateOut(TIterateObj& v, int from, int) {
  BindVisitor(v);
  v.from = from;
  for (int t = 0; t < storedTo; ++t) VisitCell(v, from, t);
}

void TConnectedConnections::Iterate(TIterateObj& v, int) {
  BindVisitor(v);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    for (int f = 0; f < storedFrom; ++f) VisitCell(v, f, t);
  }
}

void TConnectedConnections::Iterate2(TIterateObj2& v, TBasicNetwork* other, int) {
  v.Bind(network, other, fromLayer, toLayer);
  v.conn = this;
  TConnectedConnections* second = dynamic_cast<TConnectedConnections*>(v.conn2);
  NF_ASSERT(second != NULL);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    for (int f = 0; f < storedFrom; ++f) {
      v.from = f;
      v.trainable = true;
      v.weight = index_weights[t] + f;
      v.weight2 = second->index_weights[t] + f;
      v.Visit();
    }
  }
}

void TConnectedConnections::Iterate3(TIterateObj3& v, TBasicNetwork* other2, TBasicNetwork* other3, int) {
  v.Bind(network, other2, other3, fromLayer, toLayer);
  v.conn = this;
  TConnectedConnections* second = dynamic_cast<TConnectedConnections*>(v.conn2);
  TConnectedConnections* third = dynamic_cast<TConnectedConnections*>(v.conn3);
  NF_ASSERT(second != NULL);
  NF_ASSERT(third != NULL);
  for (int t = 0; t < storedTo; ++t) {
    v.to = t;
    for (int f = 0; f < storedFrom; ++f) {
      v.from = f;
      v.trainable = true;
      v.weight = index_weights[t] + f;
      v.weight2 = second->index_weights[t] + f;
      v.weight3 = third->index_weights[t] + f;
      v.Visit();
    }
  }
}

const char* TConnectedConnections::GetConnectionsNType() {
  return "FullyConnected";
}

TBasicConnections* TConnectedConnections::Clone(TBasicNetwork* newNetwork) {
  return new TConnectedConnections(*this, newNetwork);
}

void TConnectedConnections::RemoveFromNode(int node) {
  Shrink(node);
}

void TConnectedConnections::RemoveToNode(int node) {
  Shrink(node);
}

void TConnectedConnections::InsertFromNode(int node, double min, double max, bool attached) {
  NF_ASSERT(attached);
  Grow(node, min, max);
}

void TConnectedConnections::InsertToNode(int node, double min, double max, bool attached) {
  NF_ASSERT(attached);
  Grow(node, min, max);
}

void TConnectedConnections::Shrink(int node) {
  const int nFrom = SourceCount();
  const int nTo = TargetCount();
  if (nFrom == storedFrom && nTo == storedTo) return;
  NF_ASSERT(nFrom <= storedFrom && nTo <= storedTo);
  NF_ASSERT(node>=0);
  BlockStorage::ShrinkInPlace(array_weights, storedFrom, storedTo, nFrom, nTo, node);
  index_weights.resize(static_cast<std::size_t>(nTo));
  storedFrom = nFrom;
  storedTo = nTo;
  BlockStorage::PointRows(index_weights, array_weights, storedFrom);
}

// Builds the grown arrays completely before installing them, so that a
// failed allocation leaves the block as it was.
void TConnectedConnections::Grow(int node, double min, double max) {
  const int nFrom = SourceCount();
  const int nTo = TargetCount();
  if (nFrom == storedFrom && nTo == storedTo) return;
  NF_ASSERT(nFrom >= storedFrom && nTo >= storedTo);
  NF_ASSERT(node>=0);
  NF_ASSERT(nFrom == storedFrom || node<nFrom);
  NF_ASSERT(nTo == storedTo || node<nTo);
  CheckedProduct(nFrom, nTo);
  std::vector<double> weights = BlockStorage::GrowCopy(array_weights, storedFrom, storedTo, nFrom, nTo, node, 0.0);
  std::vector<double*> rows(static_cast<std::size_t>(nTo));
  BlockStorage::ForOpenedCells(storedFrom, storedTo, nFrom, nTo, node,
                               [&](std::size_t cell) { weights[cell] = DrawRandomWeight(min, max); });
  array_weights.swap(weights);
  index_weights.swap(rows);
  storedFrom = nFrom;
  storedTo = nTo;
  BlockStorage::PointRows(index_weights, array_weights, storedFrom);
}
