#include "eval/piece_features.h"

namespace fvscope {

int BoardFeature(Side view, int code, int square) {
  const int kind = KindOf(code);
  const bool friend_piece = (code > 0) == (view == kBlack);
  const int base = friend_piece ? kBoardFriendBase[kind] : kBoardEnemyBase[kind];
  return base + ViewedFeatureSquare(view, FeatureSquare(square));
}

int HandFeature(Side view, Side holder, int hand_kind, int k) {
  return (holder == view ? kHandFriendBase[hand_kind] : kHandEnemyBase[hand_kind]) + k - 1;
}

bool BuildPieceFeatures(const Position& position, PieceFeatureList* list, std::string* error) {
  const int8_t* cells = position.cells;
  int held[kHandKinds] = {};
  for (Side side : kSides) {
    const int king = cells[KingCell(side)];
    if (!IsSquare(king)) {
      *error = std::string("no ") + SideName(side) + " king";
      return false;
    }
    list->king[side] = ViewedFeatureSquare(side, FeatureSquare(king));
  }
  int n = 0;
  const auto add = [&](int cell, int code, int black_number, int white_number) {
    list->view[kBlack][n] = {static_cast<int16_t>(black_number), static_cast<int8_t>(cell),
                             static_cast<int8_t>(code)};
    list->view[kWhite][n] = {static_cast<int16_t>(white_number), static_cast<int8_t>(cell),
                             static_cast<int8_t>(code)};
    ++n;
  };
  for (int s = 0; s < kSquares; ++s) {
    const int code = cells[s];
    if (code == 0 || !IsPieceCode(code) || KindOf(code) == kKing) continue;
    const int h = kCaptureHandKind[KindOf(code)];
    if (++held[h] > kPiecesInSet[h] || n == kSetPieces) {
      *error = std::string("more ") + kPieceWords[h + 1] + "s than a set holds";
      return false;
    }
    add(s, code, BoardFeature(kBlack, code, s), BoardFeature(kWhite, code, s));
  }
  for (Side holder : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const int count = cells[HandSlot(holder, h)];
      if (count < 0 || (held[h] += count) > kPiecesInSet[h]) {
        *error = std::string(SideName(holder)) + "'s hand holds " + std::to_string(count) + " " +
                 kPieceNames[h + 1] + ", more than a set holds";
        return false;
      }
      for (int k = 1; k <= count; ++k) {
        add(HandSlot(holder, h), k, HandFeature(kBlack, holder, h, k),
            HandFeature(kWhite, holder, h, k));
      }
    }
  }
  while (n < kSetPieces) add(-1, 0, kMissingPieceFeature, kMissingPieceFeature);
  list->count = n;
  return true;
}

bool DecodePieceFeature(int f, int* cell, int* code) {
  *cell = -1;
  *code = 0;
  if (f < 1 || f >= kPieceFeatures) return false;
  if (f < kBoardFriendBase[kPawn]) {
    for (int h = 0; h < kHandKinds; ++h) {
      for (Side holder : kSides) {
        const int base = holder == kBlack ? kHandFriendBase[h] : kHandEnemyBase[h];
        if (f >= base && f < base + kPiecesInSet[h]) {
          *cell = HandSlot(holder, h);
          *code = f - base + 1;
          return true;
        }
      }
    }
    return false;
  }
  for (int kind = kPawn; kind <= kDragon; ++kind) {
    if (kind == kKing || (kind >= kProPawn && kind <= kProSilver)) continue;
    for (Side owner : kSides) {
      const int base = owner == kBlack ? kBoardFriendBase[kind] : kBoardEnemyBase[kind];
      if (f >= base && f < base + kSquares) {
        *cell = SquareOfFeatureSquare(f - base);
        *code = owner == kBlack ? kind : -kind;
        return true;
      }
    }
  }
  return false;
}

}  // namespace fvscope
