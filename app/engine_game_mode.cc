#include "app/engine_game_mode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/platform.h"
#include "app/term_pictures.h"
#include "eval/table/breakdown.h"
#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/position_check.h"
#include "shogi/search_log_reader.h"

namespace fvscope {

namespace {

constexpr const char* kGameRecordPath = "./log/game000.csa";
constexpr const char* kSearchLogPath = "./log/n000.log";

// Checks the moves of the engine's PV on position in turn; the first that
// cannot be played ends the PV with a warning.
void CheckEnginePv(const Position& position, RunLog* log, PvLine* pv) {
  Position board = position;
  for (int n = 0; n < pv->count; ++n) {
    Move& move = pv->moves[n];
    std::string why;
    if (!CheckMove(board, move.side, Notation::kCsa, &move, &why)) {
      Warn(log, std::string(kSearchLogPath) + ": move " + std::to_string(n + 1) + " \"" +
                    CsaMoveText(move) + "\": " + why +
                    "; the PV ends before it; the search log may belong to another position");
      pv->count = n;
      return;
    }
    MoveCode played = move.code;
    ApplyMove(move.side, &board, &played);
  }
}

// Reads the engine's game record into *position: both kings on the board
// and a position the tables can index. Returns false, the failure printed,
// when it cannot.
bool ReadEngineRecord(RunLog* log, Position* position) {
  ClearPosition(position);
  if (!ReadCsaPosition(kGameRecordPath, position)) {
    Fail(log, std::string(kGameRecordPath) + ": cannot open (" + std::strerror(errno) +
         "): the engine left no game record");
    return false;
  }
  for (Side side : kSides) {
    const int king = position->cells[KingCell(side)];
    if (!IsSquare(king) || position->cells[king] != (side == kBlack ? kKing : -kKing)) {
      Fail(log, std::string(kGameRecordPath) + ": no " + SideName(side) +
           " king on the board; the engine's game record is incomplete or not a CSA record");
      return false;
    }
  }
  for (const std::string& finding : ImpossiblePieces(*position)) {
    Warn(log, std::string(kGameRecordPath) + ": " + finding);
  }
  std::string error;
  if (!CheckLeaf(*position, &error)) {
    Fail(log, std::string(kGameRecordPath) + ": " + error);
    return false;
  }
  return true;
}

}  // namespace

int RunEngineGameMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                      std::vector<PictureJob>* pictures) {
  LeafAnalysis& game = result->emplace<LeafAnalysis>();
  game.mode = "game";
  // With the document on stdout, what the engine prints goes to stderr.
  const std::string& engine = inputs.options->engine;
  std::string error;
  std::fflush(stdout);
  if (!RunCommand(inputs.options->json == "-" ? "exec 1>&2\n" + engine : engine, &error)) {
    Warn(log, "engine command \"" + engine + "\" " + error);
  }
  if (!ReadEngineRecord(log, &game.input)) return 1;
  game.reached = LeafStage::kInput;

  std::string warning;
  ReadPv(kSearchLogPath, &game.pv, &warning);
  if (!warning.empty()) Warn(log, warning);
  CheckEnginePv(game.input, log, &game.pv);
  return AnalyseLeaf(inputs, kSearchLogPath, log, &game, pictures);
}

}  // namespace fvscope
