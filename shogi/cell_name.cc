#include "shogi/cell_name.h"

#include <cstdio>

#include "shogi/types.h"

namespace fvscope {

std::string CellName(int cell, int code) {
  char out[16];
  const size_t size = sizeof out;
  if (cell < 0 || cell >= kFilledCells) {
    std::snprintf(out, size, "?");
  } else if (cell < kSquares) {
    const char* name = IsPieceCode(code) ? kPieceNames[KindOf(code)] : "??";
    std::snprintf(out, size, "%c%d%d%s", code >= 0 ? '+' : '-', FileOf(cell), RankOf(cell), name);
  } else if (cell < kWhiteHandBase) {
    std::snprintf(out, size, "+%s*", kPieceNames[cell - kBlackHandBase + 1]);
  } else {
    std::snprintf(out, size, "-%s*", kPieceNames[cell - kWhiteHandBase + 1]);
  }
  return out;
}

}  // namespace fvscope
