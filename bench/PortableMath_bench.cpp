// The library's own exp, expm1, tanh and log beside the C library's, one pair
// per function, on 4096 inputs from the range where networks use them.
// Throughput (independent calls summed), so latency chains do not dominate.
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "Common/PortableMath.h"
#include "Common/SeededRandom.h"

namespace {

std::vector<double> Inputs(double low, double high) {
  std::vector<double> values(4096);
  Netforge::SeededRandom random(1);
  for (double& v : values) v = low + (high - low) * std::ldexp(static_cast<double>(random.Next() >> 11), -53);
  return values;
}

template <double (*Function)(double)>
void RunOver(benchmark::State& state, double low, double high) {
  const std::vector<double> inputs = Inputs(low, high);
  for (auto _ : state) {
    double sum = 0.0;
    for (double x : inputs) sum += Function(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(inputs.size()));
}

double StdExp(double x) { return std::exp(x); }
double StdExpm1(double x) { return std::expm1(x); }
double StdTanh(double x) { return std::tanh(x); }
double StdLog(double x) { return std::log(x); }

void BM_Exp_Netforge(benchmark::State& s) { RunOver<Netforge::Exp>(s, -20.0, 20.0); }
void BM_Exp_Std(benchmark::State& s) { RunOver<StdExp>(s, -20.0, 20.0); }
void BM_Expm1_Netforge(benchmark::State& s) { RunOver<Netforge::Expm1>(s, -2.0, 2.0); }
void BM_Expm1_Std(benchmark::State& s) { RunOver<StdExpm1>(s, -2.0, 2.0); }
void BM_Tanh_Netforge(benchmark::State& s) { RunOver<Netforge::Tanh>(s, -5.0, 5.0); }
void BM_Tanh_Std(benchmark::State& s) { RunOver<StdTanh>(s, -5.0, 5.0); }
void BM_Log_Netforge(benchmark::State& s) { RunOver<Netforge::Log>(s, 1e-6, 1.0); }
void BM_Log_Std(benchmark::State& s) { RunOver<StdLog>(s, 1e-6, 1.0); }

BENCHMARK(BM_Exp_Netforge);
BENCHMARK(BM_Exp_Std);
BENCHMARK(BM_Expm1_Netforge);
BENCHMARK(BM_Expm1_Std);
BENCHMARK(BM_Tanh_Netforge);
BENCHMARK(BM_Tanh_Std);
BENCHMARK(BM_Log_Netforge);
BENCHMARK(BM_Log_Std);

}  // namespace
