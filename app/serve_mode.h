// The server: every analysis as an HTTP answer, over the loaded files.
#ifndef FVSCOPE_APP_SERVE_MODE_H_
#define FVSCOPE_APP_SERVE_MODE_H_

#include <string>
#include <vector>

#include "app/command_line.h"
#include "eval/evaluator.h"

namespace fvscope {

// Serves options.serve with the files loaded (compare null without
// --compare): GET /api/position, POST /api/position and /api/game, GET
// /api/scan, /api/map, /api/census, /api/corpus, /api/picture/..., /api/info
// and the explorer page, each answer the JSON document the same run writes
// with --json=- (pictures named by their URLs). start_warnings are the
// warnings of loading, listed by every answer. Prints the address it serves
// on stdout and returns the exit status once stopped: 0, or 1 when the
// address cannot be bound.
int RunServer(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
              const std::vector<std::string>& start_warnings);

}  // namespace fvscope

#endif  // FVSCOPE_APP_SERVE_MODE_H_
