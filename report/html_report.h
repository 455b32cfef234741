// report.html: the pictures of the input and the leaf, the PV, the figures
// of the leaf and the list of the ranked terms' pictures.
#ifndef FVSCOPE_REPORT_HTML_REPORT_H_
#define FVSCOPE_REPORT_HTML_REPORT_H_

#include <cstdio>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/table/compare.h"
#include "report/run_result.h"
#include "shogi/move.h"
#include "shogi/move_check.h"

namespace fvscope {

// Writes the head, "<HTML><BODY>" and a line feed.
void WriteReportHead(FILE* report);

// Writes the caption and the pictures of the input and the leaf (with the
// pieces' shares under the leaf when pieces is set), then "PV=" and the
// moves in CSA form with their signs, each followed by a line feed.
void WriteReportPv(FILE* report, const PvLine& pv, bool utf8, bool pieces = false);

// Writes the figures of a position under two files and their changes as a
// table.
void WriteReportComparison(FILE* report, const LeafComparison& comparison,
                           const std::string& before_name, const std::string& after_name);

// Writes the list of the first count rank pictures, five to a row, and the
// tail.
void WriteReportPictures(FILE* report, int count);

// Writes the count, sum (points) and histogram of the terms favouring each
// side, the evaluation value and the material.
void WriteReportLeaf(FILE* report, const LeafBreakdown& breakdown, bool utf8);

// Writes a network's shape, output and scale, its value and the material.
void WriteReportNetwork(FILE* report, const NetworkBreakdown& network);

// Writes the body and tail of a record's report: the chart, then the table
// of its positions as the console shows it (with a second file, its value and
// the change, then the ranking of the plies of largest change).
void WriteRecordReport(FILE* report, const RecordAnalysis& record);

// Writes what follows the head for a result, as far as its run got: the PV
// and the leaf's figures or comparison, then the list of the rank pictures
// and the tail; a record's chart and table and the tail; a scan's list of
// pictures and the tail.
void WriteReportBody(FILE* report, const RunFacts& facts, const LeafAnalysis& leaf);
void WriteReportBody(FILE* report, const RunFacts& facts, const RecordAnalysis& record);
void WriteReportBody(FILE* report, const RunFacts& facts, const ScanAnalysis& scan);
void WriteReportBody(FILE* report, const RunFacts& facts, const CorpusAnalysis& corpus);
void WriteReportBody(FILE* report, const RunFacts& facts, const MapAnalysis& map);
void WriteReportBody(FILE* report, const RunFacts& facts, const CensusAnalysis& census);
void WriteReportBody(FILE* report, const RunFacts& facts, const SquaresAnalysis& squares);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_HTML_REPORT_H_
