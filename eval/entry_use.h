// Which table entries a corpus of games reads: for every KPP entry the reads
// made by black's king terms and by white's, and which KKP entries were
// read at all; the entries whose use weighs most; a compact byte form.
#ifndef FVSCOPE_EVAL_ENTRY_USE_H_
#define FVSCOPE_EVAL_ENTRY_USE_H_

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "eval/eval_file.h"
#include "eval/features.h"
#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// KPP entries in a file: a triangle for each king square.
constexpr int64_t kKppValues = kSquares * kKppTriangleValues;

// Entries of a king square's triangle behind one bit of EntryUse::touched.
constexpr int kUseChunkShift = 10;
constexpr int64_t kUseChunks = (kKppTriangleValues >> kUseChunkShift) + 1;
constexpr int64_t kUseChunkWords = (kUseChunks + 63) / 64;
constexpr int64_t kKkpUseWords = (kKkpValues + 63) / 64;

// Reads of one KPP entry of a king square: offset TriangleIndex(hi, lo).
struct KppRead {
  uint32_t offset;
  uint32_t count;
};

// The store. Counts saturate at UINT32_MAX. Adding (AddKppReads,
// AddEntryReads, MarkKkpRead, MergeEntryUse, DecodeEntryUse) may run on
// several threads at once, each king square under its own lock, and the
// counts come out the same whatever the threads; reading (the walks,
// counts, ranking, encoding) must not overlap adding. Allocate it with new
// (about 0.6 MB); a king square's counts (8.7 MB, zero pages until
// written) are mapped when it is first added to.
struct EntryUse {
  // huge_pages: map the counts in 2 MB pages where the system allows, for
  // a large corpus (the reads scatter over every page: one fault per huge
  // page instead of 512); without, a few games take only the pages they write.
  explicit EntryUse(bool huge_pages = true);
  ~EntryUse();
  EntryUse(const EntryUse&) = delete;
  EntryUse& operator=(const EntryUse&) = delete;

  const bool huge_pages;
  std::mutex locks[kSquares];
  // Per king square: kKppTriangleValues black counts, then as many white
  // counts; null until the square is first added to.
  uint32_t* counts[kSquares] = {};
  // Per king square: chunks of 1 << kUseChunkShift offsets holding a count.
  uint64_t touched[kSquares][kUseChunkWords] = {};
  // One bit per KKP entry read (index within the KKP section).
  std::atomic<uint64_t> kkp[kKkpUseWords];
};

// King square k and features hi >= lo of KPP entry index (0..kKppValues-1).
void KppEntryOf(int64_t index, int* k, int* hi, int* lo);

// Adds the n reads of side's king terms at king square k (0..80). Returns
// false with *error at the first read whose offset lies outside a triangle
// (those before it are added).
bool AddKppReads(EntryUse* use, Side side, int k, const KppRead* reads, int n,
                 std::string* error);

// Adds black and white reads to KPP entry index. Returns false with *error
// when index is outside 0..kKppValues-1 or a count exceeds UINT32_MAX.
bool AddEntryReads(EntryUse* use, int64_t index, uint64_t black, uint64_t white,
                   std::string* error);

// Marks KKP entry index (within the KKP section) read. Returns false with
// *error when it is outside 0..kKkpValues-1.
bool MarkKkpRead(EntryUse* use, int64_t index, std::string* error);

// Empties *use, keeping the memory it has mapped; not while others add.
void ClearEntryUse(EntryUse* use);

// Adds every count and KKP mark of from into *into. Returns false with
// *error when memory for a king square's counts cannot be had.
bool MergeEntryUse(EntryUse* into, const EntryUse& from, std::string* error);

// Calls visit(index, black, white) for every KPP entry with a read, index
// ascending.
template <typename Visit>
void ForEachUsedKppEntry(const EntryUse& use, Visit visit) {
  for (int k = 0; k < kSquares; ++k) {
    const uint32_t* black = use.counts[k];
    if (black == nullptr) continue;
    const uint32_t* white = black + kKppTriangleValues;
    for (int64_t chunk = 0; chunk < kUseChunks; ++chunk) {
      if (!(use.touched[k][chunk >> 6] >> (chunk & 63) & 1)) continue;
      const int64_t begin = chunk << kUseChunkShift;
      const int64_t end = std::min(begin + (int64_t{1} << kUseChunkShift), kKppTriangleValues);
      for (int64_t offset = begin; offset < end; ++offset) {
        if ((black[offset] | white[offset]) != 0) {
          visit(k * kKppTriangleValues + offset, black[offset], white[offset]);
        }
      }
    }
  }
}

// Calls visit(index) for every KKP entry read, index ascending.
template <typename Visit>
void ForEachReadKkpEntry(const EntryUse& use, Visit visit) {
  for (int64_t w = 0; w < kKkpUseWords; ++w) {
    uint64_t bits = use.kkp[w].load(std::memory_order_relaxed);
    while (bits != 0) {
      visit(w * 64 + std::countr_zero(bits));
      bits &= bits - 1;
    }
  }
}

// Number of KPP entries with a read; per_square (81 entries, may be null)
// gets the number of each king square.
int64_t CountUsedKppEntries(const EntryUse& use, int64_t* per_square);

// Number of KKP entries read.
int64_t CountReadKkpEntries(const EntryUse& use);

// An entry ranked by how much its use weighs.
struct UseRankEntry {
  int64_t contribution;  // value * (black - white); with a second file the change
  int64_t index;         // of the KPP entry
  uint32_t black_reads;
  uint32_t white_reads;
  int16_t value;  // in the first file (before)
  int16_t after;  // in the second file; value when there is none
  int32_t king_square;  // black's king as a table scan names it
  int32_t hi;           // features, hi >= lo
  int32_t lo;
};

// The top of a use ranking, rank 1 first.
struct UseRanking {
  int32_t count;
  UseRankEntry entries[kRankingLength];
};

// True when a goes before b under mode: by contribution as rankings order
// values (0 by magnitude, 1 most positive first, else most negative
// first), equal contributions by index ascending.
bool UseRankPrecedes(const UseRankEntry& a, const UseRankEntry& b, SortMode mode);

// Ranks the entries read by contribution = value * (black - white) under
// file, or, with after given, by change = (after - before) * (black -
// white); entries whose contribution is 0 are left out.
void RankEntryUse(const EntryUse& use, const EvalFile& file, const EvalFile* after,
                  SortMode mode, UseRanking* ranking);

// Appends the byte form of use to *out: the tag "FVU1", the number of KPP
// entries read, then per entry the varint index delta (the first index
// itself, later ones the step from the previous, at least 1), black and
// white reads; then the number of KKP entries read and their deltas alike.
void EncodeEntryUse(const EntryUse& use, std::string* out);

// Checks all of data[0..size) as EncodeEntryUse writes it, then adds its
// counts and marks into *into. Returns false with *error, adding nothing,
// for a missing tag, a truncated or overlong varint, an index out of range
// or not ascending, a count of 0 for both sides or above UINT32_MAX, more
// entries than a table has, or bytes after the end.
bool DecodeEntryUse(const uint8_t* data, size_t size, EntryUse* into, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_ENTRY_USE_H_
