// End-to-end runs of the real executable on the sample game.
#include "app/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sys/stat.h>
#include <sstream>
#include <string>

#include "render/image_file.h"
#include "report/texts.h"
#include "test/demo_folder.h"
#include "test/eval_files.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

namespace fs = std::filesystem;

const char kSampleInput[] =
    "   9  8  7  6  5  4  3  2  1\n"
    "P1-KY-KE-GI-KI-OU-KI-GI-KE-KY\n"
    "P2 * -HI *  *  *  *  * -KA * \n"
    "P3-FU * -FU-FU-FU-FU * -FU-FU\n"
    "P4 *  *  *  *  *  * -FU *  * \n"
    "P5 * -FU *  *  *  *  * +FU * \n"
    "P6 *  * +FU *  *  *  *  *  * \n"
    "P7+FU+FU * +FU+FU+FU+FU * +FU\n"
    "P8 * +KA *  *  *  *  * +HI * \n"
    "P9+KY+KE+GI+KI+OU+KI+GI+KE+KY\n"
    "P+\n"
    "P-\n";

const char kSamplePv[] =
    "+8822UM\n-3122GI\n+7988GI\n-7162GI\n+3948GI\n-0055KA\n+2524FU\n-2324FU\n"
    "+2824HI\n-0023FU\n+2434HI\n-5533KA\n+3433RY\n-2133KE\n+0055KA\n";

const char kSampleLeaf[] =
    "   9  8  7  6  5  4  3  2  1\n"
    "P1-KY-KE * -KI-OU-KI *  * -KY\n"
    "P2 * -HI * -GI *  *  * -GI * \n"
    "P3-FU * -FU-FU-FU-FU-KE-FU-FU\n"
    "P4 *  *  *  *  *  *  *  *  * \n"
    "P5 * -FU *  * +KA *  *  *  * \n"
    "P6 *  * +FU *  *  *  *  *  * \n"
    "P7+FU+FU * +FU+FU+FU+FU * +FU\n"
    "P8 * +GI *  *  * +GI *  *  * \n"
    "P9+KY+KE * +KI+OU+KI * +KE+KY\n"
    "P+00KA00FU00FU\n"
    "P-00HI\n";

std::string PictureListAndTail() {
  std::string list;
  for (int i = 1; i <= 150; ++i) {
    char item[64];
    std::snprintf(item, sizeof item, "<img src=./log/rank%03d.png width=320> ", i);
    list += item;
    if (i % 5 == 0) list += "<br><br>";
  }
  return list + "</BODY></HTML>";
}

// The report of the sample, in its middle the tally that WriteTally writes.
std::string GameReport(const std::string& caption, const std::string& pv) {
  return "<HTML><BODY>\n" + caption +
         "<br><img src=./log/init.png width=320>  <img src=./log/leaf.png width=320><br>PV=" + pv +
         "<br><br>";
}

std::string ValueLines() {
  return "evaluation value (material+position)=+58<br><br>material=+28<br>\n\n\n";
}


TEST(GameAnalysis, SampleGivesTheBoardsThePvAndTheReport) {
  for (const char* args : {"", "2", "0 -1", "1 40 3"}) {
    DemoFolder demo;
    const ToolRun run = RunTool(demo.path, args);
    EXPECT_EQ(run.status, 0) << args;
    EXPECT_EQ(run.err, "") << args;
    const std::string boards = std::string(kSampleInput) + "\nPV=" + kSamplePv + "\n\n" + kSampleLeaf;
    EXPECT_EQ(run.out.substr(0, boards.size()), boards) << args;
    EXPECT_EQ(run.out.substr(boards.size(), 15), "KKP=320\nKPP=20\n") << args;
    const std::string report = demo.Report();
    const std::string head = GameReport(JapaneseTextCp932(kTextInputToLeaf), kSamplePv);
    EXPECT_EQ(report.substr(0, head.size()), head) << args;
    EXPECT_NE(report.find("<br>" + ValueLines() + PictureListAndTail()), std::string::npos) << args;
  }
}

TEST(GameAnalysis, Utf8AndOptionsInAnyPlace) {
  DemoFolder demo;
  const ToolRun run = RunTool(demo.dir.path(), "--utf8 -C work");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(demo.Report().rfind(GameReport("入力局面->末端局面", kSamplePv) + "先手有利特徴数=", 0), 0u);
}

