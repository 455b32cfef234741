#include "render/heat_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fvscope {
namespace {

bool IsBlue(cv::Vec3b p) { return p[0] > 150 && p[2] < 60; }
bool IsRed(cv::Vec3b p) { return p[2] > 150 && p[0] < 60; }

TEST(ScaleColour, BlueFavoursBlackRedWhiteWhiteNearZero) {
  const ColourScale diverging = {true, 0, "", false};
  EXPECT_TRUE(IsBlue(ScaleColour(diverging, 100, 100)));
  EXPECT_TRUE(IsRed(ScaleColour(diverging, 100, -100)));
  EXPECT_EQ(ScaleColour(diverging, 100, 1e9), ScaleColour(diverging, 100, 100));
  const cv::Vec3b zero = ScaleColour(diverging, 100, 0);
  EXPECT_GT(zero[0], 240);
  EXPECT_GT(zero[1], 240);
  EXPECT_GT(zero[2], 240);
  const cv::Vec3b half = ScaleColour(diverging, 100, 50);
  EXPECT_LT(half[2], zero[2]);
  EXPECT_GT(half[2], ScaleColour(diverging, 100, 100)[2]);
  const ColourScale share = {false, 1, "", true};
  EXPECT_EQ(ScaleColour(share, 1, -5), ScaleColour(share, 1, 0));
  EXPECT_FALSE(IsBlue(ScaleColour(share, 1, 1)));
}

// A sheet laid out as a KPP map: 18 boards in lines of 9, 14 rows of up to
// 19 cells in two columns.
HeatSheet MapLikeSheet() {
  HeatSheet sheet = {"map", {true, 0, "blue favours black", false}, 9, {}, 2, {}};
  for (int g = 0; g < 18; ++g) {
    HeatGrid grid;
    grid.title = "+FU";
    for (int s = 0; s < kSquares; ++s) {
      grid.present[s] = s >= 9;
      grid.values[s] = 0;
    }
    sheet.grids.push_back(grid);
  }
  for (int r = 0; r < 14; ++r) sheet.rows.push_back({"+FU*", std::vector<double>(r < 7 ? 19 : 5, 0.0), {}});
  return sheet;
}

// The middle of the upper left quarter of square s of board g: clear of marks' text.
cv::Point GridPixel(int g, int s) {
  const int board = kFiles * kHeatCell;
  const int x = kHeatMargin + (g % 9) * (board + kHeatGridGap) + (s % 9) * kHeatCell + 6;
  const int y = kHeatMargin + kHeatTitleHeight + (g / 9) * (kHeatGridTitle + board + kHeatGridGap) +
                kHeatGridTitle + (s / 9) * kHeatCell + 6;
  return {x, y};
}

TEST(DrawHeatSheet, SizeAndColoursOfItsSquares) {
  HeatSheet sheet = MapLikeSheet();
  sheet.grids[0].values[40] = 900;    // strongly for black
  sheet.grids[10].values[12] = -1000;  // the scale's red end
  sheet.grids[3].values[50] = 12;
  sheet.grids[3].marks.push_back({50, "K"});
  const cv::Mat picture = DrawHeatSheet(sheet);
  const int board = kFiles * kHeatCell;
  const int width = 2 * kHeatMargin + 9 * board + 8 * kHeatGridGap;
  const int height = 2 * kHeatMargin + kHeatTitleHeight + 2 * (kHeatGridTitle + board + kHeatGridGap) +
                     7 * (kHeatCell + kHeatRowGap) + kHeatGridGap + kHeatScaleHeight;
  EXPECT_EQ(picture.cols, width);
  EXPECT_EQ(picture.rows, height);
  EXPECT_EQ(HeatSheetSize(sheet), cv::Size(width, height));
  ASSERT_EQ(picture.type(), CV_8UC3);

  auto at = [&](int g, int s) { return picture.at<cv::Vec3b>(GridPixel(g, s)); };
  EXPECT_TRUE(IsBlue(at(0, 40))) << at(0, 40);
  EXPECT_TRUE(IsRed(at(10, 12))) << at(10, 12);
  EXPECT_GT(at(0, 41)[0], 240);                  // a zero is near white
  EXPECT_EQ(at(0, 3), cv::Vec3b(215, 215, 215));  // a blank square is grey
  // The mark frames its square in dark ink.
  const cv::Point mark = GridPixel(3, 50) - cv::Point(5, 5);
  EXPECT_LT(picture.at<cv::Vec3b>(mark + cv::Point(1, 1))[0], 80);
}

TEST(DrawHeatSheet, RowsAreColouredAndAFixedLimitClamps) {
  HeatSheet sheet = MapLikeSheet();
  sheet.scale.limit = 10;
  sheet.rows[7].values[4] = 5000;  // first row of the second column, last cell
  const cv::Mat picture = DrawHeatSheet(sheet);
  const int board = kFiles * kHeatCell;
  const int rows_top = kHeatMargin + kHeatTitleHeight + 2 * (kHeatGridTitle + board + kHeatGridGap);
  const int column = kHeatMargin + kHeatRowTitle + 19 * kHeatCell + kHeatGridGap;
  const cv::Vec3b cell = picture.at<cv::Vec3b>(rows_top + 3, column + kHeatRowTitle + 4 * kHeatCell + 3);
  EXPECT_EQ(cell, ScaleColour(sheet.scale, 10, 10));
}

TEST(DrawSquareMaps, PanelsSideBySideWithTheFiguresWrittenIn) {
  SquareMap map = {"share of the king square's KPP triangle that games read", {}, {}, {false, 1, "share", true}};
  for (int s = 0; s < kSquares; ++s) {
    map.values[s] = s / 80.0;
    map.labels[s] = std::to_string(s * 100 / 80) + "%";
  }
  const cv::Mat one = DrawSquareMaps({map});
  EXPECT_EQ(one.size(), cv::Size(kSquareMapSize, kSquareMapSize));
  const cv::Mat two = DrawSquareMaps({map, map});
  EXPECT_EQ(two.size(), cv::Size(2 * kSquareMapSize, kSquareMapSize));
  // Square 80 (bottom right) is the scale's dark end, with light ink in it;
  // square 0 is white with dark ink.
  auto count_unlike = [&](const cv::Mat& picture, int s, cv::Vec3b fill, int* found) {
    const int x0 = 40 + (s % 9) * 60, y0 = 76 + (s / 9) * 52;
    EXPECT_EQ(picture.at<cv::Vec3b>(y0 + 3, x0 + 3), fill) << s;
    *found = 0;
    for (int y = y0 + 2; y < y0 + 50; ++y) {
      for (int x = x0 + 2; x < x0 + 58; ++x) *found += picture.at<cv::Vec3b>(y, x) != fill;
    }
  };
  int ink = 0;
  count_unlike(one, 80, ScaleColour(map.scale, 1, 1), &ink);
  EXPECT_GT(ink, 20);
  count_unlike(one, 0, ScaleColour(map.scale, 1, 0), &ink);
  EXPECT_GT(ink, 20);
}

}  // namespace
}  // namespace fvscope
