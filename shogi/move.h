// Moves of the principal variation: decoding from CSA move texts and
// playing them on a Position.
#ifndef FVSCOPE_SHOGI_MOVE_H_
#define FVSCOPE_SHOGI_MOVE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Length of one CSA move text without its sign: "7776FU".
constexpr int kMoveTextLength = 6;

// Most moves a principal variation holds: as many six-character texts as
// fit in a 1,024-byte PV text with its terminator.
constexpr int kMaxPvMoves = 1023 / kMoveTextLength;

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

// True for a move word that drops a piece from the hand.
constexpr bool MoveIsDrop(MoveCode move) { return MoveFrom(move) >= kBlackHandBase; }

// One move: of a principal variation, a record or the command line.
struct Move {
  Side side;      // the side that makes it
  MoveCode code;  // the captured kind is filled in when it is played
  int8_t kind;    // kind of the piece after the move; 0 until known (a USI move)
  bool promotes;  // the piece promotes with this move; set when it is played
};

// Parses a USI move made by side: "7g7f", "P*5e", "8h2b+". Its kind and the
// promote bit of its word are left to the board (kind 0). Returns false for
// a text that is no USI move.
bool ParseUsiMove(std::string_view text, Side side, Move* move);

// Parses a CSA move: "+7776FU" (the sign gives the side) or "7776FU" (made
// by side). Returns false for a text that is no CSA move, a drop of a kind
// that cannot be held included.
bool ParseCsaMove(std::string_view text, Side side, Move* move);

// How a game ended, as its record says.
enum class GameResult : int8_t {
  kUnknown = 0,  // no result, an interrupted game, or one the record does not name
  kBlackWins = 1,
  kWhiteWins = 2,
  kDraw = 3,
};

// How a record's last line ends its game, by the side to move after the
// last move (the mover).
enum class GameEnding : int8_t {
  kUnknown,
  kMoverLoses,
  kMoverWins,
  kBlackLoses,
  kWhiteLoses,
  kDraw,
};

// The result of a game that ending ends with mover to move.
constexpr GameResult ResultOfEnding(GameEnding ending, Side mover) {
  switch (ending) {
    case GameEnding::kMoverLoses:
      return mover == kBlack ? GameResult::kWhiteWins : GameResult::kBlackWins;
    case GameEnding::kMoverWins:
      return mover == kBlack ? GameResult::kBlackWins : GameResult::kWhiteWins;
    case GameEnding::kBlackLoses: return GameResult::kWhiteWins;
    case GameEnding::kWhiteLoses: return GameResult::kBlackWins;
    case GameEnding::kDraw: return GameResult::kDraw;
    case GameEnding::kUnknown: break;
  }
  return GameResult::kUnknown;
}

// A game as a record holds it: where it starts and the moves from there.
struct GameRecord {
  Position start;          // king cells set; -1 for a side without a king
  Side side_to_move;       // at the start
  int32_t move_number;     // of the start, 1 where it is not known
  std::vector<Move> moves;  // as parsed; the first by side_to_move
  GameResult result = GameResult::kUnknown;  // from the record's end, where it has one
  std::string black_name;  // the players as the record names them (UTF-8); empty when it does not
  std::string white_name;
};

// Empties *record: an empty board, black to move at move 1, no moves, no
// result and no names.
void ClearGameRecord(GameRecord* record);

// A decoded principal variation.
struct PvLine {
  Side first_side;  // the side to move before the first move
  int32_t count;
  Move moves[kMaxPvMoves];
};

// The side to move after every move of line has been played.
Side SideAfter(const PvLine& line);

// Cuts pv_text into six-character moves (a shorter tail is ignored) and
// decodes them into *line, the first made by first_side and the sides
// alternating after it. A move text that no engine writes (a square digit
// outside 1..9 other than a drop's 00, a piece name that is none of the 14,
// a drop of a kind that cannot be held) ends the line before it: false is
// returned and *error names the move and its number from 1.
bool DecodePvLine(const char* pv_text, Side first_side, PvLine* line, std::string* error);

// Plays *move for side on *position, unchecked for legality; a capture is
// recorded in *move and goes to side's hand. A word whose squares lie
// outside the board and hands changes nothing.
void ApplyMove(Side side, Position* position, MoveCode* move);

// Plays every move of *line on *position in order, each for its own side,
// recording in each move its capture and whether it promotes.
void PlayPvLine(PvLine* line, Position* position);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_MOVE_H_
