// Coloured maps of numbers: 9 x 9 boards whose squares are coloured by a
// value on one scale, drawn from plain numbers and labels. A square map is
// one large board of king squares with a figure written in each square; a
// heat sheet is many small boards and rows of cells on one shared scale.
// Boards are laid out as the text board: square 0 (file 9, rank 1) at the
// top left, files 9 to 1 rightwards, ranks 1 to 9 downwards.
#ifndef FVSCOPE_RENDER_HEAT_MAP_H_
#define FVSCOPE_RENDER_HEAT_MAP_H_

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "shogi/types.h"

namespace fvscope {

// How values are coloured.
struct ColourScale {
  bool diverging;       // -limit red, 0 white, +limit blue; else 0 white to limit green
  double limit;         // values at or past it take the end colour; 0 or less: the
                        // largest magnitude drawn (1 when all are 0)
  std::string caption;  // written beside the scale bar, such as "blue favours black"
  bool percent;         // the scale's ends are written as percentages (1 is 100%)
};

// Colour (blue, green, red) of value under scale, with limit > 0 standing for
// the scale's own; values that are not finite are grey.
cv::Vec3b ScaleColour(const ColourScale& scale, double limit, double value);

// A map of the 81 squares: each coloured by its value, its label written in.
struct SquareMap {
  std::string title;
  double values[kSquares];
  std::string labels[kSquares];  // a few characters each, such as "12.34" or "57%"
  ColourScale scale;
};

// Width and height of one square map's panel.
constexpr int kSquareMapSize = 640;

// Draws the maps side by side, each on a kSquareMapSize square panel with its
// title, file and rank digits, and its own scale bar with the ends' values.
// No maps give one blank panel.
cv::Mat DrawSquareMaps(const std::vector<SquareMap>& maps);

// A cell marked with a frame and a short text ("K", "P").
struct HeatMark {
  int index;  // square 0..80 of a grid, or position in a row
  std::string text;
};

// One small board of a heat sheet.
struct HeatGrid {
  std::string title;
  bool present[kSquares];  // false: the square is left blank (grey)
  double values[kSquares];
  std::vector<HeatMark> marks;
};

// One row of cells of a heat sheet, such as a hand kind's values by count.
struct HeatRow {
  std::string title;
  std::vector<double> values;
  std::vector<HeatMark> marks;
};

// Small boards in lines of grid_columns, then the rows in row_columns
// columns, all on one scale, under a title and over the scale bar.
struct HeatSheet {
  std::string title;
  ColourScale scale;
  int grid_columns;
  std::vector<HeatGrid> grids;
  int row_columns;
  std::vector<HeatRow> rows;
};

// Layout of a heat sheet, in pixels.
constexpr int kHeatCell = 24;         // a board square and a row cell
constexpr int kHeatMargin = 24;       // around the sheet
constexpr int kHeatTitleHeight = 44;  // the sheet's title line
constexpr int kHeatGridTitle = 22;    // a board's title above it
constexpr int kHeatGridGap = 20;      // between boards
constexpr int kHeatRowTitle = 64;     // a row's title left of it
constexpr int kHeatRowGap = 8;        // between rows
constexpr int kHeatScaleHeight = 76;  // the scale bar and its labels

// Width and height of the sheet's picture.
cv::Size HeatSheetSize(const HeatSheet& sheet);

// Draws the sheet on a white picture of HeatSheetSize(sheet).
cv::Mat DrawHeatSheet(const HeatSheet& sheet);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_HEAT_MAP_H_
