#include "shogi/place_name.h"

#include "shogi/notation.h"

namespace fvscope {

namespace {

bool Fail(std::string_view text, const std::string& why, std::string* error) {
  *error = QuotedInput(text) + ": " + why;
  return false;
}

bool ParseHeld(std::string_view text, Side side, int kind, Place* place, std::string* error) {
  const std::string_view digits = text.substr(4);
  if (digits.empty()) return Fail(text, "a held kind needs its count after '*'", error);
  int count = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return Fail(text, "the count after '*' is not a number", error);
    count = count < 1000 ? count * 10 + (c - '0') : count;
  }
  if (kind > kRook) {
    return Fail(text, std::string("a ") + kPieceWords[kind] + " cannot be held", error);
  }
  const int most = kPiecesInSet[kind - 1];
  if (count > most) {
    return Fail(text, "a side holds at most " + std::to_string(most) + " " +
                          kPieceWords[kind] + (most == 1 ? "" : "s"), error);
  }
  *place = {side, kind, -1, count};
  return true;
}

}  // namespace

bool ParsePlace(std::string_view text, Place* place, std::string* error) {
  if (text.empty()) return Fail(text, "empty; expected a place such as +59OU or -FU*3", error);
  if (text[0] != '+' && text[0] != '-') {
    return Fail(text, "expected '+' (black) or '-' (white) first", error);
  }
  const Side side = text[0] == '+' ? kBlack : kWhite;
  const bool held = text.size() >= 4 && text[3] == '*';
  const std::string_view name = held ? text.substr(1, 2) : text.substr(text.size() < 3 ? 1 : 3);
  if (held) {
    const int kind = name.size() == 2 ? KindOfCsaName(name.data()) : 0;
    if (kind == 0) return Fail(text, "no piece is named " + QuotedInput(name), error);
    return ParseHeld(text, side, kind, place, error);
  }
  if (text.size() != 5) {
    return Fail(text, "expected sign, file, rank and piece (+76FU) or sign, piece, '*' and count "
                      "(-FU*3)", error);
  }
  if (!IsSquareDigit(text[1]) || !IsSquareDigit(text[2])) {
    return Fail(text, "square " + QuotedInput(text.substr(1, 2)) + " is off the board", error);
  }
  const int kind = KindOfCsaName(name.data());
  if (kind == 0) return Fail(text, "no piece is named " + QuotedInput(name), error);
  *place = {side, kind, SquareOf(text[1] - '0', text[2] - '0'), 0};
  return true;
}

std::string PlaceName(const Place& place) {
  std::string name(1, SideSign(place.side));
  const char* piece = place.kind >= 1 && place.kind <= kPieceKinds ? kPieceNames[place.kind] : "??";
  if (IsHeld(place)) return name + piece + "*" + std::to_string(place.count);
  if (!IsSquare(place.square)) return name + "??" + piece;
  return name + char('0' + FileOf(place.square)) + char('0' + RankOf(place.square)) + piece;
}

bool ParseMapRequest(std::string_view text, MapRequest* request, std::string* error) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    return Fail(text, "expected KING:PIECE, such as +59OU:+58KI", error);
  }
  const std::string_view king_text = text.substr(0, colon);
  const std::string_view piece_text = text.substr(colon + 1);
  Place king, piece;
  if (!ParsePlace(king_text, &king, error) || !ParsePlace(piece_text, &piece, error)) return false;
  if (IsHeld(king) || king.kind != kKing) {
    return Fail(text, QuotedInput(king_text) + " is not a king on the board", error);
  }
  if (!IsHeld(piece) && piece.square == king.square) {
    return Fail(text, "the piece stands on the king's square " + PlaceName(king).substr(1, 2),
                error);
  }
  if (!IsHeld(piece) && piece.kind == kKing && piece.side == king.side) {
    return Fail(text, std::string("both kings are ") + SideName(king.side) + "'s", error);
  }
  if (!IsHeld(piece) && RanksAhead(piece.side, piece.square) < RanksToMove(piece.kind)) {
    return Fail(text, std::string("a ") + SideName(piece.side) + " " + kPieceWords[piece.kind] +
                          " can never stand on " + PlaceName(piece).substr(1, 2), error);
  }
  *request = {king, piece};
  return true;
}

}  // namespace fvscope
