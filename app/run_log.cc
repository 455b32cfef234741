#include "app/run_log.h"

#include <cstdio>

namespace fvscope {

void Fail(const std::string& message) { std::fprintf(stderr, "fvscope: %s\n", message.c_str()); }

void Fail(RunLog* log, const std::string& message) {
  log->failure = message;
  if (!log->quiet) Fail(message);
}

void Warn(RunLog* log, const std::string& message) {
  const std::string line = "fvscope: warning: " + message;
  if (!log->quiet) std::fprintf(stderr, "%s\n", line.c_str());
  log->warnings.push_back(line);
}

}  // namespace fvscope
