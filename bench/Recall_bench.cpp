// The inner loops of recall and generation: the net input one connection
// block adds to its target layer (AccumulateNetInput) for pruneable blocks
// with all connections present and with 30 % pruned, and for fully connected
// blocks; and Randomize, one rand() per weight. Items are connections (cells
// of the block), so items per second are multiply-adds per second.
#include <cstdlib>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/NetInputKernels.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TConnectedNetwork.h"
#include "NeuralNets/TPrunedConnections.h"

namespace {

enum Kind { kPruneable = 0, kPruned30 = 1, kConnected = 2 };

// Two layers of |n| neurons and the block between them, random weights and
// source outputs.
struct Block {
  std::unique_ptr<TBasicNetwork> network;
  TBasicConnections* block = nullptr;

  Block(int n, Kind kind) {
    const int sizes[] = {n, n};
    if (kind == kConnected) {
      network = std::make_unique<TConnectedNetwork>(2, sizes);
    } else {
      network = std::make_unique<TBasicNetwork>(2);
      for (int k = 0; k < 2; ++k) network->SetLayer(k, new TSimpleLayer(network.get(), k, n));
    }
    network->Connect(0, 1);
    block = network->priv_conns_index[1][0];
    std::srand(1);
    block->Randomize(-0.5, 0.5);
    for (double& x : network->layers[0]->outputs) x = std::rand() * (1.0 / RAND_MAX);
    if (kind == kPruned30) {
      for (int t = 0; t < n; ++t) {
        for (int f = 0; f < n; ++f) {
          if (std::rand() < 0.3 * RAND_MAX) block->PruneConnection(f, t);
        }
      }
    }
  }
};

void BM_AccumulateNetInput(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Block b(n, static_cast<Kind>(state.range(1)));
  std::vector<double> net(static_cast<std::size_t>(n), 0.0);
  for (auto _ : state) {
    b.block->AccumulateNetInput(net.data());
    benchmark::DoNotOptimize(net.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n * n);
}
// Sizes: a block that fits the first-level cache, one that fits the second
// level, and the 1000 x 1000 block of the comparison's network.
BENCHMARK(BM_AccumulateNetInput)
    ->ArgNames({"n", "kind"})
    ->ArgsProduct({{40, 300, 1000}, {kPruneable, kPruned30, kConnected}});

// The kernels themselves, each implementation this machine has, on the
// block's own arrays: the masked kernel for pruneable blocks, the dense one
// for fully connected blocks.
void BM_NetInputKernel(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto kind = static_cast<Kind>(state.range(1));
  const auto isa = static_cast<NetInputKernels::Isa>(state.range(2));
  if (!NetInputKernels::Supported(isa)) {
    state.SkipWithError("not supported here");
    return;
  }
  Block b(n, kind);
  std::vector<double> net(static_cast<std::size_t>(n), 0.0);
  const double* x = b.network->layers[0]->outputs.data();
  for (auto _ : state) {
    if (kind == kConnected) {
      auto* block = static_cast<TConnectedConnections*>(b.block);
      NetInputKernels::AccumulateDense(isa, block->index_weights.data(), x, n, n, net.data());
    } else {
      auto* block = static_cast<TPrunedConnections*>(b.block);
      NetInputKernels::AccumulateMasked(isa, block->index_weights.data(), block->index_masks.data(), x, n, n,
                                        net.data());
    }
    benchmark::DoNotOptimize(net.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_NetInputKernel)
    ->ArgNames({"n", "kind", "isa"})
    ->ArgsProduct({{300, 1000},
                   {kPruneable, kPruned30, kConnected},
                   {static_cast<int>(NetInputKernels::Isa::kPlain), static_cast<int>(NetInputKernels::Isa::kSse2),
                    static_cast<int>(NetInputKernels::Isa::kAvx2)}});

void BM_Randomize(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Block b(n, static_cast<Kind>(state.range(1)));
  for (auto _ : state) {
    b.block->Randomize(-0.5, 0.5);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_Randomize)->ArgNames({"n", "kind"})->ArgsProduct({{1000}, {kPruneable, kConnected}});

}  // namespace
