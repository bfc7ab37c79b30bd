// Formatting and scanning of the numbers that fill network files: matrix
// cells ("%.15g" in a 20-character field) and weight-list values ("%.15f").
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>

#include "Common/NumberText.h"

namespace {

std::vector<double> RandomWeights(std::size_t n) {
  std::vector<double> weights(n);
  std::srand(1);
  for (double& w : weights) w = (std::rand() % 32767) * (1.0 / 32767) - 0.5;
  return weights;
}

void BM_FormatMatrixCell(benchmark::State& state) {
  const std::vector<double> weights = RandomWeights(4096);
  char buffer[Netforge::kNumberBufferSize];
  std::size_t i = 0;
  for (auto _ : state) {
    char* end = Netforge::FormatGeneral(buffer, weights[i++ & 4095], 15);
    benchmark::DoNotOptimize(end);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatMatrixCell);

void BM_FormatFixed15(benchmark::State& state) {
  const std::vector<double> weights = RandomWeights(4096);
  char buffer[Netforge::kNumberBufferSize];
  std::size_t i = 0;
  for (auto _ : state) {
    char* end = Netforge::FormatFixed(buffer, weights[i++ & 4095], 15);
    benchmark::DoNotOptimize(end);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatFixed15);

void BM_ScanDouble(benchmark::State& state) {
  const char* texts[] = {"0.123456789012345", "-0.5", "1e-07", "-0.0371229590746787"};
  std::size_t i = 0;
  double value = 0;
  for (auto _ : state) {
    Netforge::ScanDouble(texts[i++ & 3], value);
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanDouble);

}  // namespace
