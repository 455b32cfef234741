#include "app/census_mode.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/term_pictures.h"
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

// A network's maps: the mean |weight| per king square and its untrained
// features, and compared the mean |after - before|.
std::vector<SquareMap> NetworkCensusMaps(const NetworkCensus& census) {
  std::vector<SquareMap> maps(census.compared ? 3 : 2);
  maps[0].title = "transformer: mean |weight| per king square";
  maps[0].scale = {false, 0, "weight units", false};
  maps[1].title = "features never trained per king square";
  maps[1].scale = {false, 0, "features of 1548", false};
  if (census.compared) {
    maps[2].title = "transformer: mean |after - before| per king square";
    maps[2].scale = {false, 0, "weight units", false};
  }
  for (int k = 0; k < kSquares; ++k) {
    const int s = KingSquareOfIndex(k);
    char label[24];
    maps[0].values[s] = census.king_magnitude[k];
    std::snprintf(label, sizeof label, "%.2f", census.king_magnitude[k]);
    maps[0].labels[s] = label;
    maps[1].values[s] = census.king_untrained[k];
    maps[1].labels[s] = std::to_string(census.king_untrained[k]);
    if (!census.compared) continue;
    maps[2].values[s] = census.king_change[k];
    std::snprintf(label, sizeof label, "%.2f", census.king_change[k]);
    maps[2].labels[s] = label;
  }
  return maps;
}

// A KPPT set's maps: mean |value| of each part of KPP per king square (of
// its change when the census compares).
std::vector<SquareMap> KpptCensusMaps(const KpptCensus& census) {
  std::vector<SquareMap> maps(census.kpp_parts);
  for (int p = 0; p < census.kpp_parts; ++p) {
    maps[p].title = std::string("KPP ") + KpptPartName(KpptPart(p)) +
                    (census.compared ? ": mean |after - before|" : ": mean |value|") +
                    " per king square";
    maps[p].scale = {false, 0, "table units", false};
    for (int s = 0; s < kSquares; ++s) {
      const KpptCensusCell& cell = census.kpp[FeatureSquare(s)];
      const double mean = census.compared ? CensusChangeMean(cell.change[p], cell.counts[p].entries)
                                          : CensusMean(cell.counts[p]);
      maps[p].values[s] = mean;
      char label[24];
      std::snprintf(label, sizeof label, "%.2f", mean);
      maps[p].labels[s] = label;
    }
  }
  return maps;
}

}  // namespace

int RunCensusMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures) {
  const CommandLine& options = *inputs.options;
  CensusAnalysis& analysis = result->emplace<CensusAnalysis>();
  std::string error;
  const int threads = std::min(options.jobs > 0 ? options.jobs : MachineThreads(), 2);
  if (!TakeFileCensus(*inputs.fv, options.fv, inputs.compare, options.compare, threads,
                      &analysis.kind, &analysis.census, &analysis.network, &analysis.kppt,
                      &error)) {
    Fail(log, error);
    return 1;
  }
  analysis.done = true;
  const std::vector<SquareMap> maps =
      analysis.kind == EvalKind::kNetwork ? NetworkCensusMaps(analysis.network)
      : analysis.kind == EvalKind::kKppt  ? KpptCensusMaps(analysis.kppt)
          : std::vector<SquareMap>{CensusMap(analysis.census, true), CensusMap(analysis.census, false)};
  if (pictures != nullptr && analysis.kind == EvalKind::kNetwork) {
    AddTermPictures(MovedRanking(analysis.network), nullptr, pictures);
  }
  if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(kCensusPicturePath, [maps] { return DrawSquareMaps(maps); }));
  }
  return 0;
}

}  // namespace fvscope
