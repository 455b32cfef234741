#include "shogi/notation.h"

#include <algorithm>

namespace fvscope {

namespace {

// USI letter of each unpromoted kind (the king's is K); promoted kinds use
// the letter of their unpromoted kind after a "+".
constexpr char kUsiLetters[kPieceKinds + 1] = {
    '?', 'P', 'L', 'N', 'S', 'G', 'B', 'R', 'K', 'P', 'L', 'N', 'S', 'B', 'R'};

// Hand kinds in SFEN order: rook, bishop, gold, silver, knight, lance, pawn.
constexpr int kSfenHandOrder[kHandKinds] = {6, 5, 4, 3, 2, 1, 0};

char Lower(char c) { return static_cast<char>(c - 'A' + 'a'); }

void AppendSquare(std::string* out, int square) {
  *out += static_cast<char>('0' + FileOf(square));
  *out += static_cast<char>('a' + RankOf(square) - 1);
}

void AppendHand(const Position& position, Side side, std::string* out) {
  for (int hand_kind : kSfenHandOrder) {
    const int count = position.cells[HandSlot(side, hand_kind)];
    if (count <= 0) continue;
    if (count > 1) *out += std::to_string(count);
    const char letter = kUsiLetters[hand_kind + 1];
    *out += side == kBlack ? letter : Lower(letter);
  }
}

}  // namespace

std::string CsaMoveText(const Move& move) {
  std::string text(1, SideSign(move.side));
  const int from = MoveFrom(move.code);
  const int to = MoveTo(move.code);
  if (MoveIsDrop(move.code)) {
    text += "00";
  } else {
    text += static_cast<char>('0' + FileOf(from));
    text += static_cast<char>('0' + RankOf(from));
  }
  text += static_cast<char>('0' + FileOf(to));
  text += static_cast<char>('0' + RankOf(to));
  const int kind = move.kind >= 1 && move.kind <= kPieceKinds ? move.kind : 0;
  return text + (kind == 0 ? "??" : kPieceNames[kind]);
}

std::string UsiMoveText(const Move& move) {
  const int from = MoveFrom(move.code);
  const int to = MoveTo(move.code);
  if (!IsSquare(to) || from >= kBlackHandBase + kHandKinds) return "?";
  std::string text;
  if (MoveIsDrop(move.code)) {
    text += kUsiLetters[from - kBlackHandBase + 1];
    text += '*';
  } else {
    AppendSquare(&text, from);
  }
  AppendSquare(&text, to);
  if (move.promotes) text += '+';
  return text;
}

std::string PositionSfen(const Position& position, Side side_to_move, int move_number) {
  std::string sfen;
  for (int row = 0; row < kRanks; ++row) {
    if (row > 0) sfen += '/';
    int empty = 0;
    for (int column = 0; column < kFiles; ++column) {
      const int code = position.cells[row * kFiles + column];
      if (code == 0 || !IsPieceCode(code)) {
        ++empty;
        continue;
      }
      if (empty > 0) sfen += static_cast<char>('0' + empty);
      empty = 0;
      const int kind = KindOf(code);
      if (IsPromotedKind(kind)) sfen += '+';
      sfen += code > 0 ? kUsiLetters[kind] : Lower(kUsiLetters[kind]);
    }
    if (empty > 0) sfen += static_cast<char>('0' + empty);
  }
  sfen += side_to_move == kBlack ? " b " : " w ";
  std::string hands;
  AppendHand(position, kBlack, &hands);
  AppendHand(position, kWhite, &hands);
  sfen += hands.empty() ? "-" : hands;
  return sfen + " " + std::to_string(move_number);
}

std::vector<std::string_view> SplitWords(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while ((at = text.find_first_not_of(separators, at)) != std::string_view::npos) {
    const size_t end = std::min(text.find_first_of(separators, at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

char ShownByte(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x7f ? c : '?';
}

std::string QuotedInput(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string quoted = "\"";
  for (size_t i = 0; i < text.size() && i < kShown; ++i) quoted += ShownByte(text[i]);
  return quoted + (text.size() > kShown ? "...\"" : "\"");
}

}  // namespace fvscope
