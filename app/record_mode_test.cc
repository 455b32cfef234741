// A record under two files: every ply's figures against the single-position
// comparison of that ply, and the ranking of changes against the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "render/image_file.h"
#include "test/demo_folder.h"
#include "test/eval_files.h"
#include "test/run_tool.h"

namespace fvscope {
namespace {

TEST(RecordComparison, EveryPlyAgreesWithThatPositionCompared) {
  DemoFolder demo;
  WriteRandomStartFile(demo.path + "/fv.bin", 11);
  WriteRandomStartFile(demo.path + "/fv2.bin", 12);
  const std::string moves = "7g7f 3c3d 8h2b+ 3a2b B*4e 2b3c 4e3d 4a3b";
  const ToolRun run = RunTool(demo.path, "'--game=startpos moves " + moves +
                                             "' --compare=fv2.bin --json=record.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(demo.path + "/record.json"));
  ASSERT_EQ(record["plies"].size(), 9u);
  cv::Mat chart;  // before the runs below clear log/
  std::string error;
  ASSERT_TRUE(ReadImageFile(demo.path + "/log/game.png", &chart, &error)) << error;
  EXPECT_EQ(chart.cols, 960);
  std::istringstream text(run.out);
  std::string line;
  std::getline(text, line);
  EXPECT_EQ(line.substr(line.size() - 14), "second  change");
  std::vector<std::pair<int, int>> changes;  // (-|change|, ply): the ranking's order
  for (int ply = 0; ply <= 8; ++ply) {
    const ToolRun single = RunTool(demo.path, "'--position=startpos moves " + moves + "' --ply=" +
                                                  std::to_string(ply) + " --compare=fv2.bin --json=-");
    ASSERT_EQ(single.status, 0) << single.err;
    const nlohmann::json d = nlohmann::json::parse(single.out);
    const nlohmann::json& p = record["plies"][ply];
    for (const char* figure : {"kkp", "kpp", "value"}) {
      EXPECT_EQ(p[figure], d["compare"][figure][0]) << figure << " at ply " << ply;
      EXPECT_EQ(p["compare"][figure], d["compare"][figure][1]) << figure << " at ply " << ply;
    }
    const int before = d["compare"]["value"][0], after = d["compare"]["value"][1];
    EXPECT_EQ(p["compare"]["change"], after - before);
    changes.push_back({-std::abs(after - before), ply});
    ASSERT_TRUE(std::getline(text, line));
    char tail[64];
    std::snprintf(tail, sizeof tail, " %7d %7d %+7d", before, after, after - before);
    EXPECT_EQ(line.substr(line.size() - std::string(tail).size()), tail) << line;
  }
  std::sort(changes.begin(), changes.end());
  ASSERT_TRUE(std::getline(text, line));
  EXPECT_EQ(line, "RANKING OF CHANGES ALONG THE GAME:");
  const nlohmann::json& ranking = record["compare"]["ranking"];
  ASSERT_EQ(ranking.size(), 9u);
  for (size_t r = 0; r < changes.size(); ++r) {
    const int ply = changes[r].second;
    const nlohmann::json& p = record["plies"][ply];
    EXPECT_EQ(ranking[r]["ply"], ply);
    ASSERT_TRUE(std::getline(text, line));
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "%d: ply = %d  change = %+.1f  before = %+.1f  after = %+.1f  %s", int(r) + 1, ply,
                  double(p["compare"]["change"]), double(p["value"]), double(p["compare"]["value"]),
                  ply == 0 ? "*" : ranking[r]["move"].get<std::string>().c_str());
    EXPECT_EQ(line, expected);
  }
}

TEST(RecordComparison, BadInputIsRefusedAsWithoutTheSecondFile) {
  DemoFolder demo;
  WriteRandomStartFile(demo.path + "/fv.bin", 11);
  std::FILE* small = std::fopen((demo.path + "/small.bin").c_str(), "wb");
  std::fputs("short", small);
  std::fclose(small);
  ToolRun run = RunTool(demo.path, "'--game=startpos moves 7g7f 7g7f' --compare=small.bin");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("small.bin"), std::string::npos) << run.err;
  WriteRandomStartFile(demo.path + "/fv2.bin", 12);
  run = RunTool(demo.path, "'--game=startpos moves 7g7f 7g7f' --compare=fv2.bin");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("7g7f"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace fvscope
