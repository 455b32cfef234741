#include "app/position_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shogi/sfen.h"

namespace fvscope {
namespace {

TEST(TakeUsiPv, PlaysUpToTheFirstMoveThatDoesNotFitAndWarnsOfIt) {
  GameRecord start;
  std::string error;
  ASSERT_TRUE(ParseSfen(kStartSfen, &start, &error));
  struct Case {
    std::vector<std::string> pv;
    std::string bestmove;
    int moves;
    std::string warning;  // a part of the one warning, or empty for none
  } cases[] = {
      {{"7g7f", "3c3d", "8h2b+"}, "7g7f", 3, ""},
      {{"7g7f", "3c3d", "8h1a+"}, "7g7f", 2, "PV move 3 \"8h1a+\": a black bishop on 8h cannot"},
      {{"7g7f", "7g7f"}, "7g7f", 1, "PV move 2 \"7g7f\": no white piece on 7g"},
      {{"7g7f", "xyz"}, "7g7f", 1, "PV move 2 \"xyz\": no USI move"},
      {{}, "resign", 0, "gave bestmove resign; the position itself is the leaf"},
      {{}, "7g7f", 0, "gave no PV"},
      {{"7g7f", "\x1b]0;x\x07"}, "7g7f", 1, "PV move 2 \"?]0;x?\": no USI move"},
  };
  for (const Case& c : cases) {
    UsiResult result;
    result.pv = c.pv;
    result.bestmove = c.bestmove;
    PvLine pv;
    std::vector<std::string> warnings;
    TakeUsiPv(result, "engine", start.start, kBlack, &pv, &warnings);
    EXPECT_EQ(pv.count, c.moves) << c.warning;
    if (c.warning.empty()) {
      EXPECT_TRUE(warnings.empty());
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
      EXPECT_EQ(warnings[0].rfind("usi engine \"engine\"", 0), 0u);
    }
  }
}

}  // namespace
}  // namespace fvscope
