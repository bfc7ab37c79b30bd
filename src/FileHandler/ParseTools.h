// FileTools: the reader and writer of Netforge's bracketed file syntax.
//
// Network files and data set files share one plain-text syntax: statements in
// "[" and "]", blocks that open with a tag and close with "[~name]", bare words
// for bulk numbers, and nestable "/* */" comments. FileTools turns a character
// stream into checked Statements and writes them back. The file operations
// are members of the same class and build on these; their definitions are
// spread by concern:
//   ParseTools.cpp     the tokenizer, statements, checks, number conversion
//                      and the writing operations
//   NetworkFile.cpp    SaveNetwork, WriteNetwork (the network file writer)
//   NetworkReader.cpp  LoadNetwork, ReadNetwork (the network file reader)
//   Filer.cpp          the data set file operations (ReadDataSet ... IdentifyFile)
// DataSetRowReader.h reads the rows of a data set file run by run.
//
// Every syntax or content error of a file is thrown as FileTools::Error, with
// the line and column where reading stopped. A FileTools object keeps only a
// scratch word buffer and the line count of the stream it reads, so one
// object serves one file operation at a time; it needs no set-up.
//
// Positions: lines and columns are counted from 1 as bytes are taken from the
// stream. A line ends with '\n', so a CR LF pair is one line end and a lone
// CR is an ordinary byte; a column counts bytes, not characters. Counting
// starts at the read position a stream has when FileTools first reads it (or
// when BeginReading is called), so a reader that seeks into the middle of a
// file reports positions relative to that point. Bytes that a caller takes
// from (or puts back into) the stream itself between two reads are not seen.
#ifndef NETFORGE_FILEHANDLER_PARSETOOLS_H
#define NETFORGE_FILEHANDLER_PARSETOOLS_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

class TBasicNetwork;
class TKQstructure;
class Data;
class TLabelList;

// One numbering shared by the reader and the writer.
enum StatementType {
  End = 0,            // end tag of the open block, or end of input at top level
  Token = 1,          // a bare word outside brackets
  Tag = 2,            // a name in a bracket without "="
  Assignment = 3,     // name "=" value in a bracket
  FormatVersion = 5,  // writer only: the format header line
};

struct Statement {
  StatementType type = End;
  std::string name;   // tag name, key, or bare word; empty for End
  std::string value;  // the text after "=" (Assignment only)
  bool open = false;  // more statements of the same bracket follow
};

class FileTools {
 public:
  // Thrown for every syntax and content error of the file layer. Catchers use
  // |message|, |line| and |column|; the streams may be gone by the time the
  // error is caught.
  //
  // An error found while reading points at the first byte of what did not
  // fit: the offending token (a word or special character; for an end tag
  // that does not belong there, its "[~"), or the place just after the last
  // byte when the input ended too early. A comment that never ends points at
  // its "/*". An error found in a statement already read (the statement
  // checks, the number conversions, the content checks of the file
  // operations) points at the first byte of that statement: its "[", or its
  // bare word. Errors that come from no read stream have line and column 0.
  struct Error {
    std::string message;
    std::istream* in = nullptr;   // the stream being read, if any
    std::ostream* out = nullptr;  // the stream being written, if any
    std::int64_t line = 0;        // from 1; 0 when not known
    std::int64_t column = 0;      // from 1, in bytes; 0 when not known
  };

  // Throws Error with |message|, pointing at the start of the last statement
  // read (or the last token read on its own). Every reader of a file format
  // reports its content errors through it, so they carry positions too.
  [[noreturn]] void Fail(std::istream& in, std::string message);

  // Starts counting lines and columns of |in| anew, its current read
  // position being line 1, column 1. Reading a stream other than the one last
  // read starts the count on its own; an operation that opens a file calls
  // this once before reading it, since a new stream may sit at the address of
  // the one read before.
  void BeginReading(std::istream& in);

  // ---- Reading (each throws Error with |in|, |line| and |column| set on
  // failure) ----

