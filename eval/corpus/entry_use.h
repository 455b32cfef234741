// Which table entries a corpus of games reads (an fv.bin's or a KPPT set's
// KPP pairs, by the store's geometry): for every KPP entry the reads
// made by black's king terms and by white's, its pull (the residuals of the
// games' results summed over its reads, black's added and white's taken
// away), and which KKP entries were read at all; the entries whose use or
// pull weighs most; a compact byte form.
#ifndef FVSCOPE_EVAL_CORPUS_ENTRY_USE_H_
#define FVSCOPE_EVAL_CORPUS_ENTRY_USE_H_

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "eval/kppt/kppt_file.h"
#include "eval/piece_features.h"
#include "eval/table/eval_file.h"
#include "eval/table/features.h"
#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// KPP entries in a file: a triangle for each king square.
constexpr int64_t kKppValues = kSquares * kKppTriangleValues;

// What a store counts: the KPP features under a king square (a triangle of
// features x (features + 1) / 2 entries, TriangleIndex(hi, lo), for each
// king square), the KKP entries, whether a list's pairs include each entry
// with itself, and the tag of its byte form.
struct UseGeometry {
  int32_t features;
  int64_t kkp_entries;
  bool diagonal;
  char tag[5];
};

// An fv.bin's entries: its triangles and KKP section, the pairs (i, j <= i).
inline constexpr UseGeometry kTableUse{kKppFeatures, kKkpValues, true, "FVU2"};
// A KPPT set's: the pairs i > j of the 1548 feature numbers, KKP[bk][wk][f].
inline constexpr UseGeometry kKpptUse{kPieceFeatures, kKkpPairs, false, "FVUK"};

// Entries of a king square's triangle, and of every king square's.
constexpr int64_t TriangleOf(const UseGeometry& g) {
  return int64_t{g.features} * (g.features + 1) / 2;
}
constexpr int64_t KppEntriesOf(const UseGeometry& g) { return kSquares * TriangleOf(g); }

// Entries of a king square's triangle behind one bit of EntryUse::touched.
constexpr int kUseChunkShift = 10;
constexpr int64_t kUseChunks = (kKppTriangleValues >> kUseChunkShift) + 1;
constexpr int64_t kUseChunkWords = (kUseChunks + 63) / 64;
constexpr int64_t kKkpUseWords = (kKkpValues + 63) / 64;
constexpr int64_t UseChunksOf(const UseGeometry& g) { return (TriangleOf(g) >> kUseChunkShift) + 1; }
// The largest geometry a store takes.
constexpr int kMaxUseFeatures = kPieceFeatures;
constexpr int64_t kMaxUseChunkWords =
    ((((int64_t{kMaxUseFeatures} * (kMaxUseFeatures + 1) / 2) >> kUseChunkShift) + 1) + 63) / 64;
static_assert(kKppFeatures <= kMaxUseFeatures);

// Residuals and pulls are kept in fixed point, in units of 2^-kPullBits, so
// that any order of adding gives the same sums.
constexpr int kPullBits = 20;
constexpr double kPullUnit = 1.0 / (int64_t{1} << kPullBits);

// Pulls kept per entry: under the first file, and under a second one.
constexpr int kMaxPulls = 2;

// Reads of one KPP entry of a king square, offset TriangleIndex(hi, lo), by
// a pair that stood in a side's list from ply since until a StayEnd's ply.
struct KppRead {
  uint32_t offset;
  uint32_t since;
};

// Where a batch of stays ends: at ply, each position before it read once.
// prefix[f] (null: no pull under file f) holds, for every ply p up to ply,
// the residuals of plies before p summed, in kPullUnit.
struct StayEnd {
  uint32_t ply;
  const int64_t* prefix[kMaxPulls];
};

// What the store holds of one KPP entry: black's and white's reads, and the
// pull under each file kept.
struct EntryReads {
  uint32_t black;
  uint32_t white;
  int64_t pull[kMaxPulls];
};

// One KPP entry in the store, its reads and the first pull in one word.
// What would not fit is moved whole to the king square's spilled reads.
struct UseCell {
  uint16_t black;
  uint16_t white;
  int32_t pull;
};

