#include "eval/network/feature_use.h"

#include <algorithm>

namespace fvscope {

namespace {

// Calls visit(f) for each distinct feature number of a view's count
// features: only a missing piece's number repeats within a view.
template <typename Visit>
void ForEachDistinctFeature(const PieceFeature* features, int count, Visit visit) {
  bool missing = false;
  for (int i = 0; i < count; ++i) {
    const int f = features[i].number;
    if (f == kMissingPieceFeature) {
      if (missing) continue;
      missing = true;
    }
    visit(f);
  }
}

}  // namespace

void AddViewInputs(FeatureUse* use, int king, const PieceFeature* features, int count) {
  uint64_t* row = use->counts.data() + static_cast<size_t>(king) * kPieceFeatures;
  ForEachDistinctFeature(features, count, [&](int f) { ++row[f]; });
}

void ListPositionInputs(const Position& position, std::vector<int32_t>* inputs) {
  PieceFeatureList list;
  std::string unused;
  if (!BuildPieceFeatures(position, &list, &unused)) return;
  for (Side view : kSides) {
    ForEachDistinctFeature(list.view[view], list.count, [&](int f) {
      inputs->push_back(list.king[view] * kPieceFeatures + f);
    });
  }
}

void AddInputList(FeatureUse* use, const std::vector<int32_t>& inputs, int64_t views) {
  for (int32_t input : inputs) ++use->counts[input];
  use->views += views;
}

void AddBatchKingInputs(FeatureUse* use, const NetworkBatch& batch, int king) {
  for (int32_t t = batch.king_begin[king]; t < batch.king_begin[king + 1]; ++t) {
    AddViewInputs(use, king, ViewFeatures(batch, batch.by_king[t]), kSetPieces);
  }
}

void MergeFeatureUse(FeatureUse* into, const FeatureUse& from) {
  for (size_t i = 0; i < into->counts.size(); ++i) into->counts[i] += from.counts[i];
  into->views += from.views;
}

std::string EncodeFeatureUse(const FeatureUse& use) {
  std::string bytes;
  bytes.reserve(8 * (kNetworkInputs + 1));
  const auto put = [&](uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(static_cast<uint64_t>(use.views));
  for (uint64_t c : use.counts) put(c);
  return bytes;
}

bool DecodeFeatureUse(std::string_view bytes, FeatureUse* use, std::string* error) {
  if (bytes.size() != 8 * static_cast<size_t>(kNetworkInputs + 1)) {
    *error = "its use of features is " + std::to_string(bytes.size()) + " bytes, not " +
             std::to_string(8 * (kNetworkInputs + 1));
    return false;
  }
  const auto get = [&](size_t at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return v;
  };
  use->views = static_cast<int64_t>(get(0));
  use->counts.resize(kNetworkInputs);
  for (int i = 0; i < kNetworkInputs; ++i) use->counts[i] = get(8 + 8 * static_cast<size_t>(i));
  return true;
}

void SummarizeFeatureUse(const FeatureUse& use, FeatureUseSummary* out) {
  out->views = use.views;
  out->active = 0;
  std::vector<int32_t> used;
  for (int k = 0; k < kSquares; ++k) {
    out->active_per_king[k] = 0;
    for (int f = 0; f < kPieceFeatures; ++f) {
      const int32_t input = k * kPieceFeatures + f;
      if (use.counts[input] == 0) continue;
      ++out->active_per_king[k];
      used.push_back(input);
    }
    out->active += out->active_per_king[k];
  }
  const auto more = [&](int32_t a, int32_t b) {
    return use.counts[a] != use.counts[b] ? use.counts[a] > use.counts[b] : a < b;
  };
  const size_t shown = std::min<size_t>(used.size(), kRankingLength);
  std::partial_sort(used.begin(), used.begin() + shown, used.end(), more);
  out->count = static_cast<int32_t>(shown);
  for (size_t r = 0; r < shown; ++r) {
    out->ranking[r] = {used[r] / kPieceFeatures, used[r] % kPieceFeatures,
                       static_cast<int64_t>(use.counts[used[r]])};
  }
}

}  // namespace fvscope
