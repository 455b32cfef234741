#include "eval/entry_use.h"

#include <sys/mman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace fvscope {

namespace {

constexpr size_t kSliceBytes = 2 * kKppTriangleValues * sizeof(uint32_t);
constexpr char kTag[] = "FVU1";
constexpr int kTagBytes = 4;
constexpr int kMaxVarintBytes = 10;

// The counts of king square k, mapped on first use; null when they cannot
// be. The caller holds k's lock.
uint32_t* SliceOf(EntryUse* use, int k) {
  if (use->counts[k] == nullptr) {
    void* mapped =
        mmap(nullptr, kSliceBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    if (use->huge_pages) madvise(mapped, kSliceBytes, MADV_HUGEPAGE);
    use->counts[k] = static_cast<uint32_t*>(mapped);
  }
  return use->counts[k];
}

bool NoSlice(int k, std::string* error) {
  *error = "cannot map the read counts of king square " + std::to_string(k);
  return false;
}

void AddSaturating(uint32_t* count, uint64_t add) {
  const uint64_t sum = *count + add;
  *count = sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

void Touch(EntryUse* use, int k, int64_t offset) {
  const int64_t chunk = offset >> kUseChunkShift;
  use->touched[k][chunk >> 6] |= uint64_t{1} << (chunk & 63);
}

void MarkKkp(EntryUse* use, int64_t index) {
  std::atomic<uint64_t>& word = use->kkp[index >> 6];
  const uint64_t bit = uint64_t{1} << (index & 63);
  if (!(word.load(std::memory_order_relaxed) & bit)) word.fetch_or(bit, std::memory_order_relaxed);
}

void PutVarint(uint64_t v, std::string* out) {
  while (v >= 0x80) {
    out->push_back(static_cast<char>(v | 0x80));
    v >>= 7;
  }
  out->push_back(static_cast<char>(v));
}

// Reads the byte form; adds to *into when it is not null. Checking every
// byte first (into null) means the adding pass cannot fail on the input.
class UseReader {
 public:
  UseReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Read(EntryUse* into, std::string* error) {
    error_ = error;
    if (size_ < kTagBytes || std::memcmp(data_, kTag, kTagBytes) != 0) {
      return Fail("no entry use tag \"FVU1\" at the start");
    }
    pos_ = kTagBytes;
    uint64_t entries;
    if (!Varint("the number of KPP entries", &entries)) return false;
    // An entry takes three bytes at the least.
    if (entries > static_cast<uint64_t>(kKppValues) || entries > (size_ - pos_) / 3) {
      return Fail(std::to_string(entries) + " KPP entries: more than " +
                  (entries > static_cast<uint64_t>(kKppValues) ? "the table has"
                                                               : "the bytes left can hold"));
    }
    int64_t index = -1;
    int locked = -1;
    std::unique_lock<std::mutex> lock;
    for (uint64_t n = 0; n < entries; ++n) {
      uint64_t delta, black, white;
      if (!Varint("a KPP index", &delta) || !Step(index, delta, kKppValues, "KPP", &index) ||
          !Varint("a black count", &black) || !Varint("a white count", &white)) {
        return false;
      }
      if (black > UINT32_MAX || white > UINT32_MAX) {
        return Fail("KPP entry " + std::to_string(index) + ": a count above 4294967295");
      }
      if (black == 0 && white == 0) {
        return Fail("KPP entry " + std::to_string(index) + ": no reads");
      }
      if (into == nullptr) continue;
      const int k = static_cast<int>(index / kKppTriangleValues);
      if (k != locked) {
        lock = std::unique_lock<std::mutex>(into->locks[k]);
        locked = k;
      }
      uint32_t* counts = SliceOf(into, k);
      if (counts == nullptr) return NoSlice(k, error);
      const int64_t offset = index - k * kKppTriangleValues;
      AddSaturating(counts + offset, black);
      AddSaturating(counts + kKppTriangleValues + offset, white);
      Touch(into, k, offset);
    }
    if (lock.owns_lock()) lock.unlock();
    uint64_t marks;
    if (!Varint("the number of KKP entries", &marks)) return false;
    if (marks > static_cast<uint64_t>(kKkpValues) || marks > size_ - pos_) {
      return Fail(std::to_string(marks) + " KKP entries: more than " +
                  (marks > static_cast<uint64_t>(kKkpValues) ? "the table has"
                                                             : "the bytes left can hold"));
    }
    index = -1;
    for (uint64_t n = 0; n < marks; ++n) {
      uint64_t delta;
      if (!Varint("a KKP index", &delta) || !Step(index, delta, kKkpValues, "KKP", &index)) {
        return false;
      }
      if (into != nullptr) MarkKkp(into, index);
    }
    if (pos_ != size_) {
      return Fail(std::to_string(size_ - pos_) + " bytes after the end at byte " +
                  std::to_string(pos_));
    }
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    *error_ = "entry use: " + what;
    return false;
  }

  bool Varint(const char* what, uint64_t* value) {
    const size_t start = pos_;
    uint64_t v = 0;
    for (int shift = 0; shift < 7 * kMaxVarintBytes; shift += 7) {
      if (pos_ >= size_) return Fail(std::string("truncated in ") + what + " at byte " + std::to_string(start));
      const uint8_t byte = data_[pos_++];
      const uint64_t bits = byte & 0x7f;
      if (shift == 63 && bits > 1) break;
      v |= bits << shift;
      if (!(byte & 0x80)) {
        if (byte == 0 && pos_ - start > 1) break;
        *value = v;
        return true;
      }
    }
    return Fail(std::string("overlong varint in ") + what + " at byte " + std::to_string(start));
  }

  // The index after previous (-1 before the first) with the stored delta.
  bool Step(int64_t previous, uint64_t delta, int64_t limit, const char* table, int64_t* index) {
    if (previous >= 0 && delta == 0) {
      return Fail(std::string(table) + " index " + std::to_string(previous) +
                  " repeated: indices must ascend");
    }
    const uint64_t base = previous < 0 ? 0 : static_cast<uint64_t>(previous);
    if (delta >= static_cast<uint64_t>(limit) - base) {
      return Fail(std::string(table) + " index past " + std::to_string(limit - 1) + " after " +
                  std::to_string(previous));
    }
    *index = static_cast<int64_t>(base + delta);
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string* error_ = nullptr;
};

}  // namespace

EntryUse::EntryUse(bool huge_pages) : huge_pages(huge_pages) {
  for (std::atomic<uint64_t>& word : kkp) word.store(0, std::memory_order_relaxed);
}

EntryUse::~EntryUse() {
  for (uint32_t* slice : counts) {
    if (slice != nullptr) munmap(slice, kSliceBytes);
  }
}

void KppEntryOf(int64_t index, int* k, int* hi, int* lo) {
  *k = static_cast<int>(index / kKppTriangleValues);
  const int64_t offset = index % kKppTriangleValues;
  int64_t row = static_cast<int64_t>((std::sqrt(8.0 * offset + 1) - 1) / 2);
  while (row > 0 && TriangleIndex(row, 0) > offset) --row;
  while (TriangleIndex(row + 1, 0) <= offset) ++row;
  *hi = static_cast<int>(row);
  *lo = static_cast<int>(offset - TriangleIndex(row, 0));
}

bool AddKppReads(EntryUse* use, Side side, int k, const KppRead* reads, int n,
                 std::string* error) {
  if (!CheckKingSquare(k, error)) return false;
  std::lock_guard<std::mutex> lock(use->locks[k]);
  uint32_t* counts = SliceOf(use, k);
  if (counts == nullptr) return NoSlice(k, error);
  if (side == kWhite) counts += kKppTriangleValues;
  constexpr int kAhead = 16;
  for (int i = 0; i < n; ++i) {
    if (i + kAhead < n && reads[i + kAhead].offset < kKppTriangleValues) {
      __builtin_prefetch(counts + reads[i + kAhead].offset, 1);
    }
    const uint32_t offset = reads[i].offset;
    if (offset >= kKppTriangleValues) {
      *error = "KPP read offset " + std::to_string(offset) + " is outside a triangle (0.." +
               std::to_string(kKppTriangleValues - 1) + ")";
      return false;
    }
    AddSaturating(counts + offset, reads[i].count);
    Touch(use, k, offset);
  }
  return true;
}

bool AddEntryReads(EntryUse* use, int64_t index, uint64_t black, uint64_t white,
                   std::string* error) {
  if (index < 0 || index >= kKppValues) {
    *error = "KPP entry " + std::to_string(index) + " is outside 0.." +
             std::to_string(kKppValues - 1);
    return false;
  }
  if (black > UINT32_MAX || white > UINT32_MAX) {
    *error = "KPP entry " + std::to_string(index) + ": a count above 4294967295";
    return false;
  }
  if (black == 0 && white == 0) return true;
  const int k = static_cast<int>(index / kKppTriangleValues);
  const int64_t offset = index - k * kKppTriangleValues;
  std::lock_guard<std::mutex> lock(use->locks[k]);
  uint32_t* counts = SliceOf(use, k);
  if (counts == nullptr) return NoSlice(k, error);
  AddSaturating(counts + offset, black);
  AddSaturating(counts + kKppTriangleValues + offset, white);
  Touch(use, k, offset);
  return true;
}

bool MarkKkpRead(EntryUse* use, int64_t index, std::string* error) {
  if (index < 0 || index >= kKkpValues) {
    *error = "KKP entry " + std::to_string(index) + " is outside 0.." +
             std::to_string(kKkpValues - 1);
    return false;
  }
  MarkKkp(use, index);
  return true;
}

void ClearEntryUse(EntryUse* use) {
  for (int k = 0; k < kSquares; ++k) {
    uint32_t* counts = use->counts[k];
    if (counts == nullptr) continue;
    for (int64_t chunk = 0; chunk < kUseChunks; ++chunk) {
      if (!(use->touched[k][chunk >> 6] >> (chunk & 63) & 1)) continue;
      const int64_t begin = chunk << kUseChunkShift;
      const int64_t end = std::min(begin + (int64_t{1} << kUseChunkShift), kKppTriangleValues);
      std::fill(counts + begin, counts + end, 0);
      std::fill(counts + kKppTriangleValues + begin, counts + kKppTriangleValues + end, 0);
    }
    std::fill(std::begin(use->touched[k]), std::end(use->touched[k]), 0);
  }
  for (std::atomic<uint64_t>& word : use->kkp) {
    if (word.load(std::memory_order_relaxed) != 0) word.store(0, std::memory_order_relaxed);
  }
}

bool MergeEntryUse(EntryUse* into, const EntryUse& from, std::string* error) {
  for (int k = 0; k < kSquares; ++k) {
    const uint32_t* source = from.counts[k];
    if (source == nullptr) continue;
    std::lock_guard<std::mutex> lock(into->locks[k]);
    uint32_t* counts = SliceOf(into, k);
    if (counts == nullptr) return NoSlice(k, error);
    for (int64_t chunk = 0; chunk < kUseChunks; ++chunk) {
      const uint64_t bit = uint64_t{1} << (chunk & 63);
      if (!(from.touched[k][chunk >> 6] & bit)) continue;
      into->touched[k][chunk >> 6] |= bit;
      const int64_t begin = chunk << kUseChunkShift;
      const int64_t end = std::min(begin + (int64_t{1} << kUseChunkShift), kKppTriangleValues);
      for (int64_t offset = begin; offset < end; ++offset) {
        if (source[offset] != 0) AddSaturating(counts + offset, source[offset]);
        const int64_t w = kKppTriangleValues + offset;
        if (source[w] != 0) AddSaturating(counts + w, source[w]);
      }
    }
  }
  for (int64_t w = 0; w < kKkpUseWords; ++w) {
    const uint64_t bits = from.kkp[w].load(std::memory_order_relaxed);
    if (bits != 0) into->kkp[w].fetch_or(bits, std::memory_order_relaxed);
  }
  return true;
}

int64_t CountUsedKppEntries(const EntryUse& use, int64_t* per_square) {
  int64_t counted[kSquares] = {};
  ForEachUsedKppEntry(use, [&](int64_t index, uint32_t, uint32_t) {
    ++counted[index / kKppTriangleValues];
  });
  int64_t total = 0;
  for (int k = 0; k < kSquares; ++k) {
    total += counted[k];
    if (per_square != nullptr) per_square[k] = counted[k];
  }
  return total;
}

int64_t CountReadKkpEntries(const EntryUse& use) {
  int64_t total = 0;
  for (const std::atomic<uint64_t>& word : use.kkp) {
    total += std::popcount(word.load(std::memory_order_relaxed));
  }
  return total;
}

bool UseRankPrecedes(const UseRankEntry& a, const UseRankEntry& b, SortMode mode) {
  const int64_t x = a.contribution;
  const int64_t y = b.contribution;
  if (mode == kByMagnitude) {
    if (std::llabs(x) != std::llabs(y)) return std::llabs(x) > std::llabs(y);
  } else if (x != y) {
    return mode == kMostPositiveFirst ? x > y : x < y;
  }
  return a.index < b.index;
}

void RankEntryUse(const EntryUse& use, const EvalFile& file, const EvalFile* after,
                  SortMode mode, UseRanking* ranking) {
  ranking->count = 0;
  UseRankEntry* top = ranking->entries;
  ForEachUsedKppEntry(use, [&](int64_t index, uint32_t black, uint32_t white) {
    const int64_t balance = int64_t{black} - int64_t{white};
    const int16_t value = EvalValueAt(file, index);
    const int16_t changed = after != nullptr ? EvalValueAt(*after, index) : value;
    const int64_t weight = after != nullptr ? int64_t{changed} - value : value;
    const int64_t contribution = weight * balance;
    if (contribution == 0) return;
    UseRankEntry entry{contribution, index, black, white, value, changed, 0, 0, 0};
    int at = ranking->count;
    if (at == kRankingLength) {
      if (!UseRankPrecedes(entry, top[at - 1], mode)) return;
      --at;
    } else {
      ++ranking->count;
    }
    while (at > 0 && UseRankPrecedes(entry, top[at - 1], mode)) {
      top[at] = top[at - 1];
      --at;
    }
    top[at] = entry;
  });
  for (int r = 0; r < ranking->count; ++r) {
    UseRankEntry& e = top[r];
    KppEntryOf(e.index, &e.king_square, &e.hi, &e.lo);
  }
}

void EncodeEntryUse(const EntryUse& use, std::string* out) {
  std::string body;
  int64_t entries = 0;
  int64_t previous = 0;
  ForEachUsedKppEntry(use, [&](int64_t index, uint32_t black, uint32_t white) {
    PutVarint(static_cast<uint64_t>(index - previous), &body);
    PutVarint(black, &body);
    PutVarint(white, &body);
    previous = index;
    ++entries;
  });
  out->append(kTag, kTagBytes);
  PutVarint(static_cast<uint64_t>(entries), out);
  out->append(body);
  body.clear();
  entries = 0;
  previous = 0;
  ForEachReadKkpEntry(use, [&](int64_t index) {
    PutVarint(static_cast<uint64_t>(index - previous), &body);
    previous = index;
    ++entries;
  });
  PutVarint(static_cast<uint64_t>(entries), out);
  out->append(body);
}

bool DecodeEntryUse(const uint8_t* data, size_t size, EntryUse* into, std::string* error) {
  UseReader reader(data, size);
  if (!reader.Read(nullptr, error)) return false;
  return reader.Read(into, error);
}

}  // namespace fvscope
