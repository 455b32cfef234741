// Move words of the principal variation: decoding from CSA move texts and
// playing them on a Position.
#ifndef FVSCOPE_SHOGI_MOVE_H_
#define FVSCOPE_SHOGI_MOVE_H_

#include <cstdint>
#include <string>

#include "shogi/search_log_reader.h"
#include "shogi/types.h"

namespace fvscope {

// Move word: to-square bits 0..6, from bits 7..13 (81 + hand kind for a
// drop), promote flag bit 14, captured kind bits 19..22 once played.
using MoveCode = int32_t;

constexpr int kMoveFromShift = 7;
constexpr int kMovePromoteShift = 14;
constexpr int kMoveCaptureShift = 19;
constexpr MoveCode kMoveSquareMask = 0x7f;
constexpr MoveCode kMoveCaptureMask = 0xf;

// Most moves a PV text can hold.
constexpr int kMaxPvMoves = (kPvTextCapacity - 1) / kMoveTextLength;

// The decoded principal variation.
struct PvLine {
  int32_t count;
  MoveCode moves[kMaxPvMoves];
};

// To-square of a move word.
constexpr int MoveTo(MoveCode move) { return move & kMoveSquareMask; }

// From-square, or 81 + hand kind for a drop.
constexpr int MoveFrom(MoveCode move) { return (move >> kMoveFromShift) & kMoveSquareMask; }

// True when the piece is of a promoted kind after the move.
constexpr bool MovePromotes(MoveCode move) { return (move >> kMovePromoteShift) & 1; }

// Kind of the piece a played move captured, 0 for none.
constexpr int MoveCaptured(MoveCode move) {
  return (move >> kMoveCaptureShift) & kMoveCaptureMask;
}

// Cuts pv_text into six-character moves (a shorter tail is ignored) and
// decodes them into *line. A move text that no engine writes (a square digit
// outside 1..9 other than a drop's 00, a drop of a name that is not one of
// the seven hand kinds) ends the line before it: false is returned and
// *error names the move and its number from 1.
bool DecodePvLine(const char* pv_text, PvLine* line, std::string* error);

// Plays *move for side (0 black, 1 white) on *position, unchecked for
// legality; a capture is recorded in *move and goes to side's hand. A word
// whose squares lie outside the board and hands changes nothing.
void ApplyMove(int side, Position* position, MoveCode* move);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_MOVE_H_
