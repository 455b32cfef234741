#include "app/driver.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/position_input.h"
#include "app/usi_engine.h"
#include "eval/breakdown.h"
#include "eval/compare.h"
#include "eval/eval_file.h"
#include "eval/piece_shares.h"
#include "eval/ranking.h"
#include "eval/table_scan.h"
#include "eval/term_tally.h"
#include "render/board_image.h"
#include "render/chart.h"
#include "render/picture_batch.h"
#include "render/thread_pool.h"
#include "report/console.h"
#include "report/html_page.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/output_file.h"
#include "report/paths.h"
#include "shogi/board_text.h"
#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/position_check.h"
#include "shogi/search_log_reader.h"
#include "shogi/types.h"

namespace fvscope {

namespace {

constexpr const char* kPieceImageFolder = "./img";
constexpr const char* kGameRecordPath = "./log/game000.csa";
constexpr const char* kSearchLogPath = "./log/n000.log";

// What a game analysis finds.
struct GameAnalysis {
  Position input;
  PvLine pv;
  Position leaf;
  LeafBreakdown breakdown;
  Ranking ranking;             // without --compare
  LeafComparison comparison;   // with --compare
  PieceShares pieces;          // with --pieces
  PieceShares pieces_after;    // with --pieces and --compare
};

// What a record's evaluation finds: every position and its figures.
struct RecordAnalysis {
  std::vector<RecordPly> plies;
  std::vector<PositionFigures> figures;
};

// What a table scan finds.
struct ScanAnalysis {
  TableScan scan;              // without --compare
  ScanComparison comparison;   // with --compare
};

// One run's state, passed down from step to step.
struct Run {
  CommandLine options;
  EvalFile fv;       // the evaluation file
  EvalFile compare;  // the second one, with --compare
  bool comparing = false;
  int report_pictures = kRankingLength;  // rank pictures the report lists
  FILE* report = nullptr;
  FILE* text = nullptr;  // the console text; nullptr when the JSON document takes stdout
  bool json = false;
  OutputFile json_target;
  OutputFile html_target;
  std::vector<std::string> warnings;  // as printed
  std::vector<PictureJob> pictures;
};

int AnalyseLine(Run* run, GameAnalysis* game, const std::string& leaf_source);
void AddPieceShares(Run* run, GameAnalysis* game, const std::string& leaf_source);
void CheckEnginePv(Run* run, const Position& position, PvLine* pv);

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

// Adds the pictures of the changed terms, rank 1 first, each drawn with its
// change; the report lists as many. position_of gives the position each is
// drawn on.
template <typename PositionOf>
void AddChangePictures(const ChangeRanking& ranking, PositionOf position_of, Run* run) {
  for (int r = 0; r < ranking.count; ++r) {
    const ChangedTerm& t = ranking.terms[r];
    const RankedTerm term = {t.change, t.king,   t.king_code, t.cell_a,
                             t.code_a, t.cell_b, t.code_b};
    run->pictures.push_back(TermPictureJob(RankPicturePath(r + 1), position_of(term), t.change,
                                           t.king, t.cell_a, t.cell_b));
  }
  run->report_pictures = ranking.count;
}

// The parts of a game document besides the breakdown, as the options ask.
GameExtras GameExtrasOf(const Run& run, const GameAnalysis& game) {
  GameExtras extras;
  if (run.comparing) {
    extras.compare_fv = run.options.compare;
    extras.comparison = &game.comparison;
  } else {
    extras.ranking = &game.ranking;
  }
  if (run.options.pieces) {
    extras.pieces = &game.pieces;
    if (run.comparing) extras.pieces_after = &game.pieces_after;
  }
  return extras;
}

// What the page of the run shows.
PageParts PagePartsOf(const Run& run, const GameAnalysis* game, const ScanAnalysis* scan,
                      const RecordAnalysis& record) {
  PageParts parts;
  parts.page_path = run.options.html;
  parts.fv = run.options.fv;
  parts.compare_fv = run.options.compare;
  parts.warnings = run.warnings;
  if (!run.options.game.empty()) {
    parts.mode = "record";
    parts.plies = &record.plies;
    parts.figures = &record.figures;
  } else if (game != nullptr) {
    parts.mode = AnalysesPosition(run.options) ? "position" : "game";
    parts.input = &game->input;
    parts.pv = &game->pv;
    parts.leaf = &game->leaf;
    parts.breakdown = &game->breakdown;
    if (run.comparing) {
      parts.comparison = &game->comparison;
    } else {
      parts.ranking = &game->ranking;
    }
    if (run.options.pieces) {
      parts.pieces = &game->pieces;
      if (run.comparing) parts.pieces_after = &game->pieces_after;
    }
  } else if (scan != nullptr) {
    parts.mode = "scan";
    if (run.comparing) {
      parts.scan_comparison = &scan->comparison;
    } else {
      parts.scan = &scan->scan;
    }
  }
  return parts;
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
    const int king = position.cells[KingCell(side)];
    if (!IsSquare(king) || position.cells[king] != (side == kBlack ? kKing : -kKing)) {
      Fail(std::string(kGameRecordPath) + ": no " + SideName(side) +
           " king on the board; the engine's game record is incomplete or not a CSA record");
      return 1;
    }
  }
  for (const std::string& finding : ImpossiblePieces(position)) {
    Warn(run, std::string(kGameRecordPath) + ": " + finding);
  }
  if (!CheckLeaf(position, &error)) {
    Fail(std::string(kGameRecordPath) + ": " + error);
    return 1;
  }
  if (run->text != nullptr) PrintPosition(position, run->text);

