#include "DataImport/DecimalNumber.h"

#include <cmath>
#include <cstddef>

#include "Common/NumberText.h"

namespace Netforge {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the digits from |p| on.
std::size_t SkipDigits(std::string_view text, std::size_t p) {
  while (p < text.size() && IsDigit(text[p])) ++p;
  return p;
}

// Whether |text| is [sign] digits [. digits] or [sign] . digits, followed by
// an optional exponent, and nothing else.
bool IsDecimal(std::string_view text) {
  std::size_t p = 0;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
  const std::size_t integerEnd = SkipDigits(text, p);
  bool digits = integerEnd > p;
  p = integerEnd;
  if (p < text.size() && text[p] == '.') {
    const std::size_t fractionEnd = SkipDigits(text, p + 1);
    digits = digits || fractionEnd > p + 1;
    p = fractionEnd;
  }
  if (!digits) return false;
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    const std::size_t exponentEnd = SkipDigits(text, p);
    if (exponentEnd == p) return false;
    p = exponentEnd;
  }
  return p == text.size();
}

std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;  // a cell may be a whole line of text
  std::string quoted = "\"";
  quoted.append(text.substr(0, kShown));
  if (text.size() > kShown) quoted += "...";
  quoted += '"';
  return quoted;
}

// For a text such as "1,5" or "-0,25e3": the same text with the comma as a
// point, when that makes it a decimal number.
bool IsDecimalWithComma(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) return false;
  std::string pointed(text);
  pointed[comma] = '.';
  return pointed.find('.') == comma && IsDecimal(pointed);
}

}  // namespace

std::string ParseDecimalNumber(std::string_view text, double& value) {
  if (text.empty()) return "empty where a number is due";
  if (!IsDecimal(text)) {
    if (IsDecimalWithComma(text)) {
      std::string pointed(text);
      pointed[pointed.find(',')] = '.';
      return Quoted(text) + " has a decimal comma: write " + pointed;
    }
    return Quoted(text) + " is not a decimal number";
  }
  double parsed = 0.0;
  ScanDouble(text.data(), text.data() + text.size(), parsed);
  if (!std::isfinite(parsed)) return Quoted(text) + " is too large for a double";
  value = parsed;
  return std::string();
}

}  // namespace Netforge
