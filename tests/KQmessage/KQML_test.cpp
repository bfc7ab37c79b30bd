#include "KQmessage/KQML.h"
#include "Support/ConsoleRecorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

using Owned = std::unique_ptr<TKQstructure>;

// The text form of the structure an Error carries.
template <typename F>
std::string ErrorText(F&& action) {
  try {
    action();
  } catch (const TKQstructure::Error& e) {
    const Owned structure(e.structure);  // the catcher owns it
    EXPECT_NE(structure, nullptr);
    return TextForm(structure.get());
  }
  return "no error";
}

std::string Printed(const char* text) {
  const char* cursor = text;
  Owned s(Parse(cursor));
  return TextForm(s.get());
}

// A random token that may stand as a head, keyword or atom.
std::string RandomWord(std::mt19937& rng) {
  static const std::string first = "abcXYZ019-_.!*?/&";
  static const std::string rest = first + ":";
  std::uniform_int_distribution<std::size_t> length(1, 6);
  std::string word(1, first[rng() % first.size()]);
  for (std::size_t n = length(rng); n > 1; --n) word += rest[rng() % rest.size()];
  return word;
}

Owned RandomTree(std::mt19937& rng, int depth) {
  auto s = std::make_unique<TKQstructure>(RandomWord(rng).c_str());
  const int pairs = depth > 4 ? 0 : static_cast<int>(rng() % 5);
  for (int i = 0; i < pairs; ++i) s->Set(RandomWord(rng).c_str(), RandomTree(rng, depth + 1).release());
  return s;
}

std::string Key(int i) {
  std::string key = std::to_string(i);
  key.insert(key.begin(), 'k');
  return key;
}

std::string Nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "(a :b ";
  text += "x";
  text += std::string(levels, ')');
  return text;
}

}  // namespace

TEST(TKQstructure, ConstructionAndTextForm) {
  TKQstructure plain;
  EXPECT_STREQ(plain.GetHead(), "unknown");
  EXPECT_EQ(plain.GetCount(), 0);
  EXPECT_EQ(plain.GetCapacity(), 16);
  EXPECT_EQ(TextForm(&plain), "unknown");

  TKQstructure tell("tell");
  EXPECT_EQ(tell.GetCapacity(), 16);
  EXPECT_EQ(TextForm(&tell), "tell");
  auto inner = new TKQstructure("c");
  inner->Set("d", "e");
  tell.Set("b", inner);
  tell.Set("x", "y z");  // nothing is quoted
  EXPECT_EQ(TextForm(&tell), "(tell :b (c :d e) :x y z)");
  EXPECT_STREQ(tell.GetKeyword(0), "b");
  EXPECT_EQ(tell.GetValue(0), inner);
}

TEST(TKQstructure, SetKeepsFirstSpellingAndReplacesValue) {
  TKQstructure s("error");
  s.Set("Type", "first");
  s.Set("TYPE", "second");
  EXPECT_EQ(s.GetCount(), 1);
  EXPECT_STREQ(s.GetKeyword(0), "Type");
  ASSERT_NE(s.Find("type"), nullptr);
  EXPECT_STREQ(s.Find("type")->GetHead(), "second");
  EXPECT_EQ(s.Find("kind"), nullptr);
  EXPECT_STREQ(s.Get("tYpE")->GetHead(), "second");
  EXPECT_STREQ(s.Require("type")->GetHead(), "second");
}

TEST(TKQstructure, TypedSettersWritePrintfTexts) {
  TKQstructure s("values");
  s.Set("d", 3.0);
  s.Set("half", 0.5);
  s.Set("neg", -0.0000004);
  s.Set("l", -7L);
  s.Set("i", 12);
  s.Set("t", true);
  s.Set("f", false);
  s.Set("big", 1e20);
  EXPECT_STREQ(s.Get("d")->GetHead(), "3.000000");
  EXPECT_STREQ(s.Get("half")->GetHead(), "0.500000");
  EXPECT_STREQ(s.Get("neg")->GetHead(), "-0.000000");
  EXPECT_STREQ(s.Get("l")->GetHead(), "-7");
  EXPECT_STREQ(s.Get("i")->GetHead(), "12");
  EXPECT_STREQ(s.Get("t")->GetHead(), "true");
  EXPECT_STREQ(s.Get("f")->GetHead(), "false");
  EXPECT_STREQ(s.Get("big")->GetHead(), "100000000000000000000.000000");
  EXPECT_EQ(s.Get("d")->GetCount(), 0);
}

