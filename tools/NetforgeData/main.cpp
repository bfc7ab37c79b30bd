// NetforgeData: gets data into Netforge's data set files.
//
// Usage: NetforgeData COMMAND [OPTIONS] ARGUMENTS (see kHelp). Exit status 0
// on success; 1 after any failure, described in one message on standard
// error, with no output file written or changed.
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "AtomicOutput.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Common/Version.h"
#include "KQmessage/TException.h"

namespace {

const char* const kHelp =
    "Usage: NetforgeData COMMAND [OPTIONS] ARGUMENTS\n"
    "\n"
    "Gets data into data set files for Netforge's networks.\n"
    "\n"
    "Commands:\n"
    "  import-csv CSV OUTPUT          a table of comma-separated values\n"
    "  import-fann FANNDATA OUTPUT    training data in FANN's format\n"
    "  split INPUT OUTPUT1 OUTPUT2 [OUTPUT3...]\n"
    "                                 deal a data set's rows out at random into\n"
    "                                 training, validation and test sets\n"
    "\n"
    "\"NetforgeData COMMAND --help\" describes a command and its options.\n"
    "Outputs are written to a temporary file and renamed into place, so a\n"
    "failure leaves every output file as it was.\n"
    "\n"
    "Exit status 0 on success; 1 after a failure, described on standard error\n"
    "(file errors as FILE:LINE:COLUMN: message).\n";

int Fail(const std::string& message) {
  std::cerr << message << '\n';
  return 1;
}

int ShowHelp(const char* text) {
  std::cout << text << std::flush;
  return std::cout ? 0 : 1;
}

std::string Place(const InputError& error) {
  std::string text = error.file;
  if (error.line > 0) {
    text += ':';
    text += std::to_string(error.line);
    text += ':';
    text += std::to_string(error.column);
  }
  text += ": ";
  text += error.message;
  return text;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help") return true;
  }
  return false;
}

int Run(const Command& command, const std::vector<std::string>& args) {
  const std::string self = std::string("NetforgeData ") + command.name + ": ";
  try {
    command.run(args);
    return 0;
  } catch (const UsageError& error) {
    return Fail(self + error.what() + " (see NetforgeData " + command.name + " --help)");
  } catch (const InputError& error) {
    return Fail(Place(error));
  } catch (const OutputError& error) {
    return Fail(self + error.what());
  } catch (const TException& exception) {
    return Fail(self + (exception.message != nullptr ? exception.message : "bad parameter"));
  } catch (const std::bad_alloc&) {
    return Fail(self + "not enough memory");
  } catch (const std::exception& error) {
    return Fail(self + error.what());
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return Fail(std::string("Usage: NetforgeData COMMAND [OPTIONS] ARGUMENTS (see NetforgeData --help)"));
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return ShowHelp(kHelp);
  if (name == "--version") return ShowHelp((Netforge::VersionLine("NetforgeData") + '\n').c_str());
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& command : Commands()) {
    if (name != command.name) continue;
    if (AsksForHelp(args)) return ShowHelp(command.help);
    return Run(command, args);
  }
  return Fail("NetforgeData: unknown command \"" + name + "\" (see NetforgeData --help)");
}
