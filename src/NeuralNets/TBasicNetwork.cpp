#include "NeuralNets/TBasicNetwork.h"

#include <climits>
#include <stdexcept>
#include <typeinfo>
#include <utility>

#include "Common/Assert.h"
#include "NeuralNets/EmptyBlockPool.h"
#include "NeuralNets/TPrunedConnections.h"

namespace {

// Layers and blocks under construction. Whatever it still holds when it goes
// out of scope is released, so a failure half-way through building a network
// (or a new matrix for it) leaks nothing; Release() hands the contents over.
// Blocks of |emptyBlocks| or |sharedPool| are not deleted one by one: the
// pool that made them frees them.
struct TNetworkParts {
  std::vector<TBasicLayer*> layers;
  std::vector<TBasicConnections*> conns;
  std::unique_ptr<EmptyBlockPool> emptyBlocks;  // freed after |conns|
  const EmptyBlockPool* sharedPool = nullptr;   // a network's pool, not owned

  TNetworkParts() = default;
  TNetworkParts(const TNetworkParts&) = delete;
  TNetworkParts& operator=(const TNetworkParts&) = delete;
  ~TNetworkParts() {
    for (TBasicConnections* block : conns) {
      if (!Pooled(emptyBlocks.get(), block) && !Pooled(sharedPool, block)) delete block;
    }
    for (TBasicLayer* layer : layers) {
      if (layer != nullptr) layer->Destroy();
    }
  }
  void Release() {
    layers.clear();
    conns.clear();
  }
  static bool Pooled(const EmptyBlockPool* pool, const TBasicConnections* block) {
    return pool != nullptr && pool->Holds(block);
  }
};

std::size_t Cells(int n) {
  return static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
}

void CheckLayerCount(long long n) {
  if (n > TBasicNetwork::MaxLayers) throw std::length_error("network too large: more than 46340 layers");
}

// Where a layer number goes when a layer is inserted at (delta +1) or removed
// from (delta -1) position |at|.
int Shifted(int number, int at, int delta) {
  if (delta > 0) return number >= at ? number + 1 : number;
  return number > at ? number - 1 : number;
}

}  // namespace

TBasicNetwork::TBasicNetwork() : numLayers(0), inLayer(1), outLayer(-1) {}

TBasicNetwork::TBasicNetwork(int n_layers) : TBasicNetwork() {
  Init(n_layers);
}

TBasicNetwork::TBasicNetwork(const TBasicNetwork& x) : TBasicNetwork() {
  CopyFrom(x);
}

TBasicNetwork& TBasicNetwork::operator=(const TBasicNetwork& x) {
  if (&x != this) CopyFrom(x);
  return *this;
}

TBasicNetwork::~TBasicNetwork() {
  for (std::size_t i = 0; i < priv_conns.size(); ++i) NF_ASSERT(priv_conns[i] != NULL);
  TNetworkParts old;
  old.conns.swap(priv_conns);
  old.layers.swap(layers);
  old.emptyBlocks = std::move(emptyBlocks_);
}

void TBasicNetwork::Init(int n_layers) {
  NF_ASSERT(n_layers>=0);
  NF_ASSERT(numLayers == 0 && priv_conns.empty());
  CheckLayerCount(n_layers);
  TNetworkParts fresh;
  fresh.emptyBlocks = std::make_unique<EmptyBlockPool>(this, n_layers);
  fresh.conns.resize(Cells(n_layers));
  for (std::size_t i = 0; i < fresh.conns.size(); ++i) fresh.conns[i] = fresh.emptyBlocks->At(i);
  std::vector<TBasicLayer*> newLayers(static_cast<std::size_t>(n_layers), nullptr);
  std::vector<TBasicConnections**> index(static_cast<std::size_t>(n_layers));
  std::unique_ptr<TFnRegistry> registry(new TFnRegistry);
  registry->RegisterDefaults();

  numLayers = n_layers;
  inLayer = 1;
  outLayer = n_layers - 1;
  priv_conns.swap(fresh.conns);
  emptyBlocks_ = std::move(fresh.emptyBlocks);
  fresh.Release();
  priv_conns_index.swap(index);
  PointRowIndex();
  layers.swap(newLayers);
  fnRegistry = std::move(registry);
}

