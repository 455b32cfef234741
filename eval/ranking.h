// The ranking record, the ranking orders, and the top of a ranking as it is
// printed and drawn.
#ifndef FVSCOPE_EVAL_RANKING_H_
#define FVSCOPE_EVAL_RANKING_H_

#include <cstdint>

#include "shogi/types.h"

namespace fvscope {

// Number of ranked terms printed and drawn.
constexpr int32_t kRankingLength = 150;

// One ranked KPP term.
struct RankEntry {
  int16_t value;        // table units; positive favours black
  int16_t king_square;  // square of the term's king
  int16_t item_a;       // first piece: a Position cell, or a feature in a scan
  int16_t item_b;       // second piece, in the same form
};
static_assert(sizeof(RankEntry) == 8);

// The order of a ranking.
enum SortMode : int {
  kByMagnitude = 0,        // largest magnitude first
  kMostPositiveFirst = 1,  // largest value first
  kMostNegativeFirst = 2,  // smallest value first
};

// The order a number on the command line selects: 0 and 1 their own, any
// other number most negative first.
constexpr SortMode SortModeOf(int32_t number) {
  return number == 0 ? kByMagnitude : number == 1 ? kMostPositiveFirst : kMostNegativeFirst;
}

// True when a goes before b under mode; by magnitude the values are widened
// first, so -32768 leads.
bool RankPrecedes(const RankEntry& a, const RankEntry& b, SortMode mode);

// Sorts entries[0..count) in place by RankPrecedes under mode; equivalent
// entries end in an order the sort alone decides.
void SortRanking(RankEntry* entries, int count, SortMode mode);

// A ranked term as it is printed and drawn: its value and its three places,
// each a Position cell with the code it is named by. A term ranked by its
// change between two files has the change as its value, and the term under
// each file as before and after.
struct RankedTerm {
  int32_t value;  // table units
  int32_t king;   // the king's square
  int32_t king_code;
  int32_t cell_a;  // square or HandSlot
  int32_t code_a;  // the piece on the square, or the count in the slot
  int32_t cell_b;
  int32_t code_b;
  int32_t before = 0;  // with a change: the term under each file, a white king's negated
  int32_t after = 0;
  int32_t board = 0;  // a KPPT term: its parts as read
  int32_t turn = 0;
};

// The top of a ranking, rank 1 first.
struct Ranking {
  int32_t count;
  RankedTerm terms[kRankingLength];
};

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_RANKING_H_
