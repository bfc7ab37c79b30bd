// The tool's parameter file reader and validation, from memory.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "ParameterFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  GenerationSettings settings;
  if (ReadParameterFile(in, settings).empty()) ValidateSettings(settings);
  return 0;
}
