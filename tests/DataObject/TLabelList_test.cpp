#include "DataObject/TLabelList.h"

#include <gtest/gtest.h>

#include <utility>

TEST(TLabelList, AppendAddsToAnExactNameAndOtherwiseGrowsInOrder) {
  TLabelList list;
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.labels, nullptr);

  list.Append("cat", 0.5);
  list.Append("cat", 0.5);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.labels[0].name, "cat");
  EXPECT_DOUBLE_EQ(list.labels[0].value, 1.0);

  // Names are compared exactly: letter case makes a different label.
  list.Append("Cat", 2.0);
  list.Append("dog", -1.0);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.labels[0].name, "cat");
  EXPECT_EQ(list.labels[1].name, "Cat");
  EXPECT_DOUBLE_EQ(list.labels[1].value, 2.0);
  EXPECT_EQ(list.labels[2].name, "dog");
  EXPECT_DOUBLE_EQ(list.labels[2].value, -1.0);

  // A prefix is not the same name either.
  list.Append("ca", 1.0);
  EXPECT_EQ(list.count, 4);

  TLabelList one("bird", 0.25);
  ASSERT_EQ(one.count, 1);
  EXPECT_EQ(one.labels[0].name, "bird");
  EXPECT_DOUBLE_EQ(one.labels[0].value, 0.25);
}

TEST(TLabelList, CopiesAreDeepAndSelfAssignmentKeepsTheList) {
  TLabelList original("cat", 1.0);
  original.Append("dog", 0.5);

  TLabelList copy(original);
  copy.Append("cat", 1.0);
  copy.labels[1].name = "wolf";
  EXPECT_DOUBLE_EQ(original.labels[0].value, 1.0);
  EXPECT_EQ(original.labels[1].name, "dog");

  TLabelList assigned("x", 3.0);
  assigned = original;
  ASSERT_EQ(assigned.count, 2);
  EXPECT_NE(assigned.labels.get(), original.labels.get());
  EXPECT_EQ(assigned.labels[1].name, "dog");

  TLabelList& same = assigned;
  assigned = same;
  ASSERT_EQ(assigned.count, 2);
  EXPECT_EQ(assigned.labels[0].name, "cat");

  TLabelList empty;
  assigned = empty;
  EXPECT_EQ(assigned.count, 0);
  EXPECT_EQ(assigned.labels, nullptr);

  TLabelList moved(std::move(original));
  EXPECT_EQ(moved.count, 2);
  EXPECT_EQ(original.count, 0);  // NOLINT(bugprone-use-after-move): moved-from lists are empty
  EXPECT_EQ(original.labels, nullptr);
}

TEST(TLabelListDeathTest, NullNameFailsTheInternalCheck) {
  TLabelList list;
  EXPECT_DEATH(list.Append(nullptr, 1.0), "Assertion failed: name != 0");
}
