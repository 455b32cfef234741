// A network's maps against the weights of the features a position with the
// piece on that square (or in that hand) activates.
#include "eval/network/network_map.h"

#include <gtest/gtest.h>

#include <cmath>

#include "eval/piece_features.h"
#include "test/positions.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// The weights of the feature that the piece last added to p (an entry of
// p's feature list that no position without it has) gives in view's accumulator.
const int16_t* PieceWeights(const Network& network, const Position& without, const Position& with,
                            Side view) {
  PieceFeatureList a, b;
  std::string error;
  EXPECT_TRUE(BuildPieceFeatures(without, &a, &error)) << error;
  EXPECT_TRUE(BuildPieceFeatures(with, &b, &error)) << error;
  for (int i = 0; i < b.count; ++i) {
    bool old = false;
    for (int j = 0; j < a.count; ++j) old = old || a.view[view][j].number == b.view[view][i].number;
    if (!old) return InputWeights(network, b.king[view], b.view[view][i].number);
  }
  ADD_FAILURE() << "no new feature";
  return nullptr;
}

double Magnitude(const Network& network, const int16_t* w) {
  double squares = 0;
  for (int i = 0; i < network.shape.w; ++i) squares += double(w[i]) * w[i];
  return std::sqrt(squares);
}

TEST(NetworkMap, EveryValueIsTheWeightOfThePiecesFeatureInAPosition) {
  const NetworkParts parts = RandomNetwork({256, 32, 32}, 11);
  const Network network = NetworkOfParts(parts);
  for (const char* king_text : {"+59OU", "-51OU", "-28OU"}) {
    Place king;
    std::string error;
    ASSERT_TRUE(ParseMapKing(king_text, &king, &error)) << error;
    const int other = king.side == kBlack ? SquareOf(5, 1) : SquareOf(5, 9);
    const Position kings = king.side == kBlack ? KingsOnly(king.square, other) : KingsOnly(other, king.square);
    for (int neuron : {-1, 0, 200}) {
      NetworkMap map;
      ASSERT_TRUE(BuildNetworkMap(network, king, neuron, &map, &error)) << error;
      ASSERT_EQ(map.grid_count, 18);
      ASSERT_EQ(map.hand_count, 14);
      for (int g = 0; g < map.grid_count; ++g) {
        const NeuronGrid& grid = map.grids[g];
        for (int s = 0; s < kSquares; s += (neuron == 200 ? 1 : 7)) {
          if (!grid.present[s]) {
            EXPECT_TRUE(s == king.square || RanksAhead(grid.side, s) < RanksToMove(grid.kind));
            continue;
          }
          if (s == other) continue;  // the other king's square: no position holds both
          Position with = kings;
          with.cells[s] = static_cast<int8_t>(grid.side == kBlack ? grid.kind : -grid.kind);
          const int16_t* w = PieceWeights(network, kings, with, king.side);
          ASSERT_NE(w, nullptr);
          EXPECT_NEAR(grid.values[s], neuron >= 0 ? w[neuron] : Magnitude(network, w), 1e-9)
              << king_text << " " << NeuronGridName(grid) << " " << s;
        }
      }
      for (int h = 0; h < map.hand_count; ++h) {
        const NeuronHand& hand = map.hands[h];
        Position held = kings;
        for (int k = 1; k <= hand.counts; ++k) {
          const Position before = held;
          held.cells[HandSlot(hand.side, hand.hand_kind)] = static_cast<int8_t>(k);
          const int16_t* w = PieceWeights(network, before, held, king.side);
          ASSERT_NE(w, nullptr);
          EXPECT_NEAR(hand.values[k - 1], neuron >= 0 ? w[neuron] : Magnitude(network, w), 1e-9)
              << king_text << " " << NeuronHandName(hand) << k;
        }
      }
    }
    NetworkMap map;
    EXPECT_FALSE(BuildNetworkMap(network, king, 256, &map, &error));
    EXPECT_NE(error.find("outside 0..255"), std::string::npos) << error;
  }
  Place king;
  std::string error;
  EXPECT_FALSE(ParseMapKing("+58KI", &king, &error));
  EXPECT_FALSE(ParseMapKing("+OU*1", &king, &error));
}

}  // namespace
}  // namespace fvscope
