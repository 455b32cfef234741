// What every mode of a run is handed and what it hands back. A mode reads
// its input, computes its result record and lists the pictures it wants
// drawn; the driver writes the outputs and draws the pictures.
#ifndef FVSCOPE_APP_MODE_H_
#define FVSCOPE_APP_MODE_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_log.h"
#include "eval/evaluator.h"
#include "render/picture_batch.h"
#include "report/run_result.h"

namespace fvscope {

// How far a long mode has got (files read of those listed, positions
// evaluated), and whether it is to stop early.
struct RunProgress {
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> total{0};
  std::atomic<int64_t> positions{0};
  std::atomic<bool> cancel{false};
};

// The run's inputs, loaded by the driver.
struct ModeInputs {
  const CommandLine* options;
  const Evaluator* fv;
  const Evaluator* compare;                // the second file, with --compare; else nullptr
  const std::string* record = nullptr;     // a record's text read in place of the file of
                                           // --position or --game; else nullptr
  RunProgress* progress = nullptr;         // counted by a corpus run when given
};

// A mode: fills *result with its record (as far as it gets when it stops
// early) and *pictures (when not null) with the pictures to draw; failures and warnings go
// to stderr through the run log. Returns the exit status: 0 when the mode
// completed.
using ModeFunction = int (*)(const ModeInputs& inputs, RunLog* log, RunResult* result,
                             std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_MODE_H_
