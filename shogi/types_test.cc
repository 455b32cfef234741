#include "shogi/types.h"

#include <gtest/gtest.h>

namespace fvscope {
namespace {

TEST(PieceTables, PromotionKeepsSignAndFixedKinds) {
  EXPECT_EQ(PromoteCode(1), 9);
  EXPECT_EQ(PromoteCode(-1), -9);
  EXPECT_EQ(PromoteCode(-7), -14);
  EXPECT_EQ(PromoteCode(6), 13);
  EXPECT_EQ(PromoteCode(-5), -5);
  EXPECT_EQ(PromoteCode(8), 8);
  EXPECT_EQ(PromoteCode(13), 13);
  EXPECT_EQ(PromoteCode(0), 0);
}

TEST(PieceTables, CapturedPromotedPiecesGoToHandUnpromoted) {
  EXPECT_EQ(kCaptureHandKind[kHorse], 5);
  EXPECT_EQ(kCaptureHandKind[kDragon], 6);
  EXPECT_EQ(kCaptureHandKind[kProPawn], 0);
  EXPECT_EQ(kCaptureHandKind[kKing], -1);
}

TEST(Squares, NumberingFollowsCsaDigits) {
  EXPECT_EQ(SquareOf(5, 5), 40);
  EXPECT_EQ(SquareOf(5, 9), 76);
  EXPECT_EQ(SquareOf(9, 1), 0);
  EXPECT_EQ(SquareOf(1, 9), 80);
  EXPECT_EQ(FileOf(8), 1);
  EXPECT_EQ(RankOf(72), 9);
}

TEST(Hands, CountsSaturateInsteadOfWrapping) {
  Position position = {};
  position.cells[81] = 126;
  AddToHand(&position, 81, 1);
  AddToHand(&position, 81, 1);
  EXPECT_EQ(position.cells[81], 127);
  position.cells[88] = -127;
  AddToHand(&position, 88, -1);
  AddToHand(&position, 88, -1);
  EXPECT_EQ(position.cells[88], -128);
}

}  // namespace
}  // namespace fvscope
