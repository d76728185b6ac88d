#include <gtest/gtest.h>

#include "softrender/blend_tables.h"

namespace {

class MemImgTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMemImgBlendTables(); }
};

TEST_F(MemImgTables, LerpRowsTruncateTowardZero) {
  EXPECT_EQ(MemImgLerpRow(255)[255], 255);
  EXPECT_EQ(MemImgLerpRow(255)[-255], -255);
  EXPECT_EQ(MemImgLerpRow(128)[255], 128);
  EXPECT_EQ(MemImgLerpRow(128)[-1], 0);
  EXPECT_EQ(MemImgLerpRow(128)[-255], -128);
  EXPECT_EQ(MemImgLerpRow(1)[-254], 0);
  EXPECT_EQ(MemImgLerpRow(200)[-100], -78);  // -20000 / 255 = -78.4
  EXPECT_EQ(MemImgLerpRow(200)[100], 78);
  EXPECT_EQ(MemImgLerpRow(51)[-5], -1);      // -255 / 255 exactly
  for (int d = -255; d <= 255; d++) EXPECT_EQ(MemImgLerpRow(0)[d], 0);
  // Row layout: the centre sits 255 entries into a 512-entry row.
  EXPECT_EQ(&MemImgLerpTable[3][0] + 255, MemImgLerpRow(3));
  EXPECT_EQ(sizeof(MemImgLerpTable), 524288u);
}

TEST_F(MemImgTables, ProductRows) {
  for (int j = 0; j < 256; j++) {
    EXPECT_EQ(MemImgProductTable[255][j], j);
    EXPECT_EQ(MemImgProductTable[0][j], 0);
  }
  EXPECT_EQ(MemImgProductTable[128][255], 128);
  EXPECT_EQ(MemImgProductTable[100][200], 78);  // 20000 / 255 = 78.4
  EXPECT_EQ(MemImgProductTable[254][254], 253); // 64516 / 255 = 253.0
  EXPECT_EQ(MemImgProductTable[17][15], 1);     // 255 / 255
  EXPECT_EQ(MemImgProductTable[16][15], 0);     // 240 / 255
  EXPECT_EQ(sizeof(MemImgProductTable), 262144u);
}

TEST_F(MemImgTables, SixBitSlices) {
  for (int i = 0; i < 64; i++) {
    for (int j = 0; j < 64; j++) {
      EXPECT_EQ(MemImgSixBitTable[0][i][j], j);
      EXPECT_EQ(MemImgSixBitTable[63][i][j], i);
    }
  }
  EXPECT_EQ(MemImgSixBitTable[32][63][0], 32);
  EXPECT_EQ(MemImgSixBitTable[10][20][40], 36);  // (200 + 2120) / 63 = 36.8
  const uint8_t* flat = &MemImgSixBitTable[0][0][0];
  EXPECT_EQ(flat[10 * 4096 + 20 * 64 + 40], 36);
}

TEST_F(MemImgTables, BuildingAgainGivesTheSameTables) {
  MemImgProductTable[5][5] = 99;
  MemImgLerpTable[5][0] = 99;
  EXPECT_EQ(InitMemImgBlendTables(), 0);
  EXPECT_EQ(MemImgProductTable[5][5], 0);
  EXPECT_EQ(MemImgLerpTable[5][0], -5);
}

TEST(MemImgBorderTable, ParameterZeroLetsTheSourceThroughEverywhere) {
  for (int range : {0, 1, 100, 255}) {
    SetMemImgBorderTable(0, range);
    for (int b = 0; b < 256; b++) EXPECT_EQ(MemImgBorderTable[b], 255) << range << " " << b;
  }
}

TEST(MemImgBorderTable, RangeZeroIsAHardStep) {
  // k = (65536 + 256) * 128 / 256 = 32896; entry = 256 b + 256 - k.
  SetMemImgBorderTable(128, 0);
  for (int b = 0; b < 128; b++) EXPECT_EQ(MemImgBorderTable[b], 0) << b;
  EXPECT_EQ(MemImgBorderTable[128], 128);
  for (int b = 129; b < 256; b++) EXPECT_EQ(MemImgBorderTable[b], 255) << b;
}

TEST(MemImgBorderTable, RampsFollowParameterAndRange) {
  // Full range: slope one; parameter 128 gives k = 256, so entry b = b.
  SetMemImgBorderTable(128, 255);
  for (int b = 0; b < 256; b++) EXPECT_EQ(MemImgBorderTable[b], b);

  // Parameter 255: k = 510, entry = b - 254.
  SetMemImgBorderTable(255, 255);
  for (int b = 0; b < 255; b++) EXPECT_EQ(MemImgBorderTable[b], 0) << b;
  EXPECT_EQ(MemImgBorderTable[255], 1);

  // Parameter 64, range 63: r = 64, k = (1024 + 256) * 64 / 256 = 320,
  // entry = 4 b - 64.
  SetMemImgBorderTable(64, 63);
  EXPECT_EQ(MemImgBorderTable[0], 0);
  EXPECT_EQ(MemImgBorderTable[16], 0);
  EXPECT_EQ(MemImgBorderTable[17], 4);
  EXPECT_EQ(MemImgBorderTable[50], 136);
  EXPECT_EQ(MemImgBorderTable[79], 252);
  EXPECT_EQ(MemImgBorderTable[80], 255);
  EXPECT_EQ(MemImgBorderTable[255], 255);

  // Range 2: r = 3, k = (21845 + 256) * 200 / 256 = 17266,
  // entry = 256 b / 3 + 256 - 17266.
  SetMemImgBorderTable(200, 2);
  EXPECT_EQ(MemImgBorderTable[199], 0);     // 16981 - 17010 < 0
  EXPECT_EQ(MemImgBorderTable[200], 56);    // 17066 - 17010
  EXPECT_EQ(MemImgBorderTable[201], 142);   // 17152 - 17010
  EXPECT_EQ(MemImgBorderTable[202], 227);   // 17237 - 17010
  EXPECT_EQ(MemImgBorderTable[203], 255);   // 312, limited
}

}  // namespace
