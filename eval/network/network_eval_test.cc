// The network's file, features and forward pass against a reference written
// here from the file's definition, on random networks of several shapes.
#include "eval/network/network_eval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>

#include "eval/network/network_breakdown.h"
#include "eval/network/network_file.h"
#include "test/positions.h"
#include "test/random_games.h"
#include "test/scratch_dir.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// The forward pass straight from the definition, over the parts as written.
// The square of a position's cell in the features' numbering, 9 (file - 1) + rank - 1.
int Sq(int square) { return 9 * (FileOf(square) - 1) + (RankOf(square) - 1); }

// Every active input of a view, as the definition lists them.
std::vector<int> ReferenceFeatures(const Position& p, Side view) {
  static const int kFriend[15] = {0, 90, 252, 414, 576, 738, 900, 1224, 0, 738, 738, 738, 738, 1062, 1386};
  static const int kEnemy[15] = {0, 171, 333, 495, 657, 819, 981, 1305, 0, 819, 819, 819, 819, 1143, 1467};
  static const int kHandFriend[7] = {1, 39, 49, 59, 69, 79, 85};
  static const int kHandEnemy[7] = {20, 44, 54, 64, 74, 82, 88};
  std::vector<int> out;
  int pieces = 0;
  for (int s = 0; s < 81; ++s) {
    const int c = p.cells[s];
    if (c == 0 || c == 8 || c == -8) continue;
    ++pieces;
    const bool mine = (c > 0) == (view == kBlack);
    const int sq = view == kBlack ? Sq(s) : 80 - Sq(s);
    out.push_back((mine ? kFriend : kEnemy)[std::abs(c)] + sq);
  }
  for (Side holder : kSides) {
    for (int h = 0; h < 7; ++h) {
      const int n = p.cells[HandSlot(holder, h)];
      pieces += n;
      for (int k = 1; k <= n; ++k) out.push_back((holder == view ? kHandFriend : kHandEnemy)[h] + k - 1);
    }
  }
  for (; pieces < 38; ++pieces) out.push_back(0);
  return out;
}

int ReferenceKing(const Position& p, Side view) {
  return view == kBlack ? Sq(p.cells[kBlackKingCell]) : 80 - Sq(p.cells[kWhiteKingCell]);
}

// z by the definition, with one input of one view left out when skip_view >= 0.
int32_t ReferenceZ(const NetworkParts& n, const Position& p, Side to_move, int skip_view = -1,
                   int skip_index = -1) {
  const int w = n.shape.w;
  std::vector<int16_t> acc[2];
  for (Side view : kSides) {
    acc[view].assign(n.biases.begin(), n.biases.end());
    const std::vector<int> features = ReferenceFeatures(p, view);
    const int king = ReferenceKing(p, view);
    for (size_t i = 0; i < features.size(); ++i) {
      if (view == skip_view && static_cast<int>(i) == skip_index) continue;
      const size_t row = (static_cast<size_t>(king) * 1548 + features[i]) * w;
      for (int j = 0; j < w; ++j) acc[view][j] = static_cast<int16_t>(acc[view][j] + n.weights[row + j]);
    }
  }
  std::vector<int> x;
  for (Side view : {to_move, Opponent(to_move)}) {
    for (int j = 0; j < w; ++j) x.push_back(std::clamp<int>(acc[view][j], 0, 127));
  }
  const auto layer = [](const std::vector<int32_t>& b, const std::vector<int8_t>& wt, int stride,
                        const std::vector<int>& in) {
    std::vector<int> out;
    for (size_t o = 0; o < b.size(); ++o) {
      uint32_t y = static_cast<uint32_t>(b[o]);
      for (size_t i = 0; i < in.size(); ++i) y += static_cast<uint32_t>(wt[o * stride + i] * in[i]);
      out.push_back(std::clamp(static_cast<int32_t>(y) >> 6, 0, 127));
    }
    return out;
  };
  const std::vector<int> h1 = layer(n.b1, n.w1, PaddedWidth(2 * w), x);
  const std::vector<int> h2 = layer(n.b2, n.w2, PaddedWidth(n.shape.h1), h1);
  uint32_t z = static_cast<uint32_t>(n.b3);
  for (size_t i = 0; i < h2.size(); ++i) z += static_cast<uint32_t>(n.w3[i] * h2[i]);
  return static_cast<int32_t>(z);
}

// A network written and loaded from a scratch folder.
struct LoadedNetwork {
  ScratchDir dir;
  Network network;
  ~LoadedNetwork() { CloseNetwork(&network); }
};

