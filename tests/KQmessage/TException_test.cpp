#include "KQmessage/TException.h"

#include <gtest/gtest.h>

#include <string>

#include "KQmessage/KQML.h"

namespace {

void RaiseFromDeepFrame() {
  // The texts live on this frame only; the exception must own copies.
  std::string message = "Invalid Data Row";
  std::string kind = "Bad Parameter";
  std::string origin = "Data::GetInputDatum";
  throw TException(message.c_str(), kind.c_str(), origin.c_str(), NULL);
}

}  // namespace

TEST(TException, DefaultAndShortConstructorsLeaveFieldsNull) {
  TException empty;
  EXPECT_EQ(empty.message, nullptr);
  EXPECT_EQ(empty.kind, nullptr);
  EXPECT_EQ(empty.detail, nullptr);
  EXPECT_EQ(empty.origin, nullptr);

  TException noKind("Data Block Fault", NULL);
  EXPECT_STREQ(noKind.message, "Data Block Fault");
  EXPECT_EQ(noKind.kind, nullptr);
  EXPECT_EQ(noKind.origin, nullptr);
  EXPECT_EQ(noKind.detail, nullptr);

  TException twoTexts("Null data pointer", "Null Pointer Parameter");
  EXPECT_STREQ(twoTexts.message, "Null data pointer");
  EXPECT_STREQ(twoTexts.kind, "Null Pointer Parameter");
  EXPECT_EQ(twoTexts.origin, nullptr);
  TException copy(noKind);
  EXPECT_STREQ(copy.message, "Data Block Fault");
  EXPECT_EQ(copy.kind, nullptr);
}

TEST(TException, ConstructorsCopyTheirTexts) {
  char message[] = "Invalid Data Row";
  char kind[] = "Bad Parameter";
  char origin[] = "Data::SetRow";
  TException e(message, kind, origin, NULL);
  message[0] = kind[0] = origin[0] = 'X';
  EXPECT_STREQ(e.message, "Invalid Data Row");
  EXPECT_STREQ(e.kind, "Bad Parameter");
  EXPECT_STREQ(e.origin, "Data::SetRow");
  EXPECT_EQ(e.detail, nullptr);
}

TEST(TException, CaughtByReferenceKeepsItsTextsAfterTheFrameIsGone) {
  try {
    RaiseFromDeepFrame();
    FAIL() << "no exception";
  } catch (const TException& e) {
    EXPECT_STREQ(e.message, "Invalid Data Row");
    EXPECT_STREQ(e.kind, "Bad Parameter");
    EXPECT_STREQ(e.origin, "Data::GetInputDatum");
    EXPECT_EQ(e.detail, nullptr);
  }
}

TEST(TException, CopiesOwnTheirOwnDetail) {
  TKQstructure* detail = MakeError("bad-row");
  detail->Set("row", 7L);
  TException original("Invalid Data Row", "Bad Parameter", "Data::GetLabels", detail);
  ASSERT_EQ(original.detail, detail);

  TException copy(original);
  ASSERT_NE(copy.detail, nullptr);
  EXPECT_NE(copy.detail, original.detail);
  EXPECT_EQ(TextForm(copy.detail), "(error :type bad-row :row 7)");
  EXPECT_NE(copy.message, original.message);
  EXPECT_STREQ(copy.origin, "Data::GetLabels");

  TException assigned;
  assigned = copy;
  TException& same = assigned;
  assigned = same;
  EXPECT_EQ(TextForm(assigned.detail), "(error :type bad-row :row 7)");
  EXPECT_STREQ(assigned.kind, "Bad Parameter");

  // Changing one copy's detail leaves the others alone; each is destroyed once.
  copy.detail->Set("row", 8L);
  EXPECT_EQ(TextForm(original.detail), "(error :type bad-row :row 7)");
  EXPECT_EQ(TextForm(assigned.detail), "(error :type bad-row :row 7)");
}

TEST(TException, ThrownWithDetailReachesTheHandlerIntact) {
  try {
    throw TException("Data Block Fault", "Bad Parameter", "Data::GetBlock", MakeError("block"));
  } catch (const TException& e) {
    ASSERT_NE(e.detail, nullptr);
    EXPECT_EQ(TextForm(e.detail), "(error :type block)");
  }
}
