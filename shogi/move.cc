#include "shogi/move.h"

#include <cstring>

namespace fvscope {

namespace {

// Square of the file and rank digit characters; both must be '1'..'9'.
int SquareOfDigits(char file, char rank) { return SquareOf(file - '0', rank - '0'); }

// Decodes one six-character move text; returns false for one no engine writes.
bool DecodeMoveText(const char* t, Move* move) {
  const int kind = KindOfCsaName(t + 4);
  if (kind == 0) return false;
  int from;
  if (t[0] == '0' && t[1] == '0') {
    if (kind > kHandKinds) return false;
    from = kBlackHandBase + kind - 1;
  } else {
    if (!IsSquareDigit(t[0]) || !IsSquareDigit(t[1])) return false;
    from = SquareOfDigits(t[0], t[1]);
  }
  if (!IsSquareDigit(t[2]) || !IsSquareDigit(t[3])) return false;
  const int to = SquareOfDigits(t[2], t[3]);
  const int promote = IsPromotedKind(kind) ? 1 : 0;
  move->code = (promote << kMovePromoteShift) | (from << kMoveFromShift) | to;
  move->kind = static_cast<int8_t>(kind);
  move->promotes = false;
  return true;
}

// Square of a USI file digit and rank letter ("7g"), or -1.
int SquareOfUsi(char file, char rank) {
  if (!IsSquareDigit(file) || rank < 'a' || rank > 'i') return -1;
  return SquareOf(file - '0', rank - 'a' + 1);
}

// Hand kind of an upper-case USI piece letter that can be dropped, or -1.
int HandKindOfUsiLetter(char letter) {
  constexpr char kLetters[kHandKinds + 1] = "PLNSGBR";
  for (int k = 0; k < kHandKinds; ++k) {
    if (kLetters[k] == letter) return k;
  }
  return -1;
}

}  // namespace

bool ParseUsiMove(std::string_view text, Side side, Move* move) {
  int from, to;
  bool promotes = false;
  if (text.size() == 4 && text[1] == '*') {
    const int hand_kind = HandKindOfUsiLetter(text[0]);
    to = SquareOfUsi(text[2], text[3]);
    if (hand_kind < 0 || to < 0) return false;
    from = kBlackHandBase + hand_kind;
  } else if (text.size() == 4 || (text.size() == 5 && text[4] == '+')) {
    from = SquareOfUsi(text[0], text[1]);
    to = SquareOfUsi(text[2], text[3]);
    if (from < 0 || to < 0) return false;
    promotes = text.size() == 5;
  } else {
    return false;
  }
  move->side = side;
  move->code = (from << kMoveFromShift) | to;
  move->kind = 0;
  move->promotes = promotes;
  return true;
}

bool ParseCsaMove(std::string_view text, Side side, Move* move) {
  if (text.size() == kMoveTextLength + 1) {
    if (text[0] != '+' && text[0] != '-') return false;
    side = text[0] == '+' ? kBlack : kWhite;
    text.remove_prefix(1);
  }
  if (text.size() != kMoveTextLength) return false;
  if (!DecodeMoveText(text.data(), move)) return false;
  move->side = side;
  return true;
}

bool DecodePvLine(const char* pv_text, Side first_side, PvLine* line, std::string* error) {
  const int count = static_cast<int>(std::strlen(pv_text)) / kMoveTextLength;
  line->first_side = first_side;
  line->count = 0;
  Side side = first_side;
  for (int n = 0; n < count && n < kMaxPvMoves; ++n) {
    const char* text = pv_text + kMoveTextLength * n;
    Move& move = line->moves[n];
    if (!DecodeMoveText(text, &move)) {
      *error = "move " + std::to_string(n + 1) + " \"" + std::string(text, kMoveTextLength) +
               "\" is no move an engine writes; the PV ends before it";
      return false;
    }
    move.side = side;
    side = Opponent(side);
    line->count = n + 1;
  }
  return true;
}

void ApplyMove(Side side, Position* position, MoveCode* move) {
  const int to = MoveTo(*move);
  const int from = MoveFrom(*move);
  int8_t* cells = position->cells;
  if (!IsSquare(to) || from >= kBlackHandBase + kHandKinds) return;
  if (from >= kBlackHandBase) {
    const int hand_kind = from - kBlackHandBase;
    AddToHand(position, HandSlot(side, hand_kind), -1);
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
    if (hand_kind >= 0) AddToHand(position, HandSlot(side, hand_kind), 1);
  }
  if (KindOf(moved) == kKing) cells[KingCell(side)] = static_cast<int8_t>(to);
}

Side SideAfter(const PvLine& line) {
  return line.count == 0 ? line.first_side : Opponent(line.moves[line.count - 1].side);
}

void PlayPvLine(PvLine* line, Position* position) {
  for (int n = 0; n < line->count; ++n) {
    Move& move = line->moves[n];
    const int from = MoveFrom(move.code);
    const int before = IsSquare(from) ? KindOf(position->cells[from]) : 0;
    move.promotes = MovePromotes(move.code) && before >= 1 && before <= kPieceKinds &&
                    PromoteCode(before) != before;
    ApplyMove(move.side, position, &move.code);
  }
}

void ClearGameRecord(GameRecord* record) {
  ClearPosition(&record->start);
  record->side_to_move = kBlack;
  record->move_number = 1;
  record->moves.clear();
  record->result = GameResult::kUnknown;
  record->black_name.clear();
  record->white_name.clear();
}

}  // namespace fvscope
