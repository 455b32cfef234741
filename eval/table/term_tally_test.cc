#include "eval/table/term_tally.h"

#include <gtest/gtest.h>

#include <memory>

namespace fvscope {
namespace {

TEST(TermTally, BucketsAndSides) {
  EXPECT_EQ(SizeBucket(1), 0);
  EXPECT_EQ(SizeBucket(319), 0);
  EXPECT_EQ(SizeBucket(320), 1);
  EXPECT_EQ(SizeBucket(2239), 6);
  EXPECT_EQ(SizeBucket(2240), 7);
  EXPECT_EQ(SizeBucket(32768), 7);

  auto tally = std::make_unique<TermTally>();
  TallyPair(tally.get(), 0, 0, 76, 4, 81, 81, 88, 88);  // zeros: one count each, no histogram
  EXPECT_EQ(tally->black_count, 1);
  EXPECT_EQ(tally->white_count, 1);
  TallyPair(tally.get(), 95, 500, 76, 4, 81, 60, 88, 20);
  EXPECT_EQ(tally->black_sum, 95);
  EXPECT_EQ(tally->white_sum, 500);
  EXPECT_EQ(tally->black_histogram[0], 1);
  EXPECT_EQ(tally->white_histogram[1], 1);
  const RankEntry& white = tally->entries[3];
  EXPECT_EQ(white.value, -500);
  EXPECT_EQ(white.king_square, 4);
  EXPECT_EQ(white.item_a, 88);
  EXPECT_EQ(white.item_b, 20);
  TallyPair(tally.get(), -32768, -32768, 76, 4, 81, 81, 88, 88);
  EXPECT_EQ(tally->entries[4].value, -32768);
  EXPECT_EQ(tally->entries[5].value, 32767);  // +32768 does not fit
  EXPECT_EQ(tally->white_sum, 500 + 32768);
  EXPECT_EQ(tally->black_sum, 95 + 32768);
  EXPECT_EQ(tally->black_histogram[7], 1);
  EXPECT_EQ(tally->white_histogram[7], 1);
}

TEST(RankLeafTerms, TheTopWithTheCodesOfTheirCells) {
  auto tally = std::make_unique<TermTally>();
  Position p = {};
  p.cells[76] = 8;
  p.cells[4] = -8;
  p.cells[67] = 5;
  p.cells[87] = 1;
  for (int i = 0; i < 200; ++i) TallyPair(tally.get(), i, 0, 76, 4, 67, 87, 88, 88);
  static Ranking ranking;
  RankLeafTerms(*tally, p, kMostPositiveFirst, &ranking);
  ASSERT_EQ(ranking.count, 150);
  const RankedTerm& top = ranking.terms[0];
  EXPECT_EQ(top.value, 199);
  EXPECT_EQ(top.king, 76);
  EXPECT_EQ(top.king_code, 8);
  EXPECT_EQ(top.cell_a, 67);
  EXPECT_EQ(top.code_a, 5);
  EXPECT_EQ(top.cell_b, 87);
  EXPECT_EQ(top.code_b, 1);
  EXPECT_EQ(ranking.terms[149].value, 50);
  EXPECT_EQ(tally->entries[0].value, 0);  // the tally keeps its order
}

}  // namespace
}  // namespace fvscope
