#include "report/json_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "report/console.h"
#include "report/paths.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"
#include "shogi/place_name.h"

namespace fvscope {

namespace {

using Json = nlohmann::ordered_json;

Json Head(const RunFacts& facts, const char* mode) {
  return Json{{"format", "fvscope"},     {"version", kJsonVersion},
              {"mode", mode},            {"sort_mode", facts.sort_mode},
              {"fv", facts.fv},          {"warnings", facts.warnings}};
}

// What the document names the picture of rank (from 1): its path under
// log/, or its URL when the facts give one.
std::string PictureName(const RunFacts& facts, const std::string& path) {
  if (facts.picture_url.empty()) return DocumentName(path);
  return facts.picture_url + path.substr(path.rfind('/') + 1) + facts.picture_query;
}

// A corpus's activations: the counts per neuron of each layer as
// [zero, between, max], the means, the dead and saturated neurons, the
// histogram before the clamp and the pictures.
Json ActivationsJson(const RunFacts& facts, const Activations& a) {
  Json out = {{"positions", a.positions}};
  Json means = Json::object(), dead = Json::object(), saturated = Json::object(),
       pictures = Json::object();
  for (int l = 0; l < kActivationLayers; ++l) {
    const char* name = ActivationLayerName(l);
    Json counts = Json::array();
    for (const NeuronActivity& n : a.layers[l]) counts.push_back({n.zero, n.between, n.max});
    out[name] = counts;
    const LayerActivitySummary s = SummarizeLayerActivity(a, l);
    Json rounded = Json::array();
    for (double m : s.means) rounded.push_back(std::round(m * 1e4) / 1e4);
    means[name] = rounded;
    dead[name] = s.dead;
    saturated[name] = s.saturated;
    pictures[name] = PictureName(facts, ActivationPicturePath(l));
  }
  out["means"] = means;
  out["dead"] = dead;
  out["saturated"] = saturated;
  out["histogram"] = {{"low", kPreClampLow},
                      {"width", kPreClampBinWidth},
                      {"counts", std::vector<uint64_t>(a.histogram, a.histogram + kPreClampBins)}};
  pictures["histogram"] = PictureName(facts, kActivationHistogramPath);
  out["pictures"] = pictures;
  return out;
}

// A ranking of terms, or of their changes (with the term under each file).
Json RankingJson(const RunFacts& facts, const Ranking& ranking, bool changes, bool parts = false) {
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
    if (parts) {
      entry["board"] = t.board;
      entry["turn"] = t.turn;
    }
    entry["picture"] = PictureName(facts, RankPicturePath(r + 1));
    list.push_back(entry);
  }
  return list;
}

Json ShownJson(const KpptShown& s) { return {{"board", s.board}, {"turn", s.turn}, {"sum", s.sum}}; }

// A KPPT set's terms, each as board, turn and their sum from black's view.
Json KpptJson(const KpptBreakdown& b) {
  char identity[24];
  std::snprintf(identity, sizeof identity, "%016llx", static_cast<unsigned long long>(b.identity));
  return {{"layout", KpptLayoutName(b.layout)},
          {"identity", identity},
          {"to_move", SideName(Side(b.to_move))},
          {"kk", ShownJson(ShownKk(b))},
          {"kkp", ShownJson(ShownKkp(b))},
          {"kpp_black", ShownJson(ShownKpp(b, kBlack))},
          {"kpp_white", ShownJson(ShownKpp(b, kWhite))},
          {"material", ShownJson(ShownMaterial(b))},
          {"total", ShownJson(ShownTotal(b))}};
}

Json ClampJson(const ClampCounts& c) {
  return {{"zero", c.zero}, {"between", c.between}, {"max", c.max}};
}

Json NetworkJson(const NetworkBreakdown& n) {
  return {{"architecture", n.architecture},
          {"shape", {n.shape.w, n.shape.h1, n.shape.h2}},
          {"output", n.z},
          {"scale", n.scale},
          {"to_move", SideName(n.to_move)},
          {"accumulators",
           {{"black", ClampJson(n.accumulators[kBlack])},
            {"white", ClampJson(n.accumulators[kWhite])}}},
          {"hidden", {ClampJson(n.hidden[0]), ClampJson(n.hidden[1])}}};
}

// A network's inputs ranked by change, with their pictures.
Json FeaturesJson(const RunFacts& facts, const Ranking& ranking) {
  Json list = Json::array();
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    list.push_back({{"rank", r + 1},
                    {"change", t.value},
                    {"king", CellName(t.king, t.king_code)},
                    {"piece", InputName(t.cell_a, t.code_a)},
                    {"picture", PictureName(facts, RankPicturePath(r + 1))}});
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
  if (leaf.record_format != nullptr) document["record_format"] = leaf.record_format;
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
  if (leaf.breakdown.kind == EvalKind::kNetwork) {
    const NetworkBreakdown& n = leaf.breakdown.network;
    document["material"] = n.material;
    document["value"] = n.value;
    document["network"] = NetworkJson(n);
    if (!leaf.comparing) document["features"] = FeaturesJson(facts, leaf.ranking);
  } else if (leaf.breakdown.kind == EvalKind::kKppt) {
    const KpptBreakdown& b = leaf.breakdown.kppt;
    document["material"] = b.material;
    document["value"] = b.value;
    document["kppt"] = KpptJson(b);
    const TermTally& t = b.tally;
    document["tally"] = {{"black", TallySideJson(t.black_count, t.black_sum, t.black_histogram)},
                         {"white", TallySideJson(t.white_count, t.white_sum, t.white_histogram)}};
    if (!leaf.comparing) document["ranking"] = RankingJson(facts, leaf.ranking, false, true);
  } else {
    const LeafBreakdown& breakdown = leaf.breakdown.table;
    document["kkp"] = breakdown.kkp_sum;
    document["kpp"] = breakdown.kpp_sum;
    document["material"] = breakdown.material;
    document["value"] = breakdown.value;
    const TermTally& t = breakdown.tally;
    document["tally"] = {{"black", TallySideJson(t.black_count, t.black_sum, t.black_histogram)},
                         {"white", TallySideJson(t.white_count, t.white_sum, t.white_histogram)}};
    if (!leaf.comparing) document["ranking"] = RankingJson(facts, leaf.ranking, false);
  }
  if (leaf.comparing) {
    const LeafComparison& c = leaf.comparison;
    Json compare = {{"fv", facts.compare_fv}};
    if (c.terms) {
      compare["kkp"] = {c.before.kkp_sum, c.after.kkp_sum};
      compare["kpp"] = {c.before.kpp_sum, c.after.kpp_sum};
    }
    compare["material"] = {c.before.material, c.after.material};
    compare["value"] = {c.before.value, c.after.value};
    if (c.terms) compare["ranking"] = RankingJson(facts, c.ranking, true);
    document["compare"] = compare;
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

namespace {

// A KPPT set's scan: the part, and the ranking with both parts (compared,
// "compare" with the ranking of changes of the part).
std::string KpptScanJson(const RunFacts& facts, const KpptScan& scan) {
  Json document = Head(facts, "scan");
  document["king_square"] = scan.king_square;
  document["part"] = KpptPartName(scan.part);
  if (scan.compared) {
    document["compare"] = {{"fv", facts.compare_fv},
                           {"changed", scan.count},
                           {"ranking", RankingJson(facts, scan.ranking, true)}};
  } else {
    document["count"] = scan.count;
    document["ranking"] = RankingJson(facts, scan.ranking, false, true);
  }
  return Dump(document);
}

}  // namespace

std::string JsonDocument(const RunFacts& facts, const ScanAnalysis& scan) {
  if (scan.kppt) return KpptScanJson(facts, scan.kppt_scan);
  Json document = Head(facts, "scan");
  if (scan.comparing) {
    const ScanComparison& comparison = scan.comparison;
    document["king_square"] = comparison.king_square;
    document["compare"] = {{"fv", facts.compare_fv},
                           {"changed", comparison.changed},
                           {"ranking", RankingJson(facts, comparison.ranking, true)}};
  } else {
    document["king_square"] = scan.scan.king_square;
    document["count"] = scan.scan.count;
    document["ranking"] = RankingJson(facts, scan.scan.ranking, false);
  }
  return Dump(document);
}

std::string JsonDocument(const RunFacts& facts, const RecordAnalysis& record) {
  const std::vector<RecordPly>& plies = record.plies;
  const std::vector<PositionFigures>& figures = record.figures;
  Json document = Head(facts, "record");
  document["record_format"] = record.record_format;
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
    // A network has no KKP or KPP sums.
    if (!record.terms) {
      list.back().erase("kkp");
      list.back().erase("kpp");
    }
    if (record.comparing && i < record.second_figures.size()) {
      const PositionFigures& g = record.second_figures[i];
      list.back()["compare"] = {
          {"value", g.value}, {"kkp", g.kkp_sum}, {"kpp", g.kpp_sum}, {"change", g.value - f.value}};
      if (!record.second_terms) {
        list.back()["compare"].erase("kkp");
        list.back()["compare"].erase("kpp");
      }
    }
  }
  document["plies"] = list;
  if (record.comparing) {
    Json ranking = Json::array();
    for (int32_t i : record.change_ranking) {
      const int32_t before = figures[i].value, after = record.second_figures[i].value;
      ranking.push_back({{"ply", plies[i].ply},
                         {"change", after - before},
                         {"before", before},
                         {"after", after},
                         {"move", plies[i].has_move ? Json(UsiMoveText(plies[i].move)) : Json(nullptr)}});
    }
    document["compare"] = {{"fv", facts.compare_fv}, {"ranking", ranking}};
  }
  return Dump(document);
}


namespace {

Json FitJson(const WinFit& fit) {
  if (!fit.converged) return nullptr;
  return {{"a", fit.a}, {"b", fit.b}, {"cross_entropy", fit.cross_entropy},
          {"positions", fit.positions}};
}

Json ScaleJson(int32_t scale, const CorpusFileFigures& f) {
  return {{"scale", scale},
          {"cross_entropy", f.scale_known ? Json(f.scale_cross_entropy) : Json(nullptr)}};
}

Json ScoreJson(const ScoreFigures& f) {
  return {{"records", f.records},
          {"correlation", f.correlation},
          {"slope", f.slope},
          {"cross_entropy", f.cross_entropy}};
}

Json CalibrationJson(const Calibration& calibration) {
  Json list = Json::array();
  for (const CalibrationBucket& b : calibration) {
    list.push_back({{"from", b.from == -kCalibrationOpenEnd ? Json(nullptr) : Json(b.from)},
                    {"to", b.to == kCalibrationOpenEnd ? Json(nullptr) : Json(b.to)},
                    {"positions", b.positions},
                    {"black", b.counts.black},
                    {"white", b.counts.white},
                    {"draw", b.counts.draw}});
  }
  return list;
}

// A ranking of used entries: by contribution, or by change with the entry
// under each file; picture names the rank's picture when drawn, else null.
Json UseRankingJson(const RunFacts& facts, const UseRanking& ranking, bool changes, bool drawn) {
  Json list = Json::array();
  for (int r = 0; r < ranking.count; ++r) {
    const UseRankEntry& e = ranking.entries[r];
    const RankedTerm t = UseTerm(e, e.value);
    Json entry = {{"rank", r + 1}};
    entry[changes ? "change" : "contribution"] = e.contribution;
    entry["reads"] = int64_t{e.black_reads} + e.white_reads;
    if (changes) {
      entry["before"] = e.value;
      entry["after"] = e.after;
      if (e.kppt) {
        entry["turn_before"] = e.turn;
        entry["turn_after"] = e.after_turn;
      }
    } else {
      entry["black_reads"] = e.black_reads;
      entry["white_reads"] = e.white_reads;
      entry["value"] = e.value;
      if (e.kppt) entry["turn"] = e.turn;
    }
    entry["king"] = CellName(t.king, t.king_code);
    entry["a"] = CellName(t.cell_a, t.code_a);
    entry["b"] = CellName(t.cell_b, t.code_b);
    entry["picture"] = drawn ? Json(PictureName(facts, RankPicturePath(r + 1))) : Json(nullptr);
    list.push_back(entry);
  }
  return list;
}

// The pull under one file; pictures names the ranks' pictures when drawn.
Json PullJson(const RunFacts& facts, const PullFigures& pull, bool pictures) {
  Json ranking = Json::array();
  for (int r = 0; r < pull.ranking.count; ++r) {
    const UseRankEntry& e = pull.ranking.entries[r];
    const RankedTerm t = UseTerm(e, e.value);
    const int64_t reads = int64_t{e.black_reads} + e.white_reads;
    const double value = static_cast<double>(e.contribution) * kPullUnit;
    Json& entry = ranking.emplace_back(Json{{"rank", r + 1},
                       {"pull", value},
                       {"reads", reads},
                       {"black_reads", e.black_reads},
                       {"white_reads", e.white_reads},
                       {"mean", value / static_cast<double>(reads)},
                       {"value", e.value},
                       {"king", CellName(t.king, t.king_code)},
                       {"a", CellName(t.cell_a, t.code_a)},
                       {"b", CellName(t.cell_b, t.code_b)},
                       {"picture", pictures ? Json(PictureName(facts, PullPicturePath(r + 1)))
                                            : Json(nullptr)}});
    if (e.kppt) entry["turn"] = e.turn;
  }
  return {{"total", pull.total},
          {"entries", pull.entries},
          {"per_king_square",
           std::vector<double>(pull.per_king_square, pull.per_king_square + kSquares)},
          {"ranking", ranking}};
}

}  // namespace

std::string JsonDocument(const RunFacts& facts, const CorpusAnalysis& corpus) {
  const CorpusPartial& found = corpus.found;
  Json document = Head(facts, "corpus");
  document["games"] = found.games;
  document["positions"] = found.positions;
  Json refused = Json::array();
  for (const RefusedGame& r : found.refused) {
    refused.push_back({{"file", r.path}, {"game", r.file_game}, {"why", r.why}});
  }
  document["refused"] = refused;
  const ResultCounts& r = found.results;
  document["results"] = {{"black", r.black}, {"white", r.white}, {"draw", r.draw},
                         {"unknown", r.unknown}};
  document["fit"] = FitJson(corpus.first.fit);
  document["scale"] = ScaleJson(corpus.scale, corpus.first);
  document["calibration"] = CalibrationJson(corpus.first.calibration);
  document["from_ply"] = found.from_ply;
  if (!found.packed.empty()) {
    Json packed = Json::array();
    int64_t records = 0;
    for (const PackedFileCounts& f : found.packed) {
      Json named = Json::array();
      for (const RefusedRecord& n : f.named) named.push_back({{"record", n.record}, {"why", n.why}});
      packed.push_back({{"file", f.path},
                        {"format", f.format == 0 ? "psv" : "hcpe"},
                        {"file_records", f.file_records},
                        {"records", f.evaluated},
                        {"refused_records", f.refused},
                        {"left_out", f.left_out},
                        {"refused", named}});
      records += f.evaluated;
    }
    document["records"] = records;
    document["refused_records"] = RefusedRecords(found);
    document["packed"] = packed;
    document["lambda"] = found.lambda;
  }
  if (corpus.score.records > 0) document["score"] = ScoreJson(corpus.score);
  if (corpus.with_usage) {
    const UseSummary& u = corpus.usage;
    document["usage"] = {
        {"kpp_read", u.kpp_read},
        {"kpp_entries", u.kpp_entries},
        {"kkp_read", u.kkp_read},
        {"kkp_entries", u.kkp_entries},
        {"per_king_square", std::vector<int64_t>(u.per_king_square, u.per_king_square + kSquares)},
        {"ranking", UseRankingJson(facts, u.ranking, false, !corpus.comparing)}};
    document["pull"] = PullJson(facts, u.pull, true);
  }
  if (corpus.with_features) {
    const FeatureUseSummary& u = corpus.features;
    Json ranking = Json::array();
    for (int r = 0; r < u.count; ++r) {
      const FeatureUseEntry& e = u.ranking[r];
      int cell = -1, code = 0;
      DecodePieceFeature(e.feature, &cell, &code);
      ranking.push_back({{"rank", r + 1},
                         {"views", e.views},
                         {"king", CellName(SquareOfFeatureSquare(e.king), kKing)},
                         {"piece", InputName(cell, code)},
                         {"input", e.king * kPieceFeatures + e.feature},
                         {"picture", PictureName(facts, RankPicturePath(r + 1))}});
    }
    Json per_king = Json::array();
    for (int fsq = 0; fsq < kSquares; ++fsq) per_king.push_back(u.active_per_king[fsq]);
    document["feature_use"] = {{"views", u.views},
                               {"active", u.active},
                               {"inputs", kNetworkInputs},
                               {"active_per_king_square", per_king},
                               {"ranking", ranking}};
  }
  if (corpus.with_activations) document["activations"] = ActivationsJson(facts, corpus.activations);
  if (corpus.comparing) {
    Json compare = {{"fv", facts.compare_fv},
                    {"fit", FitJson(corpus.second.fit)},
                    {"scale", ScaleJson(corpus.scale, corpus.second)},
                    {"calibration", CalibrationJson(corpus.second.calibration)}};
    if (corpus.compare_score.records > 0) compare["score"] = ScoreJson(corpus.compare_score);
    if (corpus.with_usage) {
      compare["usage_ranking"] = UseRankingJson(facts, corpus.usage.changes, true, true);
      compare["pull"] = PullJson(facts, corpus.usage.second_pull, false);
    }
    document["compare"] = compare;
  }
  return Dump(document);
}

namespace {

Json CensusJson(const CensusCounts& c) {
  return {{"nonzero", c.nonzero}, {"mean_abs", CensusMean(c)}, {"max_abs", c.largest},
          {"saturated", c.saturated}};
}

}  // namespace

namespace {

// A network's map: the king, the neuron (null for magnitudes), each grid's
// values (square 0 first, null where blank) and each held kind's, 1st held first.
std::string NetworkMapJson(const RunFacts& facts, const NetworkMap& map) {
  Json document = Head(facts, "map");
  Json grids = Json::array();
  for (int g = 0; g < map.grid_count; ++g) {
    const NeuronGrid& grid = map.grids[g];
    Json values = Json::array(), features = Json::array();
    for (int s = 0; s < kSquares; ++s) {
      values.push_back(grid.present[s] ? Json(grid.values[s]) : Json(nullptr));
      features.push_back(grid.present[s] ? Json(grid.features[s]) : Json(nullptr));
    }
    grids.push_back({{"piece", NeuronGridName(grid)}, {"values", values}, {"features", features}});
  }
  Json hands = Json::array();
  for (int h = 0; h < map.hand_count; ++h) {
    const NeuronHand& hand = map.hands[h];
    hands.push_back({{"piece", NeuronHandName(hand)},
                     {"values", std::vector<double>(hand.values, hand.values + hand.counts)},
                     {"features", std::vector<int16_t>(hand.features, hand.features + hand.counts)}});
  }
  document["map"] = {{"king", PlaceName(map.king)},
                     {"king_index", map.king_index},
                     {"neuron", map.neuron >= 0 ? Json(map.neuron) : Json(nullptr)},
                     {"network", true},
                     {"grids", grids},
                     {"hands", hands}};
  return Dump(document);
}

}  // namespace

namespace {

// Values (or features) of a map's grid or hand kind, null where blank.
template <typename T>
Json MapValues(const bool* present, const T* values, int count) {
  Json list = Json::array();
  for (int i = 0; i < count; ++i) list.push_back(present[i] ? Json(values[i]) : Json(nullptr));
  return list;
}

// A map's document: KING, PIECE and the table; with kppt, the set's part,
// slab, PIECE's feature and KKP's KK pair; then each grid's and hand kind's
// name and values (square 0 first, the first count first, null where blank)
// and with kppt their features; compared, before and after beside.
std::string MapDocument(const RunFacts& facts, const TableMap& map, const KpptMap* kppt) {
  Json document = Head(facts, "map");
  Json entries = {{"king", PlaceName(map.request.king)},
                  {"piece", PlaceName(map.request.piece)},
                  {"table", map.kkp ? "kkp" : "kpp"}};
  if (kppt != nullptr) {
    entries["kppt"] = true;
    entries["part"] = KpptPartName(kppt->part);
    entries["slab"] = kppt->slab;
    entries["piece_feature"] = map.kkp ? Json(nullptr) : Json(kppt->piece_feature);
    entries["kk"] =
        map.kkp ? Json{{"board", kppt->kk.board}, {"turn", kppt->kk.turn}} : Json(nullptr);
  }
  Json grids = Json::array();
  for (int g = 0; g < map.grid_count; ++g) {
    const MapGrid& grid = map.grids[g];
    Json entry = {{"piece", MapGridName(grid)},
                  {"values", MapValues(grid.present, grid.values, kSquares)}};
    if (kppt != nullptr) entry["features"] = MapValues(grid.present, grid.features, kSquares);
    if (map.compared) {
      entry["before"] = MapValues(grid.present, grid.before, kSquares);
      entry["after"] = MapValues(grid.present, grid.after, kSquares);
    }
    grids.push_back(entry);
  }
  Json hands = Json::array();
  for (int h = 0; h < map.hand_count; ++h) {
    const MapHand& hand = map.hands[h];
    Json entry = {{"piece", MapHandName(hand)},
                  {"values", MapValues(hand.present, hand.values, hand.counts)}};
    if (kppt != nullptr) {
      entry["features"] = std::vector<int16_t>(hand.features, hand.features + hand.counts);
    }
    if (map.compared) {
      entry["before"] = MapValues(hand.present, hand.before, hand.counts);
      entry["after"] = MapValues(hand.present, hand.after, hand.counts);
    }
    hands.push_back(entry);
  }
  entries["grids"] = grids;
  entries["hands"] = hands;
  document["map"] = entries;
  if (map.compared) document["compare"] = {{"fv", facts.compare_fv}};
  return Dump(document);
}

}  // namespace

std::string JsonDocument(const RunFacts& facts, const MapAnalysis& analysis) {
  if (analysis.kind == EvalKind::kNetwork) return NetworkMapJson(facts, analysis.network);
  if (analysis.kind == EvalKind::kKppt) return MapDocument(facts, analysis.kppt.table, &analysis.kppt);
  return MapDocument(facts, analysis.map, nullptr);
}

namespace {

Json FiguresJson(const ValueFigures& f) {
  return {{"count", f.count}, {"min", f.minimum}, {"max", f.maximum}, {"mean", f.mean},
          {"sd", f.deviation}, {"zero_share", f.zero_share}};
}

Json LayersJson(const LayerFigures* layers) {
  Json list = Json::array();
  for (int l = 0; l < kNetworkLayers; ++l) {
    list.push_back({{"layer", kNetworkLayerNames[l]},
                    {"weights", FiguresJson(layers[l].weights)},
                    {"biases", FiguresJson(layers[l].biases)}});
  }
  return list;
}

// A network's census: "census" with its layers, its king squares (square 0
// first), its dead neurons; compared, "compare" with the change's.
std::string NetworkCensusJson(const RunFacts& facts, const NetworkCensus& c) {
  Json document = Head(facts, "census");
  Json kings = Json::array(), changes = Json::array();
  for (int s = 0; s < kSquares; ++s) {
    const int k = FeatureSquare(s);
    kings.push_back({{"square", std::to_string(FileOf(s)) + std::to_string(RankOf(s))},
                     {"mean_abs", c.king_magnitude[k]},
                     {"untrained", c.king_untrained[k]}});
    changes.push_back({{"square", std::to_string(FileOf(s)) + std::to_string(RankOf(s))},
                       {"mean_abs_change", c.king_change[k]}});
  }
  document["census"] = {{"network", {c.shape.w, c.shape.h1, c.shape.h2}},
                        {"layers", LayersJson(c.layers)},
                        {"kings", kings},
                        {"dead", {{"layer1", c.dead[0]}, {"layer2", c.dead[1]}}}};
  if (c.compared) {
    const Ranking ranking = MovedRanking(c);
    Json moved = Json::array();
    for (int r = 0; r < ranking.count; ++r) {
      const RankedTerm& t = ranking.terms[r];
      moved.push_back({{"king", std::to_string(FileOf(t.king)) + std::to_string(RankOf(t.king))},
                       {"feature", c.moved[r].feature},
                       {"piece", CellName(t.cell_a, t.code_a)},
                       {"moved", c.moved[r].moved}});
    }
    document["compare"] = {{"layers", LayersJson(c.changes)}, {"kings", changes}, {"moved", moved}};
    document["compare_fv"] = facts.compare_fv;
  }
  return Dump(document);
}

}  // namespace

namespace {

// Both parts' figures of a KPPT table (turn null when KPP has none).
Json KpptPartsJson(const KpptCensusCell& cell, int parts) {
  return {{"board", CensusJson(cell.counts[0])},
          {"turn", parts > 1 ? CensusJson(cell.counts[1]) : Json(nullptr)}};
}

Json KpptChangeJson(const KpptCensusCell& cell, int parts) {
  Json out = Json::object();
  for (int p = 0; p < kKpptParts; ++p) {
    out[KpptPartName(KpptPart(p))] =
        p < parts ? Json{{"changed", cell.change[p].changed},
                         {"mean_abs_change", CensusChangeMean(cell.change[p], cell.counts[p].entries)}}
                  : Json(nullptr);
  }
  return out;
}

// A KPPT set's census: the layout, per king square (square 0 first) both
// parts of KPP and KKP, the total and KK; compared, "compare" with the changes.
std::string KpptCensusJson(const RunFacts& facts, const KpptCensus& c) {
  Json document = Head(facts, "census");
  Json kings = Json::array(), changes = Json::array();
  for (int s = 0; s < kSquares; ++s) {
    const int k = FeatureSquare(s);
    const std::string square = std::to_string(FileOf(s)) + std::to_string(RankOf(s));
    kings.push_back({{"square", square},
                     {"kpp", KpptPartsJson(c.kpp[k], c.kpp_parts)},
                     {"kkp", KpptPartsJson(c.kkp[k], kKpptParts)}});
    changes.push_back({{"square", square},
                       {"kpp", KpptChangeJson(c.kpp[k], c.kpp_parts)},
                       {"kkp", KpptChangeJson(c.kkp[k], kKpptParts)}});
  }
  document["census"] = {
      {"kppt", KpptLayoutName(c.layout)},
      {"kings", kings},
      {"total", {{"kpp", KpptPartsJson(c.kpp_total, c.kpp_parts)},
                 {"kkp", KpptPartsJson(c.kkp_total, kKpptParts)}}},
      {"kk", c.has_kk ? KpptPartsJson(c.kk, kKpptParts) : Json(nullptr)}};
  if (c.compared) {
    document["compare"] = {
        {"kings", changes},
        {"total", {{"kpp", KpptChangeJson(c.kpp_total, c.kpp_parts)},
                   {"kkp", KpptChangeJson(c.kkp_total, kKpptParts)}}},
        {"kk", c.has_kk ? KpptChangeJson(c.kk, kKpptParts) : Json(nullptr)}};
    document["compare_fv"] = facts.compare_fv;
  }
  return Dump(document);
}

}  // namespace

std::string JsonDocument(const RunFacts& facts, const CensusAnalysis& analysis) {
  if (analysis.kind == EvalKind::kNetwork) return NetworkCensusJson(facts, analysis.network);
  if (analysis.kind == EvalKind::kKppt) return KpptCensusJson(facts, analysis.kppt);
  const TableCensus& c = analysis.census;
  Json document = Head(facts, "census");
  Json kpp = Json::array(), kkp = Json::array();
  for (int k = 0; k < kSquares; ++k) {
    kpp.push_back(CensusJson(c.kpp[k]));
    kkp.push_back(CensusJson(c.kkp[k]));
  }
  document["census"] = {{"kpp", kpp},
                        {"kkp", kkp},
                        {"total", {{"kpp", CensusJson(c.kpp_total)}, {"kkp", CensusJson(c.kkp_total)}}}};
  if (c.compared) {
    Json changes = Json::array();
    for (int k = 0; k < kSquares; ++k) {
      changes.push_back({{"changed", c.kpp_change[k].changed},
                         {"mean_abs_change", CensusChangeMean(c.kpp_change[k], c.kpp[k].entries)},
                         {"kkp_changed", c.kkp_change[k].changed},
                         {"kkp_mean_abs_change",
                          CensusChangeMean(c.kkp_change[k], c.kkp[k].entries)}});
    }
    document["compare"] = changes;
    document["compare_fv"] = facts.compare_fv;
  }
  return Dump(document);
}

std::string JsonDocument(const RunFacts& facts, const SquaresAnalysis& analysis) {
  const PieceSquares& q = analysis.squares;
  Json document = Head(facts, "squares");
  document["leaf"] = PositionSfen(analysis.leaf, analysis.to_move);
  document["to_move"] = SideName(analysis.to_move);
  Json list = Json::array();
  for (int i = 0; i < q.count; ++i) {
    const SquareValue& e = q.ranked[i];
    list.push_back({{"square", std::to_string(FileOf(e.square)) + std::to_string(RankOf(e.square))},
                    {"value", e.value},
                    {"change", e.change}});
  }
  document["squares"] = {{"piece", SquaresPieceName(q.piece)}, {"value", q.value}, {"squares", list}};
  return Dump(document);
}

}  // namespace fvscope
