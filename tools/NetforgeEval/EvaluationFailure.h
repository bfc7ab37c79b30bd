// EvaluationFailure: what NetforgeEval reports when an evaluation cannot go
// on -- the file concerned, the place in it where known, and the message.
//
// The evaluation throws it; main prints Text() on standard error and exits
// with status 1.
#ifndef NETFORGE_EVALTOOL_EVALUATIONFAILURE_H
#define NETFORGE_EVALTOOL_EVALUATIONFAILURE_H

#include <cstdint>
#include <string>

struct EvaluationFailure {
  std::string file;      // the file the message is about; empty for none
  std::int64_t line = 0;    // from 1; 0 when the place is not known
  std::int64_t column = 0;  // from 1, in bytes; 0 when not known
  std::string message;

  // "FILE:LINE:COLUMN: message" with a place, "FILE: message" without one,
  // and "NetforgeEval: message" when no file is concerned.
  std::string Text() const;
};

#endif  // NETFORGE_EVALTOOL_EVALUATIONFAILURE_H
