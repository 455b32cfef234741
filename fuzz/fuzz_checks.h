// Checks the fuzz targets share: what every message and every position a
// reader returns must be.
#ifndef FVSCOPE_FUZZ_FUZZ_CHECKS_H_
#define FVSCOPE_FUZZ_FUZZ_CHECKS_H_

#include <string>

#include "shogi/move.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"
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

// True when a record's start has consistent cells, hand counts of 0 or more,
// and reads back to the same cells from its SFEN.
inline bool RecordStartIsSound(const GameRecord& record) {
  const Position& start = record.start;
  if (!CellsConsistent(start)) return false;
  for (int c = kBlackHandBase; c < kFilledCells; ++c) {
    if (start.cells[c] < 0) return false;
  }
  GameRecord again;
  std::string error;
  if (!ParseSfen(PositionSfen(start, record.side_to_move), &again, &error)) return false;
  for (int c = 0; c < kPositionCells; ++c) {
    if (again.start.cells[c] != start.cells[c]) return false;
  }
  return true;
}

}  // namespace fvscope

#endif  // FVSCOPE_FUZZ_FUZZ_CHECKS_H_
