// The network file reader over arbitrary bytes, from a stream. Each input is
// read twice: from a string stream, whose buffer holds the whole text, and
// through a buffer that hands the text out in small pieces (or byte by byte),
// which makes the reader take its general path wherever a matrix cell is cut.
// Both readings must agree: the same network, written to the same bytes, or
// the same error at the same place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <memory>
#include <sstream>
#include <string>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Support/ChunkedBuffer.h"

namespace {

std::string Outcome(std::istream& in) {
  FileTools tools;
  try {
    std::unique_ptr<TBasicNetwork> network(tools.ReadNetwork(in, nullptr));
    network->GetNumWeights(1);
    std::ostringstream out;
    tools.WriteNetwork(out, network.get(), nullptr);
    return out.str();
  } catch (const FileTools::Error& error) {
    return error.message + " at " + std::to_string(error.line) + ":" + std::to_string(error.column);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream whole(text);
  const std::string expected = Outcome(whole);

  TestSupport::ChunkedBuffer pieces(text, size % 11);  // 0: no get area at all
  std::istream chunked(&pieces);
  if (Outcome(chunked) != expected) std::abort();
  return 0;
}