// Builds the complete copy before touching this network, so that a failed
// copy or assignment leaves it unchanged.
void TBasicNetwork::CopyFrom(const TBasicNetwork& x) {
  TNetworkParts fresh;
  fresh.layers.assign(x.layers.size(), nullptr);
  for (std::size_t i = 0; i < x.layers.size(); ++i) {
    NF_ASSERT(x.layers[i] != NULL);
    fresh.layers[i] = x.layers[i]->Clone(this);
  }
  // The copy's empty blocks come from a pool of its own, as when sizing.
  fresh.emptyBlocks = std::make_unique<EmptyBlockPool>(this, x.numLayers);
  fresh.conns.assign(x.priv_conns.size(), nullptr);
  for (std::size_t i = 0; i < x.priv_conns.size(); ++i) {
    NF_ASSERT(x.priv_conns[i] != NULL);
    TBasicConnections* block = x.priv_conns[i];
    fresh.conns[i] = typeid(*block) == typeid(TEmptyConnections) ? fresh.emptyBlocks->At(i) : block->Clone(this);
  }
  std::vector<TBasicConnections**> index(x.priv_conns_index.size());
  std::unique_ptr<TFnRegistry> registry(new TFnRegistry);
  registry->RegisterDefaults();

  numLayers = x.numLayers;
  inLayer = x.inLayer;
  outLayer = x.outLayer;
  layers.swap(fresh.layers);
  priv_conns.swap(fresh.conns);
  emptyBlocks_.swap(fresh.emptyBlocks);
  priv_conns_index.swap(index);
  PointRowIndex();
  fnRegistry = std::move(registry);
  // |fresh| now holds this network's former layers, blocks and pool and
  // frees them.
}

void TBasicNetwork::PointRowIndex() {
  for (std::size_t i = 0; i < priv_conns_index.size(); ++i) {
    priv_conns_index[i] = priv_conns.data() + i * static_cast<std::size_t>(numLayers);
  }
}

namespace {

// The count of a weight vector must stay an int; a caller can only have sized
// its buffer for a vector whose count GetNumWeights could report.
int CheckedTotal(long long total) {
  if (total > INT_MAX) throw std::length_error("network has more than INT_MAX weights");
  return static_cast<int>(total);
}

}  // namespace

int TBasicNetwork::GetNumWeights(int mask) {
  long long total = 0;
  for (TBasicConnections* block : priv_conns) total += block->GetNumWeights(mask);
  return CheckedTotal(total);
}

int TBasicNetwork::GetWeights(double* out, int mask) {
  long long total = 0;
  for (int from = 0; from < numLayers; ++from) {
    for (int to = 0; to < numLayers; ++to) {
      total += priv_conns_index[to][from]->GetWeights(out + CheckedTotal(total), mask);
    }
  }
  return CheckedTotal(total);
}

int TBasicNetwork::SetWeights(const double* in, int mask) {
  long long total = 0;
  for (int from = 0; from < numLayers; ++from) {
    for (int to = 0; to < numLayers; ++to) {
      total += priv_conns_index[to][from]->SetWeights(in + CheckedTotal(total), mask);
    }
  }
  return CheckedTotal(total);
}

void TBasicNetwork::Randomize(double min, double max) {
  for (int from = 0; from < numLayers; ++from) {
    for (int to = 0; to < numLayers; ++to) priv_conns_index[to][from]->Randomize(min, max);
  }
}

void TBasicNetwork::Connect(int fromLayer, int toLayer) {
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<numLayers);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<numLayers);
  if (priv_conns_index[toLayer][fromLayer]->IsConnected()) return;
  InstallConnections(new TPrunedConnections(this, fromLayer, toLayer));
}

void TBasicNetwork::Disconnect(int fromLayer, int toLayer) {
  NF_ASSERT(fromLayer>=0);
  NF_ASSERT(fromLayer<numLayers);
  NF_ASSERT(toLayer>=0);
  NF_ASSERT(toLayer<numLayers);
  InstallConnections(new TEmptyConnections(this, fromLayer, toLayer));
}

void TBasicNetwork::Recall(const double* input, double* output) {
  NF_ASSERT(outLayer>=0);
  NF_ASSERT(outLayer<numLayers);
  for (int i = 0; i < numLayers; ++i) {
    NF_ASSERT(layers[i] != NULL);
    layers[i]->Recall(input);
  }
  const TBasicLayer* out = layers[outLayer];
  for (int i = 0; i < out->numNeurons; ++i) output[i] = out->outputs[i];
}

const char* TBasicNetwork::GetNetworkType() {
  return "Basic";
}

TInAllArcsIterator* TBasicNetwork::NewInAllArcsIterator() {
  NF_ASSERT(false);
  return nullptr;
}

void TBasicNetwork::Reserved1() {
  NF_ASSERT(false);
}

void TBasicNetwork::Reserved2() {
  NF_ASSERT(false);
}

void TBasicNetwork::Reserved3() {
  NF_ASSERT(false);
}

int TBasicNetwork::GetNumNeurons() {
  long long total = 0;
  for (TBasicLayer* layer : layers) total += layer->numNeurons;
  if (total > INT_MAX) throw std::length_error("network has more than INT_MAX neurons");
  return static_cast<int>(total);
}

