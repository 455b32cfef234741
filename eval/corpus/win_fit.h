// How well evaluation values predict the results of games: the histogram of
// values by result, a fitted win-rate curve, cross-entropies and calibration
// buckets. Everything is computed from a histogram alone, walked in ascending
// value, so the figures do not depend on how the positions were gathered.
#ifndef FVSCOPE_EVAL_CORPUS_WIN_FIT_H_
#define FVSCOPE_EVAL_CORPUS_WIN_FIT_H_

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "shogi/move.h"

namespace fvscope {

// Positions (or games) by the result of their game.
struct ResultCounts {
  int64_t black = 0;    // black won
  int64_t white = 0;    // white won
  int64_t draw = 0;
  int64_t unknown = 0;  // no result known
};

// Value in points -> the positions evaluated to it, by result; ascending keys.
using ValueHistogram = std::map<int32_t, ResultCounts>;

// Most positions (or games) any count, sum or histogram total may reach:
// 2^53, so every count is exact as a double.
constexpr int64_t kMaxCount = int64_t{1} << 53;

// Sum of the four counts of c.
int64_t TotalOf(const ResultCounts& c);

// Adds one to the count of result in *counts.
void CountResult(ResultCounts* counts, GameResult result);

// Adds a position evaluated to value in a game that ended with result.
void CountPosition(ValueHistogram* histogram, int32_t value, GameResult result);

// Adds b's counts to *a. Returns false (leaving *a as it was) with *error set
// when a count would pass kMaxCount.
bool AddCounts(ResultCounts* a, const ResultCounts& b, std::string* error);

// Adds every entry of from to *into. Returns false with *error set when a
// count or the total would pass kMaxCount; *into is then partly merged.
bool MergeHistogram(ValueHistogram* into, const ValueHistogram& from, std::string* error);

// The curve P(black wins) = 1 / (1 + exp(-(value - a) / b)) fitted by
// maximum likelihood to the positions of decided games (draws and unknown
// results take no part).
struct WinFit {
  bool converged = false;      // false: no finite optimum or too few positions
  double a = 0;                // points where the curve gives 1/2
  double b = 0;                // points per unit of log-odds; negative when higher values lose
  double cross_entropy = 0;    // mean -ln P(actual result) under the curve, nats
  int64_t positions = 0;       // decided positions
  std::string why;             // one line, when not converged
};

// Fits the curve to histogram by Newton's method on the log-likelihood.
// Not converged when fewer than 2 positions are decided, when every decided
// position has the same result, or when the results are separated by value
// (every black win at or above every white win, or the reverse), where the
// likelihood has no finite optimum.
WinFit FitWinRate(const ValueHistogram& histogram);

// Mean of -ln P(actual result) over the decided positions of histogram for
// the fixed curve P(black wins) = 1 / (1 + exp(-value / scale)). Returns
// false with *why set when scale is not positive or no position is decided.
bool ScaleCrossEntropy(const ValueHistogram& histogram, int32_t scale, double* cross_entropy,
                       int64_t* positions, std::string* why);

// Calibration buckets: below kCalibrationLow, kCalibrationWidth points each
// from kCalibrationLow up to kCalibrationHigh, then kCalibrationHigh and
// above. A bucket holds the values v with from <= v < to.
constexpr int32_t kCalibrationLow = -2000;
constexpr int32_t kCalibrationHigh = 2000;
constexpr int32_t kCalibrationWidth = 200;
constexpr int kCalibrationBuckets = (kCalibrationHigh - kCalibrationLow) / kCalibrationWidth + 2;
// The bound printed for the open ends of the first and the last bucket.
constexpr int32_t kCalibrationOpenEnd = 99999;

// One bucket: its bounds as printed and its positions by result (every
// position, unknown results too).
struct CalibrationBucket {
  int32_t from;  // -kCalibrationOpenEnd for the first bucket
  int32_t to;    // kCalibrationOpenEnd for the last
  ResultCounts counts;
  int64_t positions;  // TotalOf(counts)
};

using Calibration = std::array<CalibrationBucket, kCalibrationBuckets>;

// Number 0..kCalibrationBuckets - 1 of the bucket that holds value.
int CalibrationBucketOf(int32_t value);

// The buckets of histogram, lowest first.
Calibration CalibrationOf(const ValueHistogram& histogram);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_CORPUS_WIN_FIT_H_
