// Where a piece is worth most: a position evaluated with one of its pieces
// moved to each empty square in turn (a held piece dropped there), under
// either family of file, against the position's own value.
#ifndef FVSCOPE_EVAL_PIECE_SQUARES_H_
#define FVSCOPE_EVAL_PIECE_SQUARES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "eval/evaluator.h"
#include "shogi/place_name.h"
#include "shogi/types.h"

namespace fvscope {

// The piece asked for: a side's piece on a square (a king moves its view),
// or a kind a side holds (count 0).
struct SquaresPiece {
  Side side;
  int kind;    // the piece's kind 1..14 on the board; a held kind as pawn..rook (1..7)
  int square;  // 0..80, or -1 for a held kind
};

// Reads "+58KI" (a piece on the board, a king too) or "+KI*" ("-FU*": a kind
// the side holds). Returns false with *error naming what is wrong.
bool ParseSquaresPiece(std::string_view text, SquaresPiece* piece, std::string* error);

// The text ParseSquaresPiece reads piece from.
std::string SquaresPieceName(const SquaresPiece& piece);

// One square the piece can stand on, and the value with it there.
struct SquareValue {
  int8_t square;
  int32_t value;   // points from black's view
  int32_t change;  // value minus the position's own
};

// The position's value with the piece on each square where it can stand.
struct PieceSquares {
  SquaresPiece piece;
  int32_t value = 0;                   // the position's own, points from black's view
  bool present[kSquares] = {};         // evaluated: empty and the piece can stand there
  int32_t values[kSquares] = {};       // where present
  int32_t changes[kSquares] = {};      // where present: values minus value
  int32_t count = 0;
  SquareValue ranked[kSquares] = {};   // present squares, best for the piece's side first
};

// True when a piece of side and code (its kind, not a held kind) can stand
// on square of position with the piece at from (-1: held) taken away: the
// square is empty, the piece has a move left there, and an unpromoted pawn
// finds no other unpromoted pawn of its side on the file.
bool PieceCanStand(const Position& position, Side side, int kind, int from, int square);

// Evaluates position with to_move to move under file, then with piece on
// each square it can stand on. Returns false with *error when the piece is
// not in the position or a position does not fit the file.
bool FindPieceSquares(const Evaluator& file, const Position& position, Side to_move,
                      const SquaresPiece& piece, PieceSquares* out, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_PIECE_SQUARES_H_