TEST(GameAnalysis, WhiteToMoveFirst) {
  DemoFolder demo;
  const ToolRun run = demo.RunWithSearchLog("  8      -10    1.-4132KI  2.+2524FU\npruning\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("\nPV=-4132KI\n+2524FU\n\n\n"), std::string::npos) << run.out;
}

TEST(TableScan, RunsNoEngineButClearsTheLogAndListsThePictures) {
  DemoFolder demo;
  demo.dir.Write("work/log/rank001.png", "old");
  const ToolRun run = RunTool(demo.path, "1 40");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(fs::exists(demo.path + "/log/rank001.png"));
  EXPECT_FALSE(fs::exists(demo.path + "/log/game000.csa"));
  EXPECT_EQ(run.out, "rnum = 0\nRANKING:\n");
  EXPECT_EQ(demo.Report(), "<HTML><BODY>\n" + PictureListAndTail());
}

TEST(GameAnalysis, RanksTheLeafTermsAndDrawsEveryPicture) {
  DemoFolder demo;
  const ToolRun run = RunTool(demo.path, "");
  for (const char* name : {"init.png", "leaf.png", "rank001.png", "rank150.png"}) {
    EXPECT_TRUE(fs::is_regular_file(demo.path + "/log/" + name)) << name;
  }
  EXPECT_FALSE(fs::exists(demo.path + "/log/rank151.png"));
  EXPECT_NE(run.out.find("RANKING:\n1: value = 640  [+59OU]-[+FU*]-[+FU*]\n2: value = 0  "),
            std::string::npos);
  EXPECT_NE(run.out.find("\n150: value = 0  "), std::string::npos);
  EXPECT_EQ(run.out.find("\n151: "), std::string::npos);
}

// Every file a run leaves in its working folder, by name.
std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename() != "fv.bin") {
      files[fs::relative(entry.path(), folder).string()] = ReadWholeFile(entry.path().string());
    }
  }
  return files;
}

TEST(Pictures, TheSameFilesOnOneThreadAsOnFour) {
  for (const char* mode : {"", "1 76"}) {
    DemoFolder one, four;
    for (const DemoFolder* demo : {&one, &four}) {
      WriteEvalFile(demo->path + "/fv.bin", {{KppOffset(76, 2, 2), 640}, {KppOffset(76, 733, 85), 2417},
                                             {KppOffset(76, 1300, 90), -3000}});
    }
    const ToolRun serial = RunTool(one.path, std::string("--jobs=1 ") + mode);
    const ToolRun parallel = RunTool(four.path, std::string("--jobs=4 ") + mode);
    EXPECT_EQ(serial.status, 0);
    EXPECT_EQ(serial.out, parallel.out);
    EXPECT_EQ(serial.err, parallel.err);
    const auto serial_files = FolderFiles(one.path), parallel_files = FolderFiles(four.path);
    EXPECT_EQ(serial_files.size(), parallel_files.size());
    EXPECT_TRUE(serial_files.count("log/rank002.png")) << mode;
    for (const auto& [name, bytes] : serial_files) {
      EXPECT_TRUE(parallel_files.count(name) && parallel_files.at(name) == bytes) << name;
    }
  }
  DemoFolder demo;
  for (const char* bad : {"--jobs=0", "--jobs=x", "--jobs=", "--jobs=1000"}) {
    EXPECT_EQ(RunTool(demo.path, bad).status, 2) << bad;
  }
}

TEST(EvalFileFailures, MissingShortAndLongFiles) {
  DemoFolder demo;
  fs::remove(demo.path + "/fv.bin");
  ToolRun run = RunTool(demo.path, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "fvscope: ./fv.bin: cannot open (No such file or directory)\n");
  EXPECT_EQ(demo.Report(), "<HTML><BODY>\n");

  demo.dir.Write("work/fv.bin", std::string(100, '\0'));
  run = RunTool(demo.path, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "fvscope: warning: ./fv.bin: 100 bytes, expected 186268248; the missing "
                     "values are taken as 0\n");

  WriteEvalFile(demo.path + "/fv.bin", {}, kEvalFileBytes + 1);
  run = RunTool(demo.path, "1 40");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("186268249 bytes"), std::string::npos);
}

