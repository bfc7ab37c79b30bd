// Whatever is saved must load and save again to identical bytes: network
// files through a stream, data set files through scratch files. A network
// that loads may still be refused by the writer (a "bias" layer of several
// neurons: docs/network-file.md), but only when CanWriteNetwork says so, and
// then with the message it gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FuzzTempFile.h"
#include "NeuralNets/TBasicNetwork.h"

namespace {

void NetworkRoundTrip(const std::string& text) {
  FileTools tools;
  std::unique_ptr<TBasicNetwork> network;
  try {
    std::istringstream in(text);
    network.reset(tools.ReadNetwork(in, nullptr));
  } catch (const FileTools::Error&) {
    return;  // not a network file
  }
  std::string reason;
  const bool writable = tools.CanWriteNetwork(network.get(), &reason);
  std::ostringstream first;
  try {
    tools.WriteNetwork(first, network.get(), nullptr);
  } catch (const FileTools::Error& error) {
    if (writable || error.message != reason) std::abort();
    return;
  }
  if (!writable) std::abort();
  std::istringstream again(first.str());
  std::unique_ptr<TBasicNetwork> reread(tools.ReadNetwork(again, nullptr));  // must not throw
  std::ostringstream second;
  tools.WriteNetwork(second, reread.get(), nullptr);
  if (first.str() != second.str()) std::abort();
}

void DataSetRoundTrip(const std::string& text) {
  const std::string input = FuzzTempName(1);
  const std::string written = FuzzTempName(2);
  const std::string rewritten = FuzzTempName(3);
  WriteWholeFile(input, text.data(), text.size());
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  int status = FORMAT_ERROR;
  try {
    status = tools.ReadDataSet(input.c_str(), &first, &second, nullptr);
  } catch (const FileTools::Error&) {
  }
  std::unique_ptr<Data> keep_first(first);
  std::unique_ptr<Data> keep_second(second);
  if (status != SUCCESS || (first == nullptr && second == nullptr)) return;
  if (tools.WriteDataSet(written.c_str(), first, second, nullptr) != SUCCESS) std::abort();
  Data* first2 = nullptr;
  Data* second2 = nullptr;
  if (tools.ReadDataSet(written.c_str(), &first2, &second2, nullptr) != SUCCESS) std::abort();
  std::unique_ptr<Data> keep_first2(first2);
  std::unique_ptr<Data> keep_second2(second2);
  if (tools.WriteDataSet(rewritten.c_str(), first2, second2, nullptr) != SUCCESS) std::abort();
  if (ReadWholeFile(written) != ReadWholeFile(rewritten)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  NetworkRoundTrip(text);
  DataSetRoundTrip(text);
  return 0;
}
