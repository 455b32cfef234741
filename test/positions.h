// Positions for the evaluation tests: kings only, random ones, and the
// colour-swapped twin of a position.
#ifndef FVSCOPE_TEST_POSITIONS_H_
#define FVSCOPE_TEST_POSITIONS_H_

#include <random>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/table/features.h"
#include "shogi/types.h"

namespace fvscope {

// The two kings on bk and wk and nothing else.
inline Position KingsOnly(int bk, int wk) {
  Position p = {};
  p.cells[bk] = 8;
  p.cells[wk] = -8;
  p.cells[kBlackKingCell] = static_cast<int8_t>(bk);
  p.cells[kWhiteKingCell] = static_cast<int8_t>(wk);
  return p;
}

// A random position the tables can index whose kings stand on squares
// (black's) and their turned twins (white's): up to 38 pieces of any kind
// anywhere, hand counts within the tables' range.
inline Position RandomPosition(std::mt19937& random, const std::vector<int>& squares) {
  int bk, wk;
  do {
    bk = squares[random() % squares.size()];
    wk = FlipSquare(squares[random() % squares.size()]);
  } while (bk == wk);
  Position p = KingsOnly(bk, wk);
  const int pieces = random() % (kMaxBoardPieces + 1);
  for (int placed = 0; placed < pieces;) {
    const int s = random() % kSquares;
    if (p.cells[s] != 0) continue;
    int kind = 1 + random() % 13;
    if (kind >= kKing) ++kind;
    p.cells[s] = static_cast<int8_t>(random() % 2 ? kind : -kind);
    ++placed;
  }
  for (int h = 0; h < kHandKinds; ++h) {
    p.cells[HandSlot(kBlack, h)] = static_cast<int8_t>(random() % (kMaxHandCount[h] + 1));
    p.cells[HandSlot(kWhite, h)] = static_cast<int8_t>(random() % (kMaxHandCount[h] + 1));
  }
  return p;
}

// The position with the colours swapped: the board turned half a turn with
// every piece changing sides, the hands exchanged.
inline Position ColourSwapped(const Position& p) {
  Position q = {};
  for (int s = 0; s < kSquares; ++s) q.cells[s] = static_cast<int8_t>(-p.cells[FlipSquare(s)]);
  for (int h = 0; h < kHandKinds; ++h) {
    q.cells[HandSlot(kBlack, h)] = p.cells[HandSlot(kWhite, h)];
    q.cells[HandSlot(kWhite, h)] = p.cells[HandSlot(kBlack, h)];
  }
  q.cells[kBlackKingCell] = static_cast<int8_t>(FlipSquare(p.cells[kWhiteKingCell]));
  q.cells[kWhiteKingCell] = static_cast<int8_t>(FlipSquare(p.cells[kBlackKingCell]));
  return q;
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_POSITIONS_H_
