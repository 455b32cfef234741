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

#include "app/census_mode.h"
#include "app/corpus_mode.h"
#include "app/engine_game_mode.h"
#include "app/file_family.h"
#include "app/map_mode.h"
#include "app/mode.h"
#include "app/platform.h"
#include "app/position_mode.h"
#include "app/record_mode.h"
#include "app/run_facts.h"
#include "app/run_log.h"
#include "app/scan_mode.h"
#include "app/serve_mode.h"
#include "app/squares_mode.h"
#include "eval/table/eval_file.h"
#include "render/board_image.h"
#include "render/picture_batch.h"
#include "render/thread_pool.h"
#include "report/html_report.h"
#include "report/output_file.h"
#include "report/paths.h"
#include "report/run_writers.h"
#include "shogi/types.h"

namespace fvscope {

namespace {

constexpr const char* kPieceImageFolder = "./img";

// One run's state, passed down from step to step.
struct Run {
  CommandLine options;
  Evaluator fv;       // the evaluation file
  Evaluator compare;  // the second one, with --compare
  bool comparing = false;
  FILE* report = nullptr;
  OutputFile json_target;
  OutputFile html_target;
  RunLog log;
};

// The mode the options select.
ModeFunction ModeOf(const CommandLine& options) {
  if (AnalysesCorpus(options)) return RunCorpusMode;
  if (!options.map.empty()) return RunMapMode;
  if (options.census) return RunCensusMode;
  if (!options.game.empty()) return RunRecordMode;
  if (options.scan_king_square != -1) return RunScanMode;
  if (!options.squares.empty()) return RunSquaresMode;
  if (AnalysesPosition(options)) return RunPositionMode;
  return RunEngineGameMode;
}

// What every output of the run names.
RunFacts FactsOf(const Run& run) { return FactsOfRun(run.options, run.log.warnings); }

// Loads the evaluation file at path into *file; a file of the wrong size is
// a warning. Returns false, the failure printed, when it cannot be loaded.
bool LoadEvalFileOf(const std::string& path, Run* run, Evaluator* file) {
  std::string error, warning;
  EvalLoadOptions load;
  if (run->options.fv_scale > 0) load.network_scale = run->options.fv_scale;
  load.many_positions = AnalysesCorpus(run->options);
  load.identity_memo = IdentityMemoFolder();
  if (!LoadEvaluator(path, load, file, &error, &warning)) {
    Fail(error);
    return false;
  }
  if (!warning.empty()) Warn(&run->log, warning);
  return true;
}

// Loads the piece pictures: --img, else ./img when it exists, else the
// built-in ones. Returns false, the failure printed, when they cannot be.
bool LoadPiecePictures(const std::string& img) {
  std::string error;
  std::error_code ec;
  const bool loaded =
      !img.empty()                                      ? LoadPieceImages(img, &error)
      : std::filesystem::exists(kPieceImageFolder, ec) ? LoadPieceImages(kPieceImageFolder, &error)
                                                        : LoadBuiltinPieceImages(&error);
  if (!loaded) Fail(error);
  return loaded;
}

// Loads the run's inputs: the evaluation file, the second one with
// --compare, the piece pictures. Returns false, the failure printed, when
// one cannot be loaded.
bool LoadRunInputs(Run* run) {
  const CommandLine& options = run->options;
  if (!LoadEvalFileOf(options.fv, run, &run->fv)) return false;
  run->comparing = !options.compare.empty();
  if (run->comparing && !LoadEvalFileOf(options.compare, run, &run->compare)) return false;
  return LoadPiecePictures(options.img);
}

// Refuses options the run's files cannot answer. Returns the exit status of
// a refusal (2, printed), else 0.
int RefuseFamilyMismatch(const Run& run) {
  std::string error;
  if (CheckFileFamilies(run.options, run.fv, run.comparing ? &run.compare : nullptr, &error)) {
    return 0;
  }
  Fail(error);
  return 2;
}

// Draws the run's pictures once all text is out; a picture that cannot be
// saved is a warning.
void DrawRunPictures(Run* run, const std::vector<PictureJob>& pictures) {
  std::fflush(stdout);
  std::vector<std::string> failures;
  const int threads = run->options.jobs > 0 ? run->options.jobs : MachineThreads();
  DrawPictures(pictures, threads, &failures);
  for (const std::string& failure : failures) Warn(&run->log, failure);
}

// Creates report.html and writes its head. Returns false, the failure
// printed, when it cannot be created.
bool OpenReport(Run* run) {
  run->report = std::fopen(kReportPath, "w");
  if (run->report == nullptr) {
    Fail(std::string(kReportPath) + ": cannot create (" + std::strerror(errno) + ")");
    return false;
  }
  WriteReportHead(run->report);
  std::fflush(run->report);
  return true;
}

// Closes report.html. Returns false, the failure printed, when it could not
// be written in full.
bool CloseReport(Run* run) {
  std::fflush(run->report);
  const bool written = std::ferror(run->report) == 0;
  const bool closed = std::fclose(run->report) == 0;
  run->report = nullptr;
  if (!closed || !written) Fail(std::string(kReportPath) + ": the report could not be written in full");
  return closed && written;
}

// The run after the change into the working folder: its outputs opened, its
// inputs loaded, the mode, its text and report, its pictures, then the page
// and the JSON document. Returns the exit status.
int RunInWorkingFolder(Run* run) {
  const CommandLine& options = run->options;
  const bool json = !options.json.empty();
  FILE* const text = options.json == "-" ? nullptr : stdout;
  std::string error;
  if (json && !OpenOutputFile(options.json, &run->json_target, &error)) {
    Fail(error);
    return 1;
  }
  if (!options.html.empty() && !OpenOutputFile(options.html, &run->html_target, &error)) {
    Fail(error);
    return 1;
  }
  // The server loads its files once and writes nothing.
  if (!options.serve.empty()) {
    if (!LoadRunInputs(run)) return 1;
    if (const int refused = RefuseFamilyMismatch(*run)) return refused;
    return RunServer(options, run->fv, run->comparing ? &run->compare : nullptr,
                     run->log.warnings);
  }
  // A shard's partial file stands in for every output.
  const bool writes_outputs = options.partial.empty();
  if (writes_outputs && !OpenReport(run)) return 1;

  if (!LoadRunInputs(run)) return 1;
  if (const int refused = RefuseFamilyMismatch(*run)) return refused;
  if (!ClearLogFolder(kLogFolder, &error)) {
    Fail(error);
    return 1;
  }

  const ModeInputs inputs{&run->options, &run->fv, run->comparing ? &run->compare : nullptr};
  auto result = std::make_unique<RunResult>();
  std::vector<PictureJob> pictures;
  // A corpus run or a merge shows on stderr how far it is.
  if (AnalysesCorpus(options)) {
    StartProgress(ChooseProgressStyle(options.progress, isatty(STDERR_FILENO) != 0), stderr,
                  &run->log.progress);
  }
  const int status = ModeOf(options)(inputs, &run->log, result.get(), &pictures);
  EndProgress(&run->log.progress);
  if (!writes_outputs) return status;
  if (text != nullptr) WriteResultText(text, FactsOf(*run), *result);
  WriteResultReport(run->report, FactsOf(*run), *result);
  if (status != 0) return status;

  std::fflush(run->report);
  DrawRunPictures(run, pictures);
  if (!CloseReport(run)) return 1;
  const RunFacts facts = FactsOf(*run);
  if (!options.html.empty() &&
      !CommitOutputFile(&run->html_target, ResultPage(facts, *result), &error)) {
    Fail(error);
    return 1;
  }
  if (json && !CommitOutputFile(&run->json_target, ResultJson(facts, *result), &error)) {
    Fail(error);
    return 1;
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int RunFvscope(const CommandLine& command_line) {
  // Failures are reported in our own words, one line each.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  std::string error;
  if (!CheckScanKingSquare(command_line.scan_king_square, &error)) {
    Fail(error);
    return 2;
  }
  if (!command_line.workdir.empty() && chdir(command_line.workdir.c_str()) != 0) {
    Fail(command_line.workdir + ": cannot change to this folder (" + std::strerror(errno) + ")");
    return 1;
  }
  auto run = std::make_unique<Run>();
  run->options = command_line;
  const int status = RunInWorkingFolder(run.get());
  if (status != 0) {
    AbandonOutputFile(&run->json_target);
    AbandonOutputFile(&run->html_target);
  }
  return status;
}

}  // namespace fvscope
