#include "report/html_page.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "report/console.h"
#include "report/paths.h"
#include "shogi/cell_name.h"
#include "shogi/notation.h"

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

void Histograms(const LeafBreakdown& breakdown, std::string* html) {
  const TermTally& t = breakdown.tally;
  *html += "<h2>KPP terms by size</h2>\n<div class=\"histograms\">\n";
  Histogram("black", t.black_count, t.black_sum, t.black_histogram, html);
  Histogram("white", t.white_count, t.white_sum, t.white_histogram, html);
  *html += "</div>\n";
}

std::string Thumbnail(const RunFacts& facts, int rank) {
  const std::string url = Link(facts, RankPicturePath(rank));
  return "<td class=\"thumb\"><a href=\"" + url + "\"><img src=\"" + url + "\" alt=\"rank " +
         std::to_string(rank) + "\"></a></td>";
}

// The ranking of terms, or of their changes with the term under each file.
void RankingTable(const RunFacts& facts, const Ranking& ranking, bool changes,
                  std::string* html) {
  *html += changes ? "<h2>Ranking of changes</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n"
                     "<thead><tr><th>rank</th><th>change</th><th>points</th><th>before</th>"
                     "<th>after</th>"
                   : "<h2>Ranking</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
                     "<th>rank</th><th>value</th><th>points</th>";
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
    *html += NameCell(CellName(t.king, t.king_code)) + NameCell(CellName(t.cell_a, t.code_a)) +
             NameCell(CellName(t.cell_b, t.code_b)) + Thumbnail(facts, r + 1) + "</tr>\n";
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
  *html += "<h2>The evaluation, ply by ply</h2>\n";
  *html += Figure(facts, kRecordChartPath, "the value per ply",
                  "Value (thick), material, KKP / 32 and KPP / 32, in points; black better upward",
                  true);
  *html += "<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr><th>ply</th>"
           "<th class=\"name\">move</th><th>material</th><th>KKP</th><th>KPP</th><th>value</th>"
           "<th class=\"name\">SFEN</th></tr></thead>\n<tbody>\n";
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
             NumberCell(f.value, std::to_string(f.value)) +
             NameCell(PositionSfen(p.position, p.to_move, p.move_number)) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n<p class=\"meta\">Material and value in points, KKP and KPP "
           "in table units.</p>\n";
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

std::string HtmlPage(const RunFacts& facts, const LeafAnalysis& leaf) {
  const std::string title =
      std::string(leaf.mode) == "position" ? "Analysis of a position" : "Game analysis";
  std::string html = PageHead(facts, title, PositionSfen(leaf.leaf, SideAfter(leaf.pv)));
  Summary(facts, leaf, &html);
  Boards(facts, leaf, &html);
  Histograms(leaf.breakdown, &html);
  if (leaf.with_pieces) PiecesTable(leaf, &html);
  RankingTable(facts, ShownRanking(leaf), leaf.comparing, &html);
  return html + PageTail();
}

std::string HtmlPage(const RunFacts& facts, const ScanAnalysis& scan) {
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
  RankingTable(facts, ShownRanking(scan), scan.comparing, &html);
  return html + PageTail();
}

std::string HtmlPage(const RunFacts& facts, const RecordAnalysis& record) {
  std::string html = PageHead(facts, "Every position of a record", "");
  RecordSection(facts, record, &html);
  return html + PageTail();
}

}  // namespace fvscope
