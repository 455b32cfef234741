// What every output of a run names, for the driver and the server alike.
#ifndef FVSCOPE_APP_RUN_FACTS_H_
#define FVSCOPE_APP_RUN_FACTS_H_

#include <string>
#include <vector>

#include "app/command_line.h"
#include "report/run_result.h"

namespace fvscope {

// The facts of a run of options that printed warnings: its sort mode, its
// files, its texts' encoding and its page's place (pictures under log/).
RunFacts FactsOfRun(const CommandLine& options, const std::vector<std::string>& warnings);

}  // namespace fvscope

#endif  // FVSCOPE_APP_RUN_FACTS_H_
