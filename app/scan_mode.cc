#include "app/scan_mode.h"

#include <algorithm>
#include <string>

#include "app/term_pictures.h"
#include "eval/kppt/kppt_scan.h"
#include "eval/table/compare.h"
#include "eval/table/table_scan.h"

namespace fvscope {

int RunScanMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                std::vector<PictureJob>* pictures) {
  ScanAnalysis& scan = result->emplace<ScanAnalysis>();
  scan.comparing = inputs.compare != nullptr;
  const int k = inputs.options->scan_king_square;
  const SortMode mode = SortModeOf(inputs.options->sort_mode);
  std::string error;
  const bool scanned = ScanFileSlab(*inputs.fv, inputs.compare, k, inputs.options->part, mode,
                                    &scan.kppt, &scan.scan, &scan.comparison, &scan.kppt_scan, &error);
  if (!scanned) {
    Fail(log, error);
    return 1;
  }
  scan.done = true;
  AddTermPictures(ShownRanking(scan), nullptr, pictures);
  return 0;
}

}  // namespace fvscope
