#include <gtest/gtest.h>

#include <string>

#include "Arrangement.h"
#include "KeyedTextTable.h"

namespace {

TEST(CellTableTest, FourColumnsThreeRowsTruncated) {
  ComputeCellTable(1920, 1080);
  EXPECT_EQ(g_cells[0].x, 0);
  EXPECT_EQ(g_cells[5].x, 480);
  EXPECT_EQ(g_cells[5].y, 360);
  EXPECT_EQ(g_cells[11].x, 1440);
  EXPECT_EQ(g_cells[11].y, 720);
  EXPECT_EQ(g_cells[11].width, 480);
  EXPECT_EQ(g_cells[11].height, 360);
  ComputeCellTable(1366, 768);
  EXPECT_EQ(g_cells[3].x, 1023);
  EXPECT_EQ(g_cells[3].width, 341);
  EXPECT_EQ(g_cells[8].y, 512);
}

class PlanArrangementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TableClear();
    ComputeCellTable(1920, 1080);
  }
  void TearDown() override { TableClear(); }
};

TEST_F(PlanArrangementTest, ListedFilesTakeConsecutiveCellsByBareName) {
  TableInsert("0", "C:\\logs\\a.log");
  TableInsert("1", "D:\\x\\y\\b.txt");
  TableInsert("2", "plain.txt");
  auto plan = PlanArrangement(3);
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].title, "a.log");
  EXPECT_EQ(plan[1].title, "b.txt");
  EXPECT_EQ(plan[2].title, "plain.txt");
  EXPECT_EQ(plan[0].cell.x, 0);
  EXPECT_EQ(plan[1].cell.x, 480);
  EXPECT_EQ(plan[2].cell.x, 960);
  EXPECT_EQ(plan[2].cell.y, 0);
  EXPECT_EQ(plan[2].cell.width, 480);
}

TEST_F(PlanArrangementTest, RemovedKeysTakeNoCellAndThirteenthWrapsToFirst) {
  for (int i = 0; i < 15; ++i) TableInsert(DecimalKey(i), ("C:\\f" + std::to_string(i)).c_str());
  TableRemove("1");
  TableRemove("4");
  auto plan = PlanArrangement(15);
  ASSERT_EQ(plan.size(), 13u);
  EXPECT_EQ(plan[1].title, "f2");
  EXPECT_EQ(plan[1].cell.x, 480);
  EXPECT_EQ(plan[12].title, "f14");
  EXPECT_EQ(plan[12].cell.x, 0);
  EXPECT_EQ(plan[12].cell.y, 0);
}

// Paths are UTF-8: the title is what follows the last backslash, also
// after ぁ (E3 81 81), whose last byte would be a Shift-JIS lead byte.
TEST_F(PlanArrangementTest, TitleIsTheNameAfterTheLastBackslashOfTheUtf8Path) {
  TableInsert("0", "C:\\\xE3\x81\x81\\\xE8\xA1\xA8x.log");
  auto plan = PlanArrangement(1);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].title, "\xE8\xA1\xA8x.log");
}

TEST_F(PlanArrangementTest, ZeroSizedCellsAreLeftOutButStillCounted) {
  ComputeCellTable(3, 100);
  TableInsert("0", "a");
  EXPECT_TRUE(PlanArrangement(1).empty());
}

}  // namespace
