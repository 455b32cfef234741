#include "render/term_image.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "render/board_image.h"
#include "render/image_file.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

TEST(LocationCentre, SquaresAndHandSlots) {
  const int examples[][3] = {{0, 72, 105},  {8, 432, 105}, {40, 252, 305}, {80, 432, 505},
                             {81, 35, 602}, {87, 305, 602}, {88, 35, 32},  {94, 305, 32}};
  for (const auto& e : examples) {
    int x, y;
    LocationCentre(e[0], &x, &y);
    EXPECT_EQ(x, e[1]) << e[0];
    EXPECT_EQ(y, e[2]) << e[0];
  }
}

// The label's pixels in its box below the board and above the hand row:
// the triangle is a line of black hand slots 81, 82, 83, so the label's
// origin is (30, 552).
struct Label {
  std::vector<std::pair<int, int>> coloured;
  int white = 0;
  cv::Vec3b corner;
};

Label DrawHandTriangle(int32_t value) {
  for (cv::Mat& piece : PieceImages) piece = cv::Mat(50, 45, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::Mat picture = NewBoardImage();
  DrawTermPicture(Position{}, value, 81, 82, 83, "", &picture);
  Label label;
  label.corner = picture.at<cv::Vec3b>(602, 35);
  for (int y = 531; y < 570; ++y) {
    for (int x = 0; x < 200; ++x) {
      const cv::Vec3b p = picture.at<cv::Vec3b>(y, x);
      if (p == cv::Vec3b(255, 255, 255)) ++label.white;
      if (p != cv::Vec3b(0, 0, 0) && p[1] == 0) label.coloured.push_back({x, y});
      if (p != cv::Vec3b(0, 0, 0)) {
        EXPECT_LE(x, 30 + 100) << "label right of its origin";
      }
    }
  }
  return label;
}

TEST(DrawTermPicture, ColourFollowsTheSignAndTheLabelTheQuotient) {
  const Label minus31 = DrawHandTriangle(-31), plus31 = DrawHandTriangle(31),
              minus95 = DrawHandTriangle(-95), zero = DrawHandTriangle(0);
  EXPECT_EQ(minus31.corner, cv::Vec3b(0, 0, 255));
  EXPECT_EQ(plus31.corner, cv::Vec3b(255, 0, 0));
  EXPECT_EQ(zero.corner, cv::Vec3b(255, 0, 0));
  EXPECT_GT(minus31.white, 0);  // the outline
  ASSERT_FALSE(minus31.coloured.empty());
  // -31 and 31 both read "+0": the same label shape in other colours.
  EXPECT_EQ(minus31.coloured, plus31.coloured);
  EXPECT_NE(minus95.coloured, minus31.coloured);  // "-2"
  for (auto [x, y] : minus31.coloured) EXPECT_GE(y, 552 - 40);
}

TEST(DrawTermPicture, CornersAreFilledDiscsOnTheirCentres) {
  for (cv::Mat& piece : PieceImages) piece = cv::Mat(50, 45, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::Mat picture = NewBoardImage();
  DrawTermPicture(Position{}, 64, 40, 0, 80, "", &picture);
  for (auto [x, y] : {std::pair{252, 305}, {72, 105}, {432, 505}}) {
    EXPECT_EQ(picture.at<cv::Vec3b>(y + 4, x), cv::Vec3b(255, 0, 0));
    EXPECT_EQ(picture.at<cv::Vec3b>(y, x - 4), cv::Vec3b(255, 0, 0));
  }
}

TEST(DrawTermImage, SavesOrSaysWhyNot) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(DrawTermImage(dir.File("t.png"), Position{}, 1, 40, 0, 80, &error)) << error;
  cv::Mat saved;
  ASSERT_TRUE(ReadImageFile(dir.File("t.png"), &saved, &error)) << error;
  EXPECT_EQ(saved.cols, 640);
  EXPECT_EQ(saved.at<cv::Vec3b>(305, 252), cv::Vec3b(255, 0, 0));
  EXPECT_FALSE(DrawTermImage(dir.File("missing/t.png"), Position{}, 1, 40, 0, 80, &error));
  EXPECT_NE(error.find("missing/t.png: cannot save"), std::string::npos);
}

}  // namespace
}  // namespace fvscope
