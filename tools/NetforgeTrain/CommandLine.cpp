#include "CommandLine.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "KQmessage/KQML.h"
#include "KQmessage/TException.h"
#include "Training/TTrainer.h"

const char* const kHelpText =
    "Usage: NetforgeTrain [options] NETWORK TRAINSET OUTPUT\n"
    "\n"
    "Trains the network of the network file NETWORK on the first data set of\n"
    "the data set file TRAINSET (inputs and expected outputs) and writes the\n"
    "trained network to OUTPUT. See docs/training.md for the update rules.\n"
    "\n"
    "Options (a value follows as --name VALUE or --name=VALUE):\n"
    "  --algorithm A       incremental, batch, irprop- (default), irprop+,\n"
    "                      quickprop or adam\n"
    "  --epochs N          epochs to run, at least 1 (default 100)\n"
    "  --target-error X    stop once the training error is at most X (default 0: never)\n"
    "  --learning-rate X   incremental, batch, quickprop: default 0.7; adam: 0.001\n"
    "  --momentum X        incremental and batch, in [0, 1) (default 0)\n"
    "  --batch-size N      adam's mini-batch (default 32)\n"
    "  --error E           rms (default: half the summed squared error is minimised)\n"
    "                      or cross-entropy (sigmoid outputs, targets in [0, 1])\n"
    "  --penalty TEXT      a weight penalty, e.g. \"(lwf :learningrate 0.1 :forgettingrate 1e-4)\"\n"
    "                      or \"(quadpenalty :epsilon1 0.01 :epsilon2 0 :beta 1)\"\n"
    "  --validation FILE   a validation data set: the network of the lowest validation\n"
    "                      error is kept\n"
    "  --patience N        with --validation: stop after N epochs without a lower\n"
    "                      validation error (default 0: never)\n"
    "  --prune-below X     after training prune connections with |weight| < X and the\n"
    "                      hidden neurons left without outputs (default 0: none)\n"
    "  --seed N            seed of the shuffling (default 1)\n"
    "  --no-shuffle        incremental and adam take the rows in file order\n"
    "  --train-gains       also train the gains of gain neurons\n"
    "  --report N          a progress line every N epochs (default 10; 0: none)\n"
    "  --history FILE.csv  one row per epoch: epoch, training error, validation error, seconds\n"
    "  --plot FILE.svg     the error curves as an SVG picture\n"
    "  --rprop-increase X, --rprop-decrease X, --rprop-initial-step X,\n"
    "  --rprop-min-step X, --rprop-max-step X   (defaults 1.2, 0.5, 0.1, 0, 50)\n"
    "  --quickprop-decay X, --quickprop-mu X    (defaults -0.0001, 1.75)\n"
    "  --adam-beta1 X, --adam-beta2 X, --adam-epsilon X (defaults 0.9, 0.999, 1e-8)\n"
    "  --help              this text\n"
    "\n"
    "OUTPUT is written to a temporary file beside it and renamed into place, so it\n"
    "is never left half-written. SIGINT or SIGTERM stops training after the current\n"
    "epoch; the best network so far is written and the exit status is 130. A second\n"
    "signal ends the program at once, leaving OUTPUT as it was.\n"
    "\n"
    "Exit status 0 on success; 1 after a failure, described on standard error,\n"
    "with nothing written; 130 after an interruption.\n";

namespace {

[[noreturn]] void Fail(std::string message) { throw UsageError{std::move(message)}; }

double ParseReal(std::string_view name, std::string_view text) {
  double value = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (!text.empty() && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last || !std::isfinite(value)) {
    Fail("--" + std::string(name) + ": \"" + std::string(text) + "\" is not a finite number");
  }
  return value;
}

template <class Integer>
Integer ParseWhole(std::string_view name, std::string_view text) {
  Integer value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) {
    Fail("--" + std::string(name) + ": \"" + std::string(text) + "\" is not a whole number in range");
  }
  return value;
}

TTrainingAlgorithm ParseAlgorithm(std::string_view text) {
  if (text == "incremental") return TTrainingAlgorithm::Incremental;
  if (text == "batch") return TTrainingAlgorithm::Batch;
  if (text == "irprop-" || text == "rprop") return TTrainingAlgorithm::IRpropMinus;
  if (text == "irprop+") return TTrainingAlgorithm::IRpropPlus;
  if (text == "quickprop") return TTrainingAlgorithm::Quickprop;
  if (text == "adam") return TTrainingAlgorithm::Adam;
  Fail("--algorithm: unknown algorithm \"" + std::string(text) +
       "\" (known: incremental, batch, irprop-, irprop+, quickprop, adam)");
}

TTrainingError ParseError(std::string_view text) {
  if (text == "rms") return TTrainingError::SumSquared;
  if (text == "cross-entropy") return TTrainingError::CrossEntropy;
  Fail("--error: unknown error function \"" + std::string(text) + "\" (known: rms, cross-entropy)");
}

std::shared_ptr<const TKQstructure> ParsePenalty(const std::string& text) {
  const char* cursor = text.c_str();
  try {
    return std::shared_ptr<const TKQstructure>(ParseMessage(cursor));
  } catch (const TKQstructure::Error& error) {
    delete error.structure;  // the catcher owns it
    Fail("--penalty: \"" + text + "\" is not a structured message such as \"(lwf :learningrate 0.1 :forgettingrate 1e-4)\"");
  }
}

