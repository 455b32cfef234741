// Many positions evaluated by a KPPT set at once, the KPP work grouped by
// king square: every view whose king stands on a square is summed while
// that square's slab is in the cache.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_BATCH_H_
#define FVSCOPE_EVAL_KPPT_KPPT_BATCH_H_

#include <cstdint>
#include <vector>

#include "eval/kppt/kppt_file.h"
#include "eval/piece_features.h"

namespace fvscope {

// The views of a block of positions and what they sum to.
struct KpptBatch {
  int32_t count = 0;                // positions
  std::vector<uint16_t> numbers;    // kSetPieces a view (2 x position + view), ascending
  std::vector<uint8_t> king;        // per view: its slab
  std::vector<uint8_t> taken;       // per position: its lists were built
  std::vector<int64_t> rest_board;  // per position: KK, KKP and 32 x material
  std::vector<int64_t> rest_turn;   // per position: KK and KKP
  std::vector<int64_t> view_board;  // per view: its KPP sum, as read
  std::vector<int64_t> view_turn;
  std::vector<int32_t> by_king;     // views, king ascending
  int32_t king_begin[kSquares + 1] = {};
};

// Sizes *batch for count positions.
void ResizeKpptBatch(KpptBatch* batch, int32_t count);

// Builds the views of positions [begin, end) whose taken byte is set and
// sums their KK, KKP and material; a position that does not fit the
// features is left out.
void PrepareKpptBatch(KpptBatch* batch, const KpptSet& set, const Position* positions,
                      const uint8_t* taken, int32_t begin, int32_t end);

// Orders the taken positions' views by king square.
void GroupKpptBatch(KpptBatch* batch);

// Sums the KPP terms of the views whose king stands on king.
void SumKpptKing(KpptBatch* batch, const KpptSet& set, int king);

// The value (points, black's view) of position i once every king is summed; 0 when not taken.
int32_t KpptBatchValue(const KpptBatch& batch, int32_t i, Side to_move);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_BATCH_H_
