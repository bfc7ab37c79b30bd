#include "GenerationRun.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "Common/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/TException.h"
#include "NeuralNets/TMLPNetwork.h"

namespace {

// The weights of the network the settings describe: every layer fully
// connected to the one below it, plus one bias weight per neuron above the
// input layer. A network is addressed with int weight counts, so a count
// above INT_MAX cannot be built; it is refused here, before anything is
// allocated, instead of running into an overflow or exhausting the memory.
void CheckWeightCount(const GenerationSettings& settings) {
  const long long limit = INT_MAX;
  long long total = 0;
  for (std::size_t k = 1; k < settings.layerSizes.size() && total <= limit; ++k) {
    const long long below = settings.layerSizes[k - 1];
    const long long size = settings.layerSizes[k];
    total += size * below + (settings.bias ? size : 0);
  }
  if (total > limit) {
    std::string message = "more than ";
    Netforge::AppendLong(message, INT_MAX);
    message += " weights";
    throw std::length_error(message);
  }
}

// A network keeps one connection block for every ordered pair of its layers,
// connected or not, so its size grows with the square of the layer count
// (the bias layer included). Beyond this many layers the empty blocks alone
// would take gigabytes: a parameter file of a few kilobytes could exhaust the
// memory before any allocation failed. No layered network needs as many.
constexpr int kMaxLayers = 4096;

void CheckLayerCount(const GenerationSettings& settings) {
  if (settings.layers > kMaxLayers) {
    std::string message = "more than ";
    Netforge::AppendLong(message, kMaxLayers);
    message += " layers";
    throw std::length_error(message);
  }
}

// Builds, randomises and saves the network; every failure is thrown.
void Generate(const GenerationSettings& settings) {
  CheckLayerCount(settings);
  CheckWeightCount(settings);
  std::unique_ptr<TMLPNetwork> network(
      new TMLPNetwork(settings.layers, settings.layerSizes.data(), settings.bias));
  // A seed from the parameter file makes the run reproducible; otherwise the
  // clock in seconds seeds it, so runs within one second write the same file.
  srand(settings.seed ? *settings.seed : static_cast<unsigned>(time(nullptr)));
  network->Randomize(static_cast<double>(settings.minWeight), static_cast<double>(settings.maxWeight));
  FileTools tools;
  tools.SaveNetwork(settings.fileName.c_str(), network.get(), nullptr);
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

int RunGeneration(const GenerationSettings& settings) {
  try {
    Generate(settings);
  } catch (const TException& exception) {
    std::cerr << TextOrEmpty(exception.message) << '\n'
              << TextOrEmpty(exception.kind) << '\n'
              << TextOrEmpty(exception.origin) << '\n';
    return 1;
  } catch (FileTools::Error& error) {
    std::cout << error.message << '\n';
    return 1;
  } catch (const std::length_error& error) {
    std::cerr << "Network too large: " << error.what() << '\n';
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "Network too large: not enough memory\n";
    return 1;
  }
  return 0;
}
