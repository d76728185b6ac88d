#include "core/handle.h"

#include <gtest/gtest.h>

namespace {

struct Thing {
  int value;
};

TEST(HandleTable, HandlesCarryKindCheckAndSlotAndStaleOnesFail) {
  static HandleTable<Thing, 4> table;
  table.type = HandleTypeSound;
  Thing a{1}, b{2};
  int ha = table.Add(&a);
  ASSERT_GE(ha, 0);
  EXPECT_EQ(HandleKind(ha), HandleTypeSound);
  EXPECT_EQ(HandleSlot(ha), 0);
  EXPECT_EQ(table.Get(ha), &a);

  // Same slot reused after removal gets another check number.
  EXPECT_EQ(table.Remove(ha), &a);
  EXPECT_EQ(table.Get(ha), nullptr);
  int hb = table.Add(&b);
  EXPECT_NE(hb, ha);
  EXPECT_EQ(table.Get(ha), nullptr);
  EXPECT_EQ(table.Get(hb), &b);

  // Foreign kind, negative and out-of-range slots fail.
  EXPECT_EQ(table.Get(MakeHandleValue(HandleTypeFont, HandleCheck(hb), HandleSlot(hb))), nullptr);
  EXPECT_EQ(table.Get(-1), nullptr);
  EXPECT_EQ(table.Get(MakeHandleValue(HandleTypeSound, HandleCheck(hb), 9)), nullptr);
}

TEST(HandleTable, FullTableRefuses) {
  static HandleTable<Thing, 2> table;
  table.type = HandleTypeFont;
  Thing t[3];
  EXPECT_GE(table.Add(&t[0]), 0);
  EXPECT_GE(table.Add(&t[1]), 0);
  EXPECT_EQ(table.Add(&t[2]), -1);
}

}  // namespace

namespace {

TEST(HandleValue, KindCheckAndSlotFieldsDoNotOverlapAndStayPositive) {
  int h = MakeHandleValue(HandleTypeSoftImage, 0x7FF, 0xFFFF);
  EXPECT_EQ(h, 0x77FFFFFF);
  EXPECT_GT(h, 0);
  EXPECT_EQ(HandleKind(h), 14);
  EXPECT_EQ(HandleCheck(h), 0x7FF);
  EXPECT_EQ(HandleSlot(h), 0xFFFF);
  EXPECT_EQ(MakeHandleValue(HandleTypeGraph, 3, 5), (1 << 27) | (3 << 16) | 5);
}

TEST(HandleTable, CheckNumbersRunThroughElevenBitsSkippingZero) {
  static HandleTable<Thing, 1> table;
  table.type = HandleTypeMask;
  Thing t{0};
  int first = table.Add(&t);
  EXPECT_EQ(HandleCheck(first), 1);
  table.Remove(first);
  int last = -1;
  for (int i = 2; i <= 2047; i++) {
    last = table.Add(&t);
    ASSERT_EQ(HandleCheck(last), i);
    table.Remove(last);
  }
  int wrapped = table.Add(&t);
  EXPECT_EQ(HandleCheck(wrapped), 1);  // 2048 wraps to 0, which no handle uses
  EXPECT_EQ(table.Get(last), nullptr);
  EXPECT_EQ(table.Get(wrapped), &t);
}

}  // namespace
