// A network's activations over positions: the grouped batch on every path,
// the per-position pass and the evaluator's block against a count made here
// from the parts as written; the counts' bytes and their merge.
#include "eval/network/activations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "eval/evaluator.h"
#include "eval/network/network_batch.h"
#include "eval/piece_features.h"
#include "test/random_games.h"
#include "test/scratch_dir.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// Counts one output v (before its clamp) of a neuron.
void CountOutput(int v, NeuronActivity* n) {
  if (v <= 0) {
    ++n->zero;
  } else if (v >= 127) {
    ++n->max;
  } else {
    ++n->between;
  }
  n->sum += static_cast<uint64_t>(std::clamp(v, 0, 127));
}

// The activations of plies counted straight from the parts: each view's
// accumulator summed in 16 bits, each layer's sums shifted, every output
// classified on its own.
Activations ReferenceCount(const NetworkParts& n, const std::vector<RecordPly>& plies) {
  const int w = n.shape.w;
  Activations a;
  const int widths[3] = {w, n.shape.h1, n.shape.h2};
  for (int l = 0; l < 3; ++l) {
    a.widths[l] = widths[l];
    a.layers[l].resize(widths[l]);
  }
  for (const RecordPly& ply : plies) {
    PieceFeatureList list;
    std::string error;
    EXPECT_TRUE(BuildPieceFeatures(ply.position, &list, &error));
    std::vector<int16_t> acc[2];
    for (Side view : kSides) {
      acc[view].assign(n.biases.begin(), n.biases.end());
      for (int i = 0; i < list.count; ++i) {
        const size_t row = (static_cast<size_t>(list.king[view]) * 1548 + list.view[view][i].number) * w;
        for (int j = 0; j < w; ++j) acc[view][j] = static_cast<int16_t>(acc[view][j] + n.weights[row + j]);
      }
      for (int j = 0; j < w; ++j) {
        CountOutput(acc[view][j], &a.layers[0][j]);
        const int v = acc[view][j];
        const int bin = v < -256 ? 0 : v >= 384 ? 41 : (v + 256) / 16 + 1;
        ++a.histogram[bin];
      }
    }
    std::vector<int> x;
    for (Side view : {ply.to_move, Opponent(ply.to_move)}) {
      for (int j = 0; j < w; ++j) x.push_back(std::clamp<int>(acc[view][j], 0, 127));
    }
    const auto layer = [](const std::vector<int32_t>& b, const std::vector<int8_t>& wt, int stride,
                          const std::vector<int>& in, std::vector<NeuronActivity>* counts) {
      std::vector<int> out;
      for (size_t o = 0; o < b.size(); ++o) {
        uint32_t y = static_cast<uint32_t>(b[o]);
        for (size_t i = 0; i < in.size(); ++i) y += static_cast<uint32_t>(wt[o * stride + i] * in[i]);
        const int shifted = static_cast<int32_t>(y) >> 6;
        CountOutput(shifted, &(*counts)[o]);
        out.push_back(std::clamp(shifted, 0, 127));
      }
      return out;
    };
    const std::vector<int> h1 = layer(n.b1, n.w1, PaddedWidth(2 * w), x, &a.layers[1]);
    layer(n.b2, n.w2, PaddedWidth(n.shape.h1), h1, &a.layers[2]);
    ++a.positions;
  }
  return a;
}

void ExpectSameCounts(const Activations& got, const Activations& want, const std::string& what) {
  ASSERT_EQ(got.positions, want.positions) << what;
  for (int l = 0; l < kActivationLayers; ++l) {
    ASSERT_EQ(got.widths[l], want.widths[l]) << what;
    for (int j = 0; j < want.widths[l]; ++j) {
      const NeuronActivity& g = got.layers[l][j];
      const NeuronActivity& e = want.layers[l][j];
      ASSERT_TRUE(g.zero == e.zero && g.between == e.between && g.max == e.max && g.sum == e.sum)
          << what << ": " << ActivationLayerName(l) << " neuron " << j << ": " << g.zero << "/"
          << g.between << "/" << g.max << "/" << g.sum << " against " << e.zero << "/" << e.between
          << "/" << e.max << "/" << e.sum;
    }
  }
  for (int b = 0; b < kPreClampBins; ++b) ASSERT_EQ(got.histogram[b], want.histogram[b]) << what << " bin " << b;
}

