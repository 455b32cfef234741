#include "report/json_report.h"

#include <nlohmann/json.hpp>

#include "report/paths.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"

namespace fvscope {

namespace {

using Json = nlohmann::ordered_json;

Json Head(const RunFacts& facts, const char* mode) {
  return Json{{"format", "fvscope"},     {"version", kJsonVersion},
              {"mode", mode},            {"sort_mode", facts.sort_mode},
              {"fv", facts.fv},          {"warnings", facts.warnings}};
}

// A ranking of terms, or of their changes (with the term under each file).
Json RankingJson(const Ranking& ranking, bool changes) {
  Json list = Json::array();
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    Json entry = {{"rank", r + 1}};
    if (changes) {
      entry["change"] = t.value;
      entry["before"] = t.before;
      entry["after"] = t.after;
    } else {
      entry["value"] = t.value;
    }
    entry["king"] = CellName(t.king, t.king_code);
    entry["a"] = CellName(t.cell_a, t.code_a);
    entry["b"] = CellName(t.cell_b, t.code_b);
    entry["picture"] = DocumentName(RankPicturePath(r + 1));
    list.push_back(entry);
  }
  return list;
}

Json TallySideJson(int32_t count, int32_t sum, const int32_t* histogram) {
  return {{"count", count},
          {"sum", sum},
          {"histogram", std::vector<int32_t>(histogram, histogram + kHistogramBuckets)}};
}

// A share in table units: a multiple of 0.5.
Json ShareJson(int64_t half_units) { return static_cast<double>(half_units) / 2.0; }

std::string Dump(const Json& document) {
  // Texts that are not UTF-8 (none the tool makes) are replaced, not thrown.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string JsonDocument(const RunFacts& facts, const LeafAnalysis& leaf) {
  const PvLine& pv = leaf.pv;
  Json document = Head(facts, leaf.mode);
  document["input"] = {{"sfen", PositionSfen(leaf.input, pv.first_side)},
                       {"side", SideName(pv.first_side)}};
  Json moves = Json::array();
  for (int n = 0; n < pv.count; ++n) {
    const Move& move = pv.moves[n];
    moves.push_back(
        {{"side", SideName(move.side)}, {"csa", CsaMoveText(move)}, {"usi", UsiMoveText(move)}});
  }
  document["pv"] = moves;
  document["leaf"] = {{"sfen", PositionSfen(leaf.leaf, SideAfter(pv))}};
  const LeafBreakdown& breakdown = leaf.breakdown;
  document["kkp"] = breakdown.kkp_sum;
  document["kpp"] = breakdown.kpp_sum;
  document["material"] = breakdown.material;
  document["value"] = breakdown.value;
  const TermTally& t = breakdown.tally;
  document["tally"] = {{"black", TallySideJson(t.black_count, t.black_sum, t.black_histogram)},
                       {"white", TallySideJson(t.white_count, t.white_sum, t.white_histogram)}};
  if (leaf.comparing) {
    const LeafComparison& c = leaf.comparison;
    document["compare"] = {{"fv", facts.compare_fv},
                           {"kkp", {c.before.kkp_sum, c.after.kkp_sum}},
                           {"kpp", {c.before.kpp_sum, c.after.kpp_sum}},
                           {"material", {c.before.material, c.after.material}},
                           {"value", {c.before.value, c.after.value}},
                           {"ranking", RankingJson(c.ranking, true)}};
  } else {
    document["ranking"] = RankingJson(leaf.ranking, false);
  }
  if (leaf.with_pieces) {
    const PieceShares* after = leaf.comparing ? &leaf.pieces_after : nullptr;
    Json pieces = Json::array();
    for (int i = 0; i < leaf.pieces.count; ++i) {
      const PieceShare& s = leaf.pieces.shares[i];
      Json entry = {{"cell", CellName(s.cell, s.code)}, {"share", ShareJson(s.half_units)}};
      if (after != nullptr && i < after->count) {
        const int64_t share_after = after->shares[i].half_units;
        entry["share_after"] = ShareJson(share_after);
        entry["change"] = ShareJson(share_after - s.half_units);
      }
      pieces.push_back(entry);
    }
    document["pieces"] = pieces;
  }
  return Dump(document);
}

std::string JsonDocument(const RunFacts& facts, const ScanAnalysis& scan) {
  Json document = Head(facts, "scan");
  if (scan.comparing) {
    const ScanComparison& comparison = scan.comparison;
    document["king_square"] = comparison.king_square;
    document["compare"] = {{"fv", facts.compare_fv},
                           {"changed", comparison.changed},
                           {"ranking", RankingJson(comparison.ranking, true)}};
  } else {
    document["king_square"] = scan.scan.king_square;
    document["count"] = scan.scan.count;
    document["ranking"] = RankingJson(scan.scan.ranking, false);
  }
  return Dump(document);
}

std::string JsonDocument(const RunFacts& facts, const RecordAnalysis& record) {
  const std::vector<RecordPly>& plies = record.plies;
  const std::vector<PositionFigures>& figures = record.figures;
  Json document = Head(facts, "record");
  Json list = Json::array();
  for (size_t i = 0; i < plies.size() && i < figures.size(); ++i) {
    const RecordPly& ply = plies[i];
    const PositionFigures& f = figures[i];
    list.push_back({{"ply", ply.ply},
                    {"move", ply.has_move ? Json(CsaMoveText(ply.move)) : Json(nullptr)},
                    {"sfen", PositionSfen(ply.position, ply.to_move, ply.move_number)},
                    {"kkp", f.kkp_sum},
                    {"kpp", f.kpp_sum},
                    {"material", f.material},
                    {"value", f.value}});
  }
  document["plies"] = list;
  return Dump(document);
}

}  // namespace fvscope