  std::string warning;
  ReadPv(kSearchLogPath, &game->pv, &warning);
  if (!warning.empty()) Warn(run, warning);
  CheckEnginePv(run, position, &game->pv);
  return AnalyseLine(run, game, kSearchLogPath);
}

// Checks the moves of the engine's PV on position in turn; the first that
// cannot be played ends the PV with a warning.
void CheckEnginePv(Run* run, const Position& position, PvLine* pv) {
  Position board = position;
  for (int n = 0; n < pv->count; ++n) {
    Move& move = pv->moves[n];
    std::string why;
    if (!CheckMove(board, move.side, Notation::kCsa, &move, &why)) {
      Warn(run, std::string(kSearchLogPath) + ": move " + std::to_string(n + 1) + " \"" +
                    CsaMoveText(move) + "\": " + why +
                    "; the PV ends before it; the search log may belong to another position");
      pv->count = n;
      return;
    }
    MoveCode played = move.code;
    ApplyMove(move.side, &board, &played);
  }
}

// Value, material, KKP and KPP in points per ply, as the chart draws them.
std::vector<ChartLine> RecordChartLines(const std::vector<PositionFigures>& figures) {
  std::vector<ChartLine> lines = {
      {"value", cv::Scalar(20, 20, 20), 3, {}},
      {"material", cv::Scalar(60, 150, 60), 1, {}},
      {"KKP / 32", cv::Scalar(200, 110, 30), 1, {}},
      {"KPP / 32", cv::Scalar(40, 90, 220), 1, {}},
  };
  for (const PositionFigures& f : figures) {
    lines[0].values.push_back(f.value);
    lines[1].values.push_back(f.material);
    lines[2].values.push_back(static_cast<double>(f.kkp_sum) / kFvScale);
    lines[3].values.push_back(static_cast<double>(f.kpp_sum) / kFvScale);
  }
  return lines;
}

// Evaluates every position of the record that --game names. Returns the
// exit status when it cannot be read, played or evaluated, else 0.
int AnalyseRecord(Run* run, RecordAnalysis* record_analysis) {
  GameRecord record;
  Notation names;
  std::string name, error;
  if (!ReadPositionArgument("--game", run->options.game, &record, &names, &name, &error)) {
    Fail(error);
    return 2;
  }
  std::vector<RecordPly>& plies = record_analysis->plies;
  if (!PlayRecordPlies(record, names, &plies, &error)) {
    Fail(name + ": " + error);
    return 2;
  }
  auto breakdown = std::make_unique<LeafBreakdown>();
  for (const RecordPly& ply : plies) {
    if (!CheckAnalysablePosition(ply.position, &error)) {
      Fail(name + ": ply " + std::to_string(ply.ply) + ": " + error);
      return 2;
    }
    if (!BreakDownLeaf(ply.position, run->fv, breakdown.get(), &error)) {
      Fail(name + ": ply " + std::to_string(ply.ply) + ": " + error);
      return 1;
    }
    record_analysis->figures.push_back(FiguresOf(*breakdown));
  }
  if (run->text != nullptr) WriteRecordText(run->text, plies, record_analysis->figures);
  WriteRecordReport(run->report, plies, record_analysis->figures);
  std::fflush(stdout);
  const cv::Mat chart = DrawChart(RecordChartLines(record_analysis->figures), "ply", "points");
  if (!SaveImage(kRecordChartPath, chart, &error)) Warn(run, error);
  return 0;
}

// Lets the USI engine of --usi search position and takes its PV into *pv;
// a move that cannot be played ends it with a warning. Returns the exit
// status when the engine fails, else 0.
int SearchWithUsiEngine(Run* run, const Position& position, Side to_move, PvLine* pv) {
  const CommandLine& options = run->options;
  UsiSearch search;
  search.command = options.usi;
  search.sfen = PositionSfen(position, to_move);
  search.go = options.go;
  search.search_ms = options.usi_timeout * 1000;
  UsiResult result;
  std::string error;
  std::fflush(stdout);
  if (!RunUsiSearch(search, &result, &error)) {
    Fail(error);
    return 1;
  }
  std::vector<std::string> warnings;
  TakeUsiPv(result, options.usi, position, to_move, pv, &warnings);
  for (const std::string& warning : warnings) Warn(run, warning);
  return 0;
}

// Analysis of a position of the command line, with its PV from --pv or
// --usi. Returns the exit status when the run cannot go on, else 0.
int AnalysePosition(Run* run, GameAnalysis* game) {
  Side to_move = kBlack;
  std::string error;
  if (!ReadCommandLinePosition(run->options.position, run->options.ply, &game->input, &to_move,
                               &error)) {
    Fail(error);
    return 2;
  }
  if (!run->options.usi.empty()) {
    const int status = SearchWithUsiEngine(run, game->input, to_move, &game->pv);
    if (status != 0) return status;
  } else if (!ReadCommandLinePv(run->options.pv, game->input, to_move, &game->pv, &error)) {
    Fail(error);
    return 2;
  }
  if (run->text != nullptr) PrintPosition(game->input, run->text);
  return AnalyseLine(run, game, "the leaf of the PV");
}

// Plays game->pv on game->input to the leaf, writes both with the PV and
// breaks the leaf's evaluation down. Returns the exit status when the leaf
// cannot be broken down, else 0.
int AnalyseLine(Run* run, GameAnalysis* game, const std::string& leaf_source) {
  std::string error;
  const Position& position = game->input;
  game->leaf = position;
  PlayPvLine(&game->pv, &game->leaf);

  run->pictures.push_back(BoardPictureJob(kInputPicturePath, position));
  WriteReportPv(run->report, game->pv, run->options.utf8, run->options.pieces);
  if (run->text != nullptr) WritePvText(run->text, game->pv, game->leaf);

  run->pictures.push_back(BoardPictureJob(kLeafPicturePath, game->leaf));
  if (!BreakDownLeaf(game->leaf, run->fv, &game->breakdown, &error)) {
    Fail(leaf_source + ": " + error);
    return 1;
  }
  const SortMode mode = SortModeOf(run->options.sort_mode);
  const Position& leaf = game->leaf;
  const auto on_leaf = [&leaf](const RankedTerm&) { return leaf; };
  if (run->comparing) {
    if (!CompareLeaf(leaf, run->fv, run->compare, mode, &game->comparison, &error)) {
      Fail(leaf_source + ": " + error);
      return 1;
    }
    if (run->text != nullptr) WriteComparisonText(run->text, game->comparison);
    WriteReportComparison(run->report, game->comparison, run->options.fv, run->options.compare);
    AddChangePictures(game->comparison.ranking, on_leaf, run);
  } else {
    RankLeafTerms(game->breakdown.tally, leaf, mode, &game->ranking);
    if (run->text != nullptr) {
      WriteLeafText(run->text, game->breakdown, game->ranking, run->options.utf8);
    }
    WriteReportLeaf(run->report, game->breakdown, run->options.utf8);
    AddRankingPictures(game->ranking, on_leaf, run);
  }
  if (run->options.pieces) AddPieceShares(run, game, leaf_source);
  return run->options.pieces && game->pieces.count == 0 ? 1 : 0;
}

// Shares the leaf's evaluation among its pieces under each file, writes the
// shares and draws them over the leaf. A failure leaves game->pieces empty.
void AddPieceShares(Run* run, GameAnalysis* game, const std::string& leaf_source) {
  std::string error;
  game->pieces.count = 0;
  if (!ComputePieceShares(game->leaf, run->fv, &game->pieces, &error) ||
      (run->comparing &&
       !ComputePieceShares(game->leaf, run->compare, &game->pieces_after, &error))) {
    Fail(leaf_source + ": " + error);
    game->pieces.count = 0;
    return;
  }
  const PieceShares* after = run->comparing ? &game->pieces_after : nullptr;
  if (run->text != nullptr) WritePiecesText(run->text, game->pieces, after);
  std::vector<CellLabel> labels;
  for (int i = 0; i < game->pieces.count; ++i) {
    const PieceShare& s = game->pieces.shares[i];
    const int64_t shown = after != nullptr ? after->shares[i].half_units - s.half_units : s.half_units;
    labels.push_back({s.cell, ShareText(shown), shown >= 0});
  }
  run->pictures.push_back(LabelPictureJob(kPiecesPicturePath, game->leaf, std::move(labels)));
}

// Table scan of the king square the options name, into *scan.
int ScanTable(Run* run, ScanAnalysis* scan) {
  std::string error;
  const int k = run->options.scan_king_square;
  const SortMode mode = SortModeOf(run->options.sort_mode);
  if (run->comparing) {
    if (!CompareKppSquare(run->fv, run->compare, k, mode, &scan->comparison, &error)) {
      Fail(error);
      return 1;
    }
    if (run->text != nullptr) WriteScanComparisonText(run->text, scan->comparison);
    AddChangePictures(scan->comparison.ranking, ScanTermPosition, run);
    return 0;
  }
  if (!ScanKppTable(run->fv, k, mode, &scan->scan, &error)) {
    Fail(error);
    return 1;
  }
  if (run->text != nullptr) WriteScanText(run->text, scan->scan);
  AddRankingPictures(scan->scan.ranking, ScanTermPosition, run);
  return 0;
}

// The run after the change into the working folder. Returns the exit status.
int RunInWorkingFolder(Run* run) {
  std::string error, warning;
  if (run->json && !OpenOutputFile(run->options.json, &run->json_target, &error)) {
    Fail(error);
    return 1;
  }
  if (!run->options.html.empty() &&
      !OpenOutputFile(run->options.html, &run->html_target, &error)) {
    Fail(error);
    return 1;
  }
  run->report = std::fopen(kReportPath, "w");
  if (run->report == nullptr) {
    Fail(std::string(kReportPath) + ": cannot create (" + std::strerror(errno) + ")");
    return 1;
  }
  WriteReportHead(run->report);

  if (!LoadEvalFile(run->options.fv.c_str(), &run->fv, &error, &warning)) {
    Fail(error);
    return 1;
  }
  if (!warning.empty()) Warn(run, warning);
  run->comparing = !run->options.compare.empty();
  if (run->comparing) {
    if (!LoadEvalFile(run->options.compare.c_str(), &run->compare, &error, &warning)) {
      Fail(error);
      return 1;
    }
    if (!warning.empty()) Warn(run, warning);
  }
  const std::string& img = run->options.img;
  std::error_code ec;
  const bool pictures_loaded =
      !img.empty()                                      ? LoadPieceImages(img, &error)
      : std::filesystem::exists(kPieceImageFolder, ec) ? LoadPieceImages(kPieceImageFolder, &error)
                                                        : LoadBuiltinPieceImages(&error);
  if (!pictures_loaded) {
    Fail(error);
    return 1;
  }
  if (!ClearLogFolder(kLogFolder, &error)) {
    Fail(error);
    return 1;
  }

  const bool position_mode = AnalysesPosition(run->options);
  const bool record_mode = !run->options.game.empty();
  const bool game_mode = run->options.scan_king_square == -1 && !record_mode;
  std::unique_ptr<GameAnalysis> game;
  std::unique_ptr<ScanAnalysis> scan;
  RecordAnalysis record;
  if (record_mode) {
    const int status = AnalyseRecord(run, &record);
    if (status != 0) return status;
  } else if (game_mode) {
    game = std::make_unique<GameAnalysis>();
    const int status =
        position_mode ? AnalysePosition(run, game.get()) : AnalyseGame(run, game.get());
    if (status != 0) return status;
  } else {
    scan = std::make_unique<ScanAnalysis>();
    const int status = ScanTable(run, scan.get());
    if (status != 0) return status;
  }

  if (!record_mode) WriteReportPictures(run->report, run->report_pictures);
  std::fflush(run->report);
  DrawRunPictures(run);
  const bool written = std::ferror(run->report) == 0;
  const bool closed = std::fclose(run->report) == 0;
  run->report = nullptr;
  if (!closed || !written) {
    Fail(std::string(kReportPath) + ": the report could not be written in full");
    return 1;
  }
  if (!run->options.html.empty()) {
    PageParts parts = PagePartsOf(*run, game.get(), scan.get(), record);
    if (!CommitOutputFile(&run->html_target, HtmlPage(parts), &error)) {
      Fail(error);
      return 1;
    }
  }
  if (run->json) {
    const RunFacts facts{run->options.sort_mode, run->options.fv, run->warnings};
    const std::string document =
        record_mode ? RecordJson(facts, record.plies, record.figures)
        : game_mode   ? GameJson(facts, position_mode ? "position" : "game", game->input,
                                 game->pv, game->leaf, game->breakdown, GameExtrasOf(*run, *game))
        : run->comparing ? ScanComparisonJson(facts, run->options.compare, scan->comparison)
                         : ScanJson(facts, scan->scan);
    if (!CommitOutputFile(&run->json_target, document, &error)) {
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
  if (status != 0) {
    AbandonOutputFile(&run->json_target);
    AbandonOutputFile(&run->html_target);
  }
  return status;
}

}  // namespace fvscope
