// What changed between two evaluation files: a position's figures under
// each, and the KPP terms or table entries ranked by their change.
#ifndef FVSCOPE_EVAL_TABLE_COMPARE_H_
#define FVSCOPE_EVAL_TABLE_COMPARE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/table/eval_file.h"
#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// True when change a goes before change b under mode, as rankings order values.
bool ChangePrecedes(int32_t a, int32_t b, SortMode mode);

// A position under two files.
struct LeafComparison {
  PositionFigures before;
  PositionFigures after;
  int32_t changed;        // KPP terms whose value differs
  Ranking ranking;        // of those, by change (after - before) under the mode
  bool terms = true;      // the terms were compared: both files are tables
};

// Breaks position down under both files and ranks its KPP terms that
// changed (both kings' terms, every pair) under mode. Returns false with
// *error when the position does not fit the tables.
bool CompareLeaf(const Position& position, const EvalFile& before, const EvalFile& after,
                 SortMode mode, LeafComparison* out, std::string* error);

// One king square's KPP table under two files.
struct ScanComparison {
  int32_t king_square;
  int32_t changed;        // entries whose values differ
  Ranking ranking;        // of those, by change, named as a scan names them
};

// Compares every entry (i, j), j <= i, of king square k's table and ranks
// those that changed under mode. Returns false with *error when k is
// outside 0..80.
bool CompareKppSquare(const EvalFile& before, const EvalFile& after, int k, SortMode mode,
                      ScanComparison* out, std::string* error);

// The number of plies a game's ranking of changes lists.
constexpr int kGameChangeRankingLength = 20;

// The indexes of the (at most count) plies whose value changes most in
// magnitude from before[i] to after[i], largest first, the earlier ply first
// among equal changes; over the plies both vectors have.
std::vector<int32_t> RankGameChanges(const std::vector<PositionFigures>& before,
                                     const std::vector<PositionFigures>& after, int count);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_COMPARE_H_
