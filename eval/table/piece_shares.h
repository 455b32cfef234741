// Each piece's share of a position's positional evaluation (KKP + KPP).
#ifndef FVSCOPE_EVAL_TABLE_PIECE_SHARES_H_
#define FVSCOPE_EVAL_TABLE_PIECE_SHARES_H_

#include <cstdint>
#include <string>

#include "eval/table/breakdown.h"
#include "eval/table/eval_file.h"
#include "shogi/types.h"

namespace fvscope {

// One piece on the board, or one hand kind of a side, and its share.
struct PieceShare {
  int32_t cell;        // square or HandSlot
  int32_t code;        // the piece on the square, or the count in the slot
  int64_t half_units;  // twice the share in table units; positive favours black
};

// The shares of a position: every piece but the kings in square order, then
// black's hand kinds pawn..rook, then white's.
struct PieceShares {
  int32_t count;
  PieceShare shares[kMaxFeatureEntries];
};

// Shares KKP + KPP of position under file among its pieces and hand kinds:
// each gets its own KKP term, the term of its feature paired with itself
// and half of every term it shares with another entry, the black king's
// terms added and the white king's subtracted. The shares add up to KKP +
// KPP exactly. Returns false with *error when position does not fit the
// tables.
bool ComputePieceShares(const Position& position, const EvalFile& file, PieceShares* out,
                        std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_PIECE_SHARES_H_
