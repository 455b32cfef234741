#include "app/driver.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

#include "app/platform.h"
#include "eval/breakdown.h"
#include "eval/eval_file.h"
#include "eval/ranking.h"
#include "eval/table_scan.h"
#include "eval/term_tally.h"
#include "render/board_image.h"
#include "render/picture_batch.h"
#include "render/thread_pool.h"
#include "report/console.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/paths.h"
#include "shogi/board_text.h"
#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/search_log_reader.h"
#include "shogi/types.h"

namespace fvscope {

namespace {

constexpr const char* kEvalFilePath = "./fv.bin";
constexpr const char* kPieceImageFolder = "./img";
constexpr const char* kGameRecordPath = "./log/game000.csa";
constexpr const char* kSearchLogPath = "./log/n000.log";

// What a game analysis finds.
struct GameAnalysis {
  Position input;
  PvLine pv;
  Position leaf;
  LeafBreakdown breakdown;
  Ranking ranking;
};

// One run's state, passed down from step to step.
struct Run {
  CommandLine options;
  FILE* report = nullptr;
  FILE* text = nullptr;  // the console text; nullptr when the JSON document takes stdout
  bool json = false;
  JsonTarget json_target;
  std::vector<std::string> warnings;  // as printed
  std::vector<PictureJob> pictures;
};

void Fail(const std::string& message) {
  std::fprintf(stderr, "fvscope: %s\n", message.c_str());
}

void Warn(Run* run, const std::string& message) {
  const std::string line = "fvscope: warning: " + message;
  std::fprintf(stderr, "%s\n", line.c_str());
  run->warnings.push_back(line);
}

// Draws the run's pictures once all text is out; a picture that cannot be
// saved is a warning.
void DrawRunPictures(Run* run) {
  std::fflush(stdout);
  std::vector<std::string> failures;
  const int threads = run->options.jobs > 0 ? run->options.jobs : MachineThreads();
  DrawPictures(run->pictures, threads, &failures);
  for (const std::string& failure : failures) Warn(run, failure);
}

// Adds the pictures of the ranked terms, rank 1 first; position_of gives the
// position each is drawn on.
template <typename PositionOf>
void AddRankingPictures(const Ranking& ranking, PositionOf position_of, Run* run) {
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    run->pictures.push_back(TermPictureJob(RankPicturePath(r + 1), position_of(t), t.value,
                                           t.king, t.cell_a, t.cell_b));
  }
}

// Game analysis: runs the engine, plays its PV on the input position and
// breaks the leaf's evaluation down into *game. Returns the exit status
// when the run cannot go on, else 0.
int AnalyseGame(Run* run, GameAnalysis* game) {
  std::fflush(stdout);
  std::fflush(run->report);
  std::string error;
  // With the document on stdout, what the engine prints goes to stderr.
  const std::string& engine = run->options.engine;
  if (!RunCommand(run->text == nullptr ? "exec 1>&2\n" + engine : engine, &error)) {
    Warn(run, "engine command \"" + engine + "\" " + error);
  }

  Position& position = game->input;
  std::memset(position.cells, 0, sizeof position.cells);
  position.cells[kBlackKingCell] = -1;
  position.cells[kWhiteKingCell] = -1;
  if (!ReadCsaPosition(kGameRecordPath, &position)) {
    Fail(std::string(kGameRecordPath) + ": cannot open (" + std::strerror(errno) +
         "): the engine left no game record");
    return 1;
  }
  for (Side side : kSides) {
    if (!IsSquare(position.cells[KingCell(side)])) {
      Fail(std::string(kGameRecordPath) + ": no " + SideName(side) +
           " king on the board; the engine's game record is incomplete or not a CSA record");
      return 1;
    }
  }
  if (run->text != nullptr) PrintPosition(position, run->text);

  std::string warning;
  ReadPv(kSearchLogPath, &game->pv, &warning);
  if (!warning.empty()) Warn(run, warning);
  game->leaf = position;
  PlayPvLine(&game->pv, &game->leaf);

  run->pictures.push_back(BoardPictureJob(kInputPicturePath, position));
  WriteReportPv(run->report, game->pv, run->options.utf8);
  if (run->text != nullptr) WritePvText(run->text, game->pv, game->leaf);

  run->pictures.push_back(BoardPictureJob(kLeafPicturePath, game->leaf));
  if (!BreakDownLeaf(game->leaf, &game->breakdown, &error)) {
    Fail(error);
    return 1;
  }
  RankLeafTerms(game->breakdown.tally, game->leaf, SortModeOf(run->options.sort_mode),
                &game->ranking);
  if (run->text != nullptr) {
    WriteLeafText(run->text, game->breakdown, game->ranking, run->options.utf8);
  }
  WriteReportLeaf(run->report, game->breakdown, run->options.utf8);
  const Position& leaf = game->leaf;
  AddRankingPictures(game->ranking, [&leaf](const RankedTerm&) { return leaf; }, run);
  return 0;
}

// Table scan of the king square the options name, into *scan.
int ScanTable(Run* run, TableScan* scan) {
  std::string error;
  if (!ScanKppTable(run->options.scan_king_square, SortModeOf(run->options.sort_mode), scan,
                    &error)) {
    Fail(error);
    return 1;
  }
  if (run->text != nullptr) WriteScanText(run->text, *scan);
  AddRankingPictures(scan->ranking, ScanTermPosition, run);
  return 0;
}

// The run after the change into the working folder. Returns the exit status.
int RunInWorkingFolder(Run* run) {
  std::string error, warning;
  if (run->json && !OpenJsonTarget(run->options.json, &run->json_target, &error)) {
    Fail(error);
    return 1;
  }
  run->report = std::fopen(kReportPath, "w");
  if (run->report == nullptr) {
    Fail(std::string(kReportPath) + ": cannot create (" + std::strerror(errno) + ")");
    return 1;
  }
  WriteReportHead(run->report);

  if (!LoadEvalFile(kEvalFilePath, &error, &warning)) {
    Fail(error);
    return 1;
  }
  if (!warning.empty()) Warn(run, warning);
  if (!LoadPieceImages(kPieceImageFolder, &error)) {
    Fail(error);
    return 1;
  }
  if (!ClearLogFolder(kLogFolder, &error)) {
    Fail(error);
    return 1;
  }

  const bool game_mode = run->options.scan_king_square == -1;
  std::unique_ptr<GameAnalysis> game;
  std::unique_ptr<TableScan> scan;
  if (game_mode) {
    game = std::make_unique<GameAnalysis>();
    const int status = AnalyseGame(run, game.get());
    if (status != 0) return status;
  } else {
    scan = std::make_unique<TableScan>();
    const int status = ScanTable(run, scan.get());
    if (status != 0) return status;
  }

  WriteReportTail(run->report);
  std::fflush(run->report);
  DrawRunPictures(run);
  const bool written = std::ferror(run->report) == 0;
  const bool closed = std::fclose(run->report) == 0;
  run->report = nullptr;
  if (!closed || !written) {
    Fail(std::string(kReportPath) + ": the report could not be written in full");
    return 1;
  }
  if (run->json) {
    const RunFacts facts{run->options.sort_mode, kEvalFilePath, run->warnings};
    const std::string document =
        game_mode ? GameJson(facts, game->input, game->pv, game->leaf, game->breakdown,
                             game->ranking)
                  : ScanJson(facts, *scan);
    if (!CommitJsonTarget(&run->json_target, document, &error)) {
      Fail(error);
      return 1;
    }
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int RunFvscope(const CommandLine& command_line) {
  // Failures are reported in our own words, one line each.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  const int32_t square = command_line.scan_king_square;
  if (square != -1 && !IsSquare(square)) {
    Fail("scan king square " + std::to_string(square) +
         " is outside 0..80 (-1 selects game analysis)");
    return 2;
  }
  if (!command_line.workdir.empty() && chdir(command_line.workdir.c_str()) != 0) {
    Fail(command_line.workdir + ": cannot change to this folder (" + std::strerror(errno) + ")");
    return 1;
  }
  auto run = std::make_unique<Run>();
  run->options = command_line;
  run->json = !command_line.json.empty();
  run->text = command_line.json == "-" ? nullptr : stdout;
  const int status = RunInWorkingFolder(run.get());
  if (status != 0) AbandonJsonTarget(&run->json_target);
  return status;
}

}  // namespace fvscope
