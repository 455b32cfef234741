#include "eval/table/features.h"

#include <gtest/gtest.h>

namespace fvscope {
namespace {

TEST(DecodeFeature, Examples) {
  const int examples[][3] = {{0, 81, 0},     {89, 94, 2},    {90, 9, 1},     {161, 80, 1},
                             {162, 0, -1},   {233, 71, -1},  {234, 9, 2},    {377, 71, -2},
                             {378, 18, 3},   {503, 62, -3},  {666, 0, 5},    {1475, 80, -14},
                             {733, 67, 5},   {85, 87, 1}};
  for (const auto& e : examples) {
    DecodedFeature d;
    ASSERT_TRUE(DecodeFeature(e[0], &d));
    EXPECT_EQ(d.cell, e[1]) << e[0];
    EXPECT_EQ(d.value, e[2]) << e[0];
  }
  DecodedFeature d;
  EXPECT_FALSE(DecodeFeature(-1, &d));
  EXPECT_FALSE(DecodeFeature(1476, &d));
}

TEST(DecodeFeature, EveryFeatureEncodesBackToItself) {
  for (int f = 0; f < kKppFeatures; ++f) {
    DecodedFeature d;
    ASSERT_TRUE(DecodeFeature(f, &d));
    int encoded;
    if (d.cell >= kBlackHandBase) {
      const int h = (d.cell - kBlackHandBase) % kHandKinds;
      const bool own = d.cell < kWhiteHandBase;
      encoded = (own ? kKppOwnHandBase[h] : kKppOpponentHandBase[h]) + d.value;
      EXPECT_LE(d.value, kMaxHandCount[h]) << f;
    } else {
      const int kind = KindOf(d.value);
      encoded = (d.value > 0 ? kKppOwnBase[kind] : kKppOpponentBase[kind]) + d.cell;
    }
    EXPECT_EQ(encoded, f);
  }
}

}  // namespace
}  // namespace fvscope
