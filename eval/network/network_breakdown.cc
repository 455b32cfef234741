#include "eval/network/network_breakdown.h"

#include <algorithm>
#include <numeric>

#include "eval/table/breakdown.h"
#include "eval/table/compare.h"

namespace fvscope {

namespace {

// The value with the views' accumulators as given.
int32_t ValueOf(const Network& network, NetworkPath path, const Accumulator* acc, Side to_move) {
  const int32_t z = Propagate(network, path, acc[to_move], acc[Opponent(to_move)], nullptr);
  return NetworkValueOf(network, z, to_move);
}

// The features of position and both views' accumulators. Returns false with
// *error when it does not fit the features.
bool AccumulateViews(const Network& network, NetworkPath path, const Position& position,
                     PieceFeatureList* list, Accumulator* acc, std::string* error) {
  if (!BuildPieceFeatures(position, list, error)) return false;
  for (Side view : kSides) {
    Accumulate(network, path, list->king[view], list->view[view], list->count, &acc[view]);
  }
  return true;
}

}  // namespace

bool BreakDownNetwork(const Network& network, const Position& position, Side to_move,
                      NetworkBreakdown* out, std::string* error) {
  PieceFeatureList list;
  const NetworkPath path = FastestNetworkPath();
  Accumulator acc[2];
  if (!AccumulateViews(network, path, position, &list, acc, error)) return false;
  for (Side view : kSides) out->accumulators[view] = CountClamps(network, acc[view]);
  LayerCounts layers;
  out->architecture = network.architecture;
  out->shape = network.shape;
  out->scale = network.scale;
  out->to_move = to_move;
  out->z = Propagate(network, path, acc[to_move], acc[Opponent(to_move)], &layers);
  out->value = NetworkValueOf(network, out->z, to_move);
  out->hidden[0] = layers.hidden[0];
  out->hidden[1] = layers.hidden[1];
  out->material = MaterialSum(position);
  out->count = 0;
  for (Side view : kSides) {
    const int king = position.cells[KingCell(view)];
    for (int i = 0; i < list.count; ++i) {
      const PieceFeature& f = list.view[view][i];
      Accumulator without[2] = {acc[0], acc[1]};
      AddInput(network, path, list.king[view], f.number, -1, &without[view]);
      out->inputs[out->count++] = {static_cast<int8_t>(view), static_cast<int8_t>(king), f.number,
                                   f.cell, f.code,
                                   out->value - ValueOf(network, path, without, to_move)};
    }
  }
  return true;
}

void RankNetworkInputs(const NetworkBreakdown& breakdown, SortMode mode, Ranking* ranking) {
  int order[2 * kSetPieces];
  std::iota(order, order + breakdown.count, 0);
  std::stable_sort(order, order + breakdown.count, [&](int a, int b) {
    return ChangePrecedes(breakdown.inputs[a].change, breakdown.inputs[b].change, mode);
  });
  ranking->count = std::min<int32_t>(breakdown.count, kRankingLength);
  for (int r = 0; r < ranking->count; ++r) {
    const NetworkInput& in = breakdown.inputs[order[r]];
    const int king_code = in.view == kBlack ? kKing : -kKing;
    ranking->terms[r] = {in.change, in.king, king_code, in.cell, in.code, in.cell, in.code};
  }
}

bool NetworkPieceShares(const Network& network, const Position& position, Side to_move,
                        PieceShares* out, std::string* error) {
  PieceFeatureList list;
  const NetworkPath path = FastestNetworkPath();
  Accumulator acc[2];
  if (!AccumulateViews(network, path, position, &list, acc, error)) return false;
  const int32_t value = ValueOf(network, path, acc, to_move);
  // The share of entry i of the lists: both views' inputs left out.
  const auto share = [&](int i) {
    Accumulator without[2] = {acc[0], acc[1]};
    for (Side view : kSides) {
      AddInput(network, path, list.king[view], list.view[view][i].number, -1, &without[view]);
    }
    return int64_t{value - ValueOf(network, path, without, to_move)} * 2 * kFvScale;
  };
  out->count = 0;
  for (int i = 0; i < list.count; ++i) {
    const PieceFeature& f = list.view[kBlack][i];
    if (IsSquare(f.cell)) out->shares[out->count++] = {f.cell, f.code, share(i)};
  }
  for (Side holder : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const int slot = HandSlot(holder, h);
      const int held = position.cells[slot];
      int64_t half_units = 0;
      for (int i = 0; i < list.count; ++i) {
        if (list.view[kBlack][i].cell == slot && list.view[kBlack][i].code == held) {
          half_units = share(i);
        }
      }
      out->shares[out->count++] = {slot, held, half_units};
    }
  }
  return true;
}

}  // namespace fvscope
