#include "app/map_mode.h"

#include <string>

#include "eval/table/table_map.h"
#include "render/heat_map.h"
#include "report/paths.h"
#include "shogi/place_name.h"

namespace fvscope {

namespace {

// The sheet of every grid and hand row, KING and PIECE marked.
HeatSheet MapSheet(const TableMap& map) {
  const MapRequest& r = map.request;
  HeatSheet sheet{"MAP " + PlaceName(r.king) + " " + PlaceName(r.piece) +
                      (map.kkp ? " (kkp)" : " (kpp)") + (map.compared ? ", after - before" : ""),
                  {true, 0, "blue favours black, red white (table units)", false},
                  kMapKinds,
                  {},
                  map.kkp ? 1 : 2,
                  {}};
  for (int g = 0; g < map.grid_count; ++g) {
    const MapGrid& grid = map.grids[g];
    HeatGrid heat{MapGridName(grid), {}, {}, {{r.king.square, "K"}}};
    for (int s = 0; s < kSquares; ++s) {
      heat.present[s] = grid.present[s];
      heat.values[s] = grid.values[s];
    }
    if (!IsHeld(r.piece)) heat.marks.push_back({r.piece.square, map.kkp ? "k" : "P"});
    sheet.grids.push_back(heat);
  }
  for (int h = 0; h < map.hand_count; ++h) {
    const MapHand& hand = map.hands[h];
    HeatRow row{MapHandName(hand), {hand.values, hand.values + hand.counts}, {}};
    if (IsHeld(r.piece) && r.piece.side == hand.side && HandKindOf(r.piece) == hand.hand_kind) {
      row.marks.push_back({r.piece.count, "P"});
    }
    sheet.rows.push_back(row);
  }
  return sheet;
}

}  // namespace

int RunMapMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
               std::vector<PictureJob>* pictures) {
  MapAnalysis& analysis = result->emplace<MapAnalysis>();
  MapRequest request;
  std::string error;
  if (!ParseMapRequest(inputs.options->map, &request, &error)) {
    Fail(log, "--map " + error);
    return 2;
  }
  const bool built = inputs.compare != nullptr
                         ? CompareTableMap(inputs.fv->table, inputs.compare->table, request, &analysis.map, &error)
                         : BuildTableMap(inputs.fv->table, request, &analysis.map, &error);
  if (!built) {
    Fail(log, error);
    return 2;
  }
  analysis.done = true;
  if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(
        kMapPicturePath, [sheet = MapSheet(analysis.map)] { return DrawHeatSheet(sheet); }));
  }
  return 0;
}

}  // namespace fvscope
