// Corpus runs over packed training records through the real executable: a
// psv file of every position of some games gives the games' figures byte
// for byte; shards merged give the single run; bad files and records are
// named and counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shogi/notation.h"
#include "shogi/packed_position.h"
#include "test/eval_files.h"
#include "test/random_games.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// A random game with its CSA record, and its records in a packed format.
struct PackedGame {
  std::string csa;
  std::vector<std::string> records;  // by format
};

PackedGame MakeGame(int plies, uint32_t seed, int ending, bool kings_wander) {
  const std::vector<RecordPly> game = RandomGamePlies(plies, seed, kings_wander);
  PackedGame out;
  out.csa = "V2.2\nPI\n+\n";
  for (const RecordPly& ply : game) {
    if (ply.has_move) out.csa += CsaMoveText(ply.move) + "\n";
  }
  const Side mover = game.back().to_move;
  const char* ends[] = {"%TORYO", "%KACHI", "%SENNICHITE"};
  out.csa += std::string(ends[ending]) + "\n";
  const GameResult result = ending == 2 ? GameResult::kDraw
                            : (ending == 0) == (mover == kBlack) ? GameResult::kWhiteWins
                                                                 : GameResult::kBlackWins;
  out.records.resize(2);
  for (const RecordPly& ply : game) {
    for (int f = 0; f < 2; ++f) {
      uint8_t bytes[kPsvRecordBytes];
      const PackedFormat format = f == 0 ? PackedFormat::kPsv : PackedFormat::kHcpe;
      const int32_t score = static_cast<int32_t>(seed * 37 + ply.ply * 53) % 1500 - 700;
      EXPECT_TRUE(EncodePackedRecord(ply.position, ply.to_move, score, result, ply.ply, format,
                                     bytes));
      out.records[f].append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(format));
    }
  }
  return out;
}

// A working folder with two evaluation files, games as CSA records, and the
// same games' positions as one psv and one hcpe file. In every other game
// the kings seldom move: the pass follows each pair's stay there, and adds
// the others' positions whole.
struct PackedFolder {
  PackedFolder() {
    dir.Write("work/.keep", "");
    path = dir.File("work");
    WriteCorpusEvalFiles(path, true);
    for (int g = 0; g < 9; ++g) {
      const PackedGame game = MakeGame(30 + 9 * g, 300 + g, g % 3, g % 2 == 0);
      dir.Write("work/games/" + std::to_string(g) + ".csa", game.csa);
      psv += game.records[0];
      hcpe += game.records[1];
    }
    dir.Write("work/all.psv", psv);
    dir.Write("work/all.hcpe", hcpe);
  }
  ToolRun Run(const std::string& args) const { return RunTool(path, args); }
  std::string Read(const std::string& name) const { return ReadWholeFile(path + "/" + name); }
  ScratchDir dir;
  std::string path;
  std::string psv, hcpe;
};

// Standard output from the fit on, without the score's section.
std::string FiguresText(const std::string& out) {
  std::istringstream in(out.substr(std::min(out.size(), out.find("\nfit: ") + 1)));
  std::string text, line;
  while (std::getline(in, line)) {
    if (line != "SCORE:" && line.find("score: records = ") == std::string::npos) {
      text += line + "\n";
    }
  }
  return text;
}

TEST(PackedCorpus, EveryPositionOfGamesAsRecordsGivesTheGamesFigures) {
  PackedFolder folder;
  for (const std::string options : {"", " --from-ply=5 --compare=fv2.bin"}) {
    const ToolRun games = folder.Run("--corpus=games" + options);
    ASSERT_EQ(games.status, 0) << games.err;
    EXPECT_EQ(games.out.find("SCORE:"), std::string::npos);
    const ToolRun psv = folder.Run("--corpus=all.psv" + options);
    ASSERT_EQ(psv.status, 0) << psv.err;
    EXPECT_NE(psv.out.find("\nSCORE:\nscore: records = "), std::string::npos) << psv.out;
    EXPECT_NE(FiguresText(games.out).find("RANKING OF PULL:\n1: pull = "), std::string::npos);
    EXPECT_EQ(FiguresText(psv.out), FiguresText(games.out)) << options;
    // hcpe holds no ply: the whole games only.
    if (options.empty()) {
      const ToolRun hcpe = folder.Run("--corpus=all.hcpe");
      ASSERT_EQ(hcpe.status, 0) << hcpe.err;
      EXPECT_EQ(hcpe.out.substr(hcpe.out.find("\nfit: ")), psv.out.substr(psv.out.find("\nfit: ")));
    }
  }
}

TEST(PackedCorpus, ShardsMergedAreTheSingleRun) {
  PackedFolder folder;
  // A few records that do not decode, and a tail that is no whole record.
  std::string bad = folder.psv;
  for (size_t r : {3u, 17u, 40u, 41u, 90u, 130u, 200u}) bad[r * kPsvRecordBytes + 38] = 5;
  folder.dir.Write("work/bad.psv", bad + "tail");
  const std::string common =
      "--corpus=games/3.csa --corpus=bad.psv --corpus=all.hcpe --compare=fv2.bin --lambda=0.25";
  const ToolRun whole = folder.Run(common + " --json=whole.json");
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.out.find("refused records = 7\n"), std::string::npos) << whole.out;
  EXPECT_NE(whole.err.find("bad.psv: 4 bytes after its last whole psv record"), std::string::npos)
      << whole.err;
  EXPECT_NE(whole.err.find("bad.psv: record 4: a result byte"), std::string::npos) << whole.err;
  EXPECT_EQ(whole.err.find("record 201:"), std::string::npos) << whole.err;  // the sixth
  for (int shards : {2, 7}) {
    std::string args = "--compare=fv2.bin --json=merged.json";
    for (int i = 1; i <= shards; ++i) {
      const std::string name = "p" + std::to_string(i);
      const ToolRun shard = folder.Run(common + " --shard=" + std::to_string(i) + "/" +
                                       std::to_string(shards) + " --partial=" + name);
      ASSERT_EQ(shard.status, 0) << shard.err;
      args += " --merge=" + name;
    }
    const ToolRun merged = folder.Run(args);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, whole.out) << shards;
    EXPECT_EQ(folder.Read("merged.json"), folder.Read("whole.json")) << shards;
  }
}