TEST(TableScan, SquaresOutsideTheBoardStopBeforeTheReport) {
  DemoFolder demo;
  for (const char* args : {"0 81", "1 -2", "0 1000"}) {
    const ToolRun run = RunTool(demo.path, args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is outside 0..80"), std::string::npos);
    EXPECT_FALSE(fs::exists(demo.path + "/report.html"));
  }
}

TEST(Failures, PiecePicturesMissingOrPicturesThatCannotBeSaved) {
  DemoFolder demo;
  fs::remove(demo.path + "/img/HI.jpg");
  ToolRun run = RunTool(demo.path, "1 40");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "fvscope: ./img/HI.jpg: missing or not a picture that decodes\n");

  DemoFolder blocked;
  fs::create_directories(blocked.path + "/log/rank007.png");
  fs::create_directories(blocked.path + "/log/leaf.png");
  run = RunTool(blocked.path, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "fvscope: warning: ./log/leaf.png: cannot save the picture\n"
                     "fvscope: warning: ./log/rank007.png: cannot save the picture\n");
  EXPECT_TRUE(fs::is_regular_file(blocked.path + "/log/rank008.png"));
}

TEST(Failures, AHandTheTablesCannotIndexStopsWithExitOne) {
  DemoFolder demo;
  std::string record = DemoFolder::SampleGameRecord();
  record.replace(record.find("P-\n"), 3, "P-00HI00HI00HI\n");
  const ToolRun run = demo.RunWithRecords(record, "  8      +1     1.+2524FU\npruning\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "fvscope: warning: ./log/game000.csa: 5 rooks on the board and in hand; the set "
            "holds 2\n"
            "fvscope: ./log/game000.csa: white's hand holds 3 HI, a count the tables have no "
            "feature for (0..2)\n");
}

TEST(Failures, AClosedStandardOutputStopsNothing) {
  DemoFolder demo;
  ASSERT_EQ(mkfifo((demo.path + "/reader_gone").c_str(), 0600), 0);
  for (const char* json : {"--json=out.json", "--json=-"}) {
    // The reader of the pipe closes it, then says so through a fifo; only then
    // does the tool start.
    const std::string command = "cd " + ShellQuote(demo.path) + " && (read -r _ <reader_gone; " +
                                ShellQuote(FVSCOPE_BINARY) + " " + json +
                                " 2>err; echo $? >status) | (exec <&-; echo >reader_gone)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(demo.path + "/status"), "0\n") << json;
    EXPECT_EQ(ReadWholeFile(demo.path + "/err"), "") << json;
    EXPECT_EQ(demo.Report().substr(demo.Report().size() - 14), "</BODY></HTML>");
    EXPECT_TRUE(fs::is_regular_file(demo.path + "/log/rank150.png"));
  }
  EXPECT_EQ(nlohmann::json::parse(ReadWholeFile(demo.path + "/out.json"))["kkp"], 320);
}

