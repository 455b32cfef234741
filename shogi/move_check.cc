#include "shogi/move_check.h"

#include <cstdlib>

#include "shogi/notation.h"

namespace fvscope {

namespace {

struct Step {
  int dr, dc;  // rows and columns, forward for black is -1 row
};

constexpr Step kGoldSteps[] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, 0}};
constexpr Step kSilverSteps[] = {{-1, -1}, {-1, 0}, {-1, 1}, {1, -1}, {1, 1}};
constexpr Step kKingSteps[] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                               {0, 1},   {1, -1}, {1, 0},  {1, 1}};
constexpr Step kKnightSteps[] = {{-2, -1}, {-2, 1}};
constexpr Step kPawnSteps[] = {{-1, 0}};
constexpr Step kDiagonals[] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
constexpr Step kLines[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
constexpr Step kForward[] = {{-1, 0}};

template <size_t N>
bool StepsReach(const Step (&steps)[N], int forward, int dr, int dc) {
  for (const Step& s : steps) {
    if (s.dr * forward == dr && s.dc == dc) return true;
  }
  return false;
}

// True when a piece sliding along one of the lines from from reaches to
// with every square between empty.
template <size_t N>
bool SlideReaches(const Step (&lines)[N], int forward, const Position& position, int from,
                  int to) {
  const int fr = from / kFiles, fc = from % kFiles, tr = to / kFiles, tc = to % kFiles;
  for (const Step& s : lines) {
    const int dr = s.dr * forward;
    for (int r = fr + dr, c = fc + s.dc; r >= 0 && r < kRanks && c >= 0 && c < kFiles;
         r += dr, c += s.dc) {
      if (r == tr && c == tc) return true;
      if (position.cells[r * kFiles + c] != 0) break;
    }
  }
  return false;
}

// True when a piece of kind for side on from can move to to by its way of moving.
bool CanReach(const Position& position, int kind, Side side, int from, int to) {
  const int forward = side == kBlack ? 1 : -1;
  const int dr = to / kFiles - from / kFiles;
  const int dc = to % kFiles - from % kFiles;
  switch (kind) {
    case kPawn: return StepsReach(kPawnSteps, forward, dr, dc);
    case kLance: return SlideReaches(kForward, forward, position, from, to);
    case kKnight: return StepsReach(kKnightSteps, forward, dr, dc);
    case kSilver: return StepsReach(kSilverSteps, forward, dr, dc);
    case kGold: case kProPawn: case kProLance: case kProKnight: case kProSilver:
      return StepsReach(kGoldSteps, forward, dr, dc);
    case kBishop: return SlideReaches(kDiagonals, forward, position, from, to);
    case kRook: return SlideReaches(kLines, forward, position, from, to);
    case kKing: return StepsReach(kKingSteps, forward, dr, dc);
    case kHorse:
      return SlideReaches(kDiagonals, forward, position, from, to) ||
             StepsReach(kLines, forward, dr, dc);
    case kDragon:
      return SlideReaches(kLines, forward, position, from, to) ||
             StepsReach(kDiagonals, forward, dr, dc);
    default: return false;
  }
}

std::string SquareText(int square, Notation names) {
  std::string text(1, static_cast<char>('0' + FileOf(square)));
  text += names == Notation::kUsi ? static_cast<char>('a' + RankOf(square) - 1)
                                  : static_cast<char>('0' + RankOf(square));
  return text;
}

std::string Piece(Side side, int kind) {
  return std::string(SideName(side)) + " " + kPieceWords[kind];
}

bool CheckDrop(const Position& position, Side side, int hand_kind, int to, Notation names,
               std::string* why) {
  const int kind = hand_kind + 1;
  if (position.cells[HandSlot(side, hand_kind)] <= 0) {
    *why = std::string(SideName(side)) + " holds no " + kPieceWords[kind];
    return false;
  }
  if (position.cells[to] != 0) {
    *why = "a drop on " + SquareText(to, names) + ", which is not empty";
    return false;
  }
  if (RanksAhead(side, to) < RanksToMove(kind)) {
    *why = std::string("a ") + kPieceWords[kind] + " dropped on " + SquareText(to, names) +
           " could never move";
    return false;
  }
  if (kind == kPawn) {
    const int own_pawn = side == kBlack ? kPawn : -kPawn;
    for (int row = 0; row < kRanks; ++row) {
      if (position.cells[row * kFiles + to % kFiles] == own_pawn) {
        *why = std::string(SideName(side)) + " has an unpromoted pawn on file " +
               std::to_string(FileOf(to)) + " already";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool CheckMove(const Position& position, Side to_move, Notation names, Move* move,
               std::string* why) {
  if (move->side != to_move) {
    *why = std::string("it is ") + SideName(to_move) + "'s move, not " + SideName(move->side) + "'s";
    return false;
  }
  const Side side = to_move;
  const int from = MoveFrom(move->code);
  const int to = MoveTo(move->code);
  if (!IsSquare(to) || from >= kBlackHandBase + kHandKinds) {
    *why = "no move on the board";
    return false;
  }
  if (MoveIsDrop(move->code)) {
    const int hand_kind = from - kBlackHandBase;
    if (move->kind == 0) move->kind = static_cast<int8_t>(hand_kind + 1);
    move->promotes = false;
    return CheckDrop(position, side, hand_kind, to, names, why);
  }
  const int code = position.cells[from];
  const int kind = KindOf(code);
  const bool own = code != 0 && IsPieceCode(code) && (code > 0) == (side == kBlack);
  if (!own) {
    *why = "no " + Piece(side, 0) + " on " + SquareText(from, names);
    return false;
  }
  if (move->kind == 0) {  // a USI move: the board names the piece
    if (move->promotes && PromoteCode(kind) == kind) {
      *why = std::string("a ") + kPieceWords[kind] + " cannot promote";
      return false;
    }
    move->kind = static_cast<int8_t>(move->promotes ? PromoteCode(kind) : kind);
  } else if (move->kind != kind && move->kind != PromoteCode(kind)) {
    *why = "no " + Piece(side, move->kind) + " on " + SquareText(from, names) + " (a " +
           kPieceWords[kind] + " stands there)";
    return false;
  } else {
    move->promotes = move->kind != kind;
  }
  move->code = (move->code & ~(1 << kMovePromoteShift)) |
               (IsPromotedKind(move->kind) ? 1 << kMovePromoteShift : 0);
  if (!CanReach(position, kind, side, from, to)) {
    *why = "a " + Piece(side, kind) + " on " + SquareText(from, names) + " cannot move to " +
           SquareText(to, names);
    return false;
  }
  const int target = position.cells[to];
  if (target != 0 && ((target > 0) == (side == kBlack) || KindOf(target) == kKing)) {
    *why = SquareText(to, names) + " holds " + ((target > 0) == (side == kBlack) ? "a piece of " +
           std::string(SideName(side)) + "'s own" : std::string("the ") +
           SideName(Opponent(side)) + " king");
    return false;
  }
  if (move->promotes && RanksAhead(side, from) > 2 && RanksAhead(side, to) > 2) {
    *why = "a promotion outside " + std::string(SideName(side)) + "'s promotion zone";
    return false;
  }
  if (!move->promotes && RanksAhead(side, to) < RanksToMove(kind)) {
    *why = std::string("a ") + kPieceWords[kind] + " on " + SquareText(to, names) +
           " could never move again; it must promote";
    return false;
  }
  return true;
}

void PlayableMoves(const Position& position, Side side, std::vector<Move>* moves) {
  std::string why;
  for (int from = 0; from < kBlackHandBase + kHandKinds; ++from) {
    if (from < kSquares) {
      const int code = position.cells[from];
      if (code == 0 || (code > 0) != (side == kBlack)) continue;
    } else if (position.cells[HandSlot(side, from - kBlackHandBase)] <= 0) {
      continue;
    }
    for (int to = 0; to < kSquares; ++to) {
      for (bool promotes : {false, true}) {
        if (promotes && from >= kSquares) continue;
        Move move{side, (from << kMoveFromShift) | to, 0, promotes};
        if (CheckMove(position, side, Notation::kUsi, &move, &why)) moves->push_back(move);
      }
    }
  }
}

bool KingAttacked(const Position& position, Side side) {
  const int king = position.cells[KingCell(side)];
  if (!IsSquare(king)) return false;
  const Side other = Opponent(side);
  for (int from = 0; from < kSquares; ++from) {
    const int code = position.cells[from];
    if (code == 0 || !IsPieceCode(code) || (code > 0) != (other == kBlack)) continue;
    if (CanReach(position, KindOf(code), other, from, king)) return true;
  }
  return false;
}

void PlayMove(Position* position, Move* move) { ApplyMove(move->side, position, &move->code); }

std::string MoveText(const Move& move, Notation names) {
  return names == Notation::kUsi ? UsiMoveText(move) : CsaMoveText(move);
}

namespace {

// Plays the first plies moves of record (all when negative), each checked,
// handing every position reached with the move that led there to visit.
template <typename Visit>
bool PlayMoves(const GameRecord& record, int plies, Notation names, Position* position,
               Side* to_move, std::string* error, Visit visit) {
  const int count = static_cast<int>(record.moves.size());
  if (plies > count) {
    *error = "ply " + std::to_string(plies) + " is past the " + std::to_string(count) +
             " moves there are";
    return false;
  }
  *position = record.start;
  *to_move = record.side_to_move;
  for (int n = 0; n < (plies < 0 ? count : plies); ++n) {
    Move move = record.moves[n];
    std::string why;
    if (!CheckMove(*position, *to_move, names, &move, &why)) {
      *error = "move " + std::to_string(n + 1) + " \"" + MoveText(move, names) + "\": " + why;
      return false;
    }
    PlayMove(position, &move);
    *to_move = Opponent(*to_move);
    visit(n + 1, move);
  }
  return true;
}

}  // namespace

bool PlayRecord(const GameRecord& record, int plies, Notation names, Position* position,
                Side* to_move, std::string* error) {
  return PlayMoves(record, plies, names, position, to_move, error, [](int, const Move&) {});
}

bool PlayRecordPlies(const GameRecord& record, Notation names, std::vector<RecordPly>* plies,
                     std::string* error) {
  Position position;
  Side to_move;
  plies->push_back({0, record.move_number, false, Move{}, record.start, record.side_to_move});
  return PlayMoves(record, -1, names, &position, &to_move, error,
                   [&](int ply, const Move& move) {
                     plies->push_back(
                         {ply, record.move_number + ply, true, move, position, to_move});
                   });
}

}  // namespace fvscope
