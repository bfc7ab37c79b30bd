// Netforge: creates an untrained multilayer perceptron from a parameter file
// and writes it as a network file.
//
// Usage: Netforge parameter.file
//        Netforge --help | --version
// Prints nothing and exits with 0 on success; every reported failure is a
// message and exit status 1. Messages go to standard error (unbuffered),
// except that an error of the network file writer is printed on standard
// output (see GenerationRun.h).
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "Common/Version.h"
#include "GenerationRun.h"
#include "ParameterFile.h"

namespace {

const char* const kHelp =
    "Usage: Netforge parameter.file\n"
    "       Netforge --help | --version\n"
    "\n"
    "Builds a new, untrained multilayer perceptron as the parameter file\n"
    "describes it, gives every trainable weight a random value and writes it as\n"
    "a network file. The parameter file holds keywords, each followed by white\n"
    "space, a separator (usually \"=\") and its value:\n"
    "  Layers = N           number of layers, 1 to 4096 (required)\n"
    "  LayerSize = S1 ...   one size per layer, after Layers (required)\n"
    "  Bias = true          add a bias neuron (default: none)\n"
    "  MinWeight = X        smallest initial weight (default -5.0)\n"
    "  MaxWeight = X        bound of the initial weights (default 5.0)\n"
    "  FileName = NAME      network file to write (default new.wgt)\n"
    "  Seed = N             0 to 4294967295 (default: the clock in seconds)\n"
    "\n"
    "Prints nothing and exits with 0 on success; a failure prints a message and\n"
    "exits with 1.\n";

// Prints |text| on standard output; 0 when it was written, else 1.
int Print(const std::string& text) {
  std::cout << text << std::flush;
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return Print(kHelp);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return Print(Netforge::VersionLine("Netforge") + '\n');
  if (argc != 2) {
    std::cerr << "Usage: Netforge parameter.file\n";
    return 1;
  }

  std::ifstream file(argv[1]);
  if (!file.is_open()) {
    // No line end: the message has always ended with the name as given.
    std::cerr << "Unable to open parameter file " << argv[1];
    return 1;
  }

  GenerationSettings settings;
  std::string message = ReadParameterFile(file, settings);
  file.close();
  if (message.empty()) message = ValidateSettings(settings);
  // Writing the network over the parameter file would lose the settings it
  // came from; any spelling or link of that file counts.
  std::error_code ignored;
  if (message.empty() && std::filesystem::equivalent(settings.fileName, argv[1], ignored)) {
    message = "FileName must not name the parameter file";
  }
  if (!message.empty()) {
    std::cerr << message << '\n';
    return 1;
  }
  return RunGeneration(settings);
}
