#include "eval/table/breakdown.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "eval/table/eval_file.h"
#include "test/eval_files.h"
#include "test/positions.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// King squares whose KPP triangles are random in the test file.
const int kRandomSquares[] = {4, 40, 76, 80};

// The evaluation computed straight from the file's values: no feature lists,
// no expanded matrices.
struct Reference {
  std::vector<int16_t> triangles[kSquares];
  std::vector<int16_t> kkp;

  // The features seen by side's king, in no particular order.
  static std::vector<int> Features(const Position& p, Side side, bool kkp_space) {
    std::vector<int> features;
    const Side other = Opponent(side);
    for (int h = 0; h < kHandKinds; ++h) {
      const int own = p.cells[HandSlot(side, h)], theirs = p.cells[HandSlot(other, h)];
      if (kkp_space) {
        features.push_back(kKkpHandBase[h] + own);
      } else {
        features.push_back(kKppOwnHandBase[h] + own);
        features.push_back(kKppOpponentHandBase[h] + theirs);
      }
    }
    for (int s = 0; s < kSquares; ++s) {
      const int code = p.cells[s];
      if (code == 0 || KindOf(code) == kKing) continue;
      const bool own = (code > 0) == (side == kBlack);
      const int viewed = ViewedSquare(side, s);
      if (kkp_space && own) features.push_back(kKkpBase[KindOf(code)] + viewed);
      if (!kkp_space) features.push_back((own ? kKppOwnBase : kKppOpponentBase)[KindOf(code)] + viewed);
    }
    return features;
  }

  int32_t KppSide(const Position& p, Side side) const {
    const int k = ViewedSquare(side, p.cells[KingCell(side)]);
    const std::vector<int> f = Features(p, side, false);
    int32_t sum = 0;
    for (size_t i = 0; i < f.size(); ++i) {
      for (size_t j = 0; j <= i; ++j) {
        const int hi = std::max(f[i], f[j]), lo = std::min(f[i], f[j]);
        sum += triangles[k][TriangleIndex(hi, lo)];
      }
    }
    return sum;
  }

  int32_t KkpSide(const Position& p, Side side) const {
    const int k = ViewedSquare(side, p.cells[KingCell(side)]);
    const int k2 = ViewedSquare(side, p.cells[KingCell(Opponent(side))]);
    int32_t sum = 0;
    for (int g : Features(p, side, true)) sum += kkp[(k * kSquares + k2) * kKkpFeatures + g];
    return sum;
  }
};

class BreakdownTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    reference_ = new Reference;
    const std::string path = dir_->File("fv.bin");
    WriteEvalFile(path, {});
    std::mt19937 random(11);
    const int fd = open(path.c_str(), O_WRONLY);
    for (int k : kRandomSquares) {
      std::vector<int16_t>& t = reference_->triangles[k];
      t.resize(kKppTriangleValues);
      for (int16_t& v : t) v = static_cast<int16_t>(static_cast<int>(random() % 8001) - 4000);
      ASSERT_EQ(pwrite(fd, t.data(), 2 * t.size(), KppOffset(k, 0, 0)), int64_t(2 * t.size()));
    }
    reference_->kkp.resize(kKkpValues);
    for (int16_t& v : reference_->kkp) v = static_cast<int16_t>(static_cast<int>(random() % 2001) - 1000);
    ASSERT_EQ(pwrite(fd, reference_->kkp.data(), 2 * kKkpValues, kKkpSectionOffset), 2 * kKkpValues);
    close(fd);
    std::string error, warning;
    file_ = new EvalFile;
    ASSERT_TRUE(LoadEvalFile(path.c_str(), file_, &error, &warning)) << error;
  }
  static void TearDownTestSuite() {
    CloseEvalFile(file_);
    delete file_;
    delete reference_;
    delete dir_;
  }

  // A random position whose kings stand where the tables are random.
  static Position RandomPosition(std::mt19937& random) {
    return fvscope::RandomPosition(random, {std::begin(kRandomSquares), std::end(kRandomSquares)});
  }

  static ScratchDir* dir_;
  static Reference* reference_;
  static EvalFile* file_;
};

ScratchDir* BreakdownTest::dir_;
Reference* BreakdownTest::reference_;
EvalFile* BreakdownTest::file_;

