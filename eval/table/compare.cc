#include "eval/table/compare.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "eval/table/table_scan.h"

namespace fvscope {

namespace {

// A changed term before it is named: its values and its places as indices
// (cells in a leaf, features in a scan).
struct Change {
  int32_t change;
  int32_t before;
  int32_t after;
  int16_t king;
  int16_t a;
  int16_t b;
};

// Changes held at most while a table is compared; beyond it only the ones
// that can still rank are kept.
constexpr size_t kHeldChanges = 8192;

// Keeps the kRankingLength changes that go first under mode, in order.
void RankChanges(std::vector<Change>* changes, SortMode mode) {
  const auto first = [mode](const Change& x, const Change& y) {
    return ChangePrecedes(x.change, y.change, mode);
  };
  const size_t top = std::min<size_t>(changes->size(), kRankingLength);
  std::partial_sort(changes->begin(), changes->begin() + static_cast<long>(top), changes->end(),
                    first);
  changes->resize(top);
}

// Appends change unless kRankingLength held ones go strictly before it,
// dropping those that can no longer rank when too many are held.
void Hold(const Change& change, SortMode mode, std::vector<Change>* changes, bool* full) {
  if (*full && ChangePrecedes((*changes)[kRankingLength - 1].change, change.change, mode)) return;
  changes->push_back(change);
  if (changes->size() >= kHeldChanges) {
    RankChanges(changes, mode);
    *full = true;
  }
}

}  // namespace

bool ChangePrecedes(int32_t a, int32_t b, SortMode mode) {
  if (mode == kByMagnitude) return std::abs(int64_t{a}) > std::abs(int64_t{b});
  if (mode == kMostPositiveFirst) return a > b;
  return a < b;
}

bool CompareLeaf(const Position& position, const EvalFile& before, const EvalFile& after,
                 SortMode mode, LeafComparison* out, std::string* error) {
  auto breakdown = std::make_unique<LeafBreakdown>();
  if (!BreakDownLeaf(position, before, breakdown.get(), error)) return false;
  out->before = FiguresOf(*breakdown);
  if (!BreakDownLeaf(position, after, breakdown.get(), error)) return false;
  out->after = FiguresOf(*breakdown);

  const FeatureList& list = breakdown->features;
  const int bk = position.cells[kBlackKingCell];
  const int wk = position.cells[kWhiteKingCell];
  const int wk_viewed = FlipSquare(wk);
  std::vector<Change> changes;
  for (int i = 0; i < list.count; ++i) {
    for (int j = 0; j <= i; ++j) {
      const int32_t a1 = KppValue(before, bk, list.black[i].feature, list.black[j].feature);
      const int32_t a2 = KppValue(after, bk, list.black[i].feature, list.black[j].feature);
      const int32_t b1 = -KppValue(before, wk_viewed, list.white[i].feature, list.white[j].feature);
      const int32_t b2 = -KppValue(after, wk_viewed, list.white[i].feature, list.white[j].feature);
      if (a1 != a2) {
        changes.push_back({a2 - a1, a1, a2, int16_t(bk), list.black[i].cell, list.black[j].cell});
      }
      if (b1 != b2) {
        changes.push_back({b2 - b1, b1, b2, int16_t(wk), list.white[i].cell, list.white[j].cell});
      }
    }
  }
  out->changed = static_cast<int32_t>(changes.size());
  RankChanges(&changes, mode);
  out->ranking.count = static_cast<int32_t>(changes.size());
  const int8_t* cells = position.cells;
  for (size_t r = 0; r < changes.size(); ++r) {
    const Change& c = changes[r];
    out->ranking.terms[r] = {c.change, c.king, cells[c.king], c.a,     cells[c.a],
                             c.b,      cells[c.b], c.before,    c.after};
  }
  return true;
}

bool CompareKppSquare(const EvalFile& before, const EvalFile& after, int k, SortMode mode,
                      ScanComparison* out, std::string* error) {
  if (!CheckKingSquare(k, error)) return false;
  PrefetchKppTriangle(before, k);
  PrefetchKppTriangle(after, k);
  out->changed = 0;
  std::vector<Change> changes;
  changes.reserve(kHeldChanges);
  bool full = false;  // the first kRankingLength of changes are ranked
  ForEachKppEntry(k, [&](int i, int j, int64_t index) {
    const int32_t v1 = EvalValueAt(before, index);
    const int32_t v2 = EvalValueAt(after, index);
    if (v1 != v2) {
      ++out->changed;
      Hold({v2 - v1, v1, v2, int16_t(k), int16_t(i), int16_t(j)}, mode, &changes, &full);
    }
  });
  out->king_square = k;
  RankChanges(&changes, mode);
  out->ranking.count = static_cast<int32_t>(changes.size());
  for (size_t r = 0; r < changes.size(); ++r) {
    const Change& c = changes[r];
    RankedTerm t = ScanTerm(c.change, k, c.a, c.b);
    t.before = c.before;
    t.after = c.after;
    out->ranking.terms[r] = t;
  }
  return true;
}

}  // namespace fvscope

namespace fvscope {

std::vector<int32_t> RankGameChanges(const std::vector<PositionFigures>& before,
                                     const std::vector<PositionFigures>& after, int count) {
  const size_t plies = std::min(before.size(), after.size());
  std::vector<int32_t> order(plies);
  for (size_t i = 0; i < plies; ++i) order[i] = static_cast<int32_t>(i);
  const auto size = [&](int32_t i) {
    return std::abs(static_cast<int64_t>(after[i].value) - before[i].value);
  };
  const size_t kept = std::min(plies, static_cast<size_t>(std::max(count, 0)));
  std::partial_sort(order.begin(), order.begin() + kept, order.end(), [&](int32_t a, int32_t b) {
    const int64_t x = size(a), y = size(b);
    return x != y ? x > y : a < b;
  });
  order.resize(kept);
  return order;
}

}  // namespace fvscope
