#include "report/console.h"

#include "report/kppt_text.h"
#include "report/texts.h"
#include "shogi/board_text.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"
#include "shogi/place_name.h"

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

void WriteKpptText(FILE* out, const KpptBreakdown& b, const Ranking& ranking, bool utf8) {
  std::fprintf(out, "KPPT: value = %d  %s  identity 0x%016llx  %s to move\n", b.value,
               KpptLayoutName(b.layout), static_cast<unsigned long long>(b.identity),
               SideName(Side(b.to_move)));
  std::fprintf(out, "KPPT: %-10s %10s %10s %10s\n", "", "board", "turn", "sum");
  const struct {
    const char* name;
    KpptShown shown;
  } rows[] = {{"KK", ShownKk(b)},           {"KKP", ShownKkp(b)},
              {"KPP black", ShownKpp(b, kBlack)}, {"KPP white", ShownKpp(b, kWhite)},
              {"material", ShownMaterial(b)}, {"total", ShownTotal(b)}};
  for (const auto& row : rows) {
    std::fprintf(out, "KPPT: %-10s %10lld %10lld %10lld\n", row.name,
                 static_cast<long long>(row.shown.board), static_cast<long long>(row.shown.turn),
                 static_cast<long long>(row.shown.sum));
  }
  WriteTallyLines(out, b.tally, utf8, "\n", true);
  WriteRankingText(out, ranking);
}

void WriteScanText(FILE* out, const TableScan& scan) {
  std::fprintf(out, "rnum = %d\n", scan.count);
  WriteRankingText(out, scan.ranking);
}

void WriteRecordText(FILE* out, const RecordAnalysis& record) {
  const std::vector<RecordPly>& plies = record.plies;
  const std::vector<PositionFigures>& figures = record.figures;
  const std::vector<PositionFigures>& second = record.second_figures;
  // A network has no KKP or KPP sums: its table has no such columns.
  if (record.terms) {
    std::fprintf(out, "%4s  %-7s %10s %10s %10s %7s", "ply", "move", "material", "kkp", "kpp",
                 "value");
  } else {
    std::fprintf(out, "%4s  %-7s %10s %7s", "ply", "move", "material", "value");
  }
  std::fputs(record.comparing ? "  second  change\n" : "\n", out);
  for (size_t i = 0; i < plies.size() && i < figures.size(); ++i) {
    const RecordPly& ply = plies[i];
    const PositionFigures& f = figures[i];
    const std::string move = ply.has_move ? CsaMoveText(ply.move) : "*";
    if (record.terms) {
      std::fprintf(out, "%4d  %-7s %10d %10d %10d %7d", ply.ply, move.c_str(),
                   f.material * kFvScale, f.kkp_sum, f.kpp_sum, f.value);
    } else {
      std::fprintf(out, "%4d  %-7s %10d %7d", ply.ply, move.c_str(), f.material * kFvScale,
                   f.value);
    }
    if (record.comparing && i < second.size()) {
      std::fprintf(out, " %7d %+7d", second[i].value, second[i].value - f.value);
    }
    std::fputc('\n', out);
  }
  if (record.comparing) WriteRecordRanking(out, record);
}

