#include "shogi/kif_record.h"

#include <gtest/gtest.h>

#include <string>

#include "shogi/csa_record.h"
#include "shogi/sfen.h"
#include "shogi/text_encoding.h"
#include "test/kif_writer.h"

namespace fvscope {
namespace {

constexpr char kHead[] = "手合割：平手\n手数----指手---------消費時間--\n";

GameRecord Read(const std::string& text) {
  GameRecord record;
  std::string error;
  EXPECT_TRUE(ReadKifRecord(text, &record, &error)) << error << "\n" << text;
  return record;
}

void ExpectSameGame(const GameRecord& a, const GameRecord& b, const std::string& what) {
  for (int cell = 0; cell < kPositionCells; ++cell) {
    ASSERT_EQ(a.start.cells[cell], b.start.cells[cell]) << what << ", cell " << cell;
  }
  EXPECT_EQ(a.side_to_move, b.side_to_move) << what;
  EXPECT_EQ(a.move_number, b.move_number) << what;
  ASSERT_EQ(a.moves.size(), b.moves.size()) << what;
  for (size_t n = 0; n < a.moves.size(); ++n) {
    EXPECT_EQ(a.moves[n].side, b.moves[n].side) << what << ", move " << n + 1;
    EXPECT_EQ(a.moves[n].code, b.moves[n].code) << what << ", move " << n + 1;
    EXPECT_EQ(a.moves[n].kind, b.moves[n].kind) << what << ", move " << n + 1;
    EXPECT_EQ(a.moves[n].promotes, b.moves[n].promotes) << what << ", move " << n + 1;
  }
}

// Random games from every handicap and from a diagram written as KIF, in
// either encoding and line end, read back to the game itself and to what
// its CSA text reads as.
TEST(KifRecordRoundTrip, RandomGamesReadAsTheirCsaRecords) {
  const int handicaps = static_cast<int>(std::size(kKifHandicaps));
  for (int seed = 0; seed < 2 * (handicaps + 1); ++seed) {
    KifStyle style;
    style.handicap = seed % (handicaps + 1) == handicaps ? -1 : seed % (handicaps + 1);
    style.bare_drops = seed % 3 == 1;
    style.times = seed % 2 == 0;
    std::string sfen = style.handicap >= 0 ? kKifHandicaps[style.handicap].sfen : kStartSfen;
    if (style.handicap < 0) {  // a diagram of a position in the middle of a game
      const GameRecord opening = RandomRecord(kStartSfen, 30 + seed, 1000 + seed);
      Position p;
      Side side;
      std::string error;
      ASSERT_TRUE(PlayRecord(opening, -1, Notation::kCsa, &p, &side, &error)) << error;
      sfen = PositionSfen(p, side);
    }
    const GameRecord game = RandomRecord(sfen, 20 + seed * 3, seed);
    std::string kif = KifText(game, style);
    const std::string what = "seed " + std::to_string(seed) + "\n" + kif;
    if (seed % 4 == 1) kif = WithCrlf(kif);
    if (seed % 4 == 2) kif = "\xEF\xBB\xBF" + kif;
    if (seed % 4 == 3) {
      std::string cp932;
      ASSERT_TRUE(Utf8ToCp932(kif, &cp932)) << what;
      kif = cp932;
    }
    ASSERT_TRUE(LooksLikeKif(kif)) << what;
    const GameRecord from_kif = Read(kif);
    ExpectSameGame(from_kif, game, what);
    EXPECT_EQ(from_kif.black_name, "black player");
    EXPECT_EQ(from_kif.white_name, "white player");
    GameRecord from_csa;
    std::string error;
    ASSERT_TRUE(ReadCsaRecord(CsaText(game), &from_csa, &error)) << error;
    ExpectSameGame(from_kif, from_csa, what);
    EXPECT_FALSE(LooksLikeKif(CsaText(game)));
  }
}

TEST(KifRecordStart, EveryHandicapStartsWhiteToMoveWithItsPieces) {
  for (const KifHandicap& handicap : kKifHandicaps) {
    GameRecord expected;
    std::string error;
    ASSERT_TRUE(ParseSfen(handicap.sfen, &expected, &error));
    const GameRecord record = Read(std::string("手合割：") + handicap.name + "　\n");
    ExpectSameGame(record, expected, handicap.name);
    EXPECT_EQ(record.side_to_move, handicap.name == std::string("平手") ? kBlack : kWhite);
  }
  // No handicap line is the even game; the first move of a handicap game is white's.
  ExpectSameGame(Read(""), Read("手合割：平手\n"), "empty");
  const GameRecord handicap = Read("手合割：角落ち\n   1 ５二金(61)\n   2 ７六歩(77)\n");
  EXPECT_EQ(handicap.moves[0].side, kWhite);
  EXPECT_EQ(handicap.moves[1].side, kBlack);
}

TEST(KifRecordStart, DiagramOverridesTheHandicapAndGivesSideAndMoveNumber) {
  GameRecord game;
  std::string error;
  ASSERT_TRUE(ParseSfen("4k4/9/4P4/9/9/9/9/9/4K4 w 2r2b4g4s4n4l17p 1", &game, &error));
  const std::string text = "手合割：その他　\n" + KifDiagram(game) + "手数＝40\n  41 ５二玉(51)\n";
  const GameRecord record = Read(text);
  EXPECT_EQ(record.side_to_move, kWhite);
  EXPECT_EQ(record.move_number, 41);
  EXPECT_EQ(PositionSfen(record.start, kWhite), "4k4/9/4P4/9/9/9/9/9/4K4 w 2r2b4g4s4n4l17p 1");
  ASSERT_EQ(record.moves.size(), 1u);
  EXPECT_EQ(CsaMoveText(record.moves[0]), "-5152OU");
}

// Comments, the summary line, branches, names of a handicap game and the
// forms a move may take: 同 with and without its blank, 不成, 打, a drop
// without 打, old promoted names and 王 and 竜.
TEST(KifRecordText, CommentsBranchesAndMoveForms) {
  const std::string text =
      "#KIF version=2.0 encoding=UTF-8\n"
      "下手：weaker\n上手：stronger\n手合割：平手\n"
      "*a comment\n&a bookmark\n"
      "手数----指手---------消費時間--\n"
      "   1 ７六歩(77)   ( 0:01/00:00:01)\n"
      "   2 ３四歩(33)   ( 0:01/00:00:02)+\n"
      "*a comment among the moves\n"
      "   3 ２二角成(88)\n"
      "   4 同　銀(31)\n"
      "   5 ５五角打\n"
      "   6 ４四角\n"  // a held bishop without its mark is a drop
      "   7 ４四角(55)\n"
      "   8 同歩(43)\n"
      "   9 ５八王(59)\n"
      "  10 中断\n"
      "まで9手で中断\n"
      "\n変化：3手\n   3 ２二角不成(88)\n";
  const GameRecord record = Read(text);
  const char* expected[] = {"+7776FU", "-3334FU", "+8822UM", "-3122GI", "+0055KA",
                            "-0044KA", "+5544KA", "-4344FU", "+5958OU"};
  ASSERT_EQ(record.moves.size(), std::size(expected));
  for (size_t n = 0; n < std::size(expected); ++n) {
    EXPECT_EQ(CsaMoveText(record.moves[n]), expected[n]) << n;
  }
  EXPECT_EQ(record.black_name, "weaker");
  EXPECT_EQ(record.white_name, "stronger");
  EXPECT_EQ(record.result, GameResult::kUnknown);
  // A move that need not promote, written 不成, and old names of promoted pieces.
  const GameRecord unpromoted =
      Read(std::string(kHead) + "   1 ７六歩(77)\n   2 ３四歩(33)\n   3 ２二角不成(88)\n");
  EXPECT_EQ(CsaMoveText(unpromoted.moves[2]), "+8822KA");
}

TEST(KifRecordText, EndWordsGiveTheResultBySideToMove) {
  struct Case {
    const char* word;
    GameResult after_even, after_odd;  // black to move, white to move
  } cases[] = {
      {"投了", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"詰み", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"切れ負け", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"反則負け", GameResult::kWhiteWins, GameResult::kBlackWins},
      {"反則勝ち", GameResult::kBlackWins, GameResult::kWhiteWins},
      {"入玉勝ち", GameResult::kBlackWins, GameResult::kWhiteWins},
      {"千日手", GameResult::kDraw, GameResult::kDraw},
      {"持将棋", GameResult::kDraw, GameResult::kDraw},
      {"中断", GameResult::kUnknown, GameResult::kUnknown},
      {"不詰", GameResult::kUnknown, GameResult::kUnknown},
  };
  for (const Case& c : cases) {
    const GameRecord even = Read(std::string(kHead) + "   1 ７六歩(77)\n   2 ３四歩(33)\n   3 " +
                                 c.word + "   ( 0:01/00:00:03)\n   4 １二香(11)\n");
    EXPECT_EQ(even.result, c.after_even) << c.word;
    EXPECT_EQ(even.moves.size(), 2u) << "nothing is read after the end";
    const GameRecord odd = Read(std::string(kHead) + "   1 ７六歩(77)\n   2 " + c.word + "\n");
    EXPECT_EQ(odd.result, c.after_odd) << c.word;
  }
}

TEST(KifRecordErrors, BadRecordsNameTheLineAndWhatWasExpected) {
  std::string bad_sjis;
  ASSERT_TRUE(Utf8ToCp932("手合割：平手\n", &bad_sjis));
  bad_sjis += "   1 \x82\n";
  GameRecord two_kings;
  std::string error;
  ASSERT_TRUE(ParseSfen("4k4/9/9/9/9/9/9/9/4K4 b - 1", &two_kings, &error));
  std::string kings = KifDiagram(two_kings);
  kings.replace(kings.find(" 玉"), std::string(" 玉").size(), " 王");
  kings.replace(kings.find("| ・ ・ ・ ・ ・ ・ ・ ・ ・|二"), std::string("| ・").size(), "| 玉");
  std::string eight_rows = KifDiagram(two_kings);
  eight_rows.erase(eight_rows.find("| ・ ・ ・ ・ 玉 ・ ・ ・ ・|九"),
                   std::string("| ・ ・ ・ ・ 玉 ・ ・ ・ ・|九\n").size());
  const std::string moves = kHead;  // lines 1 and 2
  struct Case {
    std::string text;
    const char* error;  // the message's beginning
  } cases[] = {
      {moves + "   1 ７六歩(77)\n   3 ３四歩(33)\n",
       "line 4: expected move 2 after move 1, not \"   3 ?\?\?(33)\""},
      {moves + "   2 ７六歩(77)\n", "line 3: expected move 1, not"},
      {moves + "   1 ７六歩\n",
       "line 3: expected the origin (77) of a board move: black holds no pawn"},
      {moves + "   1 ７六金(77)\n",
       "line 3: expected a black gold on the origin 77, where a black pawn stands"},
      {moves + "   1 ３四歩(33)\n",
       "line 3: expected a black pawn on the origin 33, where a white pawn"},
      {moves + "   1 ７六と(77)\n", "line 3: expected a black promoted pawn on the origin 77"},
      {moves + "   1 ７Ｘ歩(77)\n", "line 3: expected the destination rank (a kanji numeral)"},
      {moves + "   1 ７六犬(77)\n", "line 3: expected the name of a piece"},
      {moves + "   1 ７六歩(77)x\n", "line 3: expected the origin (77) and an optional time"},
      {moves + "   1 ７六歩(77) (77)\n", "line 3: expected the origin (77) and an optional time"},
      {moves + "   1 Ｘ六歩(77)\n", "line 3: expected move 1 (a square, a piece and its origin)"},
      {moves + "   1 同　歩(77)\n", "line 3: expected a destination square; the same-square mark"},
      {moves + "   1 ７五歩(77)\n",
       "line 3: expected a move black can play (a black pawn on 77 cannot move to 75)"},
      {moves + "   1 ７六歩成(77)\n",
       "line 3: expected a move black can play (a promotion outside"},
      {moves + "   1 ５八金成(49)\n",
       "line 3: expected the promotion mark only after a piece that promotes"},
      {moves + "   1 ５五角成\n", "line 3: expected the origin (77) of a move that promotes"},
      {moves + "   1 ５五角打(88)\n", "line 3: expected no origin after the drop mark"},
      {moves + "   1 ５五角打\n", "line 3: expected a move black can play (black holds no bishop)"},
      {moves + "   1 ５五馬打\n",
       "line 3: expected a drop of a piece that can be held, not of a horse"},
      {moves + "   1 ５五馬\n",
       "line 3: expected the origin (77) of a board move: black holds no horse"},
      {moves + "   1 ７六歩(77)\nhello\n", "line 4: expected move 2 or an end word, not \"hello\""},
      {moves + "12345678901 ７六歩(77)\n",
       "line 3: expected move 1 (a number, a blank and the move)"},
      {moves + "   1\n", "line 3: expected move 1 (a number, a blank and the move)"},
      {moves + "   1 resign\n",
       "line 3: expected move 1 (a square, a piece and its origin) or an end word"},
      {"hello\n", "line 1: expected a header (a key, a colon and its value)"},
      {"\x1b[31m\n",
       "line 1: expected a header (a key, a colon and its value), a board diagram or move 1, not "
       "\"?[31m\""},
      {"先手：a\n手合割：九枚落ち\n   1 ５二金(61)\n",
       "line 2: expected the even game, one of the 15 handicaps or a board diagram, not "
       "\"????????\""},
      {"手合割：九枚落ち\n", "line 1: expected the even game, one of the 15 handicaps"},
      {eight_rows, "line 12: expected the 9 rows of the board diagram"},
      {eight_rows + "   1 ５八玉(59)\n", "line 12: expected the 9 rows of the board diagram"},
      {kings, "line 12: expected one king of a side at most"},
      {"| ・ ・ ・ ・x歩 ・ ・ ・ ・|一\n", "line 1: expected a board row of 9 cells"},
      {"| ・ ・ ・ ・ 歩 ・ ・ ・ ・|三\n", "line 1: expected the rows in order"},
      {"先手の持駒：犬\n", "line 1: expected the pieces in hand"},
      {"先手の持駒：歩十八歩\n", "line 1: expected the pieces in hand"},
      {"\xEF\xBB\xBF手合割：平手\n   1 ７六\xE6\xAD\n",
       "line 2: expected UTF-8 text after the byte order mark"},
      {bad_sjis, "line 2: expected text in UTF-8 or Shift-JIS (code page 932)"},
  };
  for (const Case& c : cases) {
    GameRecord record;
    EXPECT_FALSE(ReadKifRecord(c.text, &record, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error << "\n" << c.text;
    for (char ch : error) ASSERT_TRUE(ch >= 0x20 && ch < 0x7f) << error;
  }
}

}  // namespace
}  // namespace fvscope
