#include "eval/corpus/win_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace fvscope {
namespace {

struct Sample {
  int32_t value;
  GameResult result;
};

// Positions with values uniform in -3000..3000, black winning with
// probability 1 / (1 + exp(-(value - a) / b)); a draw or an unknown result
// now and then, which the fit must pass over.
std::vector<Sample> DrawCorpus(double a, double b, int count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<Sample> samples;
  for (int i = 0; i < count; ++i) {
    const int32_t value = static_cast<int32_t>(random() % 6001) - 3000;
    const double u = static_cast<double>(random() >> 11) * 0x1p-53;
    GameResult result = u < 1 / (1 + std::exp(-(value - a) / b)) ? GameResult::kBlackWins
                                                                  : GameResult::kWhiteWins;
    if (i % 50 == 0) result = i % 100 == 0 ? GameResult::kDraw : GameResult::kUnknown;
    samples.push_back({value, result});
  }
  return samples;
}

ValueHistogram HistogramOf(const std::vector<Sample>& samples) {
  ValueHistogram h;
  for (const Sample& s : samples) CountPosition(&h, s.value, s.result);
  return h;
}

// Mean -ln P(actual) over the decided samples, one position at a time.
double DirectCrossEntropy(const std::vector<Sample>& samples, double a, double b) {
  double sum = 0;
  int64_t n = 0;
  for (const Sample& s : samples) {
    if (s.result != GameResult::kBlackWins && s.result != GameResult::kWhiteWins) continue;
    const double p = 1 / (1 + std::exp(-(s.value - a) / b));
    sum -= std::log(s.result == GameResult::kBlackWins ? p : 1 - p);
    ++n;
  }
  return sum / n;
}

TEST(WinFit, RecoversTheCurveOfASyntheticCorpusAndIsItsOptimum) {
  const std::vector<Sample> samples = DrawCorpus(150, 400, 200000, 12345);
  const WinFit fit = FitWinRate(HistogramOf(samples));
  ASSERT_TRUE(fit.converged) << fit.why;
  EXPECT_NEAR(fit.a, 150, 10);
  EXPECT_NEAR(fit.b, 400, 10);
  EXPECT_EQ(fit.positions, 200000 - 4000);
  EXPECT_NEAR(fit.cross_entropy, DirectCrossEntropy(samples, fit.a, fit.b), 1e-9);
  // No nearby curve explains the results better than the fitted one.
  for (const double da : {-3.0, 3.0}) {
    for (const double db : {-3.0, 0.0, 3.0}) {
      EXPECT_LT(fit.cross_entropy, DirectCrossEntropy(samples, fit.a + da, fit.b + db));
    }
  }
}

TEST(WinFit, MirroredCorpusMirrorsTheCurve) {
  // Negating every value and swapping the winners turns a into -a, keeps b.
  std::vector<Sample> samples = DrawCorpus(-220, 650, 30000, 99);
  const WinFit fit = FitWinRate(HistogramOf(samples));
  for (Sample& s : samples) {
    s.value = -s.value;
    if (s.result == GameResult::kBlackWins) {
      s.result = GameResult::kWhiteWins;
    } else if (s.result == GameResult::kWhiteWins) {
      s.result = GameResult::kBlackWins;
    }
  }
  const WinFit mirrored = FitWinRate(HistogramOf(samples));
  ASSERT_TRUE(fit.converged && mirrored.converged);
  EXPECT_NEAR(mirrored.a, -fit.a, 1e-6);
  EXPECT_NEAR(mirrored.b, fit.b, 1e-6);
  EXPECT_NEAR(mirrored.cross_entropy, fit.cross_entropy, 1e-12);
}

TEST(WinFit, NoFiniteOptimumGivesNone) {
  const GameResult B = GameResult::kBlackWins, W = GameResult::kWhiteWins;
  const GameResult D = GameResult::kDraw, U = GameResult::kUnknown;
  const struct {
    const char* name;
    std::vector<Sample> samples;
  } rows[] = {
      {"empty", {}},
      {"one position", {{10, B}}},
      {"only draws and unknown", {{-5, D}, {5, U}, {7, D}}},
      {"black wins only", {{-300, B}, {300, B}, {0, D}}},
      {"white wins only", {{-300, W}, {300, W}}},
      {"separated", {{-300, W}, {-100, W}, {100, B}, {300, B}, {0, D}}},
      {"touching at one value", {{-300, W}, {100, W}, {100, B}, {300, B}}},
      {"separated the other way", {{-300, B}, {-100, B}, {100, W}, {300, W}}},
      {"one value for everything", {{40, B}, {40, W}, {40, B}}},
  };
  for (const auto& row : rows) {
    const WinFit fit = FitWinRate(HistogramOf(row.samples));
    EXPECT_FALSE(fit.converged) << row.name;
    EXPECT_FALSE(fit.why.empty()) << row.name;
  }
}

TEST(WinFit, ExtremeValuesStayFinite) {
  std::vector<Sample> samples = DrawCorpus(0, 300, 5000, 7);
  const int32_t low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
  samples.push_back({high, GameResult::kBlackWins});
  samples.push_back({high, GameResult::kWhiteWins});
  samples.push_back({low, GameResult::kWhiteWins});
  samples.push_back({low, GameResult::kBlackWins});
  const ValueHistogram h = HistogramOf(samples);
  const WinFit fit = FitWinRate(h);
  ASSERT_TRUE(fit.converged) << fit.why;
  EXPECT_TRUE(std::isfinite(fit.a) && std::isfinite(fit.b) && std::isfinite(fit.cross_entropy));
  double ce;
  int64_t n;
  std::string why;
  ASSERT_TRUE(ScaleCrossEntropy(h, 600, &ce, &n, &why));
  EXPECT_TRUE(std::isfinite(ce));
  // Each of the two losses at 2^31 / 600 log-odds against costs that many nats.
  EXPECT_GT(ce * n, 2 * (high / 600.0));
}

TEST(ScaleCrossEntropy, MatchesADirectComputationAndRefusesWhatItCannotMean) {
  const std::vector<Sample> samples = DrawCorpus(80, 500, 20000, 3);
  const ValueHistogram h = HistogramOf(samples);
  double ce;
  int64_t n;
  std::string why;
  ASSERT_TRUE(ScaleCrossEntropy(h, 600, &ce, &n, &why)) << why;
  EXPECT_EQ(n, 20000 - 400);
  EXPECT_NEAR(ce, DirectCrossEntropy(samples, 0, 600), 1e-12);
  EXPECT_FALSE(ScaleCrossEntropy(h, 0, &ce, &n, &why));
  EXPECT_FALSE(ScaleCrossEntropy(h, -600, &ce, &n, &why));
  const ValueHistogram undecided = HistogramOf({{3, GameResult::kDraw}});
  EXPECT_FALSE(ScaleCrossEntropy(undecided, 600, &ce, &n, &why));
  EXPECT_FALSE(why.empty());
}

TEST(Calibration, BucketsHoldTheirLowerBoundAndNotTheUpper) {
  const struct {
    int32_t value;
    int bucket;
  } rows[] = {
      {std::numeric_limits<int32_t>::min(), 0}, {-2001, 0}, {-2000, 1}, {-1801, 1},
      {-1800, 2}, {-1, 10}, {0, 11}, {199, 11}, {200, 12}, {1999, 20}, {2000, 21},
      {std::numeric_limits<int32_t>::max(), 21},
  };
  ValueHistogram h;
  for (const auto& row : rows) {
    EXPECT_EQ(CalibrationBucketOf(row.value), row.bucket) << row.value;
    CountPosition(&h, row.value, GameResult::kUnknown);
  }
  CountPosition(&h, 2000, GameResult::kBlackWins);
  CountPosition(&h, 2000, GameResult::kDraw);
  CountPosition(&h, -2001, GameResult::kWhiteWins);

  const Calibration c = CalibrationOf(h);
  ASSERT_EQ(c.size(), 22u);
  EXPECT_EQ(c[0].from, -99999);
  EXPECT_EQ(c[0].to, -2000);
  EXPECT_EQ(c[1].from, -2000);
  EXPECT_EQ(c[1].to, -1800);
  EXPECT_EQ(c[20].from, 1800);
  EXPECT_EQ(c[20].to, 2000);
  EXPECT_EQ(c[21].from, 2000);
  EXPECT_EQ(c[21].to, 99999);
  EXPECT_EQ(c[0].positions, 3);
  EXPECT_EQ(c[0].counts.white, 1);
  EXPECT_EQ(c[21].positions, 4);
  EXPECT_EQ(c[21].counts.black, 1);
  EXPECT_EQ(c[21].counts.draw, 1);
  EXPECT_EQ(c[21].counts.unknown, 2);
  EXPECT_EQ(c[11].positions, 2);
  EXPECT_EQ(c[5].positions, 0);
}

}  // namespace
}  // namespace fvscope
