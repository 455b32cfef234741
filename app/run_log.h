// The run's messages on stderr: failures, and warnings kept for the
// documents that list them.
#ifndef FVSCOPE_APP_RUN_LOG_H_
#define FVSCOPE_APP_RUN_LOG_H_

#include <string>
#include <vector>

namespace fvscope {

// The warnings a run has printed, in order, as printed, and why it stopped.
// A quiet log (a request of the server) keeps them without printing.
struct RunLog {
  std::vector<std::string> warnings;
  std::string failure;  // the last failure's message, without "fvscope: "
  bool quiet = false;
};

// Prints "fvscope: message" on stderr: why the run stops.
void Fail(const std::string& message);

// Keeps message as log's failure and prints it as Fail does unless log is
// quiet.
void Fail(RunLog* log, const std::string& message);

// Prints "fvscope: warning: message" on stderr (unless log is quiet) and
// keeps the line in *log.
void Warn(RunLog* log, const std::string& message);

}  // namespace fvscope

#endif  // FVSCOPE_APP_RUN_LOG_H_
