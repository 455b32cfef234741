#include "eval/network/network_batch.h"

#include <cstring>
#include <string>

#include "eval/network/feature_use.h"

namespace fvscope {

namespace {

// Bytes of clamped views a batch keeps at most.
constexpr int64_t kClampedBytes = int64_t{64} << 20;

}  // namespace

int32_t NetworkBatchPositions(int32_t w) {
  return static_cast<int32_t>(kClampedBytes / (2 * int64_t{w}));
}

void ResizeNetworkBatch(NetworkBatch* batch, int32_t count, int32_t w) {
  batch->count = count;
  batch->width = w;
  batch->features.resize(2 * static_cast<size_t>(count) * kSetPieces);
  batch->kings.resize(2 * static_cast<size_t>(count));
  batch->taken.assign(count, 0);
  batch->to_move.assign(count, kBlack);
  batch->by_king.resize(2 * static_cast<size_t>(count));
  batch->slot.resize(2 * static_cast<size_t>(count));
  // Grown only: every byte a view's layers read is written first.
  const size_t bytes = 2 * static_cast<size_t>(count) * w;
  if (batch->clamped.size() < bytes) batch->clamped.resize(bytes);
}

void PrepareNetworkBatch(NetworkBatch* batch, const Position* positions, const uint8_t* taken,
                         const uint8_t* to_move, int32_t begin, int32_t end) {
  std::string unused;
  PieceFeatureList list;
  for (int32_t i = begin; i < end; ++i) {
    batch->taken[i] = taken[i] && BuildPieceFeatures(positions[i], &list, &unused);
    batch->to_move[i] = to_move[i];
    if (!batch->taken[i]) continue;
    for (Side view : kSides) {
      const int32_t v = 2 * i + view;
      batch->kings[v] = static_cast<uint8_t>(list.king[view]);
      std::memcpy(batch->features.data() + static_cast<size_t>(v) * kSetPieces, list.view[view],
                  sizeof list.view[view]);
    }
  }
}

void GroupNetworkBatch(NetworkBatch* batch) {
  int32_t counts[kSquares] = {};
  for (int32_t i = 0; i < batch->count; ++i) {
    if (!batch->taken[i]) continue;
    for (Side view : kSides) ++counts[batch->kings[2 * i + view]];
  }
  batch->king_begin[0] = 0;
  for (int k = 0; k < kSquares; ++k) batch->king_begin[k + 1] = batch->king_begin[k] + counts[k];
  int32_t next[kSquares];
  std::memcpy(next, batch->king_begin, sizeof next);
  for (int32_t i = 0; i < batch->count; ++i) {
    if (!batch->taken[i]) continue;
    for (Side view : kSides) {
      const int32_t t = next[batch->kings[2 * i + view]]++;
      batch->by_king[t] = 2 * i + view;
      batch->slot[2 * i + view] = t;
    }
  }
}

void AccumulateNetworkKing(NetworkBatch* batch, const Network& network, NetworkPath path,
                           int king, TransformerTally* tally, FeatureUse* use) {
  const int w = network.shape.w;
  constexpr int32_t kAhead = 4;  // views whose lists are asked for ahead
  const int32_t end = batch->king_begin[king + 1];
  for (int32_t t = batch->king_begin[king]; t < end; ++t) {
    if (t + kAhead < end) {
      const char* next = reinterpret_cast<const char*>(ViewFeatures(*batch, batch->by_king[t + kAhead]));
      for (size_t at = 0; at < kSetPieces * sizeof(PieceFeature); at += 64) __builtin_prefetch(next + at);
      __builtin_prefetch(next + kSetPieces * sizeof(PieceFeature) - 1);
    }
    const int32_t side = batch->by_king[t];
    const PieceFeature* features = ViewFeatures(*batch, side);
    // Written in the group's order: one stream, not a line here and there.
    uint8_t* out = batch->clamped.data() + static_cast<size_t>(t) * w;
    if (tally != nullptr) {
      AccumulateClampedCounting(network, path, king, features, kSetPieces, out, tally);
    } else {
      AccumulateClamped(network, path, king, features, kSetPieces, out);
    }
    // Counted while the list is at hand rather than in a second walk through the lists.
    if (use != nullptr) AddViewInputs(use, king, features, kSetPieces);
  }
}

int32_t PropagateClamped(const Network& network, NetworkPath path, const uint8_t* own,
                         const uint8_t* other, LayerCounts* counts) {
  const int w = network.shape.w;
  alignas(64) uint8_t x[2 * kMaxTransformerWidth];
  std::memcpy(x, own, w);
  std::memcpy(x + w, other, w);
  return PropagateInputs(network, path, x, counts);
}

void PropagateNetworkBatch(const NetworkBatch& batch, const Network& network, NetworkPath path,
                           int32_t begin, int32_t end, int32_t* values, LayerTally* tally) {
  const size_t w = network.shape.w;
  const auto bytes_of = [&](int32_t view) {
    return batch.clamped.data() + static_cast<size_t>(batch.slot[view]) * w;
  };
  constexpr int32_t kAhead = 4;  // positions whose views are asked for ahead
  for (int32_t i = begin; i < end; ++i) {
    if (i + kAhead < end && batch.taken[i + kAhead]) {
      for (int32_t view = 2 * (i + kAhead); view < 2 * (i + kAhead) + 2; ++view) {
        const uint8_t* next = bytes_of(view);
        for (size_t line = 0; line < w; line += 64) __builtin_prefetch(next + line);
      }
    }
    if (!batch.taken[i]) {
      values[i] = 0;
      continue;
    }
    const Side to_move = static_cast<Side>(batch.to_move[i]);
    const uint8_t* own = bytes_of(2 * i + to_move);
    const uint8_t* other = bytes_of(2 * i + Opponent(to_move));
    int32_t z;
    if (tally != nullptr) {
      alignas(64) uint8_t x[2 * kMaxTransformerWidth];
      std::memcpy(x, own, w);
      std::memcpy(x + w, other, w);
      z = PropagateInputsCounting(network, path, x, tally);
    } else {
      z = PropagateClamped(network, path, own, other, nullptr);
    }
    values[i] = NetworkValueOf(network, z, to_move);
  }
}

}  // namespace fvscope
