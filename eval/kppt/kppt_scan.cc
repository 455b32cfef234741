#include "eval/kppt/kppt_scan.h"

#include <algorithm>
#include <cstdlib>

#include "eval/piece_features.h"

namespace fvscope {

namespace {

// True for the numbers that stand for a piece.
struct PieceNumbers {
  bool piece[kPieceFeatures];
};

PieceNumbers MakePieceNumbers() {
  PieceNumbers numbers{};
  for (int f = 0; f < kPieceFeatures; ++f) {
    int cell, code;
    numbers.piece[f] = DecodePieceFeature(f, &cell, &code);
  }
  return numbers;
}

const PieceNumbers& Numbers() {
  static const PieceNumbers numbers = MakePieceNumbers();
  return numbers;
}

}  // namespace

bool KpptScanPrecedes(const KpptScanEntry& x, const KpptScanEntry& y, SortMode mode) {
  const int64_t vx = x.value, vy = y.value;
  const int64_t kx = mode == kByMagnitude ? std::abs(vx) : mode == kMostPositiveFirst ? vx : -vx;
  const int64_t ky = mode == kByMagnitude ? std::abs(vy) : mode == kMostPositiveFirst ? vy : -vy;
  if (kx != ky) return kx > ky;
  if (x.a != y.a) return x.a < y.a;
  return x.b < y.b;
}

std::vector<KpptScanEntry> CollectKpptEntries(const KpptSet& set, const KpptSet* second,
                                              int square, KpptPart part) {
  const PieceNumbers& numbers = Numbers();
  const int k = FeatureSquare(square);
  std::vector<KpptScanEntry> entries;
  for (int a = 1; a < kPieceFeatures; ++a) {
    if (!numbers.piece[a]) continue;
    for (int b = 1; b < a; ++b) {
      if (!numbers.piece[b]) continue;
      const int32_t v = PartOf(KppPair(set, k, a, b), part);
      const int32_t value = second != nullptr ? PartOf(KppPair(*second, k, a, b), part) - v : v;
      if (value != 0) entries.push_back({value, static_cast<int16_t>(a), static_cast<int16_t>(b)});
    }
  }
  return entries;
}

bool ScanKpptSlab(const KpptSet& set, const KpptSet* second, int square, KpptPart part,
                  SortMode mode, KpptScan* scan, std::string* error) {
  if (square < 0 || square >= kSquares) {
    *error = "king square " + std::to_string(square) + " is outside 0..80";
    return false;
  }
  std::vector<KpptScanEntry> entries = CollectKpptEntries(set, second, square, part);
  const size_t top = std::min<size_t>(kRankingLength, entries.size());
  std::partial_sort(entries.begin(), entries.begin() + top, entries.end(),
                    [mode](const KpptScanEntry& x, const KpptScanEntry& y) {
                      return KpptScanPrecedes(x, y, mode);
                    });
  scan->king_square = square;
  scan->part = part;
  scan->compared = second != nullptr;
  scan->count = static_cast<int32_t>(entries.size());
  scan->ranking.count = static_cast<int32_t>(top);
  const int k = FeatureSquare(square);
  for (size_t n = 0; n < top; ++n) {
    const KpptScanEntry& e = entries[n];
    RankedTerm& t = scan->ranking.terms[n];
    int cell_a, code_a, cell_b, code_b;
    DecodePieceFeature(e.a, &cell_a, &code_a);
    DecodePieceFeature(e.b, &cell_b, &code_b);
    const KpptPair pair = KppPair(set, k, e.a, e.b);
    t = {e.value, square, kKing, cell_a, code_a, cell_b, code_b};
    t.board = pair.board;
    t.turn = pair.turn;
    if (second != nullptr) {
      t.before = PartOf(pair, part);
      t.after = PartOf(KppPair(*second, k, e.a, e.b), part);
    }
  }
  return true;
}

}  // namespace fvscope
