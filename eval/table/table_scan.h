// The table scan: the largest KPP table entries of one king square.
#ifndef FVSCOPE_EVAL_TABLE_TABLE_SCAN_H_
#define FVSCOPE_EVAL_TABLE_TABLE_SCAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/table/eval_file.h"
#include "eval/ranking.h"

namespace fvscope {

// Entries of magnitude above this are collected.
constexpr int32_t kScanThreshold = 2000;

// Every entry (i, j), j <= i, of king square k's KPP matrix whose magnitude
// exceeds kScanThreshold, in the order i, then j, ascending.
bool CollectKppEntries(const EvalFile& file, int k, std::vector<RankEntry>* entries,
                       std::string* error);

// What a scan finds.
struct TableScan {
  int32_t king_square;
  int32_t count;  // entries above the threshold
  Ranking ranking;
};

// Collects king square k's entries, ranks them under mode and fills *scan
// with their count and the top kRankingLength, each named as black's king
// and the two pieces its features decode to. Returns false with *error set
// when k is outside 0..80 or the table cannot be read.
bool ScanKppTable(const EvalFile& file, int k, SortMode mode, TableScan* scan,
                  std::string* error);

// The term of table entry (i, j) of king square k with value, as a scan names
// and draws it: black's king on k, then the pieces features i and j decode to.
RankedTerm ScanTerm(int32_t value, int k, int i, int j);

// The position a scanned term is drawn on: cells 0..94 empty but for the
// black king on its square, then piece a, then piece b (a later piece
// replaces an earlier one on a shared cell); the king cells are 0.
Position ScanTermPosition(const RankedTerm& term);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_TABLE_SCAN_H_
