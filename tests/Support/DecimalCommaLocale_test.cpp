// The decimal-comma run of the test suite: when NETFORGE_TEST_LOCALE=comma
// is set, the locale must really be in force, or that run proves nothing.
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>

#include <gtest/gtest.h>

TEST(DecimalCommaLocale, IsInForceWhenAskedFor) {
  const char* wanted = std::getenv("NETFORGE_TEST_LOCALE");
  std::ostringstream text;
  text << 1234.5;
  if (wanted != nullptr && std::strcmp(wanted, "comma") == 0) {
    EXPECT_EQ(text.str(), "1.234,5");
    EXPECT_EQ(std::use_facet<std::numpunct<char>>(std::locale()).decimal_point(), ',');
  } else {
    EXPECT_EQ(text.str(), "1234.5");
  }
}
