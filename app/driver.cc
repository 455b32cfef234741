#include "app/driver.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

#include "app/platform.h"
#include "eval/breakdown.h"
#include "eval/eval_file.h"
#include "eval/ranking.h"
#include "eval/table_scan.h"
#include "render/board_image.h"
#include "render/picture_batch.h"
#include "shogi/board_text.h"
#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/search_log_reader.h"
#include "shogi/settings.h"
#include "shogi/texts.h"
#include "shogi/types.h"

namespace fvscope {

namespace {

constexpr const char* kReportPath = "./report.html";
constexpr const char* kEvalFilePath = "./fv.bin";
constexpr const char* kLogFolder = "./log";
constexpr const char* kPieceImageFolder = "./img";
constexpr const char* kInputPicturePath = "./log/init.png";
constexpr const char* kLeafPicturePath = "./log/leaf.png";
constexpr const char* kGameRecordPath = "./log/game000.csa";
constexpr const char* kSearchLogPath = "./log/n000.log";
constexpr int kPicturesPerReportRow = 5;

void Fail(const std::string& message) {
  std::fprintf(stderr, "fvscope: %s\n", message.c_str());
}

void Warn(const std::string& message) {
  std::fprintf(stderr, "fvscope: warning: %s\n", message.c_str());
}

// Draws the run's pictures once all text is out; a picture that cannot be
// saved is a warning.
void DrawRunPictures(const std::vector<PictureJob>& jobs, int threads) {
  std::fflush(stdout);
  std::vector<std::string> failures;
  DrawPictures(jobs, threads, &failures);
  for (const std::string& failure : failures) Warn(failure);
}

// Game analysis: runs the engine, plays its PV on the input position and
// breaks the leaf's evaluation down. Returns the exit status when the run
// cannot go on, else 0.
int AnalyseGame(const CommandLine& command_line, RankedTerms* ranked,
                std::vector<PictureJob>* pictures) {
  std::fflush(stdout);
  std::fflush(ReportFile);
  std::string error;
  if (!RunCommand(command_line.engine, &error)) {
    Warn("engine command \"" + command_line.engine + "\" " + error);
  }

  Position position;
  std::memset(position.cells, 0, sizeof position.cells);
  position.cells[kBlackKingCell] = -1;
  position.cells[kWhiteKingCell] = -1;
  if (!ReadCsaPosition(kGameRecordPath, &position)) {
    Fail(std::string(kGameRecordPath) + ": cannot open (" + std::strerror(errno) +
         "): the engine left no game record");
    return 1;
  }
  for (int side = kBlack; side <= kWhite; ++side) {
    if (!IsSquare(position.cells[KingCell(side)])) {
      Fail(std::string(kGameRecordPath) + ": no " + SideName(side) +
           " king on the board; the engine's game record is incomplete or not a CSA record");
      return 1;
    }
  }
  PrintPosition(position, stdout);

  static char pv_text[kPvTextCapacity];
  int side = 0;
  if (!ReadPvText(kSearchLogPath, pv_text, &side)) {
    Warn(std::string(kSearchLogPath) + ": cannot open (" + std::strerror(errno) +
         "); no moves are played");
  }
  static PvLine pv_line;
  if (!DecodePvLine(pv_text, &pv_line, &error)) {
    Warn(std::string(kSearchLogPath) + ": " + error);
  }

  pictures->push_back(BoardPictureJob(kInputPicturePath, position));

  std::fprintf(ReportFile, "%s<br><img src=./log/init.png width=320>  ",
               JapaneseText(kTextInputToLeaf));
  std::fputs("<img src=./log/leaf.png width=320><br>", ReportFile);
  std::fputs("PV=", ReportFile);
  std::fputs("\nPV=", stdout);
  for (int n = 0; n < pv_line.count; ++n) {
    const char* text = pv_text + kMoveTextLength * n;
    const char sign = side == kBlack ? '+' : '-';
    std::fprintf(stdout, "%c%.6s\n", sign, text);
    std::fprintf(ReportFile, "%c%.6s\n", sign, text);
    ApplyMove(side, &position, &pv_line.moves[n]);
    side = 1 - side;
  }
  std::fputs("\n\n", stdout);
  std::fputs("<br><br>", ReportFile);
  PrintPosition(position, stdout);

  pictures->push_back(BoardPictureJob(kLeafPicturePath, position));
  int32_t value = 0;
  if (!EvaluateLeaf(position, stdout, &value, ranked, &error)) {
    Fail(error);
    return 1;
  }
  std::fprintf(ReportFile, "evaluation value (material+position)=%+d<br><br>", value);
  std::fprintf(ReportFile, "material=%+d<br>\n\n\n", MaterialSum(position));
  return 0;
}

void WritePictureList() {
  for (int i = 1; i <= kRankingLength; ++i) {
    std::fprintf(ReportFile, "<img src=./log/rank%03d.png width=320> ", i);
    if (i % kPicturesPerReportRow == 0) std::fputs("<br><br>", ReportFile);
  }
}

}  // namespace

int RunFvscope(const CommandLine& command_line) {
  SortMode = command_line.sort_mode;
  ScanKingSquare = command_line.scan_king_square;
  OutputUtf8 = command_line.utf8;
  // Failures are reported in our own words, one line each.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  if (ScanKingSquare != -1 && !IsSquare(ScanKingSquare)) {
    Fail("scan king square " + std::to_string(ScanKingSquare) +
         " is outside 0..80 (-1 selects game analysis)");
    return 2;
  }

  if (!command_line.workdir.empty() && chdir(command_line.workdir.c_str()) != 0) {
    Fail(command_line.workdir + ": cannot change to this folder (" + std::strerror(errno) + ")");
    return 1;
  }
  ReportFile = std::fopen(kReportPath, "w");
  if (ReportFile == nullptr) {
    Fail(std::string(kReportPath) + ": cannot create (" + std::strerror(errno) + ")");
    return 1;
  }
  std::fputs("<HTML><BODY>\n", ReportFile);

  std::string error, warning;
  if (!LoadEvalFile(kEvalFilePath, &error, &warning)) {
    Fail(error);
    return 1;
  }
  if (!warning.empty()) Warn(warning);
  if (!LoadPieceImages(kPieceImageFolder, &error)) {
    Fail(error);
    return 1;
  }
  if (!ClearLogFolder(kLogFolder, &error)) {
    Fail(error);
    return 1;
  }
  static RankedTerms ranked;
  ranked.count = 0;
  std::vector<PictureJob> pictures;
  if (ScanKingSquare == -1) {
    const int status = AnalyseGame(command_line, &ranked, &pictures);
    if (status != 0) return status;
  } else if (!ScanKppTable(ScanKingSquare, stdout, &ranked, &error)) {
    Fail(error);
    return 1;
  }

  WritePictureList();
  std::fputs("</BODY></HTML>", ReportFile);
  std::fflush(ReportFile);
  AddRankedTermJobs(ranked, &pictures);
  DrawRunPictures(pictures, command_line.jobs > 0 ? command_line.jobs : MachineThreads());
  const bool written = std::ferror(ReportFile) == 0;
  if (std::fclose(ReportFile) != 0 || !written) {
    ReportFile = nullptr;
    Fail(std::string(kReportPath) + ": the report could not be written in full");
    return 1;
  }
  ReportFile = nullptr;
  std::fflush(stdout);
  return 0;
}

}  // namespace fvscope