TEST(TKQstructure, SlotsGrowByDoublingAndCopiesAreExact) {
  TKQstructure s;
  for (int i = 0; i < 16; ++i) s.Set(Key(i).c_str(), static_cast<long>(i));
  EXPECT_EQ(s.GetCapacity(), 16);
  s.Set("k3", "again");  // a replacement needs no slot
  EXPECT_EQ(s.GetCapacity(), 16);
  s.Set("k16", 16L);
  EXPECT_EQ(s.GetCapacity(), 32);
  EXPECT_EQ(s.GetCount(), 17);
  for (int i = 0; i < 17; ++i) EXPECT_STREQ(s.GetKeyword(i), Key(i).c_str());

  TKQstructure copy(s);
  EXPECT_EQ(copy.GetCapacity(), 17);
  EXPECT_EQ(TextForm(&copy), TextForm(&s));
  copy.Set("more", 1L);
  EXPECT_EQ(copy.GetCapacity(), 34);

  TKQstructure empty;
  TKQstructure emptyCopy(empty);
  EXPECT_EQ(emptyCopy.GetCapacity(), 0);
  emptyCopy.Set("a", 1L);
  EXPECT_EQ(emptyCopy.GetCapacity(), 16);

  TKQstructure assigned("x");
  assigned = empty;
  EXPECT_EQ(assigned.GetCapacity(), 0);
  EXPECT_STREQ(assigned.GetHead(), "unknown");
  assigned = s;
  EXPECT_EQ(assigned.GetCapacity(), 17);
  TKQstructure& same = assigned;
  assigned = same;
  EXPECT_EQ(TextForm(&assigned), TextForm(&s));
}

TEST(TKQstructure, CopiesAreDeep) {
  TKQstructure s("a");
  auto inner = new TKQstructure("c");
  inner->Set("d", "e");
  s.Set("b", inner);
  TKQstructure copy(s);
  inner->Set("d", "changed");
  EXPECT_EQ(TextForm(&copy), "(a :b (c :d e))");
  EXPECT_NE(copy.Get("b"), inner);
}

TEST(TKQstructure, RequireAndExpectThrowErrorStructures) {
  TKQstructure s("error");
  s.Set("type", "invalid-message");
  EXPECT_EQ(ErrorText([&] { s.Require("content"); }), "(error :type invalid-message :expected content)");
  EXPECT_EQ(ErrorText([&] { s.Expect("content", ""); }), "(error :type invalid-message :expected content)");
  EXPECT_EQ(ErrorText([&] { s.Expect("type", "data"); }),
            "(error :type invalid-message :tag type :expected-value data)");
  EXPECT_NO_THROW(s.Expect("type", ""));
  EXPECT_NO_THROW(s.Expect("TYPE", "Invalid-Message"));
  EXPECT_EQ(TextForm(&s), "(error :type invalid-message)");  // unchanged
}

TEST(TKQstructure, RemoveMovesTheLastPairIntoTheGap) {
  TKQstructure s("m");
  s.Set("a", 1L);
  s.Set("b", 2L);
  s.Set("c", 3L);
  s.Remove("missing");
  EXPECT_EQ(s.GetCount(), 3);
  s.Remove("A");
  EXPECT_EQ(TextForm(&s), "(m :c 3 :b 2)");
  s.Remove("b");
  EXPECT_EQ(TextForm(&s), "(m :c 3)");
  s.Remove("c");
  EXPECT_EQ(TextForm(&s), "m");
  EXPECT_EQ(s.GetCapacity(), 16);
  s.Set("d", 4L);
  EXPECT_EQ(TextForm(&s), "(m :d 4)");
}

TEST(TKQstructure, Conversions) {
  EXPECT_TRUE(TKQstructure::ToBoolean("True"));
  EXPECT_TRUE(TKQstructure::ToBoolean("TRUE"));
  EXPECT_FALSE(TKQstructure::ToBoolean("fAlse"));
  EXPECT_EQ(ErrorText([] { TKQstructure::ToBoolean("yes"); }), "(error :type type-error :expected boolean)");
  EXPECT_EQ(ErrorText([] { TKQstructure::ToBoolean("true "); }), "(error :type type-error :expected boolean)");

  EXPECT_EQ(ToInteger(" 42x"), 42);
  EXPECT_EQ(ToInteger("12abc"), 12);
  EXPECT_EQ(ToInteger("-9223372036854775808"), -9223372036854775807L - 1);
  EXPECT_EQ(ErrorText([] { ToInteger("x42"); }), "(error :type invalid-message :integer-expected x42)");
  EXPECT_EQ(ErrorText([] { ToInteger(""); }), "(error :type invalid-message :integer-expected )");
  EXPECT_EQ(ErrorText([] { ToInteger("99999999999999999999"); }),
            "(error :type invalid-message :integer-expected 99999999999999999999)");

  EXPECT_EQ(ToNumber("1e3"), 1000.0);
  EXPECT_EQ(ToNumber(" -0.25xyz"), -0.25);
  EXPECT_EQ(ToNumber("0.500000"), 0.5);
  EXPECT_EQ(ErrorText([] { ToNumber("abc"); }), "(error :type invalid-message :number-expected abc)");

  EXPECT_EQ(ScanInteger("17"), 17);
  EXPECT_EQ(ScanNumber("2.5"), 2.5);
}

