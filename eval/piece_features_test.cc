#include "eval/piece_features.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "test/positions.h"

namespace fvscope {
namespace {

bool SameLists(const PieceFeatureList& a, const PieceFeatureList& b) {
  if (a.count != b.count || a.king[0] != b.king[0] || a.king[1] != b.king[1]) return false;
  for (Side view : kSides) {
    for (int i = 0; i < a.count; ++i) {
      const PieceFeature& x = a.view[view][i];
      const PieceFeature& y = b.view[view][i];
      if (x.number != y.number || x.cell != y.cell || x.code != y.code) return false;
    }
  }
  return true;
}

// The quick building against the one that checks each piece, on positions
// that fit a set and on positions that do not (too many of a kind, a
// negative count, codes no piece has, a king missing): the same lists, or
// the same fault named.
TEST(PieceFeatures, QuickBuildingAgreesWithTheCheckedOne) {
  std::mt19937 random(5);
  std::vector<int> squares(kSquares);
  for (int s = 0; s < kSquares; ++s) squares[s] = s;
  int faults = 0, built = 0;
  for (int n = 0; n < 4000; ++n) {
    Position p = RandomPosition(random, squares);
    // Trim to what a set holds most of the time, spoil some.
    for (int s = 0; s < kSquares && n % 3 != 0; ++s) {
      if (p.cells[s] != 0 && KindOf(p.cells[s]) != kKing && random() % 2) p.cells[s] = 0;
    }
    for (int h = 0; h < kHandKinds && n % 3 != 0; ++h) {
      p.cells[HandSlot(kBlack, h)] = static_cast<int8_t>(random() % 2);
      p.cells[HandSlot(kWhite, h)] = 0;
    }
    if (n % 50 == 1) p.cells[HandSlot(kWhite, 2)] = -1;
    if (n % 50 == 2) p.cells[random() % kSquares] = 40;
    if (n % 50 == 3) p.cells[kWhiteKingCell] = 81;
    PieceFeatureList quick, checked;
    std::string quick_error, checked_error;
    const bool ok = BuildPieceFeatures(p, &quick, &quick_error);
    ASSERT_EQ(ok, BuildCheckingEachPiece(p, &checked, &checked_error)) << n;
    if (ok) {
      ASSERT_TRUE(SameLists(quick, checked)) << n;
      ++built;
    } else {
      ASSERT_EQ(quick_error, checked_error);
      ++faults;
    }
  }
  EXPECT_GT(faults, 500);
  EXPECT_GT(built, 500);
}

}  // namespace
}  // namespace fvscope
