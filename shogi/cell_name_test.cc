#include "shogi/cell_name.h"

#include <gtest/gtest.h>

#include <string>

namespace fvscope {
namespace {

TEST(CellName, BoardSquares) {
  EXPECT_STREQ(CellName(76, 8), "+59OU");
  EXPECT_STREQ(CellName(4, -8), "-51OU");
  EXPECT_STREQ(CellName(0, -2), "-91KY");
  EXPECT_STREQ(CellName(80, 14), "+19RY");
  EXPECT_STREQ(CellName(8, -9), "-11TO");
  EXPECT_STREQ(CellName(40, 0), "+55");
}

TEST(CellName, HandSlotsIgnoreTheCode) {
  EXPECT_STREQ(CellName(81, 3), "+FU*");
  EXPECT_STREQ(CellName(86, -50), "+KA*");
  EXPECT_STREQ(CellName(88, 0), "-FU*");
  EXPECT_STREQ(CellName(94, 2), "-HI*");
}

TEST(CellName, SharedBufferAndOutOfRangeArguments) {
  const char* first = CellName(76, 8);
  const char* second = CellName(81, 0);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "+FU*");
  EXPECT_STREQ(CellName(-1, 0), "?");
  EXPECT_STREQ(CellName(95, 0), "?");
  EXPECT_STREQ(CellName(40, 99), "+55??");
  EXPECT_STREQ(CellName(40, -128), "-55??");
}

}  // namespace
}  // namespace fvscope
