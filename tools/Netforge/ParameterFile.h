// The parameter file of the Netforge tool: reading and validation.
//
// A parameter file is a sequence of words separated by white space. Seven
// keywords, matched ignoring letter case ("Layers", "LayerSize", "Bias",
// "MinWeight", "MaxWeight", "FileName", "Seed"), are each followed by a one-character
// separator (normally "=", its value is not checked) and their value; every
// other word is skipped without a message, and a keyword given twice keeps
// its last value. ReadParameterFile turns such a stream into
// GenerationSettings and ValidateSettings checks them before the generation
// run. Both report a failure as the one-line message the tool prints; neither
// keeps state.
//
// Bad input is refused with a message rather than guessed at: a value that is
// missing at end of file or is not a number of its kind, and a word longer
// than its limit (the limits are below), end the reading with a message; they
// are never cut short.
#ifndef NETFORGE_TOOL_PARAMETERFILE_H
#define NETFORGE_TOOL_PARAMETERFILE_H

#include <cstddef>
#include <iosfwd>
#include <string>

#include "GenerationSettings.h"

// The longest word (keyword, skipped word or number) the file may hold.
inline constexpr std::size_t kMaxWordLength = 255;
// The longest "Bias" value.
inline constexpr std::size_t kMaxBiasLength = 15;
// The longest "FileName" value.
inline constexpr std::size_t kMaxFileNameLength = 255;

// Reads settings from |in| until end of input, overwriting the fields of
// |settings| whose keywords appear; the other fields keep what they held (a
// default-constructed GenerationSettings holds the defaults). A UTF-8 byte
// order mark at the start is skipped.
//
// A number may be followed in its word by punctuation ("Layers = 3;",
// "MaxWeight = 0.5,"): the number is read and the punctuation is read on as
// a word of its own, as stream extraction does. A rest that could belong to
// the number in another notation is refused instead, since the number alone
// would silently be another value: a letter, digit, "_" or byte above 0x7F,
// or a ".", ",", "+" or "-" followed by a digit ("3.5", "1e5", "-0,5",
// "1,000", "3é").
//
// "LayerSize" reads as many sizes as the layer count known at that point, but
// only as many as the file holds. A word that is no number ends the list and
// the reading, as it leaves an extracting stream failed ("Layers = 3
// LayerSize = 2 3 LayerSize = 2 3 1" reads the sizes 2 3 and stops); the
// short list is left for ValidateSettings to report. A word that holds a
// byte above 0x7F next to a digit ("−1" with a Unicode minus) is refused as
// a bad size. Sizes beyond the final layer count are dropped at the end.
//
// "Seed" takes a whole number from 0 to 4294967295 (a sign is allowed, as in
// "+7" or "-0"); anything else, a negative number included, is reported
// rather than wrapped into range.
//
// Numbers are read in the "C" format whatever the locale of |in| or of the
// program; the stream's locale is left as it was. Returns the empty text on
// success, otherwise the message naming the problem; reading stops there and
// |settings| then holds what was read before it.
std::string ReadParameterFile(std::istream& in, GenerationSettings& settings);

// Checks |settings| in this order and returns the message of the first
// failure, or the empty text when they may be handed to the generation run:
//   a layer count below 1, a size list shorter than the layer count, a size
//   that is 0 or negative (first to last), a maximum weight not above the
//   minimum weight.
std::string ValidateSettings(const GenerationSettings& settings);

#endif  // NETFORGE_TOOL_PARAMETERFILE_H
