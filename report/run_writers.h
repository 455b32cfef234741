// The one place that picks each output's writer for a run's result.
#ifndef FVSCOPE_REPORT_RUN_WRITERS_H_
#define FVSCOPE_REPORT_RUN_WRITERS_H_

#include <cstdio>
#include <string>

#include "report/run_result.h"

namespace fvscope {

// Writes the console text of result, as far as its run got.
void WriteResultText(FILE* out, const RunFacts& facts, const RunResult& result);

// Writes report.html's body and tail for result after its head, as far as
// its run got.
void WriteResultReport(FILE* report, const RunFacts& facts, const RunResult& result);

// The page for a browser of a completed result.
std::string ResultPage(const RunFacts& facts, const RunResult& result);

// The JSON document of a completed result.
std::string ResultJson(const RunFacts& facts, const RunResult& result);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_RUN_WRITERS_H_
