#include "eval/table/table_scan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "eval/table/eval_file.h"
#include "test/eval_files.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// Scans king square k under mode; the scan is kept for the next call.
EvalFile loaded;

const TableScan* RunScan(int k, SortMode mode = kMostPositiveFirst, bool* ok = nullptr) {
  static auto scan = std::make_unique<TableScan>();
  std::string error;
  const bool scanned = ScanKppTable(loaded, k, mode, scan.get(), &error);
  if (ok != nullptr) *ok = scanned;
  return scan.get();
}

void Load(const std::string& path, const std::vector<std::pair<int64_t, int16_t>>& values) {
  WriteEvalFile(path, values);
  std::string error, warning;
  CloseEvalFile(&loaded);
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &loaded, &error, &warning)) << error;
}

TEST(TableScan, ThresholdsNamesAndPicturePositions) {
  ScratchDir dir;
  Load(dir.File("fv.bin"), {{KppOffset(76, 733, 85), 2417}, {KppOffset(76, 10, 5), 2000},
                            {KppOffset(76, 11, 5), -2000}, {KppOffset(76, 12, 5), 2001},
                            {KppOffset(76, 13, 5), -32768}, {KppOffset(76, 1300, 1300), -2001},
                            {KppOffset(76, 157, 0), 3000}, {KppOffset(76, 89, 0), -2500}});
  const TableScan& scan = *RunScan(76);
  EXPECT_EQ(scan.count, 6);
  ASSERT_EQ(scan.ranking.count, 6);
  const int values[] = {3000, 2417, 2001, -2001, -2500, -32768};
  for (int r = 0; r < 6; ++r) EXPECT_EQ(scan.ranking.terms[r].value, values[r]);
  // A gold on 58 and one rook in black's hand, beside the black king on 59.
  const RankedTerm& gold = scan.ranking.terms[1];
  EXPECT_EQ(gold.king, 76);
  EXPECT_EQ(gold.king_code, 8);
  EXPECT_EQ(gold.cell_a, 67);
  EXPECT_EQ(gold.code_a, 5);
  EXPECT_EQ(gold.cell_b, 87);
  EXPECT_EQ(gold.code_b, 1);
  Position drawn = ScanTermPosition(gold);
  EXPECT_EQ(drawn.cells[76], 8);
  EXPECT_EQ(drawn.cells[67], 5);
  EXPECT_EQ(drawn.cells[87], 1);
  // A black pawn on the king's own square replaces the king; count 0 stays 0.
  drawn = ScanTermPosition(scan.ranking.terms[0]);
  EXPECT_EQ(drawn.cells[76], 1);
  EXPECT_EQ(drawn.cells[81], 0);
  // White's rooks in hand (feature 89) decode with the count 2.
  EXPECT_EQ(scan.ranking.terms[4].cell_a, 94);
  EXPECT_EQ(scan.ranking.terms[4].code_a, 2);

  EXPECT_EQ(RunScan(76, kMostNegativeFirst)->ranking.terms[0].value, -32768);
  EXPECT_EQ(RunScan(0)->count, 0);
  EXPECT_EQ(RunScan(0)->ranking.count, 0);
  bool ok = true;
  RunScan(81, kByMagnitude, &ok);
  EXPECT_FALSE(ok);
}

TEST(TableScan, CollectionGrowsPastFourThousandNinetySix) {
  ScratchDir dir;
  std::vector<std::pair<int64_t, int16_t>> values;
  for (int i = 0; i < 5000; ++i) values.push_back({KppOffset(40, 1000 + i % 400, i / 400), int16_t(2001 + i)});
  Load(dir.File("fv.bin"), values);
  std::vector<RankEntry> entries;
  std::string error;
  ASSERT_TRUE(CollectKppEntries(loaded, 40, &entries, &error));
  EXPECT_EQ(entries.size(), 5000u);
  const TableScan& scan = *RunScan(40);
  EXPECT_EQ(scan.count, 5000);
  EXPECT_EQ(scan.ranking.terms[0].value, 7000);
  EXPECT_EQ(scan.ranking.count, 150);
}

}  // namespace
}  // namespace fvscope
