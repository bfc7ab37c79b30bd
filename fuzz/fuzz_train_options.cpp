// NetforgeTrain's command line reader: the input is split at line ends into
// the arguments after the program name. Every input must give settings or a
// UsageError, never a crash or a failed check.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> arguments = {"NetforgeTrain"};
  std::size_t start = 0;
  while (start <= text.size() && arguments.size() < 256) {
    const std::size_t end = text.find('\n', start);
    arguments.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  try {
    ParseCommandLine(static_cast<int>(arguments.size()), argv.data());
  } catch (const UsageError&) {
  }
  return 0;
}
