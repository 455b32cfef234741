// A map of the table: the values of every entry for a king and a piece, or
// for both kings, on the board.
#ifndef FVSCOPE_APP_MAP_MODE_H_
#define FVSCOPE_APP_MAP_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Reads --map's KING:PIECE, reads the KPP values of the king and that piece
// with every feature (the KKP values of both kings with every feature),
// or their changes with a second file, into a MapAnalysis with its sheet.
int RunMapMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
               std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_MAP_MODE_H_
