#include "report/html_page.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "report/console.h"
#include "report/paths.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"
#include "shogi/place_name.h"

namespace fvscope {

namespace {

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, sans-serif; color: #222; max-width: 1180px; margin: 0 auto;
       padding: 0 16px 40px; }
h1 { font-size: 1.6em; margin: 0.8em 0 0.2em; }
h2 { font-size: 1.2em; border-bottom: 1px solid #ccc; padding-bottom: 2px; margin-top: 1.6em; }
code, .num { font-family: ui-monospace, monospace; }
.meta { color: #555; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: 0.4em 0; }
th, td { padding: 3px 10px; border-bottom: 1px solid #e3e3e3; text-align: right; }
th { background: #f3f3f3; }
td.name, th.name { text-align: left; }
table.sortable th { cursor: pointer; }
.black { color: #1546c0; }
.white { color: #c0281e; }
.boards { display: flex; flex-wrap: wrap; gap: 16px; }
figure { margin: 0; max-width: 100%; }
figure img { width: 320px; max-width: 100%; height: auto; border: 1px solid #ccc; }
figure.wide img { width: 960px; }
figcaption { font-size: 0.85em; color: #555; max-width: 320px; overflow-wrap: anywhere; }
.bars td.bar { width: 60%; text-align: left; }
.bar span { display: inline-block; height: 0.8em; background: #1546c0; min-width: 1px; }
.bars.for-white .bar span { background: #c0281e; }
.histograms { display: flex; flex-wrap: wrap; gap: 24px; }
.histograms > div { flex: 1 1 320px; }
td.thumb img { width: 96px; height: 96px; display: block; }
.scroll { overflow-x: auto; }
ol.pv { columns: 3 14em; }
.grids { display: flex; flex-wrap: wrap; gap: 14px; }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(220px, 1fr)); gap: 14px; }
figure.card img { width: 100%; min-width: 200px; height: auto; }
figure.card figcaption { max-width: none; }
table.grid { border-collapse: collapse; }
table.grid td { width: 18px; height: 18px; padding: 0; border: 1px solid #ddd; }
table.grid td.blank { background: #bbb; }
table.grid caption { font-family: ui-monospace, monospace; }
.warnings { background: #fff6e0; border: 1px solid #e8c06a; padding: 6px 12px; }
@media print { .scroll { overflow: visible; } td.thumb img { width: 72px; height: 72px; } }
)";

// Sorts a table by the column whose heading is clicked; cells sort by their
// data-v number when they have one.
constexpr const char* kSortScript = R"(
document.querySelectorAll('table.sortable th').forEach(function (th, i) {
  th.addEventListener('click', function () {
    var body = th.closest('table').tBodies[0], up = th.dataset.up !== '1';
    th.dataset.up = up ? '1' : '0';
    var key = function (row) { var c = row.cells[i]; return c.dataset.v !== undefined ? +c.dataset.v : c.textContent; };
    Array.from(body.rows).sort(function (a, b) {
      var x = key(a), y = key(b), d = typeof x === 'number' ? x - y : String(x).localeCompare(y);
      return up ? d : -d;
    }).forEach(function (row) { body.appendChild(row); });
  });
});
)";

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Points(int64_t table_units) { return Format("%+.1f", table_units / double(kFvScale)); }

// The side a quantity favours, as a class and a word.
std::string Favours(int64_t value) {
  if (value > 0) return "<td class=\"name black\">black</td>";
  if (value < 0) return "<td class=\"name white\">white</td>";
  return "<td class=\"name\">neither</td>";
}

std::string SideClass(int64_t value) { return value > 0 ? " black" : value < 0 ? " white" : ""; }

// A cell holding a number, sortable by it.
std::string NumberCell(int64_t value, const std::string& text) {
  return "<td class=\"num" + SideClass(value) + "\" data-v=\"" + std::to_string(value) + "\">" +
         text + "</td>";
}

// A cell holding a number with a fraction, sortable by it.
std::string DecimalCell(double value, const std::string& text) {
  return "<td class=\"num" + SideClass(value > 0 ? 1 : value < 0 ? -1 : 0) + "\" data-v=\"" +
         Format("%.6f", value) + "\">" + text + "</td>";
}

std::string NameCell(const std::string& name) {
  return "<td class=\"name\"><code>" + EscapeHtml(name) + "</code></td>";
}

// A path of the working folder as the page links it: relative to the page's
// folder, with the characters a URL gives a meaning escaped.
std::string Link(const RunFacts& facts, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target = fs::absolute(path, ec).lexically_normal();
  const fs::path folder = fs::absolute(facts.page_path, ec).lexically_normal().parent_path();
  std::string relative = target.lexically_relative(folder).generic_string();
  if (relative.empty()) relative = target.generic_string();
  std::string url;
  for (unsigned char c : relative) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += Format("%%%02X", c);
    }
  }
  return url;
}

std::string Figure(const RunFacts& facts, const std::string& path, const std::string& alt,
                   const std::string& caption, bool wide = false) {
  const std::string url = Link(facts, path);
  return std::string("<figure") + (wide ? " class=\"wide\"" : "") + "><a href=\"" + url +
         "\"><img src=\"" + url + "\" alt=\"" + EscapeHtml(alt) + "\"></a><figcaption>" +
         caption + "</figcaption></figure>\n";
}

void Summary(const RunFacts& facts, const LeafAnalysis& leaf, std::string* html) {
  const PositionFigures f = FiguresOf(leaf.breakdown);
  struct Row {
    const char* name;
    int64_t before, after;  // table units
  };
  std::vector<Row> rows = {{"KKP", f.kkp_sum, f.kkp_sum},
                           {"KPP", f.kpp_sum, f.kpp_sum},
                           {"material", int64_t{f.material} * kFvScale, int64_t{f.material} * kFvScale},
                           {"value", int64_t{f.value} * kFvScale, int64_t{f.value} * kFvScale}};
  const LeafComparison* c = leaf.comparing ? &leaf.comparison : nullptr;
  if (c != nullptr) {
    rows[0].after = c->after.kkp_sum;
    rows[1].after = c->after.kpp_sum;
    rows[2].after = int64_t{c->after.material} * kFvScale;
    rows[3].after = int64_t{c->after.value} * kFvScale;
  }
  // A network has no KKP or KPP sums; a KPPT set's are shown part by part.
  if (leaf.breakdown.kind != EvalKind::kTable || (c != nullptr && !c->terms)) {
    rows.erase(rows.begin(), rows.begin() + 2);
  }
  *html += "<h2>Summary</h2>\n<div class=\"scroll\"><table>\n<tr><th class=\"name\"></th>";
  if (c == nullptr) {
    *html += "<th>table units</th><th>points</th><th class=\"name\">favours</th></tr>\n";
    for (const Row& r : rows) {
      *html += "<tr><td class=\"name\">" + std::string(r.name) + "</td>" +
               NumberCell(r.before, std::to_string(r.before)) +
               NumberCell(r.before, Points(r.before)) + Favours(r.before) + "</tr>\n";
    }
  } else {
    *html += "<th>" + EscapeHtml(facts.fv) + "</th><th>points</th><th>" +
             EscapeHtml(facts.compare_fv) + "</th><th>points</th><th>change</th>"
             "<th>points</th><th class=\"name\">change favours</th></tr>\n";
    for (const Row& r : rows) {
      *html += "<tr><td class=\"name\">" + std::string(r.name) + "</td>" +
               NumberCell(r.before, std::to_string(r.before)) +
               NumberCell(r.before, Points(r.before)) +
               NumberCell(r.after, std::to_string(r.after)) + NumberCell(r.after, Points(r.after)) +
               NumberCell(r.after - r.before, Format("%+.0f", double(r.after - r.before))) +
               NumberCell(r.after - r.before, Points(r.after - r.before)) +
               Favours(r.after - r.before) + "</tr>\n";
    }
  }
  *html += "</table></div>\n<p class=\"meta\">32 table units make a point; positive favours "
           "black. Material and value are whole points.</p>\n";
}

void Boards(const RunFacts& facts, const LeafAnalysis& leaf, std::string* html) {
  const PvLine& pv = leaf.pv;
  *html += "<h2>Positions</h2>\n<div class=\"boards\">\n";
  *html += Figure(facts, kInputPicturePath, "the input position",
                  "Input: <code>" + EscapeHtml(PositionSfen(leaf.input, pv.first_side)) + "</code>");
  *html += Figure(facts, kLeafPicturePath, "the leaf",
                  "Leaf: <code>" + EscapeHtml(PositionSfen(leaf.leaf, SideAfter(pv))) + "</code>");
  if (leaf.with_pieces) {
    *html += Figure(facts, kPiecesPicturePath, "each piece's share over the leaf",
                    leaf.comparing ? "The change of each piece's share"
                                   : "Each piece's share, in points");
  }
  *html += "</div>\n<h2>Principal variation</h2>\n";
  if (pv.count == 0) {
    *html += "<p>No moves: the input is the leaf.</p>\n";
    return;
  }
  *html += "<ol class=\"pv\">\n";
  for (int n = 0; n < pv.count; ++n) {
    const Move& move = pv.moves[n];
    *html += "<li><code>" + EscapeHtml(CsaMoveText(move)) + "</code> <code>" +
             EscapeHtml(UsiMoveText(move)) + "</code></li>\n";
  }
  *html += "</ol>\n";
}

void Histogram(const char* side, int32_t count, int32_t sum, const int32_t* buckets,
               std::string* html) {
  const int32_t most = std::max(1, *std::max_element(buckets, buckets + kHistogramBuckets));
  *html += "<div><h3>Terms favouring " + std::string(side) + ": " + std::to_string(count) +
           ", " + std::to_string(sum / kFvScale) + " points in all</h3>\n<table class=\"bars for-" +
           side + "\">\n<tr><th class=\"name\">points</th><th class=\"name\">terms</th><th>count</th></tr>\n";
  for (int k = 0; k < kHistogramBuckets; ++k) {
    const int low = kPointsPerBucket * k;
    const std::string range = k + 1 < kHistogramBuckets
                                  ? std::to_string(low) + "–" + std::to_string(low + kPointsPerBucket)
                                  : std::to_string(low) + " or more";
    const double width = 100.0 * buckets[k] / most;
    *html += "<tr><td class=\"name\">" + range + "</td><td class=\"bar\"><span style=\"width:" +
             Format("%.1f", width) + "%\"></span></td><td>" + std::to_string(buckets[k]) +
             "</td></tr>\n";
  }
  *html += "</table></div>\n";
}

// A network's output, scale, shape and the clamps of each layer.
void NetworkSummary(const NetworkBreakdown& n, std::string* html) {
  *html += "<h2>Network</h2>\n<p class=\"meta\">" + EscapeHtml(n.architecture) + "</p>\n" +
           "<div class=\"scroll\"><table>\n<tr><th class=\"name\"></th><th>value</th></tr>\n";
  const auto row = [&](const std::string& name, int64_t value) {
    *html += "<tr><td class=\"name\">" + name + "</td>" +
             NumberCell(value, std::to_string(value)) + "</tr>\n";
  };
  row("output z (" + std::string(SideName(n.to_move)) + " to move)", n.z);
  row("scale", n.scale);
  row("value (points, black's view)", n.value);
  *html += "</table></div>\n<div class=\"scroll\"><table>\n<tr><th class=\"name\">layer</th>"
           "<th>at 0</th><th>between</th><th>at 127</th></tr>\n";
  const struct {
    const char* name;
    const ClampCounts& c;
  } layers[] = {{"accumulator, black's view", n.accumulators[kBlack]},
                {"accumulator, white's view", n.accumulators[kWhite]},
                {"hidden layer 1", n.hidden[0]},
                {"hidden layer 2", n.hidden[1]}};
  for (const auto& l : layers) {
    *html += "<tr><td class=\"name\">" + std::string(l.name) + "</td><td>" +
             std::to_string(l.c.zero) + "</td><td>" + std::to_string(l.c.between) + "</td><td>" +
             std::to_string(l.c.max) + "</td></tr>\n";
  }
  *html += "</table></div>\n";
}

// A KPPT set's terms, each as board, turn and their sum from black's view.
void KpptSummary(const KpptBreakdown& b, std::string* html) {
  char identity[24];
  std::snprintf(identity, sizeof identity, "%016llx", static_cast<unsigned long long>(b.identity));
  *html += "<h2>KPPT terms</h2>\n<p class=\"meta\">" + EscapeHtml(KpptLayoutName(b.layout)) +
           ", identity " + identity + "; " + SideName(Side(b.to_move)) +
           " to move: the turn parts count for that side.</p>\n<div class=\"scroll\"><table>\n"
           "<tr><th class=\"name\"></th><th>board</th><th>turn</th><th>sum</th><th>points</th>"
           "<th class=\"name\">favours</th></tr>\n";
  const struct {
    const char* name;
    KpptShown shown;
  } rows[] = {{"KK", ShownKk(b)},           {"KKP", ShownKkp(b)},
              {"KPP, black's side", ShownKpp(b, kBlack)}, {"KPP, white's side", ShownKpp(b, kWhite)},
              {"material", ShownMaterial(b)}, {"total", ShownTotal(b)}};
  for (const auto& r : rows) {
    *html += "<tr><td class=\"name\">" + std::string(r.name) + "</td>" +
             NumberCell(r.shown.board, std::to_string(r.shown.board)) +
             NumberCell(r.shown.turn, std::to_string(r.shown.turn)) +
             NumberCell(r.shown.sum, std::to_string(r.shown.sum)) +
             NumberCell(r.shown.sum, Points(r.shown.sum)) + Favours(r.shown.sum) + "</tr>\n";
  }
  *html += "</table></div>\n";
}

void Histograms(const TermTally& t, std::string* html) {
  *html += "<h2>KPP terms by size</h2>\n<div class=\"histograms\">\n";
  Histogram("black", t.black_count, t.black_sum, t.black_histogram, html);
  Histogram("white", t.white_count, t.white_sum, t.white_histogram, html);
  *html += "</div>\n";
}

std::string Thumbnail(const RunFacts& facts, const std::string& path, int rank) {
  const std::string url = Link(facts, path);
  return "<td class=\"thumb\"><a href=\"" + url + "\"><img src=\"" + url + "\" alt=\"rank " +
         std::to_string(rank) + "\"></a></td>";
}

// A card of a ranked picture: the picture, lazily loaded, with the rank,
// the figure and the names under it.
std::string Card(const RunFacts& facts, const std::string& path, int rank,
                 const std::string& figure, const std::string& names) {
  const std::string url = Link(facts, path);
  return "<figure class=\"card\"><a href=\"" + url + "\"><img src=\"" + url +
         "\" loading=\"lazy\" width=\"240\" height=\"240\" alt=\"rank " + std::to_string(rank) +
         "\"></a><figcaption><b>" + std::to_string(rank) + "</b> " + figure + "<br><code>" +
         EscapeHtml(names) + "</code></figcaption></figure>\n";
}

// The ranking of terms, or of their changes with the term under each file:
// cards of the pictures, then the table, which sorts.
void RankingTable(const RunFacts& facts, const Ranking& ranking, bool changes,
                  std::string* html, bool parts = false) {
  *html += "<div class=\"cards\">\n";
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    *html += Card(facts, RankPicturePath(r + 1), r + 1,
                  changes ? "change " + Format("%+.0f", t.value) : "value " + std::to_string(t.value),
                  TermNames(t));
  }
  *html += "</div>\n";
  *html += changes ? "<h3>As a table</h3>\n<div class=\"scroll\"><table class=\"sortable\">\n"
                     "<thead><tr><th>rank</th><th>change</th><th>points</th><th>before</th>"
                     "<th>after</th>"
                   : "<h3>As a table</h3>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
                     "<th>rank</th><th>value</th><th>points</th>";
  if (parts) *html += "<th>board</th><th>turn</th>";
  *html += "<th class=\"name\">king</th><th class=\"name\">first piece</th>"
           "<th class=\"name\">second piece</th><th class=\"name\">picture</th></tr></thead>\n"
           "<tbody>\n";
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    *html += "<tr><td data-v=\"" + std::to_string(r + 1) + "\">" + std::to_string(r + 1) + "</td>";
    if (changes) {
      *html += NumberCell(t.value, Format("%+.0f", t.value)) + NumberCell(t.value, Points(t.value)) +
               NumberCell(t.before, std::to_string(t.before)) +
               NumberCell(t.after, std::to_string(t.after));
    } else {
      *html += NumberCell(t.value, std::to_string(t.value)) + NumberCell(t.value, Points(t.value));
    }
    if (parts && !changes) {
      *html += NumberCell(t.board, std::to_string(t.board)) + NumberCell(t.turn, std::to_string(t.turn));
    }
    *html += NameCell(CellName(t.king, t.king_code)) + NameCell(CellName(t.cell_a, t.code_a)) +
             NameCell(CellName(t.cell_b, t.code_b)) + Thumbnail(facts, RankPicturePath(r + 1), r + 1) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

void PiecesTable(const LeafAnalysis& leaf, std::string* html) {
  const PieceShares& shares = leaf.pieces;
  const PieceShares* after = leaf.comparing ? &leaf.pieces_after : nullptr;
  *html += "<h2>Each piece's share of KKP + KPP</h2>\n<div class=\"scroll\"><table "
           "class=\"sortable\">\n<thead><tr><th class=\"name\">piece</th><th>points</th>";
  if (after != nullptr) *html += "<th>points, second file</th><th>change</th>";
  *html += "</tr></thead>\n<tbody>\n";
  for (int i = 0; i < shares.count; ++i) {
    const PieceShare& s = shares.shares[i];
    *html += "<tr>" + NameCell(CellName(s.cell, s.code)) +
             NumberCell(s.half_units, ShareText(s.half_units));
    if (after != nullptr && i < after->count) {
      const int64_t a = after->shares[i].half_units;
      *html += NumberCell(a, ShareText(a)) + NumberCell(a - s.half_units, ShareText(a - s.half_units));
    }
    *html += "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

void RecordSection(const RunFacts& facts, const RecordAnalysis& record, std::string* html) {
  const bool two = record.comparing;
  *html += "<h2>The evaluation, ply by ply</h2>\n";
  *html += two ? Figure(facts, kRecordChartPath, "the value per ply under both files",
                        "Value under the first file (thick), under the second (dashed) and the "
                        "change, in points; black better upward",
                        true)
               : Figure(facts, kRecordChartPath, "the value per ply",
                        "Value (thick), material, KKP / 32 and KPP / 32, in points; black better "
                        "upward",
                        true);
  *html += "<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr><th>ply</th>"
           "<th class=\"name\">move</th><th>material</th><th>KKP</th><th>KPP</th><th>value</th>";
  if (two) *html += "<th>value, second file</th><th>change</th>";
  *html += "<th class=\"name\">SFEN</th></tr></thead>\n<tbody>\n";
  const auto& plies = record.plies;
  const auto& figures = record.figures;
  for (size_t i = 0; i < plies.size() && i < figures.size(); ++i) {
    const RecordPly& p = plies[i];
    const PositionFigures& f = figures[i];
    *html += "<tr><td data-v=\"" + std::to_string(p.ply) + "\">" + std::to_string(p.ply) + "</td>" +
             NameCell(p.has_move ? CsaMoveText(p.move) : "") +
             NumberCell(f.material, std::to_string(f.material)) +
             NumberCell(f.kkp_sum, std::to_string(f.kkp_sum)) +
             NumberCell(f.kpp_sum, std::to_string(f.kpp_sum)) +
             NumberCell(f.value, std::to_string(f.value));
    if (two && i < record.second_figures.size()) {
      const int32_t after = record.second_figures[i].value, change = after - f.value;
      *html += NumberCell(after, std::to_string(after)) + NumberCell(change, Format("%+.0f", double(change)));
    }
    *html += NameCell(PositionSfen(p.position, p.to_move, p.move_number)) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n<p class=\"meta\">Material and value in points, KKP and KPP "
           "in table units.</p>\n";
  if (!two) return;
  *html += "<h2>Ranking of changes along the game</h2>\n<div class=\"scroll\"><table "
           "class=\"sortable\">\n<thead><tr><th>rank</th><th>ply</th><th>change</th><th>value</th>"
           "<th>value, second file</th><th class=\"name\">move (USI)</th></tr></thead>\n<tbody>\n";
  int rank = 0;
  for (int32_t i : record.change_ranking) {
    const int32_t before = figures[i].value, after = record.second_figures[i].value;
    ++rank;
    *html += "<tr><td data-v=\"" + std::to_string(rank) + "\">" + std::to_string(rank) +
             "</td><td data-v=\"" + std::to_string(plies[i].ply) + "\">" +
             std::to_string(plies[i].ply) + "</td>" +
             NumberCell(after - before, Format("%+.0f", double(after - before))) +
             NumberCell(before, std::to_string(before)) + NumberCell(after, std::to_string(after)) +
             NameCell(plies[i].has_move ? UsiMoveText(plies[i].move) : "") + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

std::string Count(int64_t n) { return std::to_string(n); }

// The records' search scores against the values, and each packed file's records.
void ScoreSection(const RunFacts& facts, const CorpusAnalysis& corpus, std::string* html) {
  *html += "<h2>How far the value is from the search</h2>\n<div class=\"scroll\"><table>\n"
           "<tr><th class=\"name\">file</th><th>records</th><th>correlation</th><th>slope</th>"
           "<th>cross-entropy</th></tr>\n";
  const struct {
    const std::string& name;
    const ScoreFigures& figures;
    bool shown;
  } files[] = {{facts.fv, corpus.score, true},
               {facts.compare_fv, corpus.compare_score, corpus.comparing}};
  for (const auto& file : files) {
    if (!file.shown) continue;
    const ScoreFigures& f = file.figures;
    *html += "<tr>" + NameCell(file.name) + "<td>" + Count(f.records) + "</td><td>" +
             Format("%.4f", f.correlation) + "</td><td>" + Format("%.4f", f.slope) + "</td><td>" +
             Format("%.4f", f.cross_entropy) + "</td></tr>\n";
  }
  *html += "</table></div>\n<p class=\"meta\">The search's score against the value, both from "
           "black's view: their correlation, the least-squares slope of score on value, and the "
           "cross-entropy of the value's curve against the score's under the scale.</p>\n";
  *html += Figure(facts, kScorePicturePath, "the mean score by value",
                  "The mean score of the records of each bucket of value (a dot's area grows with "
                  "its records) and the diagonal where score equals value",
                  true);
  *html += "<h2>Packed files</h2>\n<div class=\"scroll\"><table>\n<tr><th class=\"name\">file"
           "</th><th>records</th><th>refused records</th><th>left out</th></tr>\n";
  for (const PackedFileCounts& f : corpus.found.packed) {
    *html += "<tr>" + NameCell(f.path) + "<td>" + Count(f.evaluated) + "</td><td>" +
             Count(f.refused) + "</td><td>" + Count(f.left_out) + "</td></tr>\n";
  }
  *html += "</table></div>\n";
}

void CorpusSummary(const RunFacts& facts, const CorpusAnalysis& corpus, std::string* html) {
  const CorpusPartial& found = corpus.found;
  const ResultCounts& r = found.results;
  *html += "<h2>Summary</h2>\n<div class=\"scroll\"><table>\n<tr><th class=\"name\">games</th>"
           "<th>positions</th><th>refused</th><th>black won</th><th>white won</th><th>drawn</th>"
           "<th>unknown</th><th>from ply</th></tr>\n<tr><td class=\"name\">" + Count(found.games) +
           "</td><td>" + Count(found.positions) + "</td><td>" + Count(found.refused.size()) +
           "</td><td>" + Count(r.black) + "</td><td>" + Count(r.white) + "</td><td>" +
           Count(r.draw) + "</td><td>" + Count(r.unknown) + "</td><td>" + Count(found.from_ply) +
           "</td></tr>\n</table></div>\n";
  *html += "<h2>How well the value predicts the result</h2>\n<div class=\"scroll\"><table>\n"
           "<tr><th class=\"name\">file</th><th>a</th><th>b</th><th>cross-entropy</th>"
           "<th>positions</th><th>scale " + std::to_string(corpus.scale) +
           ": cross-entropy</th></tr>\n";
  const struct {
    const std::string& name;
    const CorpusFileFigures& figures;
    bool shown;
  } files[] = {{facts.fv, corpus.first, true}, {facts.compare_fv, corpus.second, corpus.comparing}};
  for (const auto& file : files) {
    if (!file.shown) continue;
    const WinFit& fit = file.figures.fit;
    *html += "<tr>" + NameCell(file.name);
    *html += fit.converged ? "<td>" + Format("%.1f", fit.a) + "</td><td>" + Format("%.1f", fit.b) +
                                 "</td><td>" + Format("%.6f", fit.cross_entropy) + "</td><td>" +
                                 Count(fit.positions) + "</td>"
                           : std::string("<td colspan=\"4\">no fit</td>");
    *html += "<td>" + (file.figures.scale_known ? Format("%.6f", file.figures.scale_cross_entropy)
                                                : std::string("none")) +
             "</td></tr>\n";
  }
  *html += "</table></div>\n<p class=\"meta\">P(black wins) = 1 / (1 + exp(-(value - a) / b)), "
           "fitted by maximum likelihood to the positions of decided games; cross-entropy in nats "
           "per position.</p>\n";
  *html += Figure(facts, kCorpusChartPath, "black's wins by value",
                  "Black's share of the decided positions of each bucket (a dot's area grows with "
                  "its positions), the fitted curves and the scale curve",
                  true);
  if (corpus.score.records > 0) ScoreSection(facts, corpus, html);
  *html += "<h2>Calibration</h2>\n<div class=\"scroll\"><table>\n<thead><tr><th>from</th>"
           "<th>to</th><th>positions</th><th>black won</th><th>white won</th><th>drawn</th></tr>"
           "</thead>\n<tbody>\n";
  for (const CalibrationBucket& b : corpus.first.calibration) {
    *html += "<tr><td>" + (b.from == -kCalibrationOpenEnd ? std::string("") : Count(b.from)) +
             "</td><td>" + (b.to == kCalibrationOpenEnd ? std::string("") : Count(b.to)) +
             "</td><td>" + Count(b.positions) + "</td><td>" + Count(b.counts.black) + "</td><td>" +
             Count(b.counts.white) + "</td><td>" + Count(b.counts.draw) + "</td></tr>\n";
  }
  *html += "</tbody></table></div>\n";
  if (found.refused.empty()) return;
  *html += "<h2>Refused games</h2>\n<div class=\"scroll\"><table>\n<tr><th class=\"name\">file"
           "</th><th>game</th><th class=\"name\">why</th></tr>\n";
  for (const RefusedGame& g : found.refused) {
    *html += "<tr>" + NameCell(g.path) + "<td>" + Count(g.file_game) + "</td><td class=\"name\">" +
             EscapeHtml(g.why) + "</td></tr>\n";
  }
  *html += "</table></div>\n";
}

// A ranking of used entries, with the pictures of its ranks when drawn.
void UseTable(const RunFacts& facts, const UseRanking& ranking, bool changes, bool drawn,
              bool kppt, std::string* html) {
  *html += std::string("<h2>") + (changes ? "Ranking of changes in use" : "Ranking of use") +
           "</h2>\n";
  if (drawn) {
    *html += "<div class=\"cards\">\n";
    for (int r = 0; r < ranking.count; ++r) {
      const UseRankEntry& e = ranking.entries[r];
      *html += Card(facts, RankPicturePath(r + 1), r + 1,
                    (changes ? "change " : "contribution ") +
                        Format("%+.0f", static_cast<double>(e.contribution)),
                    TermNames(UseTerm(e, e.value)));
    }
    *html += "</div>\n<h3>As a table</h3>\n";
  }
  *html += std::string("<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr><th>rank</th><th>") +
           (changes ? "change" : "contribution") + "</th><th>reads</th>" +
           (changes ? "<th>before</th><th>after</th>" : "<th>value</th>") +
           (!kppt ? "" : changes ? "<th>turn before</th><th>turn after</th>" : "<th>turn</th>") +
           "<th class=\"name\">king</th><th class=\"name\">first piece</th>"
           "<th class=\"name\">second piece</th>" +
           (drawn ? "<th class=\"name\">picture</th>" : "") + "</tr></thead>\n<tbody>\n";
  for (int r = 0; r < ranking.count; ++r) {
    const UseRankEntry& e = ranking.entries[r];
    const RankedTerm t = UseTerm(e, e.value);
    *html += "<tr><td data-v=\"" + Count(r + 1) + "\">" + Count(r + 1) + "</td>" +
             NumberCell(e.contribution, Format("%+.0f", static_cast<double>(e.contribution))) +
             "<td>" + Count(int64_t{e.black_reads} + e.white_reads) + "</td>" +
             NumberCell(e.value, Count(e.value)) +
             (changes ? NumberCell(e.after, Count(e.after)) : std::string()) +
             (kppt ? NumberCell(e.turn, Count(e.turn)) : std::string()) +
             (kppt && changes ? NumberCell(e.after_turn, Count(e.after_turn)) : std::string()) +
             NameCell(CellName(t.king, t.king_code)) + NameCell(CellName(t.cell_a, t.code_a)) +
             NameCell(CellName(t.cell_b, t.code_b)) + (drawn ? Thumbnail(facts, RankPicturePath(r + 1), r + 1) : "") +
             "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

void UsageSection(const RunFacts& facts, const CorpusAnalysis& corpus, std::string* html) {
  const UseSummary& u = corpus.usage;
  *html += "<h2>Which entries the games read</h2>\n<p>" + Count(u.kpp_read) + " of " +
           Count(u.kpp_entries) + " KPP entries (" +
           Format("%.3f", 100.0 * u.kpp_read / u.kpp_entries) + "%) and " + Count(u.kkp_read) +
           " of " + Count(u.kkp_entries) + " KKP entries (" +
           Format("%.3f", 100.0 * u.kkp_read / u.kkp_entries) + "%) were read" +
           (u.kppt ? ": a KPPT set's pairs, each ranked by its board part, its turn part beside"
                   : "") +
           ".</p>\n";
  *html += Figure(facts, kCoveragePicturePath, "the share of each king square's entries read",
                  "The share of each king square's KPP triangle that the games read");
  UseTable(facts, u.ranking, false, !corpus.comparing, u.kppt, html);
  if (corpus.comparing) UseTable(facts, u.changes, true, true, u.kppt, html);
}

// The pull of the results under the first file: the map of king squares,
// the cards of its ranking and the table.
void PullSection(const RunFacts& facts, const PullFigures& pull, bool kppt, std::string* html) {
  *html += "<h2>Which entries the results argue with</h2>\n<p>The pull of an entry is the "
           "residual of each position (1 or 0 for a game black or white won, less the scale "
           "curve's chance of a black win) summed over the entry's reads, black's added and "
           "white's taken away: positive, the results want it larger. Its pull is not 0 for " +
           Count(pull.entries) + " entries; their |pull| sums to " + Format("%.3f", pull.total) +
           ".</p>\n";
  *html += Figure(facts, kPullPicturePath, "the pull of each king square",
                  "The sum of |pull| over each king square's KPP entries");
  *html += "<div class=\"cards\">\n";
  for (int r = 0; r < pull.ranking.count; ++r) {
    const UseRankEntry& e = pull.ranking.entries[r];
    *html += Card(facts, PullPicturePath(r + 1), r + 1, "pull " + PullText(e.contribution),
                  TermNames(UseTerm(e, e.value)));
  }
  *html += std::string("</div>\n<h3>As a table</h3>\n<div class=\"scroll\"><table class=\"sortable\">\n"
           "<thead><tr><th>rank</th><th>pull</th><th>reads</th><th>mean</th><th>value</th>") +
           (kppt ? "<th>turn</th>" : "") +
           "<th class=\"name\">king</th><th class=\"name\">first piece</th>"
           "<th class=\"name\">second piece</th><th class=\"name\">picture</th></tr></thead>\n"
           "<tbody>\n";
  for (int r = 0; r < pull.ranking.count; ++r) {
    const UseRankEntry& e = pull.ranking.entries[r];
    const RankedTerm t = UseTerm(e, e.value);
    const int64_t reads = int64_t{e.black_reads} + e.white_reads;
    const double value = static_cast<double>(e.contribution) * kPullUnit;
    *html += "<tr><td data-v=\"" + Count(r + 1) + "\">" + Count(r + 1) + "</td>" +
             DecimalCell(value, Format("%+.3f", value)) + "<td>" + Count(reads) + "</td>" +
             DecimalCell(value / static_cast<double>(reads), Format("%+.4f", value / static_cast<double>(reads))) +
             NumberCell(e.value, Count(e.value)) +
             (kppt ? NumberCell(e.turn, Count(e.turn)) : std::string()) +
             NameCell(CellName(t.king, t.king_code)) +
             NameCell(CellName(t.cell_a, t.code_a)) + NameCell(CellName(t.cell_b, t.code_b)) +
             Thumbnail(facts, PullPicturePath(r + 1), r + 1) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

// A background on a diverging scale: blue for positive, red for negative,
// white near 0, full at limit.
std::string DivergingBackground(double value, double limit) {
  const double t = limit > 0 ? std::min(1.0, std::abs(value) / limit) : 0;
  const int fade = static_cast<int>(std::lround(255 * (1 - t)));
  char colour[32];
  if (value >= 0) {
    std::snprintf(colour, sizeof colour, "rgb(%d,%d,255)", fade, fade);
  } else {
    std::snprintf(colour, sizeof colour, "rgb(255,%d,%d)", fade, fade);
  }
  return colour;
}

// A row per hand kind of a map, a cell per count, "-" where blank; with
// limit > 0 each cell coloured on the diverging scale to limit, its name and
// count as a tooltip.
void MapHandRows(const TableMap& map, double limit, std::string* html) {
  for (int h = 0; h < map.hand_count; ++h) {
    const MapHand& hand = map.hands[h];
    const std::string name = MapHandName(hand);
    *html += "<tr>" + NameCell(name);
    for (int c = 0; c < hand.counts; ++c) {
      const std::string value = hand.present[c] ? std::to_string(hand.values[c]) : "-";
      if (limit > 0) {
        *html += "<td style=\"background:" + DivergingBackground(hand.values[c], limit) +
                 "\" title=\"" + EscapeHtml(name) + std::to_string(hand.first_count + c) + "\">" +
                 value + "</td>";
      } else {
        *html += "<td>" + value + "</td>";
      }
    }
    *html += "</tr>\n";
  }
}

// Each grid of a map as a small table of coloured squares, each with its
// value as a tooltip.
void MapGrids(const TableMap& map, std::string* html) {
  const double limit = std::max(1, MapLargestMagnitude(map));
  *html += "<h2>The grids</h2>\n<p class=\"meta\">Table units, as they favour black (blue) or "
           "white (red); a square's value shows when the pointer rests on it.</p>\n"
           "<div class=\"grids\">\n";
  for (int g = 0; g < map.grid_count; ++g) {
    const MapGrid& grid = map.grids[g];
    const std::string name = MapGridName(grid);
    *html += "<table class=\"grid\"><caption>" + EscapeHtml(name) + "</caption>\n";
    for (int row = 0; row < kRanks; ++row) {
      *html += "<tr>";
      for (int column = 0; column < kFiles; ++column) {
        const int s = row * kFiles + column;
        const std::string square = std::to_string(FileOf(s)) + std::to_string(RankOf(s));
        if (!grid.present[s]) {
          *html += "<td class=\"blank\" title=\"" + name + " " + square + ": none\"></td>";
          continue;
        }
        std::string tip = name + " " + square + ": " + std::to_string(grid.values[s]);
        if (map.compared) {
          tip += " (" + std::to_string(grid.before[s]) + " to " + std::to_string(grid.after[s]) + ")";
        }
        *html += "<td style=\"background:" + DivergingBackground(grid.values[s], limit) +
                 "\" title=\"" + EscapeHtml(tip) + "\"></td>";
      }
      *html += "</tr>\n";
    }
    *html += "</table>\n";
  }
  *html += "</div>\n<h2>Hands</h2>\n<div class=\"scroll\"><table>\n";
  MapHandRows(map, limit, html);
  *html += "</table></div>\n";
}

void CensusTable(const TableCensus& c, std::string* html) {
  *html += "<h2>Per king square</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
           "<th>king square</th><th class=\"name\">name</th><th>KPP not 0</th><th>KPP mean</th>"
           "<th>KPP max</th><th>KPP saturated</th><th>KKP not 0</th><th>KKP mean</th>"
           "<th>KKP max</th><th>KKP saturated</th>";
  if (c.compared) *html += "<th>KPP changed</th><th>KPP mean change</th><th>KKP changed</th><th>KKP mean change</th>";
  *html += "</tr></thead>\n<tbody>\n";
  const auto row = [&](const std::string& k, const std::string& name, const CensusCounts& kpp,
                       const CensusCounts& kkp, const CensusChange& kpp_change,
                       const CensusChange& kkp_change) {
    *html += "<tr><td>" + k + "</td>" + NameCell(name);
    for (const CensusCounts* t : {&kpp, &kkp}) {
      *html += "<td>" + Count(t->nonzero) + "</td><td>" + Format("%.2f", CensusMean(*t)) +
               "</td><td>" + Count(t->largest) + "</td><td>" + Count(t->saturated) + "</td>";
    }
    if (c.compared) {
      *html += "<td>" + Count(kpp_change.changed) + "</td><td>" +
               Format("%.2f", CensusChangeMean(kpp_change, kpp.entries)) + "</td><td>" +
               Count(kkp_change.changed) + "</td><td>" +
               Format("%.2f", CensusChangeMean(kkp_change, kkp.entries)) + "</td>";
    }
    *html += "</tr>\n";
  };
  for (int k = 0; k < kSquares; ++k) {
    row(Count(k), std::to_string(FileOf(k)) + std::to_string(RankOf(k)), c.kpp[k], c.kkp[k],
        c.kpp_change[k], c.kkp_change[k]);
  }
  *html += "</tbody>\n<tfoot>";
  row("", "total", c.kpp_total, c.kkp_total, c.kpp_change_total, c.kkp_change_total);
  *html += "</tfoot></table></div>\n";
}

// The page up to its body's first section: the title, the files, the leaf's
// SFEN when there is one, and the warnings of the run.
std::string PageHead(const RunFacts& facts, const std::string& title, const std::string& leaf_sfen) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>fvscope: " + EscapeHtml(title) + " (" + EscapeHtml(facts.fv) +
                     ")</title>\n<style>" + kStyle +
                     "</style>\n</head>\n<body>\n<h1>" + EscapeHtml(title) + "</h1>\n";
  html += "<p class=\"meta\">Evaluation file <code>" + EscapeHtml(facts.fv) + "</code>";
  if (!facts.compare_fv.empty()) {
    html += ", compared with <code>" + EscapeHtml(facts.compare_fv) + "</code>";
  }
  if (!leaf_sfen.empty()) html += "; leaf <code>" + EscapeHtml(leaf_sfen) + "</code>";
  html += "</p>\n";
  if (!facts.warnings.empty()) {
    html += "<div class=\"warnings\"><p>Warnings of the run:</p><ul>\n";
    for (const std::string& w : facts.warnings) html += "<li>" + EscapeHtml(w) + "</li>\n";
    html += "</ul></div>\n";
  }
  return html;
}

// A record format's name as the page writes it: "CSA", "KIF", "USI".
std::string RecordFormatText(const char* format) {
  std::string text = format;
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The end of every page: the sorting script.
std::string PageTail() {
  return "<script>" + std::string(kSortScript) + "</script>\n</body>\n</html>\n";
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '&': escaped += "&amp;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

namespace {

// A network's inputs ranked by change, as cards and as a table.
void FeaturesTable(const RunFacts& facts, const Ranking& ranking, std::string* html) {
  *html += "<h2>Ranking of features</h2>\n<p class=\"meta\">Each input's change: the value "
           "minus the value with that input left out of its view, in points.</p>\n"
           "<div class=\"cards\">\n";
  const auto names = [](const RankedTerm& t) {
    return "[" + CellName(t.king, t.king_code) + "]-[" + InputName(t.cell_a, t.code_a) + "]";
  };
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    *html += Card(facts, RankPicturePath(r + 1), r + 1, "change " + Format("%+.0f", t.value),
                  names(t));
  }
  *html += "</div>\n<h3>As a table</h3>\n<div class=\"scroll\"><table class=\"sortable\">\n"
           "<thead><tr><th>rank</th><th>change</th><th class=\"name\">king</th>"
           "<th class=\"name\">piece</th><th class=\"name\">picture</th></tr></thead>\n"
           "<tbody>\n";
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    *html += "<tr><td data-v=\"" + std::to_string(r + 1) + "\">" + std::to_string(r + 1) + "</td>" +
             NumberCell(t.value, Format("%+.0f", t.value)) +
             NameCell(CellName(t.king, t.king_code)) + NameCell(InputName(t.cell_a, t.code_a)) +
             Thumbnail(facts, RankPicturePath(r + 1), r + 1) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

}  // namespace

std::string HtmlPage(const RunFacts& facts, const LeafAnalysis& leaf) {
  const std::string title =
      std::string(leaf.mode) == "position" ? "Analysis of a position" : "Game analysis";
  std::string html = PageHead(facts, title, PositionSfen(leaf.leaf, SideAfter(leaf.pv)));
  if (leaf.record_format != nullptr) {
    html += "<p class=\"meta\">The position was read as a " + RecordFormatText(leaf.record_format) +
            (std::string(leaf.record_format) == "usi" ? " text" : " record") + ".</p>\n";
  }
  Summary(facts, leaf, &html);
  Boards(facts, leaf, &html);
  const bool network = leaf.breakdown.kind == EvalKind::kNetwork;
  if (network) {
    NetworkSummary(leaf.breakdown.network, &html);
  } else if (leaf.breakdown.kind == EvalKind::kKppt) {
    KpptSummary(leaf.breakdown.kppt, &html);
    Histograms(leaf.breakdown.kppt.tally, &html);
  } else {
    Histograms(leaf.breakdown.table.tally, &html);
  }
  if (leaf.with_pieces) PiecesTable(leaf, &html);
  if (network && !leaf.comparing) {
    FeaturesTable(facts, leaf.ranking, &html);
  } else if (!leaf.comparing || leaf.comparison.terms) {
    html += leaf.comparing ? "<h2>Ranking of changes</h2>\n" : "<h2>Ranking</h2>\n";
    RankingTable(facts, ShownRanking(leaf), leaf.comparing, &html,
                 leaf.breakdown.kind == EvalKind::kKppt);
  }
  return html + PageTail();
}

namespace {

// A KPPT set's scan: the summary and the ranking of the part (or its change).
std::string KpptScanPage(const RunFacts& facts, const KpptScan& scan) {
  const int k = scan.king_square;
  std::string html = PageHead(facts,
                              "Table scan of king square " + std::to_string(k) + " (" +
                                  CellName(k, kKing) + "), " + KpptPartName(scan.part) + " part",
                              "");
  html += "<h2>Summary</h2>\n<p>" + std::to_string(scan.count) +
          (scan.compared ? " pairs of this king square's KPP differ in the " +
                               std::string(KpptPartName(scan.part)) + " part between the two sets"
                         : " pairs of two pieces of this king square's KPP have a " +
                               std::string(KpptPartName(scan.part)) + " part other than 0") +
          "; the " + std::to_string(scan.ranking.count) +
          " first are ranked below, each drawn as the king and the two pieces of its features.</p>\n";
  html += scan.compared ? "<h2>Ranking of changes</h2>\n" : "<h2>Ranking</h2>\n";
  RankingTable(facts, scan.ranking, scan.compared, &html);
  if (!scan.compared) {
    html += "<h3>Both parts</h3>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
            "<th>rank</th><th>board</th><th>turn</th><th class=\"name\">entry</th></tr></thead>\n"
            "<tbody>\n";
    for (int r = 0; r < scan.ranking.count; ++r) {
      const RankedTerm& t = scan.ranking.terms[r];
      html += "<tr><td>" + std::to_string(r + 1) + "</td>" +
              NumberCell(t.board, std::to_string(t.board)) +
              NumberCell(t.turn, std::to_string(t.turn)) + NameCell(TermNames(t)) + "</tr>\n";
    }
    html += "</tbody></table></div>\n";
  }
  return html + PageTail();
}

}  // namespace

std::string HtmlPage(const RunFacts& facts, const ScanAnalysis& scan) {
  if (scan.kppt) return KpptScanPage(facts, scan.kppt_scan);
  const int k = scan.comparing ? scan.comparison.king_square : scan.scan.king_square;
  const std::string title =
      "Table scan of king square " + std::to_string(k) + " (" + CellName(k, kKing) + ")";
  std::string html = PageHead(facts, title, "");
  if (scan.comparing) {
    html += "<h2>Summary</h2>\n<p>" + std::to_string(scan.comparison.changed) +
            " entries of this king square's table differ between the two files.</p>\n";
  } else {
    html += "<h2>Summary</h2>\n<p>" + std::to_string(scan.scan.count) +
            " entries of this king square's table exceed 2000 table units in magnitude; the " +
            std::to_string(scan.scan.ranking.count) + " largest are ranked below, each drawn " +
            "as the king and the two pieces of its features.</p>\n";
  }
  html += scan.comparing ? "<h2>Ranking of changes</h2>\n" : "<h2>Ranking</h2>\n";
  RankingTable(facts, ShownRanking(scan), scan.comparing, &html);
  return html + PageTail();
}

std::string HtmlPage(const RunFacts& facts, const RecordAnalysis& record) {
  std::string html = PageHead(facts, "Every position of a record", "");
  html += "<p class=\"meta\">Read as a " + RecordFormatText(record.record_format) + " record.</p>\n";
  RecordSection(facts, record, &html);
  return html + PageTail();
}

namespace {

// The use of a network's inputs: the map of each king square's share ever
// active and the most used inputs as cards and a table.
void FeatureUseSection(const RunFacts& facts, const FeatureUseSummary& use, std::string* html) {
  *html += "<h2>Use of the network's inputs</h2>\n<p class=\"meta\">" +
           std::to_string(use.active) + " of " + std::to_string(kNetworkInputs) +
           " inputs (king square x feature) were active in some view, over " +
           std::to_string(use.views) + " views.</p>\n";
  *html += Figure(facts, kCoveragePicturePath, "the map of inputs ever active",
                  "Share of each king square's 1548 inputs ever active", true);
  *html += "<div class=\"cards\">\n";
  for (int r = 0; r < use.count; ++r) {
    *html += Card(facts, RankPicturePath(r + 1), r + 1,
                  "views " + std::to_string(use.ranking[r].views), FeatureUseName(use.ranking[r]));
  }
  *html += "</div>\n";
}

// A network's activations over the corpus: a table per layer's totals, the
// strips, the dead and saturated neurons, the histogram before the clamp.
void ActivationsSection(const RunFacts& facts, const Activations& a, std::string* html) {
  *html += "<h2>Activations of the network's neurons</h2>\n<p class=\"meta\">Over " +
           Count(a.positions) +
           " positions: each neuron's outputs clamped at 0, between, and clamped at 127 (the "
           "transformer's over both views). Dead neurons never rose above 0; saturated ones "
           "were always at 127.</p>\n";
  *html += "<div class=\"scroll\"><table>\n<thead><tr><th class=\"name\">layer</th>"
           "<th>neurons</th><th>at 0</th><th>between</th><th>at 127</th><th>mean</th>"
           "<th class=\"name\">dead</th><th class=\"name\">saturated</th></tr></thead>\n<tbody>\n";
  for (int l = 0; l < kActivationLayers; ++l) {
    const LayerActivitySummary s = SummarizeLayerActivity(a, l);
    const NeuronActivity& t = s.total;
    const double all = static_cast<double>(LayerOutputs(a, l)) * a.widths[l];
    const auto share = [&](uint64_t c) { return Format("%.2f%%", all > 0 ? 100.0 * c / all : 0.0); };
    *html += "<tr>" + NameCell(ActivationLayerName(l)) + "<td>" + Count(a.widths[l]) + "</td><td>" +
             share(t.zero) + "</td><td>" + share(t.between) + "</td><td>" + share(t.max) +
             "</td><td>" + Format("%.2f", all > 0 ? t.sum / all : 0.0) + "</td>" +
             NameCell(NeuronList(s.dead)) + NameCell(NeuronList(s.saturated)) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
  for (int l = 0; l < kActivationLayers; ++l) {
    *html += Figure(facts, ActivationPicturePath(l), std::string("the activations of the ") +
                    ActivationLayerName(l),
                    std::string("Each neuron of the ") + ActivationLayerName(l) +
                        ": its share of outputs at 0, between and at 127",
                    true);
  }
  *html += Figure(facts, kActivationHistogramPath, "the histogram of the transformer's values",
                  "The transformer's values before the clamp", true);
}

}  // namespace

std::string HtmlPage(const RunFacts& facts, const CorpusAnalysis& corpus) {
  std::string html = PageHead(facts, "A corpus of games", "");
  CorpusSummary(facts, corpus, &html);
  if (corpus.with_usage) {
    UsageSection(facts, corpus, &html);
    PullSection(facts, corpus.usage.pull, corpus.usage.kppt, &html);
  }
  if (corpus.with_features) FeatureUseSection(facts, corpus.features, &html);
  if (corpus.with_activations) ActivationsSection(facts, corpus.activations, &html);
  return html + PageTail();
}

namespace {

std::string NetworkMapPage(const RunFacts& facts, const NetworkMap& map) {
  const std::string what = map.neuron >= 0 ? "neuron " + std::to_string(map.neuron) + "'s weights"
                                           : "the magnitude of each feature's weights";
  std::string html = PageHead(facts, "Map of " + PlaceName(map.king) + " in the network: " + what, "");
  html += Figure(facts, kMapPicturePath, "the map",
                 map.neuron >= 0 ? "The weight of each feature for the neuron"
                                 : "Root of the sum of each feature's squared weights",
                 true);
  html += "<h2>Hands</h2>\n<p class=\"meta\">The 1st, 2nd, ... piece held.</p>\n"
          "<div class=\"scroll\"><table>\n";
  for (int h = 0; h < map.hand_count; ++h) {
    const NeuronHand& hand = map.hands[h];
    html += "<tr>" + NameCell(NeuronHandName(hand));
    for (int c = 0; c < hand.counts; ++c) {
      html += "<td>" + Format(map.neuron >= 0 ? "%.0f" : "%.1f", hand.values[c]) + "</td>";
    }
    html += "</tr>\n";
  }
  html += "</table></div>\n";
  return html + PageTail();
}

}  // namespace

namespace {

// A KPPT set's map: the picture and the values of the hands.
std::string KpptMapPage(const RunFacts& facts, const KpptMap& map) {
  const TableMap& table = map.table;
  const std::string title = "Map of " + PlaceName(table.request.king) + " and " +
                            PlaceName(table.request.piece) +
                            (table.kkp ? " (KPPT KKP, " : " (KPPT KPP, ") + KpptPartName(map.part) +
                            " part)";
  std::string html = PageHead(facts, title, "");
  html += Figure(facts, kMapPicturePath, "the map",
                 table.compared ? "After minus before, in table units"
                 : map.part == KpptPart::kTurn
                     ? "The turn part in table units, a bonus to the side to move"
                     : "The board part in table units, as it favours black",
                 true);
  if (table.kkp) {
    html += "<p>KK of both kings: board " + std::to_string(map.kk.board) + ", turn " +
            std::to_string(map.kk.turn) + ".</p>\n";
  }
  html += "<h2>Hands</h2>\n<p class=\"meta\">The 1st, 2nd, ... piece held.</p>\n"
          "<div class=\"scroll\"><table>\n";
  MapHandRows(table, 0, &html);
  html += "</table></div>\n";
  return html + PageTail();
}

}  // namespace

std::string HtmlPage(const RunFacts& facts, const MapAnalysis& analysis) {
  if (analysis.kind == EvalKind::kNetwork) return NetworkMapPage(facts, analysis.network);
  if (analysis.kind == EvalKind::kKppt) return KpptMapPage(facts, analysis.kppt);
  const TableMap& map = analysis.map;
  const std::string title = "Map of " + PlaceName(map.request.king) + " and " +
                            PlaceName(map.request.piece) + (map.kkp ? " (KKP)" : " (KPP)");
  std::string html = PageHead(facts, title, "");
  html += Figure(facts, kMapPicturePath, "the map",
                 map.compared ? "After minus before, in table units" : "Values in table units",
                 true);
  MapGrids(map, &html);
  return html + PageTail();
}

namespace {

std::string FiguresCells(const ValueFigures& f) {
  return "<td>" + Count(f.count) + "</td><td>" + Count(f.minimum) + "</td><td>" + Count(f.maximum) +
         "</td><td>" + Format("%.3f", f.mean) + "</td><td>" + Format("%.3f", f.deviation) +
         "</td><td>" + Format("%.2f%%", 100 * f.zero_share) + "</td>";
}

void LayerTable(const char* title, const LayerFigures* layers, std::string* html) {
  *html += std::string("<h2>") + title + "</h2>\n<div class=\"scroll\"><table>\n<thead><tr>"
           "<th class=\"name\">layer</th><th>weights</th><th>min</th><th>max</th><th>mean</th>"
           "<th>sd</th><th>zeros</th><th>biases</th><th>min</th><th>max</th><th>mean</th>"
           "<th>sd</th><th>zeros</th></tr></thead>\n<tbody>\n";
  for (int l = 0; l < kNetworkLayers; ++l) {
    *html += "<tr>" + NameCell(kNetworkLayerNames[l]) + FiguresCells(layers[l].weights) +
             FiguresCells(layers[l].biases) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

std::string NeuronList(const std::vector<int32_t>& neurons) {
  std::string text;
  for (int32_t n : neurons) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text.empty() ? "none" : text;
}

std::string NetworkCensusPage(const RunFacts& facts, const NetworkCensus& c) {
  std::string html = PageHead(facts, "Census of the network", "");
  html += Figure(facts, kCensusPicturePath, "the census maps",
                 c.compared ? "Mean |weight|, features never trained and mean |after - before| "
                              "per king square"
                            : "Mean |weight| and features never trained per king square",
                 true);
  LayerTable("Layers", c.layers, &html);
  if (c.compared) LayerTable("The change, after - before", c.changes, &html);
  html += "<h2>Neurons that never fire</h2>\n<p>Layer 1: " + NeuronList(c.dead[0]) +
          ".<br>Layer 2: " + NeuronList(c.dead[1]) + ".</p>\n";
  html += "<h2>Per king square</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
          "<th class=\"name\">king square</th><th>mean |weight|</th><th>never trained</th>";
  if (c.compared) html += "<th>mean |change|</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (int s = 0; s < kSquares; ++s) {
    const int k = FeatureSquare(s);
    html += "<tr>" + NameCell(std::to_string(FileOf(s)) + std::to_string(RankOf(s))) + "<td>" +
            Format("%.3f", c.king_magnitude[k]) + "</td><td>" + Count(c.king_untrained[k]) + "</td>";
    if (c.compared) html += "<td>" + Format("%.3f", c.king_change[k]) + "</td>";
    html += "</tr>\n";
  }
  html += "</tbody></table></div>\n";
  if (c.compared) {
    const Ranking ranking = MovedRanking(c);
    html += "<h2>The inputs that moved most</h2>\n<div class=\"cards\">\n";
    for (int r = 0; r < ranking.count; ++r) {
      html += Card(facts, RankPicturePath(r + 1), r + 1, "moved " + Count(c.moved[r].moved),
                   TermNames(ranking.terms[r]));
    }
    html += "</div>\n";
  }
  return html + PageTail();
}

}  // namespace

namespace {

// A KPPT set's census: the maps and, per king square, both parts of KPP and
// KKP (compared, their changes).
std::string KpptCensusPage(const RunFacts& facts, const KpptCensus& c) {
  std::string html = PageHead(facts, std::string("Census of the KPPT set (") +
                                         KpptLayoutName(c.layout) + ")", "");
  html += Figure(facts, kCensusPicturePath, "the census maps",
                 c.compared ? "Mean |after - before| of KPP per king square, by part"
                            : "Mean |value| of KPP per king square, by part",
                 true);
  struct Column {
    const char* name;
    bool kpp;
    int part;
  };
  std::vector<Column> columns;
  for (int p = 0; p < c.kpp_parts; ++p) columns.push_back({p == 0 ? "KPP board" : "KPP turn", true, p});
  columns.push_back({"KKP board", false, 0});
  columns.push_back({"KKP turn", false, 1});
  html += "<h2>Per king square</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
          "<th>king square</th><th class=\"name\">name</th>";
  for (const Column& column : columns) {
    const std::string n = column.name;
    html += "<th>" + n + " not 0</th><th>" + n + " mean</th><th>" + n + " max</th>";
    if (c.compared) html += "<th>" + n + " changed</th><th>" + n + " mean change</th>";
  }
  html += "</tr></thead>\n<tbody>\n";
  const auto row = [&](const std::string& index, const std::string& name,
                       const KpptCensusCell& kpp, const KpptCensusCell& kkp) {
    html += "<tr><td>" + index + "</td>" + NameCell(name);
    for (const Column& column : columns) {
      const KpptCensusCell& cell = column.kpp ? kpp : kkp;
      const CensusCounts& t = cell.counts[column.part];
      html += "<td>" + Count(t.nonzero) + "</td><td>" + Format("%.2f", CensusMean(t)) +
              "</td><td>" + Count(t.largest) + "</td>";
      if (c.compared) {
        html += "<td>" + Count(cell.change[column.part].changed) + "</td><td>" +
                Format("%.2f", CensusChangeMean(cell.change[column.part], t.entries)) + "</td>";
      }
    }
    html += "</tr>\n";
  };
  for (int s = 0; s < kSquares; ++s) {
    const int k = FeatureSquare(s);
    row(Count(s), std::to_string(FileOf(s)) + std::to_string(RankOf(s)), c.kpp[k], c.kkp[k]);
  }
  html += "</tbody>\n<tfoot>";
  row("", "total", c.kpp_total, c.kkp_total);
  html += "</tfoot></table></div>\n";
  if (c.has_kk) {
    html += "<p>KK: board not 0 " + Count(c.kk.counts[0].nonzero) + ", mean " +
            Format("%.2f", CensusMean(c.kk.counts[0])) + "; turn not 0 " +
            Count(c.kk.counts[1].nonzero) + ", mean " + Format("%.2f", CensusMean(c.kk.counts[1])) +
            ".</p>\n";
  }
  return html + PageTail();
}

}  // namespace

std::string HtmlPage(const RunFacts& facts, const CensusAnalysis& analysis) {
  if (analysis.kind == EvalKind::kNetwork) return NetworkCensusPage(facts, analysis.network);
  if (analysis.kind == EvalKind::kKppt) return KpptCensusPage(facts, analysis.kppt);
  std::string html = PageHead(facts, "Census of the evaluation file", "");
  html += Figure(facts, kCensusPicturePath, "the census maps",
                 analysis.census.compared ? "Mean |after - before| per king square"
                                          : "Mean |value| per king square",
                 true);
  CensusTable(analysis.census, &html);
  return html + PageTail();
}

std::string HtmlPage(const RunFacts& facts, const SquaresAnalysis& analysis) {
  const PieceSquares& q = analysis.squares;
  const std::string name = SquaresPieceName(q.piece);
  std::string html = PageHead(facts, "Where " + name + " is worth most",
                              PositionSfen(analysis.leaf, analysis.to_move));
  html += "<p class=\"meta\">The leaf's value: " + std::to_string(q.value) + ", " +
          SideName(analysis.to_move) + " to move.</p>\n";
  html += Figure(facts, kSquaresPicturePath, "the squares of " + name,
                 "Value with the piece on each square minus the value now, in points", true);
  html += "<h2>Squares, best for the piece's side first</h2>\n<div class=\"scroll\"><table "
          "class=\"sortable\">\n<thead><tr><th>rank</th><th class=\"name\">square</th>"
          "<th>value</th><th>change</th></tr></thead>\n<tbody>\n";
  for (int i = 0; i < q.count; ++i) {
    const SquareValue& e = q.ranked[i];
    html += "<tr><td>" + Count(i + 1) + "</td>" +
            NameCell(std::to_string(FileOf(e.square)) + std::to_string(RankOf(e.square))) +
            NumberCell(e.value, Count(e.value)) +
            NumberCell(e.change, (e.change > 0 ? "+" : "") + Count(e.change)) + "</tr>\n";
  }
  html += "</tbody></table></div>\n";
  return html + PageTail();
}

}  // namespace fvscope
