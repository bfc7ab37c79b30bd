#include "KQmessage/KQML.h"

#include <gtest/gtest.h>

TEST(TKQstructure, ConstructionCopyAndDestruction) {
  TKQstructure plain;
  EXPECT_STREQ(plain.GetHead(), "unknown");
  EXPECT_EQ(plain.GetCount(), 0);
  EXPECT_EQ(plain.GetCapacity(), 16);
  TKQstructure named("tell");
  named.Set("content", new TKQstructure("x"));
  TKQstructure copy(named);
  EXPECT_EQ(copy.GetCapacity(), 1);
  EXPECT_EQ(TextForm(&copy), "(tell :content x)");
}
