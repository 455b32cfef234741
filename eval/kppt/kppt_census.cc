#include "eval/kppt/kppt_census.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace fvscope {

namespace {

// Entries counted between two additions into the 64-bit figures: small
// enough that no 32-bit partial sum of 16-bit values or their changes can
// overflow (4096 * 65535 < 2^31).
constexpr int kBlock = 4096;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FVSCOPE_KPPT_CLONES __attribute__((target_clones("avx2", "default")))
#define FVSCOPE_KPPT_INLINE __attribute__((always_inline)) inline
#else
#define FVSCOPE_KPPT_CLONES
#define FVSCOPE_KPPT_INLINE inline
#endif

// Partial figures of one part over one block.
struct BlockCounts {
  int32_t nonzero = 0;
  int32_t sum = 0;
  int32_t largest = 0;
  int32_t saturated = 0;
  int32_t changed = 0;
  int32_t change_sum = 0;
};

// Figures of part p of n entries of kParts 16-bit values each at a (and at
// b, with their changes, when kCompare).
template <int kParts, bool kCompare>
FVSCOPE_KPPT_INLINE void CountBlock16(const int16_t* a, const int16_t* b, int n, int p,
                                      BlockCounts* out_a, BlockCounts* out_b) {
  int32_t nonzero_a = 0, sum_a = 0, largest_a = 0, saturated_a = 0;
  int32_t nonzero_b = 0, sum_b = 0, largest_b = 0, saturated_b = 0;
  int32_t changed = 0, change_sum = 0;
  for (int i = 0; i < n; ++i) {
    const int32_t u = a[i * kParts + p];
    const int32_t mu = u < 0 ? -u : u;
    nonzero_a += u != 0;
    sum_a += mu;
    largest_a = mu > largest_a ? mu : largest_a;
    saturated_a += mu >= INT16_MAX;
    if constexpr (kCompare) {
      const int32_t v = b[i * kParts + p];
      const int32_t mv = v < 0 ? -v : v;
      const int32_t d = v - u;
      nonzero_b += v != 0;
      sum_b += mv;
      largest_b = mv > largest_b ? mv : largest_b;
      saturated_b += mv >= INT16_MAX;
      changed += d != 0;
      change_sum += d < 0 ? -d : d;
    }
  }
  *out_a = {nonzero_a, sum_a, largest_a, saturated_a, changed, change_sum};
  if constexpr (kCompare) *out_b = {nonzero_b, sum_b, largest_b, saturated_b, 0, 0};
}

FVSCOPE_KPPT_CLONES void CountPairs16(const int16_t* a, int n, BlockCounts* out) {
  CountBlock16<2, false>(a, nullptr, n, 0, &out[0], nullptr);
  CountBlock16<2, false>(a, nullptr, n, 1, &out[1], nullptr);
}

FVSCOPE_KPPT_CLONES void CountSingles16(const int16_t* a, int n, BlockCounts* out) {
  CountBlock16<1, false>(a, nullptr, n, 0, &out[0], nullptr);
}

FVSCOPE_KPPT_CLONES void ComparePairs16(const int16_t* a, const int16_t* b, int n,
                                        BlockCounts* out_a, BlockCounts* out_b) {
  CountBlock16<2, true>(a, b, n, 0, &out_a[0], &out_b[0]);
  CountBlock16<2, true>(a, b, n, 1, &out_a[1], &out_b[1]);
}

FVSCOPE_KPPT_CLONES void CompareSingles16(const int16_t* a, const int16_t* b, int n,
                                          BlockCounts* out_a, BlockCounts* out_b) {
  CountBlock16<1, true>(a, b, n, 0, &out_a[0], &out_b[0]);
}

void Add(const BlockCounts& block, CensusCounts* counts) {
  counts->nonzero += block.nonzero;
  counts->magnitude_sum += block.sum;
  counts->largest = std::max(counts->largest, block.largest);
  counts->saturated += block.saturated;
}

// The 16-bit values of bytes, in the machine's order: in place on a
// little-endian machine, else copied into buffer.
const int16_t* Values16(const uint8_t* bytes, int count, int16_t* buffer) {
  if constexpr (std::endian::native == std::endian::little) {
    return reinterpret_cast<const int16_t*>(bytes);
  }
  for (int i = 0; i < count; ++i) buffer[i] = static_cast<int16_t>(ReadLe16(bytes + 2 * i));
  return buffer;
}

// Counts entries [0, entries) of a table of 16-bit values, parts per entry,
// at a (and at b when not null) into *cell.
void CountTable16(const uint8_t* a, const uint8_t* b, int parts, int64_t entries,
                  KpptCensusCell* cell) {
  std::vector<int16_t> buffer_a, buffer_b;
  if constexpr (std::endian::native != std::endian::little) {
    buffer_a.resize(kBlock * 2);
    buffer_b.resize(kBlock * 2);
  }
  for (int p = 0; p < parts; ++p) {
    cell->counts[p].entries += entries;
    if (b != nullptr) cell->after[p].entries += entries;
  }
  for (int64_t at = 0; at < entries; at += kBlock) {
    const int n = static_cast<int>(std::min<int64_t>(kBlock, entries - at));
    const int64_t offset = at * parts * 2;
    const int16_t* va = Values16(a + offset, n * parts, buffer_a.data());
    BlockCounts out_a[kKpptParts], out_b[kKpptParts];
    if (b == nullptr) {
      parts == 2 ? CountPairs16(va, n, out_a) : CountSingles16(va, n, out_a);
    } else {
      const int16_t* vb = Values16(b + offset, n * parts, buffer_b.data());
      parts == 2 ? ComparePairs16(va, vb, n, out_a, out_b)
                 : CompareSingles16(va, vb, n, out_a, out_b);
    }
    for (int p = 0; p < parts; ++p) {
      Add(out_a[p], &cell->counts[p]);
      if (b == nullptr) continue;
      Add(out_b[p], &cell->after[p]);
      cell->change[p].changed += out_a[p].changed;
      cell->change[p].change_sum += out_a[p].change_sum;
    }
  }
}

// As CountTable16 for a table of 32-bit pairs; none of its values counts as saturated.
void CountTable32(const uint8_t* a, const uint8_t* b, int64_t entries, KpptCensusCell* cell) {
  for (int p = 0; p < kKpptParts; ++p) {
    int64_t nonzero_a = 0, sum_a = 0, largest_a = 0, nonzero_b = 0, sum_b = 0, largest_b = 0;
    int64_t changed = 0, change_sum = 0;
    for (int64_t i = 0; i < entries; ++i) {
      const int64_t u = ReadLe32(a + (i * 2 + p) * 4);
      const int64_t mu = u < 0 ? -u : u;
      nonzero_a += u != 0;
      sum_a += mu;
      largest_a = std::max(largest_a, mu);
      if (b == nullptr) continue;
      const int64_t v = ReadLe32(b + (i * 2 + p) * 4);
      const int64_t mv = v < 0 ? -v : v;
      nonzero_b += v != 0;
      sum_b += mv;
      largest_b = std::max(largest_b, mv);
      changed += v != u;
      change_sum += v > u ? v - u : u - v;
    }
    auto put = [&](CensusCounts* c, int64_t nonzero, int64_t sum, int64_t largest) {
      c->entries += entries;
      c->nonzero += nonzero;
      c->magnitude_sum += sum;
      c->largest = std::max<int32_t>(c->largest, static_cast<int32_t>(std::min<int64_t>(largest, INT32_MAX)));
    };
    put(&cell->counts[p], nonzero_a, sum_a, largest_a);
    if (b == nullptr) continue;
    put(&cell->after[p], nonzero_b, sum_b, largest_b);
    cell->change[p].changed += changed;
    cell->change[p].change_sum += change_sum;
  }
}

// Counts a table of element_bytes-wide values, parts per entry.
void CountTable(const uint8_t* a, const uint8_t* b, int element_bytes, int parts, int64_t entries,
                KpptCensusCell* cell) {
  if (element_bytes == 4) {
    CountTable32(a, b, entries, cell);
  } else {
    CountTable16(a, b, parts, entries, cell);
  }
}

// Counts the KPP slabs and KKP blocks of king squares [first, last).
void CountSquares(const KpptSet& set, const KpptSet* after, int first, int last, KpptCensus* c) {
  const int64_t kpp_stride = kKppSlabEntries * 2 * set.kpp_parts;
  const int64_t kkp_entries = int64_t{kSquares} * kPieceFeatures;
  const int64_t kkp_stride = kkp_entries * 2 * set.kkp_bytes;
  for (int k = first; k < last; ++k) {
    c->kpp[k] = {};
    CountTable16(set.kpp + k * kpp_stride, after != nullptr ? after->kpp + k * kpp_stride : nullptr,
                 set.kpp_parts, kKppSlabEntries, &c->kpp[k]);
  }
  for (int k = first; k < last; ++k) {
    c->kkp[k] = {};
    CountTable(set.kkp + k * kkp_stride, after != nullptr ? after->kkp + k * kkp_stride : nullptr,
               set.kkp_bytes, 2, kkp_entries, &c->kkp[k]);
  }
}

void AddCounts(const CensusCounts& part, CensusCounts* total) {
  total->entries += part.entries;
  total->nonzero += part.nonzero;
  total->magnitude_sum += part.magnitude_sum;
  total->largest = std::max(total->largest, part.largest);
  total->saturated += part.saturated;
}

void AddCell(const KpptCensusCell& part, KpptCensusCell* total) {
  for (int p = 0; p < kKpptParts; ++p) {
    AddCounts(part.counts[p], &total->counts[p]);
    AddCounts(part.after[p], &total->after[p]);
    total->change[p].changed += part.change[p].changed;
    total->change[p].change_sum += part.change[p].change_sum;
  }
}

}  // namespace

