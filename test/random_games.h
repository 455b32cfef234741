// Random games and random evaluation tables for the tests of the game pass:
// games of moves the move check accepts, kings moving often or seldom, and a table
// of random values of the real size held in memory.
#ifndef FVSCOPE_TEST_RANDOM_GAMES_H_
#define FVSCOPE_TEST_RANDOM_GAMES_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "eval/table/eval_file.h"
#include "shogi/move_check.h"
#include "shogi/sfen.h"

namespace fvscope {

// The start and up to plies positions of a random game from the starting
// position (shorter when a side finds no move); with kings_wander unset, a
// king moves only when a random square picks it or a check leaves no other
// move.
inline std::vector<RecordPly> RandomGamePlies(int plies, uint32_t seed, bool kings_wander = true) {
  GameRecord record;
  std::string error;
  ParseSfen(kStartSfen, &record, &error);
  std::mt19937 random(seed);
  std::vector<RecordPly> out;
  Position position = record.start;
  Side side = record.side_to_move;
  out.push_back({0, record.move_number, false, Move{}, position, side});
  for (int n = 1; n <= plies; ++n) {
    Move move{};
    bool found = false;
    for (int attempt = 0; attempt < 20000 && !found; ++attempt) {
      const int pick = kings_wander ? static_cast<int>(random() % 6) : 2 + static_cast<int>(random() % 4);
      int from = pick < 2 ? position.cells[KingCell(side)]
                 : pick == 2 ? kBlackHandBase + static_cast<int>(random() % kHandKinds)
                             : static_cast<int>(random() % kSquares);
      const int to = random() % kSquares;
      move = {side, (from << kMoveFromShift) | to, 0, random() % 2 == 0};
      std::string why;
      found = CheckMove(position, side, Notation::kUsi, &move, &why);
    }
    if (!found) break;
    PlayMove(&position, &move);
    side = Opponent(side);
    out.push_back({n, record.move_number + n, true, move, position, side});
  }
  return out;
}

// The record of plies' game (RandomGamePlies): its start, black to move, and its moves.
inline GameRecord GameOfPlies(const std::vector<RecordPly>& plies) {
  GameRecord game;
  game.start = plies[0].position;
  game.side_to_move = kBlack;
  for (size_t i = 1; i < plies.size(); ++i) game.moves.push_back(plies[i].move);
  return game;
}

// Random values for a whole evaluation file (and a few more), made once.
inline const std::vector<int16_t>& RandomTableValues() {
  static const std::vector<int16_t> values = [] {
    std::vector<int16_t> v(kEvalFileBytes / 2 + 4096);
    uint64_t x = 0x9e3779b97f4a7c15ull;
    for (int16_t& value : v) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      value = static_cast<int16_t>(x >> 48);
    }
    return v;
  }();
  return values;
}

// An evaluation file over count random values from the skip-th on; skips
// give files whose values differ. Never closed: it maps nothing.
inline EvalFile RandomEvalFile(int64_t skip, int64_t count = kEvalFileBytes / 2) {
  EvalFile file;
  file.values = RandomTableValues().data() + skip;
  file.count = count;
  return file;
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_RANDOM_GAMES_H_
