#include "KQmessage/KQML.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <iostream>
#include <utility>

#include "Common/Assert.h"
#include "Common/Console.h"
#include "Common/NumberText.h"
#include "Common/StrCase.h"

namespace {

constexpr int kInitialSlots = 16;

// Throws |error| as a TKQstructure::Error, whose catcher owns it. Until then
// it is held, so a failure while it is being built leaks nothing.
[[noreturn]] void Throw(std::unique_ptr<TKQstructure> error) {
  throw TKQstructure::Error{error.release()};
}

// Throws an Error carrying (error :type <type> :<key> <value>).
[[noreturn]] void ThrowError(const char* type, const char* key, const char* value) {
  std::unique_ptr<TKQstructure> error(MakeError(type));
  error->Set(key, value);
  Throw(std::move(error));
}

}  // namespace

// ---- Construction, copying, destruction ----

TKQstructure::TKQstructure() : TKQstructure("unknown") {}

TKQstructure::TKQstructure(const char* headText)
    : head((NF_ASSERT(headText != NULL), headText)),
      pairs(std::make_unique<Pair[]>(kInitialSlots)),
      capacity(kInitialSlots),
      count(0) {}

TKQstructure::TKQstructure(const TKQstructure& other)
    : head(other.head), pairs(std::make_unique<Pair[]>(other.count)), capacity(other.count), count(0) {
  for (int i = 0; i < other.count; ++i) {
    pairs[i].keyword = other.pairs[i].keyword;
    pairs[i].value = std::make_unique<TKQstructure>(*other.pairs[i].value);
    ++count;
  }
}

TKQstructure& TKQstructure::operator=(const TKQstructure& other) {
  if (this != &other) {
    TKQstructure copy(other);
    std::swap(head, copy.head);
    std::swap(pairs, copy.pairs);
    std::swap(capacity, copy.capacity);
    std::swap(count, copy.count);
  }
  return *this;
}

TKQstructure::~TKQstructure() = default;

// ---- Pairs ----

const char* TKQstructure::GetKeyword(int index) const {
  NF_ASSERT(index >= 0 && index < count);
  return pairs[index].keyword.c_str();
}

TKQstructure* TKQstructure::GetValue(int index) const {
  NF_ASSERT(index >= 0 && index < count);
  return pairs[index].value.get();
}

int TKQstructure::FindLast(const char* keyword) const {
  for (int i = count - 1; i >= 0; --i) {
    if (Netforge::strcasecmp(pairs[i].keyword.c_str(), keyword) == 0) return i;
  }
  return -1;
}

int TKQstructure::FindFirst(const char* keyword) const {
  for (int i = 0; i < count; ++i) {
    if (Netforge::strcasecmp(pairs[i].keyword.c_str(), keyword) == 0) return i;
  }
  return -1;
}

void TKQstructure::Reserve() {
  if (count < capacity) return;
  NF_ASSERT(capacity <= INT_MAX / 2);
  int grown = capacity * 2;
  if (grown < kInitialSlots) grown = kInitialSlots;
  auto moved = std::make_unique<Pair[]>(grown);
  for (int i = 0; i < count; ++i) moved[i] = std::move(pairs[i]);
  pairs = std::move(moved);
  capacity = grown;
}

// ---- Setting values ----

void TKQstructure::Set(const char* keyword, TKQstructure* newval) {
  NF_ASSERT(newval != NULL);
  // Owned from here on, so that a failed allocation below does not leak it.
  std::unique_ptr<TKQstructure> value(newval);
  const int found = FindLast(keyword);
  if (found >= 0) {
    pairs[found].value = std::move(value);
    return;
  }
  std::string copy(keyword);
  Reserve();
  pairs[count].keyword = std::move(copy);
  pairs[count].value = std::move(value);
  ++count;
}

void TKQstructure::Set(const char* keyword, const char* text) { Set(keyword, new TKQstructure(text)); }

