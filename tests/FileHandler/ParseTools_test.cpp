#include "FileHandler/ParseTools.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <locale>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Support/ChunkedBuffer.h"
#include "Support/CommaLocale.h"

namespace {

std::string Describe(const Statement& statement) {
  std::string text;
  switch (statement.type) {
    case End: return "End";
    case Token: text = "Token " + statement.name; break;
    case Tag: text = "Tag " + statement.name; break;
    case Assignment: text = "Assignment " + statement.name + "=" + statement.value; break;
    default: text = "?"; break;
  }
  return statement.open ? text + "+" : text;
}

// Reads statements up to End or an error, continuing open brackets; an
// error shows as "!" and its message.
std::string ReadAll(const std::string& text, const char* blockdef = nullptr) {
  std::istringstream in(text);
  FileTools tools;
  std::string result;
  bool continued = false;
  try {
    for (;;) {
      const Statement statement = tools.ReadStatement(in, blockdef, continued);
      result += Describe(statement);
      if (statement.type == End) return result;
      result += " | ";
      continued = statement.open;
    }
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.in, &in);
    EXPECT_EQ(error.out, nullptr);
    return result + "!" + error.message;
  }
}

std::vector<std::string> Tokens(const std::string& text) {
  std::istringstream in(text);
  FileTools tools;
  std::vector<std::string> tokens;
  for (std::string token = tools.ReadToken(in); !token.empty(); token = tools.ReadToken(in)) {
    tokens.push_back(token);
  }
  return tokens;
}

Statement Make(StatementType type, std::string name, std::string value = {}) {
  Statement statement;
  statement.type = type;
  statement.name = std::move(name);
  statement.value = std::move(value);
  return statement;
}

// Runs |check| and returns the message it throws ("" when it throws nothing).
template <typename Check>
std::string MessageOf(Check check) {
  try {
    check();
  } catch (const FileTools::Error& error) {
    return error.message;
  }
  return "";
}

}  // namespace

TEST(FileTools, ReadsTheStatementForms) {
  EXPECT_EQ(ReadAll("[NumberOfLayers=3]"), "Assignment NumberOfLayers=3 | End");
  EXPECT_EQ(ReadAll("[ numberoflayers = 3 ]"), "Assignment numberoflayers=3 | End");
  EXPECT_EQ(ReadAll("[Attributes Pruneable Freezable ]"),
            "Tag Attributes+ | Tag Pruneable+ | Tag Freezable | End");
  EXPECT_EQ(ReadAll("[From=0 To=2 Weight=0.5 Trainable ]"),
            "Assignment From=0+ | Assignment To=2+ | Assignment Weight=0.5+ | Tag Trainable | End");
  EXPECT_EQ(ReadAll("[All ActivationFunction=sigmoid ]"), "Tag All+ | Assignment ActivationFunction=sigmoid | End");
  EXPECT_EQ(ReadAll("[Layer]\r\n[A = 1]\r\n0.5 -1e-3\r\n"), "Tag Layer | Assignment A=1 | Token 0.5 | Token -1e-3 | End");
  EXPECT_EQ(ReadAll("1,2"), "Token 1 | Token 2 | End");
  EXPECT_EQ(ReadAll("a/b"), "Token a | Token / | Token b | End");
  EXPECT_EQ(ReadAll("[A=1]x<>"), "Assignment A=1 | Token x | Token < | Token > | End");
  EXPECT_EQ(ReadAll(""), "End");
  EXPECT_EQ(ReadAll(" \t\n "), "End");
}

TEST(FileTools, ReadsEndTags) {
  EXPECT_EQ(ReadAll("[~Layer]", "LAYER"), "End");
  EXPECT_EQ(ReadAll("[~ layer ]", "Layer"), "End");
  EXPECT_EQ(ReadAll("[Neurons] [A=1] [~Layer]", "LAYER"), "Tag Neurons | Assignment A=1 | End");
  EXPECT_EQ(ReadAll("[ ~Layer]", "LAYER"), "Tag ~Layer | !Unexpected end of file");
  EXPECT_EQ(ReadAll("[~Neurons]", "LAYER"), "!Unexpected End Tag");
  EXPECT_EQ(ReadAll("[~Layer", "LAYER"), "!Expected ']'");
  EXPECT_EQ(ReadAll("[~Layer x]", "LAYER"), "!Expected ']'");
  EXPECT_EQ(ReadAll("", "LAYER"), "!Unexpected end of file");
  EXPECT_EQ(ReadAll("[~Layer]", nullptr), "!Unexpected End Tag outside of a block");
}

