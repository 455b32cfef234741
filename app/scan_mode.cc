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
  if (inputs.fv->kind == EvalKind::kKppt) {
    scan.kppt = true;
    if (!ScanKpptSlab(inputs.fv->kppt, scan.comparing ? &inputs.compare->kppt : nullptr, k,
                      KpptPart(std::max(inputs.options->part, 0)), mode, &scan.kppt_scan, &error)) {
      Fail(log, error);
      return 1;
    }
    scan.done = true;
    AddTermPictures(ShownRanking(scan), nullptr, pictures);
    return 0;
  }
  const bool scanned =
      scan.comparing ? CompareKppSquare(inputs.fv->table, inputs.compare->table, k, mode, &scan.comparison, &error)
                     : ScanKppTable(inputs.fv->table, k, mode, &scan.scan, &error);
  if (!scanned) {
    Fail(log, error);
    return 1;
  }
  scan.done = true;
  AddTermPictures(ShownRanking(scan), nullptr, pictures);
  return 0;
}

}  // namespace fvscope
