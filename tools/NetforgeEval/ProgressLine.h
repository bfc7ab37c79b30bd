// ProgressLine: the "\rDONE/TOTAL rows" line that NetforgeEval keeps up to
// date on standard error while a long evaluation runs on a terminal.
//
// Nothing is shown for an evaluation that ends within its first second, nor
// when standard error is not a terminal, so scripts and logs never see it.
#ifndef NETFORGE_EVALTOOL_PROGRESSLINE_H
#define NETFORGE_EVALTOOL_PROGRESSLINE_H

#include <chrono>
#include <cstddef>

class ProgressLine {
 public:
  // Starts the clock; shows nothing unless standard error is a terminal.
  ProgressLine();
  // Reports |done| of |total| rows; redraws the line at most ten times a
  // second, once the evaluation has run for a second.
  void Update(long long done, long long total);
  // Ends the line when one was shown, leaving the last count in view.
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
};

#endif  // NETFORGE_EVALTOOL_PROGRESSLINE_H
