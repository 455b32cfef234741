// How far the table's static values are from a search's scores over a
// corpus of training records: exact sums that any order of adding or
// merging gives alike, and the figures drawn from them.
#ifndef FVSCOPE_EVAL_CORPUS_SCORE_FIT_H_
#define FVSCOPE_EVAL_CORPUS_SCORE_FIT_H_

#include <cstdint>
#include <string>

namespace fvscope {

// Value bins of the mean-score chart: below kScoreBinLow, kScoreBinWidth
// points each up to kScoreBinHigh, then kScoreBinHigh and above.
constexpr int32_t kScoreBinLow = -3000;
constexpr int32_t kScoreBinHigh = 3000;
constexpr int32_t kScoreBinWidth = 100;
constexpr int kScoreBins = (kScoreBinHigh - kScoreBinLow) / kScoreBinWidth + 2;

// Cross-entropies are summed in units of 2^-kScoreEntropyBits nats.
constexpr int kScoreEntropyBits = 32;

// Sums over records of value v (points) and score s (points), both from
// black's view.
struct ScoreSums {
  int64_t records = 0;
  __int128 value = 0;          // sum of v
  __int128 score = 0;          // sum of s
  __int128 value_squares = 0;  // sum of v * v
  __int128 score_squares = 0;  // sum of s * s
  __int128 products = 0;       // sum of v * s
  __int128 cross_entropy = 0;  // in 2^-kScoreEntropyBits nats
  int64_t bin_records[kScoreBins] = {};
  int64_t bin_scores[kScoreBins] = {};  // sum of s per bin
};

// Number 0..kScoreBins - 1 of the bin that holds value.
int ScoreBinOf(int32_t value);

// Adds a record of value v and score s, its cross-entropy under scale (> 0).
void CountScore(ScoreSums* sums, int32_t value, int32_t score, int32_t scale);

// Adds from into *into. Returns false with *error, *into unchanged, when the
// records would pass 2^53.
bool MergeScoreSums(ScoreSums* into, const ScoreSums& from, std::string* error);

// What the sums say: the correlation of value and score, the least-squares
// slope of score on value (score points per value point), and the mean
// cross-entropy of 1 / (1 + exp(-v / S)) against 1 / (1 + exp(-s / S)).
struct ScoreFigures {
  int64_t records = 0;
  double correlation = 0;  // 0 when either side does not vary
  double slope = 0;        // 0 when the values do not vary
  double cross_entropy = 0;
};

// The figures of sums.
ScoreFigures ScoreFiguresOf(const ScoreSums& sums);

// The mean cross-entropy, in nats, of P = 1 / (1 + exp(-value / scale))
// against Q = 1 / (1 + exp(-score / scale)): -(Q ln P + (1 - Q) ln(1 - P)).
double ScoreCrossEntropy(int32_t value, int32_t score, int32_t scale);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_CORPUS_SCORE_FIT_H_