TEST(FileTools, RejectsBrokenStatements) {
  EXPECT_EQ(ReadAll("[A = ]"), "!Unexpected special character");
  EXPECT_EQ(ReadAll("[=]"), "!Unexpected special character");
  EXPECT_EQ(ReadAll("[A = [B]"), "!Unexpected special character");
  EXPECT_EQ(ReadAll("[A = "), "!Unexpected end of file");
  EXPECT_EQ(ReadAll("["), "!Unexpected end of file");
  // A bracket left open at the end of input.
  EXPECT_EQ(ReadAll("[A"), "Tag A+ | !Unexpected end of file");
  EXPECT_EQ(ReadAll("[A=1 B"), "Assignment A=1+ | Tag B+ | !Unexpected end of file");
  // A "]" where a statement or a continuation must begin.
  EXPECT_EQ(ReadAll("]"), "!Unexpected ']' where a statement must begin");
  EXPECT_EQ(ReadAll("[A=1]]"), "Assignment A=1 | !Unexpected ']' where a statement must begin");
  EXPECT_EQ(ReadAll("[A /* c */ ]"), "Tag A+ | !Unexpected ']': no comment may stand before a statement's ']'");
  EXPECT_EQ(ReadAll("[A=1 /**/]"), "Assignment A=1+ | !Unexpected ']': no comment may stand before a statement's ']'");
  // A comment between two items of a bracket is allowed.
  EXPECT_EQ(ReadAll("[A /* c */ B]"), "Tag A+ | Tag B | End");
}

TEST(FileTools, SkipsTheFormatHeader) {
  EXPECT_EQ(ReadAll("[FormatVersion = 1.0] [Layer]"), "Tag Layer | End");
  EXPECT_EQ(ReadAll("[Layer]"), "Tag Layer | End");
  EXPECT_EQ(ReadAll("[formatversion=0.9]"), "End");
  EXPECT_EQ(ReadAll("[FormatVersion = 1.0][FormatVersion = 1.0]"), "End");
  EXPECT_EQ(ReadAll("[A=1] [FormatVersion = 1.0] [~Layer]", "Layer"), "Assignment A=1 | End");
  EXPECT_EQ(ReadAll("[FormatVersion = 1.1]"), "!Illegal Format Version");
  EXPECT_EQ(ReadAll("[FormatVersion = nan]"), "!Illegal Format Version");
  EXPECT_EQ(ReadAll("[FormatVersion = new]"), "!number-expected");
  EXPECT_EQ(ReadAll("[FormatVersion = 1.0 x]"), "!Illegal Format of FormatVersion");
  EXPECT_EQ(ReadAll("[FormatVersion = 1.0"), "!Illegal Format of FormatVersion");
  // Only a bracket's first item can be the header.
  EXPECT_EQ(ReadAll("[Layer FormatVersion = 2]"), "Tag Layer+ | Assignment FormatVersion=2 | End");
  EXPECT_EQ(ReadAll("[FormatVersion]"), "Tag FormatVersion | End");
}

TEST(FileTools, ReadsTokensAndComments) {
  EXPECT_EQ(Tokens("[~Layer]"), (std::vector<std::string>{"[~", "Layer", "]"}));
  EXPECT_EQ(Tokens("[ ~x"), (std::vector<std::string>{"[", "~x"}));
  EXPECT_EQ(Tokens("a=b*c/"), (std::vector<std::string>{"a", "=", "b", "*", "c", "/"}));
  EXPECT_EQ(Tokens("ab/*x*/cd"), (std::vector<std::string>{"ab", "cd"}));
  // Bytes from 0x80 up, 0x7F and control bytes are blanks.
  EXPECT_EQ(Tokens("a\xC3\xA9" "b\x7F" "c\x01" "d,e"), (std::vector<std::string>{"a", "b", "c", "d", "e"}));

  EXPECT_EQ(ReadAll("/* a /* b */ c */ [Layer]"), "Tag Layer | End");
  EXPECT_EQ(ReadAll("/* a"), "!Unexpected end of file during comment");
  EXPECT_EQ(ReadAll("/* a /* b */ c"), "!Unexpected end of file during comment");
  EXPECT_EQ(ReadAll("/*/ x */ y"), "Token y | End");
  // A "/" directly after an inner comment's "*/" closes the outer one too.
  EXPECT_EQ(ReadAll("/* a /* b *//c"), "Token c | End");
  EXPECT_EQ(ReadAll("/* a /* b */ /c */ d"), "Token d | End");
  EXPECT_EQ(ReadAll("/* /* /* */ */ */ e"), "Token e | End");
}

