// A census of the whole evaluation file: per king square, how many entries
// are set, how large they are, how many are saturated.
#ifndef FVSCOPE_APP_CENSUS_MODE_H_
#define FVSCOPE_APP_CENSUS_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Reads the evaluation file (and the second one, with --compare) once into
// a CensusAnalysis, with the maps of the mean |value| (or change) per king
// square.
int RunCensusMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_CENSUS_MODE_H_