void TKQstructure::Set(const char* keyword, long n) {
  char buffer[Netforge::kNumberBufferSize];
  *Netforge::FormatLong(buffer, n) = '\0';
  Set(keyword, static_cast<const char*>(buffer));
}

void TKQstructure::Set(const char* keyword, double x) {
  char buffer[Netforge::kNumberBufferSize];
  *Netforge::FormatFixed(buffer, x, 6) = '\0';
  Set(keyword, static_cast<const char*>(buffer));
}

void TKQstructure::Set(const char* keyword, bool b) { Set(keyword, b ? "true" : "false"); }

// ---- Reading values ----

TKQstructure* TKQstructure::Find(const char* keyword) const {
  const int found = FindLast(keyword);
  return found >= 0 ? pairs[found].value.get() : nullptr;
}

TKQstructure* TKQstructure::Get(const char* keyword) const {
  TKQstructure* value = Find(keyword);
  NF_ASSERT(value != NULL);
  return value;
}

TKQstructure* TKQstructure::Require(const char* keyword) const {
  TKQstructure* value = Find(keyword);
  if (value == nullptr) ThrowError("invalid-message", "expected", keyword);
  return value;
}

void TKQstructure::Expect(const char* keyword, const char* value) const {
  const TKQstructure* found = Require(keyword);
  if (value[0] == '\0' || Netforge::strcasecmp(found->GetHead(), value) == 0) return;
  std::unique_ptr<TKQstructure> error(MakeError("invalid-message"));
  error->Set("tag", keyword);
  error->Set("expected-value", value);
  Throw(std::move(error));
}

void TKQstructure::Remove(const char* keyword) {
  const int found = FindFirst(keyword);
  if (found < 0) return;
  if (found != count - 1) pairs[found] = std::move(pairs[count - 1]);
  pairs[count - 1] = Pair{};
  --count;
}

bool TKQstructure::ToBoolean(const char* text) {
  if (Netforge::strcasecmp(text, "TRUE") == 0) return true;
  if (Netforge::strcasecmp(text, "FALSE") == 0) return false;
  ThrowError("type-error", "expected", "boolean");
}

// ---- Conversions ----

long ToInteger(const char* text) {
  long value = 0;
  if (Netforge::ScanLong(text, value, LONG_MIN, LONG_MAX) != Netforge::ScanResult::kOk) {
    ThrowError("invalid-message", "integer-expected", text);
  }
  return value;
}

double ToNumber(const char* text) {
  double value = 0.0;
  if (Netforge::ScanDouble(text, value) != Netforge::ScanResult::kOk) {
    ThrowError("invalid-message", "number-expected", text);
  }
  return value;
}

long ScanInteger(const char* text) {
  long value = 0;
  const int err = Netforge::ScanLong(text, value, LONG_MIN, LONG_MAX) == Netforge::ScanResult::kOk ? 1 : 0;
  NF_ASSERT(err == 1);
  return value;
}

double ScanNumber(const char* text) {
  double value = 0.0;
  const int err = Netforge::ScanDouble(text, value) == Netforge::ScanResult::kOk ? 1 : 0;
  NF_ASSERT(err == 1);
  return value;
}

// ---- Free functions ----

TKQstructure* MakeError(const char* type) {
  auto error = std::make_unique<TKQstructure>("error");
  error->Set("type", type);
  return error.release();
}

std::string JoinArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    joined += argv[i];
    joined += ' ';
  }
  return joined;
}

namespace {

bool IsPrintable(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= '!' && byte <= '~';
}

bool IsSpecial(char c, const char* specials) { return c != '\0' && std::strchr(specials, c) != nullptr; }

}  // namespace

std::string NextToken(const char*& cursor, const char* specials) {
  while (*cursor != '\0' && !IsPrintable(*cursor)) ++cursor;
  if (*cursor == '\0') return std::string();
  if (IsSpecial(*cursor, specials)) return std::string(1, *cursor++);
  const char* start = cursor;
  while (IsPrintable(*cursor) && (*cursor == ':' || !IsSpecial(*cursor, specials))) ++cursor;
  return std::string(start, cursor);
}

