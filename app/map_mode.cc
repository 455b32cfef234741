#include "app/map_mode.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "eval/network/network_map.h"
#include "eval/table/table_map.h"
#include "render/heat_map.h"
#include "report/paths.h"
#include "shogi/place_name.h"

namespace fvscope {

namespace {

// The caption of values that favour black or white.
constexpr const char* kFavoursCaption = "blue favours black, red white (table units)";

// The sheet of every grid and hand row of map under title and caption, KING
// and PIECE marked; a hand row's cell c stands for c pieces held.
HeatSheet MapSheet(const TableMap& map, const std::string& title, const std::string& caption) {
  const MapRequest& r = map.request;
  HeatSheet sheet{title, {true, 0, caption, false}, kMapKinds, {},
                  map.hand_count > kHandKinds ? 2 : 1, {}};
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
    // Counts below the first have no feature, a KPPT set's PIECE none with itself.
    std::vector<double> values(hand.first_count, std::nan(""));
    for (int c = 0; c < hand.counts; ++c) {
      values.push_back(hand.present[c] ? hand.values[c] : std::nan(""));
    }
    HeatRow row{MapHandName(hand), values, {}};
    if (IsHeld(r.piece) && r.piece.side == hand.side && HandKindOf(r.piece) == hand.hand_kind) {
      row.marks.push_back({r.piece.count, "P"});
    }
    sheet.rows.push_back(row);
  }
  return sheet;
}

// The sheet of a fv.bin map.
HeatSheet TableSheet(const TableMap& map) {
  const MapRequest& r = map.request;
  return MapSheet(map,
                  "MAP " + PlaceName(r.king) + " " + PlaceName(r.piece) +
                      (map.kkp ? " (kkp)" : " (kpp)") + (map.compared ? ", after - before" : ""),
                  kFavoursCaption);
}

// The sheet of a network's map: every grid and hand row, KING marked.
HeatSheet NeuronSheet(const NetworkMap& map) {
  const bool magnitude = map.neuron < 0;
  HeatSheet sheet{"MAP " + PlaceName(map.king) +
                      (magnitude ? " (network: |weights|)"
                                 : " (network: neuron " + std::to_string(map.neuron) + ")"),
                  {!magnitude, 0,
                   magnitude ? "root of the sum of the squared weights"
                             : "weight: blue above 0, red below",
                   false},
                  kMapKinds,
                  {},
                  2,
                  {}};
  for (int g = 0; g < map.grid_count; ++g) {
    const NeuronGrid& grid = map.grids[g];
    HeatGrid heat{NeuronGridName(grid), {}, {}, {{map.king.square, "K"}}};
    for (int s = 0; s < kSquares; ++s) {
      heat.present[s] = grid.present[s];
      heat.values[s] = grid.values[s];
    }
    sheet.grids.push_back(heat);
  }
  for (int h = 0; h < map.hand_count; ++h) {
    const NeuronHand& hand = map.hands[h];
    // Cell c stands for c pieces held; none held has no feature.
    std::vector<double> values = {std::nan("")};
    values.insert(values.end(), hand.values, hand.values + hand.counts);
    sheet.rows.push_back({NeuronHandName(hand), values, {}});
  }
  return sheet;
}

// The sheet of a KPPT map.
HeatSheet KpptSheet(const KpptMap& map) {
  const TableMap& table = map.table;
  const MapRequest& r = table.request;
  return MapSheet(table,
                  "MAP " + PlaceName(r.king) + " " + PlaceName(r.piece) +
                      (table.kkp ? " (KPPT kkp, " : " (KPPT kpp, ") + KpptPartName(map.part) +
                      (table.compared ? "), after - before" : ")"),
                  map.part == KpptPart::kTurn
                      ? "turn part: blue a bonus to the side to move, red a cost (table units)"
                      : kFavoursCaption);
}

}  // namespace

int RunMapMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
               std::vector<PictureJob>* pictures) {
  MapAnalysis& analysis = result->emplace<MapAnalysis>();
  std::string error;
  if (!BuildFileMap(*inputs.fv, inputs.compare, inputs.options->map, inputs.options->neuron,
                    KpptPart(std::max(inputs.options->part, 0)), &analysis.kind, &analysis.map,
                    &analysis.network, &analysis.kppt, &error)) {
    Fail(log, error);
    return 2;
  }
  analysis.done = true;
  if (pictures != nullptr && analysis.kind == EvalKind::kKppt) {
    pictures->push_back(SheetPictureJob(
        kMapPicturePath, [sheet = KpptSheet(analysis.kppt)] { return DrawHeatSheet(sheet); }));
  } else if (pictures != nullptr && analysis.kind == EvalKind::kNetwork) {
    pictures->push_back(SheetPictureJob(
        kMapPicturePath, [sheet = NeuronSheet(analysis.network)] { return DrawHeatSheet(sheet); }));
  } else if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(
        kMapPicturePath, [sheet = TableSheet(analysis.map)] { return DrawHeatSheet(sheet); }));
  }
  return 0;
}

}  // namespace fvscope
