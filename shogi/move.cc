#include "shogi/move.h"

#include <cstring>

namespace fvscope {

namespace {

// The names a drop may carry, by hand kind.
constexpr int kDropNames = kHandKinds;

bool IsSquareDigit(char c) { return c >= '1' && c <= '9'; }

// Square of the file and rank digit characters; both must be '1'..'9'.
int SquareOfDigits(char file, char rank) { return SquareOf(file - '0', rank - '0'); }

// Decodes one six-character move text; returns false for one no engine writes.
bool DecodeMoveText(const char* t, MoveCode* move) {
  int from;
  if (t[0] == '0' && t[1] == '0') {
    int hand_kind = -1;
    for (int k = 0; k < kDropNames; ++k) {
      if (t[4] == kPieceNames[k + 1][0] && t[5] == kPieceNames[k + 1][1]) hand_kind = k;
    }
    if (hand_kind < 0) return false;
    from = kBlackHandBase + hand_kind;
  } else {
    if (!IsSquareDigit(t[0]) || !IsSquareDigit(t[1])) return false;
    from = SquareOfDigits(t[0], t[1]);
  }
  if (!IsSquareDigit(t[2]) || !IsSquareDigit(t[3])) return false;
  const int to = SquareOfDigits(t[2], t[3]);
  int promote = 0;
  for (int kind = kProPawn; kind <= kDragon; ++kind) {
    if (t[4] == kPieceNames[kind][0] && t[5] == kPieceNames[kind][1]) promote = 1;
  }
  *move = (promote << kMovePromoteShift) | (from << kMoveFromShift) | to;
  return true;
}

}  // namespace

bool DecodePvLine(const char* pv_text, PvLine* line, std::string* error) {
  const int count = static_cast<int>(std::strlen(pv_text)) / kMoveTextLength;
  line->count = 0;
  for (int n = 0; n < count && n < kMaxPvMoves; ++n) {
    const char* text = pv_text + kMoveTextLength * n;
    if (!DecodeMoveText(text, &line->moves[n])) {
      *error = "move " + std::to_string(n + 1) + " \"" + std::string(text, kMoveTextLength) +
               "\" is no move an engine writes; the PV ends before it";
      return false;
    }
    line->count = n + 1;
  }
  return true;
}

void ApplyMove(int side, Position* position, MoveCode* move) {
  const int to = MoveTo(*move);
  const int from = MoveFrom(*move);
  int8_t* cells = position->cells;
  if (!IsSquare(to) || from >= kBlackHandBase + kHandKinds) return;
  const int hand_base = side == kBlack ? kBlackHandBase : kWhiteHandBase;
  if (from >= kBlackHandBase) {
    const int hand_kind = from - kBlackHandBase;
    AddToHand(position, hand_base + hand_kind, -1);
    const int kind = hand_kind + 1;
    cells[to] = static_cast<int8_t>(side == kBlack ? kind : -kind);
    return;
  }
  const int captured = cells[to];
  int moved = cells[from];
  if (MovePromotes(*move) && IsPieceCode(moved)) moved = PromoteCode(moved);
  cells[to] = static_cast<int8_t>(moved);
  cells[from] = 0;
  const int captured_kind = KindOf(captured);
  if (captured_kind >= 1 && captured_kind <= kPieceKinds) {
    *move |= captured_kind << kMoveCaptureShift;
    const int hand_kind = kCaptureHandKind[captured_kind];
    if (hand_kind >= 0) AddToHand(position, hand_base + hand_kind, 1);
  }
  if (KindOf(moved) == kKing) cells[KingCell(side)] = static_cast<int8_t>(to);
}

}  // namespace fvscope