TEST(FileTools, SurvivesHostileInput) {
  // Deep nesting is counted, not recursed.
  std::string open;
  for (int i = 0; i < 1000000; ++i) open += "/*";
  EXPECT_EQ(ReadAll(open), "!Unexpected end of file during comment");
  std::string closed = open;
  for (int i = 0; i < 1000000; ++i) closed += " */";
  EXPECT_EQ(ReadAll(closed + " [X]"), "Tag X | End");

  // Long words are read whole up to 1 MiB and rejected beyond.
  const std::string longWord(1000, 'w');
  EXPECT_EQ(ReadAll("[" + longWord + "=1]"), "Assignment " + longWord + "=1 | End");
  const std::string limitWord(std::size_t{1} << 20, 'w');
  EXPECT_EQ(Tokens(limitWord + " x"), (std::vector<std::string>{limitWord, "x"}));
  EXPECT_EQ(ReadAll(limitWord + "w"), "!Word longer than 1048576 characters");
}

TEST(FileTools, KeepsTheStreamUsable) {
  FileTools tools;
  std::istringstream in("ab[c d");
  EXPECT_EQ(tools.ReadToken(in), "ab");
  EXPECT_EQ(in.get(), '[');
  EXPECT_EQ(tools.ReadToken(in), "c");
  EXPECT_FALSE(in.eof());
  EXPECT_EQ(in.get(), 'd');
  in.unget();
  EXPECT_EQ(tools.ReadToken(in), "d");
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(tools.ReadToken(in), "");

  // A stream that has failed reads as ended.
  std::istringstream failed("[A]");
  failed.setstate(std::ios_base::failbit);
  EXPECT_EQ(tools.ReadToken(failed), "");
}

TEST(FileTools, ChecksStatements) {
  FileTools tools;
  std::istringstream in;
  const Statement layer = Make(Tag, "layer");
  const Statement type = Make(Assignment, "NetworkType", "MLP");
  const Statement end = Make(End, "");
  const Statement token = Make(Token, "0.25");

  EXPECT_EQ(tools.ExpectBlock(layer, in, nullptr), "layer");
  EXPECT_EQ(tools.ExpectBlock(layer, in, "LAYER"), "layer");
  EXPECT_EQ(MessageOf([&] { tools.ExpectBlock(type, in, nullptr); }), "start of block expected");
  EXPECT_EQ(MessageOf([&] { tools.ExpectBlock(layer, in, "NEURONS"); }), "[NEURONS] expected");
  EXPECT_EQ(MessageOf([&] { tools.ExpectBlock(Make(Assignment, "Layer", "1"), in, "LAYER"); }), "[LAYER] expected");

  EXPECT_EQ(MessageOf([&] { tools.ExpectEnd(end, in); }), "");
  EXPECT_EQ(MessageOf([&] { tools.ExpectEnd(layer, in); }), "End Tag expected");

  EXPECT_EQ(tools.GetString(type, in, "NETWORKTYPE", nullptr), "MLP");
  EXPECT_EQ(tools.GetString(type, in, "NETWORKTYPE", "mlp"), "");
  EXPECT_EQ(MessageOf([&] { tools.GetString(type, in, "NETWORKTYPE", "Connected"); }),
            "[NETWORKTYPE = Connected] expected");
  EXPECT_EQ(MessageOf([&] { tools.GetString(layer, in, "NETWORKTYPE", nullptr); }),
            "[NETWORKTYPE = <string>] expectedlayer");
  EXPECT_EQ(MessageOf([&] { tools.GetString(Make(Assignment, "Kind", "x"), in, "NETWORKTYPE", nullptr); }),
            "[NETWORKTYPE = <string>] expectedKind");
  EXPECT_EQ(MessageOf([&] { tools.GetString(end, in, "NETWORKTYPE", nullptr); }), "[NETWORKTYPE = <string>] expected");

  EXPECT_EQ(tools.GetInteger(Make(Assignment, "numberoflayers", "3"), in, "NumberOfLayers"), 3);
  EXPECT_EQ(MessageOf([&] { tools.GetInteger(type, in, "NumberOfLayers"); }), "[NumberOfLayers = <integer>] expected");
  EXPECT_EQ(MessageOf([&] { tools.GetInteger(Make(Assignment, "NumberOfLayers", "x"), in, "NumberOfLayers"); }),
            "integer-expected");

  EXPECT_EQ(tools.GetNumber(Make(Assignment, "MinWeight", "-0.5"), in, "MINWEIGHT"), -0.5);
  EXPECT_EQ(MessageOf([&] { tools.GetNumber(token, in, "MinWeight"); }), "[MinWeight = <number>] expected");
  EXPECT_EQ(MessageOf([&] { tools.GetNumber(Make(Assignment, "MinWeight", "-"), in, "MinWeight"); }),
            "number-expected");

  EXPECT_EQ(tools.GetNumberToken(token, in), 0.25);
  EXPECT_EQ(MessageOf([&] { tools.GetNumberToken(layer, in); }), "Token (number) expected");
  EXPECT_EQ(MessageOf([&] { tools.GetNumberToken(Make(Token, "x1"), in); }), "number-expected");

  try {
    tools.ExpectEnd(layer, in);
    FAIL() << "no error thrown";
  } catch (const FileTools::Error& error) {
    EXPECT_EQ(error.in, &in);
    EXPECT_EQ(error.out, nullptr);
  }
}

