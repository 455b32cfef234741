// The JSON document of a run: every figure it prints, for scripts.
#ifndef FVSCOPE_REPORT_JSON_REPORT_H_
#define FVSCOPE_REPORT_JSON_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "report/run_result.h"

namespace fvscope {

// Version of the document's layout.
constexpr int kJsonVersion = 1;

// The document of a game analysis (mode "game") or of a position from the
// command line (mode "position"): the input and its side to move, the PV,
// the leaf, its sums, value and tally, the ranking or "compare" with the
// second file's figures and the ranking of changes, and the pieces' shares.
std::string JsonDocument(const RunFacts& facts, const LeafAnalysis& leaf);

// The document of a table scan: the king square, the count and the ranking;
// compared, "compare" with the second file, the count of changed entries and
// their ranking.
std::string JsonDocument(const RunFacts& facts, const ScanAnalysis& scan);

// The document of a record (mode "record"): per ply the move that led there
// (null for the start), the SFEN, the sums, material and value.
std::string JsonDocument(const RunFacts& facts, const RecordAnalysis& record);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_JSON_REPORT_H_
