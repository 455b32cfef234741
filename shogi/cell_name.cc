#include "shogi/cell_name.h"

#include <cstdio>

#include "shogi/types.h"

namespace fvscope {

namespace {

char cell_name_buffer[1024];

}  // namespace

const char* CellName(int cell, int code) {
  char* out = cell_name_buffer;
  const size_t size = sizeof cell_name_buffer;
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