TBasicNeuron* TBasicNetwork::GetNeuron(int index) {
  NF_ASSERT(index>=0);
  NF_ASSERT(index<GetNumNeurons());
  int layer = 0;
  while (index >= layers[layer]->numNeurons) {
    index -= layers[layer]->numNeurons;
    ++layer;
  }
  return layers[layer]->GetNeuron(index);
}

void TBasicNetwork::InsertNode(int LayerNum, int node, double min, double max, bool attached) {
  NF_ASSERT(LayerNum>=0);
  NF_ASSERT(LayerNum<numLayers);
  NF_ASSERT(LayerNum!=inLayer);
  NF_ASSERT(LayerNum!=outLayer);
  NF_ASSERT(node>=0);
  NF_ASSERT(node<=GetNumNeurons());
  TBasicLayer* layer = layers[LayerNum];
  layer->InsertNeuron(node);
  ++layer->numNeurons;
  try {
    for (int i = 0; i < numLayers; ++i) {
      priv_conns_index[i][LayerNum]->InsertFromNode(node, min, max, attached);
      priv_conns_index[LayerNum][i]->InsertToNode(node, min, max, attached);
    }
  } catch (...) {
    UndoInsertNode(LayerNum, node);
    throw;
  }
}

// Takes a half-done insertion back. Blocks resize to the layers' current
// sizes, so the blocks that were not grown yet are left alone, and removal
// allocates nothing, so this cannot fail.
void TBasicNetwork::UndoInsertNode(int LayerNum, int node) {
  TBasicLayer* layer = layers[LayerNum];
  layer->RemoveNeuron(node);
  --layer->numNeurons;
  for (int i = 0; i < numLayers; ++i) {
    priv_conns_index[i][LayerNum]->RemoveFromNode(node);
    priv_conns_index[LayerNum][i]->RemoveToNode(node);
  }
}

void TBasicNetwork::RemoveNode(int LayerNum, int node) {
  NF_ASSERT(LayerNum>=0);
  NF_ASSERT(LayerNum<numLayers);
  NF_ASSERT(LayerNum!=inLayer);
  NF_ASSERT(LayerNum!=outLayer);
  NF_ASSERT(node>=0);
  NF_ASSERT(node<GetNumNeurons());
  TBasicLayer* layer = layers[LayerNum];
  layer->RemoveNeuron(node);
  --layer->numNeurons;
  for (int i = 0; i < numLayers; ++i) {
    priv_conns_index[i][LayerNum]->RemoveFromNode(node);
    priv_conns_index[LayerNum][i]->RemoveToNode(node);
  }
}

int TBasicNetwork::PruneNodes() {
  int count = 0;
  TIterateObjPruneNode visitor;
  for (int L = outLayer - 1; L >= 0; --L) {
    if (L == inLayer || L == outLayer) continue;
    for (int p = layers[L]->numNeurons - 1; p >= 0; --p) {
      visitor.numVisited = 0;
      IterateOutOfNode(visitor, L, p, FMaskExists);
      if (visitor.numVisited == 0) {
        RemoveNode(L, p);
        ++count;
      }
    }
  }
  return count;
}

void TBasicNetwork::IterateIntoNode(TIterateObj& v, int toLayer, int node, int mask) {
  for (int i = 0; i < numLayers; ++i) priv_conns_index[toLayer][i]->IterateIn(v, node, mask);
}

void TBasicNetwork::IterateOutOfNode(TIterateObj& v, int fromLayer, int node, int mask) {
  for (int i = 0; i < numLayers; ++i) priv_conns_index[i][fromLayer]->IterateOut(v, node, mask);
}

