// The per-epoch record of a training run and its two renderings: the
// history CSV and the SVG plot of the error curves.
//
// CSV: a header line "epoch,training_error,validation_error,seconds", then
// one line per epoch; the validation column is empty without a validation
// set. Numbers are written with 17 significant digits in the C form, the
// same under every locale.
//
// SVG: a self-contained picture (no scripts, fonts by generic family only):
// the training curve and, when present, the validation curve against the
// epoch, on a logarithmic error axis, each a polyline with one point per
// epoch, and the best epoch marked by a vertical line and a circle.
#ifndef NETFORGE_TRAINTOOL_TRAININGHISTORY_H
#define NETFORGE_TRAINTOOL_TRAININGHISTORY_H

#include <string>
#include <vector>

#include "Training/TTrainer.h"

class TrainingHistory {
 public:
  void Add(const TEpochReport& report) { epochs_.push_back(report); }
  bool Empty() const { return epochs_.empty(); }

  std::string Csv() const;
  // |bestEpoch| is marked when it is one of the recorded epochs.
  std::string Svg(int bestEpoch, const std::string& title) const;

 private:
  std::vector<TEpochReport> epochs_;
};

#endif  // NETFORGE_TRAINTOOL_TRAININGHISTORY_H