  // The next token: a word, one special character of "[]/*=<>", or "[~".
  // Comments are skipped. Returns the empty text at end of input. Blanks are
  // the bytes below 0x21, 0x7F, the bytes from 0x80 up and ","; a word longer
  // than 1 MiB is rejected ("Word longer than 1048576 characters"). A word
  // that begins like a number (a digit, or a sign or "." before a digit or
  // ".") right next to a byte from 0x80 up is rejected too ("Non-ASCII byte
  // next to a number"): "−1" written with a Unicode minus, or "1é", would
  // otherwise read as another number. Such bytes elsewhere (in comments,
  // between words) stay blanks.
  std::string ReadToken(std::istream& in);
  // Skips blanks and comments and returns the first byte of the next token
  // without taking it, or std::char_traits<char>::eof() at the end of input.
  // Lets a reader look ahead while lines and columns stay counted.
  int PeekToken(std::istream& in);
  // Skips a (nested) comment; the stream stands just after its "/*". Throws
  // "Unexpected end of file during comment" when the input ends inside it.
  void SkipComment(std::istream& in);
  // Reads one statement. |blockdef| names the block whose end tag may come
  // (nullptr at top level); it stays the caller's. |continued| says the
  // previous statement was returned open and this one belongs to the same
  // bracket. A leading "[FormatVersion = v]" header is checked and skipped.
  // Besides the syntax errors, rejects a "]" where a statement must begin,
  // a "]" met as the start of a continuation (a comment before a bracket's
  // "]"), an end tag with no block open, and input that ends inside an
  // open bracket.
  Statement ReadStatement(std::istream& in, const char* blockdef, bool continued);
  // The same, into |statement|, whose texts keep their storage: a reader that
  // takes many statements (the cells of a matrix) into one object allocates
  // nothing per statement.
  void ReadStatement(std::istream& in, const char* blockdef, bool continued, Statement& statement);

  // A quicker way to the next bare word, for readers of long runs of them
  // (the cells of a matrix): when the stream's buffer holds the word whole,
  // with the byte after it, returns true and |word| views it in the buffer,
  // valid until the next read. Otherwise returns false, having taken at most
  // blanks, and the caller reads the statement with ReadStatement. Either way
  // the same bytes are taken and errors point at the same places.
  bool ReadBufferedWord(std::istream& in, std::string_view& word);

  // Statement checks. |expected| may be nullptr where the operation allows it.
  std::string ExpectBlock(const Statement& statement, std::istream& in, const char* expected);
  void ExpectEnd(const Statement& statement, std::istream& in);
  // Returns the value; with an |expected| value it checks it and returns "".
  std::string GetString(const Statement& statement, std::istream& in, const char* key, const char* expected);
  std::int32_t GetInteger(const Statement& statement, std::istream& in, const char* key);
  double GetNumber(const Statement& statement, std::istream& in, const char* key);
  double GetNumberToken(const Statement& statement, std::istream& in);

  // Number conversion of a value text ("integer-expected", "number-expected").
  std::int32_t ParseInteger(std::istream& in, const char* text);
  double ParseNumber(std::istream& in, const char* text);
  // The same for a text that need not end in a zero byte.
  double ParseNumber(std::istream& in, std::string_view text);

  // A new copy of |text| (new[]; the caller delete[]s it). nullptr gives nullptr.
  static char* CopyString(const char* text);

  // ---- Writing (never fails; stream errors are checked by the callers that
  // own the file). A line end is '\n' without a flush: the owner of the file
  // flushes once, as a flush per line would make large files slow. ----

  void WriteStatement(const Statement& statement, std::ostream& out, bool bracket);
  void WriteFormatVersion(std::ostream& out);
  void WriteTag(std::ostream& out, const char* name, bool bracket);
  void WriteEndTag(std::ostream& out, const char* name);  // nullptr: nothing
  void WriteString(std::ostream& out, const char* key, const char* value, bool bracket);
  void WriteInteger(std::ostream& out, const char* key, long value, bool bracket);
  void WriteNumber(std::ostream& out, const char* key, double value, int precision, bool bracket);
  void WriteOpenBracket(std::ostream& out, bool bracket);
  void WriteCloseBracket(std::ostream& out, bool bracket, bool newline);
  void WriteNewLine(std::ostream& out);

  // ---- Network files (writer: NetworkFile.cpp, reader: NetworkReader.cpp).
  // |status| is taken over and deleted on entry; nullptr is allowed. ----

