#include "Common/Assert.h"

#include <gtest/gtest.h>

namespace {

int CheckedIndex(int index) {
  NF_ASSERT(index>=0);
  return index;
}

}  // namespace

TEST(AssertDeathTest, PrintsConditionFileAndLineThenAborts) {
  EXPECT_EQ(CheckedIndex(3), 3);
  EXPECT_DEATH(CheckedIndex(-1), "^Assertion failed: index>=0, file .*Assert_test\\.cpp, line [0-9]+\n");
}

TEST(AssertDeathTest, TextFormReportsTheGivenText) {
  const char* a = "x";
  EXPECT_DEATH(NF_ASSERT_TEXT(a[0] == 'y', "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()"),
               "Assertion failed: conn1 -> GetConnectionsNType\\(\\) == conn2 -> GetConnectionsNType\\(\\), file ");
}

#ifdef NDEBUG
TEST(AssertDeathTest, StaysOnWithNdebug) {
  EXPECT_DEATH(CheckedIndex(-5), "Assertion failed: index>=0");
}
#endif
