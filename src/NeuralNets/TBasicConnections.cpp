#include "NeuralNets/TBasicConnections.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Common/Assert.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TIterateObj.h"

TBasicConnections::TBasicConnections(TBasicNetwork* network, int fromLayer, int toLayer)
    : network(network), fromLayer(fromLayer), toLayer(toLayer) {}

bool TBasicConnections::IsConnected() {
  return true;
}

int TBasicConnections::GetNumWeights(int mask) {
  TIterateObjGetNumWeights visitor;
  Iterate(visitor, mask);
  return visitor.numVisited;
}

int TBasicConnections::GetWeights(double* out, int mask) {
  TIterateObjGetWeights visitor(out);
  Iterate(visitor, mask);
  return visitor.numVisited;
}

int TBasicConnections::SetWeights(const double* in, int mask) {
  TIterateObjSetWeights visitor(in);
  Iterate(visitor, mask);
  return visitor.numVisited;
}

void TBasicConnections::Randomize(double min, double max) {
  TIterateObjRandomize visitor(min, max);
  Iterate(visitor, 0);
}

void TBasicConnections::AccumulateNetInput(double* net) {
  const int nTo = TargetCount();
  for (int t = 0; t < nTo; ++t) {
    TIterateObjAggregate visitor;
    IterateIn(visitor, t, FMaskExists);
    net[t] += visitor.sum;
  }
}

void TBasicConnections::AccumulateNetInputBatch(const double* source, int batch, int stride, double* net) {
  NF_ASSERT(batch<=stride);
  std::vector<double>& sourceOutputs = network->layers[fromLayer]->outputs;
  std::vector<double> sums(static_cast<std::size_t>(TargetCount()));
  const std::size_t step = static_cast<std::size_t>(stride);
  for (int r = 0; r < batch; ++r) {
    for (std::size_t f = 0; f < sourceOutputs.size(); ++f) sourceOutputs[f] = source[f * step + r];
    for (std::size_t t = 0; t < sums.size(); ++t) sums[t] = net[t * step + r];
    AccumulateNetInput(sums.data());
    for (std::size_t t = 0; t < sums.size(); ++t) net[t * step + r] = sums[t];
  }
}

bool TBasicConnections::IsTrainable(int from, int to) {
  return IsValid(from, to);
}

void TBasicConnections::PruneConnection(int, int) {
  NF_ASSERT(false);
}

void TBasicConnections::AddConnection(int, int) {
  NF_ASSERT(false);
}

void TBasicConnections::SetTrainable(int, int) {
  NF_ASSERT(false);
}

void TBasicConnections::SetUnTrainable(int, int) {
  NF_ASSERT(false);
}

unsigned char TBasicConnections::GetFlags(int, int) {
  return FMaskAll;
}

void TBasicConnections::SetFlags(int, int, unsigned char val) {
  NF_ASSERT((val==FMaskAll) || (val==FMaskExists));
}

void TBasicConnections::InsertFromNode(int, double, double, bool) {
  NF_ASSERT(false);
}

void TBasicConnections::InsertToNode(int, double, double, bool) {
  NF_ASSERT(false);
}

unsigned char* TBasicConnections::GetFlagArray() {
  std::unique_ptr<unsigned char[]> flags(new unsigned char[static_cast<std::size_t>(GetNumWeights(FMaskExists))]);
  TIterateObjGetFlags visitor(flags.get());
  Iterate(visitor, FMaskExists);
  return flags.release();
}

void TBasicConnections::SetFlagArray(const unsigned char* flags) {
  TIterateObjSetFlags visitor(flags);
  Iterate(visitor, FMaskExists);
}

void TBasicConnections::SetAllUnTrainable() {
  TIterateObjAllUntrainable visitor;
  Iterate(visitor, FMaskExists);
}

double TBasicConnections::RandomWeight(double min, double max) {
  if (min == max) return min;
  return DrawRandomWeight(min, max);
}

double TBasicConnections::DrawRandomWeight(double min, double max) {
  // The divisor is 32767 whatever RAND_MAX is, so the same seed gives the
  // same weights on every platform whose rand() gives the same sequence.
  const unsigned k = static_cast<unsigned>(std::rand()) % 32767u;
  return static_cast<double>(k * (1.0L / 32767) * (static_cast<long double>(max) - min) + min);
}

void TBasicConnections::CheckInstalledLayers() const {
  NF_ASSERT(network != NULL);
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<network->numLayers);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<network->numLayers);
  NF_ASSERT(network->layers[fromLayer] != NULL);
  NF_ASSERT(network->layers[toLayer] != NULL);
}

int TBasicConnections::SourceCount() const {
  return network->layers[fromLayer]->numNeurons;
}

int TBasicConnections::TargetCount() const {
  return network->layers[toLayer]->numNeurons;
}

int TBasicConnections::CheckedProduct(int a, int b) {
  const long long product = static_cast<long long>(a) * b;
  if (product > INT_MAX) throw std::length_error("connection block too large: more than INT_MAX connections");
  return static_cast<int>(product);
}

void TBasicConnections::BindVisitor(TIterateObj& v) {
  v.Bind(network->layers[fromLayer], network->layers[toLayer]);
  // For an installed block the matrix entry is this block; a block that is
  // not (yet) installed still traverses its own storage.
  v.conn = this;
}

// ---- TEmptyConnections ----

TEmptyConnections::TEmptyConnections(TBasicNetwork* network, int fromLayer, int toLayer)
    : TBasicConnections(network, fromLayer, toLayer) {}

bool TEmptyConnections::IsConnected() {
  return false;
}

int TEmptyConnections::GetNumWeights(int) {
  return 0;
}

int TEmptyConnections::GetWeights(double*, int) {
  return 0;
}

int TEmptyConnections::SetWeights(const double*, int) {
  return 0;
}

void TEmptyConnections::Randomize(double, double) {}

double& TEmptyConnections::Weight(int, int) {
  NF_ASSERT(false);
  return dummyWeight;
}

void TEmptyConnections::AccumulateNetInput(double*) {}

void TEmptyConnections::AccumulateNetInputBatch(const double*, int, int, double*) {}

bool TEmptyConnections::IsValid(int, int) {
  return false;
}

bool TEmptyConnections::IsTrainable(int, int) {
  return false;
}

void TEmptyConnections::IterateIn(TIterateObj&, int, int) {}

void TEmptyConnections::IterateOut(TIterateObj&, int, int) {}

void TEmptyConnections::Iterate(TIterateObj&, int) {}

void TEmptyConnections::Iterate2(TIterateObj2&, TBasicNetwork*, int) {}

void TEmptyConnections::Iterate3(TIterateObj3&, TBasicNetwork*, TBasicNetwork*, int) {}

const char* TEmptyConnections::GetConnectionsNType() {
  return "Empty";
}

TBasicConnections* TEmptyConnections::Clone(TBasicNetwork* newNetwork) {
  TEmptyConnections* x = new TEmptyConnections(newNetwork, fromLayer, toLayer);
  NF_ASSERT(x!=NULL);
  return x;
}

void TEmptyConnections::RemoveFromNode(int) {}

void TEmptyConnections::RemoveToNode(int) {}

void TEmptyConnections::InsertFromNode(int, double, double, bool) {}

void TEmptyConnections::InsertToNode(int, double, double, bool) {}
