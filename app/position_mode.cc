#include "app/position_mode.h"

#include <cstdio>
#include <string>

#include "app/position_input.h"
#include "app/term_pictures.h"
#include "app/usi_engine.h"
#include "shogi/record_file.h"
#include "shogi/notation.h"

namespace fvscope {

namespace {

// Lets the USI engine of --usi search position and takes its PV into *pv;
// a move that cannot be played ends it with a warning. Returns the exit
// status when the engine fails, else 0.
int SearchWithUsiEngine(const CommandLine& options, const Position& position, Side to_move,
                        RunLog* log, PvLine* pv) {
  UsiSearch search;
  search.command = options.usi;
  search.sfen = PositionSfen(position, to_move);
  search.go = options.go;
  search.search_ms = options.usi_timeout * 1000;
  UsiResult found;
  std::string error;
  std::fflush(stdout);
  if (!RunUsiSearch(search, &found, &error)) {
    Fail(log, error);
    return 1;
  }
  std::vector<std::string> warnings;
  TakeUsiPv(found, options.usi, position, to_move, pv, &warnings);
  for (const std::string& warning : warnings) Warn(log, warning);
  return 0;
}

}  // namespace

int RunPositionMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                    std::vector<PictureJob>* pictures) {
  const CommandLine& options = *inputs.options;
  LeafAnalysis& analysis = result->emplace<LeafAnalysis>();
  analysis.mode = "position";
  Side to_move = kBlack;
  std::string error;
  RecordFormat format = RecordFormat::kUsi;
  if (!ReadCommandLinePosition(options.position, options.ply, &analysis.input, &to_move, &error,
                               &format, inputs.record)) {
    Fail(log, error);
    return 2;
  }
  analysis.record_format = RecordFormatName(format);
  if (!options.usi.empty()) {
    const int status = SearchWithUsiEngine(options, analysis.input, to_move, log, &analysis.pv);
    if (status != 0) return status;
  } else if (!ReadCommandLinePv(options.pv, analysis.input, to_move, &analysis.pv, &error)) {
    Fail(log, error);
    return 2;
  }
  analysis.reached = LeafStage::kInput;
  return AnalyseLeaf(inputs, "the leaf of the PV", log, &analysis, pictures);
}

}  // namespace fvscope
