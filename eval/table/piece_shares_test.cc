#include "eval/table/piece_shares.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "test/eval_files.h"
#include "test/positions.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// The cell of the twin of cell in the colour-swapped position.
int TwinCell(int cell) {
  if (cell < kSquares) return FlipSquare(cell);
  return cell < kWhiteHandBase ? cell + kHandKinds : cell - kHandKinds;
}

TEST(PieceShares, AddUpMatchRowSumsAndNegateWhenColoursSwap) {
  ScratchDir dir;
  const std::string path = dir.File("fv.bin");
  WriteEvalFile(path, {});
  const std::vector<int> squares = {40, 76};
  std::mt19937 random(5);
  const int fd = open(path.c_str(), O_WRONLY);
  std::vector<int16_t> values(kKppTriangleValues);
  for (int k : squares) {
    for (int16_t& v : values) v = static_cast<int16_t>(static_cast<int>(random() % 8001) - 4000);
    ASSERT_EQ(pwrite(fd, values.data(), 2 * values.size(), KppOffset(k, 0, 0)),
              int64_t(2 * values.size()));
  }
  values.resize(kKkpValues);
  for (int16_t& v : values) v = static_cast<int16_t>(static_cast<int>(random() % 2001) - 1000);
  ASSERT_EQ(pwrite(fd, values.data(), 2 * kKkpValues, kKkpSectionOffset), 2 * kKkpValues);
  close(fd);
  EvalFile file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning)) << error;

  auto breakdown = std::make_unique<LeafBreakdown>();
  PieceShares shares, swapped;
  for (int round = 0; round < 100; ++round) {
    const Position p = RandomPosition(random, squares);
    ASSERT_TRUE(ComputePieceShares(p, file, &shares, &error)) << error;
    ASSERT_TRUE(BreakDownLeaf(p, file, breakdown.get(), &error)) << error;
    // Each share from whole rows: the entry's own KKP term, the sum of its
    // row of terms with every entry and its diagonal term once more, halved.
    const FeatureList& list = breakdown->features;
    std::map<int, int64_t> reference;
    const int bk = p.cells[kBlackKingCell], wk_viewed = FlipSquare(p.cells[kWhiteKingCell]);
    for (int i = 0; i < list.count; ++i) {
      int64_t black = KppValue(file, bk, list.black[i].feature, list.black[i].feature);
      int64_t white = KppValue(file, wk_viewed, list.white[i].feature, list.white[i].feature);
      for (int j = 0; j < list.count; ++j) {
        black += KppValue(file, bk, list.black[i].feature, list.black[j].feature);
        white += KppValue(file, wk_viewed, list.white[i].feature, list.white[j].feature);
      }
      reference[list.black[i].cell] += black + 2 * int64_t{list.kkp_by_cell[list.black[i].cell]};
      reference[list.white[i].cell] -= white;
    }
    ASSERT_EQ(shares.count, list.count);
    int64_t sum = 0;
    for (int i = 0; i < shares.count; ++i) {
      const PieceShare& s = shares.shares[i];
      ASSERT_EQ(s.half_units, reference[s.cell]) << round << " cell " << s.cell;
      sum += s.half_units;
    }
    ASSERT_EQ(sum, 2 * (int64_t{breakdown->kkp_sum} + breakdown->kpp_sum)) << round;

    ASSERT_TRUE(ComputePieceShares(ColourSwapped(p), file, &swapped, &error)) << error;
    std::map<int, int64_t> twin;
    for (int i = 0; i < swapped.count; ++i) twin[swapped.shares[i].cell] = swapped.shares[i].half_units;
    for (int i = 0; i < shares.count; ++i) {
      ASSERT_EQ(twin.at(TwinCell(shares.shares[i].cell)), -shares.shares[i].half_units) << round;
    }
  }
  CloseEvalFile(&file);
}

}  // namespace
}  // namespace fvscope