// Reads of a stay waiting in its king square's buffer: the entry's offset
// (the top bit set for white's reads), the stay's length in plies and its
// pull under the first file.
struct PendingRead {
  uint32_t key;
  uint32_t stay;
  int64_t pull;
};

// Reads a king square's buffer holds before they are applied to its cells.
constexpr int kPendingReads = 1 << 15;

// Reads and first pull of an entry moved out of its cell.
struct SpilledReads {
  uint64_t black = 0;
  uint64_t white = 0;
  int64_t pull = 0;
};

// The store, of one geometry. Counts saturate at UINT32_MAX, pulls at the int64 range.
// Adding (AddKppReads, AddEntryReads, MarkKkpRead, MergeEntryUse,
// DecodeEntryUse) may run on several threads at once, each king square
// under its own lock, and the store comes out the same whatever the
// threads; reading (the walks, counts, ranking, encoding) must not overlap
// adding. Allocate it with new (about 0.1 MB, and a bit per KKP entry); a
// king square's cells (8.7 MB for fv.bin, 9.6 MB for a KPPT set, zero pages
// until written) are mapped when it is first added to.
// The stays' reads wait in a buffer of their king square (written in
// order) and are applied to its cells a whole buffer at a time, the rest
// when the store is first read.
struct EntryUse {
  // huge_pages: map the cells in 2 MB pages where the system allows, for
  // a large corpus (the reads scatter over every page: one fault per huge
  // page instead of 512); without, a few games take only the pages they
  // write. pulls: 1, or 2 to keep a second file's pull as well.
  explicit EntryUse(bool huge_pages = true, int pulls = 1,
                    const UseGeometry& geometry = kTableUse);
  ~EntryUse();
  EntryUse(const EntryUse&) = delete;
  EntryUse& operator=(const EntryUse&) = delete;

  const bool huge_pages;
  const int pulls;
  const UseGeometry geometry;
  const int64_t triangle;  // TriangleOf(geometry)
  const int64_t chunks;    // UseChunksOf(geometry)
  const int64_t kkp_words;
  std::mutex locks[kSquares];
  // Per king square: triangle cells; null until the square is
  // first added to.
  UseCell* cells[kSquares] = {};
  // Per king square with pulls == 2: the second file's pull of each entry.
  int64_t* second_pulls[kSquares] = {};
  // Per king square: the reads moved out of cells that would overflow, by
  // offset; changed when a reader applies the buffered reads.
  mutable std::unordered_map<uint32_t, SpilledReads> spilled[kSquares];
  // Per king square: room for kPendingReads reads (and their second pulls
  // when kept) not yet in the cells, and how many wait there.
  PendingRead* pending[kSquares] = {};
  int64_t* pending_second[kSquares] = {};
  mutable int32_t pending_count[kSquares] = {};
  // Per king square: chunks of 1 << kUseChunkShift offsets holding a count.
  uint64_t touched[kSquares][kMaxUseChunkWords] = {};
  // One bit per KKP entry read (index within the KKP section), kkp_words words.
  std::unique_ptr<std::atomic<uint64_t>[]> kkp;
};

// King square k and features hi >= lo of KPP entry index (0..kKppValues-1).
void KppEntryOf(int64_t index, int* k, int* hi, int* lo);

// The same in geometry g (index 0..KppEntriesOf(g) - 1).
void KppEntryOf(const UseGeometry& g, int64_t index, int* k, int* hi, int* lo);

// Adds the n stays of side's king terms at king square k (0..80) that end
// at end, each pulled by the residuals of its plies. Returns false with
// *error at the first read whose offset lies outside a triangle or whose
// stay starts after its end (those before it are added).
bool AddKppReads(EntryUse* use, Side side, int k, const KppRead* reads, int n,
                 const StayEnd& end, std::string* error);

// One position's list of KPP features under a king, its pairs each read
// once: features ascending, each below the geometry's features; pulled by
// residual[f] (in kPullUnit) under each file the store keeps, white's taken
// away. Without the diagonal a feature may repeat (a KPPT set's feature 0 of
// the missing pieces): the pair of two entries of one number reads its
// diagonal entry.
struct FeatureListReads {
  const int16_t* features;
  int count;
  Side side;
  int64_t residual[kMaxPulls];
};