TEST(FileTools, ParsesNumbers) {
  FileTools tools;
  std::istringstream in;
  EXPECT_EQ(tools.ParseInteger(in, "12abc"), 12);
  EXPECT_EQ(tools.ParseInteger(in, "-3"), -3);
  EXPECT_EQ(tools.ParseInteger(in, "+7"), 7);
  EXPECT_EQ(tools.ParseInteger(in, "2147483647"), INT32_MAX);
  EXPECT_EQ(tools.ParseInteger(in, "-2147483648"), INT32_MIN);
  for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "", "x1", "-", ".5"}) {
    EXPECT_EQ(MessageOf([&] { tools.ParseInteger(in, bad); }), "integer-expected") << bad;
  }

  EXPECT_EQ(tools.ParseNumber(in, "1.5x"), 1.5);
  EXPECT_EQ(tools.ParseNumber(in, "0.1"), 0.1);  // full double precision
  EXPECT_EQ(tools.ParseNumber(in, "-1e-3"), -1e-3);
  EXPECT_EQ(tools.ParseNumber(in, "3"), 3.0);
  EXPECT_TRUE(std::isinf(tools.ParseNumber(in, "1e400")));
  for (const char* bad : {"", "x", "-", ".", "e5"}) {
    EXPECT_EQ(MessageOf([&] { tools.ParseNumber(in, bad); }), "number-expected") << bad;
  }
}

TEST(FileTools, CopiesStrings) {
  EXPECT_EQ(FileTools::CopyString(nullptr), nullptr);
  const char text[] = "Layer";
  std::unique_ptr<char[]> copy(FileTools::CopyString(text));
  ASSERT_NE(copy.get(), nullptr);
  EXPECT_NE(copy.get(), text);
  EXPECT_STREQ(copy.get(), "Layer");
  std::unique_ptr<char[]> empty(FileTools::CopyString(""));
  EXPECT_STREQ(empty.get(), "");
}

TEST(FileTools, WritesStatementForms) {
  FileTools tools;
  const auto written = [&](const Statement& statement, bool bracket) {
    std::ostringstream out;
    tools.WriteStatement(statement, out, bracket);
    return out.str();
  };
  EXPECT_EQ(written(Make(End, "Layer"), true), "[~Layer]\n");
  EXPECT_EQ(written(Make(End, ""), true), "");
  EXPECT_EQ(written(Make(Token, "0.5"), true), "0.5 ");
  EXPECT_EQ(written(Make(Token, "0.5"), false), "0.5 ");
  EXPECT_EQ(written(Make(Tag, "Layer"), true), "[Layer]\n");
  EXPECT_EQ(written(Make(Tag, "Pruneable"), false), "Pruneable ");
  EXPECT_EQ(written(Make(Assignment, "From", "0"), true), "[From = 0]\n");
  EXPECT_EQ(written(Make(Assignment, "From", "0"), false), "From=0 ");
  EXPECT_EQ(written(Make(FormatVersion, ""), true), "[FormatVersion = 1.0]\n\n");

  const auto output = [](auto write) {
    std::ostringstream out;
    write(out);
    return out.str();
  };
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteFormatVersion(o); }), "[FormatVersion = 1.0]\n\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteTag(o, "Layer", true); }), "[Layer]\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteTag(o, "Layer", false); }), "Layer ");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteEndTag(o, "Layer"); }), "[~Layer]\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteEndTag(o, nullptr); }), "");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteString(o, "NetworkType", "MLP", true); }),
            "[NetworkType = MLP]\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteString(o, "NetworkType", "MLP", false); }), "NetworkType=MLP ");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteInteger(o, "From", -3, true); }), "[From = -3]\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteInteger(o, "From", -3, false); }), "From=-3 ");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteNumber(o, "Weight", 0.5, 15, true); }),
            "[Weight = 0.500000000000000]\n");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteNumber(o, "Weight", -1e20, 2, false); }),
            "Weight=-100000000000000000000.00 ");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteOpenBracket(o, false); }), "");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteCloseBracket(o, false, true); }), "");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteCloseBracket(o, true, false); }), "]");
  EXPECT_EQ(output([&](std::ostream& o) { tools.WriteNewLine(o); }), "\n");

  // Several statements in one bracket.
  const std::string all = output([&](std::ostream& o) {
    tools.WriteOpenBracket(o, true);
    tools.WriteTag(o, "All", false);
    tools.WriteString(o, "ActivationFunction", "sigmoid", false);
    tools.WriteCloseBracket(o, true, true);
  });
  EXPECT_EQ(all, "[All ActivationFunction=sigmoid ]\n");
  EXPECT_EQ(ReadAll(all), "Tag All+ | Assignment ActivationFunction=sigmoid | End");
}

