// Runs with a KPPT set through the real executable: a leaf's terms part by
// part, a game and packed records against the set's values in process, two
// sets compared, and folders that hold no set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "eval/evaluator.h"
#include "shogi/csa_record.h"
#include "shogi/notation.h"
#include "shogi/packed_position.h"
#include "test/kppt_folder.h"
#include "test/random_games.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

TEST(KpptModes, ALeafsTermsArePrintedPartByPart) {
  KpptWorkFolder folder;
  // Black's king on 5i (44) values its 7g pawn (150) with its 2h rook
  // (1224 + 16): 320 on the board, 64 to the side to move; symmetric.
  WriteSparseKppt(folder.path + "/set", KpptLayout::kKppt16,
                  {{KppAt(44, 1240, 150), 320}, {KppAt(44, 1240, 150) + 2, 64},
                   {KppAt(44, 150, 1240), 320}, {KppAt(44, 150, 1240) + 2, 64}});
  ToolRun run = folder.Run("--fv=set --position=startpos --pv=3g3f --json=p.json --html=p.html --pieces");
  ASSERT_EQ(run.status, 0) << run.err;
  // White to move: the turn part counts for white. White's view reads the
  // same entry (its 8b rook and 3c pawn turned), subtracted on the board.
  const auto document = folder.Json("p.json");
  EXPECT_EQ(document["kppt"]["to_move"], "white");
  EXPECT_EQ(document["kppt"]["layout"], "KPPT, all 16-bit");
  EXPECT_EQ(document["kppt"]["kpp_black"], nlohmann::json({{"board", 320}, {"turn", -64}, {"sum", 256}}));
  EXPECT_EQ(document["kppt"]["kpp_white"], nlohmann::json({{"board", -320}, {"turn", -64}, {"sum", -384}}));
  EXPECT_EQ(document["kppt"]["total"]["sum"], -128);
  EXPECT_EQ(document["value"], -4);
  EXPECT_EQ(document["kppt"]["identity"], "0000000000000300");  // 2 x 320 + 2 x 64
  EXPECT_EQ(document["ranking"][0]["value"], -384);
  EXPECT_EQ(document["ranking"][0]["board"], 320);
  EXPECT_EQ(document["ranking"][0]["turn"], 64);
  EXPECT_EQ(document["ranking"][0]["king"].get<std::string>() + document["ranking"][0]["a"].get<std::string>() +
                document["ranking"][0]["b"].get<std::string>(),
            "-51OU-82HI-33FU");
  EXPECT_EQ(document["ranking"][1]["value"], 256);
  EXPECT_NE(run.out.find("KPPT: value = -4  KPPT, all 16-bit  identity 0x0000000000000300  white to move"),
            std::string::npos) << run.out;
  double shares = 0;
  for (const auto& piece : document["pieces"]) shares += piece["share"].get<double>();
  EXPECT_EQ(shares, -128);
  EXPECT_NE(ReadWholeFile(folder.path + "/p.html").find("KPPT terms"), std::string::npos);
  EXPECT_NE(ReadWholeFile(folder.path + "/report.html").find("evaluation value (KPPT)"), std::string::npos);
}

TEST(KpptModes, AGameRecordsAndAComparisonGiveTheSetsValues) {
  KpptWorkFolder folder;
  const std::string set = RandomKpptSet();
  Evaluator file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvaluator(set, {}, &file, &error, &warning)) << error;
  const std::vector<RecordPly> plies = RandomGamePlies(60, 21);
  std::string usi = "startpos moves";
  for (size_t i = 1; i < plies.size(); ++i) usi += " " + UsiMoveText(plies[i].move);
  folder.dir.Write("work/game.usi", usi + "\n");
  ToolRun run = folder.Run("--fv=" + set + " --game=game.usi --json=g.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto game = folder.Json("g.json");
  ASSERT_EQ(game["plies"].size(), plies.size());
  std::string psv;
  for (size_t i = 0; i < plies.size(); ++i) {
    PositionFigures figures;
    ASSERT_TRUE(EvaluatePosition(file, plies[i].position, plies[i].to_move, &figures, &error));
    EXPECT_EQ(game["plies"][i]["value"], figures.value) << i;
    // A record scored with the set's own value from the side to move's view.
    uint8_t bytes[64] = {};
    const int32_t own = plies[i].to_move == kBlack ? figures.value : -figures.value;
    ASSERT_TRUE(EncodePackedRecord(plies[i].position, plies[i].to_move, own, GameResult::kBlackWins,
                                   plies[i].ply, PackedFormat::kPsv, bytes));
    psv.append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(PackedFormat::kPsv));
  }
  folder.dir.Write("work/all.psv", psv);
  run = folder.Run("--fv=" + set + " --corpus=all.psv --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto corpus = folder.Json("c.json");
  EXPECT_EQ(corpus["positions"], static_cast<int>(plies.size()));
  EXPECT_NEAR(corpus["score"]["correlation"].get<double>(), 1.0, 1e-9);
  EXPECT_NEAR(corpus["score"]["slope"].get<double>(), 1.0, 1e-9);
  // Two sets of one layout: the pairs ranked by their change.
  const ToolRun compare = folder.Run("--fv=" + set + " --compare=" + set + " --position=startpos --pv=7g7f");
  ASSERT_EQ(compare.status, 0) << compare.err;
  EXPECT_NE(compare.out.find("RANKING OF CHANGES:\n"), std::string::npos) << compare.out;
  EXPECT_EQ(compare.out.find("1: change"), std::string::npos);
  CloseEvaluator(&file);
}

