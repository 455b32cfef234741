#include "eval/ranking.h"

#include <algorithm>
#include <cstdlib>

namespace fvscope {

bool RankPrecedes(const RankEntry& a, const RankEntry& b, SortMode mode) {
  const int32_t va = a.value;
  const int32_t vb = b.value;
  if (mode == kByMagnitude) return std::abs(va) > std::abs(vb);
  if (mode == kMostPositiveFirst) return va > vb;
  return va < vb;
}

void SortRanking(RankEntry* entries, int count, SortMode mode) {
  std::sort(entries, entries + count,
            [mode](const RankEntry& a, const RankEntry& b) { return RankPrecedes(a, b, mode); });
}

}  // namespace fvscope
