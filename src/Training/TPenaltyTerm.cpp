#include "Training/TPenaltyTerm.h"

#include <cmath>
#include <string>

#include "Common/StrCase.h"
#include "KQmessage/KQML.h"
#include "KQmessage/TException.h"

namespace {

const char* const kOrigin = "TPenaltyTerm::TPenaltyTerm";

[[noreturn]] void Refuse(const std::string& message) {
  throw TException(message.c_str(), "Bad Penalty", kOrigin, nullptr);
}

// The parameter as the error measures read it: the value's head converted
// with ToNumber, |fallback| when the keyword is absent.
double Parameter(const TKQstructure& penalty, const char* keyword, double fallback) {
  const TKQstructure* value = penalty.Find(keyword);
  if (value == nullptr) return fallback;
  double number = 0.0;
  try {
    number = ToNumber(value->GetHead());
  } catch (const TKQstructure::Error& error) {
    delete error.structure;  // the catcher owns it
    Refuse(std::string("the penalty parameter ") + keyword + " is not a number: \"" + value->GetHead() + "\"");
  }
  if (!std::isfinite(number)) Refuse(std::string("the penalty parameter ") + keyword + " is not finite");
  return number;
}

}  // namespace

TPenaltyTerm::TPenaltyTerm(const TKQstructure* description) {
  if (description == nullptr) return;
  const char* head = description->GetHead();
  if (Netforge::strcasecmp(head, "NONE") == 0) return;
  if (Netforge::strcasecmp(head, "QUADPENALTY") == 0) {
    kind_ = Kind::Quad;
    epsilon1_ = Parameter(*description, "EPSILON1", 0.0);
    epsilon2_ = Parameter(*description, "EPSILON2", 0.0);
    beta_ = Parameter(*description, "BETA", 1.0);
    return;
  }
  if (Netforge::strcasecmp(head, "LWF") == 0) {
    kind_ = Kind::Lwf;
    rate_ = Parameter(*description, "LEARNINGRATE", 0.0) * Parameter(*description, "FORGETTINGRATE", 0.0);
    return;
  }
  Refuse(std::string("unknown penalty \"") + head + "\" (known: none, quadpenalty, lwf)");
}

double TPenaltyTerm::Derivative(double w) const {
  switch (kind_) {
    case Kind::None:
      return 0.0;
    case Kind::Quad: {
      const double denominator = beta_ * w * w + 1.0;
      return (2.0 * epsilon1_ * beta_ * w) / (denominator * denominator) + 2.0 * epsilon2_ * w;
    }
    case Kind::Lwf:
      return w > 0.0 ? rate_ : (w < 0.0 ? -rate_ : 0.0);
  }
  return 0.0;
}
