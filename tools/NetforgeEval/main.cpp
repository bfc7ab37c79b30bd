// NetforgeEval: measures a network file's network on a data set file.
//
// Usage: NetforgeEval NETWORK DATASET [RESULT]
// Prints the figures on standard output, one "name value" pair per line
// (see kHelp), and exits with 0. Every failure is one message on standard
// error and exit status 1.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Common/Console.h"
#include "Common/NumberText.h"
#include "Common/Version.h"
#include "EvaluationFailure.h"
#include "EvaluationRun.h"
#include "KQmessage/TException.h"

namespace {

const char* const kUsage = "Usage: NetforgeEval NETWORK DATASET [RESULT]\n";

const char* const kHelp =
    "Usage: NetforgeEval NETWORK DATASET [RESULT]\n"
    "\n"
    "Runs every row of the first data set in the data set file DATASET through\n"
    "the network in the network file NETWORK and prints, one per line:\n"
    "  rows N             the number of rows\n"
    "  rmse X             root-mean-square error of the outputs against the\n"
    "                     expected outputs\n"
    "  cross-entropy X    cross-entropy error, summed over rows and outputs\n"
    "X is printed with 17 significant digits. Rows with label lists instead of\n"
    "expected outputs, or without expected outputs, are run but not measured:\n"
    "only \"rows N\" is printed.\n"
    "\n"
    "With RESULT, also writes the data set file RESULT: the first data set as\n"
    "it was, and a second data set holding per row the network's outputs and\n"
    "the errors (expected minus generated output).\n"
    "\n"
    "Exit status 0 on success; 1 after a failure, described on standard error\n"
    "(file errors as FILE:LINE:COLUMN: message).\n"
    "\n"
    "NetforgeEval --help prints this text, NetforgeEval --version the version.\n";

std::string Figure(const char* name, double value) {
  std::string line = name;
  line += ' ';
  Netforge::AppendGeneral(line, value, 17);
  line += '\n';
  return line;
}

std::string Figures(const EvaluationSummary& summary) {
  std::string text = "rows ";
  Netforge::AppendLong(text, static_cast<long>(summary.rows));
  text += '\n';
  if (summary.hasFigures) {
    text += Figure("rmse", summary.rmse);
    text += Figure("cross-entropy", summary.crossEntropy);
  }
  return text;
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

int Fail(const std::string& message) {
  std::cerr << message << '\n';
  return 1;
}

int Evaluate(const EvaluationSettings& settings) {
  try {
    const EvaluationSummary summary = RunEvaluation(settings);
    std::cout << Figures(summary) << std::flush;
    if (!std::cout) return Fail("NetforgeEval: cannot write the figures to standard output");
    if (!summary.hasFigures) {
      std::cerr << (summary.labelled ? "NetforgeEval: no error figures for labelled data\n"
                                     : "NetforgeEval: no error figures: the data set has no expected outputs\n");
    }
    return 0;
  } catch (const EvaluationFailure& failure) {
    return Fail(failure.Text());
  } catch (const TException& exception) {
    return Fail(std::string("NetforgeEval: ") + TextOrEmpty(exception.message) + " (" +
                TextOrEmpty(exception.kind) + ", " + TextOrEmpty(exception.origin) + ")");
  } catch (const std::bad_alloc&) {
    return Fail("NetforgeEval: not enough memory");
  } catch (const std::length_error& error) {
    return Fail(std::string("NetforgeEval: too large: ") + error.what());
  } catch (const std::exception& error) {
    return Fail(std::string("NetforgeEval: ") + error.what());
  }
}

// Standard output belongs to the figures, so the library's console texts
// (the network reader's echo of a word it does not know) go to standard
// error.
void LibraryConsoleToStandardError() {
  Netforge::SetConsoleSink([](Netforge::ConsoleStream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kHelp << std::flush;
    return std::cout ? 0 : 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << Netforge::VersionLine("NetforgeEval") << '\n' << std::flush;
    return std::cout ? 0 : 1;
  }
  if (argc != 3 && argc != 4) {
    std::cerr << kUsage;
    return 1;
  }
  EvaluationSettings settings;
  settings.network = argv[1];
  settings.dataSet = argv[2];
  if (argc == 4) settings.result = argv[3];
  if (settings.result.empty() && argc == 4) return Fail("NetforgeEval: the result file name is empty");
  LibraryConsoleToStandardError();
  return Evaluate(settings);
}
