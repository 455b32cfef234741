#include "shogi/cell_name.h"

#include <gtest/gtest.h>

#include <string>

namespace fvscope {
namespace {

TEST(CellName, BoardSquares) {
  EXPECT_EQ(CellName(76, 8), "+59OU");
  EXPECT_EQ(CellName(4, -8), "-51OU");
  EXPECT_EQ(CellName(0, -2), "-91KY");
  EXPECT_EQ(CellName(80, 14), "+19RY");
  EXPECT_EQ(CellName(8, -9), "-11TO");
  EXPECT_EQ(CellName(40, 0), "+55");
}

TEST(CellName, HandSlotsIgnoreTheCode) {
  EXPECT_EQ(CellName(81, 3), "+FU*");
  EXPECT_EQ(CellName(86, -50), "+KA*");
  EXPECT_EQ(CellName(88, 0), "-FU*");
  EXPECT_EQ(CellName(94, 2), "-HI*");
}

TEST(CellName, OutOfRangeArguments) {
  EXPECT_EQ(CellName(-1, 0), "?");
  EXPECT_EQ(CellName(95, 0), "?");
  EXPECT_EQ(CellName(40, 99), "+55??");
  EXPECT_EQ(CellName(40, -128), "-55??");
}

}  // namespace
}  // namespace fvscope
