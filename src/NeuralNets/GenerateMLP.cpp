#include "NeuralNets/GenerateMLP.h"

#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "Common/NumberText.h"
#include "KQmessage/TException.h"

namespace {

[[noreturn]] void ThrowTooMany(long long limit, const char* what) {
  std::string message = "more than ";
  Netforge::AppendLong(message, static_cast<long>(limit));
  message += what;
  throw std::length_error(message);
}

void CheckSizes(const std::vector<int>& layerSizes) {
  const bool empty = layerSizes.empty();
  bool positive = true;
  for (int size : layerSizes) positive = positive && size > 0;
  if (empty || !positive) {
    throw TException("Every layer needs a positive size", "Bad Parameter", "GenerateMLP", nullptr);
  }
  if (layerSizes.size() > static_cast<std::size_t>(kMaxGeneratedLayers)) ThrowTooMany(kMaxGeneratedLayers, " layers");
}

// Every layer fully connected to the one below it, plus one bias weight per
// neuron above the input layer. A network is addressed with int weight
// counts, so a count above INT_MAX is refused before anything is allocated
// instead of running into an overflow or exhausting the memory.
void CheckWeightCount(const std::vector<int>& layerSizes, bool bias) {
  const long long limit = INT_MAX;
  long long total = 0;
  for (std::size_t k = 1; k < layerSizes.size() && total <= limit; ++k) {
    const long long below = layerSizes[k - 1];
    const long long size = layerSizes[k];
    total += size * below + (bias ? size : 0);
  }
  if (total > limit) ThrowTooMany(limit, " weights");
}

}  // namespace

std::unique_ptr<TMLPNetwork> GenerateMLP(const std::vector<int>& layerSizes, bool bias, double minWeight,
                                         double maxWeight, unsigned seed) {
  CheckSizes(layerSizes);
  CheckWeightCount(layerSizes, bias);
  std::unique_ptr<TMLPNetwork> network(
      new TMLPNetwork(static_cast<int>(layerSizes.size()), layerSizes.data(), bias));
  srand(seed);
  network->Randomize(minWeight, maxWeight);
  return network;
}
