// TKQstructure: the library's structured message, modelled on KQML.
//
// A structure is a head word followed by keyword/value pairs in insertion
// order, where every value is a structure itself; a structure without pairs
// is an atom whose value is its head ("10", "true", "invalid-message"). The
// library uses structures as error descriptions, as parameter bags of the
// error measures and as options of the file readers and writers.
//
// Ownership: a structure owns its head, its keywords and its value
// structures; destroying it destroys the whole tree. A value handed to Set
// belongs to the structure from then on (even when Set fails); values
// returned by Find, Get, Require and GetValue stay owned by the structure and
// live until they are replaced, removed or the structure is destroyed.
// Structures returned by Parse, ParseMessage and MakeError belong to the
// caller.
//
// Keywords are matched case-insensitively (Netforge::strcasecmp) and are
// stored without the leading colon, in the spelling first given.
//
// Pair slots: a constructed structure has 16 slots; when they are full the
// count of slots doubles (at least to 16). A copy has exactly as many slots as
// the source has pairs, possibly 0. GetCapacity/GetCount make this visible.
//
// Text form: an atom is its head; a structure with pairs is
//     (head :keyword value :keyword value)
// Nothing is quoted or escaped. Print writes that form to standard output.
#ifndef NETFORGE_KQMESSAGE_KQML_H
#define NETFORGE_KQMESSAGE_KQML_H

#include <memory>
#include <string>

class TKQstructure {
 public:
  // Thrown by the conversions (Require, Expect, ToBoolean, ToInteger,
  // ToNumber) and by a failed Parse/ParseMessage. |structure| is a newly made
  // error structure such as (error :type invalid-message :expected content),
  // never null. Copying an Error copies the pointer: the code that catches
  // the Error owns the structure and deletes it (delete e.structure;), once,
  // whether it handles the error or not; code that rethrows hands it on.
  struct Error {
    TKQstructure* structure;
  };

  // Head "unknown", no pairs, 16 slots.
  TKQstructure();
  // Head is a copy of |head| (not null), no pairs, 16 slots.
  explicit TKQstructure(const char* head);
  // Deep copy; the copy has exactly as many slots as |other| has pairs.
  TKQstructure(const TKQstructure& other);
  // Self-assignment does nothing; otherwise the head and pairs are replaced
  // by deep copies of |other|'s (slots = other's count). On allocation
  // failure this structure is left unchanged.
  TKQstructure& operator=(const TKQstructure& other);
  ~TKQstructure();

  // ---- The head and the pairs, read-only ----
  const char* GetHead() const { return head.c_str(); }
  int GetCount() const { return count; }
  int GetCapacity() const { return capacity; }
  // The keyword and the value of the pair at |index| (0 .. GetCount()-1).
  const char* GetKeyword(int index) const;
  TKQstructure* GetValue(int index) const;

  // ---- Setting values; each replaces the value of an equal keyword ----
  // Stores |newval| itself and takes it over; it must not be null.
  void Set(const char* keyword, TKQstructure* newval);
  // An atom holding a copy of |text|.
  void Set(const char* keyword, const char* text);
  // An atom holding |n| as printf "%ld" writes it.
  void Set(const char* keyword, long n);
  // The same for an int, so that Set(k, 3) is not ambiguous.
  void Set(const char* keyword, int n) { Set(keyword, static_cast<long>(n)); }
  // An atom holding |x| as printf "%f" writes it (0.5 gives 0.500000).
  void Set(const char* keyword, double x);
  // An atom "true" or "false".
  void Set(const char* keyword, bool b);

