#include "report/console.h"

#include "report/texts.h"
#include "shogi/board_text.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"

namespace fvscope {

void WritePvText(FILE* out, const PvLine& pv, const Position& leaf) {
  std::fputs("\nPV=", out);
  for (int n = 0; n < pv.count; ++n) std::fprintf(out, "%s\n", CsaMoveText(pv.moves[n]).c_str());
  std::fputs("\n\n", out);
  PrintPosition(leaf, out);
}

void WriteLeafText(FILE* out, const LeafBreakdown& breakdown, const Ranking& ranking,
                   bool utf8) {
  std::fprintf(out, "KKP=%d\n", breakdown.kkp_sum);
  std::fprintf(out, "KPP=%d\n", breakdown.kpp_sum / kFvScale);
  WriteTallyLines(out, breakdown.tally, utf8, "\n", true);
  WriteRankingText(out, ranking);
}

void WriteScanText(FILE* out, const TableScan& scan) {
  std::fprintf(out, "rnum = %d\n", scan.count);
  WriteRankingText(out, scan.ranking);
}

void WriteRecordText(FILE* out, const std::vector<RecordPly>& plies,
                     const std::vector<PositionFigures>& figures) {
  std::fprintf(out, "%4s  %-7s %10s %10s %10s %7s\n", "ply", "move", "material", "kkp", "kpp",
               "value");
  for (size_t i = 0; i < plies.size() && i < figures.size(); ++i) {
    const RecordPly& ply = plies[i];
    const PositionFigures& f = figures[i];
    std::fprintf(out, "%4d  %-7s %10d %10d %10d %7d\n", ply.ply,
                 ply.has_move ? CsaMoveText(ply.move).c_str() : "*", f.material * kFvScale,
                 f.kkp_sum, f.kpp_sum, f.value);
  }
}

namespace {

void WriteChangeRanking(FILE* out, const Ranking& ranking) {
  std::fputs("RANKING OF CHANGES:\n", out);
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    std::fprintf(out, "%d: change = %+d  before = %d  after = %d  [%s]-[%s]-[%s]\n", r + 1,
                 t.value, t.before, t.after, CellName(t.king, t.king_code).c_str(),
                 CellName(t.cell_a, t.code_a).c_str(), CellName(t.cell_b, t.code_b).c_str());
  }
}

void WriteFigureRow(FILE* out, const char* name, int32_t before, int32_t after) {
  std::fprintf(out, "%-8s %10d %10d %+10d\n", name, before, after, after - before);
}

}  // namespace

void WriteTallyLines(FILE* out, const TermTally& tally, bool utf8, const char* line_end,
                     bool distribution_line) {
  const struct {
    TextId count_text;
    int32_t count, sum;
    const int32_t* histogram;
  } sides[] = {{kTextBlackTally, tally.black_count, tally.black_sum, tally.black_histogram},
               {kTextWhiteTally, tally.white_count, tally.white_sum, tally.white_histogram}};
  const char* bucket_format = JapaneseText(kTextBucket, utf8);
  for (const auto& side : sides) {
    std::fprintf(out, JapaneseText(side.count_text, utf8), side.count, side.sum / kFvScale);
    std::fputs(line_end, out);
    if (distribution_line) std::fprintf(out, "%s%s", JapaneseText(kTextDistribution, utf8), line_end);
    for (int k = 0; k < kHistogramBuckets; ++k) {
      const int low = kPointsPerBucket * k;
      std::fprintf(out, bucket_format, low, low + kPointsPerBucket, side.histogram[k]);
      std::fputs(line_end, out);
    }
  }
}

void WriteComparisonText(FILE* out, const LeafComparison& comparison) {
  const PositionFigures& b = comparison.before;
  const PositionFigures& a = comparison.after;
  std::fprintf(out, "%-8s %10s %10s %10s\n", "", "before", "after", "change");
  WriteFigureRow(out, "KKP", b.kkp_sum, a.kkp_sum);
  WriteFigureRow(out, "KPP", b.kpp_sum, a.kpp_sum);
  WriteFigureRow(out, "material", b.material, a.material);
  WriteFigureRow(out, "value", b.value, a.value);
  WriteChangeRanking(out, comparison.ranking);
}

void WriteScanComparisonText(FILE* out, const ScanComparison& comparison) {
  std::fprintf(out, "changed = %d\n", comparison.changed);
  WriteChangeRanking(out, comparison.ranking);
}

std::string ShareText(int64_t half_units) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f", static_cast<double>(half_units) / (2.0 * kFvScale));
  return text;
}

void WritePiecesText(FILE* out, const PieceShares& shares, const PieceShares* after) {
  std::fputs("PIECES:\n", out);
  for (int i = 0; i < shares.count; ++i) {
    const PieceShare& s = shares.shares[i];
    std::fprintf(out, "%-6s %8s", CellName(s.cell, s.code).c_str(), ShareText(s.half_units).c_str());
    if (after != nullptr && i < after->count) {
      const int64_t a = after->shares[i].half_units;
      std::fprintf(out, " %8s %8s", ShareText(a).c_str(), ShareText(a - s.half_units).c_str());
    }
    std::fputc('\n', out);
  }
}

void WriteRankingText(FILE* out, const Ranking& ranking) {
  std::fputs("RANKING:\n", out);
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    std::fprintf(out, "%d: value = %d  [%s]-[%s]-[%s]\n", r + 1, t.value,
                 CellName(t.king, t.king_code).c_str(), CellName(t.cell_a, t.code_a).c_str(),
                 CellName(t.cell_b, t.code_b).c_str());
  }
}

void WriteRunText(FILE* out, const RunFacts& facts, const LeafAnalysis& leaf) {
  if (leaf.reached < LeafStage::kInput) return;
  PrintPosition(leaf.input, out);
  if (leaf.reached < LeafStage::kLine) return;
  WritePvText(out, leaf.pv, leaf.leaf);
  if (leaf.reached < LeafStage::kBreakdown) return;
  if (leaf.comparing) {
    WriteComparisonText(out, leaf.comparison);
  } else {
    WriteLeafText(out, leaf.breakdown, leaf.ranking, facts.utf8);
  }
  if (leaf.reached < LeafStage::kDone || !leaf.with_pieces) return;
  WritePiecesText(out, leaf.pieces, leaf.comparing ? &leaf.pieces_after : nullptr);
}

void WriteRunText(FILE* out, const RunFacts&, const RecordAnalysis& record) {
  if (record.done) WriteRecordText(out, record.plies, record.figures);
}

void WriteRunText(FILE* out, const RunFacts&, const ScanAnalysis& scan) {
  if (!scan.done) return;
  if (scan.comparing) {
    WriteScanComparisonText(out, scan.comparison);
  } else {
    WriteScanText(out, scan.scan);
  }
}

}  // namespace fvscope
