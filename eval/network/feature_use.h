// The use of a network's inputs over many positions: for every input (king
// square x feature number), the views that had it active, and what that
// says per king square and of the most used inputs.
#ifndef FVSCOPE_EVAL_NETWORK_FEATURE_USE_H_
#define FVSCOPE_EVAL_NETWORK_FEATURE_USE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/network/network_batch.h"
#include "eval/network/network_file.h"
#include "eval/piece_features.h"
#include "eval/ranking.h"

namespace fvscope {

// Counts per input, and the views counted.
struct FeatureUse {
  std::vector<uint64_t> counts = std::vector<uint64_t>(kNetworkInputs, 0);
  int64_t views = 0;
};

// Adds one view: each distinct input of its count features under king once.
void AddViewInputs(FeatureUse* use, int king, const PieceFeature* features, int count);

// The distinct inputs of both views of position (king x 1548 + feature), for
// a caller that adds them later with AddInputList; nothing when the
// position does not fit the features.
void ListPositionInputs(const Position& position, std::vector<int32_t>* inputs);

// Adds the views listed by ListPositionInputs (views: how many views they hold).
void AddInputList(FeatureUse* use, const std::vector<int32_t>& inputs, int64_t views);

// Adds the views of the king square king of a grouped batch (distinct kings
// may be added on several threads at once; views is left to the caller).
void AddBatchKingInputs(FeatureUse* use, const NetworkBatch& batch, int king);

// Adds from into *into.
void MergeFeatureUse(FeatureUse* into, const FeatureUse& from);

// The counts as bytes for a partial, and back. Decoding returns false with
// *error for bytes of another length.
std::string EncodeFeatureUse(const FeatureUse& use);
bool DecodeFeatureUse(std::string_view bytes, FeatureUse* use, std::string* error);

// One input of the ranking of use.
struct FeatureUseEntry {
  int32_t king;     // king square in the features' numbering, as the view sees it
  int32_t feature;  // 0..1547
  int64_t views;
};

// What the counts say.
struct FeatureUseSummary {
  int64_t views = 0;
  int64_t active = 0;                 // inputs active in some view
  int32_t active_per_king[kSquares];  // of each king square's 1548 inputs
  int32_t count = 0;
  FeatureUseEntry ranking[kRankingLength];  // most used first, the lower input first among equals
};

// Summarises use.
void SummarizeFeatureUse(const FeatureUse& use, FeatureUseSummary* out);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_FEATURE_USE_H_
