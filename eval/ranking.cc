#include "eval/ranking.h"

#include <algorithm>
#include <cstdlib>

#include "shogi/cell_name.h"
#include "shogi/settings.h"

namespace fvscope {

bool RankPrecedes(const RankEntry& a, const RankEntry& b) {
  const int32_t va = a.value;
  const int32_t vb = b.value;
  if (SortMode == 0) return std::abs(va) > std::abs(vb);
  if (SortMode == 1) return va > vb;
  return va < vb;
}

void SortRanking(RankEntry* entries, int count) {
  std::sort(entries, entries + count, RankPrecedes);
}

void PrintRankingLine(FILE* out, int rank, int32_t value, int king, int king_code, int cell_a,
                      int code_a, int cell_b, int code_b) {
  std::fprintf(out, "%d: value = %d  ", rank, value);
  // CellName's buffer is shared: each name is printed before the next is made.
  std::fprintf(out, "[%s]-", CellName(king, king_code));
  std::fprintf(out, "[%s]-", CellName(cell_a, code_a));
  std::fprintf(out, "[%s]\n", CellName(cell_b, code_b));
}

}  // namespace fvscope
