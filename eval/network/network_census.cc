#include "eval/network/network_census.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>

#include "eval/network/network_eval.h"

namespace fvscope {

namespace {

// Running sums of a set of numbers.
struct Tally {
  int64_t count = 0;
  int64_t sum = 0;
  int64_t squares = 0;
  int64_t zeros = 0;
  int64_t minimum = INT64_MAX;
  int64_t maximum = INT64_MIN;

  void Add(int64_t v) {
    ++count;
    sum += v;
    squares += v * v;
    zeros += v == 0;
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
  }
};

ValueFigures FiguresOf(const Tally& t) {
  ValueFigures f;
  f.count = t.count;
  if (t.count == 0) return f;
  const double n = static_cast<double>(t.count);
  f.minimum = t.minimum;
  f.maximum = t.maximum;
  f.mean = static_cast<double>(t.sum) / n;
  f.deviation = std::sqrt(std::max(0.0, static_cast<double>(t.squares) / n - f.mean * f.mean));
  f.zero_share = static_cast<double>(t.zeros) / n;
  return f;
}

// Tallies the weights of a layer of rows x stored columns, of which the
// first used are real, and its biases; of after - before when after is not null.
template <typename Weight, typename Bias>
LayerFigures DenseFigures(const Weight* weights, const Weight* after_weights, int rows, int stored,
                          int used, const Bias* biases, const Bias* after_biases) {
  Tally w, b;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < used; ++c) {
      const int64_t v = weights[int64_t{r} * stored + c];
      w.Add(after_weights != nullptr ? after_weights[int64_t{r} * stored + c] - v : v);
    }
    b.Add(after_biases != nullptr ? int64_t{after_biases[r]} - biases[r] : int64_t{biases[r]});
  }
  return {FiguresOf(w), FiguresOf(b)};
}

// The hidden layers' figures: layer1, layer2 and output of network, or of after - network.
void HiddenFigures(const Network& n, const Network* after, LayerFigures* out) {
  const NetworkShape& s = n.shape;
  out[1] = DenseFigures(n.w1.data(), after != nullptr ? after->w1.data() : nullptr, s.h1,
                        PaddedWidth(2 * s.w), 2 * s.w, n.b1.data(),
                        after != nullptr ? after->b1.data() : nullptr);
  out[2] = DenseFigures(n.w2.data(), after != nullptr ? after->w2.data() : nullptr, s.h2,
                        PaddedWidth(s.h1), s.h1, n.b2.data(),
                        after != nullptr ? after->b2.data() : nullptr);
  out[3] = DenseFigures(n.w3.data(), after != nullptr ? after->w3.data() : nullptr, 1,
                        PaddedWidth(s.h2), s.h2, &n.b3, after != nullptr ? &after->b3 : nullptr);
}

// The transformer's biases, of network or of after - network.
ValueFigures BiasFigures(const Network& n, const Network* after) {
  Tally t;
  for (int i = 0; i < n.shape.w; ++i) {
    t.Add(after != nullptr ? int64_t{after->biases[i]} - n.biases[i] : int64_t{n.biases[i]});
  }
  return FiguresOf(t);
}

// Figures of one row of W numbers, summed into a tally at once.
struct RowSums {
  int64_t sum = 0;
  int64_t squares = 0;
  int64_t magnitude = 0;
  int32_t zeros = 0;
  int32_t minimum = INT32_MAX;
  int32_t maximum = INT32_MIN;
};

template <typename Value>
inline __attribute__((always_inline)) RowSums SumRow(const Value& value, int w) {
  RowSums r;
  int32_t sum = 0, magnitude = 0, zeros = 0, lo = INT32_MAX, hi = INT32_MIN;
  int64_t squares = 0;
  for (int i = 0; i < w; ++i) {
    const int32_t v = value(i);
    sum += v;
    magnitude += v < 0 ? -v : v;
    squares += int64_t{v} * v;
    zeros += v == 0;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  r.sum = sum;
  r.magnitude = magnitude;
  r.squares = squares;
  r.zeros = zeros;
  r.minimum = lo;
  r.maximum = hi;
  return r;
}

void AddRow(const RowSums& r, int w, Tally* t) {
  t->count += w;
  t->sum += r.sum;
  t->squares += r.squares;
  t->zeros += r.zeros;
  t->minimum = std::min<int64_t>(t->minimum, r.minimum);
  t->maximum = std::max<int64_t>(t->maximum, r.maximum);
}

// What a run of king squares of the transformer adds up to.
struct KingScan {
  Tally weights;
  Tally changes;
};

// Scans king squares [begin, end) of the transformer into *scan, the
// census's per king figures and moved (when after is not null).
inline __attribute__((always_inline)) void ScanKingsBody(const Network& network,
                                                         const Network* after, int begin, int end,
                                                         KingScan* scan, NetworkCensus* c,
                                                         int64_t* moved) {
  const int w = network.shape.w;
  const double per_king = static_cast<double>(kPieceFeatures) * w;
  for (int k = begin; k < end; ++k) {
    int64_t magnitude = 0, change = 0;
    for (int f = 0; f < kPieceFeatures; ++f) {
      const int16_t* row = InputWeights(network, k, f);
      const RowSums r = SumRow([row](int i) { return int32_t{row[i]}; }, w);
      AddRow(r, w, &scan->weights);
      magnitude += r.magnitude;
      c->king_untrained[k] += r.zeros == w;
      if (after == nullptr) continue;
      const int16_t* next = InputWeights(*after, k, f);
      const RowSums d = SumRow([row, next](int i) { return int32_t{next[i]} - row[i]; }, w);
      AddRow(d, w, &scan->changes);
      change += d.magnitude;
      moved[int64_t{k} * kPieceFeatures + f] = d.magnitude;
    }
    c->king_magnitude[k] = static_cast<double>(magnitude) / per_king;
    c->king_change[k] = static_cast<double>(change) / per_king;
  }
}

void ScanKingsPlain(const Network& network, const Network* after, int begin, int end,
                    KingScan* scan, NetworkCensus* c, int64_t* moved) {
  ScanKingsBody(network, after, begin, end, scan, c, moved);
}

__attribute__((target("avx2"), optimize("tree-vectorize"))) void ScanKingsAvx2(const Network& network, const Network* after,
                                                   int begin, int end, KingScan* scan,
                                                   NetworkCensus* c, int64_t* moved) {
  ScanKingsBody(network, after, begin, end, scan, c, moved);
}

void Merge(const Tally& from, Tally* into) {
  into->count += from.count;
  into->sum += from.sum;
  into->squares += from.squares;
  into->zeros += from.zeros;
  into->minimum = std::min(into->minimum, from.minimum);
  into->maximum = std::max(into->maximum, from.maximum);
}

}  // namespace

