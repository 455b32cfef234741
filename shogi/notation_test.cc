#include "shogi/notation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shogi/csa_reader.h"
#include "test/start_position.h"

namespace fvscope {
namespace {

Position StartPosition() {
  std::string record = std::string("V2.2\nN+\nN-\n") + kStartPositionRows + "P+\nP-\n+\n";
  FILE* file = fmemopen(record.data(), record.size(), "r");
  Position position = {};
  ReadCsaPositionFrom(file, &position);
  std::fclose(file);
  return position;
}

TEST(PositionSfen, StartPositionHandsAndPromotedPieces) {
  Position p = StartPosition();
  EXPECT_EQ(PositionSfen(p, kBlack),
            "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1");
  for (int h = 0; h < kHandKinds; ++h) {
    p.cells[HandSlot(kBlack, h)] = static_cast<int8_t>(10 + h);
    p.cells[HandSlot(kWhite, h)] = static_cast<int8_t>(17 + h);
  }
  EXPECT_EQ(PositionSfen(p, kWhite, 42).substr(58),
            "w 16R15B14G13S12N11L10P23r22b21g20s19n18l17p 42");
  Position q = {};
  const int codes[] = {9, 10, 11, 12, 13, 14, -9, -14, 8, -8};
  for (int i = 0; i < 10; ++i) q.cells[40 + i] = static_cast<int8_t>(codes[i]);
  q.cells[HandSlot(kWhite, 0)] = 1;
  EXPECT_EQ(PositionSfen(q, kBlack), "9/9/9/9/4+P+L+N+S+B/+R+p+rKk4/9/9/9 b p 1");
}

TEST(MoveTexts, UsiAndCsaFormsOfPlayedMoves) {
  PvLine line;
  std::string error;
  ASSERT_TRUE(DecodePvLine("7776FU3334FU8822UM3122GI0055KA0033KA5533UM2231GI3322UM", kBlack,
                           &line, &error));
  Position p = StartPosition();
  PlayPvLine(&line, &p);
  // A bishop that becomes a horse promotes ("+"); a horse that moves does not.
  const char* usi[] = {"7g7f", "3c3d", "8h2b+", "3a2b", "B*5e", "B*3c", "5e3c+", "2b3a", "3c2b"};
  const char* csa[] = {"+7776FU", "-3334FU", "+8822UM", "-3122GI", "+0055KA",
                       "-0033KA", "+5533UM", "-2231GI", "+3322UM"};
  ASSERT_EQ(line.count, 9);
  for (int n = 0; n < line.count; ++n) {
    EXPECT_EQ(UsiMoveText(line.moves[n]), usi[n]);
    EXPECT_EQ(CsaMoveText(line.moves[n]), csa[n]);
  }
  EXPECT_EQ(PositionSfen(p, kWhite),
            "lnsgkgsnl/1r5+B1/pppppp1pp/6p2/9/2P6/PP1PPPPPP/7R1/LNSGKGSNL w B 1");
}

}  // namespace
}  // namespace fvscope
