#include "eval/corpus/win_fit.h"

#include <cmath>
#include <vector>

namespace fvscope {

namespace {

// ln(1 / (1 + exp(-z))) for any z, without overflow.
double LogSigmoid(double z) {
  return z >= 0 ? -std::log1p(std::exp(-z)) : z - std::log1p(std::exp(z));
}

// 1 / (1 + exp(-z)) for any z, without overflow.
double Sigmoid(double z) {
  if (z >= 0) return 1 / (1 + std::exp(-z));
  const double e = std::exp(z);
  return e / (1 + e);
}

// The decided positions at one value, the value centred and scaled.
struct DecidedPoint {
  double x;
  double black;
  double white;
};

// Log-likelihood of the points under p = sigmoid(alpha + beta * x).
double LogLikelihood(const std::vector<DecidedPoint>& points, double alpha, double beta) {
  double sum = 0;
  for (const DecidedPoint& p : points) {
    const double z = alpha + beta * p.x;
    if (p.black > 0) sum += p.black * LogSigmoid(z);
    if (p.white > 0) sum += p.white * LogSigmoid(-z);
  }
  return sum;
}

// Newton steps stop once the squared Newton decrement (about twice the
// log-likelihood still to gain) is below this.
constexpr double kConvergedDecrement = 1e-10;
// A decrement this small counts as converged when rounding stops the line
// search.
constexpr double kRoundingDecrement = 1e-6;
constexpr int kMaxNewtonSteps = 200;
constexpr int kMaxHalvings = 60;
// A slope past this (in log-odds per standard deviation of the values) has
// no finite optimum in sight.
constexpr double kMaxSlope = 1e9;

WinFit NoFit(WinFit fit, const std::string& why) {
  fit.converged = false;
  fit.why = why;
  return fit;
}

}  // namespace

int64_t TotalOf(const ResultCounts& c) { return c.black + c.white + c.draw + c.unknown; }

void CountResult(ResultCounts* counts, GameResult result) {
  switch (result) {
    case GameResult::kBlackWins: ++counts->black; break;
    case GameResult::kWhiteWins: ++counts->white; break;
    case GameResult::kDraw: ++counts->draw; break;
    default: ++counts->unknown; break;
  }
}

void CountPosition(ValueHistogram* histogram, int32_t value, GameResult result) {
  CountResult(&(*histogram)[value], result);
}

bool AddCounts(ResultCounts* a, const ResultCounts& b, std::string* error) {
  const int64_t parts[4][2] = {
      {a->black, b.black}, {a->white, b.white}, {a->draw, b.draw}, {a->unknown, b.unknown}};
  for (const auto& part : parts) {
    if (part[0] < 0 || part[1] < 0 || part[0] > kMaxCount - part[1]) {
      *error = "a count passes 2^53";
      return false;
    }
  }
  a->black += b.black;
  a->white += b.white;
  a->draw += b.draw;
  a->unknown += b.unknown;
  return true;
}

bool MergeHistogram(ValueHistogram* into, const ValueHistogram& from, std::string* error) {
  int64_t total = 0;
  for (const auto& [value, counts] : *into) total += TotalOf(counts);
  for (const auto& [value, counts] : from) {
    const int64_t added = TotalOf(counts);
    if (added < 0 || total > kMaxCount - added) {
      *error = "the positions pass 2^53";
      return false;
    }
    total += added;
    if (!AddCounts(&(*into)[value], counts, error)) return false;
  }
  return true;
}

WinFit FitWinRate(const ValueHistogram& histogram) {
  WinFit fit;
  double black = 0, white = 0, value_sum = 0;
  bool any_black = false, any_white = false;
  int64_t min_black = 0, max_black = 0, min_white = 0, max_white = 0;
  for (const auto& [value, counts] : histogram) {
    if (counts.black > 0) {
      if (!any_black) min_black = value;
      max_black = value;
      any_black = true;
    }
    if (counts.white > 0) {
      if (!any_white) min_white = value;
      max_white = value;
      any_white = true;
    }
    fit.positions += counts.black + counts.white;
    black += static_cast<double>(counts.black);
    white += static_cast<double>(counts.white);
    value_sum += static_cast<double>(counts.black + counts.white) * value;
  }
  if (fit.positions < 2) return NoFit(fit, "fewer than 2 positions of decided games");
  if (!any_black || !any_white) {
    return NoFit(fit, std::string("every decided position is a ") +
                          (any_black ? "black" : "white") + " win");
  }
  if (min_black >= max_white || max_black <= min_white) {
    return NoFit(fit, "the results are separated by value (no finite optimum)");
  }

  // Centre and scale the values: the optimum's slope is then of order 1.
  const double n = black + white;
  const double mean = value_sum / n;
  double squares = 0;
  for (const auto& [value, counts] : histogram) {
    const double d = value - mean;
    squares += static_cast<double>(counts.black + counts.white) * d * d;
  }
  const double spread = std::sqrt(squares / n);
  std::vector<DecidedPoint> points;
  for (const auto& [value, counts] : histogram) {
    if (counts.black + counts.white == 0) continue;
    points.push_back({(value - mean) / spread, static_cast<double>(counts.black),
                      static_cast<double>(counts.white)});
  }

  double alpha = std::log(black / white), beta = 0;
  double likelihood = LogLikelihood(points, alpha, beta);
  bool converged = false;
  for (int step = 0; step < kMaxNewtonSteps && !converged; ++step) {
    double g0 = 0, g1 = 0, h00 = 0, h01 = 0, h11 = 0;
    for (const DecidedPoint& p : points) {
      const double z = alpha + beta * p.x;
      const double pb = Sigmoid(z), pw = Sigmoid(-z);
      const double residual = p.black * pw - p.white * pb;
      const double weight = (p.black + p.white) * pb * pw;
      g0 += residual;
      g1 += residual * p.x;
      h00 += weight;
      h01 += weight * p.x;
      h11 += weight * p.x * p.x;
    }
    const double det = h00 * h11 - h01 * h01;
    if (!(det > 0) || !std::isfinite(det)) break;
    const double d0 = (h11 * g0 - h01 * g1) / det;
    const double d1 = (h00 * g1 - h01 * g0) / det;
    const double decrement = g0 * d0 + g1 * d1;
    if (!std::isfinite(decrement)) break;
    if (decrement <= kConvergedDecrement) {
      converged = true;
      break;
    }
    // Halve the step until the likelihood rises enough (Armijo), allowing
    // for the rounding of a sum over many positions.
    const double slack = 1e-13 * std::fabs(likelihood);
    bool moved = false;
    for (double t = 1; !moved && t > std::ldexp(1.0, -kMaxHalvings); t /= 2) {
      const double next = LogLikelihood(points, alpha + t * d0, beta + t * d1);
      if (next >= likelihood + 0.25 * t * decrement - slack) {
        alpha += t * d0;
        beta += t * d1;
        likelihood = next;
        moved = true;
      }
    }
    if (!moved) {
      converged = decrement <= kRoundingDecrement;
      break;
    }
    if (!(std::fabs(beta) < kMaxSlope)) break;
  }
  if (!converged) return NoFit(fit, "the fit does not converge");
  if (beta == 0) return NoFit(fit, "the value does not predict the result (slope 0)");
  fit.a = mean - alpha * spread / beta;
  fit.b = spread / beta;
  fit.cross_entropy = -likelihood / n;
  if (!std::isfinite(fit.a) || !std::isfinite(fit.b) || !std::isfinite(fit.cross_entropy)) {
    return NoFit(fit, "the fit does not converge to finite values");
  }
  fit.converged = true;
  return fit;
}

bool ScaleCrossEntropy(const ValueHistogram& histogram, int32_t scale, double* cross_entropy,
                       int64_t* positions, std::string* why) {
  *positions = 0;
  *cross_entropy = 0;
  if (scale <= 0) {
    *why = "scale " + std::to_string(scale) + " is not positive";
    return false;
  }
  double sum = 0;
  for (const auto& [value, counts] : histogram) {
    const double z = static_cast<double>(value) / scale;
    if (counts.black > 0) sum -= static_cast<double>(counts.black) * LogSigmoid(z);
    if (counts.white > 0) sum -= static_cast<double>(counts.white) * LogSigmoid(-z);
    *positions += counts.black + counts.white;
  }
  if (*positions == 0) {
    *why = "no position of a decided game";
    return false;
  }
  *cross_entropy = sum / static_cast<double>(*positions);
  return true;
}

int CalibrationBucketOf(int32_t value) {
  if (value < kCalibrationLow) return 0;
  if (value >= kCalibrationHigh) return kCalibrationBuckets - 1;
  return 1 + (value - kCalibrationLow) / kCalibrationWidth;
}

Calibration CalibrationOf(const ValueHistogram& histogram) {
  Calibration buckets;
  for (int k = 0; k < kCalibrationBuckets; ++k) {
    CalibrationBucket& bucket = buckets[k];
    bucket = CalibrationBucket();
    bucket.from = k == 0 ? -kCalibrationOpenEnd : kCalibrationLow + (k - 1) * kCalibrationWidth;
    bucket.to = k == kCalibrationBuckets - 1 ? kCalibrationOpenEnd
                                             : kCalibrationLow + k * kCalibrationWidth;
  }
  for (const auto& [value, counts] : histogram) {
    CalibrationBucket& bucket = buckets[CalibrationBucketOf(value)];
    bucket.counts.black += counts.black;
    bucket.counts.white += counts.white;
    bucket.counts.draw += counts.draw;
    bucket.counts.unknown += counts.unknown;
  }
  for (CalibrationBucket& bucket : buckets) bucket.positions = TotalOf(bucket.counts);
  return buckets;
}

}  // namespace fvscope
