#include "shogi/csa_record.h"

#include <gtest/gtest.h>

#include <string>

#include "shogi/sfen.h"
#include "test/start_position.h"

namespace fvscope {
namespace {

GameRecord Read(const std::string& text) {
  GameRecord record;
  std::string error;
  EXPECT_TRUE(ReadCsaRecord(text, &record, &error)) << error;
  return record;
}

Position FromSfen(const char* sfen) {
  GameRecord record;
  std::string error;
  EXPECT_TRUE(ParseSfen(sfen, &record, &error)) << error;
  return record.start;
}

void ExpectSamePosition(const Position& a, const Position& b, const std::string& what) {
  for (int cell = 0; cell < kPositionCells; ++cell) {
    EXPECT_EQ(a.cells[cell], b.cells[cell]) << what << ", cell " << cell;
  }
}

TEST(CsaRecordPosition, EveryFormOfTheStartIsTheSfenStart) {
  const std::string placed =
      "P-11KY21KE31GI41KI51OU61KI71GI81KE91KY82HI22KA\n"
      "P-13FU23FU33FU43FU53FU63FU73FU83FU93FU\n"
      "P+19KY29KE39GI49KI59OU69KI79GI89KE99KY28HI88KA\n"
      "P+17FU27FU37FU47FU57FU67FU77FU87FU97FU\n";
  const std::string texts[] = {std::string("V2.2\n") + kStartPositionRows + "P+\nP-\n+\n",
                               "PI\n+\n", placed + "+\n"};
  const Position start = FromSfen(kStartSfen);
  for (const std::string& text : texts) {
    const GameRecord record = Read(text);
    ExpectSamePosition(record.start, start, text);
    EXPECT_EQ(record.side_to_move, kBlack);
    EXPECT_EQ(record.move_number, 1);
    EXPECT_TRUE(record.moves.empty());
  }
}

TEST(CsaRecordPosition, PiTakesOffHandicapPieces) {
  const GameRecord record = Read("PI82HI22KA\n-\n-5142OU\n");
  ExpectSamePosition(record.start,
                     FromSfen("lnsgkgsnl/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"), "");
  EXPECT_EQ(record.side_to_move, kWhite);
  ASSERT_EQ(record.moves.size(), 1u);
  EXPECT_EQ(record.moves[0].side, kWhite);
}

TEST(CsaRecordPosition, RowsWithHandsAndPlacementWithAll) {
  std::string rows = "P1 *  *  *  * -OU *  *  *  * \nP2 *  *  *  *  *  *  *  *  *\n";
  for (int row = 3; row <= 8; ++row) rows += "P" + std::to_string(row) + " *  *  *  *  *  *  *  *  * \n";
  rows += "P9 *  * +TO * +OU *  *  * +RY   \n";
  const GameRecord record = Read(rows + "P+00KI00FU00FU\nP-00AL\n+\n");
  const Position& p = record.start;
  EXPECT_EQ(p.cells[4], -kKing);
  EXPECT_EQ(p.cells[74], kProPawn);
  EXPECT_EQ(p.cells[80], kDragon);
  EXPECT_EQ(p.cells[kBlackKingCell], 76);
  EXPECT_EQ(p.cells[kWhiteKingCell], 4);
  const int black[kHandKinds] = {2, 0, 0, 0, 1, 0, 0};
  const int white[kHandKinds] = {15, 4, 4, 4, 3, 2, 1};  // the TO and RY count as FU and HI
  for (int k = 0; k < kHandKinds; ++k) {
    EXPECT_EQ(p.cells[HandSlot(kBlack, k)], black[k]) << k;
    EXPECT_EQ(p.cells[HandSlot(kWhite, k)], white[k]) << k;
  }
}

TEST(CsaRecordMoves, TimesCommentsAndTheEndOfTheMoves) {
  const GameRecord record = Read(
      "PI\n+\n+7776FU,T12\n-3334FU\nT5\n+8822UM,'takes\n-3122GI,T0.5\n%TORYO\n+9998XX\n");
  ASSERT_EQ(record.moves.size(), 4u);
  const char* texts[] = {"+7776FU", "-3334FU", "+8822UM", "-3122GI"};
  for (size_t i = 0; i < 4; ++i) {
    Move expected;
    ASSERT_TRUE(ParseCsaMove(texts[i], kBlack, &expected));
    EXPECT_EQ(record.moves[i].code, expected.code) << i;
    EXPECT_EQ(record.moves[i].side, expected.side) << i;
  }
}

TEST(CsaRecordText, LineEndsBomCommentsAndGames) {
  const std::string plain =
      "'CSA encoding=SHIFT_JIS\nV2.2\nN+\x90\xe6\x8e\xe8\nN-name, with a comma\n"
      "$EVENT:\x82\xa0,\x82\xa2\n'\x82\xa0\x82\xa2 \x95\\\nPI\n+\n+2726FU\n";
  const Position start = FromSfen(kStartSfen);
  std::string crlf, cr;
  for (char c : plain) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  const std::string texts[] = {plain, "\xEF\xBB\xBF" + crlf, cr,
                               plain + "/\nP+00XX\n+\n+1112FU\n"};
  for (const std::string& text : texts) {
    const GameRecord record = Read(text);
    ExpectSamePosition(record.start, start, text);
    EXPECT_EQ(record.moves.size(), 1u);
  }
}

TEST(CsaRecordErrors, BadRecordsNameTheLine) {
  const std::string long_line(5000, 'Q');
  std::string many_pawns = "P+";
  for (int i = 0; i < 128; ++i) many_pawns += "00FU";
  struct Case {
    std::string text;
    const char* error_start;
  } cases[] = {
      {"", "line 1: expected the position"},
      {"V2.2\nP1-KY-KE-GI-KI-OU-KI-GI-KE-KY\nP2 * -HI * +XX *  *  * -KA * \n", "line 3: "},
      {"P1 *  *  *  *  *  *  *  * \n", "line 1: expected a row of 9"},
      {std::string("P1 *  *  *  *  *  *  *  *  * \nP3"), "line 2: expected row P2"},
      {"PI\n+7776FU\n", "line 2: expected P+/P- or the side to move"},
      {"PI\n", "line 2: expected P+/P- or the side to move"},
      {"PI\r\n+\r\n\r\n+7776FU\r\n-3334XX\r\n", "line 5: expected a move"},
      {"PI\r+\r7776FU", "line 3: expected a move"},
      {"PI82KA\n", "line 1: expected PI cells naming the piece"},
      {"PI\n+\nX\n", "line 3: expected a move"},
      {"N+a\nPX\n", "line 2: expected the position"},
      {"V2.2\n+\n", "line 2: expected the position"},
      {"P+59OU\nP+51OU\n", "line 2: expected one king of a side"},
      {"P+59OU59FU\n", "line 1: expected each square"},
      {"P-00OU\n", "line 1: expected a kind that can be held"},
      {"P+50FU\n", "line 1: expected cells of a square"},
      {"P+00\n", "line 1: expected cells such as"},
      {many_pawns + "\n", "line 1: expected at most 127 pieces"},
      {"PI\n%TORYO\n", "line 2: expected P+/P- or the side to move"},
      {"PI\nPI\n", "line 2: expected P+/P- or the side to move"},
      {"PI\n+\n" + long_line, "line 3: expected a move"},
  };
  for (const Case& c : cases) {
    GameRecord record;
    std::string error;
    EXPECT_FALSE(ReadCsaRecord(c.text, &record, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error_start, 0), 0u) << error;
    EXPECT_LT(error.size(), 160u) << error;
  }
}

}  // namespace
}  // namespace fvscope
