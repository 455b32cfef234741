// The census of networks built with known weights: never-trained features,
// dead neurons (padding left out), and the change to a second network.
#include "eval/network/network_census.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tools/sample_net.h"

namespace fvscope {
namespace {

constexpr NetworkShape kShape{256, 16, 32};

int16_t& Weight(NetworkParts& p, int king, int feature, int i) {
  return p.weights[(int64_t{king} * kPieceFeatures + feature) * kShape.w + i];
}

// Transformer weights (k + f + i) % 7 - 3, but king 4's features 100..149
// all 0; layer 1 neurons 2 and 3 and layer 2 neurons 0 and 5 dead.
NetworkParts KnownNetwork() {
  NetworkParts p = EmptyNetwork(kShape);
  for (int k = 0; k < kSquares; ++k) {
    for (int f = 0; f < kPieceFeatures; ++f) {
      for (int i = 0; i < kShape.w; ++i) Weight(p, k, f, i) = static_cast<int16_t>((k + f + i) % 7 - 3);
    }
  }
  for (int f = 100; f < 150; ++f) {
    for (int i = 0; i < kShape.w; ++i) Weight(p, 4, f, i) = 0;
  }
  for (int i = 0; i < kShape.w; ++i) p.biases[i] = static_cast<int16_t>(i % 3);
  const int in1 = PaddedWidth(2 * kShape.w), in2 = PaddedWidth(kShape.h1);
  for (int j = 0; j < kShape.h1; ++j) p.b1[j] = 1000;
  p.b1[2] = -100;  // its weights at most 0
  for (int c = 0; c < 2 * kShape.w; c += 3) p.w1[2 * in1 + c] = -5;
  p.b1[3] = -64;  // one weight 1: (127 - 64) >> 6 is 0
  p.w1[3 * in1 + 17] = 1;
  p.b1[4] = -63;  // (127 - 63) >> 6 is 1: it can fire
  p.w1[4 * in1 + 17] = 1;
  for (int j = 0; j < kShape.h2; ++j) p.b2[j] = 64;  // 64 >> 6 is 1: alive
  p.b2[0] = -1;
  p.w2[0 * in2 + 20] = 100;  // padding past the 16 inputs never counts
  p.b2[5] = -191;            // two weights 1: (254 - 191) >> 6 is 0
  p.w2[5 * in2 + 0] = 1;
  p.w2[5 * in2 + 15] = 1;
  p.b2[6] = -190;  // (254 - 190) >> 6 is 1
  p.w2[6 * in2 + 0] = 1;
  p.w2[6 * in2 + 15] = 1;
  for (int j = 0; j < kShape.h2; ++j) p.w3[j] = static_cast<int8_t>(j - 10);
  p.b3 = -7;
  return p;
}

TEST(NetworkCensus, FiguresOfAKnownNetworkMatchItsConstruction) {
  const NetworkParts parts = KnownNetwork();
  const Network network = NetworkOfParts(parts);
  NetworkCensus census;
  TakeNetworkCensus(network, nullptr, 1, &census);
  EXPECT_FALSE(census.compared);
  EXPECT_EQ(census.dead[0], (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(census.dead[1], (std::vector<int32_t>{0, 5}));
  // The transformer's weights, counted here in two passes.
  double sum = 0, zeros = 0;
  for (int16_t v : parts.weights) {
    sum += v;
    zeros += v == 0;
  }
  const double n = static_cast<double>(parts.weights.size());
  const double mean = sum / n;
  double squares = 0;
  for (int16_t v : parts.weights) squares += (v - mean) * (v - mean);
  const ValueFigures& t = census.layers[0].weights;
  EXPECT_EQ(t.count, int64_t{kNetworkInputs} * kShape.w);
  EXPECT_EQ(t.minimum, -3);
  EXPECT_EQ(t.maximum, 3);
  EXPECT_NEAR(t.mean, mean, 1e-9);
  EXPECT_NEAR(t.deviation, std::sqrt(squares / n), 1e-6);
  EXPECT_NEAR(t.zero_share, zeros / n, 1e-12);
  for (int k = 0; k < kSquares; ++k) {
    int64_t magnitude = 0;
    for (int f = 0; f < kPieceFeatures; ++f) {
      for (int i = 0; i < kShape.w; ++i) magnitude += std::abs(parts.weights[(int64_t{k} * kPieceFeatures + f) * kShape.w + i]);
    }
    EXPECT_NEAR(census.king_magnitude[k], magnitude / (double(kPieceFeatures) * kShape.w), 1e-9) << k;
    EXPECT_EQ(census.king_untrained[k], k == 4 ? 50 : 0) << k;
  }
  // The hidden layers count only their real inputs.
  EXPECT_EQ(census.layers[0].biases.count, 256);
  EXPECT_EQ(census.layers[0].biases.maximum, 2);
  EXPECT_EQ(census.layers[1].weights.count, 16 * 512);
  EXPECT_EQ(census.layers[1].weights.minimum, -5);
  EXPECT_EQ(census.layers[2].weights.count, 32 * 16);
  EXPECT_EQ(census.layers[2].weights.maximum, 1);
  EXPECT_EQ(census.layers[2].biases.minimum, -191);
  EXPECT_EQ(census.layers[3].weights.count, 32);
  EXPECT_EQ(census.layers[3].weights.minimum, -10);
  EXPECT_NEAR(census.layers[3].weights.zero_share, 1.0 / 32, 1e-12);
  EXPECT_EQ(census.layers[3].biases.count, 1);
  EXPECT_EQ(census.layers[3].biases.mean, -7);
}

TEST(NetworkCensus, TheChangeRanksTheInputsThatMoved) {
  const NetworkParts before = KnownNetwork();
  NetworkParts after = before;
  for (int i = 0; i < kShape.w; ++i) Weight(after, 10, 200, i) += 5;
  for (int i = 0; i < 100; ++i) Weight(after, 11, 300, i) -= 3;
  after.b1[0] += 7;
  const Network a = NetworkOfParts(before), b = NetworkOfParts(after);
  ASSERT_TRUE(SameNetworkShape(a, b));
  NetworkCensus census;
  TakeNetworkCensus(a, &b, 3, &census);
  ASSERT_TRUE(census.compared);
  ASSERT_EQ(census.moved.size(), 2u);
  EXPECT_EQ(census.moved[0].king, 10);
  EXPECT_EQ(census.moved[0].feature, 200);
  EXPECT_EQ(census.moved[0].moved, 5 * 256);
  EXPECT_EQ(census.moved[1].king, 11);
  EXPECT_EQ(census.moved[1].moved, 300);
  const ValueFigures& t = census.changes[0].weights;
  EXPECT_EQ(t.minimum, -3);
  EXPECT_EQ(t.maximum, 5);
  EXPECT_NEAR(t.zero_share, 1 - 356.0 / t.count, 1e-12);
  EXPECT_NEAR(census.king_change[10], 1280 / (double(kPieceFeatures) * kShape.w), 1e-12);
  EXPECT_EQ(census.king_change[12], 0);
  EXPECT_EQ(census.changes[1].biases.maximum, 7);
  EXPECT_EQ(census.changes[1].weights.maximum, 0);
  // As a ranking: black's king on the input's square and the feature's piece.
  const Ranking ranking = MovedRanking(census);
  ASSERT_EQ(ranking.count, 2);
  int cell, code;
  ASSERT_TRUE(DecodePieceFeature(200, &cell, &code));
  EXPECT_EQ(ranking.terms[0].king, SquareOfFeatureSquare(10));
  EXPECT_EQ(ranking.terms[0].cell_a, cell);
  EXPECT_EQ(ranking.terms[0].code_a, code);
  EXPECT_EQ(ranking.terms[0].value, 1280);
}

}  // namespace
}  // namespace fvscope
