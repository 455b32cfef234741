#include "eval/corpus/score_fit.h"

#include <algorithm>
#include <cmath>

#include "eval/corpus/win_fit.h"

namespace fvscope {

namespace {

// ln(1 + exp(x)) without overflow.
double Softplus(double x) { return x > 0 ? x + std::log1p(std::exp(-x)) : std::log1p(std::exp(x)); }

}  // namespace

int ScoreBinOf(int32_t value) {
  if (value < kScoreBinLow) return 0;
  if (value >= kScoreBinHigh) return kScoreBins - 1;
  return 1 + (value - kScoreBinLow) / kScoreBinWidth;
}

double ScoreCrossEntropy(int32_t value, int32_t score, int32_t scale) {
  const double x = static_cast<double>(value) / scale;
  const double q = 1.0 / (1.0 + std::exp(-static_cast<double>(score) / scale));
  return q * Softplus(-x) + (1 - q) * Softplus(x);
}

void CountScore(ScoreSums* sums, int32_t value, int32_t score, int32_t scale) {
  const __int128 v = value, s = score;
  ++sums->records;
  sums->value += v;
  sums->score += s;
  sums->value_squares += v * v;
  sums->score_squares += s * s;
  sums->products += v * s;
  sums->cross_entropy += std::llround(std::ldexp(ScoreCrossEntropy(value, score, scale),
                                                 kScoreEntropyBits));
  const int bin = ScoreBinOf(value);
  ++sums->bin_records[bin];
  sums->bin_scores[bin] += score;
}

bool MergeScoreSums(ScoreSums* into, const ScoreSums& from, std::string* error) {
  if (from.records < 0 || into->records > kMaxCount - from.records) {
    *error = "the records with a score pass 2^53";
    return false;
  }
  into->records += from.records;
  into->value += from.value;
  into->score += from.score;
  into->value_squares += from.value_squares;
  into->score_squares += from.score_squares;
  into->products += from.products;
  into->cross_entropy += from.cross_entropy;
  for (int b = 0; b < kScoreBins; ++b) {
    into->bin_records[b] += from.bin_records[b];
    into->bin_scores[b] += from.bin_scores[b];
  }
  return true;
}

ScoreFigures ScoreFiguresOf(const ScoreSums& sums) {
  ScoreFigures f;
  f.records = sums.records;
  if (sums.records == 0) return f;
  using Wide = long double;
  const Wide n = static_cast<Wide>(sums.records);
  const Wide vv = n * static_cast<Wide>(sums.value_squares) -
                  static_cast<Wide>(sums.value) * static_cast<Wide>(sums.value);
  const Wide ss = n * static_cast<Wide>(sums.score_squares) -
                  static_cast<Wide>(sums.score) * static_cast<Wide>(sums.score);
  const Wide vs = n * static_cast<Wide>(sums.products) -
                  static_cast<Wide>(sums.value) * static_cast<Wide>(sums.score);
  if (vv > 0) f.slope = static_cast<double>(vs / vv);
  if (vv > 0 && ss > 0) {
    f.correlation = std::clamp(static_cast<double>(vs / std::sqrt(vv * ss)), -1.0, 1.0);
  }
  f.cross_entropy = static_cast<double>(std::ldexp(static_cast<Wide>(sums.cross_entropy),
                                                   -kScoreEntropyBits) / n);
  return f;
}

}  // namespace fvscope
