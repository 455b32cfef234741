// Bad working folders through the real executable: whatever the files hold,
// the run ends with its normal output or one clear line on stderr, exit
// 0, 1 or 2, and touches nothing outside its working folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "shogi/packed_position.h"
#include "shogi/sfen.h"
#include "test/demo_folder.h"
#include "test/eval_files.h"
#include "test/run_tool.h"

namespace fvscope {
namespace {

namespace fs = std::filesystem;

// Names and contents of every file below folder, links by their target text.
std::set<std::string> Snapshot(const std::string& folder) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (name.rfind("work", 0) == 0 || name.rfind("replay", 0) == 0) continue;
    entries.insert(name + (entry.is_regular_file() ? "=" + ReadWholeFile(entry.path()) : ""));
  }
  return entries;
}

std::string Garbage(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string PvLines(int count) {
  std::string log;
  for (int i = 0; i < count; ++i) {
    log += "  8      +1    ";
    for (int n = 1; n <= 15; ++n) log += " " + std::to_string(n) + ".+7776FU";
    log += "\n";
  }
  return log + "pruning\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// count records of the starting position in format, black to move and won.
std::string StartRecords(PackedFormat format, int count) {
  GameRecord record;
  std::string error;
  ParseSfen(kStartSfen, &record, &error);
  uint8_t bytes[kPsvRecordBytes];
  EncodePackedRecord(record.start, kBlack, 30, GameResult::kBlackWins, 0, format, bytes);
  return Repeat(std::string(reinterpret_cast<const char*>(bytes), PackedRecordBytes(format)),
                count);
}

struct BadCase {
  const char* name;
  std::string game_record;  // what the engine leaves
  std::string search_log;
  std::function<void(const DemoFolder&)> change;  // what else is wrong in the folder
  std::string args;
  int expected_status;
  std::string message = "";  // a part of what stderr says, when given
};

TEST(HostileInput, EveryBadFolderEndsCleanly) {
  const std::string sample = DemoFolder::SampleGameRecord();
  const std::string good_log = "  8      +1     1.+2524FU  2.-4132KI\npruning\n";
  const auto none = [](const DemoFolder&) {};
  const BadCase cases[] = {
      {"empty records", "", "", none, "", 1},
      {"a record without kings", sample.substr(0, sample.find("P9")), good_log, none, "", 1},
      {"binary garbage", Garbage(5000, 1), Garbage(5000, 2), none, "", -1},
      {"garbage with line feeds", Garbage(3000, 3) + "\n" + sample, "  8  " + Garbage(3000, 4),
       none, "", -1},
      {"lines of 100,000 characters", sample.substr(0, 40) + std::string(100000, '+'),
       "  8  " + std::string(100000, '1') + "1.+", none, "", -1},
      {"three lines only", "V2.2\nN+a\nN-b\n", good_log, none, "", 1},
      {"200 PV lines", sample, PvLines(200), none, "", -1},
      {"a PV line of eight characters", sample, "  8  1.\n", none, "", 0},
      {"a move with a zero file", sample, "  8      +1     1.+7076FU\n", none, "", 0},
      {"a drop from an empty hand", sample, "  8      +1     1.+0055HI\n", none, "", 0},
      {"a search log of another game", sample,
       "  8      +1     1.+7776FU  2.-3334FU  3.+8822UM\npruning\n", none, "", 0,
       "move 1 \"+7776FU\": no black piece on 77; the PV ends before it; the search log may "
       "belong to another position"},
      {"a PV that takes a king", sample.substr(0, sample.find("P3")) +
           "P3 *  *  *  *  *  *  *  *  * \nP4 *  *  *  * +HI *  *  *  * \n" +
           sample.substr(sample.find("P5")),
       "  8      +1     1.+5451HI\npruning\n", none, "", 0, "51 holds the white king"},
      {"19 pawns in black's hand", Replace(sample, "P+\n", "P+" + Repeat("00FU", 19) + "\n"),
       good_log, none, "", 1,
       "./log/game000.csa: black's hand holds 19 FU, a count the tables have no feature for"},
      {"a pawn on its last rank and a third rook",
       Replace(Replace(sample, "-KE-KY\nP2", "-KE+FU\nP2"), "P+\n", "P+00HI\n"), good_log,
       none, "", 0,
       "warning: ./log/game000.csa: +11FU: a black pawn on its last rank can never move\n"
       "fvscope: warning: ./log/game000.csa: 19 pawns on the board and in hand; the set holds 18\n"
       "fvscope: warning: ./log/game000.csa: 3 rooks on the board and in hand; the set holds 2\n"},
      {"a --position with 19 pawns", sample, good_log, none,
       "'--position=sfen 4k4/9/9/9/9/9/9/9/4K4 b 19P 1'", 2,
       "--position: 19 pawns on the board and in hand; the set holds 18"},
      {"a --position with a knight on its last two ranks", sample, good_log, none,
       "'--position=sfen 4k4/2N6/9/9/9/9/9/9/4K4 b - 1'", 2,
       "+72KE: a black knight on its last ranks can never move"},
      {"a --game record with a fifth gold", sample, good_log, none,
       "'--game=sfen 4k4/9/9/9/9/9/9/4G4/4K4 b 4G 1 moves G*5e'", 2,
       "--game: ply 0: 5 golds on the board and in hand; the set holds 4"},
      {"fv.bin of 1 byte", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/fv.bin", "x"); }, "", 0},
      {"fv.bin of one byte too many", sample, good_log,
       [](const DemoFolder& d) { WriteEvalFile(d.path + "/fv.bin", {}, kEvalFileBytes + 1); }, "",
       0},
      {"fv.bin is a folder", sample, good_log,
       [](const DemoFolder& d) {
         fs::remove(d.path + "/fv.bin");
         fs::create_directory(d.path + "/fv.bin");
       },
       "", 1},
      {"log is a file", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/log", "file"); }, "", 1},
      {"no img folder: the built-in pictures", sample, good_log,
       [](const DemoFolder& d) { fs::remove_all(d.path + "/img"); }, "", 0},
      {"--img that does not exist", sample, good_log, none, "--img=nothing", 1},
      {"a piece picture of garbage", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/img/UM.jpg", Garbage(2000, 5)); }, "", 1},
      {"a link in log to a file outside", sample, good_log,
       [](const DemoFolder& d) {
         fs::create_directories(d.path + "/log");
         fs::create_symlink(d.dir.File("outside/keep.txt"), d.path + "/log/link.png");
       },
       "", 0},
      {"scan of a square outside the board", sample, good_log, none, "0 99", 2},
      {"scan with a garbage fv.bin", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/fv.bin", Garbage(300000, 6)); }, "1 0", 0},
      {"an SFEN of two ranks", sample, good_log, none, "'--position=sfen 9/9 b - 1'", 2},
      {"a position without kings", sample, good_log, none,
       "'--position=sfen 9/9/9/9/9/9/9/9/9 b - 1'", 2},
      {"a --pv move that cannot be played", sample, good_log, none,
       "--position=startpos '--pv=7g7f 8h2b+'", 2},
      {"a --pv move that is no move", sample, good_log, none, "--pv=7g7f,x", 2},
      {"a --position file of garbage", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/pos.csa", Garbage(4000, 7)); },
       "--position=pos.csa", 2},
      {"a --position file that is missing", sample, good_log, none, "--position=none.csa", 2},
      {"a record move that cannot be played", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/pos.csa", "PI\n+\n+7776FU\n-3344FU\n"); },
       "--position=pos.csa", 2},
      {"--ply past the moves", sample, good_log, none,
       "'--position=startpos moves 7g7f' --ply=2", 2},
      {"a position with a table scan", sample, good_log, none, "--position=startpos 0 40", 2},
      {"--pv with --usi", sample, good_log, none, "--pv=7g7f --usi=./engine", 2},
      {"a USI engine that exits at once", sample, good_log, none, "--usi=false", 1},
      {"a --game record with a move that cannot be played", sample, good_log, none,
       "'--game=startpos moves 7g7f 7g7f'", 2},
      {"a --game record file of garbage", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/game.csa", Garbage(3000, 8)); },
       "--game=game.csa", 2},
      {"--game with a sort mode", sample, good_log, none, "--game=startpos 1", 2},
      {"--game with --ply", sample, good_log, none, "--game=startpos --ply=1", 2},
      {"--game with --position", sample, good_log, none, "--game=startpos --position=startpos", 2},
      {"--game with --compare, a move that cannot be played", sample, good_log, none,
       "'--game=startpos moves 7g7f 7g7f' --compare=fv.bin", 2},
      {"--pieces with a table scan", sample, good_log, none, "--pieces 0 40", 2},
      {"--compare with a file that is missing", sample, good_log, none, "--compare=none.bin", 1,
       "fvscope: none.bin: cannot open"},
      {"a psv file with bytes after its last record", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/c.psv", StartRecords(PackedFormat::kPsv, 3) + "xyz"); },
       "--corpus=c.psv", 0, "c.psv: 3 bytes after its last whole psv record are left out"},
      {"a psv record with a king square over 81", sample, good_log,
       [](const DemoFolder& d) {
         std::string bytes = StartRecords(PackedFormat::kPsv, 3);
         bytes[kPsvRecordBytes] = static_cast<char>(0xff);
         d.dir.Write("work/c.psv", bytes);
       },
       "--corpus=c.psv", 0, "c.psv: record 2: a king square over 81"},
      {"an hcpe record with a result byte of 3", sample, good_log,
       [](const DemoFolder& d) {
         std::string bytes = StartRecords(PackedFormat::kHcpe, 3);
         bytes[36] = 3;
         d.dir.Write("work/c.hcpe", bytes);
       },
       "--corpus=c.hcpe", 0, "c.hcpe: record 1: a result byte outside its values"},
      {"a psv file of garbage", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/c.psv", Garbage(40000, 9)); }, "--corpus=c.psv",
       1, "does not read as psv"},
      {"an hcpe file read as psv", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/c.bin", StartRecords(PackedFormat::kHcpe, 40)); },
       "--corpus=c.bin --packed=psv", 1, "c.bin: 38 of its first 38 records do not decode"},
      {"--from-ply with an hcpe file", sample, good_log,
       [](const DemoFolder& d) { d.dir.Write("work/c.hcpe", StartRecords(PackedFormat::kHcpe, 2)); },
       "--corpus=c.hcpe --from-ply=3", 1, "c.hcpe: an hcpe file holds no ply"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    DemoFolder demo;
    demo.dir.Write("outside/keep.txt", "keep");
    c.change(demo);
    const std::set<std::string> before = Snapshot(demo.dir.path());
    const ToolRun run = demo.RunWithRecords(c.game_record, c.search_log, c.args);
    if (!c.message.empty()) {
      EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    if (c.expected_status >= 0) {
      EXPECT_EQ(run.status, c.expected_status) << run.err;
    } else {
      EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << run.err;
    }
    if (run.status != 0) {
      EXPECT_FALSE(run.err.empty());
      EXPECT_EQ(run.err.rfind("fvscope: ", 0), 0u) << run.err;
      // The last line says why the run stopped.
      const size_t last = run.err.rfind("fvscope: ");
      EXPECT_NE(run.err.substr(last, 18), "fvscope: warning: ") << run.err;
    } else {
      const std::string report = ReadWholeFile(demo.path + "/report.html");
      EXPECT_EQ(report.substr(report.size() - 14), "</BODY></HTML>");
    }
    EXPECT_EQ(Snapshot(demo.dir.path()), before);
    EXPECT_EQ(ReadWholeFile(demo.dir.File("outside/keep.txt")), "keep");
  }
}

}  // namespace
}  // namespace fvscope
