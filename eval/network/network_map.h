// Maps of a network's transformer under one king square: every feature's
// weight for one neuron, or its magnitude over all W neurons, laid out on
// the real board with the real sides, as a table's maps are.
//
// Frames: the weights are those of KING's view (a white king's features are
// numbered from white's side, its square turned); the grids stand on the
// real board, so grid +FU holds black pawns on real squares.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_MAP_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_MAP_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "eval/network/network_file.h"
#include "eval/table/table_map.h"
#include "shogi/place_name.h"
#include "shogi/types.h"

namespace fvscope {

// One 9 x 9 grid: the feature of one side's kind on every real square.
struct NeuronGrid {
  Side side;
  int kind;                  // a kind of kMapKindList
  bool present[kSquares];    // false where such a piece never stands and on KING's square
  int16_t features[kSquares];
  double values[kSquares];
};

// The features of one side's held kind, for the 1st..counts-th piece held.
struct NeuronHand {
  Side side;
  int hand_kind;  // 0..6
  int counts;
  int16_t features[kMaxMapCounts];
  double values[kMaxMapCounts];
};

// A network's map under a king: both sides' nine grids and seven hand kinds.
struct NetworkMap {
  Place king;
  int32_t king_index;  // the transformer's king square (KING's view)
  int32_t neuron;      // 0..W-1; -1: each feature's magnitude
  int grid_count;
  NeuronGrid grids[2 * kMapKinds];
  int hand_count;
  NeuronHand hands[2 * kHandKinds];
};

// Reads the KING of a network's map ("+59OU"). Returns false with *error
// naming what is wrong.
bool ParseMapKing(std::string_view text, Place* king, std::string* error);

// Fills *map with the weights of neuron (-1: magnitudes) under king.
// Returns false with *error when neuron is outside -1..W-1.
bool BuildNetworkMap(const Network& network, const Place& king, int neuron, NetworkMap* map,
                     std::string* error);

// Heading of a grid: "+FU", "-KA".
std::string NeuronGridName(const NeuronGrid& grid);

// Heading of a hand kind's values: "+FU*".
std::string NeuronHandName(const NeuronHand& hand);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_MAP_H_
