#include "eval/ranking.h"

#include <gtest/gtest.h>

#include <vector>


namespace fvscope {
namespace {

std::vector<int> Sorted(int mode, std::vector<int> values) {
  std::vector<RankEntry> entries;
  for (int v : values) entries.push_back({static_cast<int16_t>(v), 0, 0, 0});
  SortRanking(entries.data(), static_cast<int>(entries.size()), SortModeOf(mode));
  std::vector<int> out;
  for (const RankEntry& e : entries) out.push_back(e.value);
  return out;
}

TEST(SortRanking, ThreeOrders) {
  const std::vector<int> values = {2500, -3000, -2500, 100};
  const std::vector<int> by_magnitude = Sorted(0, values);
  EXPECT_EQ(by_magnitude[0], -3000);
  EXPECT_EQ(std::abs(by_magnitude[1]), 2500);
  EXPECT_EQ(std::abs(by_magnitude[2]), 2500);
  EXPECT_EQ(by_magnitude[3], 100);
  EXPECT_EQ(Sorted(1, values), (std::vector<int>{2500, 100, -2500, -3000}));
  for (int mode : {2, 5, -1}) EXPECT_EQ(Sorted(mode, values), (std::vector<int>{-3000, -2500, 100, 2500}));
}

TEST(SortRanking, MinusThirtyTwoThousandSevenHundredSixtyEight) {
  EXPECT_EQ(Sorted(0, {32767, -32768})[0], -32768);
  EXPECT_EQ(Sorted(1, {-32768, 32767, 0})[2], -32768);
  EXPECT_EQ(Sorted(2, {32767, -32768})[0], -32768);
  EXPECT_EQ(Sorted(0, {}).size(), 0u);
}

}  // namespace
}  // namespace fvscope
