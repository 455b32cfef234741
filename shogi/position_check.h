// What no game can reach: pieces where they can never move and more pieces
// than the set holds.
#ifndef FVSCOPE_SHOGI_POSITION_CHECK_H_
#define FVSCOPE_SHOGI_POSITION_CHECK_H_

#include <string>
#include <vector>

#include "shogi/types.h"

namespace fvscope {

// One text per finding in position, in square order, then by kind: an
// unpromoted pawn or lance on its side's last rank or a knight on its last
// two ("+11FU: a black pawn on its last rank can never move"), more pieces
// of a kind than the set holds, board and both hands together, promoted
// pieces counted with their kind ("19 pawns on the board and in hand; the
// set holds 18"), more than one king of a side. Empty when there is none.
std::vector<std::string> ImpossiblePieces(const Position& position);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_POSITION_CHECK_H_
