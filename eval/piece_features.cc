#include "eval/piece_features.h"

#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstring>

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

bool BuildCheckingEachPiece(const Position& position, PieceFeatureList* list, std::string* error) {
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

namespace {

// Per piece code + kMaxPieceCode: the feature base of a board piece from
// each view, and whether it stands in the lists (not empty, not a king).
struct BoardBases {
  int16_t base[2][2 * kMaxPieceCode + 1];
  uint8_t listed[2 * kMaxPieceCode + 1];
};

constexpr BoardBases kBoardBases = [] {
  BoardBases b{};
  for (int code = -kMaxPieceCode; code <= kMaxPieceCode; ++code) {
    const int kind = KindOf(code);
    if (code == 0 || kind == kKing) continue;
    b.base[kBlack][code + kMaxPieceCode] =
        static_cast<int16_t>(code > 0 ? kBoardFriendBase[kind] : kBoardEnemyBase[kind]);
    b.base[kWhite][code + kMaxPieceCode] =
        static_cast<int16_t>(code > 0 ? kBoardEnemyBase[kind] : kBoardFriendBase[kind]);
    b.listed[code + kMaxPieceCode] = 1;
  }
  return b;
}();

// FeatureSquare of every square.
constexpr std::array<int8_t, kSquares> kFeatureSquares = [] {
  std::array<int8_t, kSquares> squares{};
  for (int s = 0; s < kSquares; ++s) squares[s] = static_cast<int8_t>(FeatureSquare(s));
  return squares;
}();

}  // namespace

bool BuildPieceFeatures(const Position& position, PieceFeatureList* list, std::string* error) {
  // The occupied squares only, without a branch on what stands there; a
  // position with more pieces of a kind than a set holds is built again
  // piece by piece, which names the kind.
  const int8_t* cells = position.cells;
  for (Side side : kSides) {
    if (!IsSquare(cells[KingCell(side)])) return BuildCheckingEachPiece(position, list, error);
  }
  PieceFeature board[2][kSquares];
  // Four tallies taken in turn: runs of empty squares would wait on their own count otherwise.
  int held[4][2 * kMaxPieceCode + 1] = {};
  int n = 0;
  // Only the squares that hold something, found 16 cells at a time.
  uint64_t occupied[2] = {0, 0};
  static_assert(kPositionCells >= 96);
  const __m128i none = _mm_setzero_si128();
  for (int c = 0; c < 6; ++c) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 16 * c));
    const uint64_t found = static_cast<uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, none)));
    occupied[c / 4] |= found << (16 * (c % 4));
  }
  occupied[1] &= (uint64_t{1} << (kSquares - 64)) - 1;
  for (int at_bit = 0; at_bit < 2 * 64; at_bit += 64) {
    for (uint64_t left = occupied[at_bit / 64]; left != 0; left &= left - 1) {
      const int s = at_bit + std::countr_zero(left);
      const int code = IsPieceCode(cells[s]) ? cells[s] : 0;
      const int at = code + kMaxPieceCode;
      const int fsq = kFeatureSquares[s];
      board[kBlack][n] = {static_cast<int16_t>(kBoardBases.base[kBlack][at] + fsq), static_cast<int8_t>(s),
                          static_cast<int8_t>(code)};
      board[kWhite][n] = {static_cast<int16_t>(kBoardBases.base[kWhite][at] + kSquares - 1 - fsq),
                          static_cast<int8_t>(s), static_cast<int8_t>(code)};
      n += kBoardBases.listed[at];
      ++held[s & 3][at];
    }
  }
  int held_by_kind[kHandKinds] = {};
  for (int code = 1; code <= kMaxPieceCode; ++code) {
    if (code == kKing) continue;
    for (const auto& tally : held) {
      held_by_kind[kCaptureHandKind[code]] += tally[kMaxPieceCode + code] + tally[kMaxPieceCode - code];
    }
  }
  for (int h = 0; h < kHandKinds; ++h) {
    if (held_by_kind[h] > kPiecesInSet[h]) return BuildCheckingEachPiece(position, list, error);
  }
  for (Side side : kSides) {
    list->king[side] = ViewedFeatureSquare(side, FeatureSquare(cells[KingCell(side)]));
  }
  std::memcpy(list->view[kBlack], board[kBlack], n * sizeof(PieceFeature));
  std::memcpy(list->view[kWhite], board[kWhite], n * sizeof(PieceFeature));
  for (Side holder : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const int count = cells[HandSlot(holder, h)];
      if (count < 0 || (held_by_kind[h] += count) > kPiecesInSet[h]) {
        return BuildCheckingEachPiece(position, list, error);
      }
      for (int k = 1; k <= count; ++k) {
        list->view[kBlack][n] = {static_cast<int16_t>(HandFeature(kBlack, holder, h, k)),
                                 static_cast<int8_t>(HandSlot(holder, h)), static_cast<int8_t>(k)};
        list->view[kWhite][n] = {static_cast<int16_t>(HandFeature(kWhite, holder, h, k)),
                                 static_cast<int8_t>(HandSlot(holder, h)), static_cast<int8_t>(k)};
        ++n;
      }
    }
  }
  for (; n < kSetPieces; ++n) {
    list->view[kBlack][n] = list->view[kWhite][n] = {kMissingPieceFeature, -1, 0};
  }
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