// Adds the reads of the n lists at king square k (0..80) straight to the
// cells, not through the buffer, band of rows by band of rows, so that the
// cells being added to stay in the core's own cache. Returns false with
// *error, adding nothing, when a list is not so.
bool AddFeaturePairReads(EntryUse* use, int k, const FeatureListReads* lists, int n,
                         std::string* error);

// Adds reads (and the pulls the store keeps) to KPP entry index. Returns
// false with *error when index is outside 0..kKppValues-1.
bool AddEntryReads(EntryUse* use, int64_t index, const EntryReads& reads, std::string* error);

// Marks KKP entry index (within the KKP section) read. Returns false with
// *error when it is outside 0..kKkpValues-1.
bool MarkKkpRead(EntryUse* use, int64_t index, std::string* error);

// Empties *use, keeping the memory it has mapped; not while others add.
void ClearEntryUse(EntryUse* use);

// Adds every count, pull and KKP mark of from into *into (the pulls both
// keep). Returns false with *error when memory for a king square's cells
// cannot be had.
bool MergeEntryUse(EntryUse* into, const EntryUse& from, std::string* error);

// The spilled reads of king square k, offset ascending.
void SortedSpills(const EntryUse& use, int k,
                  std::vector<std::pair<uint32_t, SpilledReads>>* spills);

// The reads of an entry: its cell's, its spilled ones' (counts saturating
// at UINT32_MAX, the pull at the int64 range) and its second pull.
EntryReads ReadsOf(const UseCell& cell, const SpilledReads* spilled, int64_t second);

// Applies the reads waiting in king square k's buffer to its cells; not
// while others add.
void ApplyPendingReads(const EntryUse& use, int k);

// Calls visit(index, reads) with the EntryReads of every KPP entry of king
// square k with a read, index ascending; pulls the store does not keep read
// as 0. *spills is room for the square's spilled reads.
template <typename Visit>
void ForEachUsedKppEntryOf(const EntryUse& use, int k, Visit visit,
                           std::vector<std::pair<uint32_t, SpilledReads>>* spills) {
  const UseCell* cells = use.cells[k];
  if (cells == nullptr) return;
  ApplyPendingReads(use, k);
  const int64_t* second = use.second_pulls[k];
  SortedSpills(use, k, spills);
  size_t next = 0;
  const int64_t triangle = use.triangle;
  for (int64_t chunk = 0; chunk < use.chunks; ++chunk) {
    if (!(use.touched[k][chunk >> 6] >> (chunk & 63) & 1)) continue;
    const int64_t begin = chunk << kUseChunkShift;
    const int64_t end = std::min(begin + (int64_t{1} << kUseChunkShift), triangle);
    for (int64_t offset = begin; offset < end; ++offset) {
      const UseCell& cell = cells[offset];
      const bool spilled = next < spills->size() && (*spills)[next].first == offset;
      if (!spilled && (cell.black | cell.white) == 0) continue;
      visit(k * triangle + offset,
            ReadsOf(cell, spilled ? &(*spills)[next++].second : nullptr,
                    second != nullptr ? second[offset] : 0));
    }
  }
}

// Calls visit(index, reads) for every KPP entry with a read, as
// ForEachUsedKppEntryOf does for each king square in turn.
template <typename Visit>
void ForEachUsedKppEntry(const EntryUse& use, Visit visit) {
  std::vector<std::pair<uint32_t, SpilledReads>> spills;
  for (int k = 0; k < kSquares; ++k) ForEachUsedKppEntryOf(use, k, visit, &spills);
}

// Calls visit(index) for every KKP entry read, index ascending.
template <typename Visit>
void ForEachReadKkpEntry(const EntryUse& use, Visit visit) {
  for (int64_t w = 0; w < use.kkp_words; ++w) {
    uint64_t bits = use.kkp[w].load(std::memory_order_relaxed);
    while (bits != 0) {
      visit(w * 64 + std::countr_zero(bits));
      bits &= bits - 1;
    }
  }
}

