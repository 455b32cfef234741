// The tally of a leaf's KPP terms: counts and sums per favoured side, size
// histograms, and one ranking entry per term.
#ifndef FVSCOPE_EVAL_TABLE_TERM_TALLY_H_
#define FVSCOPE_EVAL_TABLE_TERM_TALLY_H_

#include <cstdint>

#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// Histogram buckets; bucket k holds the terms of 10k to 10k + 9 points,
// the last every term of 70 points or more.
constexpr int kHistogramBuckets = 8;
constexpr int kPointsPerBucket = 10;

// Room for the entries of the largest leaf: 2 * 52 * 53 / 2 = 2756 terms.
constexpr int kTallyCapacity = 4096;

struct TermTally {
  int32_t black_count;
  int32_t white_count;
  int32_t black_sum;  // magnitudes in table units
  int32_t white_sum;
  int32_t black_histogram[kHistogramBuckets];
  int32_t white_histogram[kHistogramBuckets];
  int32_t entry_count;
  RankEntry entries[kTallyCapacity];
};

// Histogram bucket of a non-zero term of magnitude m: (m / 32) / 10, at most 7.
int SizeBucket(int32_t magnitude);

// Tallies the black term a and the white term b of one pair of feature
// entries; the cells are those of the black list's entries i and j and of
// the white list's. A white term of -32768 is ranked as 32767.
void TallyPair(TermTally* tally, int32_t a, int32_t b, int black_king, int white_king,
               int black_cell_i, int black_cell_j, int white_cell_i, int white_cell_j);

// Ranks the tally's entries (left as they are) under mode and fills *ranking
// with the top kRankingLength, each cell named by its code in position.
void RankLeafTerms(const TermTally& tally, const Position& position, SortMode mode,
                   Ranking* ranking);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_TERM_TALLY_H_