  // ---- Reading values; the pairs are searched from the last to the first ----
  // The value of |keyword|, or null when it is absent.
  TKQstructure* Find(const char* keyword) const;
  // The value of |keyword|, which must be present (a caller's error if not).
  TKQstructure* Get(const char* keyword) const;
  // The value of |keyword|; absent, it throws Error
  // (error :type invalid-message :expected <keyword>).
  TKQstructure* Require(const char* keyword) const;
  // Returns if |keyword| is present and |value| is empty or equal to the
  // value's head (case-insensitive). Throws as Require for an absent keyword,
  // else (error :type invalid-message :tag <keyword> :expected-value <value>).
  void Expect(const char* keyword, const char* value) const;
  // Removes the pair of |keyword| (the first match); the last pair moves into
  // its place. Nothing happens when the keyword is absent.
  void Remove(const char* keyword);

  // true for "TRUE", false for "FALSE" (any case); anything else throws
  // (error :type type-error :expected boolean). Reads only |text|.
  static bool ToBoolean(const char* text);

 private:
  struct Pair {
    std::string keyword;
    std::unique_ptr<TKQstructure> value;
  };

  // Position of the last pair whose keyword matches, or -1.
  int FindLast(const char* keyword) const;
  // Position of the first pair whose keyword matches, or -1.
  int FindFirst(const char* keyword) const;
  // Makes room for one more pair, growing the slots as documented above.
  void Reserve();

  std::string head;
  std::unique_ptr<Pair[]> pairs;
  int capacity;
  int count;
};

// ---- Conversions of a text (usually a value's head) ----

// What sscanf "%ld" converts (white space, sign, digits; trailing text
// ignored). Anything else, or a number outside the range of long, throws
// (error :type invalid-message :integer-expected <text>).
long ToInteger(const char* text);
// What sscanf "%lf" converts; trailing text ignored. Anything else throws
// (error :type invalid-message :number-expected <text>).
double ToNumber(const char* text);
// The same conversions for texts the caller knows to hold a number; a text
// that does not is a caller's error (internal check "err == 1").
long ScanInteger(const char* text);
double ScanNumber(const char* text);

// ---- Free functions ----

// A new structure (error :type <type>); the caller owns it.
TKQstructure* MakeError(const char* type);

// argv[1] .. argv[argc-1], each followed by one blank (the last one too);
// argc of 1 or less gives the empty text. Returned as a std::string, so the
// caller owns it without having to release anything.
std::string JoinArguments(int argc, char** argv);

// The tokenizer of the text form. Skips separators (every byte outside the
// printable range "!" .. "~"), then returns one character of |specials| as a
// token of its own, or a run of printable non-special bytes; a colon met
// inside a run belongs to the run ("c:d" is one token). Returns the empty
// token at the end of the text. |cursor| is left behind the token.
std::string NextToken(const char*& cursor, const char* specials);

// Accepts the first character of a token that may stand as a head, keyword or
// atom. An empty token or one of "(", ")", ":" is rejected: the line
// "special character unexpected" goes to standard error and false is
// returned.
bool CheckToken(char first);

// Deepest nesting of parenthesised structures that Parse accepts. A deeper
// text fails like any malformed one, so hostile input cannot exhaust the
// stack.
inline constexpr int kMaxParseDepth = 1000;

// Reads one structure from the text at |cursor| and leaves the cursor behind
// it; the caller owns the result. A malformed text throws TKQstructure::Error
// with the structure
//     (error :type parse-error :reason <reason> :position <offset>)
// where <reason> is special-character-unexpected (after the same line on
// standard error), pair-expected, too-deep or text-after-message, and
// <offset> counts bytes from the cursor's start to the offending token. On
// failure nothing is returned or leaked and the cursor is left where it was.
TKQstructure* Parse(const char*& cursor);
// The same for a cursor into text the caller may change.
TKQstructure* Parse(char*& cursor);
// Parse, then requires that only separators remain (reason
// text-after-message otherwise).
TKQstructure* ParseMessage(const char*& cursor);
TKQstructure* ParseMessage(char*& cursor);

// The text form of |s| (not null).
std::string TextForm(const TKQstructure* s);
// Writes the text form of |s| to standard output, without a line end.
void Print(const TKQstructure* s);
// Print, then a line end and a flush.
void PrintLine(const TKQstructure* s);

#endif  // NETFORGE_KQMESSAGE_KQML_H
