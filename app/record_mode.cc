#include "app/record_mode.h"

#include <memory>
#include <string>

#include "app/file_family.h"
#include "app/position_input.h"
#include "eval/evaluator.h"
#include "eval/table/compare.h"
#include "render/chart.h"
#include "shogi/record_file.h"
#include "report/paths.h"

namespace fvscope {

namespace {

// Value, material, KKP and KPP in points per ply, as the chart draws them.
std::vector<ChartLine> RecordChartLines(const std::vector<PositionFigures>& figures,
                                        bool terms) {
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
  // A network has no KKP or KPP terms.
  if (!terms) lines.resize(2);
  return lines;
}

// Both files' values and the change per ply, the second file's dashed.
std::vector<ChartLine> ComparisonChartLines(const std::vector<PositionFigures>& figures,
                                            const std::vector<PositionFigures>& second) {
  std::vector<ChartLine> lines = {
      {"value", cv::Scalar(20, 20, 20), 3, {}},
      {"value, second file", cv::Scalar(40, 40, 200), 2, {}, true},
      {"change", cv::Scalar(40, 150, 40), 1, {}},
  };
  for (size_t i = 0; i < figures.size() && i < second.size(); ++i) {
    lines[0].values.push_back(figures[i].value);
    lines[1].values.push_back(second[i].value);
    lines[2].values.push_back(second[i].value - figures[i].value);
  }
  return lines;
}

// Evaluates every ply under the files into analysis, its plies checked;
// with a second file, ranks the plies by change.
bool EvaluateRecordPlies(const ModeInputs& inputs, RecordAnalysis* analysis, RunLog* log,
                         std::string* error) {
  analysis->comparing = inputs.compare != nullptr;
  analysis->terms = CountsEntryUse(*inputs.fv);
  analysis->second_terms = inputs.compare == nullptr || CountsEntryUse(*inputs.compare);
  WarnKppAsymmetry(inputs, SlabsOfPlies(analysis->plies), log);
  if (!EvaluatePlies(analysis->plies, 0, *inputs.fv, inputs.compare, &analysis->figures,
                     &analysis->second_figures, nullptr, error)) {
    return false;
  }
  if (analysis->comparing) {
    analysis->change_ranking =
        RankGameChanges(analysis->figures, analysis->second_figures, kGameChangeRankingLength);
  }
  return true;
}

}  // namespace

int RunRecordMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures) {
  RecordAnalysis& analysis = result->emplace<RecordAnalysis>();
  GameRecord record;
  Notation names;
  std::string name, error;
  RecordFormat format = RecordFormat::kCsa;
  name = kRecordTextName;
  const bool read =
      inputs.record != nullptr
          ? ReadRecordText(name, *inputs.record, &record, &names, &error, &format)
          : ReadPositionArgument("--game", inputs.options->game, &record, &names, &name, &error,
                                 &format);
  if (!read) {
    Fail(log, error);
    return 2;
  }
  analysis.record_format = RecordFormatName(format);
  if (!PlayRecordPlies(record, names, &analysis.plies, &error)) {
    Fail(log, name + ": " + error);
    return 2;
  }
  for (const RecordPly& ply : analysis.plies) {
    if (!CheckAnalysablePosition(ply.position, &error)) {
      Fail(log, name + ": ply " + std::to_string(ply.ply) + ": " + error);
      return 2;
    }
  }
  if (!EvaluateRecordPlies(inputs, &analysis, log, &error)) {
    Fail(log, name + ": " + error);
    return 1;
  }
  analysis.done = true;
  if (pictures != nullptr && analysis.comparing) {
    pictures->push_back(SheetPictureJob(
        kRecordChartPath, [lines = ComparisonChartLines(analysis.figures, analysis.second_figures)] {
          return DrawChart(lines, "ply", "points");
        }));
  } else if (pictures != nullptr) {
    pictures->push_back(SheetPictureJob(
        kRecordChartPath,
        [lines = RecordChartLines(analysis.figures, analysis.terms)] { return DrawChart(lines, "ply", "points"); }));
  }
  return 0;
}

}  // namespace fvscope