// Positions of games, with pieces in hand and kings on many squares.
std::vector<RecordPly> GamePositions(size_t at_least) {
  std::vector<RecordPly> plies;
  for (uint32_t seed = 1; plies.size() < at_least; ++seed) {
    for (const RecordPly& ply : RandomGamePlies(150, seed)) plies.push_back(ply);
  }
  return plies;
}

TEST(Activations, EveryRouteAndPathCountsAsTheDefinition) {
  const struct {
    NetworkShape shape;
    int weight_range;  // 3000 makes most accumulators wrap
  } cases[] = {{{256, 32, 32}, 16}, {{256, 32, 32}, 3000}, {{512, 16, 32}, 40}, {{1024, 8, 32}, 16}};
  // More views than a tally's short counters hold, so that they are emptied on the way.
  const std::vector<RecordPly> plies = GamePositions(700);
  for (const auto& c : cases) {
    const NetworkParts parts = RandomNetwork(c.shape, c.shape.w + c.weight_range, c.weight_range);
    ScratchDir dir;
    const std::string path = dir.File("nn.bin");
    ASSERT_TRUE(WriteNetworkFile(path, parts));
    Evaluator file;
    std::string error, warning;
    ASSERT_TRUE(LoadEvaluator(path, {}, &file, &error, &warning)) << error;
    const Network& network = file.network;
    const Activations want = ReferenceCount(parts, plies);
    const std::string shape = std::to_string(c.shape.w) + "/" + std::to_string(c.shape.h1) + "/" +
                              std::to_string(c.shape.h2) + " range " + std::to_string(c.weight_range);
    // Some of every kind of output, so that a class mixed up would show.
    uint64_t kinds[3] = {};
    for (const NeuronActivity& n : want.layers[0]) kinds[0] += n.zero, kinds[1] += n.between, kinds[2] += n.max;
    EXPECT_GT(kinds[0] * kinds[1] * kinds[2], 0u) << shape;
    const int count = static_cast<int>(plies.size());
    std::vector<Position> positions;
    std::vector<uint8_t> taken(count, 1), to_move;
    for (const RecordPly& ply : plies) {
      positions.push_back(ply.position);
      to_move.push_back(static_cast<uint8_t>(ply.to_move));
    }
    for (NetworkPath route : {NetworkPath::kPlain, NetworkPath::kAvx2, NetworkPath::kAvx512}) {
      if (!NetworkPathRuns(route)) continue;
      const std::string what = shape + " path " + std::to_string(static_cast<int>(route));
      // The grouped batch, every king square in one tally: its short counters
      // are emptied on the way (the evaluator's block below keeps one a square).
      Activations batch_counts;
      StartActivations(&batch_counts, network);
      NetworkBatch batch;
      ResizeNetworkBatch(&batch, count, network.shape.w);
      PrepareNetworkBatch(&batch, positions.data(), taken.data(), to_move.data(), 0, count);
      GroupNetworkBatch(&batch);
      auto tally = std::make_unique<TransformerTally>();
      ClearTransformerTally(tally.get());
      for (int k = 0; k < kSquares; ++k) AccumulateNetworkKing(&batch, network, route, k, tally.get());
      AddTransformerTally(&batch_counts, tally.get());
      std::vector<int32_t> values(count), plain_values(count);
      LayerTally layers;
      PropagateNetworkBatch(batch, network, route, 0, count, values.data(), &layers);
      AddLayerTally(&batch_counts, layers);
      ExpectSameCounts(batch_counts, want, what + " batch");
      // Counting changes no value.
      NetworkBatch again;
      ResizeNetworkBatch(&again, count, network.shape.w);
      PrepareNetworkBatch(&again, positions.data(), taken.data(), to_move.data(), 0, count);
      GroupNetworkBatch(&again);
      for (int k = 0; k < kSquares; ++k) AccumulateNetworkKing(&again, network, route, k);
      PropagateNetworkBatch(again, network, route, 0, count, plain_values.data());
      ASSERT_EQ(values, plain_values) << what;
      // The per-position pass of the games' route.
      Activations one_by_one;
      StartActivations(&one_by_one, network);
      for (int i = 0; i < count; ++i) {
        int32_t z, value;
        ASSERT_TRUE(EvaluateNetworkCounting(network, route, positions[i], plies[i].to_move, &z,
                                            &value, &one_by_one, &error));
        ASSERT_EQ(value, values[i]) << what;
      }
      ExpectSameCounts(one_by_one, want, what + " per position");
    }
    // The evaluator's block, its king squares and chunks added under a lock.
    PositionBatch block;
    ResizeBatch(&block, count);
    for (int i = 0; i < count; ++i) {
      block.positions[i] = positions[i];
      block.taken[i] = 1;
      block.to_move[i] = to_move[i];
    }
    Activations counted;
    StartActivations(&counted, network);
    const ParallelFor serial = [](int n, const std::function<void(int)>& work) {
      for (int i = 0; i < n; ++i) work(i);
    };
    ValueBatchApart(&block, count, file, 0, serial, &counted);
    ExpectSameCounts(counted, want, shape + " evaluator");
    // The games' route through EvaluatePlies: one game's plies.
    const std::vector<RecordPly> game = RandomGamePlies(150, 1);
    Activations of_game;
    StartActivations(&of_game, network);
    std::vector<PositionFigures> figures;
    ASSERT_TRUE(EvaluatePlies(game, 0, file, nullptr, &figures, nullptr, nullptr, &error, &of_game));
    ExpectSameCounts(of_game, ReferenceCount(parts, game), shape + " plies");
    CloseEvaluator(&file);
  }
}

