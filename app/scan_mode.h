// Table scan: the largest KPP entries of one king square, or the entries
// that changed most between two files.
#ifndef FVSCOPE_APP_SCAN_MODE_H_
#define FVSCOPE_APP_SCAN_MODE_H_

#include <vector>

#include "app/mode.h"

namespace fvscope {

// Scans the KPP table of the king square the options name (or compares it
// between the two files) into a ScanAnalysis, with the picture of every
// ranked entry.
int RunScanMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_SCAN_MODE_H_
