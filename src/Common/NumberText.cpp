#include "Common/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace Netforge {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive check that |text| starts with the lower-case |word|.
bool StartsWithWord(const char* text, const char* word) {
  for (; *word != '\0'; ++text, ++word) {
    if (Lower(*text) != *word) return false;
  }
  return true;
}

// The library's strlen: every number read from a file passes here.
const char* EndOfText(const char* text) { return text + std::strlen(text); }

// from_chars reports values beyond the double range without giving one; decide,
// like strtod, between an infinity (too large) and zero (too small) from the
// decimal magnitude of the text.
double OutOfRangeValue(const char* digits, const char* end, bool hex) {
  long magnitude = 0;
  const char* p = digits;
  bool seen_nonzero = false;
  long integer_digits = 0;
  long leading_fraction_zeros = 0;
  const auto is_digit = hex ? IsHexDigit : IsDigit;
  for (; p < end && is_digit(*p); ++p) {
    if (*p != '0') seen_nonzero = true;
    if (seen_nonzero) ++integer_digits;
  }
  if (p < end && *p == '.') {
    for (++p; p < end && is_digit(*p); ++p) {
      if (!seen_nonzero && *p == '0') ++leading_fraction_zeros;
      else seen_nonzero = true;
    }
  }
  magnitude = integer_digits > 0 ? integer_digits - 1 : -(leading_fraction_zeros + 1);
  const char exponent_mark = hex ? 'p' : 'e';
  if (p < end && Lower(*p) == exponent_mark) {
    long exponent = 0;
    ScanLong(p + 1, exponent, std::numeric_limits<long>::min() / 2, std::numeric_limits<long>::max() / 2);
    magnitude += exponent;
  }
  return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

char* FormatLong(char* first, long value) {
  return std::to_chars(first, first + kNumberBufferSize, value).ptr;
}

char* FormatFixed(char* first, double value, int precision) {
  return std::to_chars(first, first + kNumberBufferSize, value, std::chars_format::fixed, precision).ptr;
}

char* FormatGeneral(char* first, double value, int precision) {
  return std::to_chars(first, first + kNumberBufferSize, value, std::chars_format::general, precision).ptr;
}

void AppendLong(std::string& out, long value) {
  char buffer[kNumberBufferSize];
  out.append(buffer, FormatLong(buffer, value));
}

void AppendFixed(std::string& out, double value, int precision) {
  char buffer[kNumberBufferSize];
  out.append(buffer, FormatFixed(buffer, value, precision));
}

void AppendGeneral(std::string& out, double value, int precision) {
  char buffer[kNumberBufferSize];
  out.append(buffer, FormatGeneral(buffer, value, precision));
}

ScanResult ScanLong(const char* text, long& value, long min, long max, const char** end) {
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!IsDigit(*p)) return ScanResult::kNoNumber;

  // Accumulate the magnitude; once it passes the widest bound the digits are
  // still consumed so that *end is right, but the result is out of range.
  const unsigned long long limit = negative ? 0ULL - static_cast<unsigned long long>(min)
                                            : static_cast<unsigned long long>(max);
  unsigned long long magnitude = 0;
  bool overflow = false;
  for (; IsDigit(*p); ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (!overflow && magnitude > (limit - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
  }
  if (end != nullptr) *end = p;
  if (overflow || magnitude > limit) return ScanResult::kOutOfRange;
  if (negative) {
    value = magnitude == 0 ? 0 : -static_cast<long>(magnitude - 1) - 1;
  } else {
    value = static_cast<long>(magnitude);
  }
  if (value < min || value > max) return ScanResult::kOutOfRange;
  return ScanResult::kOk;
}

ScanResult ScanDouble(const char* text, double& value, const char** end) {
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  const double sign = negative ? -1.0 : 1.0;

  if (StartsWithWord(p, "inf")) {
    p += StartsWithWord(p, "infinity") ? 8 : 3;
    value = sign * std::numeric_limits<double>::infinity();
    if (end != nullptr) *end = p;
    return ScanResult::kOk;
  }
  if (StartsWithWord(p, "nan")) {
    p += 3;
    if (*p == '(') {  // "nan(n-char-sequence)"
      const char* q = p + 1;
      while (IsDigit(*q) || (Lower(*q) >= 'a' && Lower(*q) <= 'z') || *q == '_') ++q;
      if (*q == ')') p = q + 1;
    }
    value = std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    if (end != nullptr) *end = p;
    return ScanResult::kOk;
  }

  const char* text_end = EndOfText(p);
  if (p[0] == '0' && Lower(p[1]) == 'x' && (IsHexDigit(p[2]) || (p[2] == '.' && IsHexDigit(p[3])))) {
    double magnitude = 0.0;
    const auto result = std::from_chars(p + 2, text_end, magnitude, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range) magnitude = OutOfRangeValue(p + 2, result.ptr, true);
    value = sign * magnitude;
    if (end != nullptr) *end = result.ptr;
    return ScanResult::kOk;
  }

  if (!IsDigit(*p) && !(*p == '.' && IsDigit(p[1]))) return ScanResult::kNoNumber;
  double magnitude = 0.0;
  const auto result = std::from_chars(p, text_end, magnitude, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return ScanResult::kNoNumber;
  if (result.ec == std::errc::result_out_of_range) magnitude = OutOfRangeValue(p, result.ptr, false);
  value = sign * magnitude;
  if (end != nullptr) *end = result.ptr;
  return ScanResult::kOk;
}

}  // namespace Netforge
