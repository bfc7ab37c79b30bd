#include "ParameterFile.h"

#include <cfloat>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <istream>
#include <locale>
#include <optional>
#include <string_view>
#include <vector>

#include "Common/NumberText.h"
#include "Common/StrCase.h"

namespace {

constexpr const char* kLayers = "Layers";
constexpr const char* kLayerSize = "LayerSize";
constexpr const char* kBias = "Bias";
constexpr const char* kMinWeight = "MinWeight";
constexpr const char* kMaxWeight = "MaxWeight";
constexpr const char* kFileName = "FileName";
constexpr const char* kSeed = "Seed";

// The white space of the "C" locale: what separates words in every locale.
bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A keyword matches a whole word only: a word holding a zero byte never
// matches, even if the text before that byte would.
bool Matches(const std::string& word, const char* keyword) {
  return word.size() == std::strlen(keyword) && Netforge::strcasecmp(word.c_str(), keyword) == 0;
}

std::string MissingOrInvalid(const char* keyword) {
  return std::string(keyword) + " value missing or invalid";
}

std::string TooLong(const std::string& what, std::size_t limit) {
  std::string message = what + " longer than ";
  Netforge::AppendLong(message, static_cast<long>(limit));
  return message + " characters";
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number may be followed in its word by punctuation, as in "Layers = 3;"
// or "MaxWeight = 0.5,": stream extraction reads the number and leaves the
// rest, which is then read on as a word of its own. The rest is split off
// only when it cannot belong to the number in another notation, since the
// number alone would then silently be another value: it must begin with
// ASCII punctuation other than "_", and a ".", ",", "+" or "-" must not be
// followed by a digit. So "3.5", "1e5", "-0,5" (a decimal comma), "1,000",
// "3_000", "4x" and "3é" are refused where a number is due.
bool CanSplitOff(std::string_view rest) {
  if (rest.empty()) return true;
  const unsigned char c = static_cast<unsigned char>(rest[0]);
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (c < 0x21 || c > 0x7E || letter || IsDigit(static_cast<char>(c)) || c == '_') return false;
  const bool mayStartNumber = c == '.' || c == ',' || c == '+' || c == '-';
  return !(mayStartNumber && rest.size() > 1 && IsDigit(rest[1]));
}

// The number at the start of |word| in the range [min, max], with the rest of
// the word (see CanSplitOff) in |rest|.
bool WordToLong(const std::string& word, long min, long max, long& value, std::string& rest) {
  const char* end = nullptr;
  if (Netforge::ScanLong(word.c_str(), value, min, max, &end) != Netforge::ScanResult::kOk) return false;
  rest.assign(end, word.c_str() + word.size());
  return CanSplitOff(rest);
}

bool WordToInt(const std::string& word, int& value, std::string& rest) {
  long scanned = 0;
  if (!WordToLong(word, INT_MIN, INT_MAX, scanned, rest)) return false;
  value = static_cast<int>(scanned);
  return true;
}

// A seed is an unsigned 32-bit value; a negative or larger number is refused
// rather than wrapped, so that each accepted text names one seed.
bool WordToSeed(const std::string& word, std::uint32_t& value, std::string& rest) {
  static_assert(LONG_MAX >= UINT32_MAX, "a long must hold every seed");
  long scanned = 0;
  if (!WordToLong(word, 0, UINT32_MAX, scanned, rest)) return false;
  value = static_cast<std::uint32_t>(scanned);
  return true;
}

// Weights must be finite single-precision numbers: an infinity or NaN would
// only turn into unusable weights later.
bool WordToFloat(const std::string& word, float& value, std::string& rest) {
  double scanned = 0.0;
  const char* end = nullptr;
  if (Netforge::ScanDouble(word.c_str(), scanned, &end) != Netforge::ScanResult::kOk) return false;
  rest.assign(end, word.c_str() + word.size());
  if (!CanSplitOff(rest)) return false;
  if (!std::isfinite(scanned) || std::fabs(scanned) > FLT_MAX) return false;
  value = static_cast<float>(scanned);
  return true;
}

// A UTF-8 byte order mark, which some editors put at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Gives a stream the classic locale for the lifetime of the guard.
class ClassicLocaleScope {
 public:
  explicit ClassicLocaleScope(std::istream& in) : in_(in), saved_(in.imbue(std::locale::classic())) {}
  ~ClassicLocaleScope() { in_.imbue(saved_); }
  ClassicLocaleScope(const ClassicLocaleScope&) = delete;
  ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

 private:
  std::istream& in_;
  std::locale saved_;
};

// One pass over a parameter file. Each Read* member returns the empty text or
// the message that ends the reading.
class Reader {
 public:
  Reader(std::istream& in, GenerationSettings& settings) : in_(in), settings_(settings) {}

  std::string Run();

 private:
  enum class WordStatus { kOk, kEnd, kTooLong };

  WordStatus ReadWord(std::string& word, std::size_t limit);
  WordStatus NextWord(std::string& word, std::size_t limit);
  bool SkipSeparator();
  std::string ReadValueWord(const char* keyword, std::size_t limit, const std::string& tooLongName,
                            std::string& word);
  std::string ReadSetting(const std::string& keyword);
  std::string ReadLayers();
  std::string ReadLayerSize();
  std::string ReadBias();
  std::string ReadWeight(const char* keyword, float& weight);
  std::string ReadFileName();
  std::string ReadSeed();

  // Reads on with |rest|, the punctuation split off a number, as a word.
  void ReadOnWith(std::string rest);

  std::istream& in_;
  GenerationSettings& settings_;
  std::optional<std::string> pending_;  // a word split off a number, read next
  bool stopped_ = false;                // a size list met a word that is no number
};

void Reader::ReadOnWith(std::string rest) {
  if (!rest.empty()) pending_ = std::move(rest);
}

std::string Reader::Run() {
  std::string word;
  bool first = true;
  while (!stopped_) {
    const WordStatus status = NextWord(word, kMaxWordLength);
    if (status == WordStatus::kEnd) break;
    if (status == WordStatus::kTooLong) return TooLong("Word", kMaxWordLength);
    // A byte order mark glues to the first word; it is no part of it.
    if (first && word.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
      word.erase(0, kByteOrderMark.size());
      if (word.empty()) continue;
    }
    first = false;
    std::string message = ReadSetting(word);
    if (!message.empty()) return message;
  }
  if (in_.bad()) return "Error while reading the parameter file";

  const std::size_t count = settings_.layers > 0 ? static_cast<std::size_t>(settings_.layers) : 0;
  if (settings_.layerSizes.size() > count) settings_.layerSizes.resize(count);
  return {};
}

// Reads the next word of at most |limit| characters. The blank that ends a
// word is consumed with it; blanks carry no meaning of their own.
Reader::WordStatus Reader::ReadWord(std::string& word, std::size_t limit) {
  using Traits = std::istream::traits_type;
  Traits::int_type c = in_.get();
  while (!Traits::eq_int_type(c, Traits::eof()) && IsBlank(c)) c = in_.get();
  if (Traits::eq_int_type(c, Traits::eof())) return WordStatus::kEnd;

  word.clear();
  while (!Traits::eq_int_type(c, Traits::eof()) && !IsBlank(c)) {
    if (word.size() == limit) return WordStatus::kTooLong;
    word.push_back(Traits::to_char_type(c));
    c = in_.get();
  }
  return WordStatus::kOk;
}

// The word split off a number before, if there is one, else the next word.
Reader::WordStatus Reader::NextWord(std::string& word, std::size_t limit) {
  if (!pending_) return ReadWord(word, limit);
  word = std::move(*pending_);
  pending_.reset();
  return WordStatus::kOk;
}

// Discards the one non-blank character after a keyword, whatever it is.
// Returns false at end of input.
bool Reader::SkipSeparator() {
  using Traits = std::istream::traits_type;
  Traits::int_type c = in_.get();
  while (!Traits::eq_int_type(c, Traits::eof()) && IsBlank(c)) c = in_.get();
  return !Traits::eq_int_type(c, Traits::eof());
}

// The separator and the single value word of |keyword|.
std::string Reader::ReadValueWord(const char* keyword, std::size_t limit, const std::string& tooLongName,
                                  std::string& word) {
  if (!SkipSeparator()) return MissingOrInvalid(keyword);
  switch (ReadWord(word, limit)) {
    case WordStatus::kOk:
      return {};
    case WordStatus::kEnd:
      return MissingOrInvalid(keyword);
    case WordStatus::kTooLong:
      break;
  }
  return TooLong(tooLongName, limit);
}

std::string Reader::ReadSetting(const std::string& keyword) {
  if (Matches(keyword, kLayers)) return ReadLayers();
  if (Matches(keyword, kLayerSize)) return ReadLayerSize();
  if (Matches(keyword, kBias)) return ReadBias();
  if (Matches(keyword, kMinWeight)) return ReadWeight(kMinWeight, settings_.minWeight);
  if (Matches(keyword, kMaxWeight)) return ReadWeight(kMaxWeight, settings_.maxWeight);
  if (Matches(keyword, kFileName)) return ReadFileName();
  if (Matches(keyword, kSeed)) return ReadSeed();
  return {};  // not a keyword: skipped
}

std::string Reader::ReadLayers() {
  std::string word;
  std::string message = ReadValueWord(kLayers, kMaxWordLength, "Layers value", word);
  if (!message.empty()) return message;
  std::string rest;
  if (!WordToInt(word, settings_.layers, rest)) return MissingOrInvalid(kLayers);
  ReadOnWith(std::move(rest));
  return {};
}

// Whether |word| holds a byte above 0x7F next to a digit, as in "−1" written
// with a Unicode minus: never a number, but meant as one.
bool TouchesANumber(const std::string& word) {
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (static_cast<unsigned char>(word[i]) < 0x80) continue;
    if ((i > 0 && IsDigit(word[i - 1])) || (i + 1 < word.size() && IsDigit(word[i + 1]))) return true;
  }
  return false;
}

// The list grows only with the numbers actually present, so an absurd layer
// count costs no memory before it is found to be unsupported by the file.
// A word that is no number ends the list and the reading, as it leaves a
// stream that extracts integers failed; the short list is then reported by
// ValidateSettings. A size with punctuation after it ("2," in "2, 3") ends
// the list the same way unless it was the last size.
std::string Reader::ReadLayerSize() {
  const std::size_t count = settings_.layers > 0 ? static_cast<std::size_t>(settings_.layers) : 0;
  std::vector<int> sizes;
  if (SkipSeparator()) {
    std::string word;
    while (sizes.size() < count && !stopped_) {
      const WordStatus status = NextWord(word, kMaxWordLength);
      if (status == WordStatus::kEnd) break;
      if (status == WordStatus::kTooLong) return TooLong("LayerSize value", kMaxWordLength);
      long ignored = 0;
      if (Netforge::ScanLong(word.c_str(), ignored, LONG_MIN, LONG_MAX) == Netforge::ScanResult::kNoNumber) {
        if (TouchesANumber(word)) return MissingOrInvalid(kLayerSize);
        stopped_ = true;
        break;
      }
      int size = 0;
      std::string rest;
      if (!WordToInt(word, size, rest)) return MissingOrInvalid(kLayerSize);
      sizes.push_back(size);
      ReadOnWith(std::move(rest));
    }
  }
  settings_.layerSizes = std::move(sizes);
  return {};
}

std::string Reader::ReadBias() {
  std::string word;
  std::string message = ReadValueWord(kBias, kMaxBiasLength, "Bias value", word);
  if (!message.empty()) return message;
  settings_.bias = Matches(word, "true");
  return {};
}

std::string Reader::ReadWeight(const char* keyword, float& weight) {
  std::string word;
  std::string message = ReadValueWord(keyword, kMaxWordLength, std::string(keyword) + " value", word);
  if (!message.empty()) return message;
  std::string rest;
  if (!WordToFloat(word, weight, rest)) return MissingOrInvalid(keyword);
  ReadOnWith(std::move(rest));
  return {};
}

std::string Reader::ReadFileName() {
  std::string word;
  std::string message = ReadValueWord(kFileName, kMaxFileNameLength, kFileName, word);
  if (!message.empty()) return message;
  // A zero byte would silently cut the name short when the file is opened.
  if (word.find('\0') != std::string::npos) return MissingOrInvalid(kFileName);
  settings_.fileName = std::move(word);
  return {};
}

std::string Reader::ReadSeed() {
  std::string word;
  std::string message = ReadValueWord(kSeed, kMaxWordLength, "Seed value", word);
  if (!message.empty()) return message;
  std::uint32_t seed = 0;
  std::string rest;
  if (!WordToSeed(word, seed, rest)) return MissingOrInvalid(kSeed);
  settings_.seed = seed;
  ReadOnWith(std::move(rest));
  return {};
}

std::string ShortListMessage(int layers) {
  std::string message = "LayerSize must list ";
  Netforge::AppendLong(message, layers);
  return message + (layers == 1 ? " size" : " sizes");
}

}  // namespace

std::string ReadParameterFile(std::istream& in, GenerationSettings& settings) {
  ClassicLocaleScope classic(in);
  return Reader(in, settings).Run();
}

std::string ValidateSettings(const GenerationSettings& settings) {
  if (settings.layers < 1) return "#LAyers not specified or invalid";
  const std::size_t count = static_cast<std::size_t>(settings.layers);
  if (settings.layerSizes.size() < count) return ShortListMessage(settings.layers);
  for (std::size_t i = 0; i < count; ++i) {
    if (settings.layerSizes[i] <= 0) return "Invalid layer size specified";
  }
  if (!(settings.maxWeight > settings.minWeight)) return "MaxWeight must be > MinWeight";
  return {};
}