// A file of many times the block the run reads at once gives the figures of
// the same records as small files of one block each, and its shards merged
// give its single run.
TEST(PackedCorpus, AFileOfManyBlocksIsItsRecordsInSmallFiles) {
  PackedFolder folder;
  const size_t records = folder.psv.size() / kPsvRecordBytes;
  const size_t copies = 140000 / records + 1;
  std::string big;
  for (size_t c = 0; c < copies; ++c) {
    big += folder.psv;
    folder.dir.Write("work/copies/" + std::to_string(c) + ".psv", folder.psv);
  }
  folder.dir.Write("work/big.psv", big);
  const ToolRun whole = folder.Run("--corpus=big.psv --json=whole.json");
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.out.find("positions = " + std::to_string(copies * records) + " "),
            std::string::npos) << whole.out;
  const ToolRun small = folder.Run("--corpus=copies");
  ASSERT_EQ(small.status, 0) << small.err;
  EXPECT_EQ(FiguresText(small.out), FiguresText(whole.out));
  std::string args = "--json=merged.json";
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "p" + std::to_string(i);
    const ToolRun shard =
        folder.Run("--corpus=big.psv --shard=" + std::to_string(i) + "/3 --partial=" + name);
    ASSERT_EQ(shard.status, 0) << shard.err;
    args += " --merge=" + name;
  }
  const ToolRun merged = folder.Run(args);
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(merged.out, whole.out);
  EXPECT_EQ(folder.Read("merged.json"), folder.Read("whole.json"));
}

// Records of black wins that the search scores as won for black beyond
// doubt: pulled toward the score (lambda 1) as toward the result (lambda 0);
// draws pull only with lambda 1.
TEST(PackedCorpus, LambdaMixesTheScoreIntoThePullsTarget) {
  PackedFolder folder;
  std::string won, drawn;
  for (const RecordPly& ply : RandomGamePlies(60, 91)) {
    const int32_t score = ply.to_move == kBlack ? 32767 : -32767;
    uint8_t bytes[kPsvRecordBytes];
    ASSERT_TRUE(EncodePackedRecord(ply.position, ply.to_move, score, GameResult::kBlackWins,
                                   ply.ply, PackedFormat::kPsv, bytes));
    won.append(reinterpret_cast<const char*>(bytes), kPsvRecordBytes);
    ASSERT_TRUE(EncodePackedRecord(ply.position, ply.to_move, score, GameResult::kDraw, ply.ply,
                                   PackedFormat::kPsv, bytes));
    drawn.append(reinterpret_cast<const char*>(bytes), kPsvRecordBytes);
  }
  folder.dir.Write("work/won.psv", won);
  folder.dir.Write("work/drawn.psv", drawn);
  const auto pull = [&](const std::string& args) {
    const ToolRun run = folder.Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out.substr(std::min(run.out.size(), run.out.find("PULL:\n")));
  };
  EXPECT_EQ(pull("--corpus=won.psv --lambda=1"), pull("--corpus=won.psv"));
  EXPECT_EQ(pull("--corpus=won.psv --lambda=0.5"), pull("--corpus=won.psv"));
  const std::string none = "PULL:\npull: total = 0.000  entries = 0\nRANKING OF PULL:\n";
  EXPECT_EQ(pull("--corpus=drawn.psv"), none);
  EXPECT_EQ(pull("--corpus=drawn.psv --lambda=0.99"), none);
  EXPECT_EQ(pull("--corpus=drawn.psv --lambda=1"), pull("--corpus=won.psv"));
}

TEST(PackedCorpus, BadFilesAreNamedAndStopTheRun) {
  PackedFolder folder;
  folder.dir.Write("work/hcpe.bin", folder.hcpe);
  folder.dir.Write("work/empty.psv", "");
  const struct {
    const char* args;
    int status;
    const char* says;
  } cases[] = {
      // Read with the other format's table: most records do not decode.
      {"--corpus=hcpe.bin --packed=psv", 1, "hcpe.bin: "},
      {"--corpus=hcpe.bin --packed=psv", 1, "does not read as psv"},
      {"--corpus=all.hcpe --from-ply=2", 1, "all.hcpe: an hcpe file holds no ply"},
      {"--corpus=empty.psv", 2, "no game or record"},
      {"--corpus=all.psv --packed=csv", 2, "--packed takes psv or hcpe"},
      {"--corpus=all.psv --lambda=2", 2, "--lambda takes a number from 0 to 1"},
  };
  for (const auto& c : cases) {
    const ToolRun run = folder.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
  }
  // Named the right way, the same bytes read.
  const ToolRun good = folder.Run("--corpus=hcpe.bin --packed=hcpe --json=j.json");
  ASSERT_EQ(good.status, 0) << good.err;
  EXPECT_NE(folder.Read("j.json").find("\"score\": {"), std::string::npos);
  EXPECT_NE(folder.Read("j.json").find("\"refused_records\": 0"), std::string::npos);
}

}  // namespace
}  // namespace fvscope
