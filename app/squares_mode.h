// Where a piece is worth most: the leaf of --position and --pv evaluated
// with the piece of --squares on each square it can stand on.
#ifndef FVSCOPE_APP_SQUARES_MODE_H_
#define FVSCOPE_APP_SQUARES_MODE_H_

#include <vector>

#include "app/mode.h"
#include "eval/piece_squares.h"
#include "render/heat_map.h"

namespace fvscope {

// Reads the position and its PV, plays the PV and evaluates the leaf, with
// the leaf's side to move, with the piece moved (or dropped) to each square
// into a SquaresAnalysis, with the map of the changes. Returns 2 for a
// position, PV or piece that cannot be read or is not there.
int RunSquaresMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                   std::vector<PictureJob>* pictures);

// The map of the changes from the leaf's value, the piece's square marked
// and the squares it cannot stand on blank.
SquareMap SquaresMap(const PieceSquares& squares);

}  // namespace fvscope

#endif  // FVSCOPE_APP_SQUARES_MODE_H_