void TakeKpptCensus(const KpptSet& set, const KpptSet* after, int threads, KpptCensus* census) {
  KpptCensus& c = *census;
  c.layout = set.layout;
  c.compared = after != nullptr;
  c.has_kk = set.kk != nullptr;
  c.kpp_parts = set.kpp_parts;
  const int runs = std::clamp(threads, 1, kSquares);
  std::vector<std::thread> started;
  for (int r = runs - 1; r >= 0; --r) {
    const int first = kSquares * r / runs, last = kSquares * (r + 1) / runs;
    if (r == 0) {
      CountSquares(set, after, first, last, &c);
      break;
    }
    try {
      started.emplace_back(CountSquares, std::cref(set), after, first, last, &c);
    } catch (const std::system_error&) {
      CountSquares(set, after, first, last, &c);
    }
  }
  for (std::thread& thread : started) thread.join();
  c.kk = {};
  if (c.has_kk) {
    CountTable(set.kk, after != nullptr ? after->kk : nullptr, set.kk_bytes, 2, kKkPairs, &c.kk);
  }
  c.kpp_total = {};
  c.kkp_total = {};
  for (int k = 0; k < kSquares; ++k) {
    AddCell(c.kpp[k], &c.kpp_total);
    AddCell(c.kkp[k], &c.kkp_total);
  }
}

}  // namespace fvscope
