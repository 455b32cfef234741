#include "report/kppt_text.h"

#include <string>

#include "report/console.h"
#include "shogi/cell_name.h"
#include "shogi/place_name.h"

namespace fvscope {

void WriteKpptScanText(FILE* out, const KpptScan& scan) {
  std::fprintf(out, "KPPT SCAN: king square %d (%s)  part = %s  %s = %d\n", scan.king_square,
               CellName(scan.king_square, kKing).c_str(), KpptPartName(scan.part),
               scan.compared ? "changed" : "pairs", scan.count);
  std::fputs(scan.compared ? "RANKING OF CHANGES:\n" : "RANKING:\n", out);
  for (int r = 0; r < scan.ranking.count; ++r) {
    const RankedTerm& t = scan.ranking.terms[r];
    if (scan.compared) {
      std::fprintf(out, "%d: change = %+d  before = %d  after = %d  %s\n", r + 1, t.value, t.before,
                   t.after, TermNames(t).c_str());
    } else {
      std::fprintf(out, "%d: value = %d  board = %d  turn = %d  %s\n", r + 1, t.value, t.board,
                   t.turn, TermNames(t).c_str());
    }
  }
}

void WriteKpptMapText(FILE* out, const KpptMap& map) {
  const TableMap& table = map.table;
  std::fprintf(out, "MAP: %s %s (KPPT %s, %s%s)\n", PlaceName(table.request.king).c_str(),
               PlaceName(table.request.piece).c_str(), table.kkp ? "kkp" : "kpp",
               KpptPartName(map.part), table.compared ? ", after - before" : "");
  if (table.kkp) std::fprintf(out, "KK: board = %d  turn = %d\n", map.kk.board, map.kk.turn);
  WriteMapBody(out, table);
}

namespace {

void WriteCounts(FILE* out, const char* what, const CensusCounts& c) {
  std::fprintf(out, "  %s nonzero = %lld  mean = %.2f  max = %d  saturated = %lld", what,
               static_cast<long long>(c.nonzero), CensusMean(c), c.largest,
               static_cast<long long>(c.saturated));
}

void WriteChange(FILE* out, const char* what, const CensusChange& change, int64_t entries) {
  std::fprintf(out, "  %s changed = %lld  mean change = %.2f", what,
               static_cast<long long>(change.changed), CensusChangeMean(change, entries));
}

// One line: the parts of KPP (of its parts the set has) and of KKP, and compared their changes.
void WriteCensusLine(FILE* out, const KpptCensus& census, const std::string& head,
                     const KpptCensusCell& kpp, const KpptCensusCell& kkp) {
  static const char* const kKppNames[kKpptParts] = {"kpp board", "kpp turn"};
  static const char* const kKkpNames[kKpptParts] = {"kkp board", "kkp turn"};
  std::fputs(head.c_str(), out);
  for (int p = 0; p < census.kpp_parts; ++p) WriteCounts(out, kKppNames[p], kpp.counts[p]);
  for (int p = 0; p < kKpptParts; ++p) WriteCounts(out, kKkpNames[p], kkp.counts[p]);
  if (census.compared) {
    for (int p = 0; p < census.kpp_parts; ++p) {
      WriteChange(out, kKppNames[p], kpp.change[p], kpp.counts[p].entries);
    }
    for (int p = 0; p < kKpptParts; ++p) {
      WriteChange(out, kKkpNames[p], kkp.change[p], kkp.counts[p].entries);
    }
  }
  std::fputc('\n', out);
}

}  // namespace

void WriteKpptCensusText(FILE* out, const KpptCensus& c) {
  std::fprintf(out, "CENSUS: KPPT set (%s)\n", KpptLayoutName(c.layout));
  for (int s = 0; s < kSquares; ++s) {
    char head[16];
    std::snprintf(head, sizeof head, "%2d  %d%d", s, FileOf(s), RankOf(s));
    const int k = FeatureSquare(s);
    WriteCensusLine(out, c, head, c.kpp[k], c.kkp[k]);
  }
  WriteCensusLine(out, c, "total", c.kpp_total, c.kkp_total);
  if (!c.has_kk) return;
  std::fputs("kk", out);
  WriteCounts(out, "board", c.kk.counts[0]);
  WriteCounts(out, "turn", c.kk.counts[1]);
  if (c.compared) {
    WriteChange(out, "board", c.kk.change[0], c.kk.counts[0].entries);
    WriteChange(out, "turn", c.kk.change[1], c.kk.counts[1].entries);
  }
  std::fputc('\n', out);
}

}  // namespace fvscope
