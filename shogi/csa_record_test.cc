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


TEST(CsaRecordResult, EveryEndLineByTheSideToMove) {
  struct Case {
    const char* line;
    GameResult black_to_move, white_to_move;
  } cases[] = {
      {"%TORYO", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"%TIME_UP", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"%ILLEGAL_MOVE", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"%TSUMI", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"%KACHI", GameResult::kBlackWins, GameResult::kWhiteWins},
      {"%+ILLEGAL_ACTION", GameResult::kWhiteWins, GameResult::kWhiteWins},
      {"%-ILLEGAL_ACTION", GameResult::kBlackWins, GameResult::kBlackWins},
      {"%SENNICHITE", GameResult::kDraw, GameResult::kDraw},
      {"%JISHOGI", GameResult::kDraw, GameResult::kDraw},
      {"%HIKIWAKE", GameResult::kDraw, GameResult::kDraw},
      {"%CHUDAN", GameResult::kUnknown, GameResult::kUnknown},
      {"%TORYOX", GameResult::kUnknown, GameResult::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(std::string("PI\n+\n+7776FU\n-3334FU\n") + c.line + ",T3\n").result,
              c.black_to_move) << c.line;
    EXPECT_EQ(Read(std::string("PI\n+\n+7776FU\n") + c.line + "\n").result, c.white_to_move)
        << c.line;
    // A handicap game: white moves first.
    EXPECT_EQ(Read(std::string("PI82HI\n-\n") + c.line + "\n").result, c.white_to_move) << c.line;
  }
  EXPECT_EQ(Read("PI\n+\n+7776FU\n").result, GameResult::kUnknown);
  EXPECT_EQ(Read("PI\n+\n+7776FU\n/\nPI\n+\n%TORYO\n").result, GameResult::kUnknown);
}

TEST(CsaRecordNames, NamesInUtf8OrShiftJis) {
  const GameRecord utf8 = Read("N+\xE5\x85\x88\xE6\x89\x8B\nN-white, with a comma\nPI\n+\n");
  EXPECT_EQ(utf8.black_name, "\xE5\x85\x88\xE6\x89\x8B");
  EXPECT_EQ(utf8.white_name, "white, with a comma");
  const GameRecord sjis = Read("N+\x90\xe6\x8e\xe8\nN-\x81\nPI\n+\n");
  EXPECT_EQ(sjis.black_name, "\xE5\x85\x88\xE6\x89\x8B");
  EXPECT_EQ(sjis.white_name, "?");
}

// Games separated by "/": each read or refused on its own, the lines of
// every message counted in the whole text.
TEST(CsaRecordGames, EveryGameOfAFileBrokenOnesIncluded) {
  const std::string text =
      "\xEF\xBB\xBFV2.2\nPI\n+\n+7776FU\n%TORYO\n'after the end\n/\n"  // lines 1..7
      "PI\n+\n+7776XX\n-3334FU\n/\n"                                      // 8..12
      "PI82HI\n-\n-5142OU\n%KACHI\n/\n"                                    // 13..17
      "PI\n/\n"                                                           // 18..19
      "P1 *  *  *  *  *  *  *  *  * \r\n+\r\n/\r\n"                         // 20..22
      "'only a comment after the last game\n";
  std::vector<RecordGame> games;
  ReadCsaGames(text, &games);
  ASSERT_EQ(games.size(), 5u);
  EXPECT_EQ(games[0].error, "");
  EXPECT_EQ(games[0].record.moves.size(), 1u);
  EXPECT_EQ(games[0].record.result, GameResult::kBlackWins);
  EXPECT_EQ(games[1].error.rfind("line 10: expected a move", 0), 0u) << games[1].error;
  EXPECT_EQ(games[2].error, "");
  EXPECT_EQ(games[2].record.side_to_move, kWhite);
  EXPECT_EQ(games[2].record.result, GameResult::kBlackWins);
  EXPECT_EQ(games[3].error.rfind("line 19: expected P+/P- or the side to move", 0), 0u)
      << games[3].error;
  EXPECT_EQ(games[4].error.rfind("line 21: expected row P2", 0), 0u) << games[4].error;
  // The first game is what ReadCsaRecord reads; an empty text is one refused game.
  GameRecord first;
  std::string error;
  ASSERT_TRUE(ReadCsaRecord(text, &first, &error));
  EXPECT_EQ(first.moves.size(), 1u);
  games.clear();
  ReadCsaGames("", &games);
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].error, "line 1: expected the position (PI, P1..P9 or P+/P-), not the end of the record");
}

}  // namespace
}  // namespace fvscope
