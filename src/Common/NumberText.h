// Locale-independent number text, shared by every reader and writer.
//
// The formatters produce exactly the bytes of the C library's printf
// conversions named beside them, in the "C" locale, whatever global C or C++
// locale is in force. The scanners accept what sscanf's "%ld" and "%lf" accept
// in the "C" locale (leading white space, an optional sign, and the number;
// text after the number is left alone). All of them are built on
// std::to_chars / std::from_chars and never allocate.
#ifndef NETFORGE_COMMON_NUMBERTEXT_H
#define NETFORGE_COMMON_NUMBERTEXT_H

#include <cstddef>
#include <string>

namespace Netforge {

// Large enough for any formatted number below: "%.*f" of DBL_MAX at precision
// 15 needs 309 digits, a sign, a point and 15 decimals.
inline constexpr std::size_t kNumberBufferSize = 400;

// "%ld". Writes into [first, first + kNumberBufferSize) and returns the end.
char* FormatLong(char* first, long value);

// "%.*f" with |precision| digits after the point (0 to 30).
char* FormatFixed(char* first, double value, int precision);

// "%.*g" with |precision| significant digits (1 to 30): trailing zeros and a
// trailing point dropped, exponent form for very small and large magnitudes.
char* FormatGeneral(char* first, double value, int precision);

// The fewest of "%.15g", "%.16g" and "%.17g" that reads back as exactly
// |value| (17 significant digits always do): the text of FormatGeneral at
// precision 15 for every value that it already holds exactly, more digits
// only where 15 would lose bits. Infinities and NaN as at precision 15.
char* FormatExact(char* first, double value);

// Convenience forms that append to a string.
void AppendLong(std::string& out, long value);
void AppendFixed(std::string& out, double value, int precision);
void AppendGeneral(std::string& out, double value, int precision);
void AppendExact(std::string& out, double value);
// "1 neuron", "2 neurons": |n| and |noun|, with an s unless |n| is 1. For
// messages that count things.
std::string CountText(long n, const char* noun);

enum class ScanResult {
  kOk,          // a number was read
  kNoNumber,    // the text does not begin with a number
  kOutOfRange,  // an integer that does not fit the requested type
};

// sscanf "%ld": optional white space, optional sign, at least one decimal
// digit. A value outside [min, max] is kOutOfRange rather than wrapped or
// clamped. On success *end (if given) points after the last digit.
ScanResult ScanLong(const char* text, long& value, long min, long max, const char** end = nullptr);

// sscanf "%lf" / strtod in the "C" locale: optional white space, optional
// sign, then a decimal number with optional exponent, a hexadecimal number
// ("0x1.8p3"), "inf", "infinity" or "nan" (any case). Magnitudes beyond the
// double range give an infinity, those below it zero, as strtod does.
ScanResult ScanDouble(const char* text, double& value, const char** end = nullptr);
// The same for the text [first, last), which need not end in a zero byte
// (a word seen in place in a stream's buffer); nothing from |last| on is read.
ScanResult ScanDouble(const char* first, const char* last, double& value, const char** end = nullptr);

}  // namespace Netforge

#endif  // NETFORGE_COMMON_NUMBERTEXT_H
