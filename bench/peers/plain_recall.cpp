// Plain sequential recall loop in double: per target neuron, sources in
// ascending order, sum := w * x + sum, then the sigmoid. The reference for
// what a straightforward implementation reaches on this machine. With
// --prune F, a share F of the connections is missing: a flag byte per
// connection, tested before it is added, as a pruned block keeps them.
// Usage: plain_recall REPEATS [--prune F] SIZE...
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const int repeats = std::atoi(argv[1]);
  int first = 2;
  double prune = 0.0;
  if (std::string(argv[2]) == "--prune") {
    prune = std::atof(argv[3]);
    first = 4;
  }
  std::vector<int> sizes;
  for (int i = first; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.size() < 2) return 2;
  std::vector<std::vector<double>> weights;
  std::vector<std::vector<unsigned char>> exists;
  double macs_per_run = 0;
  for (std::size_t l = 1; l < sizes.size(); ++l) {
    std::vector<double> w(static_cast<std::size_t>(sizes[l - 1]) * sizes[l]);
    std::vector<unsigned char> e(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
      w[i] = (std::rand() % 32767) * (1.0 / 32767) - 0.5;
      e[i] = std::rand() >= prune * RAND_MAX;
      macs_per_run += e[i];
    }
    weights.push_back(std::move(w));
    exists.push_back(std::move(e));
  }
  std::vector<std::vector<double>> outputs(sizes.size());
  for (std::size_t l = 0; l < sizes.size(); ++l) outputs[l].resize(sizes[l]);
  for (int i = 0; i < sizes[0]; ++i) outputs[0][i] = static_cast<double>(i) / sizes[0];
  double checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) {
    outputs[0][0] = r * 1e-3;
    for (std::size_t l = 1; l < sizes.size(); ++l) {
      const int n_from = sizes[l - 1];
      const double* x = outputs[l - 1].data();
      for (int t = 0; t < sizes[l]; ++t) {
        const double* w = weights[l - 1].data() + static_cast<std::size_t>(t) * n_from;
        const unsigned char* e = exists[l - 1].data() + static_cast<std::size_t>(t) * n_from;
        double sum = 0.0;
        if (prune > 0.0) {
          for (int f = 0; f < n_from; ++f) {
            if (e[f]) sum = w[f] * x[f] + sum;
          }
        } else {
          for (int f = 0; f < n_from; ++f) sum = w[f] * x[f] + sum;
        }
        outputs[l][t] = 1.0 / (1.0 + std::exp(-sum));
      }
    }
    checksum += outputs.back()[0];
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.6f %.0f %g\n", seconds, macs_per_run * repeats / seconds, checksum);
  return 0;
}
