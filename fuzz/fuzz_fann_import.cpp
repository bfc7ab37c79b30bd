// The importer of FANN's training-data format. Data that imports must come
// back bit for bit from a data set file.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "DataImport/FannReader.h"
#include "FileHandler/ParseTools.h"
#include "ImportRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    const auto imported = Netforge::ReadFannData(in);
    CheckRoundTrip(*imported);
  } catch (const FileTools::Error&) {
  }
  return 0;
}
