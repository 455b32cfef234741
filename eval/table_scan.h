// The table scan: the largest KPP table entries of one king square.
#ifndef FVSCOPE_EVAL_TABLE_SCAN_H_
#define FVSCOPE_EVAL_TABLE_SCAN_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "eval/ranking.h"

namespace fvscope {

// Entries of magnitude above this are collected.
constexpr int32_t kScanThreshold = 2000;

// Every entry (i, j), j <= i, of king square k's KPP matrix whose magnitude
// exceeds kScanThreshold, in the order i, then j, ascending.
bool CollectKppEntries(int k, std::vector<RankEntry>* entries, std::string* error);

// Collects king square k's entries, prints "rnum = N", sorts them by
// SortMode and prints "RANKING:" and up to kRankingLength lines to out;
// fills *ranked with a king-and-two-pieces position per printed entry.
// Returns false with *error set when k is outside 0..80 or the table cannot
// be read.
bool ScanKppTable(int k, FILE* out, RankedTerms* ranked, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_SCAN_H_
