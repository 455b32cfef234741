// A census of the whole evaluation file: per king square, how many entries
// are set, how large they are, how many sit at the ends of the 16-bit range
// (saturated by learning), and with a second file how many changed and by
// how much.
#ifndef FVSCOPE_EVAL_TABLE_TABLE_CENSUS_H_
#define FVSCOPE_EVAL_TABLE_TABLE_CENSUS_H_

#include <cstdint>
#include <string>

#include "eval/table/eval_file.h"
#include "shogi/types.h"

namespace fvscope {

// Entries counted per king square: a KPP triangle (1476 * 1477 / 2), and the
// KKP values of one own-king square (81 opponent squares * 738 features).
constexpr int64_t kCensusKppEntries = kKppTriangleValues;
constexpr int64_t kCensusKkpEntries = int64_t{kSquares} * kKkpFeatures;

// The figures of a set of entries of one file; values a short file lacks
// count as 0.
struct CensusCounts {
  int64_t entries;
  int64_t nonzero;
  int64_t magnitude_sum;  // sum of |value|
  int32_t largest;        // largest |value|
  int64_t saturated;      // values of 32767 or -32768
};

// How a set of entries changed between two files.
struct CensusChange {
  int64_t changed;        // entries whose values differ
  int64_t change_sum;     // sum of |after - before|
};

// Per king square (the own king's viewed square: for black's king the square
// itself) and in total, for the KPP and the KKP table.
struct TableCensus {
  bool compared;  // a second file was read: after and change are filled
  CensusCounts kpp[kSquares];
  CensusCounts kkp[kSquares];
  CensusCounts kpp_total;
  CensusCounts kkp_total;
  CensusCounts kpp_after[kSquares];
  CensusCounts kkp_after[kSquares];
  CensusCounts kpp_after_total;
  CensusCounts kkp_after_total;
  CensusChange kpp_change[kSquares];
  CensusChange kkp_change[kSquares];
  CensusChange kpp_change_total;
  CensusChange kkp_change_total;
};

// Reads the evaluation file at path once, in file order, on up to threads
// threads (each a run of king squares), and fills *census; with after_path
// not null, reads that file alongside and fills the after figures and the
// changes too. A file shorter than an evaluation file counts its missing
// values as 0; bytes past one are not read. The files are read with plain
// reads rather than through a mapping, which costs a page fault per page.
// Returns false with *error naming the file that cannot be opened or read.
bool TakeCensus(const char* path, const char* after_path, int threads, TableCensus* census,
                std::string* error);

// Mean |value| of counts in table units; 0 for no entries.
double CensusMean(const CensusCounts& counts);

// Mean |after - before| over entries; 0 for no entries.
double CensusChangeMean(const CensusChange& change, int64_t entries);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_TABLE_CENSUS_H_
