#include "EvaluationFailure.h"

#include "Common/NumberText.h"

std::string EvaluationFailure::Text() const {
  std::string text = file.empty() ? std::string("NetforgeEval") : file;
  if (!file.empty() && line > 0) {
    text += ':';
    Netforge::AppendLong(text, static_cast<long>(line));
    text += ':';
    Netforge::AppendLong(text, static_cast<long>(column));
  }
  text += ": ";
  text += message;
  return text;
}
