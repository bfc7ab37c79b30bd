#include "Common/NumberText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace Netforge {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive check that [text, last) starts with the lower-case |word|.
bool StartsWithWord(const char* text, const char* last, const char* word) {
  for (; *word != '\0'; ++text, ++word) {
    if (text == last || Lower(*text) != *word) return false;
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

// Whether arithmetic rounds to nearest, asked of the arithmetic itself: half
// the spacing of the doubles above and below 1, both ties, round back to 1
// (the even neighbour) only in that mode. Cheaper than fegetround, which
// reads the FPU's control word. The operands are volatile so that the
// compiler cannot work the sums out in advance.
bool RoundsToNearest() {
  static volatile double one = 1.0;
  static volatile double halfUlpAbove = 0x1p-53;  // half the spacing above 1
  static volatile double halfUlpBelow = 0x1p-54;  // half the spacing below 1
  return one + halfUlpAbove == 1.0 && one - halfUlpBelow == 1.0;
}

// Eight decimal digits at |p| as one number, or -1 when one of the eight
// bytes is not a digit: the digits are combined pairwise in one 64-bit word
// instead of one at a time, as the numbers of a file carry 15 or more.
std::int64_t EightDigits(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if (std::endian::native != std::endian::little) return -1;
  // Every byte in 0x30-0x3F, and still so with 6 added: '0' to '9'.
  if (((word & 0xF0F0F0F0F0F0F0F0ULL) | (((word + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) !=
      0x3333333333333333ULL) {
    return -1;
  }
  const std::uint64_t digits = word - 0x3030303030303030ULL;
  std::uint64_t value = digits * 10 + (digits >> 8);  // pairs of digits
  value = (((value & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
           (((value >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
          32;
  return static_cast<std::int64_t>(value);
}

// Four decimal digits at |p| as one number, or -1, as EightDigits does.
std::int32_t FourDigits(const char* p) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  if (std::endian::native != std::endian::little) return -1;
  if (((word & 0xF0F0F0F0U) | (((word + 0x06060606U) & 0xF0F0F0F0U) >> 4)) != 0x33333333U) return -1;
  std::uint32_t digits = word - 0x30303030U;
  digits = digits * 10 + (digits >> 8);                                     // pairs in bytes 0 and 2
  return static_cast<std::int32_t>(((digits & 0xFF) * 100) + ((digits >> 16) & 0xFF));
}

// Appends the digits from |p| on to |digits|, eight or four at a time where
// it can, and returns the end of them; |count| grows by their number. Stops
// taking whole groups once 19 digits, all that 64 bits hold, are reached.
const char* TakeDigits(const char* p, const char* last, std::uint64_t& digits, int& count) {
  while (last - p >= 8 && count <= 11) {
    const std::int64_t eight = EightDigits(p);
    if (eight < 0) break;
    digits = digits * 100000000ULL + static_cast<std::uint64_t>(eight);
    p += 8;
    count += 8;
  }
  if (last - p >= 4 && count <= 15) {
    const std::int32_t four = FourDigits(p);
    if (four >= 0) {
      digits = digits * 10000 + static_cast<std::uint64_t>(four);
      p += 4;
      count += 4;
    }
  }
  for (; p != last && IsDigit(*p); ++p, ++count) digits = digits * 10 + static_cast<unsigned>(*p - '0');
  return p;
}

// The numbers of a network file are short decimals without exponent
// ("-0.0621509445478683"), millions of them. When the digits, read as one
// integer, are at most 2^53 and at most 22 of them follow the point, both
// that integer and the power of ten are exact doubles, and their quotient,
// rounded once by the division, is the double nearest to the text: exactly
// what from_chars returns, at a fraction of its cost. Returns the end of the
// number, or nullptr when the text is not of that kind (from_chars decides
// then). Only in the default rounding mode, the one from_chars rounds in.
const char* ScanShortDecimal(const char* p, const char* last, double& magnitude) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr std::uint64_t kExactLimit = std::uint64_t{1} << 53;
  constexpr int kMaxDigits = 19;  // any 19 digits fit in 64 bits
  std::uint64_t digits = 0;
  int count = 0;
  // The integer part is mostly a single digit; the grouped steps pay off in
  // the fraction.
  for (; p != last && IsDigit(*p); ++p, ++count) digits = digits * 10 + static_cast<unsigned>(*p - '0');
  int decimals = 0;
  if (p != last && *p == '.') {
    int all = count;
    p = TakeDigits(p + 1, last, digits, all);
    decimals = all - count;
  }
  if (count + decimals > kMaxDigits || decimals > 22 || digits > kExactLimit) return nullptr;
  if (p != last && (*p == 'e' || *p == 'E')) return nullptr;
  if (!RoundsToNearest()) return nullptr;
  magnitude = static_cast<double>(digits) / kPowersOfTen[decimals];
  return p;
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

char* FormatExact(char* first, double value) {
  char* end = FormatGeneral(first, value, 15);
  if (!std::isfinite(value)) return end;
  for (int precision = 16; precision <= 17; ++precision) {
    double back = 0.0;
    std::from_chars(first, end, back);
    if (std::bit_cast<std::uint64_t>(back) == std::bit_cast<std::uint64_t>(value)) break;
    end = FormatGeneral(first, value, precision);
  }
  return end;
}

std::string CountText(long n, const char* noun) {
  std::string text;
  AppendLong(text, n);
  text += ' ';
  text += noun;
  if (n != 1) text += 's';
  return text;
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

void AppendExact(std::string& out, double value) {
  char buffer[kNumberBufferSize];
  out.append(buffer, FormatExact(buffer, value));
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
  return ScanDouble(text, EndOfText(text), value, end);
}

ScanResult ScanDouble(const char* first, const char* last, double& value, const char** end) {
  const char* p = first;
  while (p != last && IsSpace(*p)) ++p;
  bool negative = false;
  if (p != last && (*p == '+' || *p == '-')) negative = (*p++ == '-');
  const double sign = negative ? -1.0 : 1.0;
  const auto at = [&p, last](std::ptrdiff_t i) { return i < last - p ? p[i] : '\0'; };

  if (StartsWithWord(p, last, "inf")) {
    p += StartsWithWord(p, last, "infinity") ? 8 : 3;
    value = sign * std::numeric_limits<double>::infinity();
    if (end != nullptr) *end = p;
    return ScanResult::kOk;
  }
  if (StartsWithWord(p, last, "nan")) {
    p += 3;
    if (at(0) == '(') {  // "nan(n-char-sequence)"
      const char* q = p + 1;
      while (q != last && (IsDigit(*q) || (Lower(*q) >= 'a' && Lower(*q) <= 'z') || *q == '_')) ++q;
      if (q != last && *q == ')') p = q + 1;
    }
    value = std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    if (end != nullptr) *end = p;
    return ScanResult::kOk;
  }

  if (at(0) == '0' && Lower(at(1)) == 'x' && (IsHexDigit(at(2)) || (at(2) == '.' && IsHexDigit(at(3))))) {
    double magnitude = 0.0;
    const auto result = std::from_chars(p + 2, last, magnitude, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range) magnitude = OutOfRangeValue(p + 2, result.ptr, true);
    value = sign * magnitude;
    if (end != nullptr) *end = result.ptr;
    return ScanResult::kOk;
  }

  if (!IsDigit(at(0)) && !(at(0) == '.' && IsDigit(at(1)))) return ScanResult::kNoNumber;
  double magnitude = 0.0;
  const char* number_end = ScanShortDecimal(p, last, magnitude);
  if (number_end == nullptr) {
    const auto result = std::from_chars(p, last, magnitude, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return ScanResult::kNoNumber;
    if (result.ec == std::errc::result_out_of_range) magnitude = OutOfRangeValue(p, result.ptr, false);
    number_end = result.ptr;
  }
  value = sign * magnitude;
  if (end != nullptr) *end = number_end;
  return ScanResult::kOk;
}

}  // namespace Netforge
