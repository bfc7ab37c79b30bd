#include "CommandLine.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "Common/NumberText.h"
#include "DataImport/DecimalNumber.h"

namespace {

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  const auto found = std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& spec) { return name == spec.name; });
  return found == specs.end() ? nullptr : &*found;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      operands_.insert(operands_.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      return;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      operands_.push_back(arg);
      continue;
    }
    if (arg[1] != '-') throw UsageError("unknown option " + arg);
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) throw UsageError("unknown option --" + name);
    if (Has(name)) throw UsageError("option --" + name + " given twice");
    if (!spec->takesValue) {
      if (equals != std::string::npos) throw UsageError("option --" + name + " takes no value");
      options_[name];
    } else if (equals != std::string::npos) {
      options_[name] = arg.substr(equals + 1);
    } else {
      if (i + 1 == args.size()) throw UsageError("option --" + name + " needs a value");
      options_[name] = args[++i];
    }
  }
}

std::optional<std::string> CommandLine::Value(const std::string& name) const {
  const auto found = options_.find(name);
  if (found == options_.end()) return std::nullopt;
  return found->second;
}

unsigned long long ParseUnsigned(const std::string& text, const char* option) {
  unsigned long long value = 0;
  const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    for (char c : text) {
      const unsigned digit = static_cast<unsigned>(c - '0');
      if (value > (std::numeric_limits<unsigned long long>::max() - digit) / 10) {
        throw UsageError(std::string("--") + option + ": " + text + " is too large");
      }
      value = value * 10 + digit;
    }
    return value;
  }
  throw UsageError(std::string("--") + option + ": \"" + text + "\" is not a whole number of 0 or more");
}

std::vector<double> ParseNumberList(const std::string& text, const char* option) {
  std::vector<double> numbers;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    double value = 0.0;
    const std::string problem = Netforge::ParseDecimalNumber(item, value);
    if (!problem.empty()) throw UsageError(std::string("--") + option + ": " + problem);
    numbers.push_back(value);
    if (comma == std::string::npos) return numbers;
    start = comma + 1;
  }
}
