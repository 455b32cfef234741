// Many positions evaluated by a network at once, the work grouped by king
// square: every view whose king stands on a square is summed while that
// square's weights (1548 x W) are in the cache, then each position's layers.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_BATCH_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_BATCH_H_

#include <cstdint>
#include <vector>

#include "eval/network/network_eval.h"
#include "eval/piece_features.h"

namespace fvscope {

// The views of a block of positions, grouped by their king square, and each
// view's accumulator clamped to bytes.
struct NetworkBatch {
  int32_t count = 0;                   // positions
  int32_t width = 0;                   // W of the network the bytes were made for
  std::vector<PieceFeature> features;   // kSetPieces a view (2 x position + view): one view's lines only
  std::vector<uint8_t> kings;           // per view: its king square
  std::vector<uint8_t> taken;           // per position: its lists were built
  std::vector<uint8_t> to_move;         // per position
  std::vector<int32_t> by_king;         // views (2 x position + view), king ascending
  std::vector<int32_t> slot;            // per view: its place in by_king
  int32_t king_begin[kSquares + 1] = {};
  std::vector<uint8_t> clamped;         // W bytes (0..127) a view, in by_king's order
  bool whole = false;  // the lists and groups are those of every position of the caller's block
  int64_t counted_views = -1;  // views whose inputs were counted as they were summed; -1: none
};

// Positions a batch holds at most for a network of width w: their views'
// bytes stay near 64 MB.
int32_t NetworkBatchPositions(int32_t w);

// Sizes *batch for count positions of a network of width w.
void ResizeNetworkBatch(NetworkBatch* batch, int32_t count, int32_t w);

// The features of view v (2 x position + side) of batch.
inline const PieceFeature* ViewFeatures(const NetworkBatch& batch, int32_t v) {
  return batch.features.data() + static_cast<size_t>(v) * kSetPieces;
}

// Builds the lists of positions [begin, end) whose taken byte is set; a
// position that does not fit the features is left out (taken 0).
void PrepareNetworkBatch(NetworkBatch* batch, const Position* positions, const uint8_t* taken,
                         const uint8_t* to_move, int32_t begin, int32_t end);

// Orders the taken positions' views by king square.
void GroupNetworkBatch(NetworkBatch* batch);

struct FeatureUse;

// Sums the accumulators of the views whose king stands on king and keeps
// them clamped to bytes; counts them into *tally when not null, and each
// view's distinct inputs into *use when not null (its row of king only).
void AccumulateNetworkKing(NetworkBatch* batch, const Network& network, NetworkPath path,
                           int king, TransformerTally* tally = nullptr, FeatureUse* use = nullptr);

// The values (points, black's view) of taken positions [begin, end) into
// values[i]; positions not taken get 0. Counts the hidden layers' outputs
// into *tally when not null.
void PropagateNetworkBatch(const NetworkBatch& batch, const Network& network, NetworkPath path,
                           int32_t begin, int32_t end, int32_t* values,
                           LayerTally* tally = nullptr);

// The output z from the clamped bytes of the side to move's view (own) and
// the other's.
int32_t PropagateClamped(const Network& network, NetworkPath path, const uint8_t* own,
                         const uint8_t* other, LayerCounts* counts);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_BATCH_H_
