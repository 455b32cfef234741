#include "shogi/move.h"

#include <gtest/gtest.h>

#include <string>

namespace fvscope {
namespace {

PvLine Decode(const std::string& text, Side first_side = kBlack) {
  PvLine line;
  std::string error;
  EXPECT_TRUE(DecodePvLine(text.c_str(), first_side, &line, &error)) << error;
  return line;
}

TEST(DecodePvLine, MoveWordsAndSides) {
  const PvLine line = Decode("7776FU0055KA2822UM5545UM", kWhite);
  ASSERT_EQ(line.count, 4);
  EXPECT_EQ(line.moves[0].code, 7215);
  EXPECT_EQ(MoveFrom(line.moves[0].code), 56);
  EXPECT_EQ(MoveTo(line.moves[0].code), 47);
  EXPECT_EQ(line.moves[1].code, 11048);
  EXPECT_EQ(line.moves[2].code, 25360);
  EXPECT_TRUE(MovePromotes(line.moves[3].code));  // a horse that merely moves
  EXPECT_EQ(line.moves[1].kind, kBishop);
  EXPECT_EQ(line.first_side, kWhite);
  EXPECT_EQ(line.moves[0].side, kWhite);
  EXPECT_EQ(line.moves[1].side, kBlack);
  EXPECT_EQ(line.moves[2].side, kWhite);
}

TEST(DecodePvLine, CountIsLengthDivSix) {
  std::string text;
  for (int i = 0; i < 15; ++i) text += "7776FU";
  EXPECT_EQ(Decode(text + "12345").count, 15);
  EXPECT_EQ(Decode("").count, 0);
}

TEST(DecodePvLine, MoveTextsNoEngineWritesEndTheLine) {
  const char* bad[] = {"7776FU7076FU", "7776FU77a6FU", "7776FU0055OU", "7776FU0055TO",
                       "7776FU0555FU", "7776FU7770FU", "7776FU00\n5FU", "7776FU7675XX"};
  for (const char* text : bad) {
    PvLine line;
    std::string error;
    EXPECT_FALSE(DecodePvLine(text, kBlack, &line, &error)) << text;
    EXPECT_EQ(line.count, 1) << text;
    EXPECT_NE(error.find("move 2"), std::string::npos) << error;
    EXPECT_NE(error.find(std::string(text + 6, 6)), std::string::npos) << error;
  }
}

class ApplyMoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int8_t& cell : position.cells) cell = 0;
    position.cells[kBlackKingCell] = 76;
    position.cells[kWhiteKingCell] = 4;
  }
  MoveCode Play(Side side, const char* text) {
    MoveCode move = Decode(text).moves[0].code;
    ApplyMove(side, &position, &move);
    return move;
  }
  Position position;
};

TEST_F(ApplyMoveTest, DropsComeFromTheMoversHand) {
  position.cells[86] = 1;
  Play(kBlack, "0055KA");
  EXPECT_EQ(position.cells[86], 0);
  EXPECT_EQ(position.cells[40], 6);
  position.cells[93] = 1;
  Play(kWhite, "0054KA");
  EXPECT_EQ(position.cells[93], 0);
  EXPECT_EQ(position.cells[31], -6);
  Play(kWhite, "0053FU");  // from an empty hand
  EXPECT_EQ(position.cells[88], -1);
  EXPECT_EQ(position.cells[kWhiteKingCell], 4);
}

TEST_F(ApplyMoveTest, CaptureWithPromotion) {
  position.cells[70] = 6;
  position.cells[16] = -4;
  EXPECT_EQ(Play(kBlack, "2822UM"), 2122512);
  EXPECT_EQ(position.cells[16], 13);
  EXPECT_EQ(position.cells[70], 0);
  EXPECT_EQ(position.cells[84], 1);
}

TEST_F(ApplyMoveTest, PromotedCapturesGoToHandUnpromoted) {
  position.cells[40] = 13;
  Play(kBlack, "5545UM");
  EXPECT_EQ(position.cells[41], 13);
  position.cells[32] = -10;
  const MoveCode move = Play(kBlack, "4544UM");
  EXPECT_EQ(MoveCaptured(move), 10);
  EXPECT_EQ(position.cells[82], 1);
}

TEST_F(ApplyMoveTest, KingsMoveAndAreCaptured) {
  position.cells[76] = 8;
  Play(kBlack, "5958OU");
  EXPECT_EQ(position.cells[67], 8);
  EXPECT_EQ(position.cells[kBlackKingCell], 67);
  position.cells[77] = -8;  // white king on 49 takes the black king on 58
  const MoveCode move = Play(kWhite, "4958OU");
  EXPECT_EQ(MoveCaptured(move), 8);
  for (int slot = 81; slot < 95; ++slot) EXPECT_EQ(position.cells[slot], 0);
  EXPECT_EQ(position.cells[67], -8);
  EXPECT_EQ(position.cells[kWhiteKingCell], 67);
}

TEST_F(ApplyMoveTest, WordsOutsideTheBoardChangeNothing) {
  const Position before = position;
  MoveCode move = (100 << kMoveFromShift) | 10;
  ApplyMove(kBlack, &position, &move);
  move = (10 << kMoveFromShift) | 90;
  ApplyMove(kBlack, &position, &move);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(before.cells), kPositionCells),
            std::string(reinterpret_cast<const char*>(position.cells), kPositionCells));
}

}  // namespace
}  // namespace fvscope
