#include "app/squares_mode.h"

#include <cmath>
#include <string>

#include "app/position_input.h"
#include "eval/piece_squares.h"
#include "render/heat_map.h"
#include "report/paths.h"

namespace fvscope {

SquareMap SquaresMap(const PieceSquares& squares) {
  SquareMap map;
  map.title = SquaresPieceName(squares.piece) + ": value on each square - value now (" +
              std::to_string(squares.value) + ")";
  map.scale = {true, 0, "points, blue favours black", false};
  for (int s = 0; s < kSquares; ++s) {
    map.values[s] = squares.present[s] ? squares.changes[s] : std::nan("");
    if (squares.present[s]) map.labels[s] = (squares.changes[s] > 0 ? "+" : "") + std::to_string(squares.changes[s]);
  }
  if (squares.piece.square >= 0) map.labels[squares.piece.square] = "here";
  return map;
}

int RunSquaresMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                   std::vector<PictureJob>* pictures) {
  const CommandLine& options = *inputs.options;
  SquaresAnalysis& analysis = result->emplace<SquaresAnalysis>();
  std::string error;
  SquaresPiece piece;
  if (!ParseSquaresPiece(options.squares, &piece, &error)) {
    Fail(log, "--squares " + error);
    return 2;
  }
  Side to_move = kBlack;
  if (!ReadCommandLinePosition(options.position, options.ply, &analysis.input, &to_move, &error,
                               nullptr, inputs.record) ||
      !ReadCommandLinePv(options.pv, analysis.input, to_move, &analysis.pv, &error)) {
    Fail(log, error);
    return 2;
  }
  analysis.leaf = analysis.input;
  PlayPvLine(&analysis.pv, &analysis.leaf);
  analysis.to_move = SideAfter(analysis.pv);
  if (!FindPieceSquares(*inputs.fv, analysis.leaf, analysis.to_move, piece, &analysis.squares,
                        &error)) {
    Fail(log, "--squares " + error);
    return 2;
  }
  analysis.done = true;
  if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(kSquaresPicturePath, [map = SquaresMap(analysis.squares)] {
      return DrawSquareMaps({map});
    }));
  }
  return 0;
}

}  // namespace fvscope