// Writes what ReadStatement returned in the form it came in: an open item
// starts or continues a shared bracket, a closed bracketed item ends one.
TEST(FileTools, WritesWhatItReads) {
  FileTools tools;
  std::ostringstream first;
  tools.WriteFormatVersion(first);
  tools.WriteTag(first, "Layer", true);
  tools.WriteInteger(first, "NumberOfNeurons", 2, true);
  tools.WriteOpenBracket(first, true);
  tools.WriteTag(first, "All", false);
  tools.WriteString(first, "ActivationFunction", "sigmoid", false);
  tools.WriteCloseBracket(first, true, true);
  tools.WriteOpenBracket(first, true);
  tools.WriteInteger(first, "From", 0, false);
  tools.WriteNumber(first, "Weight", -0.25, 15, false);
  tools.WriteTag(first, "Trainable", false);
  tools.WriteCloseBracket(first, true, true);
  tools.WriteStatement(Make(Token, "0.125"), first, false);
  tools.WriteStatement(Make(Token, "-3"), first, false);
  tools.WriteNewLine(first);
  tools.WriteEndTag(first, "Layer");

  std::istringstream in(first.str());
  std::ostringstream second;
  tools.WriteFormatVersion(second);
  const char* blockdef = nullptr;
  bool continued = false;
  for (;;) {
    const Statement statement = tools.ReadStatement(in, blockdef, continued);
    if (statement.type == End) {
      tools.WriteEndTag(second, blockdef);
      if (blockdef == nullptr) break;
      blockdef = nullptr;
      continue;
    }
    const bool bracketed = statement.type == Tag || statement.type == Assignment;
    if (statement.type == Token) {
      tools.WriteStatement(statement, second, false);
      if (in.peek() == '\n') tools.WriteNewLine(second);
    } else if (!continued && !statement.open) {
      tools.WriteStatement(statement, second, true);
    } else {
      if (!continued) tools.WriteOpenBracket(second, true);
      tools.WriteStatement(statement, second, false);
      if (!statement.open) tools.WriteCloseBracket(second, true, true);
    }
    if (bracketed && !continued && !statement.open && statement.name == "Layer") blockdef = "Layer";
    continued = statement.open;
  }
  EXPECT_EQ(second.str(), first.str());
  EXPECT_EQ(first.str(),
            "[FormatVersion = 1.0]\n\n[Layer]\n[NumberOfNeurons = 2]\n[All ActivationFunction=sigmoid ]\n"
            "[From=0 Weight=-0.250000000000000 Trainable ]\n0.125 -3 \n[~Layer]\n");
}

namespace {

using TestSupport::CommaLocale;

}  // namespace

TEST(FileTools, IgnoresTheLocale) {
  const CommaLocale comma;
  std::ostringstream check;
  check << 1234.5;
  ASSERT_EQ(check.str(), "1.234,5");  // the locale is really in force

  FileTools tools;
  std::ostringstream out;
  tools.WriteNumber(out, "Weight", 1234.5, 15, true);
  tools.WriteInteger(out, "Count", 1234567, false);
  EXPECT_EQ(out.str(), "[Weight = 1234.500000000000000]\nCount=1234567 ");

  std::istringstream in("[Weight = 1234.5] 0.25 1,5");
  EXPECT_EQ(tools.GetNumber(tools.ReadStatement(in, nullptr, false), in, "Weight"), 1234.5);
  EXPECT_EQ(tools.GetNumberToken(tools.ReadStatement(in, nullptr, false), in), 0.25);
  EXPECT_EQ(tools.GetNumberToken(tools.ReadStatement(in, nullptr, false), in), 1.0);
  EXPECT_EQ(tools.GetNumberToken(tools.ReadStatement(in, nullptr, false), in), 5.0);
  EXPECT_EQ(tools.ParseNumber(in, "2,5"), 2.0);
  EXPECT_EQ(tools.ParseInteger(in, "1.234"), 1);
}