TEST(KpptModes, APiecesSquaresAreTheSetsValuesWithThePieceMoved) {
  KpptWorkFolder folder;
  // Black's king on 5i (slab 44): black's rook on each square with its 7g
  // pawn (150) is worth a known whole number of points, -4..4 by its rank.
  // White's view reads its 8b rook and 3c pawn at the same entry (that of
  // 2h), which it subtracts: the value is the rook's points less 2h's 3.
  const auto points = [](int s) { return RankOf(s) - 5; };
  std::vector<std::pair<int64_t, int16_t>> words;
  for (int s = 0; s < kSquares; ++s) {
    const int rook = 1224 + FeatureSquare(s);
    words.push_back({KppAt(44, rook, 150), static_cast<int16_t>(32 * points(s))});
    words.push_back({KppAt(44, 150, rook), static_cast<int16_t>(32 * points(s))});
  }
  WriteSparseKppt(folder.path + "/set", KpptLayout::kKppt16, words);
  ToolRun run = folder.Run("--fv=set --position=startpos --squares=+28HI --json=s.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto squares = folder.Json("s.json")["squares"];
  EXPECT_EQ(squares["value"], 0);
  // Ranks 4 to 6 and the empty squares of ranks 2 and 8.
  ASSERT_EQ(squares["squares"].size(), 27u + 7u + 7u);
  for (const auto& entry : squares["squares"]) {
    const std::string name = entry["square"];
    EXPECT_EQ(entry["value"], points(SquareOf(name[0] - '0', name[1] - '0')) - 3) << name;
  }
  EXPECT_EQ(squares["squares"][0]["value"], 0);  // rank 8 is the best black's rook reaches
  // The rook on 55 evaluated directly.
  run = folder.Run("--fv=set --position=\"sfen lnsgkgsnl/1r5b1/ppppppppp/9/4R4/9/PPPPPPPPP/1B7/LNSGKGSNL b - 1\" --json=p.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(folder.Json("p.json")["value"], -3);
  const auto on55 = std::find_if(squares["squares"].begin(), squares["squares"].end(),
                                 [](const auto& entry) { return entry["square"] == "55"; });
  ASSERT_NE(on55, squares["squares"].end());
  EXPECT_EQ((*on55)["value"], -3);
}

TEST(KpptModes, FoldersThatHoldNoSetAreRefusedWithWhatWasFound) {
  KpptWorkFolder folder;
  const std::string at = folder.path + "/";
  WriteSparseKppt(at + "short", KpptLayout::kKppt32, {}, KppFileBytes(KpptLayout::kKppt32) - 2);
  WriteSparseKppt(at + "mix", KpptLayout::kKppt32, {});
  WriteSparseKppt(at + "mix", KpptLayout::kNoKk, {});
  WriteSparseKppt(at + "some", KpptLayout::kKppt16, {});
  std::filesystem::remove(at + "some/KKP_synthesized.bin");
  WriteSparseKppt(at + "dir", KpptLayout::kNoKk, {});
  std::filesystem::remove(at + "dir/KPP.bin");
  std::filesystem::create_directory(at + "dir/KPP.bin");
  std::filesystem::create_directory(at + "empty");
  // An asymmetric entry: evaluated, with a warning naming it.
  WriteSparseKppt(at + "asym", KpptLayout::kKppt32, {{KppAt(44, 900, 70), 5}});
  folder.dir.Write("work/t.bin", std::string(64, '\0'));
  const struct {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"--fv=short --position=startpos", 1, "short: no KPPT set: found KK_synthesized.bin (52488 bytes), KKP_synthesized.bin (81251424 bytes), KPP_synthesized.bin (776402494 bytes); reads KPPT, 32-bit KK/KKP: KK_synthesized.bin 52488"},
      {"--fv=mix --position=startpos", 1, "mix: a mix of layouts: found KK_synthesized.bin"},
      {"--fv=some --position=startpos", 1, "some: no KPPT set: found KK_synthesized.bin (26244 bytes), KPP_synthesized.bin (776402496 bytes)"},
      {"--fv=dir --position=startpos", 1, "dir/KPP.bin: not a regular file"},
      {"--fv=empty --position=startpos", 1, "empty: no KPPT set: found none of its files"},
      {"--fv=asym --position=startpos --pv=7g7f", 0, "asym: KPP is not symmetric: [44][70][900] = {0, 0} but [44][900][70] = {5, 0}"},
      {"--fv=asym --compare=empty --position=startpos", 1, "empty: no KPPT set"},
      {"--fv=asym --compare=t.bin --corpus=. --lambda=0.5", 2, "asym: a KPPT set with a table (fv.bin); --lambda pulls the entries a corpus uses, counted when both files are tables or both KPPT sets"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = folder.Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace fvscope
