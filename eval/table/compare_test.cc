#include "eval/table/compare.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test/eval_files.h"
#include "test/positions.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

EvalFile Load(const std::string& path, const std::vector<std::pair<int64_t, int16_t>>& values) {
  WriteEvalFile(path, values);
  EvalFile file;
  std::string error, warning;
  EXPECT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning)) << error;
  return file;
}

TEST(CompareLeaf, ItselfChangesNothingAndOneChangedEntryRanksFirst) {
  ScratchDir dir;
  // The black king on 59 with a gold on 58: features 733 (gold) and 0 (no
  // pawn in hand) are both in black's list; the white king on 11 looks
  // through another table.
  Position p = KingsOnly(76, 8);
  p.cells[67] = kGold;
  const std::vector<std::pair<int64_t, int16_t>> common = {
      {KppOffset(76, 733, 0), 300}, {KppOffset(76, 733, 733), -50}, {KkpOffset(76, 8, 333 + 67), 7}};
  EvalFile before = Load(dir.File("a.bin"), common);
  auto changed = common;
  changed[0].second = 1300;
  EvalFile after = Load(dir.File("b.bin"), changed);
  auto c = std::make_unique<LeafComparison>();
  std::string error;
  ASSERT_TRUE(CompareLeaf(p, before, before, kByMagnitude, c.get(), &error)) << error;
  EXPECT_EQ(c->changed, 0);
  EXPECT_EQ(c->ranking.count, 0);
  EXPECT_EQ(c->before.kpp_sum, c->after.kpp_sum);

  ASSERT_TRUE(CompareLeaf(p, before, after, kMostNegativeFirst, c.get(), &error)) << error;
  EXPECT_EQ(c->changed, 1);
  ASSERT_EQ(c->ranking.count, 1);
  const RankedTerm& t = c->ranking.terms[0];
  EXPECT_EQ(t.value, 1000);
  EXPECT_EQ(t.before, 300);
  EXPECT_EQ(t.after, 1300);
  EXPECT_EQ(t.king, 76);
  EXPECT_EQ(t.cell_a, 67);
  EXPECT_EQ(t.cell_b, 81);
  EXPECT_EQ(c->after.kpp_sum - c->before.kpp_sum, 1000);
  EXPECT_EQ(c->after.kkp_sum, 7);
  CloseEvalFile(&before);
  CloseEvalFile(&after);
}

TEST(CompareKppSquare, CountsEveryChangedEntryAndRanksByChange) {
  ScratchDir dir;
  EvalFile before = Load(dir.File("a.bin"), {{KppOffset(40, 90, 90), 5}, {KppOffset(40, 700, 3), 9}});
  std::vector<std::pair<int64_t, int16_t>> values = {{KppOffset(40, 90, 90), -5}};
  for (int i = 0; i < 10000; ++i) values.push_back({KppOffset(40, 1000 + i % 400, i / 400), int16_t(1 + i % 7)});
  EvalFile after = Load(dir.File("b.bin"), values);
  auto c = std::make_unique<ScanComparison>();
  std::string error;
  ASSERT_TRUE(CompareKppSquare(before, after, 40, kMostNegativeFirst, c.get(), &error));
  EXPECT_EQ(c->changed, 10000 + 2);  // 700-3 went back to 0
  ASSERT_EQ(c->ranking.count, kRankingLength);
  EXPECT_EQ(c->ranking.terms[0].value, -10);
  EXPECT_EQ(c->ranking.terms[0].cell_a, 9);  // feature 90: a black pawn on 92
  EXPECT_EQ(c->ranking.terms[0].cell_a, c->ranking.terms[0].cell_b);
  EXPECT_EQ(c->ranking.terms[1].value, -9);
  for (int r = 2; r < kRankingLength; ++r) EXPECT_EQ(c->ranking.terms[r].value, 1) << r;
  ASSERT_TRUE(CompareKppSquare(before, after, 40, kMostPositiveFirst, c.get(), &error));
  EXPECT_EQ(c->ranking.terms[0].value, 7);
  EXPECT_FALSE(CompareKppSquare(before, after, 81, kByMagnitude, c.get(), &error));
  CloseEvalFile(&before);
  CloseEvalFile(&after);
}

}  // namespace
}  // namespace fvscope