namespace {

// Runs |read| and returns the error it throws as "message @line:column", or
// "no error".
template <typename Read>
std::string PlaceOf(Read read) {
  try {
    read();
  } catch (const FileTools::Error& error) {
    return error.message + " @" + std::to_string(error.line) + ":" + std::to_string(error.column);
  }
  return "no error";
}

// Reads statements of |text| to the end, continuing open brackets, and
// returns the place of the error that stops it.
std::string ReadingErrorAt(const std::string& text, const char* blockdef = nullptr) {
  std::istringstream in(text);
  FileTools tools;
  return PlaceOf([&] {
    bool continued = false;
    for (;;) {
      const Statement statement = tools.ReadStatement(in, blockdef, continued);
      if (statement.type == End) return;
      continued = statement.open;
    }
  });
}

// Reads statements of |text| and converts every value and bare word to a
// number, as the readers of weights do.
std::string NumberErrorAt(const std::string& text) {
  std::istringstream in(text);
  FileTools tools;
  return PlaceOf([&] {
    for (;;) {
      const Statement statement = tools.ReadStatement(in, "Block", false);
      if (statement.type == End) return;
      if (statement.type == Token) tools.GetNumberToken(statement, in);
      if (statement.type == Assignment) tools.GetNumber(statement, in, statement.name.c_str());
    }
  });
}

}  // namespace

TEST(FileTools, ErrorPositionsPointAtTheOffendingToken) {
  // A wrong end tag is blamed at its "[~".
  EXPECT_EQ(ReadingErrorAt("[Layer]\n[Neurons = 3]\n  [~Network]\n", "Layer"), "Unexpected End Tag @3:3");
  EXPECT_EQ(ReadingErrorAt("[A = 1]\n\n\t[~Layer]", nullptr), "Unexpected End Tag outside of a block @3:2");
  // A missing "]" at what stands in its place.
  EXPECT_EQ(ReadingErrorAt("[~Layer\n   x]", "Layer"), "Expected ']' @2:4");
  // A stray "]" after lines ending in CR LF: the CR is no line end of its own.
  EXPECT_EQ(ReadingErrorAt("[A = 1]\r\n[B = 2]\r\n  ]\r\n"), "Unexpected ']' where a statement must begin @3:3");
  EXPECT_EQ(ReadingErrorAt("[A = 1\r\n /* c */ ]"),
            "Unexpected ']': no comment may stand before a statement's ']' @2:10");
  // A special character where a name or value must be.
  EXPECT_EQ(ReadingErrorAt("[A = 1]\n[B =\n\n    = 2]"), "Unexpected special character @4:5");
  // Columns count bytes: the two bytes of an "é" (blanks to the reader) count two.
  EXPECT_EQ(ReadingErrorAt("\xC3\xA9 ]"), "Unexpected ']' where a statement must begin @1:4");
  // A word over the limit at its first byte.
  EXPECT_EQ(ReadingErrorAt("[A = 1]\n  " + std::string((std::size_t{1} << 20) + 1, 'w')),
            "Word longer than 1048576 characters @2:3");
}