TEST(Activations, BytesRoundTripMergesAddAndBadCountsAreRefused) {
  const NetworkParts parts = RandomNetwork({256, 16, 32}, 9);
  const std::vector<RecordPly> plies = GamePositions(200);
  const std::vector<RecordPly> first(plies.begin(), plies.begin() + 77);
  const std::vector<RecordPly> second(plies.begin() + 77, plies.end());
  Activations a = ReferenceCount(parts, first);
  const Activations b = ReferenceCount(parts, second);
  std::string error;
  Activations decoded;
  ASSERT_TRUE(DecodeActivations(EncodeActivations(b), &decoded, &error)) << error;
  ExpectSameCounts(decoded, b, "decoded");
  ASSERT_TRUE(MergeActivations(&a, decoded, &error)) << error;
  ExpectSameCounts(a, ReferenceCount(parts, plies), "merged");
  // Another shape does not merge.
  Activations other = ReferenceCount(RandomNetwork({256, 32, 32}, 9), first);
  EXPECT_FALSE(MergeActivations(&a, other, &error));
  EXPECT_NE(error.find("256/32/32, not 256/16/32"), std::string::npos) << error;
  // Bytes cut short, counts that do not add up, a histogram of another total.
  const std::string bytes = EncodeActivations(b);
  const auto refused = [&](std::string changed, const char* says) {
    Activations out;
    std::string why;
    EXPECT_FALSE(DecodeActivations(changed, &out, &why)) << says;
    EXPECT_NE(why.find(says), std::string::npos) << why;
  };
  refused(bytes.substr(0, bytes.size() - 1), "bytes, not");
  refused(bytes.substr(0, 20), "cut short");
  std::string wide = bytes;
  wide[1] = 8;  // 2,048 + 0 neurons
  refused(wide, "transformer has 2048 neurons");
  const size_t first_neuron = 12 + 8 + 8 * kPreClampBins;
  std::string uneven = bytes;
  ++uneven[first_neuron];  // one more at 0 than outputs
  refused(uneven, "transformer neuron 0 has counts that do not add up");
  std::string binned = bytes;
  ++binned[20];
  refused(binned, "histogram holds");
  std::string summed = bytes;
  summed[first_neuron + 24 + 7] = 0x7F;  // a sum past 127 a view
  refused(summed, "transformer neuron 0 has counts");
}

}  // namespace
}  // namespace fvscope
