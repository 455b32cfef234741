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

Json RankingJson(const Ranking& ranking) {
  Json list = Json::array();
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    list.push_back({{"rank", r + 1},
                    {"value", t.value},
                    {"king", CellName(t.king, t.king_code)},
                    {"a", CellName(t.cell_a, t.code_a)},
                    {"b", CellName(t.cell_b, t.code_b)},
                    {"picture", DocumentName(RankPicturePath(r + 1))}});
  }
  return list;
}

Json TallySideJson(int32_t count, int32_t sum, const int32_t* histogram) {
  return {{"count", count},
          {"sum", sum},
          {"histogram", std::vector<int32_t>(histogram, histogram + kHistogramBuckets)}};
}

Json ChangeRankingJson(const ChangeRanking& ranking) {
  Json list = Json::array();
  for (int r = 0; r < ranking.count; ++r) {
    const ChangedTerm& t = ranking.terms[r];
    list.push_back({{"rank", r + 1},
                    {"change", t.change},
                    {"before", t.before},
                    {"after", t.after},
                    {"king", CellName(t.king, t.king_code)},
                    {"a", CellName(t.cell_a, t.code_a)},
                    {"b", CellName(t.cell_b, t.code_b)},
                    {"picture", DocumentName(RankPicturePath(r + 1))}});
  }
  return list;
}

// A share in table units: a multiple of 0.5.
Json ShareJson(int64_t half_units) { return static_cast<double>(half_units) / 2.0; }

std::string Dump(const Json& document) {
  // Texts that are not UTF-8 (none the tool makes) are replaced, not thrown.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string GameJson(const RunFacts& facts, const char* mode, const Position& input,
                     const PvLine& pv, const Position& leaf, const LeafBreakdown& breakdown,
                     const GameExtras& extras) {
  Json document = Head(facts, mode);
  document["input"] = {{"sfen", PositionSfen(input, pv.first_side)},
                       {"side", SideName(pv.first_side)}};
  Json moves = Json::array();
  for (int n = 0; n < pv.count; ++n) {
    const Move& move = pv.moves[n];
    moves.push_back(
        {{"side", SideName(move.side)}, {"csa", CsaMoveText(move)}, {"usi", UsiMoveText(move)}});
  }
  document["pv"] = moves;
  document["leaf"] = {{"sfen", PositionSfen(leaf, SideAfter(pv))}};
  document["kkp"] = breakdown.kkp_sum;
  document["kpp"] = breakdown.kpp_sum;
  document["material"] = breakdown.material;
  document["value"] = breakdown.value;
  const TermTally& t = breakdown.tally;
  document["tally"] = {{"black", TallySideJson(t.black_count, t.black_sum, t.black_histogram)},
                       {"white", TallySideJson(t.white_count, t.white_sum, t.white_histogram)}};
  if (extras.ranking != nullptr) document["ranking"] = RankingJson(*extras.ranking);
  if (extras.comparison != nullptr) {
    const LeafComparison& c = *extras.comparison;
    document["compare"] = {{"fv", extras.compare_fv},
                           {"kkp", {c.before.kkp_sum, c.after.kkp_sum}},
                           {"kpp", {c.before.kpp_sum, c.after.kpp_sum}},
                           {"material", {c.before.material, c.after.material}},
                           {"value", {c.before.value, c.after.value}},
                           {"ranking", ChangeRankingJson(c.ranking)}};
  }
  if (extras.pieces != nullptr) {
    Json pieces = Json::array();
    for (int i = 0; i < extras.pieces->count; ++i) {
      const PieceShare& s = extras.pieces->shares[i];
      Json entry = {{"cell", CellName(s.cell, s.code)}, {"share", ShareJson(s.half_units)}};
      if (extras.pieces_after != nullptr && i < extras.pieces_after->count) {
        const int64_t after = extras.pieces_after->shares[i].half_units;
        entry["share_after"] = ShareJson(after);
        entry["change"] = ShareJson(after - s.half_units);
      }
      pieces.push_back(entry);
    }
    document["pieces"] = pieces;
  }
  return Dump(document);
}

std::string ScanComparisonJson(const RunFacts& facts, const std::string& compare_fv,
                               const ScanComparison& comparison) {
  Json document = Head(facts, "scan");
  document["king_square"] = comparison.king_square;
  document["compare"] = {{"fv", compare_fv},
                         {"changed", comparison.changed},
                         {"ranking", ChangeRankingJson(comparison.ranking)}};
  return Dump(document);
}

std::string ScanJson(const RunFacts& facts, const TableScan& scan) {
  Json document = Head(facts, "scan");
  document["king_square"] = scan.king_square;
  document["count"] = scan.count;
  document["ranking"] = RankingJson(scan.ranking);
  return Dump(document);
}

std::string RecordJson(const RunFacts& facts, const std::vector<RecordPly>& plies,
                       const std::vector<PositionFigures>& figures) {
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
