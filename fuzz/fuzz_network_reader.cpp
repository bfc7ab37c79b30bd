// The network file reader over arbitrary bytes, from a stream.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  FileTools tools;
  try {
    std::unique_ptr<TBasicNetwork> network(tools.ReadNetwork(in, nullptr));
    network->GetNumWeights(1);
  } catch (const FileTools::Error&) {
  }
  return 0;
}
