#include "eval/table_scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "eval/eval_file.h"
#include "shogi/settings.h"
#include "test/eval_files.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

struct Scan {
  bool ok;
  std::string out;
};

Scan RunScan(int k, RankedTerms* ranked) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  std::string error;
  const bool ok = ScanKppTable(k, out, ranked, &error);
  std::fclose(out);
  Scan scan{ok, text};
  std::free(text);
  return scan;
}

void Load(const std::string& path, const std::vector<std::pair<int64_t, int16_t>>& values) {
  WriteEvalFile(path, values);
  std::string error, warning;
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &error, &warning)) << error;
}

TEST(TableScan, ThresholdsNamesAndPicturePositions) {
  ScratchDir dir;
  Load(dir.File("fv.bin"), {{KppOffset(76, 733, 85), 2417}, {KppOffset(76, 10, 5), 2000},
                            {KppOffset(76, 11, 5), -2000}, {KppOffset(76, 12, 5), 2001},
                            {KppOffset(76, 13, 5), -32768}, {KppOffset(76, 1300, 1300), -2001},
                            {KppOffset(76, 157, 0), 3000}, {KppOffset(76, 89, 0), -2500}});
  static RankedTerms ranked;
  SortMode = 1;
  Scan scan = RunScan(76, &ranked);
  ASSERT_TRUE(scan.ok);
  EXPECT_EQ(scan.out,
            "rnum = 6\nRANKING:\n"
            "1: value = 3000  [+59OU]-[+59FU]-[+FU*]\n"
            "2: value = 2417  [+59OU]-[+58KI]-[+HI*]\n"
            "3: value = 2001  [+59OU]-[+FU*]-[+FU*]\n"
            "4: value = -2001  [+59OU]-[-58HI]-[-58HI]\n"
            "5: value = -2500  [+59OU]-[-HI*]-[+FU*]\n"
            "6: value = -32768  [+59OU]-[+FU*]-[+FU*]\n");
  ASSERT_EQ(ranked.count, 6);
  // A black pawn on the king's own square replaces the king; count 0 stays 0.
  EXPECT_EQ(ranked.terms[0].position.cells[76], 1);
  EXPECT_EQ(ranked.terms[0].position.cells[81], 0);
  const RankedTerm& gold = ranked.terms[1];
  EXPECT_EQ(gold.position.cells[76], 8);
  EXPECT_EQ(gold.position.cells[67], 5);
  EXPECT_EQ(gold.position.cells[87], 1);
  EXPECT_EQ(gold.king, 76);
  EXPECT_EQ(gold.cell_a, 67);
  EXPECT_EQ(gold.cell_b, 87);
  SortMode = 2;
  EXPECT_EQ(RunScan(76, &ranked).out.rfind("rnum = 6\nRANKING:\n1: value = -32768  [", 0), 0u);
  SortMode = 0;
  EXPECT_EQ(RunScan(0, &ranked).out, "rnum = 0\nRANKING:\n");
  EXPECT_EQ(ranked.count, 0);
  EXPECT_FALSE(RunScan(81, &ranked).ok);
}

TEST(TableScan, CollectionGrowsPastFourThousandNinetySix) {
  ScratchDir dir;
  std::vector<std::pair<int64_t, int16_t>> values;
  for (int i = 0; i < 5000; ++i) values.push_back({KppOffset(40, 1000 + i % 400, i / 400), int16_t(2001 + i)});
  Load(dir.File("fv.bin"), values);
  std::vector<RankEntry> entries;
  std::string error;
  ASSERT_TRUE(CollectKppEntries(40, &entries, &error));
  EXPECT_EQ(entries.size(), 5000u);
  static RankedTerms ranked;
  const Scan scan = RunScan(40, &ranked);
  EXPECT_EQ(scan.out.substr(0, 12), "rnum = 5000\n");
  EXPECT_NE(scan.out.find("\n1: value = 7000  "), std::string::npos);
  EXPECT_EQ(ranked.count, 150);
}

}  // namespace
}  // namespace fvscope
