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
std::string Link(const PageParts& parts, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target = fs::absolute(path, ec).lexically_normal();
  const fs::path folder = fs::absolute(parts.page_path, ec).lexically_normal().parent_path();
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

std::string Figure(const PageParts& parts, const std::string& path, const std::string& alt,
                   const std::string& caption, bool wide = false) {
  const std::string url = Link(parts, path);
  return std::string("<figure") + (wide ? " class=\"wide\"" : "") + "><a href=\"" + url +
         "\"><img src=\"" + url + "\" alt=\"" + EscapeHtml(alt) + "\"></a><figcaption>" +
         caption + "</figcaption></figure>\n";
}

std::string ModeTitle(const PageParts& parts) {
  if (parts.mode == "scan") {
    const int k = parts.scan != nullptr ? parts.scan->king_square
                  : parts.scan_comparison != nullptr ? parts.scan_comparison->king_square
                                                     : 0;
    return "Table scan of king square " + std::to_string(k) + " (" + CellName(k, kKing) + ")";
  }
  if (parts.mode == "record") return "Every position of a record";
  if (parts.mode == "position") return "Analysis of a position";
  return "Game analysis";
}

void Summary(const PageParts& parts, std::string* html) {
  const PositionFigures f = FiguresOf(*parts.breakdown);
  struct Row {
    const char* name;
    int64_t before, after;  // table units
  };
  std::vector<Row> rows = {{"KKP", f.kkp_sum, f.kkp_sum},
                           {"KPP", f.kpp_sum, f.kpp_sum},
                           {"material", int64_t{f.material} * kFvScale, int64_t{f.material} * kFvScale},
                           {"value", int64_t{f.value} * kFvScale, int64_t{f.value} * kFvScale}};
  const LeafComparison* c = parts.comparison;
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
    *html += "<th>" + EscapeHtml(parts.fv) + "</th><th>points</th><th>" +
             EscapeHtml(parts.compare_fv) + "</th><th>points</th><th>change</th>"
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

void Boards(const PageParts& parts, std::string* html) {
  const Side first = parts.pv->first_side;
  *html += "<h2>Positions</h2>\n<div class=\"boards\">\n";
  *html += Figure(parts, kInputPicturePath, "the input position",
                  "Input: <code>" + EscapeHtml(PositionSfen(*parts.input, first)) + "</code>");
  *html += Figure(parts, kLeafPicturePath, "the leaf",
                  "Leaf: <code>" + EscapeHtml(PositionSfen(*parts.leaf, SideAfter(*parts.pv))) + "</code>");
  if (parts.pieces != nullptr) {
    *html += Figure(parts, kPiecesPicturePath, "each piece's share over the leaf",
                    parts.pieces_after != nullptr ? "The change of each piece's share"
                                                  : "Each piece's share, in points");
  }
  *html += "</div>\n<h2>Principal variation</h2>\n";
  if (parts.pv->count == 0) {
    *html += "<p>No moves: the input is the leaf.</p>\n";
    return;
  }
  *html += "<ol class=\"pv\">\n";
  for (int n = 0; n < parts.pv->count; ++n) {
    const Move& move = parts.pv->moves[n];
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

std::string Thumbnail(const PageParts& parts, int rank) {
  const std::string url = Link(parts, RankPicturePath(rank));
  return "<td class=\"thumb\"><a href=\"" + url + "\"><img src=\"" + url + "\" alt=\"rank " +
         std::to_string(rank) + "\"></a></td>";
}

void RankingTable(const PageParts& parts, const Ranking& ranking, std::string* html) {
  *html += "<h2>Ranking</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr>"
           "<th>rank</th><th>value</th><th>points</th><th class=\"name\">king</th>"
           "<th class=\"name\">first piece</th><th class=\"name\">second piece</th>"
           "<th class=\"name\">picture</th></tr></thead>\n<tbody>\n";
  for (int r = 0; r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    *html += "<tr><td data-v=\"" + std::to_string(r + 1) + "\">" + std::to_string(r + 1) +
             "</td>" + NumberCell(t.value, std::to_string(t.value)) +
             NumberCell(t.value, Points(t.value)) + NameCell(CellName(t.king, t.king_code)) +
             NameCell(CellName(t.cell_a, t.code_a)) + NameCell(CellName(t.cell_b, t.code_b)) +
             Thumbnail(parts, r + 1) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

void ChangeTable(const PageParts& parts, const ChangeRanking& ranking, std::string* html) {
  *html += "<h2>Ranking of changes</h2>\n<div class=\"scroll\"><table class=\"sortable\">\n"
           "<thead><tr><th>rank</th><th>change</th><th>points</th><th>before</th><th>after</th>"
           "<th class=\"name\">king</th><th class=\"name\">first piece</th>"
           "<th class=\"name\">second piece</th><th class=\"name\">picture</th></tr></thead>\n"
           "<tbody>\n";
  for (int r = 0; r < ranking.count; ++r) {
    const ChangedTerm& t = ranking.terms[r];
    *html += "<tr><td data-v=\"" + std::to_string(r + 1) + "\">" + std::to_string(r + 1) +
             "</td>" + NumberCell(t.change, Format("%+.0f", t.change)) +
             NumberCell(t.change, Points(t.change)) + NumberCell(t.before, std::to_string(t.before)) +
             NumberCell(t.after, std::to_string(t.after)) + NameCell(CellName(t.king, t.king_code)) +
             NameCell(CellName(t.cell_a, t.code_a)) + NameCell(CellName(t.cell_b, t.code_b)) +
             Thumbnail(parts, r + 1) + "</tr>\n";
  }
  *html += "</tbody></table></div>\n";
}

void PiecesTable(const PageParts& parts, std::string* html) {
  const PieceShares& shares = *parts.pieces;
  const PieceShares* after = parts.pieces_after;
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

void RecordSection(const PageParts& parts, std::string* html) {
  *html += "<h2>The evaluation, ply by ply</h2>\n";
  *html += Figure(parts, kRecordChartPath, "the value per ply",
                  "Value (thick), material, KKP / 32 and KPP / 32, in points; black better upward",
                  true);
  *html += "<div class=\"scroll\"><table class=\"sortable\">\n<thead><tr><th>ply</th>"
           "<th class=\"name\">move</th><th>material</th><th>KKP</th><th>KPP</th><th>value</th>"
           "<th class=\"name\">SFEN</th></tr></thead>\n<tbody>\n";
  const auto& plies = *parts.plies;
  const auto& figures = *parts.figures;
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

std::string HtmlPage(const PageParts& parts) {
  const std::string title = ModeTitle(parts);
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>fvscope: " + EscapeHtml(title) + " (" + EscapeHtml(parts.fv) +
                     ")</title>\n<style>" + kStyle +
                     "</style>\n</head>\n<body>\n<h1>" + EscapeHtml(title) + "</h1>\n";
  html += "<p class=\"meta\">Evaluation file <code>" + EscapeHtml(parts.fv) + "</code>";
  if (!parts.compare_fv.empty()) {
    html += ", compared with <code>" + EscapeHtml(parts.compare_fv) + "</code>";
  }
  if (parts.leaf != nullptr) {
    html += "; leaf <code>" + EscapeHtml(PositionSfen(*parts.leaf, SideAfter(*parts.pv))) +
            "</code>";
  }
  html += "</p>\n";
  if (!parts.warnings.empty()) {
    html += "<div class=\"warnings\"><p>Warnings of the run:</p><ul>\n";
    for (const std::string& w : parts.warnings) html += "<li>" + EscapeHtml(w) + "</li>\n";
    html += "</ul></div>\n";
  }
  if (parts.breakdown != nullptr) {
    Summary(parts, &html);
    Boards(parts, &html);
    Histograms(*parts.breakdown, &html);
    if (parts.pieces != nullptr) PiecesTable(parts, &html);
    if (parts.comparison != nullptr) ChangeTable(parts, parts.comparison->ranking, &html);
    if (parts.ranking != nullptr) RankingTable(parts, *parts.ranking, &html);
  }
  if (parts.scan != nullptr) {
    html += "<h2>Summary</h2>\n<p>" + std::to_string(parts.scan->count) +
            " entries of this king square's table exceed 2000 table units in magnitude; the " +
            std::to_string(parts.scan->ranking.count) + " largest are ranked below, each drawn " +
            "as the king and the two pieces of its features.</p>\n";
    RankingTable(parts, parts.scan->ranking, &html);
  }
  if (parts.scan_comparison != nullptr) {
    html += "<h2>Summary</h2>\n<p>" + std::to_string(parts.scan_comparison->changed) +
            " entries of this king square's table differ between the two files.</p>\n";
    ChangeTable(parts, parts.scan_comparison->ranking, &html);
  }
  if (parts.plies != nullptr && parts.figures != nullptr) RecordSection(parts, &html);
  html += "<script>" + std::string(kSortScript) + "</script>\n</body>\n</html>\n";
  return html;
}

}  // namespace fvscope
