// The evaluation file and the tables read from it. The KKP table is read at
// load; each king square's KPP triangle is read and expanded into a full
// symmetric matrix the first time the square is asked for, and kept.
#ifndef FVSCOPE_EVAL_EVAL_FILE_H_
#define FVSCOPE_EVAL_EVAL_FILE_H_

#include <cstdint>
#include <string>

#include "eval/features.h"
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

// The KPP matrix of one king square: [feature][feature], symmetric.
using KppMatrix = int16_t[kKppFeatures][kKppFeatures];

// KkpTable[own king viewed square][opponent king viewed square][KKP feature].
extern int16_t KkpTable[kSquares][kSquares][kKkpFeatures];

// Opens the evaluation file at path, reads the KKP table and keeps the file
// open for the KPP squares; a previous load is dropped. Values that a short
// file lacks (a trailing odd byte included) read as 0. Returns false with
// *error set when the file cannot be opened or read; *warning is set (and
// true returned) when its size is not kEvalFileBytes.
bool LoadEvalFile(const char* path, std::string* error, std::string* warning);

// Reads and expands the KPP matrix of king square k (0..80) unless it is
// already loaded. Returns false with *error set on a read failure.
bool LoadKppSquare(int k, std::string* error);

// The KPP matrix of king square k; LoadKppSquare(k) must have succeeded.
const KppMatrix& KppSquare(int k);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_EVAL_FILE_H_
