#include "eval/piece_squares.h"

#include <algorithm>

namespace fvscope {

bool ParseSquaresPiece(std::string_view text, SquaresPiece* piece, std::string* error) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  if (text.size() == 4 && text[3] == '*' && (text[0] == '+' || text[0] == '-')) {
    const int kind = KindOfCsaName(text.data() + 1);
    if (kind < kPawn || kind > kRook) {
      *error = quoted + " names no kind that can be held (FU, KY, KE, GI, KI, KA, HI)";
      return false;
    }
    *piece = {text[0] == '+' ? kBlack : kWhite, kind, -1};
    return true;
  }
  Place place;
  if (text.size() != 5) {
    *error = quoted + " is neither a piece on a square (+58KI) nor a held kind (+KI*)";
    return false;
  }
  if (!ParsePlace(text, &place, error)) return false;
  *piece = {place.side, place.kind, place.square};
  return true;
}

std::string SquaresPieceName(const SquaresPiece& piece) {
  std::string name(1, SideSign(piece.side));
  if (piece.square < 0) return name + kPieceNames[piece.kind] + "*";
  name += static_cast<char>('0' + FileOf(piece.square));
  name += static_cast<char>('0' + RankOf(piece.square));
  return name + kPieceNames[piece.kind];
}

bool PieceCanStand(const Position& position, Side side, int kind, int from, int square) {
  if (position.cells[square] != 0 && square != from) return false;
  if (RanksAhead(side, square) < RanksToMove(kind)) return false;
  if (kind != kPawn) return true;
  const int pawn = side == kBlack ? kPawn : -kPawn;
  for (int rank = 1; rank <= kRanks; ++rank) {
    const int s = SquareOf(FileOf(square), rank);
    if (s != from && position.cells[s] == pawn) return false;
  }
  return true;
}

namespace {

// Evaluates one position into *value.
bool ValueOf(const Evaluator& file, const Position& position, Side to_move, int32_t* value,
             std::string* error) {
  PositionFigures figures{};
  if (!EvaluatePosition(file, position, to_move, &figures, error)) return false;
  *value = figures.value;
  return true;
}

}  // namespace

bool FindPieceSquares(const Evaluator& file, const Position& position, Side to_move,
                      const SquaresPiece& piece, PieceSquares* out, std::string* error) {
  *out = PieceSquares{};
  out->piece = piece;
  const int sign = piece.side == kBlack ? 1 : -1;
  const std::string name = SquaresPieceName(piece);
  Position without = position;
  if (piece.square >= 0) {
    if (position.cells[piece.square] != sign * piece.kind) {
      *error = name + ": no such piece on that square";
      return false;
    }
    without.cells[piece.square] = 0;
  } else {
    const int slot = HandSlot(piece.side, piece.kind - 1);
    if (position.cells[slot] <= 0) {
      *error = name + ": " + SideName(piece.side) + " holds no " + kPieceWords[piece.kind];
      return false;
    }
    AddToHand(&without, slot, -1);
  }
  if (!ValueOf(file, position, to_move, &out->value, error)) return false;
  for (int s = 0; s < kSquares; ++s) {
    if (s == piece.square || !PieceCanStand(position, piece.side, piece.kind, piece.square, s)) {
      continue;
    }
    Position moved = without;
    moved.cells[s] = static_cast<int8_t>(sign * piece.kind);
    if (piece.kind == kKing) moved.cells[KingCell(piece.side)] = static_cast<int8_t>(s);
    if (!ValueOf(file, moved, to_move, &out->values[s], error)) {
      *error = name + " on " + std::to_string(FileOf(s)) + std::to_string(RankOf(s)) + ": " + *error;
      return false;
    }
    out->present[s] = true;
    out->changes[s] = out->values[s] - out->value;
    out->ranked[out->count++] = {static_cast<int8_t>(s), out->values[s], out->changes[s]};
  }
  std::stable_sort(out->ranked, out->ranked + out->count,
                   [sign](const SquareValue& a, const SquareValue& b) {
                     return sign * a.change > sign * b.change;
                   });
  return true;
}

}  // namespace fvscope