TEST_F(BreakdownTest, MatchesTheReferenceOnRandomPositionsAndNegatesWhenColoursSwap) {
  std::mt19937 random(3);
  auto breakdown = std::make_unique<LeafBreakdown>();
  auto swapped = std::make_unique<LeafBreakdown>();
  for (int round = 0; round < 300; ++round) {
    const Position p = RandomPosition(random);
    std::string error;
    ASSERT_TRUE(BreakDownLeaf(p, *file_, breakdown.get(), &error)) << error;
    const int32_t kpp = reference_->KppSide(p, kBlack) - reference_->KppSide(p, kWhite);
    const int32_t kkp = reference_->KkpSide(p, kBlack) - reference_->KkpSide(p, kWhite);
    ASSERT_EQ(breakdown->kpp_sum, kpp) << round;
    ASSERT_EQ(breakdown->kkp_sum, kkp) << round;
    const int n = breakdown->features.count;
    ASSERT_EQ(breakdown->tally.entry_count, n * (n + 1));
    ASSERT_EQ(breakdown->value, (32 * MaterialSum(p) + kpp + kkp) / 32);

    ASSERT_TRUE(BreakDownLeaf(ColourSwapped(p), *file_, swapped.get(), &error)) << error;
    ASSERT_EQ(swapped->kpp_sum, -kpp);
    ASSERT_EQ(swapped->kkp_sum, -kkp);
    ASSERT_EQ(swapped->material, -breakdown->material);
    ASSERT_EQ(swapped->value, -breakdown->value);
  }
}

TEST_F(BreakdownTest, ListLengthsAndSharedGoldFeatures) {
  auto b = std::make_unique<LeafBreakdown>();
  std::string error;
  Position p = KingsOnly(76, 4);
  ASSERT_TRUE(BreakDownLeaf(p, *file_, b.get(), &error));
  EXPECT_EQ(b->features.count, 14);
  EXPECT_EQ(b->tally.entry_count, 210);
  const int hand_features[14] = {0, 19, 38, 43, 48, 53, 58, 63, 68, 73, 78, 81, 84, 87};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(b->features.black[i].feature, hand_features[i]);
    EXPECT_EQ(b->features.white[i].feature, hand_features[i]);
  }
  p.cells[30] = 9;
  FeatureList promoted, gold;
  const int32_t kkp_promoted = BuildFeatureList(p, *file_, &promoted);
  p.cells[30] = 5;
  EXPECT_EQ(BuildFeatureList(p, *file_, &gold), kkp_promoted);
  EXPECT_EQ(promoted.black[14].feature, gold.black[14].feature);
  EXPECT_EQ(promoted.white[14].feature, gold.white[14].feature);
  EXPECT_EQ(promoted.black[14].cell, 30);
}

TEST(CheckLeaf, RejectsWhatTheTablesCannotIndex) {
  std::string error;
  Position p = KingsOnly(76, 4);
  EXPECT_TRUE(CheckLeaf(p, &error));
  p.cells[kWhiteKingCell] = -1;
  EXPECT_FALSE(CheckLeaf(p, &error));
  EXPECT_NE(error.find("no white king"), std::string::npos);
  p = KingsOnly(76, 4);
  p.cells[88] = -1;  // a drop from an empty hand
  EXPECT_FALSE(CheckLeaf(p, &error));
  EXPECT_NE(error.find("white's hand holds -1 FU"), std::string::npos) << error;
  // The largest counts with features of their own pass; one more does not.
  for (int h = 0; h < kHandKinds; ++h) {
    for (Side side : kSides) {
      p = KingsOnly(76, 4);
      p.cells[HandSlot(side, h)] = static_cast<int8_t>(kMaxHandCount[h]);
      EXPECT_TRUE(CheckLeaf(p, &error)) << error;
      p.cells[HandSlot(side, h)] = static_cast<int8_t>(kMaxHandCount[h] + 1);
      EXPECT_FALSE(CheckLeaf(p, &error)) << h;
    }
  }
  EXPECT_EQ(error, "white's hand holds 3 HI, a count the tables have no feature for (0..2)");
  p = KingsOnly(76, 4);
  for (int s = 9; s < 9 + 39; ++s) p.cells[s] = 1;
  EXPECT_FALSE(CheckLeaf(p, &error));
  EXPECT_NE(error.find("39 pieces"), std::string::npos);
  p.cells[9] = 0;
  EXPECT_TRUE(CheckLeaf(p, &error));
}

TEST(BreakDownLeaf, SumsAddBeforeTheOneTruncatingDivision) {
  ScratchDir dir;
  const std::string path = dir.File("fv.bin");
  struct Case {
    int16_t kpp, kkp;
    int32_t value;
  } cases[] = {{31, 1, 1}, {-33, 0, -1}};
  for (const Case& c : cases) {
    WriteEvalFile(path, {{KppOffset(76, 0, 0), c.kpp}, {KkpOffset(76, 3, 0), c.kkp}});
    std::string error, warning;
    EvalFile file;
    ASSERT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning));
    auto breakdown = std::make_unique<LeafBreakdown>();
    ASSERT_TRUE(BreakDownLeaf(KingsOnly(76, 3), file, breakdown.get(), &error)) << error;
    CloseEvalFile(&file);
    EXPECT_EQ(breakdown->kkp_sum, c.kkp);
    EXPECT_EQ(breakdown->kpp_sum, c.kpp);
    EXPECT_EQ(breakdown->value, c.value);
  }
}

}  // namespace
}  // namespace fvscope
