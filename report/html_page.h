// The page a person reads in a browser: one self-contained HTML5 document
// with every figure of a run, its tables and its pictures.
#ifndef FVSCOPE_REPORT_HTML_PAGE_H_
#define FVSCOPE_REPORT_HTML_PAGE_H_

#include <string>
#include <vector>

#include "eval/breakdown.h"
#include "eval/compare.h"
#include "eval/piece_shares.h"
#include "eval/ranking.h"
#include "eval/table_scan.h"
#include "shogi/move.h"
#include "shogi/move_check.h"

namespace fvscope {

// What a page shows; each part is left out when it is null.
struct PageParts {
  std::string page_path;   // where the page goes: its links are relative to its folder
  std::string mode;        // "game", "position", "scan" or "record"
  std::string fv;          // the evaluation file
  std::string compare_fv;  // the second one, or empty
  std::vector<std::string> warnings;
  // A game analysis or a position of the command line.
  const Position* input = nullptr;
  const PvLine* pv = nullptr;
  const Position* leaf = nullptr;
  const LeafBreakdown* breakdown = nullptr;
  const Ranking* ranking = nullptr;
  const LeafComparison* comparison = nullptr;
  const PieceShares* pieces = nullptr;
  const PieceShares* pieces_after = nullptr;
  // A table scan.
  const TableScan* scan = nullptr;
  const ScanComparison* scan_comparison = nullptr;
  // A record.
  const std::vector<RecordPly>* plies = nullptr;
  const std::vector<PositionFigures>* figures = nullptr;
};

// The page: UTF-8, styles inline, pictures linked by paths relative to the
// page's folder, every text from an input escaped; a click on a ranking's
// column heading sorts it (a few lines of inline script; the page reads
// fully without it).
std::string HtmlPage(const PageParts& parts);

// text with the characters that HTML gives a meaning escaped.
std::string EscapeHtml(const std::string& text);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_HTML_PAGE_H_
