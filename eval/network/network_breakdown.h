// A position's evaluation by a network taken apart: the output and its
// scale, how many values each layer clamped, and what each active input
// changes: the value minus the value with that input left out.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_BREAKDOWN_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_BREAKDOWN_H_

#include <cstdint>
#include <string>

#include "eval/network/network_eval.h"
#include "eval/piece_features.h"
#include "eval/ranking.h"
#include "eval/table/piece_shares.h"
#include "shogi/types.h"

namespace fvscope {

// One active input of a view and its change.
struct NetworkInput {
  int8_t view;     // the accumulator it is summed into: kBlack or kWhite
  int8_t king;     // that view's king, a square
  int16_t number;  // its feature number 0..1547
  int8_t cell;     // the piece: a square, a HandSlot, or -1 for a missing piece
  int8_t code;     // the piece on the square; in a hand, which one held (1..n)
  int32_t change;  // points from black's view
};

// What a network finds in a position.
struct NetworkBreakdown {
  std::string architecture;
  NetworkShape shape;
  int32_t scale = 0;
  Side to_move = kBlack;
  int32_t z = 0;         // the output, from the side to move's view
  int32_t value = 0;     // points from black's view
  int32_t material = 0;  // points from black's view, for the charts
  ClampCounts accumulators[2];  // black's view, white's view
  ClampCounts hidden[2];        // layer 1, layer 2
  int32_t count = 0;            // 2 x kSetPieces
  NetworkInput inputs[2 * kSetPieces];  // black's view's, then white's
};

// Evaluates position with to_move to move and the change of every input.
// Returns false with *error when it does not fit the features.
bool BreakDownNetwork(const Network& network, const Position& position, Side to_move,
                      NetworkBreakdown* out, std::string* error);

// Ranks the inputs of breakdown by change under mode; each a term whose two
// pieces are the same (a missing piece shows none).
void RankNetworkInputs(const NetworkBreakdown& breakdown, SortMode mode, Ranking* ranking);

// Each piece's share: the value minus the value with the piece's input
// left out of both views (a held kind: its last piece held), in the order
// and units of a table's shares. They need not add up to the value.
bool NetworkPieceShares(const Network& network, const Position& position, Side to_move,
                        PieceShares* out, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_BREAKDOWN_H_
