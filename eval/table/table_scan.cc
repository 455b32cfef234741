#include "eval/table/table_scan.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "eval/table/eval_file.h"
#include "eval/table/features.h"

namespace fvscope {

bool CollectKppEntries(const EvalFile& file, int k, std::vector<RankEntry>* entries,
                       std::string* error) {
  if (!CheckKingSquare(k, error)) return false;
  entries->clear();
  PrefetchKppTriangle(file, k);
  ForEachKppEntry(k, [&](int i, int j, int64_t index) {
    const int16_t v = EvalValueAt(file, index);
    if (std::abs(int32_t{v}) > kScanThreshold) {
      entries->push_back({v, static_cast<int16_t>(k), static_cast<int16_t>(i),
                          static_cast<int16_t>(j)});
    }
  });
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
    scan->ranking.terms[n] = ScanTerm(e.value, e.king_square, e.item_a, e.item_b);
  }
  return true;
}

RankedTerm ScanTerm(int32_t value, int k, int i, int j) {
  DecodedFeature a, b;
  DecodeFeature(i, &a);
  DecodeFeature(j, &b);
  return {value, k, kKing, a.cell, a.value, b.cell, b.value};
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
