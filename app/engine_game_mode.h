// Game analysis: the engine plays, and the leaf of its principal variation
// is taken apart.
#ifndef FVSCOPE_APP_ENGINE_GAME_MODE_H_
#define FVSCOPE_APP_ENGINE_GAME_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Runs the engine command, reads the game record and the search log it
// leaves in ./log, checks the PV on the record's position and analyses its
// leaf into a LeafAnalysis (mode "game").
int RunEngineGameMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                      std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_ENGINE_GAME_MODE_H_