bool SameNetworkShape(const Network& a, const Network& b) {
  return a.shape.w == b.shape.w && a.shape.h1 == b.shape.h1 && a.shape.h2 == b.shape.h2;
}

std::vector<int32_t> DeadNeurons(const Network& network, int layer) {
  const NetworkShape& s = network.shape;
  const int rows = layer == 1 ? s.h1 : s.h2;
  const int used = layer == 1 ? 2 * s.w : s.h1;
  const int stored = PaddedWidth(used);
  const std::vector<int8_t>& weights = layer == 1 ? network.w1 : network.w2;
  const std::vector<int32_t>& biases = layer == 1 ? network.b1 : network.b2;
  std::vector<int32_t> dead;
  for (int r = 0; r < rows; ++r) {
    int64_t most = biases[r];
    for (int c = 0; c < used; ++c) {
      most += std::max(0, int{weights[int64_t{r} * stored + c]}) * kClampMax;
    }
    if ((most >> kLayerShift) <= 0) dead.push_back(r);
  }
  return dead;
}

void TakeNetworkCensus(const Network& network, const Network* after, int threads,
                       NetworkCensus* census) {
  NetworkCensus& c = *census;
  c = NetworkCensus{};
  c.shape = network.shape;
  c.compared = after != nullptr;
  HiddenFigures(network, nullptr, c.layers);
  c.layers[0].biases = BiasFigures(network, nullptr);
  c.dead[0] = DeadNeurons(network, 1);
  c.dead[1] = DeadNeurons(network, 2);
  if (after != nullptr) {
    HiddenFigures(network, after, c.changes);
    c.changes[0].biases = BiasFigures(network, after);
  }
  std::vector<int64_t> moved(after != nullptr ? kNetworkInputs : 0);
  const auto scan_kings = FastestNetworkPath() == NetworkPath::kAvx2 ? ScanKingsAvx2 : ScanKingsPlain;
  const int runs = std::clamp(threads, 1, kSquares);
  std::vector<KingScan> scans(runs);
  std::vector<std::thread> started;
  for (int t = 0; t < runs; ++t) {
    const int begin = kSquares * t / runs, end = kSquares * (t + 1) / runs;
    const auto work = [&, t, begin, end] { scan_kings(network, after, begin, end, &scans[t], &c, moved.data()); };
    if (t + 1 < runs) {
      started.emplace_back(work);
    } else {
      work();
    }
  }
  for (std::thread& thread : started) thread.join();
  Tally weights, changes;
  for (const KingScan& scan : scans) {
    Merge(scan.weights, &weights);
    Merge(scan.changes, &changes);
  }
  c.layers[0].weights = FiguresOf(weights);
  if (after == nullptr) return;
  c.changes[0].weights = FiguresOf(changes);
  std::vector<int32_t> order(moved.size());
  std::iota(order.begin(), order.end(), 0);
  const size_t top = std::min<size_t>(kMovedFeatures, order.size());
  std::partial_sort(order.begin(), order.begin() + top, order.end(), [&](int32_t a, int32_t b) {
    return moved[a] != moved[b] ? moved[a] > moved[b] : a < b;
  });
  for (size_t i = 0; i < top && moved[order[i]] > 0; ++i) {
    c.moved.push_back({order[i] / kPieceFeatures, order[i] % kPieceFeatures, moved[order[i]]});
  }
}

Ranking MovedRanking(const NetworkCensus& census) {
  Ranking ranking;
  ranking.count = std::min<int32_t>(static_cast<int32_t>(census.moved.size()), kRankingLength);
  for (int r = 0; r < ranking.count; ++r) {
    const MovedFeature& m = census.moved[r];
    int cell = -1, code = 0;
    DecodePieceFeature(m.feature, &cell, &code);
    ranking.terms[r] = {static_cast<int32_t>(std::min<int64_t>(m.moved, INT32_MAX)),
                        KingSquareOfIndex(m.king), kKing, cell, code, cell, code};
  }
  return ranking;
}

}  // namespace fvscope
