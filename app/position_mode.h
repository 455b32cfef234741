// Analysis of a position of the command line: its PV from --pv or from a
// USI engine, and the leaf taken apart.
#ifndef FVSCOPE_APP_POSITION_MODE_H_
#define FVSCOPE_APP_POSITION_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Reads --position (and --ply), takes the PV of --pv or lets the --usi
// engine search, and analyses the leaf into a LeafAnalysis (mode
// "position").
int RunPositionMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                    std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_POSITION_MODE_H_
