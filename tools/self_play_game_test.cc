#include "tools/self_play_game.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "shogi/move_check.h"
#include "shogi/record_file.h"

namespace fvscope {
namespace {

// Short games of fairy-stockfish against itself read back as records that
// play to their end line, open differently and keep to the ply limit.
TEST(PlaySelfGame, FairyStockfishGamesReadBack) {
  constexpr const char* kEngine = "/usr/games/fairy-stockfish";
  if (access(kEngine, X_OK) != 0) {
    GTEST_SKIP() << kEngine << " is missing (apt-get install fairy-stockfish): not tried";
  }
  UsiSession session;
  std::string error;
  ASSERT_TRUE(StartUsiSession(kEngine, 10000, &session, &error)) << error;
  SelfPlayOptions options;
  options.go = "nodes 300";
  options.random_plies = 4;
  options.max_plies = 24;
  std::set<std::string> openings;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    std::string csa;
    ASSERT_TRUE(PlaySelfGame(&session, options, seed, &csa, &error)) << error;
    std::vector<RecordGame> games;
    ReadRecordGames(csa, RecordFormat::kCsa, &games);
    ASSERT_EQ(games.size(), 1u) << csa;
    ASSERT_EQ(games[0].error, "") << csa;
    std::vector<RecordPly> plies;
    ASSERT_TRUE(PlayRecordPlies(games[0].record, Notation::kCsa, &plies, &error)) << error;
    const size_t moves = plies.size() - 1;
    EXPECT_LE(moves, 24u);
    const std::string end = csa.substr(csa.rfind('%'));
    const std::set<std::string> ends = {"%TORYO\n", "%KACHI\n", "%SENNICHITE\n", "%HIKIWAKE\n"};
    EXPECT_TRUE(ends.count(end)) << end;
    if (moves == 24) {
      EXPECT_EQ(end, "%HIKIWAKE\n");
    }
    EXPECT_EQ(games[0].record.result == GameResult::kDraw,
              end == "%HIKIWAKE\n" || end == "%SENNICHITE\n");
    std::string opening;
    for (size_t p = 1; p <= 4 && p < plies.size(); ++p) {
      EXPECT_FALSE(KingAttacked(plies[p].position, plies[p].move.side)) << csa;
      opening += std::to_string(plies[p].move.code) + " ";
    }
    openings.insert(opening);
  }
  EXPECT_EQ(openings.size(), 3u);
}

}  // namespace
}  // namespace fvscope