void WriteRecordRanking(FILE* out, const RecordAnalysis& record) {
  const std::vector<RecordPly>& plies = record.plies;
  const std::vector<PositionFigures>& figures = record.figures;
  const std::vector<PositionFigures>& second = record.second_figures;
  std::fputs("RANKING OF CHANGES ALONG THE GAME:\n", out);
  int rank = 0;
  for (int32_t i : record.change_ranking) {
    const RecordPly& ply = plies[i];
    const double before = figures[i].value, after = second[i].value;
    std::fprintf(out, "%d: ply = %d  change = %+.1f  before = %+.1f  after = %+.1f  %s\n", ++rank,
                 ply.ply, after - before, before, after,
                 ply.has_move ? UsiMoveText(ply.move).c_str() : "*");
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
  if (comparison.terms) {
    WriteFigureRow(out, "KKP", b.kkp_sum, a.kkp_sum);
    WriteFigureRow(out, "KPP", b.kpp_sum, a.kpp_sum);
  }
  WriteFigureRow(out, "material", b.material, a.material);
  WriteFigureRow(out, "value", b.value, a.value);
  if (comparison.terms) WriteChangeRanking(out, comparison.ranking);
}

std::string InputName(int cell, int code) {
  if (cell < 0) return "none";
  if (IsSquare(cell)) return CellName(cell, code);
  return CellName(cell, 0) + std::to_string(code);
}

std::string FeatureUseName(const FeatureUseEntry& e) {
  const int king = SquareOfFeatureSquare(e.king);
  int cell = -1, code = 0;
  DecodePieceFeature(e.feature, &cell, &code);
  return "[" + CellName(king, kKing) + "]-[" + InputName(cell, code) + "]";
}

void WriteFeatureUseText(FILE* out, const FeatureUseSummary& use) {
  std::fputs("FEATURE USE:\n", out);
  std::fprintf(out, "views = %lld  inputs active = %lld of %d (%.3f%%)\n",
               static_cast<long long>(use.views), static_cast<long long>(use.active),
               kNetworkInputs, 100.0 * use.active / kNetworkInputs);
  std::fputs("RANKING OF FEATURE USE:\n", out);
  for (int r = 0; r < use.count; ++r) {
    std::fprintf(out, "%d: views = %lld  %s\n", r + 1,
                 static_cast<long long>(use.ranking[r].views), FeatureUseName(use.ranking[r]).c_str());
  }
}

std::string NeuronList(const std::vector<int32_t>& neurons) {
  if (neurons.empty()) return "none";
  std::string text;
  for (int32_t j : neurons) text += (text.empty() ? "" : " ") + std::to_string(j);
  return text;
}

void WriteActivationsText(FILE* out, const Activations& a) {
  std::fputs("ACTIVATIONS:\n", out);
  std::fprintf(out, "positions = %lld  shape = %d/%d/%d\n", static_cast<long long>(a.positions),
               a.widths[0], a.widths[1], a.widths[2]);
  for (int l = 0; l < kActivationLayers; ++l) {
    const uint64_t outputs = LayerOutputs(a, l);
    const LayerActivitySummary s = SummarizeLayerActivity(a, l);
    const NeuronActivity& t = s.total;
    const double all = static_cast<double>(outputs) * a.widths[l];
    const auto share = [&](uint64_t c) { return all > 0 ? 100.0 * c / all : 0.0; };
    std::fprintf(out,
                 "%s: neurons = %d  outputs each = %llu  at 0 = %.2f%%  between = %.2f%%  "
                 "at 127 = %.2f%%  mean = %.2f  dead = %zu  saturated = %zu\n",
                 ActivationLayerName(l), a.widths[l], static_cast<unsigned long long>(outputs),
                 share(t.zero), share(t.between), share(t.max), all > 0 ? t.sum / all : 0.0,
                 s.dead.size(), s.saturated.size());
    std::fprintf(out, "%s dead: %s\n", ActivationLayerName(l), NeuronList(s.dead).c_str());
    std::fprintf(out, "%s saturated: %s\n", ActivationLayerName(l), NeuronList(s.saturated).c_str());
  }
  std::fputs("TRANSFORMER BEFORE THE CLAMP:\n", out);
  for (int b = 0; b < kPreClampBins; ++b) {
    std::fprintf(out, "%s: %llu\n", PreClampBinText(b).c_str(),
                 static_cast<unsigned long long>(a.histogram[b]));
  }
}

void WriteNetworkText(FILE* out, const NetworkBreakdown& n, const Ranking& ranking) {
  std::fprintf(out, "NETWORK: value = %d  z = %d  scale = %d  shape = %d/%d/%d  %s to move\n",
               n.value, n.z, n.scale, n.shape.w, n.shape.h1, n.shape.h2, SideName(n.to_move));
  const struct {
    const char* name;
    const ClampCounts& counts;
  } layers[] = {{"accumulator black", n.accumulators[kBlack]},
                {"accumulator white", n.accumulators[kWhite]},
                {"layer1", n.hidden[0]},
                {"layer2", n.hidden[1]}};
  for (const auto& layer : layers) {
    std::fprintf(out, "NETWORK: %s: zero = %d  between = %d  max = %d\n", layer.name,
                 layer.counts.zero, layer.counts.between, layer.counts.max);
  }
  std::fputs("RANKING OF FEATURES:\n", out);
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    std::fprintf(out, "%d: change = %+d  [%s]-[%s]\n", r + 1, t.value,
                 CellName(t.king, t.king_code).c_str(), InputName(t.cell_a, t.code_a).c_str());
  }
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

std::string PullText(int64_t pull) {
  char text[40];
  std::snprintf(text, sizeof text, "%+.1f", static_cast<double>(pull) * kPullUnit);
  return text;
}

std::string PullFigureText(double sum) {
  char text[40];
  if (sum >= 999999.5) {
    std::snprintf(text, sizeof text, "%.0fk", sum / 1000);
  } else {
    std::snprintf(text, sizeof text, sum >= 999.95 ? "%.0f" : sum >= 9.995 ? "%.1f" : "%.2f", sum);
  }
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

std::string TermNames(const RankedTerm& t) {
  return "[" + CellName(t.king, t.king_code) + "]-[" + CellName(t.cell_a, t.code_a) + "]-[" +
         CellName(t.cell_b, t.code_b) + "]";
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
  } else if (leaf.breakdown.kind == EvalKind::kNetwork) {
    WriteNetworkText(out, leaf.breakdown.network, leaf.ranking);
  } else if (leaf.breakdown.kind == EvalKind::kKppt) {
    WriteKpptText(out, leaf.breakdown.kppt, leaf.ranking, facts.utf8);
  } else {
    WriteLeafText(out, leaf.breakdown.table, leaf.ranking, facts.utf8);
  }
  if (leaf.reached < LeafStage::kDone || !leaf.with_pieces) return;
  WritePiecesText(out, leaf.pieces, leaf.comparing ? &leaf.pieces_after : nullptr);
  if (SharesOfNetwork(leaf)) {
    std::fputs("(a network's shares need not add up to its value)\n", out);
  }
}

void WriteRunText(FILE* out, const RunFacts&, const RecordAnalysis& record) {
  if (record.done) WriteRecordText(out, record);
}

void WriteRunText(FILE* out, const RunFacts&, const ScanAnalysis& scan) {
  if (!scan.done) return;
  if (scan.kppt) {
    WriteKpptScanText(out, scan.kppt_scan);
  } else if (scan.comparing) {
    WriteScanComparisonText(out, scan.comparison);
  } else {
    WriteScanText(out, scan.scan);
  }
}


namespace {

void WriteFitLine(FILE* out, const char* prefix, const WinFit& fit) {
  if (!fit.converged) {
    std::fprintf(out, "%sfit: none\n", prefix);
    return;
  }
  std::fprintf(out, "%sfit: a = %.1f  b = %.1f  cross_entropy = %.6f  positions = %lld\n", prefix,
               fit.a, fit.b, fit.cross_entropy, static_cast<long long>(fit.positions));
}

// An entry's value in a use line: "value = V" (a KPPT set's board part, its
// turn part beside: "value = V  turn = T"); with changes before and after.
std::string UseValueText(const UseRankEntry& e, bool changes) {
  char text[96];
  if (changes && e.kppt) {
    std::snprintf(text, sizeof text, "before = %d  after = %d  turn before = %d  turn after = %d",
                  e.value, e.after, e.turn, e.after_turn);
  } else if (changes) {
    std::snprintf(text, sizeof text, "before = %d  after = %d", e.value, e.after);
  } else if (e.kppt) {
    std::snprintf(text, sizeof text, "value = %d  turn = %d", e.value, e.turn);
  } else {
    std::snprintf(text, sizeof text, "value = %d", e.value);
  }
  return text;
}

void WritePullLine(FILE* out, const char* prefix, const PullFigures& pull) {
  std::fprintf(out, "%spull: total = %.3f  entries = %lld\n", prefix, pull.total,
               static_cast<long long>(pull.entries));
}

void WriteScoreLine(FILE* out, const char* prefix, const ScoreFigures& f) {
  std::fprintf(out,
               "%sscore: records = %lld  correlation = %.4f  slope = %.4f  cross-entropy = %.4f\n",
               prefix, static_cast<long long>(f.records), f.correlation, f.slope,
               f.cross_entropy);
}

void WriteScaleLine(FILE* out, const char* prefix, int32_t scale, const CorpusFileFigures& f) {
  if (f.scale_known) {
    std::fprintf(out, "%sscale %d: cross_entropy = %.6f\n", prefix, scale, f.scale_cross_entropy);
  } else {
    std::fprintf(out, "%sscale %d: none\n", prefix, scale);
  }
}

}  // namespace

void WriteRunText(FILE* out, const RunFacts&, const CorpusAnalysis& corpus) {
  if (!corpus.done) return;
  const CorpusPartial& found = corpus.found;
  std::fprintf(out, "games = %lld  positions = %lld  refused = %lld\n",
               static_cast<long long>(found.games), static_cast<long long>(found.positions),
               static_cast<long long>(found.refused.size()));
  if (!found.packed.empty()) {
    int64_t records = 0;
    for (const PackedFileCounts& f : found.packed) records += f.evaluated;
    std::fprintf(out, "records = %lld  refused records = %lld\n", static_cast<long long>(records),
                 static_cast<long long>(RefusedRecords(found)));
    for (const PackedFileCounts& f : found.packed) {
      std::fprintf(out, "%s: records = %lld  refused records = %lld  left out = %lld\n",
                   f.path.c_str(), static_cast<long long>(f.evaluated),
                   static_cast<long long>(f.refused), static_cast<long long>(f.left_out));
    }
  }
  const ResultCounts& r = found.results;
  std::fprintf(out, "results: black = %lld  white = %lld  draw = %lld  unknown = %lld\n",
               static_cast<long long>(r.black), static_cast<long long>(r.white),
               static_cast<long long>(r.draw), static_cast<long long>(r.unknown));
  WriteFitLine(out, "", corpus.first.fit);
  WriteScaleLine(out, "", corpus.scale, corpus.first);
  std::fputs("CALIBRATION:\n", out);
  for (const CalibrationBucket& b : corpus.first.calibration) {
    std::fprintf(out, "%6d %6d  positions = %lld  black = %lld  white = %lld  draw = %lld\n",
                 b.from, b.to, static_cast<long long>(b.positions),
                 static_cast<long long>(b.counts.black), static_cast<long long>(b.counts.white),
                 static_cast<long long>(b.counts.draw));
  }
  if (corpus.comparing) {
    WriteFitLine(out, "compare: ", corpus.second.fit);
    WriteScaleLine(out, "compare: ", corpus.scale, corpus.second);
  }
  if (corpus.score.records > 0) {
    std::fputs("SCORE:\n", out);
    WriteScoreLine(out, "", corpus.score);
    if (corpus.comparing) WriteScoreLine(out, "compare: ", corpus.compare_score);
  }
  if (corpus.with_features) WriteFeatureUseText(out, corpus.features);
  if (corpus.with_activations) WriteActivationsText(out, corpus.activations);
  if (!corpus.with_usage) return;
  const UseSummary& usage = corpus.usage;
  std::fputs("USAGE:\n", out);
  std::fprintf(out, "kpp: %lld of %lld entries read (%.3f%%)\n",
               static_cast<long long>(usage.kpp_read), static_cast<long long>(usage.kpp_entries),
               100.0 * usage.kpp_read / usage.kpp_entries);
  std::fprintf(out, "kkp: %lld of %lld entries read (%.3f%%)\n",
               static_cast<long long>(usage.kkp_read), static_cast<long long>(usage.kkp_entries),
               100.0 * usage.kkp_read / usage.kkp_entries);
  std::fputs("RANKING OF USE:\n", out);
  for (int i = 0; i < usage.ranking.count; ++i) {
    const UseRankEntry& e = usage.ranking.entries[i];
    std::fprintf(out, "%d: contribution = %+lld  reads = %lld  %s  %s\n", i + 1,
                 static_cast<long long>(e.contribution),
                 static_cast<long long>(e.black_reads) + e.white_reads,
                 UseValueText(e, false).c_str(), TermNames(UseTerm(e, e.value)).c_str());
  }
  if (corpus.comparing) {
    std::fputs("RANKING OF CHANGES IN USE:\n", out);
    for (int i = 0; i < usage.changes.count; ++i) {
      const UseRankEntry& e = usage.changes.entries[i];
      std::fprintf(out, "%d: change = %+lld  reads = %lld  %s  %s\n", i + 1,
                   static_cast<long long>(e.contribution),
                   static_cast<long long>(e.black_reads) + e.white_reads,
                   UseValueText(e, true).c_str(), TermNames(UseTerm(e, e.value)).c_str());
    }
  }
  std::fputs("PULL:\n", out);
  WritePullLine(out, "", usage.pull);
  if (corpus.comparing) WritePullLine(out, "compare: ", usage.second_pull);
  std::fputs("RANKING OF PULL:\n", out);
  for (int i = 0; i < usage.pull.ranking.count; ++i) {
    const UseRankEntry& e = usage.pull.ranking.entries[i];
    const int64_t reads = int64_t{e.black_reads} + e.white_reads;
    const double pull = static_cast<double>(e.contribution) * kPullUnit;
    std::fprintf(out, "%d: pull = %+.3f  reads = %lld  mean = %+.4f  %s  %s\n", i + 1, pull,
                 static_cast<long long>(reads), pull / static_cast<double>(reads),
                 UseValueText(e, false).c_str(), TermNames(UseTerm(e, e.value)).c_str());
  }
}

namespace {

// One value of a network's map: a weight, or a magnitude to a tenth.
void WriteNeuronValue(FILE* out, const NetworkMap& map, bool first, double value) {
  if (map.neuron >= 0) {
    std::fprintf(out, first ? "%6d" : " %6d", static_cast<int>(value));
  } else {
    std::fprintf(out, first ? "%6.1f" : " %6.1f", value);
  }
}

void WriteNetworkMap(FILE* out, const NetworkMap& map) {
  if (map.neuron >= 0) {
    std::fprintf(out, "MAP: %s (network, neuron %d)\n", PlaceName(map.king).c_str(), map.neuron);
  } else {
    std::fprintf(out, "MAP: %s (network, |weights|)\n", PlaceName(map.king).c_str());
  }
  for (int g = 0; g < map.grid_count; ++g) {
    const NeuronGrid& grid = map.grids[g];
    std::fprintf(out, "%s\n", NeuronGridName(grid).c_str());
    for (int row = 0; row < kRanks; ++row) {
      for (int column = 0; column < kFiles; ++column) {
        const int s = row * kFiles + column;
        if (grid.present[s]) {
          WriteNeuronValue(out, map, column == 0, grid.values[s]);
        } else {
          std::fprintf(out, column == 0 ? "%6s" : " %6s", ".");
        }
      }
      std::fputc('\n', out);
    }
  }
  for (int h = 0; h < map.hand_count; ++h) {
    const NeuronHand& hand = map.hands[h];
    std::fprintf(out, "%s:", NeuronHandName(hand).c_str());
    for (int c = 0; c < hand.counts; ++c) WriteNeuronValue(out, map, false, hand.values[c]);
    std::fputc('\n', out);
  }
}

}  // namespace

void WriteMapBody(FILE* out, const TableMap& map) {
  for (int g = 0; g < map.grid_count; ++g) {
    const MapGrid& grid = map.grids[g];
    std::fprintf(out, "%s\n", MapGridName(grid).c_str());
    for (int row = 0; row < kRanks; ++row) {
      for (int column = 0; column < kFiles; ++column) {
        const int s = row * kFiles + column;
        if (grid.present[s]) {
          std::fprintf(out, column == 0 ? "%6d" : " %6d", grid.values[s]);
        } else {
          std::fprintf(out, column == 0 ? "%6s" : " %6s", ".");
        }
      }
      std::fputc('\n', out);
    }
  }
  for (int h = 0; h < map.hand_count; ++h) {
    const MapHand& hand = map.hands[h];
    std::fprintf(out, "%s:", MapHandName(hand).c_str());
    for (int c = 0; c < hand.counts; ++c) {
      if (hand.present[c]) {
        std::fprintf(out, " %d", hand.values[c]);
      } else {
        std::fputs(" .", out);
      }
    }
    std::fputc('\n', out);
  }
}

void WriteRunText(FILE* out, const RunFacts&, const MapAnalysis& analysis) {
  if (!analysis.done) return;
  if (analysis.kind == EvalKind::kNetwork) {
    WriteNetworkMap(out, analysis.network);
    return;
  }
  if (analysis.kind == EvalKind::kKppt) {
    WriteKpptMapText(out, analysis.kppt);
    return;
  }
  const TableMap& map = analysis.map;
  std::fprintf(out, "MAP: %s %s (%s)\n", PlaceName(map.request.king).c_str(),
               PlaceName(map.request.piece).c_str(), map.kkp ? "kkp" : "kpp");
  WriteMapBody(out, map);
}

namespace {

void WriteCensusLine(FILE* out, const std::string& head, const CensusCounts& kpp,
                     const CensusCounts& kkp, const CensusChange* kpp_change,
                     const CensusChange* kkp_change) {
  std::fprintf(out,
               "%s  kpp nonzero = %lld  mean = %.2f  max = %d  saturated = %lld  kkp nonzero = "
               "%lld  mean = %.2f  max = %d  saturated = %lld",
               head.c_str(), static_cast<long long>(kpp.nonzero), CensusMean(kpp), kpp.largest,
               static_cast<long long>(kpp.saturated), static_cast<long long>(kkp.nonzero),
               CensusMean(kkp), kkp.largest, static_cast<long long>(kkp.saturated));
  if (kpp_change != nullptr) {
    std::fprintf(out, "  kpp changed = %lld  mean change = %.2f  kkp changed = %lld  mean change = %.2f",
                 static_cast<long long>(kpp_change->changed),
                 CensusChangeMean(*kpp_change, kpp.entries),
                 static_cast<long long>(kkp_change->changed),
                 CensusChangeMean(*kkp_change, kkp.entries));
  }
  std::fputc('\n', out);
}

}  // namespace

namespace {

void WriteValueFigures(FILE* out, const char* what, const ValueFigures& f) {
  std::fprintf(out, "  %s count = %lld  min = %lld  max = %lld  mean = %.3f  sd = %.3f  zeros = %.2f%%",
               what, static_cast<long long>(f.count), static_cast<long long>(f.minimum),
               static_cast<long long>(f.maximum), f.mean, f.deviation, 100 * f.zero_share);
}

void WriteNeurons(FILE* out, const std::vector<int32_t>& neurons) {
  if (neurons.empty()) std::fputs(" -", out);
  for (int32_t n : neurons) std::fprintf(out, " %d", n);
}

// A network's census: its layers (and their change), its king squares, its
// dead neurons and the inputs that moved most.
void WriteNetworkCensus(FILE* out, const NetworkCensus& c) {
  std::fprintf(out, "CENSUS: network %d/%d/%d\n", c.shape.w, c.shape.h1, c.shape.h2);
  for (int pass = 0; pass < (c.compared ? 2 : 1); ++pass) {
    const LayerFigures* layers = pass == 0 ? c.layers : c.changes;
    for (int l = 0; l < kNetworkLayers; ++l) {
      std::fprintf(out, "%s%s", pass == 0 ? "" : "change ", kNetworkLayerNames[l]);
      WriteValueFigures(out, "weights", layers[l].weights);
      WriteValueFigures(out, "biases", layers[l].biases);
      std::fputc('\n', out);
    }
  }
  for (int s = 0; s < kSquares; ++s) {
    const int k = FeatureSquare(s);
    std::fprintf(out, "%2d  %d%d  mean |weight| = %.3f  untrained = %d", s, FileOf(s), RankOf(s),
                 c.king_magnitude[k], c.king_untrained[k]);
    if (c.compared) std::fprintf(out, "  mean |change| = %.3f", c.king_change[k]);
    std::fputc('\n', out);
  }
  std::fputs("DEAD: layer1 =", out);
  WriteNeurons(out, c.dead[0]);
  std::fputs("  layer2 =", out);
  WriteNeurons(out, c.dead[1]);
  std::fputc('\n', out);
  if (!c.compared) return;
  std::fputs("RANKING OF MOVED INPUTS:\n", out);
  const Ranking moved = MovedRanking(c);
  for (int r = 0; r < moved.count; ++r) {
    std::fprintf(out, "%d: moved = %lld  feature = %d  %s\n", r + 1,
                 static_cast<long long>(c.moved[r].moved), c.moved[r].feature,
                 TermNames(moved.terms[r]).c_str());
  }
}

}  // namespace

void WriteRunText(FILE* out, const RunFacts&, const CensusAnalysis& analysis) {
  if (!analysis.done) return;
  if (analysis.kind == EvalKind::kNetwork) {
    WriteNetworkCensus(out, analysis.network);
    return;
  }
  if (analysis.kind == EvalKind::kKppt) {
    WriteKpptCensusText(out, analysis.kppt);
    return;
  }
  const TableCensus& c = analysis.census;
  std::fputs("CENSUS:\n", out);
  for (int k = 0; k < kSquares; ++k) {
    char head[16];
    std::snprintf(head, sizeof head, "%2d  %d%d", k, FileOf(k), RankOf(k));
    WriteCensusLine(out, head, c.kpp[k], c.kkp[k], c.compared ? &c.kpp_change[k] : nullptr,
                    c.compared ? &c.kkp_change[k] : nullptr);
  }
  WriteCensusLine(out, "total", c.kpp_total, c.kkp_total, c.compared ? &c.kpp_change_total : nullptr,
                  c.compared ? &c.kkp_change_total : nullptr);
}

void WriteRunText(FILE* out, const RunFacts&, const SquaresAnalysis& analysis) {
  if (!analysis.done) return;
  const PieceSquares& q = analysis.squares;
  std::fprintf(out, "SQUARES: %s value = %d  %s to move  squares = %d\n",
               SquaresPieceName(q.piece).c_str(), q.value, SideName(analysis.to_move), q.count);
  for (int i = 0; i < q.count && i < 10; ++i) {
    const SquareValue& e = q.ranked[i];
    std::fprintf(out, "%d: %d%d  value = %d  change = %+d\n", i + 1, FileOf(e.square),
                 RankOf(e.square), e.value, e.change);
  }
}
}  // namespace fvscope
