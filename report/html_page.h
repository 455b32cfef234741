// The page a person reads in a browser: one self-contained HTML5 document
// with every figure of a run, its tables and its pictures.
#ifndef FVSCOPE_REPORT_HTML_PAGE_H_
#define FVSCOPE_REPORT_HTML_PAGE_H_

#include <string>
#include <vector>

#include "report/run_result.h"

namespace fvscope {

// The page of a result: UTF-8, styles inline, pictures linked by paths
// relative to the page's folder (facts.page_path), every text from an input
// escaped; a click on a ranking's column heading sorts it (a few lines of
// inline script; the page reads fully without it).
std::string HtmlPage(const RunFacts& facts, const LeafAnalysis& leaf);
std::string HtmlPage(const RunFacts& facts, const ScanAnalysis& scan);
std::string HtmlPage(const RunFacts& facts, const RecordAnalysis& record);
std::string HtmlPage(const RunFacts& facts, const CorpusAnalysis& corpus);
std::string HtmlPage(const RunFacts& facts, const MapAnalysis& map);
std::string HtmlPage(const RunFacts& facts, const CensusAnalysis& census);
std::string HtmlPage(const RunFacts& facts, const SquaresAnalysis& squares);

// text with the characters that HTML gives a meaning escaped.
std::string EscapeHtml(const std::string& text);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_HTML_PAGE_H_
