#include "eval/table/table_census.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace fvscope {

namespace {

// Values counted between two additions into the 64-bit figures: small enough
// that no 32-bit partial sum can overflow (4096 * 65535 < 2^31).
constexpr int kBlock = 4096;

// Values read at once: 16 blocks, 128 KiB, that stay in the cache to be counted.
constexpr int kChunk = 16 * kBlock;

// Whole blocks are counted by clones of the kernels for the vector units the
// processor has, chosen when the program starts.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FVSCOPE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#define FVSCOPE_INLINE_KERNEL __attribute__((always_inline)) inline
#else
#define FVSCOPE_VECTOR_CLONES
#define FVSCOPE_INLINE_KERNEL inline
#endif

// Partial figures of one block.
struct BlockCounts {
  int32_t nonzero = 0;
  int32_t magnitude_sum = 0;
  int32_t largest = 0;
  int32_t saturated = 0;
};

// Values of 32767 or -32768 in values[0..n).
int32_t CountSaturated(const int16_t* values, int n) {
  int32_t saturated = 0;
  for (int i = 0; i < n; ++i) saturated += (values[i] == INT16_MAX) | (values[i] == INT16_MIN);
  return saturated;
}

// Figures of values[0..n); written for a constant n the compiler can
// vectorize. Saturated values are looked for only in a block that has one.
template <int kN = 0>
FVSCOPE_INLINE_KERNEL void CountBlock(const int16_t* values, int n, BlockCounts* out) {
  if constexpr (kN > 0) n = kN;
  int32_t nonzero = 0, sum = 0, largest = 0;
  for (int i = 0; i < n; ++i) {
    const int32_t v = values[i];
    const int32_t magnitude = v < 0 ? -v : v;
    nonzero += v != 0;
    sum += magnitude;
    largest = magnitude > largest ? magnitude : largest;
  }
  *out = {nonzero, sum, largest, largest >= INT16_MAX ? CountSaturated(values, n) : 0};
}

// Figures of a[0..n) and of b[0..n), and the changed entries and the sum of
// |b - a|, in one pass.
template <int kN = 0>
FVSCOPE_INLINE_KERNEL void CountPair(const int16_t* a, const int16_t* b, int n, BlockCounts* out_a,
                                     BlockCounts* out_b, int32_t* changed, int32_t* change_sum) {
  if constexpr (kN > 0) n = kN;
  int32_t nonzero_a = 0, sum_a = 0, largest_a = 0;
  int32_t nonzero_b = 0, sum_b = 0, largest_b = 0;
  int32_t count = 0, total = 0;
  for (int i = 0; i < n; ++i) {
    const int32_t u = a[i];
    const int32_t v = b[i];
    const int32_t mu = u < 0 ? -u : u;
    const int32_t mv = v < 0 ? -v : v;
    const int32_t d = v - u;
    nonzero_a += u != 0;
    nonzero_b += v != 0;
    sum_a += mu;
    sum_b += mv;
    largest_a = mu > largest_a ? mu : largest_a;
    largest_b = mv > largest_b ? mv : largest_b;
    count += d != 0;
    total += d < 0 ? -d : d;
  }
  *out_a = {nonzero_a, sum_a, largest_a, largest_a >= INT16_MAX ? CountSaturated(a, n) : 0};
  *out_b = {nonzero_b, sum_b, largest_b, largest_b >= INT16_MAX ? CountSaturated(b, n) : 0};
  *changed = count;
  *change_sum = total;
}

FVSCOPE_VECTOR_CLONES void CountWholeBlock(const int16_t* values, BlockCounts* out) {
  CountBlock<kBlock>(values, kBlock, out);
}

FVSCOPE_VECTOR_CLONES void CountWholePair(const int16_t* a, const int16_t* b, BlockCounts* out_a,
                                          BlockCounts* out_b, int32_t* changed,
                                          int32_t* change_sum) {
  CountPair<kBlock>(a, b, kBlock, out_a, out_b, changed, change_sum);
}

void Add(const BlockCounts& block, CensusCounts* counts) {
  counts->nonzero += block.nonzero;
  counts->magnitude_sum += block.magnitude_sum;
  counts->largest = std::max(counts->largest, block.largest);
  counts->saturated += block.saturated;
}

void Add(const CensusCounts& part, CensusCounts* total) {
  total->entries += part.entries;
  total->nonzero += part.nonzero;
  total->magnitude_sum += part.magnitude_sum;
  total->largest = std::max(total->largest, part.largest);
  total->saturated += part.saturated;
}

void Add(const CensusChange& part, CensusChange* total) {
  total->changed += part.changed;
  total->change_sum += part.change_sum;
}

// An evaluation file open for reading.
struct Source {
  const char* path = nullptr;
  int fd = -1;
  int64_t values = 0;  // values it holds whole, at most an evaluation file's
};

bool Open(const char* path, Source* source, std::string* error) {
  source->path = path;
  source->fd = open(path, O_RDONLY | O_CLOEXEC);
  if (source->fd < 0) {
    *error = std::string(path) + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat info;
  if (fstat(source->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = std::string(path) + ": not a regular file";
    return false;
  }
  source->values = std::min<int64_t>(info.st_size, kEvalFileBytes) / 2;
  return true;
}

// Reads values [begin, begin + n) of source into out, 0 past its end, in the
// machine's order. Returns false with *error when the system fails a read.
bool ReadValues(const Source& source, int64_t begin, int n, int16_t* out, std::string* error) {
  const int64_t held = std::clamp<int64_t>(source.values - begin, 0, n);
  char* bytes = reinterpret_cast<char*>(out);
  int64_t done = 0;
  while (done < held * 2) {
    const ssize_t got = pread(source.fd, bytes + done, held * 2 - done, begin * 2 + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *error = std::string(source.path) + ": cannot read" +
               (got < 0 ? std::string(" (") + std::strerror(errno) + ")" : ": it shrank");
      return false;
    }
    done += got;
  }
  std::fill(out + held, out + n, int16_t{0});
  if constexpr (std::endian::native == std::endian::big) {
    for (int i = 0; i < held; ++i) {
      const uint16_t v = static_cast<uint16_t>(out[i]);
      out[i] = static_cast<int16_t>((v >> 8) | (v << 8));
    }
  }
  return true;
}

// What one thread reads and counts; its buffers and its first failure.
struct Worker {
  const Source* file;
  const Source* after;  // null without a comparison
  std::unique_ptr<int16_t[]> values;
  std::unique_ptr<int16_t[]> after_values;
  std::string error;
};

// Counts values [begin, end) of the worker's file (and of the other).
bool CountRange(Worker* w, int64_t begin, int64_t end, CensusCounts* counts,
                CensusCounts* after_counts, CensusChange* change) {
  *counts = {end - begin, 0, 0, 0, 0};
  *after_counts = {w->after != nullptr ? end - begin : 0, 0, 0, 0, 0};
  *change = {0, 0};
  for (int64_t at = begin; at < end; at += kChunk) {
    const int n = static_cast<int>(std::min<int64_t>(kChunk, end - at));
    if (!ReadValues(*w->file, at, n, w->values.get(), &w->error)) return false;
    if (w->after != nullptr && !ReadValues(*w->after, at, n, w->after_values.get(), &w->error)) {
      return false;
    }
    for (int i = 0; i < n; i += kBlock) {
      const int m = std::min(kBlock, n - i);
      const bool whole = m == kBlock;
      const int16_t* a = w->values.get() + i;
      BlockCounts block;
      if (w->after == nullptr) {
        whole ? CountWholeBlock(a, &block) : CountBlock(a, m, &block);
        Add(block, counts);
        continue;
      }
      const int16_t* b = w->after_values.get() + i;
      BlockCounts after_block;
      int32_t changed, sum;
      whole ? CountWholePair(a, b, &block, &after_block, &changed, &sum)
            : CountPair(a, b, m, &block, &after_block, &changed, &sum);
      Add(block, counts);
      Add(after_block, after_counts);
      change->changed += changed;
      change->change_sum += sum;
    }
  }
  return true;
}

// Counts king squares [first, last) of both tables, each table in file order.
void CountSquares(Worker* w, int first, int last, TableCensus* census) {
  w->values = std::make_unique<int16_t[]>(kChunk);
  if (w->after != nullptr) w->after_values = std::make_unique<int16_t[]>(kChunk);
  for (int k = first; k < last; ++k) {
    const int64_t begin = k * kKppTriangleValues;
    if (!CountRange(w, begin, begin + kCensusKppEntries, &census->kpp[k], &census->kpp_after[k],
                    &census->kpp_change[k])) {
      return;
    }
  }
  for (int k = first; k < last; ++k) {
    const int64_t begin = kKkpSectionOffset / 2 + k * kCensusKkpEntries;
    if (!CountRange(w, begin, begin + kCensusKkpEntries, &census->kkp[k], &census->kkp_after[k],
                    &census->kkp_change[k])) {
      return;
    }
  }
}

void Close(Source* source) {
  if (source->fd >= 0) close(source->fd);
  source->fd = -1;
}

}  // namespace

bool TakeCensus(const char* path, const char* after_path, int threads, TableCensus* census,
                std::string* error) {
  Source file, after;
  const bool opened = Open(path, &file, error) &&
                      (after_path == nullptr || Open(after_path, &after, error));
  if (!opened) {
    Close(&file);
    Close(&after);
    return false;
  }
  const int runs = std::clamp(threads, 1, kSquares);
  std::vector<Worker> workers(runs);
  std::vector<std::thread> started;
  for (int r = runs - 1; r >= 0; --r) {
    Worker* w = &workers[r];
    w->file = &file;
    w->after = after_path != nullptr ? &after : nullptr;
    const int first = kSquares * r / runs;
    const int last = kSquares * (r + 1) / runs;
    if (r == 0) {
      CountSquares(w, first, last, census);
      break;
    }
    try {
      started.emplace_back(CountSquares, w, first, last, census);
    } catch (const std::system_error&) {
      CountSquares(w, first, last, census);
    }
  }
  for (std::thread& thread : started) thread.join();
  Close(&file);
  Close(&after);
  for (const Worker& w : workers) {
    if (!w.error.empty()) {
      *error = w.error;
      return false;
    }
  }

  census->compared = after_path != nullptr;
  census->kpp_total = census->kkp_total = {};
  census->kpp_after_total = census->kkp_after_total = {};
  census->kpp_change_total = census->kkp_change_total = {};
  for (int k = 0; k < kSquares; ++k) {
    Add(census->kpp[k], &census->kpp_total);
    Add(census->kkp[k], &census->kkp_total);
    Add(census->kpp_after[k], &census->kpp_after_total);
    Add(census->kkp_after[k], &census->kkp_after_total);
    Add(census->kpp_change[k], &census->kpp_change_total);
    Add(census->kkp_change[k], &census->kkp_change_total);
  }
  return true;
}

double CensusMean(const CensusCounts& counts) {
  return counts.entries > 0 ? static_cast<double>(counts.magnitude_sum) / counts.entries : 0.0;
}

double CensusChangeMean(const CensusChange& change, int64_t entries) {
  return entries > 0 ? static_cast<double>(change.change_sum) / entries : 0.0;
}

}  // namespace fvscope
