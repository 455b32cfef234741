#include "shogi/position_check.h"

#include "shogi/cell_name.h"

namespace fvscope {

namespace {

// Plural names of the hand kinds, for messages.
constexpr const char* kPluralWords[kHandKinds] = {"pawns",   "lances",  "knights", "silvers",
                                                  "golds",   "bishops", "rooks"};

}  // namespace

std::vector<std::string> ImpossiblePieces(const Position& position) {
  std::vector<std::string> findings;
  int counts[kHandKinds] = {};
  int kings[2] = {};
  for (int s = 0; s < kSquares; ++s) {
    const int code = position.cells[s];
    if (code == 0 || !IsPieceCode(code)) continue;
    const int kind = KindOf(code);
    const Side side = code > 0 ? kBlack : kWhite;
    if (kind == kKing) {
      ++kings[side];
      continue;
    }
    ++counts[kCaptureHandKind[kind]];
    if (RanksAhead(side, s) < RanksToMove(kind)) {
      findings.push_back(CellName(s, code) + ": a " + SideName(side) + " " + kPieceWords[kind] +
                         " on its last rank" + (kind == kKnight ? "s" : "") +
                         " can never move");
    }
  }
  for (int h = 0; h < kHandKinds; ++h) {
    for (Side side : kSides) {
      const int held = position.cells[HandSlot(side, h)];
      if (held > 0) counts[h] += held;
    }
    if (counts[h] > kPiecesInSet[h]) {
      findings.push_back(std::to_string(counts[h]) + " " + kPluralWords[h] +
                         " on the board and in hand; the set holds " +
                         std::to_string(kPiecesInSet[h]));
    }
  }
  for (Side side : kSides) {
    if (kings[side] > 1) {
      findings.push_back(std::to_string(kings[side]) + " " + SideName(side) +
                         " kings on the board");
    }
  }
  return findings;
}

}  // namespace fvscope
