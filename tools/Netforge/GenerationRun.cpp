#include "GenerationRun.h"

#include <ctime>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "KQmessage/TException.h"
#include "NeuralNets/GenerateMLP.h"

namespace {

// Builds, randomises and saves the network; every failure is thrown. A seed
// from the parameter file makes the run reproducible; otherwise the clock in
// seconds seeds it, so runs within one second write the same file.
void Generate(const GenerationSettings& settings) {
  const std::vector<int> sizes(settings.layerSizes.begin(), settings.layerSizes.begin() + settings.layers);
  const unsigned seed = settings.seed ? *settings.seed : static_cast<unsigned>(time(nullptr));
  std::unique_ptr<TMLPNetwork> network = GenerateMLP(sizes, settings.bias, static_cast<double>(settings.minWeight),
                                                     static_cast<double>(settings.maxWeight), seed);
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
