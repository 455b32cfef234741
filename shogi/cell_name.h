// Short names of board squares with their pieces and of hand kinds.
#ifndef FVSCOPE_SHOGI_CELL_NAME_H_
#define FVSCOPE_SHOGI_CELL_NAME_H_

#include <string>

namespace fvscope {

// Names cell with code: a square 0..80 as sign, CSA file and rank digits and
// the piece name of |code| ("+76FU", "+55" for an empty square); a hand slot
// 81..94 as sign, piece name and "*" ("-KA*"; code is not used). Cells
// outside 0..94 give "?" and codes outside -14..14 the name "??".
std::string CellName(int cell, int code);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_CELL_NAME_H_
