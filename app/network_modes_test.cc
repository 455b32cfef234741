// Runs with a HalfKP network through the real executable: the leaf's block
// and ranking, a game, a comparison with a table, packed records whose
// scores are the network's own values, shards merged, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "eval/network/network_eval.h"
#include "eval/piece_features.h"
#include "shogi/csa_record.h"
#include "shogi/notation.h"
#include "shogi/packed_position.h"
#include "test/eval_files.h"
#include "test/kif_writer.h"
#include "test/random_games.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// The material balance in MaterialNetwork's units, from black's view.
int MaterialUnitsOf(const Position& p) {
  int sum = 0;
  for (int s = 0; s < kSquares; ++s) {
    const int c = p.cells[s];
    sum += (c > 0 ? 1 : c < 0 ? -1 : 0) * kMaterialUnits[KindOf(c)];
  }
  for (int h = 0; h < kHandKinds; ++h) {
    sum += kMaterialUnits[h + 1] * (p.cells[HandSlot(kBlack, h)] - p.cells[HandSlot(kWhite, h)]);
  }
  return sum;
}

// A working folder with the material network, a random one and a small table.
struct NetworkFolder {
  NetworkFolder() {
    dir.Write("work/.keep", "");
    path = dir.File("work");
    EXPECT_TRUE(WriteNetworkFile(path + "/material.bin", MaterialNetwork()));
    EXPECT_TRUE(WriteNetworkFile(path + "/nn.bin", RandomNetwork({256, 32, 32}, 4)));
    WriteEvalFile(path + "/fv.bin", {{KppOffset(76, 733, 139), 300}});
  }
  ToolRun Run(const std::string& args) const { return RunTool(path, args); }
  nlohmann::json Json(const std::string& name) const {
    return nlohmann::json::parse(ReadWholeFile(path + "/" + name));
  }
  ScratchDir dir;
  std::string path;
};

