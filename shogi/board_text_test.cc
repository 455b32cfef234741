#include "shogi/board_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test/start_position.h"

namespace fvscope {
namespace {

std::string Print(const Position& position) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  PrintPosition(position, out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

Position StartingPosition() {
  Position p = {};
  const int back[9] = {2, 3, 4, 5, 8, 5, 4, 3, 2};
  for (int c = 0; c < 9; ++c) {
    p.cells[c] = static_cast<int8_t>(-back[c]);
    p.cells[18 + c] = -1;
    p.cells[54 + c] = 1;
    p.cells[72 + c] = static_cast<int8_t>(back[c]);
  }
  p.cells[10] = -7;
  p.cells[16] = -6;
  p.cells[64] = 6;
  p.cells[70] = 7;
  return p;
}

TEST(PrintPosition, StartingPositionIsTwelveLines) {
  EXPECT_EQ(Print(StartingPosition()),
            std::string("   9  8  7  6  5  4  3  2  1\n") + kStartPositionRows + "P+\nP-\n");
}

TEST(PrintPosition, HandsRookFirstPawnsLastAndPromotedNames) {
  Position p = {};
  p.cells[81] = 2;
  p.cells[87] = 1;
  p.cells[92] = 1;
  p.cells[89] = -1;  // a count below zero prints nothing
  p.cells[0] = 13;
  p.cells[80] = -9;
  const std::string text = Print(p);
  EXPECT_NE(text.find("P1+UM *  *  *  *  *  *  *  * \n"), std::string::npos);
  EXPECT_NE(text.find("P9 *  *  *  *  *  *  *  * -TO\n"), std::string::npos);
  EXPECT_NE(text.find("\nP+00HI00FU00FU\nP-00KI\n"), std::string::npos);
}

TEST(PrintPosition, CodesOutsideTheTableKeepTheRowShape) {
  Position p = {};
  p.cells[1] = 100;
  p.cells[2] = -100;
  EXPECT_NE(Print(p).find("P1 * + ?- ? *  *  *  *  *  * \n"), std::string::npos);
}

}  // namespace
}  // namespace fvscope