// A byte from 0x80 up is a blank, except right next to a word that begins
// like a number: "−1" with a Unicode minus (E2 88 92) would read as 1, "1é"
// as 1. Such a word is refused where it stands.
TEST(FileTools, RefusesBytesAbove0x7FNextToANumber) {
  const std::string minus = "\xE2\x88\x92";
  const std::string eAcute = "\xC3\xA9";
  struct Case {
    std::string text;
    std::string outcome;
  };
  const Case cases[] = {
      {"0 " + minus + "1 1", "Non-ASCII byte next to a number @1:6"},
      {"0 1" + eAcute + " 1", "Non-ASCII byte next to a number @1:3"},
      {"[Rows = 3" + eAcute + "]", "Non-ASCII byte next to a number @1:9"},
      {"\n  x " + eAcute + "-.5", "Non-ASCII byte next to a number @2:7"},
      {"0.5\xC2\xA0T", "Non-ASCII byte next to a number @1:1"},
      // Elsewhere such bytes stay blanks.
      {"/* " + minus + "1 " + eAcute + " */ 1 -2", "no error"},
      {"caf" + eAcute + " 1 " + eAcute + " x" + eAcute + "y", "no error"},
      {"0 " + minus + " 1", "no error"},
      {"[Name = caf" + eAcute + "]", "no error"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadingErrorAt(c.text), c.outcome) << c.text;
}

TEST(FileTools, ErrorPositionAtEndOfInputIsJustAfterTheLastByte) {
  EXPECT_EQ(ReadingErrorAt("[Layer]\n[Neurons = 3]\n[Function = ", "Layer"), "Unexpected end of file @3:13");
  EXPECT_EQ(ReadingErrorAt("[Layer]\n[Neurons = 3]\n[Open", "Layer"), "Unexpected end of file @3:6");
  EXPECT_EQ(ReadingErrorAt("[Layer]\n[Neurons = 3]\n", "Layer"), "Unexpected end of file @3:1");
  EXPECT_EQ(ReadingErrorAt("[A\r\n\r\n"), "Unexpected end of file @3:1");
  EXPECT_EQ(ReadingErrorAt("", "Layer"), "Unexpected end of file @1:1");
}

TEST(FileTools, ErrorPositionsAcrossCommentsSpanningLines) {
  // A comment that never ends is blamed at its "/*", however far it runs.
  std::string text = "[A = 1]\n  x /* one\n";
  for (int i = 0; i < 100; ++i) text += "  line /* nested */ of a comment\n";
  EXPECT_EQ(ReadingErrorAt(text), "Unexpected end of file during comment @2:5");
  EXPECT_EQ(ReadingErrorAt("/*"), "Unexpected end of file during comment @1:1");
  // Lines inside a finished comment count like any others.
  EXPECT_EQ(ReadingErrorAt("/* a\nb /* c\r\nd */ e\n*/ [X] ]"), "Unexpected ']' where a statement must begin @4:8");
}

TEST(FileTools, ErrorPositionsOfChecksPointAtTheStatement) {
  // A number expected in a value: the statement's "[".
  EXPECT_EQ(NumberErrorAt("[Bias = 1]\n[Weight =\nhalf]\n"), "number-expected @2:1");
  EXPECT_EQ(NumberErrorAt("[Bias = 1] [Weight = x0.5]\n"), "number-expected @1:12");
  // A bare word: the word itself.
  EXPECT_EQ(NumberErrorAt("0.5 -1\r\n  1e3 zero 2\n"), "number-expected @2:7");
  // The format header.
  EXPECT_EQ(ReadingErrorAt("\n [FormatVersion = new]"), "number-expected @2:2");
  EXPECT_EQ(ReadingErrorAt("\n\n[FormatVersion\n = 2.0]"), "Illegal Format Version @3:1");

  // The statement checks blame the statement read last.
  FileTools tools;
  std::istringstream in("[Network]\n  [NumberOfLayers = three]\n");
  const Statement tag = tools.ReadStatement(in, nullptr, false);
  EXPECT_EQ(PlaceOf([&] { tools.ExpectBlock(tag, in, "Layer"); }), "[Layer] expected @1:1");
  const Statement layers = tools.ReadStatement(in, "Network", false);
  EXPECT_EQ(PlaceOf([&] { tools.GetInteger(layers, in, "NumberOfLayers"); }), "integer-expected @2:3");
  EXPECT_EQ(PlaceOf([&] { tools.ExpectEnd(layers, in); }), "End Tag expected @2:3");

  // A token read on its own counts as the statement.
  std::istringstream words("one\n two");
  tools.ReadToken(words);
  const std::string two = tools.ReadToken(words);
  EXPECT_EQ(PlaceOf([&] { tools.ParseInteger(words, two.c_str()); }), "integer-expected @2:2");
}

TEST(FileTools, ErrorPositionsStartAgainForEachStream) {
  FileTools tools;
  std::istringstream first("\n\n\n[A = 1]");
  tools.ReadStatement(first, nullptr, false);
  // Another stream is counted from its start.
  std::istringstream second("  ]");
  EXPECT_EQ(PlaceOf([&] { tools.ReadStatement(second, nullptr, false); }),
            "Unexpected ']' where a statement must begin @1:3");
  // A check on a stream not read yet points at its start.
  std::istringstream third("x");
  EXPECT_EQ(PlaceOf([&] { tools.ParseNumber(third, "x"); }), "number-expected @1:1");

  // The same stream read again after a seek: BeginReading counts from the
  // read position, which becomes line 1, column 1.
  std::istringstream in("[A = 1]\n[B = 2]\n[C = 3] ]");
  tools.BeginReading(in);
  tools.ReadStatement(in, nullptr, false);
  in.seekg(8);
  tools.BeginReading(in);
  tools.ReadStatement(in, nullptr, false);
  EXPECT_EQ(PlaceOf([&] { tools.ReadStatement(in, nullptr, false); tools.ReadStatement(in, nullptr, false); }),
            "Unexpected ']' where a statement must begin @2:9");

  // An error not built by reading carries no position.
  EXPECT_EQ(FileTools::Error{}.line, 0);
  EXPECT_EQ(FileTools::Error{}.column, 0);
}

namespace {

// Every statement of |in| (continuing open brackets) and the error that ends
// the reading, with its place; |reuse| reads them all into one Statement.
std::string Transcript(std::istream& in, const char* blockdef, bool reuse) {
  FileTools tools;
  std::string result;
  Statement reused;
  result += PlaceOf([&] {
    bool continued = false;
    for (;;) {
      if (reuse) {
        tools.ReadStatement(in, blockdef, continued, reused);
      } else {
        reused = tools.ReadStatement(in, blockdef, continued);
      }
      result += Describe(reused) + " | ";
      if (reused.type == End) return;
      continued = reused.open;
    }
  });
  return result;
}

}  // namespace

// The tokenizer reads words and blank runs in place in the stream buffer's
// get area; what it reads, and where it says an error is, must not depend on
// how the buffer hands out the bytes, nor on whether statements are read
// into a new or a reused Statement.
TEST(FileTools, ReadsTheSameThroughEveryStreamBuffer) {
  const std::string longName(3000, 'n');
  const std::vector<std::string> texts = {
      "[NeuralNetwork]\r\n[NetworkType = MLP]\n  /* a /* nested */ comment\n */ [Layer=1]\n"
      "  -0.123456789012345 T     0.5 F  /* 0 */\n\t\t1e-300,2,,3 - -\n[" + longName + " = " + longName + "]\n"
      "[All ActivationFunction = sigmoid ]\n[~NeuralNetwork]",
      "[A = 1]\n   \n\n     x y [B =\n\n    = 2]",
      "[Layer]\n[Neurons = 3]\n  [~Network]\n",
      "[A = 1]\n  " + std::string((std::size_t{1} << 20) + 1, 'w'),
      std::string(std::size_t{1} << 20, 'w') + " x [Open",
      "[A\r\n\r\n",
      "/* a\nb /* c\r\nd */ e\n*/ [X] ]",
      "[Layer]\n 0.5 \xC2\xA0 T caf\xC3\xA9 1 \xE2\x88\x92" "1 F",
      "[Layer]\n 0.5 T 2\xC3\xA9 F",
  };
  for (const std::string& text : texts) {
    for (const char* blockdef : {static_cast<const char*>(nullptr), "NeuralNetwork"}) {
      std::istringstream plain(text);
      const std::string expected = Transcript(plain, blockdef, false);
      for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                std::size_t{64}, std::size_t{4096}}) {
        // The texts of a mebibyte through fewer buffers, to keep the test quick.
        if (text.size() > 100000 && chunk != 0 && chunk != 7 && chunk != 4096) continue;
        for (bool reuse : {false, true}) {
          TestSupport::ChunkedBuffer buffer(text, chunk);
          std::istream in(&buffer);
          EXPECT_EQ(Transcript(in, blockdef, reuse), expected)
              << "chunk " << chunk << (reuse ? ", reused statement" : "") << ", text " << text.substr(0, 40);
        }
      }
    }
  }
}

// A reused Statement carries nothing over from the statement before.
TEST(FileTools, ReadStatementIntoAReusedStatement) {
  FileTools tools;
  std::istringstream in("[Key = a-long-value-that-needs-memory of-its-own] word [Tag] [~Block]");
  Statement statement;
  tools.ReadStatement(in, "Block", false, statement);
  EXPECT_EQ(Describe(statement), "Assignment Key=a-long-value-that-needs-memory+");
  tools.ReadStatement(in, "Block", true, statement);
  EXPECT_EQ(Describe(statement), "Tag of-its-own");
  tools.ReadStatement(in, "Block", false, statement);
  EXPECT_EQ(Describe(statement), "Token word");
  EXPECT_EQ(statement.value, "");
  tools.ReadStatement(in, "Block", false, statement);
  EXPECT_EQ(Describe(statement), "Tag Tag");
  EXPECT_FALSE(statement.open);
  tools.ReadStatement(in, "Block", false, statement);
  EXPECT_EQ(statement.type, End);
  EXPECT_EQ(statement.name, "");
  EXPECT_EQ(statement.value, "");
}
