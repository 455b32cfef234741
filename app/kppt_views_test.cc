// A KPPT set's table views through the real executable: the map against
// the set's entries, the scan, the census with both parts, and bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "eval/kppt/kppt_file.h"
#include "test/eval_files.h"
#include "test/kppt_folder.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// A working folder whose runs read the random KPPT set, with a zero set of
// another layout, fv.bin and nn.bin.
struct KpptFolder : KpptWorkFolder {
  KpptFolder()
      : KpptWorkFolder("--fv=" + ShellQuote(RandomKpptSet()) + " "), set_path(RandomKpptSet()) {
    std::string error;
    EXPECT_TRUE(LoadKpptSet(set_path, "", &set, &error)) << error;
    const KpptLayout other = set.layout == KpptLayout::kKppKkpt ? KpptLayout::kKppt32 : KpptLayout::kKppKkpt;
    WriteSparseKppt(path + "/other", other, {});
    WriteEvalFile(path + "/fv.bin", {{KppOffset(76, 733, 139), 300}});
    EXPECT_TRUE(WriteNetworkFile(path + "/nn.bin", RandomNetwork({256, 32, 32}, 4)));
  }
  ~KpptFolder() { CloseKpptSet(&set); }
  std::string set_path;
  KpptSet set;
};

TEST(KpptViews, MapScanAndCensusShowTheSetsEntries) {
  KpptFolder folder;
  const KpptSet& set = folder.set;
  // White's king on 51 and a black silver on 37, the turn part: KPP at
  // Inv(5a) from white's view, the silver an enemy silver at Inv(3g).
  ToolRun run = folder.Run("--map=-51OU:+37GI --part=turn --json=m.json --html=m.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("MAP: -51OU +37GI (KPPT kpp, turn)\n+FU\n", 0), 0u) << run.out;
  const int k = 80 - FeatureSquare(SquareOf(5, 1));
  const int silver = 657 + 80 - FeatureSquare(SquareOf(3, 7));
  const auto map = folder.Json("m.json")["map"];
  EXPECT_EQ(map["slab"], k);
  EXPECT_EQ(map["piece_feature"], silver);
  // Grid -KA (white's bishop: a friend bishop from white's view) on 22.
  const auto& grid = map["grids"][9 + 5];
  EXPECT_EQ(grid["piece"], "-KA");
  const int bishop = 900 + 80 - FeatureSquare(SquareOf(2, 2));
  EXPECT_EQ(grid["features"][SquareOf(2, 2)], bishop);
  EXPECT_EQ(grid["values"][SquareOf(2, 2)], KppPair(set, k, silver, bishop).turn);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/map.png"));
  EXPECT_NE(ReadWholeFile(folder.path + "/m.html").find("KPPT KPP, turn part"), std::string::npos);

  // The scan of 59: its largest board parts, each pair once, both parts shown.
  const std::string king = std::to_string(SquareOf(5, 9));
  run = folder.Run("1 " + king + " --json=s.json --html=s.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("KPPT SCAN: king square " + king + " (+59OU)  part = board  pairs = ", 0), 0u)
      << run.out;
  const auto scan = folder.Json("s.json");
  EXPECT_EQ(scan["part"], "board");
  ASSERT_EQ(scan["ranking"].size(), 150u);
  int32_t largest = INT32_MIN;
  const int bk = FeatureSquare(SquareOf(5, 9));
  for (int a = 1; a < kPieceFeatures; ++a) {
    for (int b = 1; b < a; ++b) largest = std::max(largest, KppPair(set, bk, a, b).board);
  }
  EXPECT_EQ(scan["ranking"][0]["value"], largest);
  EXPECT_EQ(scan["ranking"][0]["board"], largest);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/rank150.png"));

  // The census: both parts of every king square.
  run = folder.Run("--census --json=c.json --html=c.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("CENSUS: KPPT set (", 0), 0u) << run.out;
  const auto census = folder.Json("c.json")["census"];
  ASSERT_EQ(census["kings"].size(), 81u);
  int64_t nonzero = 0;
  for (int a = 0; a < kPieceFeatures; ++a) {
    for (int b = 0; b < kPieceFeatures; ++b) nonzero += KppPair(set, bk, a, b).board != 0;
  }
  EXPECT_EQ(census["kings"][SquareOf(5, 9)]["square"], "59");
  EXPECT_EQ(census["kings"][SquareOf(5, 9)]["kpp"]["board"]["nonzero"], nonzero);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/census.png"));

  // Compared with itself: nothing changed.
  run = folder.Run("--census --compare=" + ShellQuote(folder.set_path) + " --json=cc.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(folder.Json("cc.json")["compare"]["total"]["kpp"]["board"]["changed"], 0);
}

TEST(KpptViews, BadInputIsRefused) {
  KpptFolder folder;
  const struct {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"--fv=fv.bin --part=turn 0 40", 2, "fv.bin: a table (fv.bin); --part chooses a part of a KPPT set's entries"},
      {"--fv=nn.bin --part=board --map=+59OU", 2, "nn.bin: a network; --part"},
      {"--compare=fv.bin --part=board --position=startpos", 2, "fv.bin: a table (fv.bin); --part"},
      {"--part=side 0 40", 2, "--part takes board or turn, not \"side\""},
      {"--compare=other --census", 2, "--census --compare takes two KPPT sets of one layout"},
      {"--compare=other --map=+59OU:+58KI", 2, "--map with --compare takes two KPPT sets of one layout"},
      {"--compare=fv.bin --census", 2, "--census --compare takes two files of one family"},
      {"--compare=nn.bin --map=+59OU:+58KI", 2, "is a KPPT set, nn.bin a network"},
      {"--compare=fv.bin 0 40", 2, "a table scan with --compare takes two files of one family"},
      {"--map=+59OU:+FU*0", 2, "a held piece is counted 1 to"},
      {"--map=+59OU:+58KI --neuron=3", 2, "is a KPPT set"},
  };
  for (const auto& c : cases) {
    // A case naming its own --fv replaces the set's.
    const ToolRun run = c.args.rfind("--fv=", 0) == 0 ? RunTool(folder.path, c.args) : folder.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
  }
}

}  // namespace
}  // namespace fvscope
