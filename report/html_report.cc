#include "report/html_report.h"

#include "eval/ranking.h"
#include "eval/table/table_scan.h"
#include "report/console.h"
#include "report/html_page.h"
#include "report/paths.h"
#include "report/texts.h"
#include "shogi/notation.h"

namespace fvscope {

namespace {

constexpr int kPicturesPerRow = 5;

}  // namespace

void WriteReportHead(FILE* report) { std::fputs("<HTML><BODY>\n", report); }

void WriteReportPv(FILE* report, const PvLine& pv, bool utf8, bool pieces) {
  std::fprintf(report, "%s<br><img src=%s width=320>  <img src=%s width=320><br>",
               JapaneseText(kTextInputToLeaf, utf8), kInputPicturePath, kLeafPicturePath);
  if (pieces) std::fprintf(report, "<img src=%s width=320><br>", kPiecesPicturePath);
  std::fputs("PV=", report);
  for (int n = 0; n < pv.count; ++n) {
    std::fprintf(report, "%s\n", CsaMoveText(pv.moves[n]).c_str());
  }
  std::fputs("<br><br>", report);
}

void WriteReportLeaf(FILE* report, const LeafBreakdown& breakdown, bool utf8) {
  WriteTallyLines(report, breakdown.tally, utf8, "<br>", false);
  std::fprintf(report, "evaluation value (material+position)=%+d<br><br>", breakdown.value);
  std::fprintf(report, "material=%+d<br>\n\n\n", breakdown.material);
}

void WriteReportNetwork(FILE* report, const NetworkBreakdown& n) {
  std::fprintf(report, "network %d/%d/%d output=%d scale=%d %s to move<br>", n.shape.w, n.shape.h1,
               n.shape.h2, n.z, n.scale, SideName(n.to_move));
  std::fprintf(report, "evaluation value (network)=%+d<br><br>", n.value);
  std::fprintf(report, "material=%+d<br>\n\n\n", n.material);
}

void WriteReportKppt(FILE* report, const KpptBreakdown& b, bool utf8) {
  std::fprintf(report, "KPPT set (%s) identity %016llx %s to move<br>\n", KpptLayoutName(b.layout),
               static_cast<unsigned long long>(b.identity), SideName(Side(b.to_move)));
  std::fputs("<TABLE border=1><TR><TH></TH><TH>board</TH><TH>turn</TH><TH>sum</TH></TR>\n", report);
  const struct {
    const char* name;
    KpptShown shown;
  } rows[] = {{"KK", ShownKk(b)},           {"KKP", ShownKkp(b)},
              {"KPP black", ShownKpp(b, kBlack)}, {"KPP white", ShownKpp(b, kWhite)},
              {"material", ShownMaterial(b)}, {"total", ShownTotal(b)}};
  for (const auto& row : rows) {
    std::fprintf(report, "<TR><TD>%s</TD><TD>%lld</TD><TD>%lld</TD><TD>%lld</TD></TR>\n", row.name,
                 static_cast<long long>(row.shown.board), static_cast<long long>(row.shown.turn),
                 static_cast<long long>(row.shown.sum));
  }
  std::fputs("</TABLE><br>\n", report);
  WriteTallyLines(report, b.tally, utf8, "<br>", false);
  std::fprintf(report, "evaluation value (KPPT)=%+d<br><br>", b.value);
  std::fprintf(report, "material=%+d<br>\n\n\n", b.material);
}

void WriteReportComparison(FILE* report, const LeafComparison& comparison,
                           const std::string& before_name, const std::string& after_name) {
  const PositionFigures& b = comparison.before;
  const PositionFigures& a = comparison.after;
  std::fprintf(report, "<TABLE border=1><TR><TH></TH><TH>%s</TH><TH>%s</TH><TH>change</TH></TR>\n",
               EscapeHtml(before_name).c_str(), EscapeHtml(after_name).c_str());
  const struct {
    const char* name;
    int32_t before, after;
  } rows[] = {{"KKP", b.kkp_sum, a.kkp_sum},
              {"KPP", b.kpp_sum, a.kpp_sum},
              {"material", b.material, a.material},
              {"value", b.value, a.value}};
  for (const auto& row : rows) {
    if (!comparison.terms && (row.name[0] == 'K')) continue;
    std::fprintf(report, "<TR><TD>%s</TD><TD>%d</TD><TD>%d</TD><TD>%+d</TD></TR>\n", row.name,
                 row.before, row.after, row.after - row.before);
  }
  std::fputs("</TABLE><br>\n", report);
}

namespace {

void WritePictureRows(FILE* report, int count) {
  for (int i = 1; i <= count; ++i) {
    std::fprintf(report, "<img src=%s width=320> ", RankPicturePath(i).c_str());
    if (i % kPicturesPerRow == 0) std::fputs("<br><br>", report);
  }
}

// The pull of the results: the figures, the map and the ranking as a table.
void WriteReportPull(FILE* report, const PullFigures& pull, bool kppt) {
  std::fprintf(report, "<br>pull: total=%.3f entries=%lld<br>\n<img src=%s width=640><br>\n",
               pull.total, static_cast<long long>(pull.entries), kPullPicturePath);
  std::fputs(kppt ? "<TABLE border=1><TR><TH>rank</TH><TH>pull</TH><TH>reads</TH><TH>mean</TH>"
                    "<TH>value</TH><TH>turn</TH><TH>term</TH><TH>picture</TH></TR>\n"
                  : "<TABLE border=1><TR><TH>rank</TH><TH>pull</TH><TH>reads</TH><TH>mean</TH>"
                    "<TH>value</TH><TH>term</TH><TH>picture</TH></TR>\n",
             report);
  for (int r = 0; r < pull.ranking.count; ++r) {
    const UseRankEntry& e = pull.ranking.entries[r];
    const int64_t reads = int64_t{e.black_reads} + e.white_reads;
    const double value = static_cast<double>(e.contribution) * kPullUnit;
    const std::string value_cells =
        e.kppt ? std::to_string(e.value) + "</TD><TD>" + std::to_string(e.turn)
               : std::to_string(e.value);
    std::fprintf(report,
                 "<TR><TD>%d</TD><TD>%+.3f</TD><TD>%lld</TD><TD>%+.4f</TD><TD>%s</TD><TD>%s</TD>"
                 "<TD><img src=%s width=160></TD></TR>\n",
                 r + 1, value, static_cast<long long>(reads), value / static_cast<double>(reads),
                 value_cells.c_str(), EscapeHtml(TermNames(UseTerm(e, e.value))).c_str(),
                 PullPicturePath(r + 1).c_str());
  }
  std::fputs("</TABLE>\n", report);
}

}  // namespace

void WriteReportPictures(FILE* report, int count) {
  WritePictureRows(report, count);
  std::fputs("</BODY></HTML>", report);
}

void WriteRecordReport(FILE* report, const RecordAnalysis& record) {
  const std::vector<RecordPly>& plies = record.plies;
  const std::vector<PositionFigures>& figures = record.figures;
  const std::vector<PositionFigures>& second = record.second_figures;
  std::fprintf(report, "<img src=%s><br>\n", kRecordChartPath);
  std::fputs(record.terms ? "<TABLE border=1><TR><TH>ply</TH><TH>move</TH><TH>material</TH>"
                           "<TH>KKP</TH><TH>KPP</TH><TH>value</TH>"
                         : "<TABLE border=1><TR><TH>ply</TH><TH>move</TH><TH>material</TH>"
                           "<TH>value</TH>",
             report);
  std::fputs(record.comparing ? "<TH>second</TH><TH>change</TH></TR>\n" : "</TR>\n", report);
  for (size_t i = 0; i < plies.size() && i < figures.size(); ++i) {
    const PositionFigures& f = figures[i];
    const std::string move = plies[i].has_move ? CsaMoveText(plies[i].move) : "";
    if (record.terms) {
      std::fprintf(report, "<TR><TD>%d</TD><TD>%s</TD><TD>%+d</TD><TD>%+d</TD><TD>%+d</TD><TD>%+d</TD>",
                   plies[i].ply, move.c_str(), f.material * kFvScale, f.kkp_sum, f.kpp_sum,
                   f.value);
    } else {
      std::fprintf(report, "<TR><TD>%d</TD><TD>%s</TD><TD>%+d</TD><TD>%+d</TD>", plies[i].ply,
                   move.c_str(), f.material * kFvScale, f.value);
    }
    if (record.comparing && i < second.size()) {
      std::fprintf(report, "<TD>%+d</TD><TD>%+d</TD>", second[i].value, second[i].value - f.value);
    }
    std::fputs("</TR>\n", report);
  }
  std::fputs("</TABLE>\n", report);
  if (record.comparing) {
    std::fputs("<pre>\n", report);
    WriteRecordRanking(report, record);
    std::fputs("</pre>\n", report);
  }
  std::fputs("</BODY></HTML>", report);
}

void WriteReportBody(FILE* report, const RunFacts& facts, const LeafAnalysis& leaf) {
  if (leaf.reached < LeafStage::kLine) return;
  WriteReportPv(report, leaf.pv, facts.utf8, leaf.with_pieces);
  if (leaf.reached < LeafStage::kBreakdown) return;
  const bool network = leaf.breakdown.kind == EvalKind::kNetwork;
  if (leaf.comparing) {
    WriteReportComparison(report, leaf.comparison, facts.fv, facts.compare_fv);
  } else if (network) {
    WriteReportNetwork(report, leaf.breakdown.network);
  } else if (leaf.breakdown.kind == EvalKind::kKppt) {
    WriteReportKppt(report, leaf.breakdown.kppt, facts.utf8);
  } else {
    WriteReportLeaf(report, leaf.breakdown.table, facts.utf8);
  }
  if (leaf.reached < LeafStage::kDone) return;
  WriteReportPictures(report, leaf.comparing ? leaf.comparison.ranking.count
                              : network      ? leaf.ranking.count
                                             : kRankingLength);
}

void WriteReportBody(FILE* report, const RunFacts&, const RecordAnalysis& record) {
  if (record.done) WriteRecordReport(report, record);
}

void WriteReportBody(FILE* report, const RunFacts&, const ScanAnalysis& scan) {
  if (!scan.done) return;
  WriteReportPictures(report, scan.kppt        ? scan.kppt_scan.ranking.count
                              : scan.comparing ? scan.comparison.ranking.count
                                               : kRankingLength);
}


void WriteReportBody(FILE* report, const RunFacts&, const CorpusAnalysis& corpus) {
  if (!corpus.done) return;
  const CorpusPartial& found = corpus.found;
  std::fprintf(report, "games=%lld positions=%lld refused=%lld<br>\n",
               static_cast<long long>(found.games), static_cast<long long>(found.positions),
               static_cast<long long>(found.refused.size()));
  const WinFit& fit = corpus.first.fit;
  if (fit.converged) {
    std::fprintf(report, "fit: a=%.1f b=%.1f cross_entropy=%.6f<br>\n", fit.a, fit.b,
                 fit.cross_entropy);
  } else {
    std::fputs("fit: none<br>\n", report);
  }
  std::fprintf(report, "<img src=%s><br>\n", kCorpusChartPath);
  if (corpus.score.records > 0) {
    const ScoreFigures& f = corpus.score;
    std::fprintf(report,
                 "score: records=%lld correlation=%.4f slope=%.4f cross-entropy=%.4f<br>\n"
                 "<img src=%s><br>\n",
                 static_cast<long long>(f.records), f.correlation, f.slope, f.cross_entropy,
                 kScorePicturePath);
  }
  if (corpus.with_features) {
    std::fprintf(report, "network inputs active=%lld of %d<br>\n<img src=%s width=640><br>\n",
                 static_cast<long long>(corpus.features.active), kNetworkInputs,
                 kCoveragePicturePath);
    WritePictureRows(report, corpus.features.count);
  }
  if (corpus.with_activations) {
    std::fprintf(report, "activations over %lld positions:<br>\n",
                 static_cast<long long>(corpus.activations.positions));
    for (int l = 0; l < kActivationLayers; ++l) {
      std::fprintf(report, "<img src=%s><br>\n", ActivationPicturePath(l).c_str());
    }
    std::fprintf(report, "<img src=%s><br>\n", kActivationHistogramPath);
  }
  if (!corpus.with_usage) {
    std::fputs("</BODY></HTML>", report);
    return;
  }
  std::fprintf(report, "<img src=%s width=640><br>\n", kCoveragePicturePath);
  WritePictureRows(report, corpus.comparing ? corpus.usage.changes.count
                                            : corpus.usage.ranking.count);
  WriteReportPull(report, corpus.usage.pull, corpus.usage.kppt);
  std::fputs("</BODY></HTML>", report);
}

void WriteReportBody(FILE* report, const RunFacts& facts, const MapAnalysis& map) {
  if (!map.done) return;
  std::fputs("<pre>\n", report);
  WriteRunText(report, facts, map);
  std::fprintf(report, "</pre>\n<img src=%s><br>\n</BODY></HTML>", kMapPicturePath);
}

void WriteReportBody(FILE* report, const RunFacts& facts, const CensusAnalysis& census) {
  if (!census.done) return;
  std::fputs("<pre>\n", report);
  WriteRunText(report, facts, census);
  std::fprintf(report, "</pre>\n<img src=%s><br>\n", kCensusPicturePath);
  if (census.kind == EvalKind::kNetwork) WritePictureRows(report, MovedRanking(census.network).count);
  std::fputs("</BODY></HTML>", report);
}

void WriteReportBody(FILE* report, const RunFacts& facts, const SquaresAnalysis& squares) {
  if (!squares.done) return;
  std::fputs("<pre>\n", report);
  WriteRunText(report, facts, squares);
  std::fprintf(report, "</pre>\n<img src=%s><br>\n</BODY></HTML>", kSquaresPicturePath);
}
}  // namespace fvscope
