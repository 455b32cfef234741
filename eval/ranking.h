// The ranking record, the run's ranking order, and the ranked terms that
// are printed and drawn.
#ifndef FVSCOPE_EVAL_RANKING_H_
#define FVSCOPE_EVAL_RANKING_H_

#include <cstdint>
#include <cstdio>

#include "shogi/settings.h"
#include "shogi/types.h"

namespace fvscope {

// One ranked KPP term.
struct RankEntry {
  int16_t value;        // table units; positive favours black
  int16_t king_square;  // square of the term's king
  int16_t item_a;       // first piece: a Position cell, or a feature in a scan
  int16_t item_b;       // second piece, in the same form
};
static_assert(sizeof(RankEntry) == 8);

// True when a goes before b under SortMode: 0 by magnitude (after widening,
// so -32768 leads), 1 largest value first, any other value smallest first.
bool RankPrecedes(const RankEntry& a, const RankEntry& b);

// Sorts entries[0..count) in place by RankPrecedes; equivalent entries end
// in an order the sort alone decides.
void SortRanking(RankEntry* entries, int count);

// Prints the ranking line of rank (from 1) to out: the value in table units,
// then the king and the two pieces, each cell named with its code by CellName.
void PrintRankingLine(FILE* out, int rank, int32_t value, int king, int king_code, int cell_a,
                      int code_a, int cell_b, int code_b);

// A ranked term as it is drawn: the position under it and its three places.
struct RankedTerm {
  Position position;
  int32_t value;
  int32_t king;    // the king's square
  int32_t cell_a;  // square or HandSlot
  int32_t cell_b;
};

// The top of a ranking, ready to be drawn as rank001.png onward.
struct RankedTerms {
  int32_t count;
  RankedTerm terms[kRankingLength];
};

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_RANKING_H_
