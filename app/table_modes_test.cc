// Maps and censuses of the table through the real executable: the console,
// the JSON document and the pictures say the same; bad requests stop early.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "test/eval_files.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

struct TableFolder {
  TableFolder() {
    dir.Write("work/.keep", "");
    path = dir.File("work");
    // Black's king on 59 (square 76), a gold on 58 (67, feature 666 + 67):
    // a black pawn on 57 (58, feature 81 + 58) is worth 300, one held pawn 40.
    WriteEvalFile(path + "/fv.bin", {{KppOffset(76, 733, 139), 300},
                                     {KppOffset(76, 733, 1), 40},
                                     {KppOffset(76, 5, 5), 32767},
                                     {KkpOffset(76, 4, 81 + 58), -50}});
    WriteEvalFile(path + "/fv2.bin", {{KppOffset(76, 733, 139), 310}});
  }
  ToolRun Run(const std::string& args) const { return RunTool(path, args); }
  std::string Read(const std::string& name) const { return ReadWholeFile(path + "/" + name); }
  ScratchDir dir;
  std::string path;
};

TEST(TableModes, AMapSaysTheSameOnTheConsoleAndInTheDocument) {
  TableFolder folder;
  ToolRun run = folder.Run("--map=+59OU:+58KI --json=m.json --html=m.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("MAP: +59OU +58KI (kpp)\n+FU\n", 0), 0u) << run.out;
  // The pawn grid's sixth row (rank 7) holds 57 in its fifth column.
  std::istringstream lines(run.out);
  std::string line;
  for (int n = 0; n < 9; ++n) std::getline(lines, line);
  EXPECT_EQ(line, "     0      0      0      0    300      0      0      0      0");
  EXPECT_NE(run.out.find("\n+FU*: 0 40 0"), std::string::npos);
  const auto document = nlohmann::json::parse(folder.Read("m.json"));
  EXPECT_EQ(document["mode"], "map");
  EXPECT_EQ(document["map"]["table"], "kpp");
  EXPECT_EQ(document["map"]["grids"][0]["piece"], "+FU");
  EXPECT_EQ(document["map"]["grids"][0]["values"][58], 300);
  EXPECT_TRUE(document["map"]["grids"][0]["values"][0].is_null());  // a pawn on rank 1
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/map.png"));

  run = folder.Run("--map=+59OU:+58KI --compare=fv2.bin --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto compared = nlohmann::json::parse(folder.Read("c.json"));
  EXPECT_EQ(compared["map"]["grids"][0]["values"][58], 10);
  EXPECT_EQ(compared["map"]["grids"][0]["before"][58], 300);
  EXPECT_EQ(compared["map"]["grids"][0]["after"][58], 310);

  run = folder.Run("--map=+59OU:-41OU");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("MAP: +59OU -41OU (kkp)\n", 0), 0u) << run.out;
}

TEST(TableModes, ACensusCountsTheEntriesOfEveryKingSquare) {
  TableFolder folder;
  const ToolRun run = folder.Run("--census --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\n76  59  kpp nonzero = 3  mean = 0.03  max = 32767  saturated = 1  "
                         "kkp nonzero = 1  mean = 0.00  max = 50  saturated = 0\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\n 0  91  kpp nonzero = 0  mean = 0.00  max = 0  saturated = 0"),
            std::string::npos);
  const auto document = nlohmann::json::parse(folder.Read("c.json"));
  EXPECT_EQ(document["census"]["kpp"][76]["saturated"], 1);
  EXPECT_EQ(document["census"]["total"]["kpp"]["nonzero"], 3);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/census.png"));
}

TEST(TableModes, BadRequestsStopBeforeAnythingIsDrawn) {
  TableFolder folder;
  const struct {
    const char* args;
    int status;
    const char* says;
  } cases[] = {
      {"--map=+59OU", 2, "--map"},
      {"--map=+59OU:+59KI", 2, "--map"},
      {"--map=+59OU:-FU*19", 2, "18"},
      {"--map=+59OU:+58KI 1", 2, "sort mode"},
      {"--census --fv=missing.bin", 1, "missing.bin"},
  };
  for (const auto& c : cases) {
    const ToolRun run = folder.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.path + "/log/map.png")) << c.args;
  }
}

}  // namespace
}  // namespace fvscope
