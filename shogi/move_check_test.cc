#include "shogi/move_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

// Checks the USI move on the SFEN's position; returns "" or the reason.
std::string Check(const std::string& sfen, const std::string& usi) {
  GameRecord record;
  std::string error;
  EXPECT_TRUE(ParseSfen(sfen, &record, &error)) << error;
  Move move;
  EXPECT_TRUE(ParseUsiMove(usi, record.side_to_move, &move)) << usi;
  std::string why;
  return CheckMove(record.start, record.side_to_move, Notation::kUsi, &move, &why) ? "" : why;
}

TEST(CheckMove, EachRuleAcceptedAndRefused) {
  const std::string start = kStartSfen;
  const std::string open = "lnsgkgsnl/1r5b1/pppppp1pp/6p2/9/2P6/PP1PPPPPP/1B5R1/LNSGKGSNL b - 1";
  struct Row {
    std::string sfen, move, why;  // why empty: the move is legal
  } rows[] = {
      {start, "7g7f", ""},
      {start, "7g7e", "cannot move to 7e"},
      {start, "5e5d", "no black piece on 5e"},
      {start, "3c3d", "no black piece on 3c"},  // white's pawn
      {start, "2h2c", "cannot move to 2c"},     // the rook's way is blocked
      {start, "2h3h", ""},
      {start, "9i9h", ""},
      {start, "9i8i", "cannot move to 8i"},
      {start, "8h7g", "holds a piece of black's own"},
      {open, "8h2b+", ""},  // the bishop's diagonal is open
      {open, "8h1a+", "cannot move to 1a"},  // white's bishop stands between
      {open, "6g6f+", "outside black's promotion zone"},
      {open, "6i5h+", "a gold cannot promote"},
      {"4k4/9/9/9/9/9/9/9/4K4 b P 1", "P*5b", ""},
      {"4k4/9/9/9/9/9/9/9/4K4 b P 1", "P*4a", "could never move"},
      {"4k4/9/9/9/9/9/9/9/4K4 b P 1", "L*5e", "holds no lance"},
      {"4k4/9/9/9/9/9/9/9/4K4 b P 1", "P*5i", "not empty"},
      {"4k4/9/9/9/9/9/4P4/9/4K4 b P 1", "P*5e", "unpromoted pawn on file 5"},
      {"4k4/9/9/9/9/9/4+P4/9/4K4 b P 1", "P*5e", ""},
      {"k8/4P4/9/9/9/9/9/9/4K4 b - 1", "5b5a", "must promote"},
      {"k8/4P4/9/9/9/9/9/9/4K4 b - 1", "5b5a+", ""},
      {"4k4/4P4/9/9/9/9/9/9/4K4 b - 1", "5b5a+", "holds the white king"},
      {"k8/2N6/9/9/9/9/9/9/4K4 b - 1", "7b8d", "cannot move to 8d"},
      {"k8/9/2N6/9/9/9/9/9/4K4 b - 1", "7c6a", "must promote"},
      {"k8/9/2N6/9/9/9/9/9/4K4 b - 1", "7c6a+", ""},
      {"4k4/9/9/9/4+B4/9/9/9/4K4 b - 1", "5e5d", ""},  // a horse steps orthogonally
      {"4k4/9/9/9/4+B4/9/9/9/4K4 b - 1", "5e5c", "cannot move to 5c"},
      {"4k4/9/9/9/9/9/9/9/4K4 w - 1", "5a4b", ""},
      {"4k4/9/9/9/9/9/9/9/4K4 w - 1", "5a5c", "cannot move to 5c"},
      {"4k4/4p4/9/9/9/9/9/9/4K4 w - 1", "5b5c", ""},  // white's pawns move down the board
  };
  for (const Row& row : rows) {
    const std::string why = Check(row.sfen, row.move);
    if (row.why.empty()) {
      EXPECT_EQ(why, "") << row.move << " on " << row.sfen;
    } else {
      EXPECT_NE(why.find(row.why), std::string::npos) << row.move << ": " << why;
    }
  }
}

// The moves of the start (30, as every shogi program counts them) and checks
// by a step, a slide and a knight, with a blocked slide and no king.
TEST(PlayableMoves, StartCountAndKingAttacks) {
  GameRecord record;
  std::string error;
  ASSERT_TRUE(ParseSfen(kStartSfen, &record, &error)) << error;
  std::vector<Move> moves;
  PlayableMoves(record.start, kBlack, &moves);
  EXPECT_EQ(moves.size(), 30u);
  EXPECT_FALSE(KingAttacked(record.start, kBlack));
  const struct {
    const char* sfen;
    bool black_attacked;
  } rows[] = {
      {"4k4/9/9/9/9/9/9/4g4/4K4 b - 1", true},
      {"4k4/9/9/9/r8/9/9/9/4K4 b - 1", false},
      {"4k4/4r4/9/9/9/9/9/9/4K4 b - 1", true},
      {"4k4/4r4/9/9/9/9/4P4/9/4K4 b - 1", false},
      {"4k4/9/9/9/9/9/5n3/9/4K4 b - 1", true},
      {"4k4/9/9/9/9/9/9/9/9 b - 1", false},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(ParseSfen(row.sfen, &record, &error)) << row.sfen << ": " << error;
    EXPECT_EQ(KingAttacked(record.start, kBlack), row.black_attacked) << row.sfen;
  }
}

TEST(PlayRecord, CsaSignsAndNamesAreChecked) {
  GameRecord record;
  std::string error;
  ASSERT_TRUE(ParseSfen(kStartSfen, &record, &error));
  for (const char* text : {"+7776FU", "-3334FU", "+8822UM", "-3122GI", "+0055KA"}) {
    Move move;
    ASSERT_TRUE(ParseCsaMove(text, kBlack, &move));
    record.moves.push_back(move);
  }
  Position position;
  Side to_move;
  ASSERT_TRUE(PlayRecord(record, -1, Notation::kCsa, &position, &to_move, &error)) << error;
  EXPECT_EQ(PositionSfen(position, to_move),
            "lnsgkg1nl/1r5s1/pppppp1pp/6p2/4B4/2P6/PP1PPPPPP/7R1/LNSGKGSNL w b 1");
  ASSERT_TRUE(PlayRecord(record, 2, Notation::kCsa, &position, &to_move, &error));
  EXPECT_EQ(to_move, kBlack);
  EXPECT_FALSE(PlayRecord(record, 6, Notation::kCsa, &position, &to_move, &error));
  record.moves[1].side = kBlack;  // "+3334FU": not black's move
  EXPECT_FALSE(PlayRecord(record, -1, Notation::kCsa, &position, &to_move, &error));
  EXPECT_EQ(error, "move 2 \"+3334FU\": it is white's move, not black's");
  ASSERT_TRUE(ParseCsaMove("-3334KA", kBlack, &record.moves[1]));
  EXPECT_FALSE(PlayRecord(record, -1, Notation::kCsa, &position, &to_move, &error));
  EXPECT_EQ(error, "move 2 \"-3334KA\": no white bishop on 33 (a pawn stands there)");
}

}  // namespace
}  // namespace fvscope