std::unique_ptr<LoadedNetwork> Load(const NetworkParts& parts) {
  auto loaded = std::make_unique<LoadedNetwork>();
  const std::string path = loaded->dir.File("nn.bin");
  EXPECT_TRUE(WriteNetworkFile(path, parts));
  std::string error;
  EXPECT_TRUE(LoadNetwork(path.c_str(), &loaded->network, &error)) << error;
  return loaded;
}

TEST(NetworkFile, HashesAndSizesFollowTheirRules) {
  const NetworkShape common{256, 32, 32};
  EXPECT_EQ(LayersHash(common), 0x63337156u);
  EXPECT_EQ(TransformerHash(common), 0x5D69D7B8u);
  EXPECT_EQ(TransformerHash(common) ^ LayersHash(common), 0x3E5AA6EEu);
  const NetworkShape wide{512, 16, 32}, widest{1024, 8, 32};
  EXPECT_EQ(TransformerHash(wide) ^ LayersHash(wide), 0x3E5AA772u);
  EXPECT_EQ(TransformerHash(widest) ^ LayersHash(widest), 0x3E5AB7ECu);
  EXPECT_EQ(ArchitectureText(common).size(), 178u);
  EXPECT_EQ(NetworkFileBytes(common, 178), 64217066);
  NetworkShape read;
  std::string error;
  ASSERT_TRUE(ParseArchitecture(ArchitectureText(widest), &read, &error)) << error;
  EXPECT_EQ(read.w, 1024);
  EXPECT_EQ(read.h1, 8);
  // The early converter's input count and the sparse first layer read the same.
  std::string early = ArchitectureText(common);
  early.replace(early.find("125388"), 6, "41024");
  std::string sparse = ArchitectureText(common);
  sparse.replace(sparse.find("AffineTransform[32<-512]"), 24, "AffineTransformSparseInput[32<-512]");
  for (const std::string& text : {early, sparse}) {
    EXPECT_TRUE(ParseArchitecture(text, &read, &error)) << text;
  }
}

TEST(NetworkFile, RefusesWhatItDoesNotRead) {
  NetworkShape read;
  std::string error;
  const std::string common = ArchitectureText({256, 32, 32});
  std::string halfka = common;
  halfka.replace(halfka.find("HalfKP(Friend)"), 14, "HalfKA_hm(Friend)");
  EXPECT_FALSE(ParseArchitecture(halfka, &read, &error));
  EXPECT_NE(error.find("HalfKA_hm"), std::string::npos) << error;
  EXPECT_FALSE(ParseArchitecture("ModelType=x\n\x01", &read, &error));
  EXPECT_NE(error.find("\\x0a"), std::string::npos) << error;  // control characters escaped
  EXPECT_FALSE(ParseArchitecture(std::string(5000, 'A'), &read, &error));
  EXPECT_LT(error.size(), 400u);
  std::string odd_shape = ArchitectureText({300, 32, 32});
  EXPECT_FALSE(ParseArchitecture(odd_shape, &read, &error));
  std::string broken = common;
  broken.replace(broken.find("[32<-512]"), 9, "[32<-256]");
  EXPECT_FALSE(ParseArchitecture(broken, &read, &error));
}

