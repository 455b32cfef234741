// A working folder laid out as the demo's, on crafted inputs.
#ifndef FVSCOPE_TEST_DEMO_FOLDER_H_
#define FVSCOPE_TEST_DEMO_FOLDER_H_

#include <string>

#include "test/eval_files.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {

// A working folder "work" with the replay engine on the sample and an
// evaluation file of zeros but for two values that the sample's leaf reads
// (the black king on 59 with two pawns in hand, the white king on 51):
// KKP 320 and KPP 640 table units, with material +28 a value of +58.
struct DemoFolder {
  DemoFolder() {
    InstallWorkingFolder(dir, "work");
    path = dir.File("work");
    WriteEvalFile(path + "/fv.bin", {{KkpOffset(76, 4, 2), 320}, {KppOffset(76, 2, 2), 640}});
  }
  std::string Report() const { return ReadWholeFile(path + "/report.html"); }
  // Runs args with an engine that leaves game_record and search_log.
  ToolRun RunWithRecords(const std::string& game_record, const std::string& search_log,
                         const std::string& args = "") const {
    dir.Write("replay/game000.csa", game_record);
    dir.Write("replay/n000.log", search_log);
    return RunTool(path, args + " --engine=" +
                             ShellQuote(std::string(FVSCOPE_SOURCE_DIR) + "/tools/replay_engine " +
                                        dir.File("replay")));
  }
  // Runs args with an engine that leaves the sample's game record and search_log.
  ToolRun RunWithSearchLog(const std::string& search_log, const std::string& args = "") const {
    return RunWithRecords(SampleGameRecord(), search_log, args);
  }
  static std::string SampleGameRecord() {
    return ReadWholeFile(std::string(FVSCOPE_SOURCE_DIR) + "/samples/opening/game000.csa");
  }
  ScratchDir dir;
  std::string path;
};

}  // namespace fvscope

#endif  // FVSCOPE_TEST_DEMO_FOLDER_H_
