// One run of the tool: game analysis or table scan, and the HTML report.
#ifndef FVSCOPE_APP_DRIVER_H_
#define FVSCOPE_APP_DRIVER_H_

#include "app/command_line.h"

namespace fvscope {

// Runs the mode that command_line selects in the working directory (changed
// to command_line.workdir first, when given). Progress and figures go to
// stdout, failures to stderr in one line each. Returns the exit status:
// 0 when the run completed, 1 when a file or folder it needs failed.
int RunFvscope(const CommandLine& command_line);

}  // namespace fvscope

#endif  // FVSCOPE_APP_DRIVER_H_