struct Option {
  const char* name;
  bool takesValue;
  std::function<void(TrainSettings&, const std::string&)> apply;
};

const std::vector<Option>& Options() {
  using S = TrainSettings;
  using T = const std::string&;
  static const std::vector<Option> options = {
      {"help", false, [](S& s, T) { s.help = true; }},
      {"algorithm", true, [](S& s, T v) { s.options.algorithm = ParseAlgorithm(v); }},
      {"epochs", true, [](S& s, T v) { s.options.epochs = ParseWhole<int>("epochs", v); }},
      {"target-error", true, [](S& s, T v) { s.options.targetError = ParseReal("target-error", v); }},
      {"learning-rate", true, [](S& s, T v) { s.options.learningRate = ParseReal("learning-rate", v); }},
      {"momentum", true, [](S& s, T v) { s.options.momentum = ParseReal("momentum", v); }},
      {"batch-size", true, [](S& s, T v) { s.options.batchSize = ParseWhole<int>("batch-size", v); }},
      {"error", true, [](S& s, T v) { s.options.error = ParseError(v); }},
      {"penalty", true, [](S& s, T v) { s.options.penalty = ParsePenalty(v); }},
      {"validation", true, [](S& s, T v) { s.validationSet = v; }},
      {"patience", true, [](S& s, T v) { s.options.patience = ParseWhole<int>("patience", v); }},
      {"prune-below", true, [](S& s, T v) { s.options.pruneBelow = ParseReal("prune-below", v); }},
      {"seed", true, [](S& s, T v) { s.options.seed = ParseWhole<std::uint64_t>("seed", v); }},
      {"no-shuffle", false, [](S& s, T) { s.options.shuffle = false; }},
      {"train-gains", false, [](S& s, T) { s.options.trainGains = true; }},
      {"report", true, [](S& s, T v) { s.report = ParseWhole<int>("report", v); }},
      {"history", true, [](S& s, T v) { s.history = v; }},
      {"plot", true, [](S& s, T v) { s.plot = v; }},
      {"rprop-increase", true, [](S& s, T v) { s.options.rpropIncrease = ParseReal("rprop-increase", v); }},
      {"rprop-decrease", true, [](S& s, T v) { s.options.rpropDecrease = ParseReal("rprop-decrease", v); }},
      {"rprop-initial-step", true, [](S& s, T v) { s.options.rpropInitialStep = ParseReal("rprop-initial-step", v); }},
      {"rprop-min-step", true, [](S& s, T v) { s.options.rpropMinStep = ParseReal("rprop-min-step", v); }},
      {"rprop-max-step", true, [](S& s, T v) { s.options.rpropMaxStep = ParseReal("rprop-max-step", v); }},
      {"quickprop-decay", true, [](S& s, T v) { s.options.quickpropDecay = ParseReal("quickprop-decay", v); }},
      {"quickprop-mu", true, [](S& s, T v) { s.options.quickpropMu = ParseReal("quickprop-mu", v); }},
      {"adam-beta1", true, [](S& s, T v) { s.options.adamBeta1 = ParseReal("adam-beta1", v); }},
      {"adam-beta2", true, [](S& s, T v) { s.options.adamBeta2 = ParseReal("adam-beta2", v); }},
      {"adam-epsilon", true, [](S& s, T v) { s.options.adamEpsilon = ParseReal("adam-epsilon", v); }},
  };
  return options;
}

const Option* FindOption(std::string_view name) {
  for (const Option& option : Options()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

void CheckEmptyName(const std::string& value, const char* what) {
  if (value.empty()) Fail(std::string(what) + ": the file name is empty");
}

}  // namespace

TrainSettings ParseCommandLine(int argc, char** argv) {
  TrainSettings settings;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
      if (!optionsEnded && argument.size() > 1 && argument[0] == '-') Fail("unknown option \"" + argument + "\"");
      files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const Option* option = FindOption(name);
    if (option == nullptr) Fail("unknown option \"--" + name + "\"");
    std::string value;
    if (option->takesValue) {
      if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        Fail("--" + name + " needs a value");
      }
    } else if (equals != std::string::npos) {
      Fail("--" + name + " takes no value");
    }
    option->apply(settings, value);
  }
  if (settings.help) return settings;
  if (files.size() != 3) Fail("expected NETWORK TRAINSET OUTPUT, got " + std::to_string(files.size()) + " file names");
  settings.network = files[0];
  settings.trainingSet = files[1];
  settings.output = files[2];
  CheckEmptyName(settings.network, "NETWORK");
  CheckEmptyName(settings.trainingSet, "TRAINSET");
  CheckEmptyName(settings.output, "OUTPUT");
  if (settings.report < 0) Fail("--report must be >= 0");
  if (settings.options.patience > 0 && settings.validationSet.empty()) Fail("--patience needs --validation");
  // The trainer's own checks of the numbers, before any file is opened.
  try {
    TTrainer check(settings.options);
  } catch (const TException& exception) {
    Fail(exception.message);
  }
  return settings;
}
