// The names of everything a run writes, relative to the working folder.
#ifndef FVSCOPE_REPORT_PATHS_H_
#define FVSCOPE_REPORT_PATHS_H_

#include <string>

namespace fvscope {

constexpr const char* kReportPath = "./report.html";
constexpr const char* kLogFolder = "./log";
constexpr const char* kInputPicturePath = "./log/init.png";
constexpr const char* kLeafPicturePath = "./log/leaf.png";
constexpr const char* kRecordChartPath = "./log/game.png";
constexpr const char* kPiecesPicturePath = "./log/pieces.png";
constexpr const char* kCorpusChartPath = "./log/corpus.png";
constexpr const char* kCoveragePicturePath = "./log/coverage.png";
constexpr const char* kPullPicturePath = "./log/pull.png";
constexpr const char* kScorePicturePath = "./log/score.png";
constexpr const char* kMapPicturePath = "./log/map.png";
constexpr const char* kCensusPicturePath = "./log/census.png";
constexpr const char* kSquaresPicturePath = "./log/squares.png";
constexpr const char* kActivationHistogramPath = "./log/preclamp.png";

// The strip of a network layer's activations (ActivationLayer):
// "./log/transformer.png", "./log/layer1.png", "./log/layer2.png".
std::string ActivationPicturePath(int layer);

// The picture of rank (from 1), as the file is saved and as the report
// links it: "./log/rank%03d.png".
std::string RankPicturePath(int rank);

// The picture of rank (from 1) of a corpus's ranking of pull:
// "./log/pull%03d.png".
std::string PullPicturePath(int rank);

// A path as a document names it, without a leading "./": "log/rank001.png".
std::string DocumentName(const std::string& path);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_PATHS_H_