TEST(TKQstructureDeathTest, CallersErrorsFailInternalChecks) {
  TKQstructure s("m");
  EXPECT_DEATH(s.Set("a", static_cast<TKQstructure*>(NULL)), "Assertion failed: newval != NULL");
  EXPECT_DEATH(s.Get("absent"), "Assertion failed: ");
  EXPECT_DEATH(ScanInteger("x"), "Assertion failed: err == 1");
  EXPECT_DEATH(ScanNumber("x"), "Assertion failed: err == 1");
}

TEST(TKQstructure, MakeErrorAndJoinArguments) {
  Owned error(MakeError("bad-header"));
  EXPECT_EQ(TextForm(error.get()), "(error :type bad-header)");

  char program[] = "Netforge";
  char one[] = "a.par";
  char two[] = "x";
  char* argv[] = {program, one, two, nullptr};
  EXPECT_EQ(JoinArguments(3, argv), "a.par x ");
  EXPECT_EQ(JoinArguments(2, argv), "a.par ");
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_EQ(JoinArguments(0, argv), "");
}

TEST(TKQstructure, NextTokenSplitsAtSeparatorsAndSpecials) {
  const char* text = " \t(a:b :c\x01\x7f\xff" "d)e:(\n";
  const char* cursor = text;
  EXPECT_EQ(NextToken(cursor, "():"), "(");
  EXPECT_EQ(NextToken(cursor, "():"), "a:b");
  EXPECT_EQ(NextToken(cursor, "():"), ":");
  EXPECT_EQ(NextToken(cursor, "():"), "c");
  EXPECT_EQ(NextToken(cursor, "():"), "d");
  EXPECT_EQ(NextToken(cursor, "():"), ")");
  EXPECT_EQ(NextToken(cursor, "():"), "e:");
  EXPECT_EQ(NextToken(cursor, "():"), "(");
  EXPECT_EQ(NextToken(cursor, "():"), "");
  EXPECT_EQ(*cursor, '\0');

  cursor = "  (a) b";
  EXPECT_EQ(NextToken(cursor, ""), "(a)");
  EXPECT_STREQ(cursor, " b");
}

TEST(TKQstructure, CheckTokenReportsSpecialCharacters) {
  TestSupport::ConsoleRecorder console;
  EXPECT_TRUE(CheckToken('a'));
  EXPECT_EQ(console.TakeError(), "");
  for (char c : {'\0', '(', ')', ':'}) {
    EXPECT_FALSE(CheckToken(c));
    EXPECT_EQ(console.TakeError(), "special character unexpected\n");
  }
  EXPECT_EQ(console.TakeOutput(), "");
}

TEST(TKQstructure, ParseReadsTheTextForm) {
  EXPECT_EQ(Printed("(tell :content (a :b c) :x y)"), "(tell :content (a :b c) :x y)");
  EXPECT_EQ(Printed("  hello  "), "hello");
  EXPECT_EQ(Printed("(tell)"), "tell");
  EXPECT_EQ(Printed("(a :b c :B d)"), "(a :b d)");
  EXPECT_EQ(Printed("\n( a\t: b\r\nc )"), "(a :b c)");

  const char* cursor = "(a :b c:d)";
  Owned s(Parse(cursor));
  EXPECT_STREQ(s->Get("b")->GetHead(), "c:d");
  EXPECT_EQ(s->GetCapacity(), 16);

  const char* text = "(a :b c) d";
  cursor = text;
  s.reset(Parse(cursor));
  EXPECT_EQ(TextForm(s.get()), "(a :b c)");
  EXPECT_EQ(cursor, text + 8);

  text = "  (a :b c) \n\t";
  cursor = text;
  s.reset(ParseMessage(cursor));
  EXPECT_EQ(TextForm(s.get()), "(a :b c)");
  EXPECT_EQ(*cursor, '\0');
}

