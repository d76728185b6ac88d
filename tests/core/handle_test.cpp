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
