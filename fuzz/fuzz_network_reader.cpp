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
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Support/ChunkedBuffer.h"

namespace {

// A stream buffer that keeps only a hash and the count of the bytes written
// to it: a short file may describe a network whose text runs to a hundred
// megabytes, which the fuzzer need not hold in memory to compare.
class HashingBuffer : public std::streambuf {
 public:
  std::string Digest() const { return std::to_string(hash_) + "/" + std::to_string(count_); }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) Add(static_cast<unsigned char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) Add(static_cast<unsigned char>(s[i]));
    return n;
  }

 private:
  void Add(unsigned char byte) {
    hash_ = (hash_ ^ byte) * 1099511628211ULL;  // FNV-1a
    ++count_;
  }
  std::uint64_t hash_ = 14695981039346656037ULL;
  std::uint64_t count_ = 0;
};

std::string Outcome(std::istream& in) {
  FileTools tools;
  try {
    std::unique_ptr<TBasicNetwork> network(tools.ReadNetwork(in, nullptr));
    network->GetNumWeights(1);
    HashingBuffer written;
    std::ostream out(&written);
    tools.WriteNetwork(out, network.get(), nullptr);
    return written.Digest();
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
