// The command line of NetforgeTrain: GNU-style long options, then the three
// file names NETWORK TRAINSET OUTPUT.
//
// ParseCommandLine checks everything it can without opening a file: unknown
// options, missing or malformed values, nonsensical numbers (through the
// same checks TTrainer makes), an unknown algorithm or error function, a
// penalty text that does not parse. It throws UsageError with a message.
#ifndef NETFORGE_TRAINTOOL_COMMANDLINE_H
#define NETFORGE_TRAINTOOL_COMMANDLINE_H

#include <string>

#include "Training/TTrainingOptions.h"

struct UsageError {
  std::string message;
};

struct TrainSettings {
  bool help = false;          // --help: print the help text, nothing else
  std::string network;        // NETWORK
  std::string trainingSet;    // TRAINSET
  std::string output;         // OUTPUT
  std::string validationSet;  // --validation; empty for none
  std::string history;        // --history; empty for none
  std::string plot;           // --plot; empty for none
  int report = 10;            // --report: a progress line every N epochs; 0 for none
  TTrainingOptions options;
};

TrainSettings ParseCommandLine(int argc, char** argv);

// The text of --help.
extern const char* const kHelpText;

#endif  // NETFORGE_TRAINTOOL_COMMANDLINE_H