// Number of KPP entries with a read.
int64_t CountUsedKppEntries(const EntryUse& use);

// Number of KKP entries read.
int64_t CountReadKkpEntries(const EntryUse& use);

// An entry ranked by how much its use or its pull weighs.
// A KPPT set's entry is valued by its board part (black's pairs add it,
// white's take it away), its turn part kept beside it.
struct UseRankEntry {
  // value * (black - white); with a second file the change; in a ranking
  // of pull, the pull in kPullUnit
  int64_t contribution;
  int64_t index;         // of the KPP entry
  uint32_t black_reads;
  uint32_t white_reads;
  int16_t value;  // in the first file (before); in a ranking of pull, in its file
  int16_t after;  // in the second file; value when there is none
  int32_t king_square;  // black's king as a table scan names it
  int32_t hi;           // features, hi >= lo
  int32_t lo;
  int16_t turn;        // a KPPT set's: the turn part beside value
  int16_t after_turn;  // and beside after
  bool kppt;           // the entry is a KPPT set's
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

// The pull of the entries under one file.
struct PullFigures {
  double total = 0;     // sum of |pull| over the entries
  int64_t entries = 0;  // entries whose pull is not 0
  double per_king_square[kSquares] = {};  // sum of |pull| over each triangle, by board square
  UseRanking ranking;   // by pull; entries whose pull is 0 are left out
};

// The term an entry of a ranking stands for, as a table scan names and draws
// it (a KPPT set's: black's king on its square, its features decoded from
// black's view, board and turn parts set), with value shown.
RankedTerm UseTerm(const UseRankEntry& entry, int32_t value);

// What the store says of a corpus, from one walk over its entries.
struct UseSummary {
  bool kppt = false;         // the entries are a KPPT set's
  int64_t kpp_entries = 0;   // KPP entries the store's geometry has
  int64_t kkp_entries = 0;
  int64_t triangle = 0;      // of a king square
  int64_t kpp_read = 0;
  int64_t kkp_read = 0;
  int64_t per_king_square[kSquares] = {};  // KPP entries read, by the king's board square
  UseRanking ranking;  // by contribution = value * (black - white) under the first file
  UseRanking changes;  // by change = (after - before) * (black - white), with a second file
  PullFigures pull;         // under the first file
  PullFigures second_pull;  // under the second, when the store keeps it
};

// Summarises use under file, and with after given the changes and the
// second pull (its entries valued under after), ranking under mode; entries
// whose contribution is 0 are left out of a ranking.
void SummarizeEntryUse(const EntryUse& use, const EvalFile& file, const EvalFile* after,
                       SortMode mode, UseSummary* summary);

// The same for a store of kKpptUse under a KPPT set (and after, a set of any
// layout): each entry valued by its board part, its turn part beside.
void SummarizeKpptEntryUse(const EntryUse& use, const KpptSet& set, const KpptSet* after,
                           SortMode mode, UseSummary* summary);

// Appends the byte form of use to *out: the geometry's tag ("FVU2" for
// fv.bin, "FVUK" for a KPPT set), the number of
// pulls per entry (1 or 2), the number of KPP entries read, then per entry
// the varint index delta (the first index itself, later ones the step from
// the previous, at least 1), black and white reads and each pull as a
// zigzag varint; then the number of KKP entries read and their deltas alike.
void EncodeEntryUse(const EntryUse& use, std::string* out);

// Encodes *use as EncodeEntryUse does, giving back each king square's
// memory once it is written: *use is left empty, its peak not raised by
// the bytes.
void EncodeAndDropEntryUse(EntryUse* use, std::string* out);

// Checks all of data[0..size) as EncodeEntryUse writes it, then adds its
// counts, pulls and marks into *into. Returns false with *error, adding
// nothing, for a missing tag or the tag of another geometry, pulls other than *into keeps, a truncated or
// overlong varint, an index out of range or not ascending, a count of 0 for
// both sides or above UINT32_MAX, a pull larger than its reads allow, more
// entries than a table has, or bytes after the end.
bool DecodeEntryUse(const uint8_t* data, size_t size, EntryUse* into, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_CORPUS_ENTRY_USE_H_
