#include "eval/ranking.h"

#include <algorithm>
#include <cstdlib>

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

}  // namespace fvscope
