#include "eval/table/term_tally.h"

#include <algorithm>
#include <memory>

#include "eval/table/features.h"

namespace fvscope {

namespace {

int16_t ClampToValue(int32_t value) {
  if (value > INT16_MAX) return INT16_MAX;
  if (value < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(value);
}

void AddTerm(TermTally* tally, int32_t value, int king, int cell_i, int cell_j) {
  if (tally->entry_count >= kTallyCapacity) return;
  tally->entries[tally->entry_count++] = {ClampToValue(value), static_cast<int16_t>(king),
                                          static_cast<int16_t>(cell_i),
                                          static_cast<int16_t>(cell_j)};
}

}  // namespace

int SizeBucket(int32_t magnitude) {
  const int bucket = magnitude / kFvScale / kPointsPerBucket;
  return bucket < kHistogramBuckets - 1 ? bucket : kHistogramBuckets - 1;
}

void TallyPair(TermTally* tally, int32_t a, int32_t b, int black_king, int white_king,
               int black_cell_i, int black_cell_j, int white_cell_i, int white_cell_j) {
  if (a > 0) {
    ++tally->black_count;
    tally->black_sum += a;
    ++tally->black_histogram[SizeBucket(a)];
  } else {
    ++tally->white_count;
    tally->white_sum -= a;
    if (a < 0) ++tally->white_histogram[SizeBucket(-a)];
  }
  if (b > 0) {
    ++tally->white_count;
    tally->white_sum += b;
    ++tally->white_histogram[SizeBucket(b)];
  } else {
    ++tally->black_count;
    tally->black_sum -= b;
    if (b < 0) ++tally->black_histogram[SizeBucket(-b)];
  }
  AddTerm(tally, a, black_king, black_cell_i, black_cell_j);
  AddTerm(tally, -b, white_king, white_cell_i, white_cell_j);
}

void RankLeafTerms(const TermTally& tally, const Position& position, SortMode mode,
                   Ranking* ranking) {
  auto entries = std::make_unique<RankEntry[]>(kTallyCapacity);
  const int count = std::min(tally.entry_count, kTallyCapacity);
  std::copy(tally.entries, tally.entries + count, entries.get());
  SortRanking(entries.get(), count, mode);
  ranking->count = std::min(count, kRankingLength);
  const int8_t* cells = position.cells;
  for (int r = 0; r < ranking->count; ++r) {
    const RankEntry& e = entries[r];
    ranking->terms[r] = {e.value,  e.king_square, cells[e.king_square], e.item_a,
                         cells[e.item_a], e.item_b, cells[e.item_b]};
  }
}

}  // namespace fvscope
