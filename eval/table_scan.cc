#include "eval/table_scan.h"

#include <cstdlib>
#include <cstring>

#include "eval/eval_file.h"
#include "eval/features.h"
#include "shogi/settings.h"

namespace fvscope {

bool CollectKppEntries(int k, std::vector<RankEntry>* entries, std::string* error) {
  if (!LoadKppSquare(k, error)) return false;
  const KppMatrix& table = KppSquare(k);
  entries->clear();
  for (int i = 0; i < kKppFeatures; ++i) {
    const int16_t* row = table[i];
    for (int j = 0; j <= i; ++j) {
      const int32_t v = row[j];
      if (std::abs(v) > kScanThreshold) {
        entries->push_back({row[j], static_cast<int16_t>(k), static_cast<int16_t>(i),
                            static_cast<int16_t>(j)});
      }
    }
  }
  return true;
}

bool ScanKppTable(int k, FILE* out, RankedTerms* ranked, std::string* error) {
  std::vector<RankEntry> entries;
  if (!CollectKppEntries(k, &entries, error)) return false;
  const int rnum = static_cast<int>(entries.size());
  std::fprintf(out, "rnum = %d\n", rnum);
  SortRanking(entries.data(), rnum);
  std::fputs("RANKING:\n", out);
  ranked->count = rnum < kRankingLength ? rnum : kRankingLength;
  for (int n = 0; n < ranked->count; ++n) {
    const RankEntry& e = entries[n];
    DecodedFeature a, b;
    DecodeFeature(e.item_a, &a);
    DecodeFeature(e.item_b, &b);
    RankedTerm& term = ranked->terms[n];
    std::memset(term.position.cells, 0, sizeof term.position.cells);
    term.position.cells[e.king_square] = kKing;
    term.position.cells[a.cell] = static_cast<int8_t>(a.value);
    term.position.cells[b.cell] = static_cast<int8_t>(b.value);
    term.value = e.value;
    term.king = e.king_square;
    term.cell_a = a.cell;
    term.cell_b = b.cell;
    PrintRankingLine(out, n + 1, e.value, e.king_square, kKing, a.cell, a.value, b.cell, b.value);
  }
  return true;
}

}  // namespace fvscope
