#include "eval/network/network_map.h"

#include <cmath>

#include "eval/piece_features.h"

namespace fvscope {

bool ParseMapKing(std::string_view text, Place* king, std::string* error) {
  if (!ParsePlace(text, king, error)) return false;
  if (IsHeld(*king) || king->kind != kKing) {
    *error = "\"" + std::string(text) + "\" is not a king on the board (+59OU, -51OU)";
    return false;
  }
  return true;
}

namespace {

// The weight of neuron, or the magnitude of all W, of one feature.
double FeatureValue(const Network& network, int king, int feature, int neuron) {
  const int16_t* w = InputWeights(network, king, feature);
  if (neuron >= 0) return w[neuron];
  int64_t squares = 0;
  for (int i = 0; i < network.shape.w; ++i) squares += int64_t{w[i]} * w[i];
  return std::sqrt(static_cast<double>(squares));
}

}  // namespace

bool BuildNetworkMap(const Network& network, const Place& king, int neuron, NetworkMap* map,
                     std::string* error) {
  if (neuron < -1 || neuron >= network.shape.w) {
    *error = "--neuron " + std::to_string(neuron) + " is outside 0.." +
             std::to_string(network.shape.w - 1) + " (the network is " +
             std::to_string(network.shape.w) + " wide)";
    return false;
  }
  const Side view = king.side;
  map->king = king;
  map->king_index = ViewedFeatureSquare(view, FeatureSquare(king.square));
  map->neuron = neuron;
  map->grid_count = 0;
  for (Side side : kSides) {
    for (int kind : kMapKindList.kinds) {
      NeuronGrid& grid = map->grids[map->grid_count++];
      grid.side = side;
      grid.kind = kind;
      const int code = side == kBlack ? kind : -kind;
      for (int s = 0; s < kSquares; ++s) {
        grid.present[s] = s != king.square && RanksAhead(side, s) >= RanksToMove(kind);
        grid.features[s] = static_cast<int16_t>(BoardFeature(view, code, s));
        grid.values[s] = grid.present[s] ? FeatureValue(network, map->king_index, grid.features[s], neuron) : 0;
      }
    }
  }
  map->hand_count = 0;
  for (Side side : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      NeuronHand& hand = map->hands[map->hand_count++];
      hand.side = side;
      hand.hand_kind = h;
      hand.counts = kPiecesInSet[h];
      for (int k = 1; k <= hand.counts; ++k) {
        hand.features[k - 1] = static_cast<int16_t>(HandFeature(view, side, h, k));
        hand.values[k - 1] = FeatureValue(network, map->king_index, hand.features[k - 1], neuron);
      }
    }
  }
  return true;
}

std::string NeuronGridName(const NeuronGrid& grid) {
  return std::string(1, SideSign(grid.side)) + kPieceNames[grid.kind];
}

std::string NeuronHandName(const NeuronHand& hand) {
  return std::string(1, SideSign(hand.side)) + kPieceNames[hand.hand_kind + 1] + "*";
}

}  // namespace fvscope
