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

// The document of a corpus (mode "corpus"): its counts, refusals, results,
// fit, scale cross-entropy, calibration and from_ply, the use of the
// table's entries, and "compare" with the second file's figures.
std::string JsonDocument(const RunFacts& facts, const CorpusAnalysis& corpus);

// The document of a map (mode "map"): the king, the piece, the table, every
// grid's values (square 0 first, null where blank) and every hand row's;
// compared, each also "before" and "after".
std::string JsonDocument(const RunFacts& facts, const MapAnalysis& map);

// The document of a census (mode "census"): per king square and in total,
// for each table, the entries that are not 0, the mean and largest |value|
// and the saturated ones; compared, per king square the entries that changed
// and the mean |after - before|.
std::string JsonDocument(const RunFacts& facts, const CensusAnalysis& census);

// The document of a piece's squares (mode "squares"): the leaf and its side
// to move, and "squares": the piece, the leaf's value and every square the
// piece can stand on (its own left out), best for its side first, with the
// value there and the change.
std::string JsonDocument(const RunFacts& facts, const SquaresAnalysis& squares);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_JSON_REPORT_H_
