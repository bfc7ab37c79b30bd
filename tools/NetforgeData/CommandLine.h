// CommandLine: GNU-style long options for the subcommands of NetforgeData.
//
// "--name value" and "--name=value" give an option its value, "--name" alone
// sets a flag; options and operands may come in any order, and "--" ends the
// options (everything after it is an operand, even when it begins with "-").
// A lone "-" is an operand. Short options are not used.
#ifndef NETFORGE_DATATOOL_COMMANDLINE_H
#define NETFORGE_DATATOOL_COMMANDLINE_H

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// What a command line was meant to say but cannot: an unknown option, a
// value missing or given to a flag, a bad number.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  const char* name;  // without the leading "--"
  bool takesValue;
};

class CommandLine {
 public:
  // Parses |args| against |specs|. Throws UsageError for an unknown option,
  // a value option without its value, a flag given a value, and an option
  // given twice.
  CommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

  bool Has(const std::string& name) const { return options_.count(name) != 0; }
  // The value of |name|, or nothing when it was not given.
  std::optional<std::string> Value(const std::string& name) const;
  const std::vector<std::string>& Operands() const { return operands_; }

 private:
  std::map<std::string, std::string> options_;
  std::vector<std::string> operands_;
};

// The whole of |text| as an unsigned 64-bit number; UsageError naming
// |option| otherwise.
unsigned long long ParseUnsigned(const std::string& text, const char* option);

// A comma-separated list of decimal numbers; UsageError naming |option| for
// anything else.
std::vector<double> ParseNumberList(const std::string& text, const char* option);

#endif  // NETFORGE_DATATOOL_COMMANDLINE_H
