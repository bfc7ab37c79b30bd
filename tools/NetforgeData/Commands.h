// The subcommands of NetforgeData. Each takes the arguments after its name,
// does its work and returns normally. Failures are thrown -- UsageError for
// the command line, InputError for an input file, OutputError, and the
// library's TException for options that do not fit the data -- and main
// turns them into one message and exit status 1. Nothing is written unless
// the whole command succeeds.
#ifndef NETFORGE_DATATOOL_COMMANDS_H
#define NETFORGE_DATATOOL_COMMANDS_H

#include <cstdint>
#include <string>
#include <vector>

// A fault of an input file: the file, the place where known (from 1; 0 for
// none) and the message.
struct InputError {
  std::string file;
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::string message;
};

struct Command {
  const char* name;
  const char* help;  // the text of "NetforgeData NAME --help"
  void (*run)(const std::vector<std::string>& args);
};

// The subcommands, in the order --help lists them.
const std::vector<Command>& Commands();

#endif  // NETFORGE_DATATOOL_COMMANDS_H