void TBasicNetwork::InsertLayer(int LayerNum, TBasicLayer* layer) {
  NF_ASSERT(LayerNum>=0);
  NF_ASSERT(LayerNum<=numLayers);
  NF_ASSERT(layer != NULL);
  NF_ASSERT(layer->network == this);
  CheckLayerCount(static_cast<long long>(numLayers) + 1);
  const int n = numLayers + 1;

  // Everything that can fail comes first: the new arrays and the empty blocks
  // of the new layer's row and column.
  TNetworkParts fresh;
  fresh.conns.assign(Cells(n), nullptr);
  for (int to = 0; to < n; ++to) {
    for (int from = 0; from < n; ++from) {
      if (to == LayerNum || from == LayerNum) {
        fresh.conns[static_cast<std::size_t>(to) * n + from] = new TEmptyConnections(this, from, to);
      }
    }
  }
  std::vector<TBasicLayer*> newLayers(static_cast<std::size_t>(n), nullptr);
  std::vector<TBasicConnections**> index(static_cast<std::size_t>(n));

  for (int to = 0; to < numLayers; ++to) {
    for (int from = 0; from < numLayers; ++from) {
      TBasicConnections* block = priv_conns_index[to][from];
      block->fromLayer = Shifted(from, LayerNum, +1);
      block->toLayer = Shifted(to, LayerNum, +1);
      fresh.conns[static_cast<std::size_t>(block->toLayer) * n + block->fromLayer] = block;
    }
  }
  for (int k = 0; k < numLayers; ++k) newLayers[static_cast<std::size_t>(Shifted(k, LayerNum, +1))] = layers[k];
  newLayers[static_cast<std::size_t>(LayerNum)] = layer;

  numLayers = n;
  priv_conns.swap(fresh.conns);
  fresh.Release();
  priv_conns_index.swap(index);
  PointRowIndex();
  layers.swap(newLayers);
  for (int k = 0; k < n; ++k) {
    if (layers[k] != nullptr) layers[k]->SetLayerNum(k);
  }
  inLayer = Shifted(inLayer, LayerNum, +1);
  outLayer = Shifted(outLayer, LayerNum, +1);
}

void TBasicNetwork::RemoveLayer(int LayerNum) {
  NF_ASSERT(LayerNum>=0);
  NF_ASSERT(LayerNum<numLayers);
  NF_ASSERT(LayerNum!=inLayer);
  NF_ASSERT(LayerNum!=outLayer);
  const int n = numLayers - 1;
  std::vector<TBasicConnections*> conns(Cells(n), nullptr);
  std::vector<TBasicLayer*> newLayers(static_cast<std::size_t>(n), nullptr);
  std::vector<TBasicConnections**> index(static_cast<std::size_t>(n));

  TNetworkParts doomed;  // released at the end of the function
  doomed.sharedPool = emptyBlocks_.get();
  doomed.layers.push_back(layers[LayerNum]);
  doomed.conns.reserve(static_cast<std::size_t>(2 * numLayers - 1));
  for (int to = 0; to < numLayers; ++to) {
    for (int from = 0; from < numLayers; ++from) {
      TBasicConnections* block = priv_conns_index[to][from];
      if (to == LayerNum || from == LayerNum) {
        doomed.conns.push_back(block);
        continue;
      }
      block->fromLayer = Shifted(from, LayerNum, -1);
      block->toLayer = Shifted(to, LayerNum, -1);
      conns[static_cast<std::size_t>(block->toLayer) * n + block->fromLayer] = block;
    }
  }
  for (int k = 0; k < numLayers; ++k) {
    if (k != LayerNum) newLayers[static_cast<std::size_t>(Shifted(k, LayerNum, -1))] = layers[k];
  }

  numLayers = n;
  priv_conns.swap(conns);
  priv_conns_index.swap(index);
  PointRowIndex();
  layers.swap(newLayers);
  for (int k = 0; k < n; ++k) {
    if (layers[k] != nullptr) layers[k]->SetLayerNum(k);
  }
  inLayer = Shifted(inLayer, LayerNum, -1);
  outLayer = Shifted(outLayer, LayerNum, -1);
}

bool TBasicNetwork::HasConnectedBlock(int LayerNum) {
  for (int i = 0; i < numLayers; ++i) {
    if (priv_conns_index[i][LayerNum]->IsConnected() || priv_conns_index[LayerNum][i]->IsConnected()) return true;
  }
  return false;
}

void TBasicNetwork::SetLayer(int LayerNum, TBasicLayer* layer) {
  NF_ASSERT(LayerNum>=0);
  NF_ASSERT(LayerNum<numLayers);
  NF_ASSERT(layer != NULL);
  NF_ASSERT(layer->network == this);
  TBasicLayer* old = layers[LayerNum];
  if (old == layer) return;
  if (old != nullptr && HasConnectedBlock(LayerNum)) NF_ASSERT(layer->numNeurons == old->numNeurons);
  layer->SetLayerNum(LayerNum);
  layers[LayerNum] = layer;
  if (old != nullptr) old->Destroy();
}

void TBasicNetwork::InstallConnections(TBasicConnections* block) {
  NF_ASSERT(block != NULL);
  NF_ASSERT(block->network == this);
  NF_ASSERT(block->fromLayer>=0);
  NF_ASSERT(block->fromLayer<numLayers);
  NF_ASSERT(block->toLayer>=0);
  NF_ASSERT(block->toLayer<numLayers);
  TBasicConnections*& slot = priv_conns_index[block->toLayer][block->fromLayer];
  if (slot == block) return;
  TBasicConnections* old = slot;
  slot = block;
  if (!TNetworkParts::Pooled(emptyBlocks_.get(), old)) delete old;
}
