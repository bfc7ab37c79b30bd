// The library's own exp, expm1, tanh and log beside the C library's, one pair
// per function, on 4096 inputs from the range where networks use them.
// Throughput (independent calls summed), so latency chains do not dominate.
// Then exp, tanh and the sigmoid over arrays (the vector exp, with each vector
// unit: argument 0 plain loop, 1 SSE2, 2 AVX2, 3 AVX-512) beside the scalar
// sigmoid called value by value.
#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "Common/PortableMath.h"
#include "Common/SeededRandom.h"
#include "Common/VectorExp.h"
#include "NeuralNets/ActivationArrays.h"

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

// The vector unit of argument 0, or false (and the benchmark skipped) where
// this machine lacks it.
bool UnitOf(benchmark::State& state, Netforge::SimdIsa& isa) {
  isa = static_cast<Netforge::SimdIsa>(state.range(0));
  if (Netforge::SimdSupported(isa)) return true;
  state.SkipWithError("vector unit not supported here");
  return false;
}

template <class Kernel>
void RunArray(benchmark::State& state, double low, double high, Kernel kernel) {
  Netforge::SimdIsa isa;
  if (!UnitOf(state, isa)) return;
  const std::vector<double> inputs = Inputs(low, high);
  std::vector<double> outputs(inputs.size());
  for (auto _ : state) {
    kernel(isa, inputs.data(), outputs.data(), static_cast<int>(inputs.size()));
    benchmark::DoNotOptimize(outputs.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(inputs.size()));
}

void BM_Exp_NetforgeArray(benchmark::State& s) {
  RunArray(s, -20.0, 20.0, [](Netforge::SimdIsa isa, const double* x, double* y, int n) {
    Netforge::ExpValues(isa, x, y, n);
  });
}
void BM_Tanh_NetforgeArray(benchmark::State& s) {
  RunArray(s, -5.0, 5.0, [](Netforge::SimdIsa isa, const double* x, double* y, int n) {
    Netforge::TanhValues(isa, 1.0, x, y, n);
  });
}
void BM_Sigmoid_Scalar(benchmark::State& s) { RunOver<SigmoidOf>(s, -20.0, 20.0); }
void BM_Sigmoid_Array(benchmark::State& s) {
  RunArray(s, -20.0, 20.0, [](Netforge::SimdIsa isa, const double* x, double* y, int n) {
    SigmoidValues(isa, x, y, n);
  });
}

BENCHMARK(BM_Exp_Netforge);
BENCHMARK(BM_Exp_NetforgeArray)->DenseRange(0, 3);
BENCHMARK(BM_Tanh_NetforgeArray)->DenseRange(0, 3);
BENCHMARK(BM_Sigmoid_Scalar);
BENCHMARK(BM_Sigmoid_Array)->DenseRange(0, 3);
BENCHMARK(BM_Exp_Std);
BENCHMARK(BM_Expm1_Netforge);
BENCHMARK(BM_Expm1_Std);
BENCHMARK(BM_Tanh_Netforge);
BENCHMARK(BM_Tanh_Std);
BENCHMARK(BM_Log_Netforge);
BENCHMARK(BM_Log_Std);

}  // namespace
