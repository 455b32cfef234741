// The text board: a Position in the row and hand notation of a CSA record.
#ifndef FVSCOPE_SHOGI_BOARD_TEXT_H_
#define FVSCOPE_SHOGI_BOARD_TEXT_H_

#include <cstdio>

#include "shogi/types.h"

namespace fvscope {

// Writes the column header, rows P1..P9 and the hand lines "P+" and "P-" of
// position to out: always 12 lines. A cell outside -14..14 prints as "?".
void PrintPosition(const Position& position, FILE* out);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_BOARD_TEXT_H_