TEST(Failures, NoGameRecordStopsWithExitOne) {
  DemoFolder demo;
  fs::remove(demo.path + "/engine");
  const ToolRun run = RunTool(demo.path, "");
  EXPECT_EQ(run.status, 1);
  // One warning for the engine, one line for the missing record.
  EXPECT_NE(run.err.find("warning: engine command \"./engine\" exited with status 127"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("./log/game000.csa: cannot open (No such file or directory): "
                         "the engine left no game record\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(demo.Report(), "<HTML><BODY>\n");
}

TEST(Failures, AFailingEngineIsAWarningOnly) {
  DemoFolder demo;
  const ToolRun run = RunTool(demo.path, "--engine='./engine; exit 4'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "fvscope: warning: engine command \"./engine; exit 4\" exited with status 4\n");
  EXPECT_NE(run.out.find(kSampleLeaf), std::string::npos);
}

TEST(Failures, ABadMoveEndsThePvWithAWarning) {
  DemoFolder demo;
  const ToolRun run =
      demo.RunWithSearchLog("  8      +1     1.+8822UM  2.-3102GI  3.+7988GI\npruning\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "fvscope: warning: ./log/n000.log: move 2 \"3102GI\" is no move an engine writes; "
            "the PV ends before it\n");
  EXPECT_NE(run.out.find("\nPV=+8822UM\n\n\n"), std::string::npos);
}

TEST(Failures, UnwritableReportOrLogAndUnknownOptions) {
  DemoFolder demo;
  fs::create_directory(demo.path + "/report.html");
  ToolRun run = RunTool(demo.path, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("./report.html: cannot create"), std::string::npos) << run.err;

  DemoFolder file_log;
  file_log.dir.Write("work/log", "a file");
  run = RunTool(file_log.path, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("./log is not a folder"), std::string::npos) << run.err;

  run = RunTool(demo.path, "--colour");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "fvscope: unknown option --colour (see fvscope --help)\n");

  run = RunTool(demo.path, "-C /nonexistent/folder");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("/nonexistent/folder"), std::string::npos);
}

// The lines of text from the first line that starts with marker to the end.
std::vector<std::string> LinesAfter(const std::string& text, const std::string& marker) {
  std::vector<std::string> lines;
  std::istringstream in(text.substr(text.find(marker)));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The ranking of a document, printed as the console prints it.
std::vector<std::string> RankingLines(const nlohmann::json& document) {
  std::vector<std::string> lines = {"RANKING:"};
  for (const auto& e : document["ranking"]) {
    lines.push_back(std::to_string(e["rank"].get<int>()) + ": value = " +
                    std::to_string(e["value"].get<int>()) + "  [" + e["king"].get<std::string>() +
                    "]-[" + e["a"].get<std::string>() + "]-[" + e["b"].get<std::string>() + "]");
  }
  return lines;
}

TEST(JsonDocument, SampleGameHoldsWhatTheConsoleShows) {
  DemoFolder demo;
  const ToolRun run = RunTool(demo.path, "--json=out.json 1");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = ReadWholeFile(demo.path + "/out.json");
  const nlohmann::json d = nlohmann::json::parse(text);
  EXPECT_EQ(d["format"], "fvscope");
  EXPECT_EQ(d["version"], 1);
  EXPECT_EQ(d["mode"], "game");
  EXPECT_EQ(d["sort_mode"], 1);
  EXPECT_EQ(d["fv"], "./fv.bin");
  EXPECT_TRUE(d["warnings"].empty());
  EXPECT_EQ(d["input"]["sfen"], "lnsgkgsnl/1r5b1/p1pppp1pp/6p2/1p5P1/2P6/PP1PPPP1P/1B5R1/LNSGKGSNL b - 1");
  EXPECT_EQ(d["input"]["side"], "black");
  std::string pv;
  for (const auto& move : d["pv"]) pv += move["csa"].get<std::string>() + "\n";
  EXPECT_EQ(pv, kSamplePv);
  EXPECT_EQ(d["pv"][0]["usi"], "8h2b+");
  EXPECT_EQ(d["pv"][5]["usi"], "B*5e");
  EXPECT_EQ(d["pv"][5]["side"], "white");
  EXPECT_EQ(d["leaf"]["sfen"], "ln1gkg2l/1r1s3s1/p1ppppnpp/9/1p2B4/2P6/PP1PPPP1P/1S3S3/LN1GKG1NL w B2Pr 1");
  EXPECT_EQ(d["kkp"], 320);
  EXPECT_EQ(d["kpp"], 640);
  EXPECT_EQ(d["material"], 28);
  EXPECT_EQ(d["value"], 58);
  // 14 hand entries and 34 pieces on each side: 48 * 49 / 2 pairs, two terms each.
  EXPECT_EQ(d["tally"]["black"]["count"].get<int>() + d["tally"]["white"]["count"].get<int>(), 2352);
  EXPECT_EQ(d["tally"]["black"]["sum"], 640);
  EXPECT_EQ(d["tally"]["black"]["histogram"], nlohmann::json({0, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(RankingLines(d), LinesAfter(run.out, "RANKING:"));
  EXPECT_EQ(d["ranking"][149]["picture"], "log/rank150.png");
  EXPECT_TRUE(fs::is_regular_file(demo.path + "/log/rank150.png"));
  EXPECT_FALSE(fs::exists(demo.path + "/out.json.tmp"));

  // On stdout the document takes the place of the text.
  const ToolRun to_stdout = RunTool(demo.path, "--json=- 1");
  EXPECT_EQ(to_stdout.status, 0);
  EXPECT_EQ(to_stdout.out, text);
}

TEST(JsonDocument, ScanAndWarnings) {
  DemoFolder demo;
  WriteEvalFile(demo.path + "/fv.bin", {{KppOffset(76, 733, 85), 2417}, {KppOffset(76, 1300, 90), -3000}});
  ToolRun run = RunTool(demo.path, "--json=scan.json 2 76");
  ASSERT_EQ(run.status, 0) << run.err;
  nlohmann::json d = nlohmann::json::parse(ReadWholeFile(demo.path + "/scan.json"));
  EXPECT_EQ(d["mode"], "scan");
  EXPECT_EQ(d["sort_mode"], 2);
  EXPECT_EQ(d["king_square"], 76);
  EXPECT_EQ(d["count"], 2);
  EXPECT_EQ(run.out.substr(0, 9), "rnum = 2\n");
  EXPECT_EQ(RankingLines(d), LinesAfter(run.out, "RANKING:"));

  run = demo.RunWithSearchLog("  8      +1     1.+8822UM  2.-3102GI\npruning\n", "--json=game.json");
  ASSERT_EQ(run.status, 0) << run.err;
  d = nlohmann::json::parse(ReadWholeFile(demo.path + "/game.json"));
  EXPECT_EQ(d["warnings"].size(), 1u);
  EXPECT_EQ(d["warnings"][0].get<std::string>() + "\n", run.err);
  EXPECT_EQ(d["pv"].size(), 1u);
}

TEST(JsonDocument, NothingHalfWritten) {
  DemoFolder demo;
  ToolRun run = RunTool(demo.path, "--json=missing/out.json");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "fvscope: missing/out.json: cannot create (No such file or directory)\n");
  EXPECT_FALSE(fs::exists(demo.path + "/report.html"));

  fs::remove(demo.path + "/fv.bin");
  run = RunTool(demo.path, "--json=out.json");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(demo.path + "/out.json"));
  EXPECT_FALSE(fs::exists(demo.path + "/out.json.tmp"));
  EXPECT_EQ(RunTool(demo.path, "--json=").status, 2);
}

const char kSampleSfen[] = "lnsgkgsnl/1r5b1/p1pppp1pp/6p2/1p5P1/2P6/PP1PPPP1P/1B5R1/LNSGKGSNL b - 1";

TEST(PositionMode, TheSameTextAndReportAsAnEngineRunOfThatPositionAndPv) {
  DemoFolder engine_run, position_run;
  const ToolRun by_engine = RunTool(engine_run.path, "");
  // The sample's PV in both notations, blanks and commas.
  const std::string pv =
      "8h2b+,3122GI 7988GI -7162GI 3948GI -0055KA 2e2d,2324FU +2824HI 0023FU 2d3d 5533KA "
      "+3433RY 2a3c B*5e";
  const ToolRun by_position = RunTool(
      position_run.path, ShellQuote(std::string("--position=sfen ") + kSampleSfen) + " " +
                             ShellQuote("--pv=" + pv));
  ASSERT_EQ(by_position.status, 0) << by_position.err;
  EXPECT_EQ(by_position.out, by_engine.out);
  EXPECT_EQ(position_run.Report(), engine_run.Report());

  // The sample's game record, as a file, read to its end: the input without a PV.
  fs::copy_file(std::string(FVSCOPE_SOURCE_DIR) + "/samples/opening/game000.csa",
                position_run.path + "/game.csa");
  const ToolRun by_record = RunTool(position_run.path, "--position=game.csa --json=-");
  ASSERT_EQ(by_record.status, 0) << by_record.err;
  const nlohmann::json d = nlohmann::json::parse(by_record.out);
  EXPECT_EQ(d["mode"], "position");
  EXPECT_EQ(d["input"]["sfen"], kSampleSfen);
  EXPECT_TRUE(d["pv"].empty());
  EXPECT_EQ(d["leaf"]["sfen"], kSampleSfen);

  const ToolRun by_ply = RunTool(position_run.path,
                                 "'--position=startpos moves 7g7f 3c3d 2g2f' --ply=2 --json=-");
  ASSERT_EQ(by_ply.status, 0) << by_ply.err;
  EXPECT_EQ(nlohmann::json::parse(by_ply.out)["input"]["sfen"],
            "lnsgkgsnl/1r5b1/pppppp1pp/6p2/9/2P6/PP1PPPPPP/1B5R1/LNSGKGSNL b - 1");
}

TEST(PositionMode, AFolderWithOnlyAnEvaluationFileAndPv) {
  ScratchDir dir;
  WriteEvalFile(dir.File("eval.bin"), {});
  const ToolRun run = RunTool(dir.path(), "--fv=eval.bin --pv=7g7f --json=out.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_regular_file(dir.File("log/rank150.png")));
  const nlohmann::json d = nlohmann::json::parse(ReadWholeFile(dir.File("out.json")));
  EXPECT_EQ(d["fv"], "eval.bin");
  EXPECT_EQ(d["pv"][0]["csa"], "+7776FU");
  EXPECT_NE(run.out.find("\nPV=+7776FU\n\n\n"), std::string::npos);
  const ToolRun refused = RunTool(dir.path(), "--fv=eval.bin '--pv=7g7f +8822UM'");
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "fvscope: --pv move 2 \"+8822UM\": it is white's move, not black's\n");
}

TEST(UsiEngine, FairyStockfishSearchesTheStartingPosition) {
  const char* engine = "/usr/games/fairy-stockfish";
  if (!fs::exists(engine)) GTEST_SKIP() << engine << " is missing (Debian package fairy-stockfish)";
  DemoFolder demo;
  const ToolRun run =
      RunTool(demo.path, std::string("--usi=") + engine + " '--go=depth 6' --json=-");
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json d = nlohmann::json::parse(run.out);
  EXPECT_EQ(d["mode"], "position");
  EXPECT_EQ(d["input"]["sfen"], "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1");
  EXPECT_TRUE(d["warnings"].empty()) << d["warnings"];
  ASSERT_FALSE(d["pv"].empty());
  EXPECT_EQ(d["pv"][0]["side"], "black");
  EXPECT_NE(d["leaf"]["sfen"], d["input"]["sfen"]);
}

TEST(RecordMode, EveryPlyAsASinglePositionRunGivesIt) {
  DemoFolder demo;
  WriteRandomStartFile(demo.path + "/fv.bin", 11);
  const std::string moves = "7g7f 3c3d 8h2b+ 3a2b B*4e 2b3c";
  const ToolRun run = RunTool(demo.path, "'--game=startpos moves " + moves + "' --json=record.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(demo.path + "/record.json"));
  EXPECT_EQ(record["mode"], "record");
  ASSERT_EQ(record["plies"].size(), 7u);
  EXPECT_TRUE(record["plies"][0]["move"].is_null());
  EXPECT_EQ(record["plies"][3]["move"], "+8822UM");
  cv::Mat chart;
  std::string error;
  ASSERT_TRUE(ReadImageFile(demo.path + "/log/game.png", &chart, &error)) << error;
  EXPECT_EQ(chart.cols, 960);
  EXPECT_EQ(chart.rows, 540);
  EXPECT_NE(demo.Report().find("<img src=./log/game.png>"), std::string::npos);
  std::istringstream text(run.out);
  std::string line;
  std::getline(text, line);
  EXPECT_EQ(line.substr(0, 9), " ply  mov");
  for (int ply = 0; ply <= 6; ++ply) {
    const ToolRun single = RunTool(demo.path, "'--position=startpos moves " + moves + "' --ply=" +
                                                  std::to_string(ply) + " --json=-");
    ASSERT_EQ(single.status, 0) << single.err;
    const nlohmann::json d = nlohmann::json::parse(single.out);
    const nlohmann::json& p = record["plies"][ply];
    EXPECT_EQ(p["sfen"].get<std::string>().substr(0, 60), d["input"]["sfen"].get<std::string>().substr(0, 60));
    for (const char* figure : {"kkp", "kpp", "material", "value"}) EXPECT_EQ(p[figure], d[figure]) << ply;
    // The console line: ply, move, material, KKP and KPP in table units, value in points.
    ASSERT_TRUE(std::getline(text, line));
    std::istringstream fields(line);
    int number, material, kkp, kpp, value;
    std::string move;
    fields >> number >> move >> material >> kkp >> kpp >> value;
    EXPECT_EQ(number, ply);
    EXPECT_EQ(move, ply == 0 ? "*" : p["move"].get<std::string>());
    EXPECT_EQ(material, 32 * d["material"].get<int>());
    EXPECT_EQ(kkp, d["kkp"].get<int>());
    EXPECT_EQ(kpp, d["kpp"].get<int>());
    EXPECT_EQ(value, d["value"].get<int>());
  }
}

TEST(CompareMode, TheLeafUnderTwoFilesAndEachPiecesShare) {
  DemoFolder demo;
  WriteEvalFile(demo.path + "/fv-b.bin",
                {{KkpOffset(76, 4, 2), 320}, {KppOffset(76, 2, 2), 1000}}, kEvalFileBytes - 2);
  const ToolRun run = RunTool(demo.path, "--compare=fv-b.bin --pieces --json=out.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "fvscope: warning: fv-b.bin: 186268246 bytes, expected 186268248; the "
                     "missing values are taken as 0\n");
  const std::string boards = std::string(kSampleInput) + "\nPV=" + kSamplePv + "\n\n" + kSampleLeaf;
  EXPECT_EQ(run.out.substr(0, boards.size()), boards);
  EXPECT_EQ(run.out.substr(boards.size()),
            std::string("             before      after     change\n"
                        "KKP             320        320         +0\n"
                        "KPP             640       1000       +360\n"
                        "material         28         28         +0\n"
                        "value            58         69        +11\n"
                        "RANKING OF CHANGES:\n"
                        "1: change = +360  before = 640  after = 1000  [+59OU]-[+FU*]-[+FU*]\n"
                        "PIECES:\n") +
                run.out.substr(run.out.find("PIECES:\n") + 8));
  // The pawns in black's hand: KKP 320 and their pair with themselves.
  EXPECT_NE(run.out.find("\n+FU*      +30.0    +41.2    +11.2\n"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::is_regular_file(demo.path + "/log/pieces.png"));
  EXPECT_TRUE(fs::is_regular_file(demo.path + "/log/rank001.png"));
  EXPECT_FALSE(fs::exists(demo.path + "/log/rank002.png"));
  const std::string report = demo.Report();
  EXPECT_NE(report.find("<img src=./log/pieces.png width=320><br>PV="), std::string::npos);
  EXPECT_NE(report.find("<TD>KPP</TD><TD>640</TD><TD>1000</TD><TD>+360</TD>"), std::string::npos);
  const nlohmann::json d = nlohmann::json::parse(ReadWholeFile(demo.path + "/out.json"));
  EXPECT_EQ(d["compare"]["fv"], "fv-b.bin");
  EXPECT_EQ(d["compare"]["kpp"], nlohmann::json({640, 1000}));
  EXPECT_EQ(d["compare"]["ranking"][0]["change"], 360);
  EXPECT_FALSE(d.contains("ranking"));
  double shares = 0;
  for (const auto& piece : d["pieces"]) shares += piece["share"].get<double>();
  EXPECT_EQ(shares, 320 + 640);
  EXPECT_EQ(d["pieces"].size(), 14u + 34u);

  // A compared scan counts every entry that differs.
  const ToolRun scan = RunTool(demo.path, "--compare=fv-b.bin 0 76 --json=scan.json");
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out.substr(0, 35), "changed = 1\nRANKING OF CHANGES:\n1: ");
  EXPECT_EQ(nlohmann::json::parse(ReadWholeFile(demo.path + "/scan.json"))["compare"]["changed"], 1);
}

// The rows of the page's ranking table: rank, value, king, pieces, picture.
std::vector<std::string> PageRankingRows(const std::string& page) {
  std::vector<std::string> rows;
  const std::regex row(
      "<tr><td data-v=\"(\\d+)\">\\d+</td><td class=\"num[^\"]*\" data-v=\"(-?\\d+)\">[^<]*</td>"
      "<td[^>]*>[^<]*</td><td class=\"name\"><code>([^<]*)</code></td><td class=\"name\"><code>"
      "([^<]*)</code></td><td class=\"name\"><code>([^<]*)</code></td><td class=\"thumb\"><a "
      "href=\"([^\"]*)\">");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    rows.push_back(m[1].str() + " " + m[2].str() + " " + m[3].str() + " " + m[4].str() + " " +
                   m[5].str() + " " + m[6].str());
  }
  return rows;
}

// The same rows from the run's JSON document, the pictures linked from page_folder.
std::vector<std::string> JsonRankingRows(const nlohmann::json& d, const std::string& prefix) {
  std::vector<std::string> rows;
  for (const auto& e : d["ranking"]) {
    rows.push_back(std::to_string(e["rank"].get<int>()) + " " + std::to_string(e["value"].get<int>()) +
                   " " + e["king"].get<std::string>() + " " + e["a"].get<std::string>() + " " +
                   e["b"].get<std::string>() + " " + prefix + e["picture"].get<std::string>());
  }
  return rows;
}

TEST(HtmlPage, TheRankingTablesHoldTheRunsRecordsAndTextsAreEscaped) {
  DemoFolder demo;
  fs::create_directories(demo.path + "/pages");
  ToolRun run = RunTool(demo.path, "--html=pages/game.html --json=game.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = ReadWholeFile(demo.path + "/pages/game.html");
  const nlohmann::json game = nlohmann::json::parse(ReadWholeFile(demo.path + "/game.json"));
  EXPECT_EQ(PageRankingRows(page).size(), 150u);
  EXPECT_EQ(PageRankingRows(page), JsonRankingRows(game, "../"));
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(page.find(game["leaf"]["sfen"].get<std::string>()), std::string::npos);
  EXPECT_NE(page.find("<li><code>+8822UM</code> <code>8h2b+</code></li>"), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos);  // nothing from the network

  WriteEvalFile(demo.path + "/fv.bin", {{KppOffset(76, 733, 85), 2417}, {KppOffset(76, 1300, 90), -3000}});
  run = RunTool(demo.path, "--html=scan.html --json=scan.json 1 76");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string scan_page = ReadWholeFile(demo.path + "/scan.html");
  const nlohmann::json scan = nlohmann::json::parse(ReadWholeFile(demo.path + "/scan.json"));
  EXPECT_EQ(PageRankingRows(scan_page), JsonRankingRows(scan, ""));
  EXPECT_EQ(PageRankingRows(scan_page).size(), 2u);
  EXPECT_NE(scan_page.find("Table scan of king square 76 (+59OU)"), std::string::npos);

  // A file name and a warning that carry markup are shown, not obeyed.
  fs::rename(demo.path + "/fv.bin", demo.path + "/<b>&x.bin");
  demo.dir.Write("work/<b>&x.bin", "short");
  run = RunTool(demo.path, "'--fv=<b>&x.bin' --html=odd.html 1 76");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string odd = ReadWholeFile(demo.path + "/odd.html");
  EXPECT_NE(odd.find("<code>&lt;b&gt;&amp;x.bin</code>"), std::string::npos);
  EXPECT_NE(odd.find("<li>fvscope: warning: &lt;b&gt;&amp;x.bin: 5 bytes"), std::string::npos);
  EXPECT_EQ(odd.find("<b>"), std::string::npos);

  run = RunTool(demo.path, "--html=missing/page.html");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "fvscope: missing/page.html: cannot create (No such file or directory)\n");
}

TEST(HtmlPage, LoadsInABrowserWithEveryPictureAndNoError) {
  if (!fs::exists("/usr/bin/chromium") || std::system("python3 -c '' 2>/dev/null") != 0) {
    GTEST_SKIP() << "chromium or python3 is missing (Debian packages chromium, python3)";
  }
  DemoFolder demo;
  ASSERT_EQ(RunTool(demo.path, "--pieces --html=game.html").status, 0);
  fs::rename(demo.path + "/log", demo.path + "/game-log");  // the scan clears ./log
  WriteEvalFile(demo.path + "/fv.bin", {{KppOffset(76, 733, 85), 2417}, {KppOffset(76, 1300, 90), -3000}});
  ASSERT_EQ(RunTool(demo.path, "--html=scan.html 1 76").status, 0);
  fs::rename(demo.path + "/log", demo.path + "/scan-log");
  // Runs check_page on NAME.html with NAME-log as log/: its exit status and report.
  const auto check = [&](const std::string& name, int* status) {
    fs::create_directory_symlink(demo.path + "/" + name + "-log", demo.path + "/log");
    const std::string out = demo.dir.File(name + ".check");
    const std::string command = ShellQuote(std::string(FVSCOPE_SOURCE_DIR) + "/scripts/check_page") +
                                " " + ShellQuote(demo.path + "/" + name + ".html") + " >" +
                                ShellQuote(out) + " 2>&1";
    const int raw = std::system(command.c_str());
    fs::remove(demo.path + "/log");
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return ReadWholeFile(out);
  };
  for (const char* name : {"game", "scan"}) {
    int status = 0;
    const std::string report = check(name, &status);
    ASSERT_NE(status, 2) << report;  // the browser could not be started
    EXPECT_EQ(status, 0) << name << ": " << report;
    const nlohmann::json d = nlohmann::json::parse(report);
    EXPECT_TRUE(d["loaded"].get<bool>());
    EXPECT_TRUE(d["errors"].empty()) << d["errors"];
    // The pictures: every rank picture in its card and in the table, and in
    // the game the boards and the shares.
    EXPECT_EQ(d["images"].size(), std::string(name) == "game" ? 303u : 4u);
    for (const auto& image : d["images"]) EXPECT_TRUE(image["loaded"].get<bool>()) << image;
  }
  // A lazily loaded card far down whose file is gone fails the check, and only it.
  fs::remove(demo.path + "/game-log/rank140.png");
  int status = 0;
  const std::string report = check("game", &status);
  ASSERT_EQ(status, 1) << report;
  std::vector<std::string> missing;
  const nlohmann::json d = nlohmann::json::parse(report);
  for (const auto& image : d["images"]) {
    if (!image["loaded"].get<bool>()) missing.push_back(image["src"].get<std::string>());
  }
  EXPECT_EQ(missing, std::vector<std::string>(2, "log/rank140.png")) << report;  // card, row
}

TEST(Usage, HelpAndVersion) {
  ScratchDir dir;
  ToolRun run = RunTool(dir.path(), "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: fvscope", 0), 0u);
  run = RunTool(dir.path(), "--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("fvscope ", 0), 0u);
  EXPECT_FALSE(fs::exists(dir.File("report.html")));
}

}  // namespace
}  // namespace fvscope
