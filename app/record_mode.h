// --game: every position of a record evaluated.
#ifndef FVSCOPE_APP_RECORD_MODE_H_
#define FVSCOPE_APP_RECORD_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Reads the record --game names, plays every move checked and evaluates the
// start and every position reached into a RecordAnalysis, with the chart
// of the values per ply.
int RunRecordMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_RECORD_MODE_H_