TEST(NetworkFile, RefusesFilesCutShortLongerOrWithWrongHashes) {
  ScratchDir dir;
  const std::string good = NetworkFileContents(EmptyNetwork({256, 32, 32}));
  struct Case {
    std::string bytes;
    const char* why;
  };
  std::string bad_file_hash = good, bad_transformer = good, bad_layers = good, long_text = good;
  bad_file_hash[4] ^= 1;
  bad_transformer[12 + 178] ^= 1;
  bad_layers[12 + 178 + 4 + 2 * 256 + 2 * 256 * int64_t{kNetworkInputs}] ^= 1;
  long_text[8] = '\x10';
  long_text[9] = '\x27';  // 10,000 bytes of text
  const Case cases[] = {
      {good.substr(0, good.size() - 1), "64217066 bytes; this file is 64217065"},
      {good + "x", "this file is 64217067"},
      {bad_file_hash, "file hash is 0x3E5AA6EF, expected 0x3E5AA6EE"},
      {bad_transformer, "transformer hash"},
      {bad_layers, "network hash"},
      {long_text, "more than 4096"},
      {good.substr(0, 100), "bytes long, more than the file holds"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("nn.bin", c.bytes);
    Network network;
    std::string error;
    EXPECT_FALSE(LoadNetwork(path.c_str(), &network, &error)) << c.why;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_EQ(error.find(path), 0u) << error;
  }
}

TEST(PieceFeatures, StartingPositionHasTheListedNumbers) {
  std::vector<RecordPly> plies = RandomGamePlies(0, 1);
  PieceFeatureList list;
  std::string error;
  ASSERT_TRUE(BuildPieceFeatures(plies[0].position, &list, &error)) << error;
  EXPECT_EQ(list.king[kBlack], 44);
  EXPECT_EQ(list.king[kWhite], 44);
  std::set<int> expected = {260, 332, 333, 405, 431, 485, 504, 558, 602, 638, 675, 711,
                            773, 791, 846, 864, 970, 991, 1240, 1369};
  for (int f = 0; f < 9; ++f) {
    expected.insert(96 + 9 * f);
    expected.insert(173 + 9 * f);
  }
  for (Side view : kSides) {
    std::multiset<int> got;
    for (int i = 0; i < list.count; ++i) got.insert(list.view[view][i].number);
    EXPECT_EQ(got, std::multiset<int>(expected.begin(), expected.end())) << SideName(view);
  }
  // Each number decodes back to the piece it was made from, from black's view.
  for (int i = 0; i < list.count; ++i) {
    int cell, code;
    ASSERT_TRUE(DecodePieceFeature(list.view[kBlack][i].number, &cell, &code));
    EXPECT_EQ(cell, list.view[kBlack][i].cell);
    EXPECT_EQ(code, plies[0].position.cells[cell]);
  }
}

TEST(NetworkEval, BothPathsMatchTheReferenceOnEveryShape) {
  const struct {
    NetworkShape shape;
    int weight_range;  // 3000 makes most accumulators wrap
  } cases[] = {{{256, 32, 32}, 16}, {{256, 32, 32}, 3000}, {{512, 16, 32}, 16},
               {{1024, 8, 32}, 16}, {{256, 15, 100}, 40}, {{256, 128, 8}, 16}};
  // Positions of games, with pieces in hand and kings on many squares.
  std::vector<RecordPly> positions;
  for (uint32_t seed = 1; positions.size() < 300; ++seed) {
    for (const RecordPly& ply : RandomGamePlies(150, seed)) positions.push_back(ply);
  }
  for (const auto& c : cases) {
    const NetworkParts parts = RandomNetwork(c.shape, c.shape.w + c.shape.h1 + c.weight_range, c.weight_range);
    auto loaded = Load(parts);
    const Network& network = loaded->network;
    int clamped = 0, wrapped = 0;
    for (size_t n = 0; n < positions.size(); ++n) {
      const Position& p = positions[n].position;
      PieceFeatureList list;
      std::string error;
      ASSERT_TRUE(BuildPieceFeatures(p, &list, &error)) << error;
      const Side to_move = n % 3 ? positions[n].to_move : Opponent(positions[n].to_move);
      const int32_t want = ReferenceZ(parts, p, to_move);
      for (NetworkPath path : {NetworkPath::kPlain, NetworkPath::kAvx2, NetworkPath::kAvx512}) {
        if (!NetworkPathRuns(path)) continue;
        int32_t z, value;
        ASSERT_TRUE(EvaluateNetwork(network, path, p, to_move, &z, &value, &error));
        ASSERT_EQ(z, want) << "shape " << c.shape.w << "/" << c.shape.h1 << "/" << c.shape.h2;
        EXPECT_EQ(value, to_move == kBlack ? z / 16 : -(z / 16));
      }
      Accumulator acc;
      Accumulate(network, NetworkPath::kPlain, list.king[kBlack], list.view[kBlack], list.count, &acc);
      // The batch's route: clamped straight from the registers.
      uint8_t want_bytes[kMaxTransformerWidth], bytes[kMaxTransformerWidth];
      ClampAccumulator(network, NetworkPath::kPlain, acc, want_bytes);
      for (NetworkPath path : {NetworkPath::kAvx2, NetworkPath::kAvx512}) {
        if (!NetworkPathRuns(path)) continue;
        AccumulateClamped(network, path, list.king[kBlack], list.view[kBlack], list.count, bytes);
        ASSERT_EQ(std::memcmp(bytes, want_bytes, c.shape.w), 0);
      }
      const ClampCounts counts = CountClamps(network, acc);
      clamped += counts.max > 0;
      for (int j = 0; j < c.shape.w; ++j) wrapped += std::abs(acc.values[j]) > 20000;
    }
    if (c.weight_range == 16) {
      EXPECT_GT(clamped, 0);
    }
    if (c.weight_range == 3000) {
      EXPECT_GT(wrapped, 0);
    }
  }
}

TEST(NetworkEval, AnEarlyConvertersTextOfOddLengthReadsTheSameWeights) {
  // 41024 in place of 125388: the text is one byte shorter and the weights
  // stand at an odd offset, so the loader copies them.
  NetworkParts parts = RandomNetwork({256, 32, 32}, 12);
  auto even = Load(parts);
  parts.architecture = ArchitectureText({256, 32, 32});
  parts.architecture.replace(parts.architecture.find("125388"), 6, "41024");
  auto odd = Load(parts);
  ASSERT_EQ(odd->network.architecture.size(), 177u);
  EXPECT_FALSE(odd->network.copied.empty());
  for (const RecordPly& ply : RandomGamePlies(40, 8)) {
    int32_t z_even, z_odd, value;
    std::string error;
    ASSERT_TRUE(EvaluateNetwork(even->network, FastestNetworkPath(), ply.position, ply.to_move,
                                &z_even, &value, &error));
    ASSERT_TRUE(EvaluateNetwork(odd->network, FastestNetworkPath(), ply.position, ply.to_move,
                                &z_odd, &value, &error));
    EXPECT_EQ(z_even, z_odd);
  }
}

TEST(NetworkEval, TurningTheBoardAndTheColoursGivesTheSameOutput) {
  auto loaded = Load(RandomNetwork({256, 32, 32}, 3));
  const std::vector<RecordPly> plies = RandomGamePlies(120, 5);
  std::string error;
  int32_t z_black, z_white, value;
  ASSERT_TRUE(EvaluateNetwork(loaded->network, FastestNetworkPath(), plies[0].position, kBlack,
                              &z_black, &value, &error));
  ASSERT_TRUE(EvaluateNetwork(loaded->network, FastestNetworkPath(), plies[0].position, kWhite,
                              &z_white, &value, &error));
  EXPECT_EQ(z_black, z_white);
  for (const RecordPly& ply : plies) {
    int32_t z, twin;
    ASSERT_TRUE(EvaluateNetwork(loaded->network, FastestNetworkPath(), ply.position, ply.to_move,
                                &z, &value, &error));
    ASSERT_TRUE(EvaluateNetwork(loaded->network, FastestNetworkPath(), ColourSwapped(ply.position),
                                Opponent(ply.to_move), &twin, &value, &error));
    EXPECT_EQ(z, twin) << "ply " << ply.ply;
  }
}

TEST(NetworkEval, MaterialNetworkGivesTheMaterialBalance) {
  auto loaded = Load(MaterialNetwork());
  for (const RecordPly& ply : RandomGamePlies(200, 11)) {
    int expected = 0;
    for (int s = 0; s < kSquares; ++s) {
      const int c = ply.position.cells[s];
      expected += (c > 0 ? 1 : c < 0 ? -1 : 0) * kMaterialUnits[KindOf(c)];
    }
    for (int h = 0; h < kHandKinds; ++h) {
      expected += kMaterialUnits[h + 1] *
                  (ply.position.cells[HandSlot(kBlack, h)] - ply.position.cells[HandSlot(kWhite, h)]);
    }
    int32_t z, value;
    std::string error;
    ASSERT_TRUE(EvaluateNetwork(loaded->network, FastestNetworkPath(), ply.position, ply.to_move,
                                &z, &value, &error));
    EXPECT_EQ(value, expected) << "ply " << ply.ply;
  }
}

TEST(NetworkBreakdown, EachChangeIsTheValueWithoutThatInput) {
  const NetworkParts parts = RandomNetwork({256, 32, 32}, 9);
  auto loaded = Load(parts);
  const std::vector<RecordPly> plies = RandomGamePlies(60, 2);
  for (const RecordPly& ply : {plies[0], plies[37], plies.back()}) {
    NetworkBreakdown b;
    std::string error;
    ASSERT_TRUE(BreakDownNetwork(loaded->network, ply.position, ply.to_move, &b, &error));
    ASSERT_EQ(b.count, 76);
    const auto value_of = [&](int32_t z) { return ply.to_move == kBlack ? z / 16 : -(z / 16); };
    EXPECT_EQ(b.value, value_of(ReferenceZ(parts, ply.position, ply.to_move)));
    for (int i = 0; i < b.count; ++i) {
      const NetworkInput& in = b.inputs[i];
      const int32_t without = value_of(ReferenceZ(parts, ply.position, ply.to_move, in.view, i % 38));
      ASSERT_EQ(in.change, b.value - without) << i;
    }
    EXPECT_EQ(b.accumulators[0].zero + b.accumulators[0].between + b.accumulators[0].max, 256);
    EXPECT_EQ(b.hidden[1].zero + b.hidden[1].between + b.hidden[1].max, 32);
  }
}

}  // namespace
}  // namespace fvscope
