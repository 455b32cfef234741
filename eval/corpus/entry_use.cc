#include "eval/corpus/entry_use.h"

#include <sys/mman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "eval/table/table_scan.h"

namespace fvscope {

namespace {

size_t SliceBytes(const EntryUse* use) { return use->triangle * sizeof(UseCell); }
size_t SecondBytes(const EntryUse* use) { return use->triangle * sizeof(int64_t); }
constexpr size_t kPendingBytes = kPendingReads * sizeof(PendingRead);
constexpr size_t kPendingSecondBytes = kPendingReads * sizeof(int64_t);
constexpr uint32_t kWhiteKey = uint32_t{1} << 31;
constexpr int kTagBytes = 4;
constexpr int kMaxVarintBytes = 10;

// bytes of zero pages, in huge pages when asked; null when they cannot be had.
void* MapZeroed(size_t bytes, bool huge_pages) {
  void* mapped =
      mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  if (huge_pages) madvise(mapped, bytes, MADV_HUGEPAGE);
  return mapped;
}

// The cells of king square k (and its second pulls when kept), mapped on
// first use; false when they cannot be. The caller holds k's lock.
bool MapSquare(EntryUse* use, int k) {
  if (use->cells[k] == nullptr) {
    use->cells[k] = static_cast<UseCell*>(MapZeroed(SliceBytes(use), use->huge_pages));
    if (use->cells[k] == nullptr) return false;
  }
  if (use->pulls == 2 && use->second_pulls[k] == nullptr) {
    use->second_pulls[k] = static_cast<int64_t*>(MapZeroed(SecondBytes(use), use->huge_pages));
    if (use->second_pulls[k] == nullptr) return false;
  }
  return true;
}

// King square k's buffer of reads, allocated on first use; false when it
// cannot be. The caller holds k's lock.
bool MapPending(EntryUse* use, int k) {
  if (use->pending[k] == nullptr) {
    use->pending[k] = static_cast<PendingRead*>(std::malloc(kPendingBytes));
    if (use->pending[k] == nullptr) return false;
  }
  if (use->pulls == 2 && use->pending_second[k] == nullptr) {
    use->pending_second[k] = static_cast<int64_t*>(std::malloc(kPendingSecondBytes));
    if (use->pending_second[k] == nullptr) return false;
  }
  return true;
}

void FreePending(EntryUse* use, int k) {
  std::free(use->pending[k]);
  std::free(use->pending_second[k]);
  use->pending[k] = nullptr;
  use->pending_second[k] = nullptr;
  use->pending_count[k] = 0;
}

bool NoSlice(int k, std::string* error) {
  *error = "cannot map the reads of king square " + std::to_string(k);
  return false;
}

void AddPull(int64_t* pull, int64_t add) {
  if (__builtin_add_overflow(*pull, add, pull)) *pull = add > 0 ? INT64_MAX : INT64_MIN;
}

void Touch(EntryUse* use, int k, int64_t offset) {
  const int64_t chunk = offset >> kUseChunkShift;
  use->touched[k][chunk >> 6] |= uint64_t{1} << (chunk & 63);
}

// Moves the cell at offset of king square k, with black and white more
// reads pulling pull, to its spilled reads.
void Spill(const EntryUse* use, int k, uint32_t offset, uint64_t black, uint64_t white,
           int64_t pull) {
  UseCell& cell = use->cells[k][offset];
  SpilledReads& spilled = use->spilled[k][offset];
  spilled.black += cell.black + black;
  spilled.white += cell.white + white;
  AddPull(&spilled.pull, cell.pull);
  AddPull(&spilled.pull, pull);
  cell = UseCell{};
}

// Adds black and white reads pulling pull to the cell at offset of king
// square k, mapped, under k's lock.
inline void AddToCell(const EntryUse* use, int k, uint32_t offset, uint64_t black,
                      uint64_t white, int64_t pull) {
  UseCell& cell = use->cells[k][offset];
  const uint64_t b = cell.black + black, w = cell.white + white;
  const bool small = pull == static_cast<int32_t>(pull);
  const int64_t p = int64_t{cell.pull} + (small ? pull : 0);
  if (!small || b > UINT16_MAX || w > UINT16_MAX || p != static_cast<int32_t>(p)) {
    Spill(use, k, offset, black, white, pull);
    return;
  }
  cell.black = static_cast<uint16_t>(b);
  cell.white = static_cast<uint16_t>(w);
  cell.pull = static_cast<int32_t>(p);
}

// Adds reads to entry offset of king square k, mapped, under k's lock.
void AddEntryToCell(EntryUse* use, int k, int64_t offset, const EntryReads& reads) {
  AddToCell(use, k, static_cast<uint32_t>(offset), reads.black, reads.white, reads.pull[0]);
  if (use->pulls == 2) AddPull(&use->second_pulls[k][offset], reads.pull[1]);
  Touch(use, k, offset);
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

uint64_t ZigZag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}

int64_t UnZigZag(uint64_t v) {
  return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

// Reads the byte form; adds to *into when it is not null. Checking every
// byte first (into null) means the adding pass cannot fail on the input.
class UseReader {
 public:
  UseReader(const uint8_t* data, size_t size, const UseGeometry& geometry)
      : data_(data), size_(size), geometry_(geometry) {}

  bool Read(EntryUse* into, std::string* error) {
    error_ = error;
    const int64_t kpp_values = KppEntriesOf(geometry_);
    const int64_t triangle = TriangleOf(geometry_);
    const int64_t kkp_values = geometry_.kkp_entries;
    if (size_ < kTagBytes || std::memcmp(data_, geometry_.tag, kTagBytes) != 0) {
      for (const UseGeometry* other : {&kTableUse, &kKpptUse}) {
        if (size_ >= kTagBytes && std::memcmp(data_, other->tag, kTagBytes) == 0) {
          return Fail(std::string("the use of ") + FamilyOf(*other) + " where this run counts " +
                      FamilyOf(geometry_));
        }
      }
      return Fail("no entry use tag \"FVU1\" at the start");
    }
    pos_ = kTagBytes;
    uint64_t pulls;
    if (!Varint("the number of pulls", &pulls)) return false;
    if (pulls < 1 || pulls > kMaxPulls) {
      return Fail(std::to_string(pulls) + " pulls per entry: 1 or 2 are kept");
    }
    if (into != nullptr && pulls != static_cast<uint64_t>(into->pulls)) {
      return Fail(std::to_string(pulls) + " pulls per entry where this run keeps " +
                  std::to_string(into->pulls));
    }
    uint64_t entries;
    if (!Varint("the number of KPP entries", &entries)) return false;
    // An entry takes a byte per number at the least.
    if (entries > static_cast<uint64_t>(kpp_values) || entries > (size_ - pos_) / (3 + pulls)) {
      return Fail(std::to_string(entries) + " KPP entries: more than " +
                  (entries > static_cast<uint64_t>(kpp_values) ? "the table has"
                                                               : "the bytes left can hold"));
    }
    int64_t index = -1;
    int locked = -1;
    std::unique_lock<std::mutex> lock;
    for (uint64_t n = 0; n < entries; ++n) {
      uint64_t delta, black, white;
      if (!Varint("a KPP index", &delta) || !Step(index, delta, kpp_values, "KPP", &index) ||
          !Varint("a black count", &black) || !Varint("a white count", &white)) {
        return false;
      }
      if (black > UINT32_MAX || white > UINT32_MAX) {
        return Fail("KPP entry " + std::to_string(index) + ": a count above 4294967295");
      }
      if (black == 0 && white == 0) {
        return Fail("KPP entry " + std::to_string(index) + ": no reads");
      }
      EntryReads reads{static_cast<uint32_t>(black), static_cast<uint32_t>(white), {0, 0}};
      // A residual lies within -1..1, so a pull within its reads (unless a
      // count saturated).
      const bool saturated = black == UINT32_MAX || white == UINT32_MAX;
      const uint64_t bound = (black + white) << kPullBits;
      for (uint64_t p = 0; p < pulls; ++p) {
        uint64_t zigzag;
        if (!Varint("a pull", &zigzag)) return false;
        reads.pull[p] = UnZigZag(zigzag);
        const uint64_t magnitude = reads.pull[p] < 0 ? 0 - static_cast<uint64_t>(reads.pull[p])
                                                     : static_cast<uint64_t>(reads.pull[p]);
        if (!saturated && magnitude > bound) {
          return Fail("KPP entry " + std::to_string(index) + ": a pull larger than its reads allow");
        }
      }
      if (into == nullptr) continue;
      const int k = static_cast<int>(index / triangle);
      if (k != locked) {
        lock = std::unique_lock<std::mutex>(into->locks[k]);
        locked = k;
      }
      if (!MapSquare(into, k)) return NoSlice(k, error);
      AddEntryToCell(into, k, index - k * triangle, reads);
    }
    if (lock.owns_lock()) lock.unlock();
    uint64_t marks;
    if (!Varint("the number of KKP entries", &marks)) return false;
    if (marks > static_cast<uint64_t>(kkp_values) || marks > size_ - pos_) {
      return Fail(std::to_string(marks) + " KKP entries: more than " +
                  (marks > static_cast<uint64_t>(kkp_values) ? "the table has"
                                                             : "the bytes left can hold"));
    }
    index = -1;
    for (uint64_t n = 0; n < marks; ++n) {
      uint64_t delta;
      if (!Varint("a KKP index", &delta) || !Step(index, delta, kkp_values, "KKP", &index)) {
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

  static const char* FamilyOf(const UseGeometry& g) {
    return g.diagonal ? "a table (fv.bin)" : "a KPPT set";
  }

  const uint8_t* data_;
  size_t size_;
  const UseGeometry geometry_;
  size_t pos_ = 0;
  std::string* error_ = nullptr;
};

}  // namespace

EntryUse::EntryUse(bool huge_pages, int pulls, const UseGeometry& geometry)
    : huge_pages(huge_pages),
      pulls(std::clamp(pulls, 1, kMaxPulls)),
      geometry(geometry),
      triangle(TriangleOf(geometry)),
      chunks(UseChunksOf(geometry)),
      kkp_words((geometry.kkp_entries + 63) / 64),
      kkp(std::make_unique<std::atomic<uint64_t>[]>(static_cast<size_t>(kkp_words))) {
  for (int64_t w = 0; w < kkp_words; ++w) kkp[w].store(0, std::memory_order_relaxed);
}

EntryUse::~EntryUse() {
  for (UseCell* slice : cells) {
    if (slice != nullptr) munmap(slice, SliceBytes(this));
  }
  for (int64_t* slice : second_pulls) {
    if (slice != nullptr) munmap(slice, SecondBytes(this));
  }
  for (int k = 0; k < kSquares; ++k) FreePending(this, k);
}

void KppEntryOf(int64_t index, int* k, int* hi, int* lo) { KppEntryOf(kTableUse, index, k, hi, lo); }

void KppEntryOf(const UseGeometry& g, int64_t index, int* k, int* hi, int* lo) {
  const int64_t triangle = TriangleOf(g);
  *k = static_cast<int>(index / triangle);
  const int64_t offset = index % triangle;
  int64_t row = static_cast<int64_t>((std::sqrt(8.0 * offset + 1) - 1) / 2);
  while (row > 0 && TriangleIndex(row, 0) > offset) --row;
  while (TriangleIndex(row + 1, 0) <= offset) ++row;
  *hi = static_cast<int>(row);
  *lo = static_cast<int>(offset - TriangleIndex(row, 0));
}

void ApplyPendingReads(const EntryUse& use, int k) {
  const int n = use.pending_count[k];
  if (n == 0) return;
  UseCell* cells = use.cells[k];
  const PendingRead* reads = use.pending[k];
  constexpr int kAhead = 48;
  for (int i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(cells + (reads[i + kAhead].key & ~kWhiteKey), 1);
    const PendingRead& read = reads[i];
    const uint32_t offset = read.key & ~kWhiteKey;
    const bool white = read.key & kWhiteKey;
    AddToCell(&use, k, offset, white ? 0 : read.stay, white ? read.stay : 0, read.pull);
  }
  if (int64_t* second = use.second_pulls[k]; second != nullptr) {
    const int64_t* pulls = use.pending_second[k];
    for (int i = 0; i < n; ++i) {
      if (i + kAhead < n) __builtin_prefetch(second + (reads[i + kAhead].key & ~kWhiteKey), 1);
      AddPull(&second[reads[i].key & ~kWhiteKey], pulls[i]);
    }
  }
  use.pending_count[k] = 0;
}

namespace {

// Appends n reads to king square k's buffer under its lock, applying the
// buffer whenever it fills: read(i, &pending, &second) gives the i-th (its
// second pull only when the store keeps it) or false with *error, which
// stops there with the reads before it kept.
template <typename Read>
bool AppendReads(EntryUse* use, int k, int n, std::string* error, Read read) {
  if (!CheckKingSquare(k, error)) return false;
  std::lock_guard<std::mutex> lock(use->locks[k]);
  if (!MapSquare(use, k) || !MapPending(use, k)) return NoSlice(k, error);
  PendingRead* pending = use->pending[k];
  int64_t* second = use->pending_second[k];
  int32_t count = use->pending_count[k];
  for (int i = 0; i < n; ++i) {
    if (count == kPendingReads) {
      use->pending_count[k] = count;
      ApplyPendingReads(*use, k);
      count = 0;
    }
    if (!read(i, &pending[count], second != nullptr ? &second[count] : nullptr)) {
      use->pending_count[k] = count;
      return false;
    }
    Touch(use, k, pending[count].key & ~kWhiteKey);
    ++count;
  }
  use->pending_count[k] = count;
  return true;
}

}  // namespace

bool AddKppReads(EntryUse* use, Side side, int k, const KppRead* reads, int n,
                 const StayEnd& end, std::string* error) {
  const int64_t* first_prefix = end.prefix[0];
  const int64_t* second_prefix = end.prefix[1];
  const int64_t first_end = first_prefix != nullptr ? first_prefix[end.ply] : 0;
  // White's reads pull the other way.
  const int64_t sign = side == kBlack ? 1 : -1;
  const uint32_t side_bit = side == kBlack ? 0 : kWhiteKey;
  return AppendReads(use, k, n, error, [&](int i, PendingRead* out, int64_t* second) {
    const KppRead& read = reads[i];
    if (read.offset >= use->triangle || read.since > end.ply) {
      *error = read.offset >= use->triangle
                   ? "KPP read offset " + std::to_string(read.offset) +
                         " is outside a triangle (0.." + std::to_string(use->triangle - 1) + ")"
                   : "a KPP read's stay starts at ply " + std::to_string(read.since) +
                         ", after its end at ply " + std::to_string(end.ply);
      return false;
    }
    *out = {read.offset | side_bit, end.ply - read.since,
            first_prefix != nullptr ? sign * (first_end - first_prefix[read.since]) : 0};
    if (second != nullptr) {
      *second = second_prefix != nullptr
                    ? sign * (second_prefix[end.ply] - second_prefix[read.since])
                    : 0;
    }
    return true;
  });
}

namespace {

// The triangle's rows in bands of about kBandCells cells (512 KB): the first
// feature of each band, and the end.
constexpr int64_t kBandCells = 1 << 16;
struct RowBands {
  int count = 0;
  int16_t first[kMaxUseFeatures + 1];
};
RowBands MakeRowBands(int features) {
  RowBands bands;
  int64_t since = 0;
  bands.first[bands.count++] = 0;
  for (int f = 1; f < features; ++f) {
    if (TriangleIndex(f, 0) - since >= kBandCells) {
      bands.first[bands.count++] = static_cast<int16_t>(f);
      since = TriangleIndex(f, 0);
    }
  }
  bands.first[bands.count] = static_cast<int16_t>(features);
  return bands;
}
const RowBands kTableRowBands = MakeRowBands(kTableUse.features);
const RowBands kKpptRowBands = MakeRowBands(kKpptUse.features);

// Adds one read by side, pulling pull, to each cell of row at the
// features[0..last], spilling a cell that would overflow: AddToCell for one
// read of one side, its test cut to what such a read can overflow. The
// caller holds k's lock.
template <Side side, bool kSecond>
void AddRowReads(EntryUse* use, int k, UseCell* cells, int64_t* second, uint32_t row,
                 const int16_t* features, int last, int64_t pull, int64_t second_pull) {
  UseCell* const row_cells = cells + row;
  if (pull != static_cast<int32_t>(pull)) {
    for (int b = 0; b <= last; ++b) {
      Spill(use, k, row + static_cast<uint32_t>(features[b]), side == kBlack, side == kWhite, pull);
      if constexpr (kSecond) AddPull(&second[row + features[b]], second_pull);
    }
    return;
  }
  const int32_t small = static_cast<int32_t>(pull);
  for (int b = 0; b <= last; ++b) {
    UseCell& cell = row_cells[features[b]];
    uint16_t& count = side == kBlack ? cell.black : cell.white;
    int32_t sum;
    if (__builtin_expect(count == UINT16_MAX || __builtin_add_overflow(cell.pull, small, &sum), 0)) {
      Spill(use, k, row + static_cast<uint32_t>(features[b]), side == kBlack, side == kWhite, pull);
    } else {
      ++count;
      cell.pull = sum;
    }
    if constexpr (kSecond) AddPull(&second[row + features[b]], second_pull);
  }
}

// AddRowReads for a list of side: with or without the second pulls.
void AddListRowReads(EntryUse* use, int k, UseCell* cells, int64_t* second, Side side,
                     uint32_t row, const int16_t* features, int last, int64_t pull,
                     int64_t second_pull) {
  if (side == kBlack) {
    if (second != nullptr) {
      AddRowReads<kBlack, true>(use, k, cells, second, row, features, last, pull, second_pull);
    } else {
      AddRowReads<kBlack, false>(use, k, cells, second, row, features, last, pull, second_pull);
    }
  } else if (second != nullptr) {
    AddRowReads<kWhite, true>(use, k, cells, second, row, features, last, pull, second_pull);
  } else {
    AddRowReads<kWhite, false>(use, k, cells, second, row, features, last, pull, second_pull);
  }
}

}  // namespace

bool AddFeaturePairReads(EntryUse* use, int k, const FeatureListReads* lists, int n,
                         std::string* error) {
  if (!CheckKingSquare(k, error)) return false;
  const int features_limit = use->geometry.features;
  // Without the diagonal a list's pairs are its entries' i > j, a number may
  // repeat, and a row's reads stop before its own entry.
  const bool diagonal = use->geometry.diagonal;
  const int past = diagonal ? 0 : 1;
  // The lists' features side by side, list after list: each band walks
  // them all in order, and scattered they would miss the cache band after
  // band.
  std::vector<int32_t> start(static_cast<size_t>(n) + 1, 0);
  for (int l = 0; l < n; ++l) start[l + 1] = start[l] + std::max(lists[l].count, 0);
  std::vector<int16_t> packed(static_cast<size_t>(start[n]));
  constexpr int kListsAhead = 8;
  for (int l = 0; l < n; ++l) {
    if (l + kListsAhead < n) {
      const char* ahead = reinterpret_cast<const char*>(lists[l + kListsAhead].features);
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + 64);
    }
    const int16_t* features = lists[l].features;
    for (int a = 0; a < lists[l].count; ++a) {
      if (features[a] < (a == 0 ? 0 : features[a - 1] + (diagonal ? 1 : 0)) ||
          features[a] >= features_limit) {
        *error = "KPP features not ascending within 0.." + std::to_string(features_limit - 1);
        return false;
      }
      packed[start[l] + a] = features[a];
    }
  }
  std::lock_guard<std::mutex> lock(use->locks[k]);
  if (!MapSquare(use, k)) return NoSlice(k, error);
  UseCell* const cells = use->cells[k];
  int64_t* const second = use->second_pulls[k];
  std::vector<int> next(n, 0);
  std::unique_ptr<RowBands> other_bands;
  const RowBands* known = features_limit == kTableUse.features   ? &kTableRowBands
                          : features_limit == kKpptUse.features ? &kKpptRowBands
                                                                : nullptr;
  if (known == nullptr) {
    other_bands = std::make_unique<RowBands>(MakeRowBands(features_limit));
    known = other_bands.get();
  }
  const RowBands& bands = *known;
  for (int band = 0; band < bands.count; ++band) {
    const int end = bands.first[band + 1];
    // A band's cells asked for in a stream, most of them being read: one
    // miss after another would each wait on the memory.
    const int64_t band_begin = TriangleIndex(bands.first[band], 0);
    const int64_t band_end = TriangleIndex(end, 0);
    for (int64_t at = band_begin; at < band_end; at += 64 / sizeof(UseCell)) {
      __builtin_prefetch(cells + at, 1);
    }
    for (int l = 0; l < n; ++l) {
      const FeatureListReads& list = lists[l];
      const int16_t* features = packed.data() + start[l];
      const int count = start[l + 1] - start[l];
      const int64_t sign = list.side == kBlack ? 1 : -1;
      const int64_t pull = sign * list.residual[0], second_pull = sign * list.residual[1];
      int a = next[l];
      for (; a < count && features[a] < end; ++a) {
        const int last = a - past;
        if (last < 0) continue;
        const uint32_t row = static_cast<uint32_t>(TriangleIndex(features[a], 0));
        AddListRowReads(use, k, cells, second, list.side, row, features, last, pull, second_pull);
        // A row's reads lie between its first and its last: their chunks
        // are touched (a chunk touched without a read is walked for nothing).
        for (int64_t chunk = (row + features[0]) >> kUseChunkShift;
             chunk <= (row + features[last]) >> kUseChunkShift; ++chunk) {
          Touch(use, k, chunk << kUseChunkShift);
        }
      }
      next[l] = a;
    }
  }
  return true;
}

bool AddEntryReads(EntryUse* use, int64_t index, const EntryReads& reads, std::string* error) {
  const int64_t kpp_values = kSquares * use->triangle;
  if (index < 0 || index >= kpp_values) {
    *error = "KPP entry " + std::to_string(index) + " is outside 0.." +
             std::to_string(kpp_values - 1);
    return false;
  }
  if (reads.black == 0 && reads.white == 0) return true;
  const int k = static_cast<int>(index / use->triangle);
  std::lock_guard<std::mutex> lock(use->locks[k]);
  if (!MapSquare(use, k)) return NoSlice(k, error);
  AddEntryToCell(use, k, index - k * use->triangle, reads);
  return true;
}

bool MarkKkpRead(EntryUse* use, int64_t index, std::string* error) {
  if (index < 0 || index >= use->geometry.kkp_entries) {
    *error = "KKP entry " + std::to_string(index) + " is outside 0.." +
             std::to_string(use->geometry.kkp_entries - 1);
    return false;
  }
  MarkKkp(use, index);
  return true;
}

void ClearEntryUse(EntryUse* use) {
  for (int k = 0; k < kSquares; ++k) {
    use->pending_count[k] = 0;
    UseCell* cells = use->cells[k];
    if (cells == nullptr) continue;
    int64_t* second = use->second_pulls[k];
    for (int64_t chunk = 0; chunk < use->chunks; ++chunk) {
      if (!(use->touched[k][chunk >> 6] >> (chunk & 63) & 1)) continue;
      const int64_t begin = chunk << kUseChunkShift;
      const int64_t end = std::min(begin + (int64_t{1} << kUseChunkShift), use->triangle);
      std::fill(cells + begin, cells + end, UseCell{});
      if (second != nullptr) std::fill(second + begin, second + end, 0);
    }
    std::fill(std::begin(use->touched[k]), std::end(use->touched[k]), 0);
    use->spilled[k].clear();
  }
  for (int64_t w = 0; w < use->kkp_words; ++w) {
    std::atomic<uint64_t>& word = use->kkp[w];
    if (word.load(std::memory_order_relaxed) != 0) word.store(0, std::memory_order_relaxed);
  }
}

bool MergeEntryUse(EntryUse* into, const EntryUse& from, std::string* error) {
  if (std::memcmp(into->geometry.tag, from.geometry.tag, kTagBytes) != 0) {
    *error = "entry use: stores of two geometries (" + std::string(from.geometry.tag) + " into " +
             into->geometry.tag + ")";
    return false;
  }
  const int64_t triangle = into->triangle;
  int locked = -1;
  std::unique_lock<std::mutex> lock;
  bool mapped = true;
  ForEachUsedKppEntry(from, [&](int64_t index, const EntryReads& reads) {
    const int k = static_cast<int>(index / triangle);
    if (!mapped) return;
    if (k != locked) {
      lock = std::unique_lock<std::mutex>(into->locks[k]);
      locked = k;
      mapped = MapSquare(into, k);
      if (!mapped) {
        NoSlice(k, error);
        return;
      }
    }
    AddEntryToCell(into, k, index - k * triangle, reads);
  });
  if (!mapped) return false;
  if (lock.owns_lock()) lock.unlock();
  for (int64_t w = 0; w < from.kkp_words; ++w) {
    const uint64_t bits = from.kkp[w].load(std::memory_order_relaxed);
    if (bits != 0) into->kkp[w].fetch_or(bits, std::memory_order_relaxed);
  }
  return true;
}

void SortedSpills(const EntryUse& use, int k,
                  std::vector<std::pair<uint32_t, SpilledReads>>* spills) {
  spills->assign(use.spilled[k].begin(), use.spilled[k].end());
  std::sort(spills->begin(), spills->end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
}

EntryReads ReadsOf(const UseCell& cell, const SpilledReads* spilled, int64_t second) {
  EntryReads reads{cell.black, cell.white, {cell.pull, second}};
  if (spilled == nullptr) return reads;
  reads.black = static_cast<uint32_t>(std::min<uint64_t>(spilled->black + cell.black, UINT32_MAX));
  reads.white = static_cast<uint32_t>(std::min<uint64_t>(spilled->white + cell.white, UINT32_MAX));
  AddPull(&reads.pull[0], spilled->pull);
  return reads;
}

int64_t CountUsedKppEntries(const EntryUse& use) {
  int64_t total = 0;
  ForEachUsedKppEntry(use, [&](int64_t, const EntryReads&) { ++total; });
  return total;
}

int64_t CountReadKkpEntries(const EntryUse& use) {
  int64_t total = 0;
  for (int64_t w = 0; w < use.kkp_words; ++w) {
    total += std::popcount(use.kkp[w].load(std::memory_order_relaxed));
  }
  return total;
}

bool UseRankPrecedes(const UseRankEntry& a, const UseRankEntry& b, SortMode mode) {
  const int64_t x = a.contribution;
  const int64_t y = b.contribution;
  if (mode == kByMagnitude) {
    const uint64_t mx = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
    const uint64_t my = y < 0 ? 0 - static_cast<uint64_t>(y) : static_cast<uint64_t>(y);
    if (mx != my) return mx > my;
  } else if (x != y) {
    return mode == kMostPositiveFirst ? x > y : x < y;
  }
  return a.index < b.index;
}

namespace {

// Puts entry into ranking where mode places it, when it is among the top.
void Offer(const UseRankEntry& entry, SortMode mode, UseRanking* ranking) {
  if (entry.contribution == 0) return;
  UseRankEntry* top = ranking->entries;
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
}

// Names the entries of a ranking: a table's by its slab, a KPPT set's by
// the square of black's king on its slab.
void NameEntries(const UseGeometry& g, UseRanking* ranking) {
  for (int r = 0; r < ranking->count; ++r) {
    UseRankEntry& e = ranking->entries[r];
    KppEntryOf(g, e.index, &e.king_square, &e.hi, &e.lo);
    if (e.kppt) e.king_square = SquareOfFeatureSquare(e.king_square);
  }
}

// An entry's parts under a file: value (a KPPT set's board part) and turn.
struct EntryValue {
  int16_t value;
  int16_t turn;
};

// Adds one entry's pull to figures, ranked with its value in the file.
void AddPullOf(int64_t index, int square, const EntryReads& reads, int64_t pull,
               EntryValue value, bool kppt, SortMode mode, PullFigures* figures) {
  if (pull == 0) return;
  const double magnitude = std::abs(static_cast<double>(pull)) * kPullUnit;
  figures->total += magnitude;
  ++figures->entries;
  figures->per_king_square[square] += magnitude;
  Offer({pull, index, reads.black, reads.white, value.value, value.value, 0, 0, 0, value.turn,
         value.turn, kppt},
        mode, &figures->ranking);
}

// SummarizeEntryUse with each entry's parts under the first file given by
// first(index) and under the second by second(index) when there is one.
template <typename First, typename Second>
void Summarize(const EntryUse& use, bool kppt, First first, Second second, bool has_second,
               SortMode mode, UseSummary* summary) {
  *summary = UseSummary{};
  summary->kppt = kppt;
  summary->triangle = use.triangle;
  summary->kpp_entries = kSquares * use.triangle;
  summary->kkp_entries = use.geometry.kkp_entries;
  const int64_t triangle = use.triangle;
  ForEachUsedKppEntry(use, [&](int64_t index, const EntryReads& reads) {
    ++summary->kpp_read;
    // Per king square as the board numbers it: a KPPT slab is black's king's feature square.
    const int k = static_cast<int>(index / triangle);
    const int square = kppt ? SquareOfFeatureSquare(k) : k;
    ++summary->per_king_square[square];
    const int64_t balance = int64_t{reads.black} - int64_t{reads.white};
    const EntryValue value = first(index);
    const EntryValue changed = has_second ? second(index) : value;
    Offer({value.value * balance, index, reads.black, reads.white, value.value, value.value, 0, 0,
           0, value.turn, value.turn, kppt},
          mode, &summary->ranking);
    if (has_second) {
      Offer({(int64_t{changed.value} - value.value) * balance, index, reads.black, reads.white,
             value.value, changed.value, 0, 0, 0, value.turn, changed.turn, kppt},
            mode, &summary->changes);
    }
    AddPullOf(index, square, reads, reads.pull[0], value, kppt, mode, &summary->pull);
    if (use.pulls == 2) {
      AddPullOf(index, square, reads, reads.pull[1], changed, kppt, mode, &summary->second_pull);
    }
  });
  summary->kkp_read = CountReadKkpEntries(use);
  NameEntries(use.geometry, &summary->ranking);
  NameEntries(use.geometry, &summary->changes);
  NameEntries(use.geometry, &summary->pull.ranking);
  NameEntries(use.geometry, &summary->second_pull.ranking);
}

// The parts of KPPT entries of a set, asked for by index ascending: the
// row of the last one kept, so that the next is found in a step or two.
class KpptEntryValues {
 public:
  KpptEntryValues(const KpptSet& set, const UseGeometry& g) : set_(set), g_(g) {}

  EntryValue operator()(int64_t index) {
    const int64_t triangle = TriangleOf(g_);
    const int k = static_cast<int>(index / triangle);
    const int64_t offset = index - k * triangle;
    if (k != k_ || offset < TriangleIndex(hi_, 0)) {
      KppEntryOf(g_, index, &k_, &hi_, &lo_);
    } else {
      while (TriangleIndex(hi_ + 1, 0) <= offset) ++hi_;
    }
    lo_ = static_cast<int>(offset - TriangleIndex(hi_, 0));
    const KpptPair pair = KppPair(set_, k_, hi_, lo_);
    return {static_cast<int16_t>(pair.board), static_cast<int16_t>(pair.turn)};
  }

 private:
  const KpptSet& set_;
  const UseGeometry g_;
  int k_ = -1;
  int hi_ = 0;
  int lo_ = 0;
};

}  // namespace

void SummarizeEntryUse(const EntryUse& use, const EvalFile& file, const EvalFile* after,
                       SortMode mode, UseSummary* summary) {
  Summarize(
      use, false, [&](int64_t index) { return EntryValue{EvalValueAt(file, index), 0}; },
      [&](int64_t index) { return EntryValue{EvalValueAt(*after, index), 0}; }, after != nullptr,
      mode, summary);
}

void SummarizeKpptEntryUse(const EntryUse& use, const KpptSet& set, const KpptSet* after,
                           SortMode mode, UseSummary* summary) {
  KpptEntryValues first(set, use.geometry);
  std::unique_ptr<KpptEntryValues> second;
  if (after != nullptr) second = std::make_unique<KpptEntryValues>(*after, use.geometry);
  Summarize(
      use, true, [&](int64_t index) { return first(index); },
      [&](int64_t index) { return (*second)(index); }, after != nullptr, mode, summary);
}

RankedTerm UseTerm(const UseRankEntry& e, int32_t value) {
  if (!e.kppt) return ScanTerm(value, e.king_square, e.hi, e.lo);
  int cell_a, code_a, cell_b, code_b;
  DecodePieceFeature(e.hi, &cell_a, &code_a);
  DecodePieceFeature(e.lo, &cell_b, &code_b);
  RankedTerm t{value, e.king_square, kKing, cell_a, code_a, cell_b, code_b};
  t.board = e.value;
  t.turn = e.turn;
  return t;
}

namespace {

// The byte form of use appended to *out; with drop (use itself) each king
// square is emptied and its memory given back once written.
void Encode(const EntryUse& use, EntryUse* drop, std::string* out) {
  out->append(use.geometry.tag, kTagBytes);
  PutVarint(static_cast<uint64_t>(use.pulls), out);
  PutVarint(static_cast<uint64_t>(CountUsedKppEntries(use)), out);
  std::vector<std::pair<uint32_t, SpilledReads>> spills;
  int64_t previous = 0;
  for (int k = 0; k < kSquares; ++k) {
    ForEachUsedKppEntryOf(
        use, k,
        [&](int64_t index, const EntryReads& reads) {
          PutVarint(static_cast<uint64_t>(index - previous), out);
          PutVarint(reads.black, out);
          PutVarint(reads.white, out);
          for (int p = 0; p < use.pulls; ++p) PutVarint(ZigZag(reads.pull[p]), out);
          previous = index;
        },
        &spills);
    if (drop == nullptr) continue;
    if (drop->cells[k] != nullptr) munmap(drop->cells[k], SliceBytes(drop));
    if (drop->second_pulls[k] != nullptr) munmap(drop->second_pulls[k], SecondBytes(drop));
    drop->cells[k] = nullptr;
    drop->second_pulls[k] = nullptr;
    FreePending(drop, k);
    drop->spilled[k] = {};
    std::fill(std::begin(drop->touched[k]), std::end(drop->touched[k]), 0);
  }
  PutVarint(static_cast<uint64_t>(CountReadKkpEntries(use)), out);
  previous = 0;
  ForEachReadKkpEntry(use, [&](int64_t index) {
    PutVarint(static_cast<uint64_t>(index - previous), out);
    previous = index;
  });
  if (drop == nullptr) return;
  for (int64_t w = 0; w < drop->kkp_words; ++w) drop->kkp[w].store(0, std::memory_order_relaxed);
}

}  // namespace

void EncodeEntryUse(const EntryUse& use, std::string* out) { Encode(use, nullptr, out); }

void EncodeAndDropEntryUse(EntryUse* use, std::string* out) { Encode(*use, use, out); }

bool DecodeEntryUse(const uint8_t* data, size_t size, EntryUse* into, std::string* error) {
  UseReader reader(data, size, into->geometry);
  if (!reader.Read(nullptr, error)) return false;
  return reader.Read(into, error);
}

}  // namespace fvscope