bool CheckToken(char first) {
  if (first != '\0' && first != '(' && first != ')' && first != ':') return true;
  Netforge::WriteConsole(Netforge::ConsoleStream::Error, "special character unexpected\n");
  return false;
}

namespace {

// One parse of the text form. Works on its own cursor so that the caller's
// cursor moves only when the parse succeeds.
class TextParser {
 public:
  explicit TextParser(const char* text) : start(text), cursor(text) {}

  const char* Cursor() const { return cursor; }

  std::unique_ptr<TKQstructure> ParseStructure(int depth) {
    std::string token = Next();
    if (token != "(") return std::make_unique<TKQstructure>(Checked(token).c_str());
    if (depth >= kMaxParseDepth) Fail("too-deep");
    auto result = std::make_unique<TKQstructure>(Checked(Next()).c_str());
    for (token = Next(); token != ")"; token = Next()) {
      if (token != ":") Fail("pair-expected");
      const std::string keyword = Checked(Next());
      std::unique_ptr<TKQstructure> value = ParseStructure(depth + 1);
      result->Set(keyword.c_str(), value.release());
    }
    return result;
  }

  void RequireEnd() {
    if (!Next("").empty()) Fail("text-after-message");
  }

 private:
  // Reads the next token and remembers where it began, for the error report.
  std::string Next(const char* specials = "():") {
    while (*cursor != '\0' && !IsPrintable(*cursor)) ++cursor;
    tokenStart = cursor;
    return NextToken(cursor, specials);
  }

  const std::string& Checked(const std::string& token) {
    if (!CheckToken(token.empty() ? '\0' : token[0])) Fail("special-character-unexpected");
    return token;
  }

  [[noreturn]] void Fail(const char* reason) {
    std::unique_ptr<TKQstructure> error(MakeError("parse-error"));
    error->Set("reason", reason);
    error->Set("position", static_cast<long>(tokenStart - start));
    Throw(std::move(error));
  }

  const char* start;
  const char* cursor;
  const char* tokenStart = nullptr;
};

}  // namespace

TKQstructure* Parse(const char*& cursor) {
  TextParser parser(cursor);
  std::unique_ptr<TKQstructure> result = parser.ParseStructure(0);
  cursor = parser.Cursor();
  return result.release();
}

TKQstructure* ParseMessage(const char*& cursor) {
  TextParser parser(cursor);
  std::unique_ptr<TKQstructure> result = parser.ParseStructure(0);
  parser.RequireEnd();
  cursor = parser.Cursor();
  return result.release();
}

// The writable cursor moves as far as the read-only one did.
TKQstructure* Parse(char*& cursor) {
  const char* reading = cursor;
  TKQstructure* result = Parse(reading);
  cursor += reading - cursor;
  return result;
}

TKQstructure* ParseMessage(char*& cursor) {
  const char* reading = cursor;
  TKQstructure* result = ParseMessage(reading);
  cursor += reading - cursor;
  return result;
}

// ---- Text form ----

namespace {

void AppendText(std::string& out, const TKQstructure& s) {
  if (s.GetCount() == 0) {
    out += s.GetHead();
    return;
  }
  out += '(';
  out += s.GetHead();
  for (int i = 0; i < s.GetCount(); ++i) {
    out += " :";
    out += s.GetKeyword(i);
    out += ' ';
    AppendText(out, *s.GetValue(i));
  }
  out += ')';
}

}  // namespace

std::string TextForm(const TKQstructure* s) {
  NF_ASSERT(s != NULL);
  std::string out;
  AppendText(out, *s);
  return out;
}

void Print(const TKQstructure* s) { std::cout << TextForm(s); }

void PrintLine(const TKQstructure* s) { std::cout << TextForm(s) << std::endl; }
