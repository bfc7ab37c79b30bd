#include "ParameterFile.h"

#include <cfloat>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <istream>
#include <locale>
#include <optional>
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

// Whole-word number conversions; a word with anything after the number is
// not a number.
bool WordToInt(const std::string& word, int& value) {
  long scanned = 0;
  const char* end = nullptr;
  if (Netforge::ScanLong(word.c_str(), scanned, INT_MIN, INT_MAX, &end) != Netforge::ScanResult::kOk) return false;
  if (end != word.c_str() + word.size()) return false;
  value = static_cast<int>(scanned);
  return true;
}

// A seed is an unsigned 32-bit value; a negative or larger number is refused
// rather than wrapped, so that each accepted text names one seed.
bool WordToSeed(const std::string& word, std::uint32_t& value) {
  static_assert(LONG_MAX >= UINT32_MAX, "a long must hold every seed");
  long scanned = 0;
  const char* end = nullptr;
  if (Netforge::ScanLong(word.c_str(), scanned, 0, UINT32_MAX, &end) != Netforge::ScanResult::kOk) return false;
  if (end != word.c_str() + word.size()) return false;
  value = static_cast<std::uint32_t>(scanned);
  return true;
}

// Weights must be finite single-precision numbers: an infinity or NaN would
// only turn into unusable weights later.
bool WordToFloat(const std::string& word, float& value) {
  double scanned = 0.0;
  const char* end = nullptr;
  if (Netforge::ScanDouble(word.c_str(), scanned, &end) != Netforge::ScanResult::kOk) return false;
  if (end != word.c_str() + word.size()) return false;
  if (!std::isfinite(scanned) || std::fabs(scanned) > FLT_MAX) return false;
  value = static_cast<float>(scanned);
  return true;
}

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

  std::istream& in_;
  GenerationSettings& settings_;
  std::optional<std::string> pending_;  // a word read ahead by the size list
};

std::string Reader::Run() {
  std::string word;
  for (;;) {
    if (pending_) {
      word = std::move(*pending_);
      pending_.reset();
    } else {
      const WordStatus status = ReadWord(word, kMaxWordLength);
      if (status == WordStatus::kEnd) break;
      if (status == WordStatus::kTooLong) return TooLong("Word", kMaxWordLength);
    }
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
  if (!WordToInt(word, settings_.layers)) return MissingOrInvalid(kLayers);
  return {};
}

// The list grows only with the numbers actually present, so an absurd layer
// count costs no memory before it is found to be unsupported by the file.
std::string Reader::ReadLayerSize() {
  const std::size_t count = settings_.layers > 0 ? static_cast<std::size_t>(settings_.layers) : 0;
  std::vector<int> sizes;
  if (SkipSeparator()) {
    std::string word;
    while (sizes.size() < count) {
      const WordStatus status = ReadWord(word, kMaxWordLength);
      if (status == WordStatus::kEnd) break;
      if (status == WordStatus::kTooLong) return TooLong("LayerSize value", kMaxWordLength);
      long ignored = 0;
      if (Netforge::ScanLong(word.c_str(), ignored, LONG_MIN, LONG_MAX) == Netforge::ScanResult::kNoNumber) {
        pending_ = std::move(word);  // the list ends before the next setting
        break;
      }
      int size = 0;
      if (!WordToInt(word, size)) return MissingOrInvalid(kLayerSize);
      sizes.push_back(size);
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
  if (!WordToFloat(word, weight)) return MissingOrInvalid(keyword);
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
  if (!WordToSeed(word, seed)) return MissingOrInvalid(kSeed);
  settings_.seed = seed;
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
