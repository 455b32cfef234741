#include "report/run_writers.h"

#include "report/console.h"
#include "report/html_page.h"
#include "report/html_report.h"
#include "report/json_report.h"

namespace fvscope {

void WriteResultText(FILE* out, const RunFacts& facts, const RunResult& result) {
  std::visit([&](const auto& r) { WriteRunText(out, facts, r); }, result);
}

void WriteResultReport(FILE* report, const RunFacts& facts, const RunResult& result) {
  std::visit([&](const auto& r) { WriteReportBody(report, facts, r); }, result);
}

std::string ResultPage(const RunFacts& facts, const RunResult& result) {
  return std::visit([&](const auto& r) { return HtmlPage(facts, r); }, result);
}

std::string ResultJson(const RunFacts& facts, const RunResult& result) {
  return std::visit([&](const auto& r) { return JsonDocument(facts, r); }, result);
}

}  // namespace fvscope
