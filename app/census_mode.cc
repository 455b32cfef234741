#include "app/census_mode.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "eval/table/table_census.h"
#include "render/heat_map.h"
#include "render/thread_pool.h"
#include "report/paths.h"

namespace fvscope {

namespace {

// The map of one table's mean |value| per king square, or of its mean
// |change| when the census compares.
SquareMap CensusMap(const TableCensus& census, bool kpp) {
  const CensusCounts* counts = kpp ? census.kpp : census.kkp;
  const CensusChange* changes = kpp ? census.kpp_change : census.kkp_change;
  SquareMap map;
  map.title = std::string(kpp ? "KPP" : "KKP") +
              (census.compared ? ": mean |after - before|" : ": mean |value|") + " per king square";
  map.scale = {false, 0, "table units", false};
  for (int k = 0; k < kSquares; ++k) {
    const double mean = census.compared ? CensusChangeMean(changes[k], counts[k].entries)
                                        : CensusMean(counts[k]);
    map.values[k] = mean;
    char label[24];
    std::snprintf(label, sizeof label, "%.2f", mean);
    map.labels[k] = label;
  }
  return map;
}

}  // namespace

int RunCensusMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures) {
  const CommandLine& options = *inputs.options;
  CensusAnalysis& analysis = result->emplace<CensusAnalysis>();
  std::string error;
  const int threads = std::min(options.jobs > 0 ? options.jobs : MachineThreads(), 2);
  if (!TakeCensus(options.fv.c_str(), inputs.compare != nullptr ? options.compare.c_str() : nullptr,
                  threads, &analysis.census, &error)) {
    Fail(log, error);
    return 1;
  }
  analysis.done = true;
  const std::vector<SquareMap> maps = {CensusMap(analysis.census, true),
                                       CensusMap(analysis.census, false)};
  if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(kCensusPicturePath, [maps] { return DrawSquareMaps(maps); }));
  }
  return 0;
}

}  // namespace fvscope