TEST(NetworkModes, ALeafIsTakenApartIntoItsInputs) {
  NetworkFolder folder;
  // Black has taken a bishop: 6 units ahead whoever is to move.
  const std::string position = "'--position=sfen lnsgkgsnl/1r7/ppppppppp/9/9/9/PPPPPPPPP/7R1/LNSGKGSNL b B 1'";
  ToolRun run = folder.Run("--fv=material.bin " + position + " --pv=7g7f --json=p.json --html=p.html --pieces");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("NETWORK: value = 6  z = -96  scale = 16  shape = 256/32/32  white to move"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("RANKING OF FEATURES:\n1: change = "), std::string::npos);
  EXPECT_NE(run.out.find("[+KA*1]"), std::string::npos);
  EXPECT_NE(run.out.find("need not add up"), std::string::npos);
  const auto document = folder.Json("p.json");
  EXPECT_EQ(document["value"], 6);
  EXPECT_EQ(document["network"]["shape"], nlohmann::json({256, 32, 32}));
  EXPECT_EQ(document["network"]["output"], -96);
  EXPECT_EQ(document["network"]["accumulators"]["black"]["zero"].get<int>() +
                document["network"]["accumulators"]["black"]["between"].get<int>() +
                document["network"]["accumulators"]["black"]["max"].get<int>(),
            256);
  ASSERT_EQ(document["features"].size(), 76u);
  EXPECT_FALSE(document.contains("kkp"));
  EXPECT_FALSE(document.contains("ranking"));
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/rank076.png"));
  EXPECT_FALSE(std::filesystem::exists(folder.path + "/log/rank077.png"));
  // The network reads only the side to move's view (white's): leaving out
  // the held bishop there takes the 6 units away; in black's view it changes
  // nothing.
  int seen = 0;
  for (const auto& f : document["features"]) {
    if (f["piece"] != "+KA*1") continue;
    EXPECT_EQ(f["change"], f["king"] == "-51OU" ? 6 : 0) << f;
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_NE(ReadWholeFile(folder.path + "/p.html").find("Ranking of features"), std::string::npos);
}

TEST(NetworkModes, AGameAndAComparisonGiveTheNetworksValues) {
  NetworkFolder folder;
  const std::vector<RecordPly> plies = RandomGamePlies(80, 21);
  std::string usi = "startpos moves";
  for (size_t i = 1; i < plies.size(); ++i) usi += " " + UsiMoveText(plies[i].move);
  folder.dir.Write("work/game.usi", usi + "\n");
  ToolRun run = folder.Run("--fv=material.bin --game=game.usi --json=g.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind(" ply  move      material   value\n", 0), 0u) << run.out;
  const auto game = folder.Json("g.json");
  ASSERT_EQ(game["plies"].size(), plies.size());
  for (size_t i = 0; i < plies.size(); ++i) {
    EXPECT_EQ(game["plies"][i]["value"], MaterialUnitsOf(plies[i].position)) << i;
    EXPECT_FALSE(game["plies"][i].contains("kkp"));
  }
  // A table against the network: the value under both, no ranking of terms.
  run = folder.Run("--fv=fv.bin --compare=material.bin '--position=" + usi + "' --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto compared = folder.Json("c.json");
  EXPECT_EQ(compared["compare"]["value"][1], MaterialUnitsOf(plies.back().position));
  EXPECT_FALSE(compared["compare"].contains("ranking"));
  EXPECT_EQ(run.out.find("RANKING OF CHANGES"), std::string::npos);
}

TEST(NetworkModes, APiecesSquaresAreTheLeafsValuesWithThePieceMoved) {
  NetworkFolder folder;
  // The leaf has white to move; white's rook of 82 goes to each empty square.
  ToolRun run = folder.Run("--fv=nn.bin --position=startpos --pv=7g7f --squares=-82HI "
                           "--json=s.json --html=s.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("SQUARES: -82HI value = "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("white to move  squares = 41"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n10: "), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/squares.png"));
  EXPECT_NE(ReadWholeFile(folder.path + "/s.html").find("squares.png"), std::string::npos);
  const auto found = folder.Json("s.json");
  ASSERT_EQ(found["mode"], "squares");
  const auto& squares = found["squares"];
  ASSERT_EQ(squares["squares"].size(), 41u);
  // Best for white first: the changes, from black's view, never fall.
  for (size_t i = 1; i < squares["squares"].size(); ++i) {
    EXPECT_GE(squares["squares"][i]["change"], squares["squares"][i - 1]["change"]);
  }
  // The leaf's value, and the best and worst squares, as position runs give them.
  const std::string leaf_board = "lnsgkgsnl/1r5b1/ppppppppp/9/9/2P6/PP1PPPPPP/1B5R1/LNSGKGSNL";
  const auto value_of = [&](const std::string& board) {
    const ToolRun r = folder.Run("--fv=nn.bin '--position=sfen " + board + " w - 1' --json=v.json");
    EXPECT_EQ(r.status, 0) << r.err;
    return folder.Json("v.json")["value"].get<int>();
  };
  EXPECT_EQ(squares["value"].get<int>(), value_of(leaf_board));
  for (const auto& entry : {squares["squares"].front(), squares["squares"].back()}) {
    const std::string square = entry["square"];
    // The leaf's ranks, each of nine cells, with the rook of 82 moved.
    std::vector<std::string> ranks(1);
    for (char c : leaf_board) {
      if (c == '/') ranks.emplace_back();
      else if (c >= '1' && c <= '9') ranks.back() += std::string(c - '0', '.');
      else ranks.back() += c;
    }
    ranks[1][1] = '.';
    const int file = square[0] - '0', rank = square[1] - '0';
    ranks[rank - 1][9 - file] = 'r';
    std::string board;
    for (int r = 0; r < 9; ++r) {
      int empty = 0;
      for (char c : ranks[r]) {
        if (c == '.') {
          ++empty;
          continue;
        }
        if (empty > 0) board += std::to_string(empty);
        empty = 0;
        board += c;
      }
      if (empty > 0) board += std::to_string(empty);
      if (r < 8) board += '/';
    }
    EXPECT_EQ(entry["value"].get<int>(), value_of(board)) << square;
    EXPECT_EQ(entry["change"].get<int>(), entry["value"].get<int>() - squares["value"].get<int>());
  }
}

TEST(NetworkModes, ACensusOfANetworkAndOfItsChange) {
  NetworkFolder folder;
  ToolRun run = folder.Run("--fv=nn.bin --census --json=c.json --html=c.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("CENSUS: network 256/32/32\ntransformer  weights count = 32099328", 0), 0u)
      << run.out;
  EXPECT_NE(run.out.find("\nDEAD: layer1 ="), std::string::npos);
  const auto census = folder.Json("c.json");
  ASSERT_EQ(census["mode"], "census");
  EXPECT_EQ(census["census"]["layers"].size(), 4u);
  EXPECT_EQ(census["census"]["layers"][3]["biases"]["count"], 1);
  ASSERT_EQ(census["census"]["kings"].size(), 81u);
  EXPECT_EQ(census["census"]["kings"][0]["square"], "91");
  EXPECT_TRUE(census["census"]["dead"]["layer1"].is_array());
  EXPECT_TRUE(census["census"]["dead"]["layer2"].is_array());
  EXPECT_FALSE(census.contains("compare"));
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/census.png"));
  EXPECT_NE(ReadWholeFile(folder.path + "/c.html").find("Census of the network"), std::string::npos);
  // Against another network of the same shape: the change and the 150 inputs that moved most.
  ASSERT_TRUE(WriteNetworkFile(folder.path + "/nn2.bin", RandomNetwork({256, 32, 32}, 5)));
  run = folder.Run("--fv=nn.bin --compare=nn2.bin --census --json=d.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\nchange transformer  weights count = 32099328"), std::string::npos);
  EXPECT_NE(run.out.find("\nRANKING OF MOVED INPUTS:\n1: moved = "), std::string::npos);
  const auto compared = folder.Json("d.json");
  ASSERT_EQ(compared["compare"]["moved"].size(), 150u);
  EXPECT_GE(compared["compare"]["moved"][0]["moved"], compared["compare"]["moved"][149]["moved"]);
  EXPECT_EQ(compared["compare"]["kings"].size(), 81u);
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/rank150.png"));
}

TEST(NetworkModes, ANetworksMapShowsTheWeightsUnderAKing) {
  NetworkFolder folder;
  const NetworkParts parts = RandomNetwork({256, 32, 32}, 4);  // nn.bin
  const auto weight = [&](int king, int feature, int neuron) {
    return parts.weights[(int64_t{king} * kPieceFeatures + feature) * 256 + neuron];
  };
  ToolRun run = folder.Run("--fv=nn.bin --map=-51OU --neuron=7 --json=m.json --html=m.html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("MAP: -51OU (network, neuron 7)\n+FU\n", 0), 0u) << run.out;
  EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/map.png"));
  EXPECT_NE(ReadWholeFile(folder.path + "/m.html").find("map.png"), std::string::npos);
  const auto map = folder.Json("m.json")["map"];
  EXPECT_EQ(map["neuron"], 7);
  ASSERT_EQ(map["grids"].size(), 18u);
  ASSERT_EQ(map["hands"].size(), 14u);
  // White's king on 51 is 59 from white's view (index 4 * 9 + 8); a black gold
  // on 58 is an enemy gold on white's 52 (819 + 9 * 4 + 1); black's 2nd pawn held
  // is an enemy pawn in hand (20 + 1).
  EXPECT_EQ(map["king_index"], 44);
  EXPECT_EQ(map["grids"][4]["piece"], "+KI");
  EXPECT_EQ(map["grids"][4]["values"][SquareOf(5, 8)], weight(44, 856, 7));
  EXPECT_TRUE(map["grids"][4]["values"][SquareOf(5, 1)].is_null());
  EXPECT_EQ(map["hands"][0]["piece"], "+FU*");
  EXPECT_EQ(map["hands"][0]["values"][1], weight(44, 21, 7));
  // Without --neuron: each feature's magnitude.
  run = folder.Run("--fv=nn.bin --map=+59OU --json=n.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto magnitudes = folder.Json("n.json")["map"];
  EXPECT_TRUE(magnitudes["neuron"].is_null());
  double squares = 0;
  for (int i = 0; i < 256; ++i) squares += double(weight(44, 738 + 9 * 4 + 7, i)) * weight(44, 738 + 9 * 4 + 7, i);
  EXPECT_NEAR(magnitudes["grids"][4]["values"][SquareOf(5, 8)].get<double>(), std::sqrt(squares), 1e-9);
}

TEST(NetworkModes, PackedRecordsScoredWithTheNetworkAgreeExactly) {
  NetworkFolder folder;
  ScratchDir scratch;
  Network network;
  std::string error;
  ASSERT_TRUE(LoadNetwork((folder.path + "/nn.bin").c_str(), &network, &error)) << error;
  std::string psv;
  int records = 0;
  // Each view's distinct inputs, counted directly.
  std::map<int, int64_t> views_of_input;
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    const std::vector<RecordPly> plies = RandomGamePlies(120, seed);
    const GameRecord game = GameOfPlies(plies);
    folder.dir.Write("work/games/" + std::to_string(seed) + ".csa", CsaText(game));
    for (const RecordPly& ply : plies) {
      PieceFeatureList list;
      ASSERT_TRUE(BuildPieceFeatures(ply.position, &list, &error));
      for (Side view : kSides) {
        std::set<int> inputs;
        for (int i = 0; i < list.count; ++i) {
          inputs.insert(list.king[view] * kPieceFeatures + list.view[view][i].number);
        }
        for (int input : inputs) ++views_of_input[input];
      }
    }
    for (const RecordPly& ply : plies) {
      int32_t z, value;
      ASSERT_TRUE(EvaluateNetwork(network, NetworkPath::kPlain, ply.position, ply.to_move, &z,
                                  &value, &error));
      uint8_t bytes[40];
      const int32_t score = ply.to_move == kBlack ? value : -value;
      ASSERT_TRUE(EncodePackedRecord(ply.position, ply.to_move, score,
                                     seed % 2 ? GameResult::kBlackWins : GameResult::kWhiteWins,
                                     ply.ply, PackedFormat::kPsv, bytes));
      psv.append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(PackedFormat::kPsv));
      ++records;
    }
  }
  CloseNetwork(&network);
  folder.dir.Write("work/all.psv", psv);
  ToolRun run = folder.Run("--fv=nn.bin --corpus=all.psv --json=whole.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto whole = folder.Json("whole.json");
  EXPECT_EQ(whole["positions"], records);
  EXPECT_NEAR(whole["score"]["correlation"].get<double>(), 1.0, 1e-9);
  EXPECT_NEAR(whole["score"]["slope"].get<double>(), 1.0, 1e-9);
  EXPECT_FALSE(whole.contains("usage"));
  // The use of the inputs: every view counted, the most used input as counted here.
  const auto& use = whole["feature_use"];
  EXPECT_EQ(use["views"], 2 * records);
  EXPECT_EQ(use["active"], static_cast<int64_t>(views_of_input.size()));
  int64_t most = 0;
  for (const auto& [input, views] : views_of_input) most = std::max(most, views);
  ASSERT_GT(use["ranking"].size(), 0u);
  EXPECT_EQ(use["ranking"][0]["views"], most);
  EXPECT_EQ(views_of_input[use["ranking"][0]["input"].get<int>()], most);
  // The same positions as games take the games' route to the same counts.
  run = folder.Run("--fv=nn.bin --corpus=games --json=games.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(folder.Json("games.json")["feature_use"], use);
  // Two shards merged give the whole run; a partial of another file is refused.
  for (int shard = 1; shard <= 2; ++shard) {
    run = folder.Run("--fv=nn.bin --corpus=all.psv --shard=" + std::to_string(shard) +
                     "/2 --partial=p" + std::to_string(shard));
    ASSERT_EQ(run.status, 0) << run.err;
  }
  run = folder.Run("--fv=nn.bin --merge=p2 --merge=p1 --json=merged.json");
  ASSERT_EQ(run.status, 0) << run.err;
  nlohmann::json merged = folder.Json("merged.json");
  EXPECT_EQ(merged["score"], whole["score"]);
  EXPECT_EQ(merged["feature_use"], use);
  EXPECT_EQ(merged["fit"], whole["fit"]);
  run = folder.Run("--fv=nn.bin --fv-scale=24 --merge=p2 --merge=p1");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("another evaluation file"), std::string::npos) << run.err;
}

// The ACTIVATIONS: block of a run's text, to the end of its histogram.
std::string ActivationsBlock(const std::string& out) {
  const size_t from = out.find("ACTIVATIONS:");
  if (from == std::string::npos) return "";
  const size_t to = out.find(">= 384: ", from);
  return out.substr(from, out.find('\n', to) - from);
}

TEST(NetworkModes, ActivationsOverACorpusAgreeOnEveryRouteAndMerge) {
  NetworkFolder folder;
  Network network;
  std::string error;
  ASSERT_TRUE(LoadNetwork((folder.path + "/nn.bin").c_str(), &network, &error)) << error;
  std::string psv;
  int records = 0;
  // Each transformer neuron's outputs over both views, and each hidden
  // layer's totals, counted position by position through the plain pass.
  std::vector<std::array<int64_t, 3>> transformer(256);
  int64_t hidden[2][3] = {};
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const std::vector<RecordPly> plies = RandomGamePlies(90, seed);
    const GameRecord game = GameOfPlies(plies);
    folder.dir.Write("work/games/" + std::to_string(seed) + ".csa", CsaText(game));
    for (const RecordPly& ply : plies) {
      PieceFeatureList list;
      ASSERT_TRUE(BuildPieceFeatures(ply.position, &list, &error));
      Accumulator acc[2];
      for (Side view : kSides) {
        Accumulate(network, NetworkPath::kPlain, list.king[view], list.view[view], list.count,
                   &acc[view]);
        for (int j = 0; j < 256; ++j) {
          const int v = acc[view].values[j];
          ++transformer[j][v <= 0 ? 0 : v >= 127 ? 2 : 1];
        }
      }
      LayerCounts counts;
      Propagate(network, NetworkPath::kPlain, acc[ply.to_move], acc[Opponent(ply.to_move)], &counts);
      for (int l = 0; l < 2; ++l) {
        hidden[l][0] += counts.hidden[l].zero;
        hidden[l][1] += counts.hidden[l].between;
        hidden[l][2] += counts.hidden[l].max;
      }
      uint8_t bytes[40];
      ASSERT_TRUE(EncodePackedRecord(ply.position, ply.to_move, 0, GameResult::kBlackWins, ply.ply,
                                     PackedFormat::kPsv, bytes));
      psv.append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(PackedFormat::kPsv));
      ++records;
    }
  }
  CloseNetwork(&network);
  folder.dir.Write("work/all.psv", psv);
  ToolRun run = folder.Run("--fv=nn.bin --corpus=all.psv --activations --json=whole.json");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string whole_text = ActivationsBlock(run.out);
  ASSERT_FALSE(whole_text.empty()) << run.out;
  const auto whole = folder.Json("whole.json")["activations"];
  EXPECT_EQ(whole["positions"], records);
  ASSERT_EQ(whole["transformer"].size(), 256u);
  for (int j = 0; j < 256; ++j) {
    EXPECT_EQ(whole["transformer"][j], nlohmann::json(transformer[j])) << "neuron " << j;
  }
  for (int l = 0; l < 2; ++l) {
    const auto& layer = whole[l == 0 ? "layer1" : "layer2"];
    int64_t totals[3] = {};
    for (const auto& triple : layer) {
      for (int k = 0; k < 3; ++k) totals[k] += triple[k].get<int64_t>();
      EXPECT_EQ(triple[0].get<int64_t>() + triple[1].get<int64_t>() + triple[2].get<int64_t>(), records);
    }
    EXPECT_EQ(totals[0], hidden[l][0]);
    EXPECT_EQ(totals[1], hidden[l][1]);
    EXPECT_EQ(totals[2], hidden[l][2]);
  }
  int64_t binned = 0;
  for (const auto& count : whole["histogram"]["counts"]) binned += count.get<int64_t>();
  EXPECT_EQ(binned, 2 * 256 * records);
  for (const char* picture : {"transformer", "layer1", "layer2", "preclamp"}) {
    EXPECT_TRUE(std::filesystem::exists(folder.path + "/log/" + picture + ".png")) << picture;
  }
  // The same positions as games take the games' route to the same counts.
  run = folder.Run("--fv=nn.bin --corpus=games --activations --json=games.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(folder.Json("games.json")["activations"], whole);
  // Three shards merged give the whole run's text and JSON.
  for (int shard = 1; shard <= 3; ++shard) {
    run = folder.Run("--fv=nn.bin --corpus=all.psv --activations --shard=" +
                     std::to_string(shard) + "/3 --partial=p" + std::to_string(shard));
    ASSERT_EQ(run.status, 0) << run.err;
  }
  run = folder.Run("--fv=nn.bin --merge=p3 --merge=p1 --merge=p2 --json=merged.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ActivationsBlock(run.out), whole_text);
  EXPECT_EQ(folder.Json("merged.json")["activations"], whole);
  // A shard without the activations does not merge with those that have them.
  run = folder.Run("--fv=nn.bin --corpus=all.psv --shard=2/3 --partial=q2");
  ASSERT_EQ(run.status, 0) << run.err;
  run = folder.Run("--fv=nn.bin --merge=p1 --merge=q2 --merge=p3");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("q2: made without --activations, unlike p1"), std::string::npos) << run.err;
  run = folder.Run("--fv=nn.bin --merge=q2 --merge=p1 --merge=p3");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("p1: made with --activations, unlike q2"), std::string::npos) << run.err;
  // Without --activations the run has none of them.
  run = folder.Run("--fv=nn.bin --corpus=all.psv --json=plain.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(folder.Json("plain.json").contains("activations"));
  EXPECT_EQ(run.out.find("ACTIVATIONS:"), std::string::npos);
}

TEST(NetworkModes, BadInputIsRefusedWithItsReason) {
  NetworkFolder folder;
  const std::string good = NetworkFileContents(EmptyNetwork({256, 32, 32}));
  std::string bad_hash = good, halfka = NetworkFileContents([] {
    NetworkParts parts = EmptyNetwork({256, 32, 32});
    parts.architecture = ArchitectureText({256, 32, 32});
    parts.architecture.replace(parts.architecture.find("HalfKP"), 6, "HalfKA_hm");
    return parts;
  }());
  bad_hash[4] ^= 0x10;
  std::string long_text = good.substr(0, 12);
  long_text[8] = '\x01';
  long_text[9] = '\x20';  // 8,193 bytes of text
  folder.dir.Write("work/short.bin", good.substr(0, good.size() - 2));
  folder.dir.Write("work/hash.bin", bad_hash);
  folder.dir.Write("work/halfka.bin", halfka);
  folder.dir.Write("work/text.bin", long_text + std::string(100, 'x'));
  EXPECT_TRUE(WriteNetworkFile(folder.path + "/narrow.bin", EmptyNetwork({256, 16, 32})));
  const struct {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"--fv=short.bin --pv=7g7f", 1, "short.bin: a network of shape 256/32/32 is 64217066 bytes; this file is 64217064"},
      {"--fv=hash.bin --pv=7g7f", 1, "hash.bin: the file hash is 0x3E5AA6FE, expected 0x3E5AA6EE"},
      {"--fv=halfka.bin --pv=7g7f", 1, "has the feature set HalfKA_hm"},
      {"--fv=text.bin --pv=7g7f", 1, "more than 4096"},
      {"--fv=nn.bin --fv-scale=0 --pv=7g7f", 2, "--fv-scale takes a number from 1 to 128"},
      {"--fv=nn.bin --fv-scale=129 --pv=7g7f", 2, "--fv-scale"},
      {"--fv=nn.bin --fv-scale=1.5 --pv=7g7f", 2, "--fv-scale"},
      {"--fv=fv.bin --fv-scale=24 --pv=7g7f", 2, "neither evaluation file is a network"},
      {"--fv=nn.bin 0 40", 2, "nn.bin: a network; a table scan needs a table"},
      {"--fv=fv.bin --compare=nn.bin 0 40", 2, "nn.bin: a network; a table scan"},
      {"--fv=nn.bin --map=+59OU:+58KI", 2, "--map=KING:PIECE (or --map with --compare) needs a table"},
      {"--fv=nn.bin --map=+59OU --neuron=256", 2, "--neuron 256 is outside 0..255 (the network is 256 wide)"},
      {"--fv=nn.bin --neuron=3 --position=startpos", 2, "--neuron needs --map=KING with a network"},
      {"--fv=fv.bin --map=+59OU:+58KI --neuron=3", 2, "--neuron picks a neuron of a network's map; fv.bin is a table"},
      {"--fv=nn.bin --map=+58KI", 2, "--map \"+58KI\" is not a king on the board"},
      {"--fv=nn.bin --compare=nn.bin --map=+59OU", 2, "--map with --compare) needs a table"},
      {"--fv=nn.bin --compare=fv.bin --census", 2, "--census --compare takes two files of one family; nn.bin is a network, fv.bin a table"},
      {"--fv=nn.bin --compare=narrow.bin --census", 2, "--census --compare takes two networks of one shape; nn.bin is 256/32/32, narrow.bin 256/16/32"},
      {"--fv=nn.bin --corpus=x.csa --lambda=0.5", 2, "--lambda needs a table"},
      {"--fv=nn.bin --position=startpos --squares=+55KI", 2, "+55KI: no such piece"},
      {"--fv=nn.bin --position=startpos --squares=+KI*", 2, "black holds no gold"},
      {"--fv=nn.bin --position=startpos --squares=+5KI", 2, "--squares \"+5KI\" is neither"},
      {"--fv=nn.bin --squares=+59OU", 2, "--squares needs --position"},
      {"--fv=fv.bin --position=startpos --squares=+59OU 0 40", 2, "--squares moves a piece"},
      {"--fv=nn.bin --corpus=x.csa --squares=+59OU", 2, "a corpus run (--corpus, --merge) takes no --squares"},
      {"--fv=fv.bin --corpus=x.csa --activations", 2, "--activations counts a network's neurons; fv.bin is a table"},
      {"--fv=fv.bin --compare=nn.bin --corpus=x.csa --activations", 2, "fv.bin is a table"},
      {"--fv=nn.bin --position=startpos --activations", 2, "--activations counts a network's neurons over a corpus: it needs --corpus or --merge"},
      {"--fv=nn.bin --activations", 2, "it needs --corpus or --merge"},
      {"--fv=nn.bin --census --activations", 2, "it needs --corpus or --merge"},
  };
  for (const auto& c : cases) {
    const ToolRun run = folder.Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
  }
}

}  // namespace
}  // namespace fvscope
