// The run's messages on stderr: failures, and warnings kept for the
// documents that list them.
#ifndef FVSCOPE_APP_RUN_LOG_H_
#define FVSCOPE_APP_RUN_LOG_H_

#include <string>
#include <vector>

#include "app/progress.h"

namespace fvscope {

// The warnings a run has printed, in order, as printed.
struct RunLog {
  std::vector<std::string> warnings;
  ProgressMeter progress;  // a long run's progress, cleared off the line before a message
};

// Prints "fvscope: message" on stderr: why the run stops.
void Fail(const std::string& message);

// Prints "fvscope: message" on stderr, on a line of its own when progress
// is shown.
void Fail(RunLog* log, const std::string& message);

// Prints "fvscope: warning: message" on stderr and keeps the line in *log.
void Warn(RunLog* log, const std::string& message);

}  // namespace fvscope

#endif  // FVSCOPE_APP_RUN_LOG_H_
