#include "shogi/csa_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "test/scratch_dir.h"
#include "test/start_position.h"

namespace fvscope {
namespace {

const char kHeader[] = "V2.2\nN+black\nN-white\n";
const char kEmptyRow[] = "P0 *  *  *  *  *  *  *  *  * \n";

// A position whose every cell holds a marker, to see which cells are written.
Position MarkedPosition() {
  Position position;
  for (int8_t& cell : position.cells) cell = 99;
  return position;
}

std::string EmptyRows() {
  std::string rows;
  for (int i = 0; i < 9; ++i) rows += kEmptyRow;
  return rows;
}

Position Read(const std::string& text) {
  ScratchDir dir;
  Position position = MarkedPosition();
  EXPECT_TRUE(ReadCsaPosition(dir.Write("game.csa", text).c_str(), &position));
  return position;
}

TEST(CsaReaderRows, StartingPosition) {
  const Position p = Read(std::string(kHeader) + kStartPositionRows + "P+\nP-\n+\n");
  const int top[9] = {-2, -3, -4, -5, -8, -5, -4, -3, -2};
  const int bottom[9] = {2, 3, 4, 5, 8, 5, 4, 3, 2};
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(p.cells[c], top[c]);
    EXPECT_EQ(p.cells[72 + c], bottom[c]);
  }
  EXPECT_EQ(p.cells[10], -7);
  EXPECT_EQ(p.cells[16], -6);
  EXPECT_EQ(p.cells[64], 6);
  EXPECT_EQ(p.cells[70], 7);
  EXPECT_EQ(p.cells[40], 0);
  EXPECT_EQ(p.cells[kWhiteKingCell], 4);
  EXPECT_EQ(p.cells[kBlackKingCell], 76);
  for (int slot = 81; slot < 95; ++slot) EXPECT_EQ(p.cells[slot], 0);
  EXPECT_EQ(p.cells[95], 99);  // the spare cell is left alone
}

TEST(CsaReaderRows, RowsAreTakenInFileOrderAndUnknownNamesLeaveSquaresEmpty) {
  std::string rows = "P2+FU+XX+OX * +KY-ZZ=FU *  * \n";
  for (int i = 0; i < 8; ++i) rows += kEmptyRow;
  const Position p = Read(std::string(kHeader) + rows);
  EXPECT_EQ(p.cells[0], 1);
  EXPECT_EQ(p.cells[1], 0);
  EXPECT_EQ(p.cells[2], 0);  // "OX" names no piece...
  EXPECT_EQ(p.cells[kBlackKingCell], 2);  // ...but its 'O' still marks the king
  EXPECT_EQ(p.cells[4], 2);
  EXPECT_EQ(p.cells[5], 0);
  EXPECT_EQ(p.cells[6], 0);  // a sign other than ' ', '+', '-'
  EXPECT_EQ(p.cells[kWhiteKingCell], 99);  // no white king: cell unchanged
}

TEST(CsaReaderRows, ShortLinesAndShortFilesLeaveMissingCellsEmpty) {
  Position p = Read(std::string(kHeader) + "P1-KY-KE\nP2+F\n");
  EXPECT_EQ(p.cells[0], -2);
  EXPECT_EQ(p.cells[1], -3);
  for (int square = 2; square < 81; ++square) EXPECT_EQ(p.cells[square], 0) << square;
  p = Read("only\ntwo\n");
  for (int cell = 0; cell < 95; ++cell) EXPECT_EQ(p.cells[cell], 0);
  EXPECT_EQ(p.cells[kBlackKingCell], 99);
}

TEST(CsaReaderRows, LinesAreCutAt1023CharactersAndEachPieceIsALine) {
  // A first row of 1,023 characters and more: its second piece is row 2.
  std::string first_row = "P1+FU";
  first_row.resize(1023, ' ');
  std::string text = std::string(kHeader) + first_row + "P2+KY\n";
  for (int i = 0; i < 7; ++i) text += kEmptyRow;
  text += "P+00HI\n";
  const Position p = Read(text);
  EXPECT_EQ(p.cells[0], 1);
  EXPECT_EQ(p.cells[9], 2);
  EXPECT_EQ(p.cells[87], 1);
}

TEST(CsaReaderRows, CarriageReturnsAreNotPartOfTheLine) {
  std::string text = "a\r\nb\r\nc\r\n";
  for (int i = 0; i < 9; ++i) text += "P1+FU *  *  *  *  *  *  * -KY\r\n";
  text += "P+00KI\r\n";
  const Position p = Read(text);
  EXPECT_EQ(p.cells[8], -2);
  EXPECT_EQ(p.cells[80], -2);
  EXPECT_EQ(p.cells[85], 1);
}

TEST(CsaReaderHands, CellsCountTheSevenHandKindsOnly) {
  const Position p = Read(std::string(kHeader) + EmptyRows() +
                          "P-00KA00FU00FU\nP+\nP+00AL00OU00TO63KI\n+\n");
  EXPECT_EQ(p.cells[93], 1);
  EXPECT_EQ(p.cells[88], 2);
  EXPECT_EQ(p.cells[85], 1);  // the digits are not examined
  EXPECT_EQ(p.cells[81], 0);
}

TEST(CsaReaderHands, TheFirstLineThatIsNoHandLineEndsTheReading) {
  // Without hand lines the line after the rows ends the reading at once.
  Position p = Read(std::string(kHeader) + EmptyRows() + "+\nP+00HI\n");
  EXPECT_EQ(p.cells[87], 0);
  // A comment with a sign as its second character is one more hand line.
  p = Read(std::string(kHeader) + EmptyRows() + "P+00HI\n'+ 00HI\n");
  EXPECT_EQ(p.cells[87], 1);
  // Hand lines up to the end of the file, the last without a line feed.
  p = Read(std::string(kHeader) + EmptyRows() + "P+00HI\nP+00HI00KI");
  EXPECT_EQ(p.cells[87], 2);
  EXPECT_EQ(p.cells[85], 1);
}

TEST(CsaReaderHands, HugeCountsSaturate) {
  std::string hands;
  for (int line = 0; line < 2; ++line) {
    hands += "P+";
    for (int i = 0; i < 200; ++i) hands += "00FU";
    hands += "\n";
  }
  const Position p = Read(std::string(kHeader) + EmptyRows() + hands);
  EXPECT_EQ(p.cells[81], 127);
}

TEST(CsaReaderFailure, MissingFileLeavesThePositionUntouched) {
  Position position = MarkedPosition();
  EXPECT_FALSE(ReadCsaPosition("/nonexistent/game000.csa", &position));
  for (int8_t cell : position.cells) EXPECT_EQ(cell, 99);
}

}  // namespace
}  // namespace fvscope
