#include "Common/StrCase.h"

#include <clocale>

#include <gtest/gtest.h>

TEST(StrCase, ComparesIgnoringLetterCase) {
  EXPECT_EQ(Netforge::strcasecmp("Layers", "LAYERS"), 0);
  EXPECT_EQ(Netforge::strcasecmp("abc", "ABD"), -1);
  EXPECT_EQ(Netforge::strcasecmp("b", "A"), 1);
  EXPECT_EQ(Netforge::strcasecmp("abc", "ab"), 1);
  EXPECT_EQ(Netforge::strcasecmp("ab", "abc"), -1);
  EXPECT_EQ(Netforge::strcasecmp("", ""), 0);
}

TEST(StrCase, ComparesBytesUnsignedAndFoldsOnlyAsciiLetters) {
  // 0xE9 sorts after every ASCII byte and is not folded to 0xC9.
  EXPECT_EQ(Netforge::strcasecmp("\xE9", "z"), 1);
  EXPECT_EQ(Netforge::strcasecmp("\xE9", "\xC9"), 1);
  // "[" (0x5B) sits between the upper- and lower-case letters: after folding
  // "a" becomes "A", which sorts before "[".
  EXPECT_EQ(Netforge::strcasecmp("a", "["), -1);
}

TEST(StrCase, IgnoresTheProgramLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr || std::setlocale(LC_ALL, "en_US.ISO-8859-1") != nullptr) {
    EXPECT_EQ(Netforge::strcasecmp("\xE9", "\xC9"), 1);
    EXPECT_EQ(Netforge::strcasecmp("sigmoid", "SIGMOID"), 0);
  }
  std::setlocale(LC_ALL, saved.c_str());
}
