// The evaluation file and the tables in it, read where they lie: the file is
// mapped read-only and only the values a run looks at are ever read.
#ifndef FVSCOPE_EVAL_TABLE_EVAL_FILE_H_
#define FVSCOPE_EVAL_TABLE_EVAL_FILE_H_

#include <bit>
#include <cstdint>
#include <string>

#include "eval/table/features.h"
#include "shogi/types.h"

namespace fvscope {

// Values of one king square's stored KPP triangle: 1476 * 1477 / 2.
constexpr int64_t kKppTriangleValues = int64_t{kKppFeatures} * (kKppFeatures + 1) / 2;

// Byte offset of the KKP section, and the size of a whole evaluation file.
constexpr int64_t kKkpSectionOffset = kSquares * kKppTriangleValues * 2;
constexpr int64_t kKkpValues = int64_t{kSquares} * kSquares * kKkpFeatures;
constexpr int64_t kEvalFileBytes = kKkpSectionOffset + kKkpValues * 2;

// Index of (f1, f2) in a stored triangle, f2 <= f1.
constexpr int64_t TriangleIndex(int f1, int f2) { return int64_t{f1} * (f1 + 1) / 2 + f2; }

// A loaded evaluation file: its 16-bit little-endian values as mapped;
// count is how many it holds whole (a short file holds fewer than the
// tables have). Read only once loaded.
struct EvalFile {
  const int16_t* values = nullptr;
  int64_t count = 0;
  void* mapping = nullptr;
  size_t mapping_bytes = 0;
};

// Maps the evaluation file at path read-only into *file. Returns false with
// *error set when the file cannot be opened or mapped; *warning is set (and
// true returned) when its size is not kEvalFileBytes.
bool LoadEvalFile(const char* path, EvalFile* file, std::string* error, std::string* warning);

// Drops the mapping of *file, which is empty afterwards.
void CloseEvalFile(EvalFile* file);

// Asks for the stored triangle of king square k to be read ahead, for a
// caller about to read all of it.
void PrefetchKppTriangle(const EvalFile& file, int k);

// Checks that k is a king square of the KPP table, 0..80. Returns false with
// *error saying so when it is not.
bool CheckKingSquare(int k, std::string* error);

// Calls visit(i, j, index) for every entry (i, j), j <= i, of king square
// k's stored triangle, i then j ascending, index being the number of its
// value in the file: the order the file holds them in.
template <typename Visit>
void ForEachKppEntry(int k, Visit visit) {
  const int64_t triangle = k * kKppTriangleValues;
  for (int i = 0; i < kKppFeatures; ++i) {
    const int64_t row = triangle + TriangleIndex(i, 0);
    for (int j = 0; j <= i; ++j) visit(i, j, row + j);
  }
}

// Value number index of file; 0 past the values it holds.
inline int16_t EvalValueAt(const EvalFile& file, int64_t index) {
  if (index < 0 || index >= file.count) return 0;
  const int16_t value = file.values[index];
  if constexpr (std::endian::native == std::endian::big) {
    const uint16_t v = static_cast<uint16_t>(value);
    return static_cast<int16_t>((v >> 8) | (v << 8));
  }
  return value;
}

// KPP value of own king viewed square k (0..80) for features f1 and f2
// (0..1475, in either order).
inline int16_t KppValue(const EvalFile& file, int k, int f1, int f2) {
  const int hi = f1 > f2 ? f1 : f2;
  const int lo = f1 > f2 ? f2 : f1;
  return EvalValueAt(file, k * kKppTriangleValues + TriangleIndex(hi, lo));
}

// KKP value of own king viewed square k, opponent king viewed square k2
// (both 0..80) and KKP feature g (0..737).
inline int16_t KkpValue(const EvalFile& file, int k, int k2, int g) {
  return EvalValueAt(file,
                     kKkpSectionOffset / 2 + (int64_t{k} * kSquares + k2) * kKkpFeatures + g);
}

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_EVAL_FILE_H_