// A cursor into writable text (char*) works like a read-only one, and the
// catcher of an Error owns its structure and deletes it.
TEST(TKQstructure, ParseTakesWritableCursorsAndHandsErrorsToTheCatcher) {
  char text[] = "(a :b c) (d :e f)  ";
  char* cursor = text;
  Owned s(Parse(cursor));
  EXPECT_EQ(TextForm(s.get()), "(a :b c)");
  EXPECT_EQ(cursor, text + 8);
  s.reset(ParseMessage(cursor));
  EXPECT_EQ(TextForm(s.get()), "(d :e f)");
  EXPECT_EQ(cursor, text + sizeof text - 1);

  char bad[] = "(a :b c) d";
  cursor = bad;
  TKQstructure* caught = nullptr;
  try {
    ParseMessage(cursor);
  } catch (const TKQstructure::Error& e) {
    const TKQstructure::Error copy = e;  // copies the pointer, not the structure
    EXPECT_EQ(copy.structure, e.structure);
    caught = e.structure;
  }
  ASSERT_NE(caught, nullptr);
  EXPECT_EQ(TextForm(caught), "(error :type parse-error :reason text-after-message :position 9)");
  delete caught;
  EXPECT_EQ(cursor, bad);
}

TEST(TKQstructure, MalformedTextsThrowAndLeaveTheCursor) {
  struct Case {
    const char* text;
    const char* error;
    bool diagnostic;
  };
  const Case cases[] = {
      {"", "(error :type parse-error :reason special-character-unexpected :position 0)", true},
      {"   ", "(error :type parse-error :reason special-character-unexpected :position 3)", true},
      {")", "(error :type parse-error :reason special-character-unexpected :position 0)", true},
      {":a", "(error :type parse-error :reason special-character-unexpected :position 0)", true},
      {"(", "(error :type parse-error :reason special-character-unexpected :position 1)", true},
      {"((a))", "(error :type parse-error :reason special-character-unexpected :position 1)", true},
      {"(a", "(error :type parse-error :reason pair-expected :position 2)", false},
      {"(a b)", "(error :type parse-error :reason pair-expected :position 3)", false},
      {"(a :b", "(error :type parse-error :reason special-character-unexpected :position 5)", true},
      {"(a :)", "(error :type parse-error :reason special-character-unexpected :position 4)", true},
      {"(a : :b c)", "(error :type parse-error :reason special-character-unexpected :position 5)", true},
      {"(a :b c", "(error :type parse-error :reason pair-expected :position 7)", false},
      {"(a :b (c :d", "(error :type parse-error :reason special-character-unexpected :position 11)", true},
      {"(a :b (c :d e", "(error :type parse-error :reason pair-expected :position 13)", false},
      {"(a :b ())", "(error :type parse-error :reason special-character-unexpected :position 7)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool message : {false, true}) {
      const char* cursor = c.text;
      TestSupport::ConsoleRecorder console;
      EXPECT_EQ(ErrorText([&] { message ? ParseMessage(cursor) : Parse(cursor); }), c.error);
      EXPECT_EQ(console.TakeError(), c.diagnostic ? "special character unexpected\n" : "");
      EXPECT_EQ(cursor, c.text);
    }
  }

  const char* text = "(a :b c) d";
  const char* cursor = text;
  EXPECT_EQ(ErrorText([&] { ParseMessage(cursor); }),
            "(error :type parse-error :reason text-after-message :position 9)");
  EXPECT_EQ(cursor, text);
}

TEST(TKQstructure, NestingIsBounded) {
  const std::string deepest = Nested(kMaxParseDepth);
  const char* cursor = deepest.c_str();
  Owned s(ParseMessage(cursor));
  EXPECT_EQ(TextForm(s.get()), deepest);

  const std::string tooDeep = Nested(kMaxParseDepth + 1);
  cursor = tooDeep.c_str();
  EXPECT_EQ(ErrorText([&] { Parse(cursor); }),
            "(error :type parse-error :reason too-deep :position " + std::to_string(6 * kMaxParseDepth) + ")");

  // Hostile input: far deeper than any stack would bear.
  const std::string hostile(1000000, '(');
  cursor = hostile.c_str();
  // "((" has no head word; the structure the catcher gets is deleted.
  EXPECT_EQ(ErrorText([&] { Parse(cursor); }), "(error :type parse-error :reason special-character-unexpected :position 1)");
}

TEST(TKQstructure, RandomTreesSurvivePrintAndParse) {
  std::mt19937 rng(20240601);
  for (int round = 0; round < 300; ++round) {
    Owned tree = RandomTree(rng, 0);
    const std::string text = TextForm(tree.get());
    const char* cursor = text.c_str();
    Owned parsed(ParseMessage(cursor));
    ASSERT_EQ(TextForm(parsed.get()), text);
    TKQstructure copy(*parsed);
    ASSERT_EQ(TextForm(&copy), text);
  }
}

TEST(TKQstructure, PrintWritesToStandardOutput) {
  TKQstructure s("tell");
  s.Set("x", 1L);
  testing::internal::CaptureStdout();
  Print(&s);
  PrintLine(&s);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "(tell :x 1)(tell :x 1)\n");
}
