// Checks the fuzz targets share: what every message and every position a
// reader returns must be.
#ifndef FVSCOPE_FUZZ_FUZZ_CHECKS_H_
#define FVSCOPE_FUZZ_FUZZ_CHECKS_H_

#include <string>

#include "shogi/types.h"

namespace fvscope {

// True for a message of one short line of printable ASCII.
inline bool PlainMessage(const std::string& text) {
  if (text.empty() || text.size() >= 300) return false;
  for (char c : text) {
    if (c < 0x20 || c >= 0x7f) return false;
  }
  return true;
}

// True when every square holds a piece code and each king cell is -1 for a
// side without a king or the square of that side's king.
inline bool CellsConsistent(const Position& position) {
  int kings[2] = {-1, -1};
  for (int s = 0; s < kSquares; ++s) {
    const int code = position.cells[s];
    if (!IsPieceCode(code)) return false;
    if (KindOf(code) == kKing) kings[code > 0 ? 0 : 1] = s;
  }
  return position.cells[kBlackKingCell] == kings[0] && position.cells[kWhiteKingCell] == kings[1];
}

}  // namespace fvscope

#endif  // FVSCOPE_FUZZ_FUZZ_CHECKS_H_
