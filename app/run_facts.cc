#include "app/run_facts.h"

namespace fvscope {

RunFacts FactsOfRun(const CommandLine& options, const std::vector<std::string>& warnings) {
  RunFacts facts;
  facts.sort_mode = options.sort_mode;
  facts.fv = options.fv;
  facts.compare_fv = options.compare;
  facts.utf8 = options.utf8;
  facts.page_path = options.html;
  facts.warnings = warnings;
  return facts;
}

}  // namespace fvscope
