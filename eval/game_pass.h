// The evaluation of every position of a played game, carried from one
// position to the next: after a move only the terms of the pieces and hand
// counts it changed are read again (a king's move: that side's KPP terms
// and both sides' KKP terms), and, when asked, which table entries the
// positions read.
#ifndef FVSCOPE_EVAL_GAME_PASS_H_
#define FVSCOPE_EVAL_GAME_PASS_H_

#include <string>
#include <vector>

#include "eval/breakdown.h"
#include "eval/entry_use.h"
#include "eval/eval_file.h"
#include "shogi/move_check.h"

namespace fvscope {

// Where a game's reads go, and what their pull needs: the game's result
// and the scale of the curve P(black wins) = 1 / (1 + exp(-value / scale)).
struct GameUse {
  EntryUse* store;
  GameResult result;  // only a game black or white won pulls
  int32_t scale;      // > 0
};

// The residual of a position of value (in points) in a game black won (or
// white won): 1 (or 0) - P(black wins), in kPullUnit, rounded to nearest.
int64_t ResidualUnits(int32_t value, bool black_won, int32_t scale);

// The residual target - P(black wins) of a position of value (in points),
// in kPullUnit, rounded to nearest; target is 0..1.
int64_t ResidualTowardUnits(int32_t value, double target, int32_t scale);

// Where one position's reads go, and whether and toward what it pulls.
struct PositionUse {
  EntryUse* store;
  bool pulls;      // false: reads counted, no pull
  double target;   // what P(black wins) is pulled toward, 0..1
  int32_t scale;   // > 0
};

// Evaluates one position on its own, as EvaluateGame would as a game of
// that one position: *figures (and *second_figures, with second) get its
// figures; with use not null, its reads (one stay that begins and ends
// with it) go to use->store, pulled by target - P(black wins) when use
// pulls. Returns false with *error when it does not pass CheckLeaf.
bool EvaluatePosition(const Position& position, const EvalFile& file, const EvalFile* second,
                      PositionFigures* figures, PositionFigures* second_figures,
                      const PositionUse* use, std::string* error);

// Evaluates plies[from_ply..] (index = ply; from_ply >= 0): (*figures)[i]
// gets the figures of plies[from_ply + i] under file, equal to what
// FiguresOf(BreakDownLeaf(...)) gives; with second not null,
// (*second_figures)[i] gets them under second. With use not null, adds the
// reads of those positions to use->store: for each side and each pair
// (i, j <= i) of its feature list one read of the KPP entry of its king,
// pulled by the position's residual under each file the store keeps, and a
// mark on every KKP entry the KKP sum reads. Consecutive positions need not
// be one move apart. Returns false with *error "ply N: why", leaving the
// store as it was, when a position does not pass CheckLeaf.
bool EvaluateGame(const std::vector<RecordPly>& plies, int from_ply, const EvalFile& file,
                  const EvalFile* second, std::vector<PositionFigures>* figures,
                  std::vector<PositionFigures>* second_figures, const GameUse* use,
                  std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_GAME_PASS_H_
