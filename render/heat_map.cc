#include "render/heat_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>

namespace fvscope {

namespace {

const cv::Scalar kPaper(255, 255, 255);
const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kLine(150, 150, 150);
const cv::Vec3b kBlank(215, 215, 215);
const cv::Vec3b kNearZero(247, 247, 247);
const cv::Vec3b kBlueEnd(172, 102, 33);   // favours black
const cv::Vec3b kRedEnd(43, 24, 178);     // favours white
const cv::Vec3b kGreenEnd(27, 100, 0);    // the top of a one-sided scale
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

cv::Vec3b Blend(cv::Vec3b from, cv::Vec3b to, double t) {
  cv::Vec3b out;
  for (int c = 0; c < 3; ++c) out[c] = static_cast<uchar>(std::lround(from[c] + (to[c] - from[c]) * t));
  return out;
}

// Ink that reads on a fill: dark on light colours, white on dark ones.
cv::Scalar InkOn(cv::Vec3b fill) {
  const double light = 0.114 * fill[0] + 0.587 * fill[1] + 0.299 * fill[2];
  return light > 140 ? kInk : kPaper;
}

// The largest scale not above scale whose text fits width, at least 0.3.
double FitScale(const std::string& text, double scale, int thickness, int width) {
  for (; scale > 0.3; scale -= 0.05) {
    int baseline = 0;
    if (cv::getTextSize(text, kFont, scale, thickness, &baseline).width <= width) break;
  }
  return std::max(scale, 0.3);
}

// Writes text with its middle at centre, shrunk to fit width.
void PutCentred(cv::Mat* picture, const std::string& text, cv::Point centre, double scale,
                int thickness, int width, cv::Scalar ink) {
  if (text.empty()) return;
  scale = FitScale(text, scale, thickness, width);
  int baseline = 0;
  const cv::Size size = cv::getTextSize(text, kFont, scale, thickness, &baseline);
  cv::putText(*picture, text, {centre.x - size.width / 2, centre.y + size.height / 2}, kFont,
              scale, ink, thickness, cv::LINE_AA);
}

// Writes text from origin (left end of its baseline), shrunk to fit width.
void PutLeft(cv::Mat* picture, const std::string& text, cv::Point origin, double scale,
             int thickness, int width) {
  if (text.empty()) return;
  cv::putText(*picture, text, origin, kFont, FitScale(text, scale, thickness, width), kInk,
              thickness, cv::LINE_AA);
}

std::string EndText(double value, bool percent) {
  char text[32];
  if (percent) {
    std::snprintf(text, sizeof text, "%.0f%%", value * 100);
  } else if (std::fabs(value - std::round(value)) < 1e-9 && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.2f", value);
  }
  return text;
}

// The scale's limit: its own, or the largest finite magnitude of values.
double LimitOf(const ColourScale& scale, const std::vector<double>& values) {
  if (scale.limit > 0 && std::isfinite(scale.limit)) return scale.limit;
  double largest = 0;
  for (double v : values) {
    if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
  }
  return largest > 0 ? largest : 1;
}

// One board square or row cell to paint.
struct Cell {
  cv::Rect box;
  bool present;
  double value;
  std::string label;
};

void PaintCell(const ColourScale& scale, double limit, const Cell& cell, double label_scale,
               cv::Mat* picture) {
  const cv::Vec3b fill = cell.present ? ScaleColour(scale, limit, cell.value) : kBlank;
  cv::rectangle(*picture, cell.box, cv::Scalar(fill[0], fill[1], fill[2]), cv::FILLED);
  cv::rectangle(*picture, cell.box, kLine, 1, cv::LINE_8);
  if (cell.present && !cell.label.empty()) {
    PutCentred(picture, cell.label, (cell.box.tl() + cell.box.br()) / 2, label_scale, 1,
               cell.box.width - 6, InkOn(fill));
  }
}

void PaintMark(const cv::Rect& box, const std::string& text, cv::Mat* picture) {
  const cv::Vec3b fill = picture->at<cv::Vec3b>(box.y + 2, box.x + 2);
  cv::rectangle(*picture, box, cv::Scalar(fill[0], fill[1], fill[2]), cv::FILLED);
  cv::rectangle(*picture, {box.x + 1, box.y + 1, box.width - 1, box.height - 1}, kInk, 2,
                cv::LINE_8);
  PutCentred(picture, text, (box.tl() + box.br()) / 2, 0.45, 1, box.width - 4, InkOn(fill));
}

// The box of square s of a board whose top-left corner is at origin.
cv::Rect SquareBox(cv::Point origin, int s, int width, int height) {
  return {origin.x + (s % kFiles) * width, origin.y + (s / kFiles) * height, width, height};
}

// The scale bar: a gradient from the low end to the high end of width
// pixels, the ends' values under it and the caption right of it.
void PaintScaleBar(const ColourScale& scale, double limit, cv::Point origin, int width,
                   int caption_width, cv::Mat* picture) {
  constexpr int kBarHeight = 16;
  const double low = scale.diverging ? -limit : 0;
  for (int x = 0; x < width; ++x) {
    const double value = low + (limit - low) * x / std::max(1, width - 1);
    const cv::Vec3b c = ScaleColour(scale, limit, value);
    cv::line(*picture, {origin.x + x, origin.y}, {origin.x + x, origin.y + kBarHeight - 1},
             cv::Scalar(c[0], c[1], c[2]), 1, cv::LINE_8);
  }
  cv::rectangle(*picture, {origin.x, origin.y, width, kBarHeight}, kLine, 1, cv::LINE_8);
  const int y = origin.y + kBarHeight + 18;
  const std::string high = (scale.diverging ? "+" : "") + EndText(limit, scale.percent);
  PutLeft(picture, EndText(low, scale.percent), {origin.x, y}, 0.5, 1, width / 3);
  if (scale.diverging) PutCentred(picture, "0", {origin.x + width / 2, y - 6}, 0.5, 1, 40, kInk);
  int baseline = 0;
  const int high_width = cv::getTextSize(high, kFont, 0.5, 1, &baseline).width;
  PutLeft(picture, high, {origin.x + width - high_width, y}, 0.5, 1, width / 3);
  PutLeft(picture, scale.caption, {origin.x + width + 16, origin.y + 13}, 0.5, 1, caption_width);
}

void DrawSquareMapPanel(const SquareMap& map, cv::Point corner, cv::Mat* picture) {
  constexpr int kLeft = 40, kTop = 76, kWidth = 60, kHeight = 52;
  const std::vector<double> values(map.values, map.values + kSquares);
  const double limit = LimitOf(map.scale, values);
  PutLeft(picture, map.title, corner + cv::Point(20, 36), 0.7, 2, kSquareMapSize - 40);
  const cv::Point origin = corner + cv::Point(kLeft, kTop);
  for (int s = 0; s < kSquares; ++s) {
    PaintCell(map.scale, limit, {SquareBox(origin, s, kWidth, kHeight), true, map.values[s],
                                 map.labels[s]},
              0.5, picture);
  }
  for (int f = 0; f < kFiles; ++f) {
    PutCentred(picture, std::to_string(kFiles - f),
               origin + cv::Point(f * kWidth + kWidth / 2, -12), 0.5, 1, kWidth, kInk);
  }
  for (int r = 0; r < kRanks; ++r) {
    PutCentred(picture, std::to_string(r + 1),
               origin + cv::Point(kFiles * kWidth + 14, r * kHeight + kHeight / 2), 0.5, 1, 20,
               kInk);
  }
  const int bar_top = kTop + kRanks * kHeight + 22;
  PaintScaleBar(map.scale, limit, corner + cv::Point(kLeft, bar_top), 240,
                kSquareMapSize - kLeft - 240 - 24, picture);
}

int Lines(int count, int columns) { return (count + columns - 1) / columns; }

int LongestRow(const HeatSheet& sheet) {
  size_t longest = 0;
  for (const HeatRow& row : sheet.rows) longest = std::max(longest, row.values.size());
  return static_cast<int>(longest);
}

int RowColumnWidth(const HeatSheet& sheet) {
  return kHeatRowTitle + LongestRow(sheet) * kHeatCell;
}

int GridColumns(const HeatSheet& sheet) {
  return std::clamp(sheet.grid_columns, 1, std::max(1, static_cast<int>(sheet.grids.size())));
}

int RowColumns(const HeatSheet& sheet) {
  return std::clamp(sheet.row_columns, 1, std::max(1, static_cast<int>(sheet.rows.size())));
}

}  // namespace

cv::Vec3b ScaleColour(const ColourScale& scale, double limit, double value) {
  if (!std::isfinite(value)) return kBlank;
  if (!(limit > 0) || !std::isfinite(limit)) limit = 1;
  const double t = std::clamp(value / limit, -1.0, 1.0);
  if (!scale.diverging) return Blend(kNearZero, kGreenEnd, std::max(t, 0.0));
  return t >= 0 ? Blend(kNearZero, kBlueEnd, t) : Blend(kNearZero, kRedEnd, -t);
}

cv::Mat DrawSquareMaps(const std::vector<SquareMap>& maps) {
  const int panels = std::max<int>(1, maps.size());
  cv::Mat picture(kSquareMapSize, kSquareMapSize * panels, CV_8UC3, kPaper);
  for (size_t i = 0; i < maps.size(); ++i) {
    DrawSquareMapPanel(maps[i], {static_cast<int>(i) * kSquareMapSize, 0}, &picture);
  }
  return picture;
}

cv::Size HeatSheetSize(const HeatSheet& sheet) {
  const int grid_columns = GridColumns(sheet);
  const int row_columns = RowColumns(sheet);
  const int board = kFiles * kHeatCell;
  const int grids_width =
      sheet.grids.empty() ? 0 : grid_columns * board + (grid_columns - 1) * kHeatGridGap;
  const int rows_width = sheet.rows.empty()
                             ? 0
                             : row_columns * RowColumnWidth(sheet) + (row_columns - 1) * kHeatGridGap;
  const int width = std::max({grids_width, rows_width, 600});
  const int height = kHeatTitleHeight +
                     Lines(sheet.grids.size(), grid_columns) * (kHeatGridTitle + board + kHeatGridGap) +
                     Lines(sheet.rows.size(), row_columns) * (kHeatCell + kHeatRowGap) +
                     (sheet.rows.empty() ? 0 : kHeatGridGap) + kHeatScaleHeight;
  return {width + 2 * kHeatMargin, height + 2 * kHeatMargin};
}

cv::Mat DrawHeatSheet(const HeatSheet& sheet) {
  const cv::Size size = HeatSheetSize(sheet);
  cv::Mat picture(size, CV_8UC3, kPaper);
  std::vector<double> values;
  for (const HeatGrid& grid : sheet.grids) {
    for (int s = 0; s < kSquares; ++s) {
      if (grid.present[s]) values.push_back(grid.values[s]);
    }
  }
  for (const HeatRow& row : sheet.rows) values.insert(values.end(), row.values.begin(), row.values.end());
  const double limit = LimitOf(sheet.scale, values);
  const int content = size.width - 2 * kHeatMargin;
  PutLeft(&picture, sheet.title, {kHeatMargin, kHeatMargin + 26}, 0.75, 2, content);

  const int board = kFiles * kHeatCell;
  const int grid_columns = GridColumns(sheet);
  int y = kHeatMargin + kHeatTitleHeight;
  for (size_t g = 0; g < sheet.grids.size(); ++g) {
    const HeatGrid& grid = sheet.grids[g];
    const int column = static_cast<int>(g) % grid_columns;
    const int line = static_cast<int>(g) / grid_columns;
    const cv::Point corner(kHeatMargin + column * (board + kHeatGridGap),
                           y + line * (kHeatGridTitle + board + kHeatGridGap));
    PutLeft(&picture, grid.title, corner + cv::Point(0, kHeatGridTitle - 6), 0.55, 1, board);
    const cv::Point origin = corner + cv::Point(0, kHeatGridTitle);
    for (int s = 0; s < kSquares; ++s) {
      PaintCell(sheet.scale, limit,
                {SquareBox(origin, s, kHeatCell, kHeatCell), grid.present[s], grid.values[s], ""},
                0.4, &picture);
    }
    for (const HeatMark& mark : grid.marks) {
      if (IsSquare(mark.index)) {
        PaintMark(SquareBox(origin, mark.index, kHeatCell, kHeatCell), mark.text, &picture);
      }
    }
  }
  y += Lines(sheet.grids.size(), grid_columns) * (kHeatGridTitle + board + kHeatGridGap);

  const int row_columns = RowColumns(sheet);
  const int per_column = Lines(sheet.rows.size(), row_columns);
  for (size_t r = 0; r < sheet.rows.size(); ++r) {
    const HeatRow& row = sheet.rows[r];
    const int column = static_cast<int>(r) / per_column;
    const int line = static_cast<int>(r) % per_column;
    const cv::Point corner(kHeatMargin + column * (RowColumnWidth(sheet) + kHeatGridGap),
                           y + line * (kHeatCell + kHeatRowGap));
    PutLeft(&picture, row.title, corner + cv::Point(0, kHeatCell - 7), 0.55, 1, kHeatRowTitle - 8);
    const int n = static_cast<int>(row.values.size());
    for (int i = 0; i < n; ++i) {
      PaintCell(sheet.scale, limit,
                {{corner.x + kHeatRowTitle + i * kHeatCell, corner.y, kHeatCell, kHeatCell}, true,
                 row.values[i], std::to_string(i)},
                0.35, &picture);
    }
    for (const HeatMark& mark : row.marks) {
      if (mark.index >= 0 && mark.index < n) {
        PaintMark({corner.x + kHeatRowTitle + mark.index * kHeatCell, corner.y, kHeatCell,
                   kHeatCell}, mark.text, &picture);
      }
    }
  }
  y += per_column * (kHeatCell + kHeatRowGap) + (sheet.rows.empty() ? 0 : kHeatGridGap);
  PaintScaleBar(sheet.scale, limit, {kHeatMargin, y + 8}, 320, content - 320 - 16, &picture);
  return picture;
}

}  // namespace fvscope
