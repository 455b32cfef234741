#include "shogi/search_log_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "test/scratch_dir.h"

namespace fvscope {
namespace {

struct PvResult {
  std::string text;
  int side;
};

PvResult ReadLog(const std::string& log) {
  ScratchDir dir;
  char pv_text[kPvTextCapacity];
  int side = -7;
  EXPECT_TRUE(ReadPvText(dir.Write("n000.log", log).c_str(), pv_text, &side));
  return {pv_text, side};
}

// "n.+7776FU" for n = from..to, separated by two blanks.
std::string Moves(int from, int to, const char* move = "7776FU", char sign = '+') {
  std::string out;
  for (int n = from; n <= to; ++n) out += "  " + std::to_string(n) + "." + sign + move;
  return out;
}

// The head of a PV line: depth 8 and a score, then the moves.
const std::string kPvHead = "  8      +42 ";

std::string Repeat(const std::string& move, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += move;
  return out;
}

TEST(PvLines, FifteenMovesOnOneLineOrWrappedGiveTheSameText) {
  const PvResult one = ReadLog(kPvHead + Moves(1, 15) + "\npruning\n");
  EXPECT_EQ(one.text, Repeat("7776FU", 15));
  EXPECT_EQ(one.side, 0);
  const PvResult wrapped = ReadLog("head\n" + kPvHead + Moves(1, 5) + "\n" + Moves(6, 10) +
                                   "\n" + Moves(11, 15) + "\npruning\n");
  EXPECT_EQ(wrapped.text, one.text);
}

TEST(PvLines, TwoDigitMoveNumbersStartOneLater) {
  std::string line = kPvHead + Moves(1, 9, "1111FU") + "  10.+2726FU" + Moves(11, 15, "2222FU");
  const PvResult r = ReadLog(line + "\n");
  EXPECT_EQ(r.text.substr(9 * 6, 6), "2726FU");
  EXPECT_EQ(r.text.size(), 90u);
}

TEST(PvLines, TheFirstEightCharactersAreNeverSearched) {
  // "1.+1111FU" stands at position 2, inside the first eight characters.
  const PvResult r = ReadLog("  1.+1111FU  8  " + Moves(1, 15, "3334FU", '-') + "\n");
  EXPECT_EQ(r.text, Repeat("3334FU", 15));
  EXPECT_EQ(r.side, 1);
}

TEST(PvLines, MissingNumbersConsumeOneLineEachAndMayMatchStrayText) {
  // Three moves: numbers 4..15 each read one more line; "7." in a stray line
  // is taken as move 7, the six characters after the sign position.
  std::string log = kPvHead + Moves(1, 3) + "\n";
  log += "noise\nnoise\nnoise\nsee 7.xABCDEF here\n";
  for (int i = 0; i < 8; ++i) log += "noise\n";
  log += kPvHead + Moves(1, 1, "5566GI", '-') + "\n";
  const PvResult r = ReadLog(log + "pruning\n");
  EXPECT_EQ(r.text, Repeat("7776FU", 3) + "ABCDEF" + "5566GI");
  EXPECT_EQ(r.side, 1);  // the side of the last PV line's first move
}

TEST(PvLines, ContinuationLinesAreNotTestedForStopWords) {
  const PvResult r = ReadLog(kPvHead + Moves(1, 2) + "\n pruning 3.+1234KI\n" + Moves(4, 15));
  EXPECT_EQ(r.text.substr(12, 6), "1234KI");
  EXPECT_EQ(r.text.size(), 90u);
}

TEST(PvLines, EndOfFileKeepsTheLastLineAsCurrent) {
  // At the end of the file every missing number is searched again on the PV
  // line itself from position 0, where no number stands.
  const PvResult r = ReadLog(kPvHead + Moves(1, 2));
  EXPECT_EQ(r.text, Repeat("7776FU", 2));
}

TEST(StopLines, EndTheReadingAndTheirMovesAreNotTaken) {
  EXPECT_EQ(ReadLog("  8  pruning " + Moves(1, 15) + "\n").text, "");
  EXPECT_EQ(ReadLog("hashing\n" + kPvHead + Moves(1, 15) + "\n").text, "");
  const PvResult r = ReadLog(kPvHead + Moves(1, 15) + "\nhashing\n" + kPvHead + Moves(1, 15) + "\n");
  EXPECT_EQ(r.text.size(), 90u);
}

TEST(PvLines, AMoveCutByTheEndOfTheLineIsShort) {
  EXPECT_EQ(ReadLog("  8       1.+77").text, "77");
  EXPECT_EQ(ReadLog("  8       1.").text, "");
}

TEST(PvLines, ShortPvLinesAreSearchedFromTheirEnd) {
  // "  8  1." has seven characters: nothing on it is searched; the next line
  // is read for number 1.
  const PvResult r = ReadLog("  8  1.\n 1.-1234FU\n");
  EXPECT_EQ(r.text, "1234FU");
  EXPECT_EQ(r.side, 1);
}

TEST(PvCapacity, MovesThatDoNotFitAreDropped) {
  std::string log;
  for (int i = 0; i < 200; ++i) log += kPvHead + Moves(1, 15) + "\n";
  const PvResult r = ReadLog(log + "pruning\n");
  EXPECT_EQ(r.text.size(), 1020u);  // 170 whole moves
  EXPECT_EQ(r.text, Repeat("7776FU", 170));
}

TEST(PvFailure, MissingOrEmptyLogGivesNoMoves) {
  char pv_text[kPvTextCapacity] = "junk";
  int side = 5;
  EXPECT_FALSE(ReadPvText("/nonexistent/n000.log", pv_text, &side));
  EXPECT_STREQ(pv_text, "");
  EXPECT_EQ(side, 0);
  const PvResult r = ReadLog("");
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.side, 0);
}

}  // namespace
}  // namespace fvscope
