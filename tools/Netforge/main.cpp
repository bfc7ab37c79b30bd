// Netforge: creates an untrained multilayer perceptron from a parameter file
// and writes it as a network file.
//
// Usage: Netforge parameter.file
// Prints nothing and exits with 0 on success; every reported failure is a
// message and exit status 1. Messages go to standard error (unbuffered),
// except that an error of the network file writer is printed on standard
// output (see GenerationRun.h).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "GenerationRun.h"
#include "ParameterFile.h"

int main(int argc, char* argv[]) {
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