  // Whether WriteNetwork and SaveNetwork can write |network| (every layer
  // installed), stream failures aside. Some networks that load cannot be
  // written (docs/network-file.md lists them); for those this returns false
  // and, when |reason| is given, sets it to the message the writer would
  // fail with, so that a program can refuse such a network before it spends
  // work on it.
  bool CanWriteNetwork(TBasicNetwork* network, std::string* reason = nullptr);
  void SaveNetwork(const char* fileName, TBasicNetwork* network, TKQstructure* status);
  void WriteNetwork(std::ostream& out, TBasicNetwork* network, TKQstructure* status);
  TBasicNetwork* LoadNetwork(const char* fileName, TKQstructure* status);
  TBasicNetwork* ReadNetwork(std::istream& in, TKQstructure* status);

  // ---- Data set files (Filer.cpp). Status codes are in Filer.h. The
  // writers write numbers with 15 significant digits; with the option
  // (options :numbers exact) each takes the fewest of 15, 16 or 17 digits
  // that read back as the same double, so that reading the file gives the
  // very values written. ----

  int ReadDataSet(const char* filename, Data** PtrDatFileData1, Data** PtrDatFileData2, TKQstructure* options);
  int ReadDataSet(const char* filename, Data** PtrDatFileData1);
  int ReadDataSetRows(const char* filename, long* offset, long* rows, Data** PtrDatFileData1,
                      Data** PtrDatFileData2);
  int ReadDataSetRows(const char* filename, long* offset, long* rows, Data** PtrDatFileData1);
  int ReadDataSetHeader(std::istream& in, long* inputs, long* expectedOutputs, long* generatedOutputs,
                        long* errors, long* rows, Statement* statement);
  TLabelList* ReadLabels(std::istream& in);
  void WriteLabels(std::ostream& out, const TLabelList* list);
  int WriteDataSet(const char* filename, Data* data1, Data* data2, TKQstructure* options);
  int WriteDataSetHeader(const char* filename, long inputs, long expectedOutputs, long generatedOutputs,
                         long errors, long rows);
  int WriteDataSetRows(const char* filename, Data* data1, Data* data2, TKQstructure* options);
  int WriteDataSetEnd(const char* filename);
  TKQstructure* IdentifyFile(const char* filename);

 private:
  // A place in the stream being read, both counted from 1.
  struct Place {
    std::int64_t line = 1;
    std::int64_t column = 1;
  };
  // The line count of the stream being read. Only bytes taken from the
  // stream move it; a byte only looked at does not.
  struct Position {
    const std::istream* stream = nullptr;  // the stream counted; compared, never used
    std::int64_t taken = 0;      // bytes taken since counting started
    std::int64_t line = 1;       // the line of the next byte
    std::int64_t lineStart = 0;  // |taken| when |line| began
    Place token;                 // first byte of the last token read
    Place statement;             // first byte of the last statement read
    bool afterHighByte = false;  // the last byte taken is above 0x7F (a blank)

    Place Here() const { return Place{line, taken - lineStart + 1}; }
  };

  // Throws Error pointing at the first byte of the last token read.
  [[noreturn]] void FailAtToken(std::istream& in, std::string message);
  [[noreturn]] void FailAt(std::istream& in, Place place, std::string message);
  // Starts a new count when |in| is not the stream counted.
  void Track(std::istream& in) {
    if (position_.stream != &in) BeginReading(in);
  }

  // ReadToken without a new string: the token is left in word_ and the view
  // is valid until the next read.
  std::string_view ReadTokenInto(std::istream& in);
  // A statement's name or value must be a word.
  void CheckItem(std::istream& in, std::string_view item);
  static void SetStatement(Statement& statement, StatementType type, std::string_view name);
  // The rest of a bracket item whose |name| has been read: a Tag, or an
  // Assignment with its value; open when the bracket does not close after it.
  void ReadBracketItem(std::istream& in, std::string_view name, Statement& statement);
  Statement ReadBracketItem(std::istream& in, std::string name);
  // The rest of an end tag after "[~": the name of |blockdef| and "]".
  void ReadEndTag(std::istream& in, const char* blockdef);
  static bool IsAssignment(const Statement& statement, const char* key);

  std::string word_;    // scratch buffer in which ReadTokenInto assembles a token
  Position position_;   // where reading stands in the stream being read
};

#endif  // NETFORGE_FILEHANDLER_PARSETOOLS_H
