// The use of a KPPT set's entries and their pull through the real
// executable: games and psv records of the same positions give one store,
// the store the count made here from the definition, shards merged the one
// run; partials of another file refused.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "eval/corpus/corpus_partial.h"
#include "eval/evaluator.h"
#include "shogi/packed_position.h"
#include "test/kif_writer.h"
#include "test/kppt_folder.h"
#include "test/random_games.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

struct Reads {
  uint32_t black = 0;
  uint32_t white = 0;
  int64_t pull = 0;
  bool operator==(const Reads&) const = default;
};

// The KPP reads a partial holds, by entry.
std::map<int64_t, Reads> PartialReads(const std::string& path) {
  CorpusPartial partial;
  std::string error;
  EXPECT_TRUE(DecodeCorpusPartial(ReadWholeFile(path), &partial, &error)) << error;
  auto use = std::make_unique<EntryUse>(false, 1, kKpptUse);
  EXPECT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(partial.usage.data()),
                             partial.usage.size(), use.get(), &error))
      << error;
  std::map<int64_t, Reads> reads;
  ForEachUsedKppEntry(*use, [&](int64_t index, const EntryReads& r) {
    reads[index] = {r.black, r.white, r.pull[0]};
  });
  return reads;
}

TEST(KpptUse, GamesAndRecordsCountEveryPairAsDefinedAndShardsMergeToTheWhole) {
  KpptWorkFolder folder("--no-progress ");
  const std::string set = RandomKpptSet();
  Evaluator file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvaluator(set, {}, &file, &error, &warning)) << error;
  const int32_t scale = 600;  // the default --scale
  std::map<int64_t, Reads> direct;
  const int64_t triangle = TriangleOf(kKpptUse);
  std::string psv;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const std::vector<RecordPly> plies = RandomGamePlies(70 + 10 * seed, seed, seed % 2 == 0);
    const GameRecord game = GameOfPlies(plies);
    folder.dir.Write("work/games/" + std::to_string(seed) + ".csa", CsaText(game));
    // The side to move at the end resigns.
    const bool black_won = plies.back().to_move == kWhite;
    for (const RecordPly& ply : plies) {
      PositionFigures figures;
      ASSERT_TRUE(EvaluatePosition(file, ply.position, ply.to_move, &figures, &error)) << error;
      const int64_t residual = ResidualUnits(figures.value, black_won, scale);
      PieceFeatureList list;
      ASSERT_TRUE(BuildPieceFeatures(ply.position, &list, &error));
      for (Side view : kSides) {
        for (int i = 0; i < list.count; ++i) {
          for (int j = 0; j < i; ++j) {
            const int a = list.view[view][i].number, b = list.view[view][j].number;
            Reads& r = direct[list.king[view] * triangle + TriangleIndex(std::max(a, b), std::min(a, b))];
            ++(view == kBlack ? r.black : r.white);
            r.pull += view == kBlack ? residual : -residual;
          }
        }
      }
      uint8_t bytes[40];
      ASSERT_TRUE(EncodePackedRecord(ply.position, ply.to_move, 0,
                                     black_won ? GameResult::kBlackWins : GameResult::kWhiteWins,
                                     ply.ply, PackedFormat::kPsv, bytes));
      psv.append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(PackedFormat::kPsv));
    }
  }
  CloseEvaluator(&file);
  folder.dir.Write("work/all.psv", psv);
  const std::string fv = "--fv=" + set + " ";
  ToolRun run = folder.Run(fv + "--corpus=games --partial=games.part");
  ASSERT_EQ(run.status, 0) << run.err;
  run = folder.Run(fv + "--corpus=all.psv --partial=records.part");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::map<int64_t, Reads> games = PartialReads(folder.path + "/games.part");
  EXPECT_EQ(games.size(), direct.size());
  EXPECT_TRUE(games == direct);
  EXPECT_TRUE(PartialReads(folder.path + "/records.part") == direct);

  // Two shards merged against the whole run: the same text, use and pull.
  run = folder.Run(fv + "--corpus=games --json=whole.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string whole_text = run.out;
  for (int shard = 1; shard <= 2; ++shard) {
    ToolRun part = folder.Run(fv + "--corpus=games --shard=" + std::to_string(shard) +
                              "/2 --partial=s" + std::to_string(shard));
    ASSERT_EQ(part.status, 0) << part.err;
  }
  run = folder.Run(fv + "--merge=s1 --merge=s2 --json=merged.json --html=merged.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.find("USAGE:")), whole_text.substr(whole_text.find("USAGE:")));
  const auto whole = folder.Json("whole.json"), merged = folder.Json("merged.json");
  EXPECT_EQ(merged["usage"], whole["usage"]);
  EXPECT_EQ(merged["pull"], whole["pull"]);
  const auto& first = whole["usage"]["ranking"][0];
  EXPECT_TRUE(first.contains("turn"));
  EXPECT_EQ(whole["usage"]["kpp_entries"], 81 * int64_t{1548} * 1549 / 2);
  EXPECT_EQ(whole["usage"]["kpp_read"], static_cast<int64_t>(direct.size()));
  // The text shows the board part as the value, the turn part beside it.
  EXPECT_NE(whole_text.find("1: contribution = "), std::string::npos);
  EXPECT_NE(whole_text.find("  turn = " + std::to_string(first["turn"].get<int>()) + "  "),
            std::string::npos)
      << whole_text;
  EXPECT_NE(ReadWholeFile(folder.path + "/merged.html").find("<th>turn</th>"), std::string::npos);

  // A partial of the set merged in a run with another file is refused.
  folder.dir.Write("work/t.bin", std::string(64, '\0'));
  run = folder.Run("--fv=t.bin --merge=s1 --merge=s2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("s1: made with another evaluation file than t.bin"), std::string::npos)
      << run.err;
}

TEST(KpptUse, TwoSetsRankTheChangesAndKeepBothPulls) {
  KpptWorkFolder folder("--no-progress ");
  const std::string set = RandomKpptSet();
  const std::vector<RecordPly> plies = RandomGamePlies(60, 9);
  const GameRecord game = GameOfPlies(plies);
  folder.dir.Write("work/games/1.csa", CsaText(game));
  // The same set under another name: nothing changes, both pulls agree.
  ToolRun run = folder.Run("--fv=" + set + " --compare=" + set +
                           " --corpus=games --lambda=0.5 --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto same = folder.Json("c.json");
  EXPECT_EQ(same["compare"]["usage_ranking"].size(), 0u);
  EXPECT_EQ(same["compare"]["pull"]["total"], same["pull"]["total"]);
  EXPECT_GT(same["usage"]["kpp_read"].get<int64_t>(), 0);
  // A set of another layout, every entry 0: each change takes the board part
  // away, the turn parts shown before and after.
  WriteSparseKppt(folder.path + "/zero", KpptLayout::kNoKk, {});
  run = folder.Run("--fv=" + set + " --compare=zero --corpus=games --json=z.json --html=z.html");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto changed = folder.Json("z.json");
  const auto& top = changed["compare"]["usage_ranking"][0];
  EXPECT_EQ(top["after"], 0);
  EXPECT_EQ(top["turn_after"], 0);
  EXPECT_TRUE(top.contains("turn_before"));
  EXPECT_NE(run.out.find("RANKING OF CHANGES IN USE:\n1: change = "), std::string::npos);
  EXPECT_NE(run.out.find("turn before = " + std::to_string(top["turn_before"].get<int>()) +
                         "  turn after = 0"),
            std::string::npos);
  // Each file's pull by its own values' residuals.
  EXPECT_GT(changed["compare"]["pull"]["entries"].get<int64_t>(), 0);
  EXPECT_NE(changed["compare"]["pull"]["total"], changed["pull"]["total"]);
}

}  // namespace
}  // namespace fvscope
