#include "Training/TTrainingSet.h"

#include <cmath>
#include <string>

#include "Common/NumberText.h"
#include "DataObject/Data.h"
#include "KQmessage/TException.h"

namespace {

[[noreturn]] void Refuse(const std::string& message) {
  throw TException(message.c_str(), "Bad Data Set", "TTrainingSet::TTrainingSet", nullptr);
}


// "row 3, input 2" (both from 1, as a user counts).
std::string Place(long row, const char* part, long column) {
  std::string text = "row ";
  Netforge::AppendLong(text, row + 1);
  text += ", ";
  text += part;
  text += ' ';
  Netforge::AppendLong(text, column + 1);
  return text;
}

}  // namespace

TTrainingSet::TTrainingSet(const Data& data, int numInputs, int numOutputs, TTrainingError error, const char* name) {
  const std::string set = name;
  if (data.MbrNdxDataRows <= 0) Refuse(set + " holds no rows");
  if (data.MbrNdxOutputs == 0) {
    Refuse(set + (data.MbrBoolLabels ? " has labels instead of expected outputs" : " has no expected outputs"));
  }
  if (data.MbrNdxInputs != numInputs) {
    Refuse(set + " has " + Netforge::CountText(data.MbrNdxInputs, "input") + " per row, but the network's input layer has " +
           Netforge::CountText(numInputs, "neuron"));
  }
  if (data.MbrNdxOutputs != numOutputs) {
    Refuse(set + " has " + Netforge::CountText(data.MbrNdxOutputs, "expected output") +
           " per row, but the network's output layer has " + Netforge::CountText(numOutputs, "neuron"));
  }
  const long rows = data.MbrNdxDataRows;
  // Stored rows, oldest first: from slot 0 until the set is full, then from
  // the slot after the newest.
  const long first = rows < data.MbrNdxRows ? 0 : (data.MbrNdxLast + 1) % data.MbrNdxRows;
  inputs_.reserve(static_cast<std::size_t>(rows));
  targets_.reserve(static_cast<std::size_t>(rows));
  for (long r = 0; r < rows; ++r) {
    const long slot = (first + r) % data.MbrNdxRows;
    const double* in = numInputs > 0 ? data.MbrDyaRtpInputs[slot] : nullptr;
    const double* out = data.MbrDyaRtpOutputs[slot];
    for (int c = 0; c < numInputs; ++c) {
      if (!std::isfinite(in[c])) Refuse(set + ": " + Place(r, "input", c) + " is not a finite number");
    }
    for (int c = 0; c < numOutputs; ++c) {
      if (!std::isfinite(out[c])) Refuse(set + ": " + Place(r, "expected output", c) + " is not a finite number");
      if (error == TTrainingError::CrossEntropy && (out[c] < 0.0 || out[c] > 1.0)) {
        Refuse(set + ": " + Place(r, "expected output", c) + " lies outside [0, 1], which cross-entropy needs");
      }
    }
    inputs_.push_back(in);
    targets_.push_back(out);
  }
}
