// The tokenizer, statement reader and statement writer of FileTools.
//
// Reading goes straight to the stream's buffer, and runs of word bytes and
// blanks are scanned in place in the buffer's get area, because files with
// millions of weights pass through the tokenizer. The stream's own state is
// kept as istream::get would leave it at the end of input (eofbit set), so
// callers can still ask the stream whether it has ended. Every byte taken is
// counted on the way for the positions in errors, without asking the stream
// where it stands: blanks as they are scanned (any of them may end a line),
// comment bytes one by one, the bytes of a word all at once at its end.
#include "FileHandler/ParseTools.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "Common/Assert.h"
#include "Common/NumberText.h"
#include "Common/StrCase.h"

namespace {

using Traits = std::char_traits<char>;

// Longest word ReadToken accepts. Real words (keywords, names, numbers) are a
// few dozen bytes; the bound keeps a hostile file from growing one word
// without limit in memory.
constexpr std::size_t kMaxWordLength = std::size_t{1} << 20;

// Messages of the format errors for which no fixed text exists.
constexpr const char* kStrayCloseBracket = "Unexpected ']' where a statement must begin";
constexpr const char* kCommentBeforeCloseBracket = "Unexpected ']': no comment may stand before a statement's ']'";
constexpr const char* kEndTagOutsideBlock = "Unexpected End Tag outside of a block";
constexpr const char* kWordTooLong = "Word longer than 1048576 characters";
constexpr const char* kHighByteAtNumber = "Non-ASCII byte next to a number";

// Bytes count as signed 8-bit values, so every byte from 0x80 up is a blank
// just like the control bytes; a comma separates numbers like a space.
constexpr bool IsBlank(int c) {
  const auto byte = static_cast<signed char>(static_cast<unsigned char>(c));
  return byte < 0x21 || byte == 0x7F || byte == ',';
}

constexpr bool IsSpecial(int c) {
  return c == '[' || c == ']' || c == '/' || c == '*' || c == '=' || c == '<' || c == '>';
}

// The class of every byte in one table, for the loop over a word's bytes,
// which sees every byte of the numbers in a network file.
enum ByteClass : unsigned char { kWordByte, kBlankByte, kSpecialByte };

struct ByteClasses {
  ByteClass of[256];
  constexpr ByteClasses() : of() {
    for (int c = 0; c < 256; ++c) of[c] = IsBlank(c) ? kBlankByte : IsSpecial(c) ? kSpecialByte : kWordByte;
  }
};
constexpr ByteClasses kByteClasses;

bool IsHighByte(int c) {
  return c != Traits::eof() && static_cast<unsigned char>(c) >= 0x80;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether |word| begins like a number: a digit, or a sign or "." followed by
// a digit or ".".
bool StartsLikeNumber(std::string_view word) {
  if (word.empty()) return false;
  if (IsDigit(word[0])) return true;
  const bool lead = word[0] == '+' || word[0] == '-' || word[0] == '.';
  return lead && word.size() > 1 && (IsDigit(word[1]) || word[1] == '.');
}

// A word byte (not Traits::eof(), not blank, not special).
bool IsWordByte(int c) {
  return c != Traits::eof() && kByteClasses.of[static_cast<unsigned char>(c)] == kWordByte;
}

// The bytes a stream buffer holds in memory, its get area, to scan a word's
// bytes in place instead of one call per byte. The area's pointers are
// protected members of std::streambuf; a derived class may name them, and
// the member pointers it obtains work on every std::streambuf.
struct GetArea : std::streambuf {
  static constexpr std::ptrdiff_t kMaxRun = std::ptrdiff_t{1} << 30;

  static const char* Next(std::streambuf* buf) { return (buf->*&GetArea::gptr)(); }
  static const char* End(std::streambuf* buf) { return (buf->*&GetArea::egptr)(); }
  static void Take(std::streambuf* buf, std::size_t count) {
    (buf->*&GetArea::gbump)(static_cast<int>(count));
  }
};

// The end of the run of blanks that starts at |first| (up to |last|), all
// of them counted as taken in |position|, line ends included.
template <typename Position>
const char* TakeBlankRun(const char* first, const char* last, Position& position) {
  const char* end = first;
  for (; end != last && kByteClasses.of[static_cast<unsigned char>(*end)] == kBlankByte; ++end) {
    if (*end == '\n') {
      ++position.line;
      position.lineStart = position.taken + (end - first) + 1;
    }
  }
  position.taken += end - first;
  if (end != first) position.afterHighByte = IsHighByte(static_cast<unsigned char>(end[-1]));
  return end;
}

// Byte access to an input stream through its buffer. A stream that is not
// good (or has no buffer) reads as ended, as with istream::get; meeting the
// end of input sets eofbit. Each byte taken moves the line count |position|
// (FileTools::Position, a private type, hence the template).
template <typename Position>
class ByteReader {
 public:
  ByteReader(std::istream& in, Position& position)
      : in_(in), buf_(in.good() ? in.rdbuf() : nullptr), position_(position) {}

  // The next byte without taking it, or Traits::eof().
  int Peek() {
    const int c = buf_ != nullptr ? buf_->sgetc() : Traits::eof();
    if (c == Traits::eof()) in_.setstate(std::ios_base::eofbit);
    return c;
  }

  // Takes the byte |c| that Peek has just returned.
  void Skip(int c) {
    buf_->sbumpc();
    Count(c);
  }

  // Takes the byte Peek has just returned without counting it; the caller
  // counts such bytes with SkippedInLine once it knows how many there were.
  // Spares the hot loop over a word's bytes the line end check.
  void SkipUncounted() { buf_->sbumpc(); }
  // Counts |count| bytes taken uncounted, none of them a line end.
  void SkippedInLine(std::size_t count) {
    position_.taken += static_cast<std::int64_t>(count);
    if (count > 0) position_.afterHighByte = false;
  }

  // Takes and returns the next byte, or Traits::eof().
  int Next() {
    const int c = buf_ != nullptr ? buf_->sbumpc() : Traits::eof();
    if (c == Traits::eof()) {
      in_.setstate(std::ios_base::eofbit);
    } else {
      Count(c);
    }
    return c;
  }

  // Appends the word bytes that follow to |word|, taking them uncounted,
  // up to the first other byte (not taken) or until |word| holds |limit|
  // bytes; returns that byte (or the word byte that did not fit).
  int TakeWord(std::string& word, std::size_t limit) {
    for (;;) {
      const int c = Peek();  // refills the get area when it is empty
      if (!IsWordByte(c) || word.size() == limit) return c;
      const char* first = GetArea::Next(buf_);
      const char* last = GetArea::End(buf_);
      if (first == last) {
        // A buffer without a get area hands out its bytes one by one.
        word.push_back(static_cast<char>(c));
        buf_->sbumpc();
        continue;
      }
      const char* end = first;
      while (end != last && kByteClasses.of[static_cast<unsigned char>(*end)] == kWordByte) ++end;
      const std::size_t count = std::min(static_cast<std::size_t>(end - first), limit - word.size());
      word.append(first, count);
      GetArea::Take(buf_, count);
    }
  }

  // Gives back the byte just taken, which is not a line end.
  bool Unget() {
    if (buf_ == nullptr || buf_->sungetc() == Traits::eof()) return false;
    --position_.taken;
    return true;
  }

  // Takes blanks (not comments); returns the first other byte, not taken.
  int SkipBlanks() {
    for (;;) {
      const int c = Peek();  // refills the get area when it is empty
      if (c == Traits::eof() || !IsBlank(c)) return c;
      const char* first = GetArea::Next(buf_);
      // At most kMaxRun bytes at a time, as the get area moves by int steps.
      const char* last = first + std::min<std::ptrdiff_t>(GetArea::End(buf_) - first, GetArea::kMaxRun);
      if (first == last) {
        Skip(c);
        continue;
      }
      const char* end = TakeBlankRun(first, last, position_);
      GetArea::Take(buf_, static_cast<std::size_t>(end - first));
    }
  }

 private:
  void Count(int c) {
    ++position_.taken;
    position_.afterHighByte = IsHighByte(c);
    if (c == '\n') {
      ++position_.line;
      position_.lineStart = position_.taken;
    }
  }

  std::istream& in_;
  std::streambuf* buf_;
  Position& position_;
};

// Unformatted, so no field width or locale of the stream can touch the text.
void Put(std::ostream& out, std::string_view text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Writes one statement in the form of its type. A line end is a bare '\n'
// without a flush: the operation that owns the file flushes and checks the
// stream once at its end, since a flush per line would make writing large
// networks slow.
void WriteForm(std::ostream& out, StatementType type, std::string_view name, std::string_view value,
               bool bracket) {
  switch (type) {
    case End:
      NF_ASSERT(bracket);
      if (name.empty()) return;
      Put(out, "[~");
      Put(out, name);
      Put(out, "]\n");
      return;
    case Token:
      Put(out, name);
      Put(out, " ");
      return;
    case Tag:
      if (bracket) Put(out, "[");
      Put(out, name);
      Put(out, bracket ? "]\n" : " ");
      return;
    case Assignment:
      if (bracket) Put(out, "[");
      Put(out, name);
      Put(out, bracket ? " = " : "=");
      Put(out, value);
      Put(out, bracket ? "]\n" : " ");
      return;
    case FormatVersion:
      NF_ASSERT(bracket);
      Put(out, "[FormatVersion = 1.0]\n\n");
      return;
  }
  NF_ASSERT_TEXT(false, "known statement type");
}

}  // namespace

// ---- Positions ----

void FileTools::BeginReading(std::istream& in) {
  position_ = Position{};
  position_.stream = &in;
}

void FileTools::Fail(std::istream& in, std::string message) {
  Track(in);
  FailAt(in, position_.statement, std::move(message));
}

void FileTools::FailAtToken(std::istream& in, std::string message) {
  Track(in);
  FailAt(in, position_.token, std::move(message));
}

void FileTools::FailAt(std::istream& in, Place place, std::string message) {
  throw Error{std::move(message), &in, nullptr, place.line, place.column};
}

// ---- Reading ----

// A token read on its own is a statement of its own for the checks that
// follow it; ReadStatement, which reads several tokens per statement, sets
// the statement's start again once it has read them.
std::string FileTools::ReadToken(std::istream& in) { return std::string(ReadTokenInto(in)); }

std::string_view FileTools::ReadTokenInto(std::istream& in) {
  Track(in);
  ByteReader reader(in, position_);
  for (;;) {
    const int c = reader.SkipBlanks();
    position_.token = position_.Here();
    position_.statement = position_.token;
    if (c == Traits::eof()) {
      word_.clear();  // a zero-terminated empty text, as ReadEndTag needs
      return word_;
    }
    if (!IsSpecial(c)) break;
    reader.Skip(c);
    const int next = reader.Peek();
    if (c == '/' && next == '*') {
      reader.Skip(next);
      SkipComment(in);
      continue;
    }
    word_.assign(1, static_cast<char>(c));
    if (c == '[' && next == '~') {
      reader.Skip(next);
      word_.push_back('~');
    }
    return word_;
  }

  // A word: up to a blank (taken), a special byte (left) or the end of input.
  const bool highByteBefore = position_.afterHighByte;
  word_.clear();
  const int c = reader.TakeWord(word_, kMaxWordLength);
  reader.SkippedInLine(word_.size());  // before the blank, which may end the line
  if (IsWordByte(c)) FailAtToken(in, kWordTooLong);
  if ((highByteBefore || IsHighByte(c)) && StartsLikeNumber(word_)) FailAtToken(in, kHighByteAtNumber);
  if (c != Traits::eof() && IsBlank(c)) reader.Skip(c);
  return word_;
}

bool FileTools::ReadBufferedWord(std::istream& in, std::string_view& word) {
  Track(in);
  std::streambuf* buf = in.good() ? in.rdbuf() : nullptr;
  if (buf == nullptr) return false;
  const char* first = GetArea::Next(buf);
  const char* last = first + std::min<std::ptrdiff_t>(GetArea::End(buf) - first, GetArea::kMaxRun);
  const char* start = TakeBlankRun(first, last, position_);
  const char* stop = start;
  while (stop != last && kByteClasses.of[static_cast<unsigned char>(*stop)] == kWordByte) ++stop;
  // No word here, or one that may go on beyond the buffer or be too long:
  // the general path decides.
  if (stop == start || stop == last || static_cast<std::size_t>(stop - start) > kMaxWordLength) {
    GetArea::Take(buf, static_cast<std::size_t>(start - first));
    return false;
  }
  position_.token = position_.Here();
  position_.statement = position_.token;
  word = std::string_view(start, static_cast<std::size_t>(stop - start));
  if ((position_.afterHighByte || IsHighByte(static_cast<unsigned char>(*stop))) && StartsLikeNumber(word)) {
    FailAtToken(in, kHighByteAtNumber);
  }
  position_.taken += stop - start;
  position_.afterHighByte = false;
  std::size_t taken = static_cast<std::size_t>(stop - first);
  if (kByteClasses.of[static_cast<unsigned char>(*stop)] == kBlankByte) {  // as ReadToken takes it
    ++taken;
    ++position_.taken;
    position_.afterHighByte = IsHighByte(static_cast<unsigned char>(*stop));
    if (*stop == '\n') {
      ++position_.line;
      position_.lineStart = position_.taken;
    }
  }
  GetArea::Take(buf, taken);
  return true;
}

int FileTools::PeekToken(std::istream& in) {
  Track(in);
  ByteReader reader(in, position_);
  for (;;) {
    const int c = reader.SkipBlanks();
    if (c != '/') return c;
    reader.Skip(c);
    const int next = reader.Peek();
    if (next != '*') {
      if (!reader.Unget()) FailAtToken(in, "Cannot step back in the input");
      return c;
    }
    reader.Skip(next);
    SkipComment(in);
  }
}

// Nesting is counted rather than recursed, so that no file can exhaust the
// stack. Each nesting level starts with a space as its previous byte. When an
// inner comment ends, the outer level resumes with the "*" that opened the
// inner one as its previous byte: a "/" directly after an inner "*/" closes
// the outer comment too ("/* a /* b *//" is one whole comment). An
// unterminated comment is reported at its "/*", the two bytes just taken
// (which never span a line), as the end of the file says nothing about where
// the comment went wrong.
void FileTools::SkipComment(std::istream& in) {
  Track(in);
  Place start = position_.Here();
  start.column = start.column > 2 ? start.column - 2 : 1;
  ByteReader reader(in, position_);
  std::uint64_t depth = 1;
  int previous = ' ';
  for (;;) {
    const int c = reader.Next();
    if (c == Traits::eof()) FailAt(in, start, "Unexpected end of file during comment");
    if (previous == '*' && c == '/') {
      if (--depth == 0) return;
      previous = '*';
    } else if (previous == '/' && c == '*') {
      ++depth;
      previous = ' ';
    } else {
      previous = c;
    }
  }
}

Statement FileTools::ReadStatement(std::istream& in, const char* blockdef, bool continued) {
  Statement statement;
  ReadStatement(in, blockdef, continued, statement);
  return statement;
}

void FileTools::ReadStatement(std::istream& in, const char* blockdef, bool continued, Statement& statement) {
  Track(in);
  // Loops only to step over a format header.
  for (;;) {
    std::string_view token = ReadTokenInto(in);
    const Place start = position_.token;
    if (token.empty()) {
      // An open bracket must be closed before the input may end.
      if (blockdef != nullptr || continued) FailAtToken(in, "Unexpected end of file");
      SetStatement(statement, End, {});
      return;
    }
    if (token == "]") FailAtToken(in, continued ? kCommentBeforeCloseBracket : kStrayCloseBracket);

    if (continued || token == "[") {
      if (!continued) token = ReadTokenInto(in);
      ReadBracketItem(in, token, statement);
      position_.statement = start;
      if (continued || statement.type != Assignment ||
          Netforge::strcasecmp(statement.name.c_str(), "FORMATVERSION") != 0) {
        return;
      }
      // The format header: checked and skipped.
      if (statement.open) Fail(in, "Illegal Format of FormatVersion");
      const double version = ParseNumber(in, statement.value.c_str());
      if (!(version <= 1.0)) Fail(in, "Illegal Format Version");  // also rejects NaN
      continue;
    }

    if (token == "[~") {
      ReadEndTag(in, blockdef);
      position_.statement = start;
      SetStatement(statement, End, {});
      return;
    }
    SetStatement(statement, Token, token);
    return;
  }
}

void FileTools::SetStatement(Statement& statement, StatementType type, std::string_view name) {
  statement.type = type;
  statement.name.assign(name);
  statement.value.clear();
  statement.open = false;
}

// Both checks blame the item, the token read last.
void FileTools::CheckItem(std::istream& in, std::string_view item) {
  if (item.empty()) FailAtToken(in, "Unexpected end of file");
  if (IsSpecial(static_cast<unsigned char>(item[0]))) FailAtToken(in, "Unexpected special character");
}

void FileTools::ReadBracketItem(std::istream& in, std::string_view name, Statement& statement) {
  CheckItem(in, name);
  SetStatement(statement, Tag, name);

  ByteReader reader(in, position_);
  int c = reader.SkipBlanks();
  if (c == ']') {
    reader.Skip(c);
    return;
  }
  if (c != '=') {
    statement.open = true;
    return;
  }
  reader.Skip(c);
  statement.type = Assignment;
  const std::string_view value = ReadTokenInto(in);
  CheckItem(in, value);
  statement.value.assign(value);
  c = reader.SkipBlanks();
  if (c == ']') reader.Skip(c);
  else statement.open = true;
}

Statement FileTools::ReadBracketItem(std::istream& in, std::string name) {
  Statement statement;
  ReadBracketItem(in, name, statement);
  return statement;
}

// A wrong or misplaced end tag is blamed at its "[~", the token read last on
// entry; a missing "]" at whatever stands in its place. A token's text is
// word_, so its data is zero-terminated.
void FileTools::ReadEndTag(std::istream& in, const char* blockdef) {
  const Place start = position_.token;
  if (blockdef == nullptr) FailAt(in, start, kEndTagOutsideBlock);
  const std::string_view name = ReadTokenInto(in);
  if (Netforge::strcasecmp(name.data(), blockdef) != 0) FailAt(in, start, "Unexpected End Tag");
  if (ReadTokenInto(in) != "]") FailAtToken(in, "Expected ']'");
}

// ---- Statement checks ----

std::string FileTools::ExpectBlock(const Statement& statement, std::istream& in, const char* expected) {
  if (expected == nullptr) {
    if (statement.type != Tag) Fail(in, "start of block expected");
  } else if (statement.type != Tag || Netforge::strcasecmp(statement.name.c_str(), expected) != 0) {
    Fail(in, std::string("[") + expected + "] expected");
  }
  return statement.name;
}

void FileTools::ExpectEnd(const Statement& statement, std::istream& in) {
  if (statement.type != End) Fail(in, "End Tag expected");
}

bool FileTools::IsAssignment(const Statement& statement, const char* key) {
  NF_ASSERT(key != nullptr);
  return statement.type == Assignment && Netforge::strcasecmp(statement.name.c_str(), key) == 0;
}

std::string FileTools::GetString(const Statement& statement, std::istream& in, const char* key,
                                 const char* expected) {
  if (!IsAssignment(statement, key)) {
    std::string message = std::string("[") + key + " = <string>] expected";
    if (statement.type != End) message += statement.name;
    Fail(in, std::move(message));
  }
  if (expected == nullptr) return statement.value;
  if (Netforge::strcasecmp(statement.value.c_str(), expected) != 0) {
    Fail(in, std::string("[") + key + " = " + expected + "] expected");
  }
  return std::string();
}

std::int32_t FileTools::GetInteger(const Statement& statement, std::istream& in, const char* key) {
  if (!IsAssignment(statement, key)) Fail(in, std::string("[") + key + " = <integer>] expected");
  return ParseInteger(in, statement.value.c_str());
}

double FileTools::GetNumber(const Statement& statement, std::istream& in, const char* key) {
  if (!IsAssignment(statement, key)) Fail(in, std::string("[") + key + " = <number>] expected");
  return ParseNumber(in, statement.value.c_str());
}

double FileTools::GetNumberToken(const Statement& statement, std::istream& in) {
  if (statement.type != Token) Fail(in, "Token (number) expected");
  return ParseNumber(in, statement.name.c_str());
}

// ---- Number conversion ----

std::int32_t FileTools::ParseInteger(std::istream& in, const char* text) {
  NF_ASSERT(text != nullptr);
  long value = 0;
  const auto result = Netforge::ScanLong(text, value, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max());
  if (result != Netforge::ScanResult::kOk) Fail(in, "integer-expected");
  return static_cast<std::int32_t>(value);
}

double FileTools::ParseNumber(std::istream& in, const char* text) {
  NF_ASSERT(text != nullptr);
  return ParseNumber(in, std::string_view(text));
}

double FileTools::ParseNumber(std::istream& in, std::string_view text) {
  double value = 0.0;
  if (Netforge::ScanDouble(text.data(), text.data() + text.size(), value) != Netforge::ScanResult::kOk) {
    Fail(in, "number-expected");
  }
  return value;
}

char* FileTools::CopyString(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

// ---- Writing ----
//
// The named operations write their form directly instead of building a
// Statement first; the bytes are those WriteStatement gives for the same
// statement.

void FileTools::WriteStatement(const Statement& statement, std::ostream& out, bool bracket) {
  WriteForm(out, statement.type, statement.name, statement.value, bracket);
}

void FileTools::WriteFormatVersion(std::ostream& out) { WriteForm(out, FormatVersion, {}, {}, true); }

void FileTools::WriteTag(std::ostream& out, const char* name, bool bracket) {
  NF_ASSERT(name != nullptr);
  WriteForm(out, Tag, name, {}, bracket);
}

void FileTools::WriteEndTag(std::ostream& out, const char* name) {
  if (name != nullptr) WriteForm(out, End, name, {}, true);
}

void FileTools::WriteString(std::ostream& out, const char* key, const char* value, bool bracket) {
  NF_ASSERT(key != nullptr);
  NF_ASSERT(value != nullptr);
  WriteForm(out, Assignment, key, value, bracket);
}

void FileTools::WriteInteger(std::ostream& out, const char* key, long value, bool bracket) {
  NF_ASSERT(key != nullptr);
  char text[Netforge::kNumberBufferSize];
  const char* end = Netforge::FormatLong(text, value);
  WriteForm(out, Assignment, key, std::string_view(text, static_cast<std::size_t>(end - text)), bracket);
}

void FileTools::WriteNumber(std::ostream& out, const char* key, double value, int precision, bool bracket) {
  NF_ASSERT(key != nullptr);
  NF_ASSERT(precision >= 0 && precision <= 30);
  char text[Netforge::kNumberBufferSize];
  const char* end = Netforge::FormatFixed(text, value, precision);
  WriteForm(out, Assignment, key, std::string_view(text, static_cast<std::size_t>(end - text)), bracket);
}

void FileTools::WriteOpenBracket(std::ostream& out, bool bracket) {
  if (bracket) Put(out, "[");
}

void FileTools::WriteCloseBracket(std::ostream& out, bool bracket, bool newline) {
  if (!bracket) return;
  Put(out, "]");
  if (newline) WriteNewLine(out);
}

void FileTools::WriteNewLine(std::ostream& out) { Put(out, "\n"); }
