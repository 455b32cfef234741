#include "eval/table_scan.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "eval/eval_file.h"
#include "eval/features.h"

namespace fvscope {

bool CollectKppEntries(const EvalFile& file, int k, std::vector<RankEntry>* entries,
                       std::string* error) {
  if (!IsSquare(k)) {
    *error = "king square " + std::to_string(k) + " is outside 0..80";
    return false;
  }
  entries->clear();
  PrefetchKppTriangle(file, k);
  const int64_t triangle = k * kKppTriangleValues;
  for (int i = 0; i < kKppFeatures; ++i) {
    const int64_t row = triangle + TriangleIndex(i, 0);
    for (int j = 0; j <= i; ++j) {
      const int16_t v = EvalValueAt(file, row + j);
      if (std::abs(int32_t{v}) > kScanThreshold) {
        entries->push_back({v, static_cast<int16_t>(k), static_cast<int16_t>(i),
                            static_cast<int16_t>(j)});
      }
    }
  }
  return true;
}

bool ScanKppTable(const EvalFile& file, int k, SortMode mode, TableScan* scan,
                  std::string* error) {
  std::vector<RankEntry> entries;
  if (!CollectKppEntries(file, k, &entries, error)) return false;
  const int count = static_cast<int>(entries.size());
  SortRanking(entries.data(), count, mode);
  scan->king_square = k;
  scan->count = count;
  scan->ranking.count = count < kRankingLength ? count : kRankingLength;
  for (int n = 0; n < scan->ranking.count; ++n) {
    const RankEntry& e = entries[n];
    DecodedFeature a, b;
    DecodeFeature(e.item_a, &a);
    DecodeFeature(e.item_b, &b);
    scan->ranking.terms[n] = {e.value, e.king_square, kKing, a.cell, a.value, b.cell, b.value};
  }
  return true;
}

Position ScanTermPosition(const RankedTerm& term) {
  Position position;
  std::memset(position.cells, 0, sizeof position.cells);
  for (const auto& [cell, code] : {std::pair{term.king, term.king_code},
                                   std::pair{term.cell_a, term.code_a},
                                   std::pair{term.cell_b, term.code_b}}) {
    if (cell >= 0 && cell < kFilledCells) position.cells[cell] = static_cast<int8_t>(code);
  }
  return position;
}

}  // namespace fvscope
