// A KPPT scan's top against a brute force over every pair of a slab.
#include "eval/kppt/kppt_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "eval/piece_features.h"
#include "tools/sample_kppt.h"

namespace fvscope {
namespace {

// Every pair a > b of two pieces' features of slab k, with the value the
// scan ranks it by, fully sorted: by the mode's key, then a, then b.
std::vector<std::tuple<int64_t, int, int, int32_t>> BruteForce(const KpptSet& set,
                                                               const KpptSet* second, int k,
                                                               KpptPart part, SortMode mode) {
  std::vector<std::tuple<int64_t, int, int, int32_t>> all;
  for (int a = 0; a < kPieceFeatures; ++a) {
    int cell, code;
    if (!DecodePieceFeature(a, &cell, &code)) continue;
    for (int b = 0; b < a; ++b) {
      if (!DecodePieceFeature(b, &cell, &code)) continue;
      int32_t v = PartOf(KppPair(set, k, a, b), part);
      if (second != nullptr) v = PartOf(KppPair(*second, k, a, b), part) - v;
      if (v == 0) continue;
      const int64_t key = mode == kByMagnitude ? -std::abs(int64_t{v})
                          : mode == kMostPositiveFirst ? -int64_t{v}
                                                       : int64_t{v};
      all.emplace_back(key, a, b, v);
    }
  }
  std::sort(all.begin(), all.end());
  return all;
}

TEST(KpptScan, TopMatchesABruteForceInEveryModeAndPart) {
  SampleKppt sample;
  MakeSampleKppt(KpptLayout::kKppt32, 21, &sample);
  const KpptSet set = SampleKpptSet(sample);
  const int square = SquareOf(5, 9);
  const int k = FeatureSquare(square);
  for (KpptPart part : {KpptPart::kBoard, KpptPart::kTurn}) {
    for (SortMode mode : {kByMagnitude, kMostPositiveFirst, kMostNegativeFirst}) {
      KpptScan scan;
      std::string error;
      ASSERT_TRUE(ScanKpptSlab(set, nullptr, square, part, mode, &scan, &error)) << error;
      const auto want = BruteForce(set, nullptr, k, part, mode);
      ASSERT_EQ(scan.count, static_cast<int32_t>(want.size()));
      ASSERT_EQ(scan.ranking.count, kRankingLength);
      for (int r = 0; r < scan.ranking.count; ++r) {
        const auto& [key, a, b, v] = want[r];
        const RankedTerm& t = scan.ranking.terms[r];
        ASSERT_EQ(t.value, v) << r;
        int cell_a, code_a, cell_b, code_b;
        DecodePieceFeature(a, &cell_a, &code_a);
        DecodePieceFeature(b, &cell_b, &code_b);
        EXPECT_EQ(t.cell_a, cell_a) << r;
        EXPECT_EQ(t.code_a, code_a) << r;
        EXPECT_EQ(t.cell_b, cell_b) << r;
        EXPECT_EQ(t.king, square);
        EXPECT_EQ(t.board, KppPair(set, k, a, b).board);
        EXPECT_EQ(t.turn, KppPair(set, k, a, b).turn);
      }
    }
  }
  KpptScan scan;
  std::string error;
  EXPECT_FALSE(ScanKpptSlab(set, nullptr, 81, KpptPart::kBoard, kByMagnitude, &scan, &error));
}

TEST(KpptScan, ComparedRanksTheChangedPairs) {
  SampleKppt before;
  MakeSampleKppt(KpptLayout::kKppt16, 8, &before);
  SampleKppt after = before;
  const int k = FeatureSquare(SquareOf(1, 1));
  const KpptSet a0 = SampleKpptSet(before);
  // Turn parts of two pairs, one written on both halves of the slab: each pair counts once.
  for (const auto& [x, y, d] : {std::tuple{700, 300, 40}, std::tuple{300, 700, 40}, std::tuple{901, 95, -90}}) {
    const int16_t v = static_cast<int16_t>(KppPair(a0, k, x, y).turn + d);
    std::memcpy(after.kpp.data() + (((size_t{static_cast<size_t>(k)} * kPieceFeatures + x) * kPieceFeatures + y) * 2 + 1) * 2, &v, 2);
  }
  const KpptSet a = SampleKpptSet(before), b = SampleKpptSet(after);
  KpptScan scan;
  std::string error;
  ASSERT_TRUE(ScanKpptSlab(a, &b, SquareOf(1, 1), KpptPart::kTurn, kByMagnitude, &scan, &error));
  EXPECT_TRUE(scan.compared);
  EXPECT_EQ(scan.count, 2);
  ASSERT_EQ(scan.ranking.count, 2);
  EXPECT_EQ(scan.ranking.terms[0].value, -90);
  EXPECT_EQ(scan.ranking.terms[0].after - scan.ranking.terms[0].before, -90);
  EXPECT_EQ(scan.ranking.terms[1].value, 40);
  ASSERT_TRUE(ScanKpptSlab(a, &b, SquareOf(1, 1), KpptPart::kBoard, kByMagnitude, &scan, &error));
  EXPECT_EQ(scan.count, 0);
}

}  // namespace
}  // namespace fvscope
