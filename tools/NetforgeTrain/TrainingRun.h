// The training run of NetforgeTrain: loads the network and the data sets,
// checks that the network can be trained and written back, trains it with
// progress on standard error, and writes OUTPUT (and the history and plot
// when asked) atomically.
//
// Every check comes before training, so a refused input costs no time and
// leaves nothing written. Failures are thrown as RunFailure (files, places,
// messages), or FileFailure for a result file that cannot be written;
// TException from the library passes through.
#ifndef NETFORGE_TRAINTOOL_TRAININGRUN_H
#define NETFORGE_TRAINTOOL_TRAININGRUN_H

#include <cstdint>
#include <string>

#include "CommandLine.h"

class TTrainer;

// A result file that cannot be made, written or put in place.
struct FileFailure {
  std::string file;
  std::string message;
};

struct RunFailure {
  std::string file;         // empty when no file is concerned
  std::int64_t line = 0;    // from 1; 0 when not known
  std::int64_t column = 0;  // from 1; 0 when not known
  std::string message;

  // "FILE:LINE:COLUMN: message", "FILE: message" or "NetforgeTrain: message".
  std::string Text() const;
};

// Runs the training of |settings| with |trainer| (made from
// settings.options; its RequestStop may come from a signal handler). Returns
// the exit status: 0, or 130 when the training was interrupted (the best
// network so far is written all the same).
int RunTraining(const TrainSettings& settings, TTrainer& trainer);

#endif  // NETFORGE_TRAINTOOL_TRAININGRUN_H
