#include "render/board_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/image_file.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// A 45 x 50 piece picture whose pixel (x, y) is (5x, 5y, 100 + kind).
cv::Mat GradientPiece(int kind) {
  cv::Mat piece(50, 45, CV_8UC3);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 45; ++x) piece.at<cv::Vec3b>(y, x) = cv::Vec3b(5 * x, 5 * y, 100 + kind);
  }
  return piece;
}

// Loads gradient pieces through files: PNG bytes under the ".jpg" names.
void LoadGradientPieces(const ScratchDir& dir) {
  for (int kind = 1; kind <= kPieceKinds; ++kind) {
    std::string bytes, error;
    ASSERT_TRUE(EncodePng(GradientPiece(kind), &bytes, &error)) << error;
    dir.Write(std::string("img/") + kPieceNames[kind] + ".jpg", bytes);
  }
  std::string error;
  ASSERT_TRUE(LoadPieceImages(dir.File("img"), &error)) << error;
}

cv::Vec3b At(const cv::Mat& picture, int x, int y) { return picture.at<cv::Vec3b>(y, x); }

const cv::Vec3b kWhite(255, 255, 255);
const cv::Vec3b kBlack(0, 0, 0);

TEST(DrawBoardImage, EmptyPositionHasGridAndDimHands) {
  ScratchDir dir;
  LoadGradientPieces(dir);
  Position p = {};
  cv::Mat board = NewBoardImage();
  board.setTo(cv::Scalar(9, 9, 9));
  DrawBoardImage(p, &board);
  EXPECT_EQ(At(board, 600, 300), kBlack);
  EXPECT_EQ(At(board, 70, 100), kBlack);  // an empty square
  for (int j = 0; j <= 9; ++j) {
    EXPECT_EQ(At(board, 60, 80 + 50 * j), kWhite);
    EXPECT_EQ(At(board, 50 + 45 * j, 90), kWhite);
  }
  EXPECT_EQ(At(board, 456, 300), kBlack);
  // Dim hand pictures: half the source's blue in every channel.
  EXPECT_EQ(At(board, 10 + 20, 580 + 5), cv::Vec3b(50, 50, 50));
  EXPECT_EQ(At(board, 280 + 44, 10 + 49), cv::Vec3b(0, 0, 0));  // turned: source (0, 0)
  EXPECT_EQ(At(board, 280, 10), cv::Vec3b(110, 110, 110));       // source (44, 49): blue 220
}

TEST(DrawBoardImage, WhitePiecesAreTurnedAndHandsShowCounts) {
  ScratchDir dir;
  LoadGradientPieces(dir);
  Position p = {};
  p.cells[0] = -2;
  p.cells[80] = 13;
  p.cells[81] = 1;
  p.cells[94] = 2;
  cv::Mat board = NewBoardImage();
  DrawBoardImage(p, &board);
  // Square 0: block (50, 80)-(94, 129), pixel (50 + k, 80 + i) from source (44 - k, 49 - i).
  EXPECT_EQ(At(board, 51, 81), cv::Vec3b(5 * 43, 5 * 48, 102));
  EXPECT_EQ(At(board, 94, 129), cv::Vec3b(0, 0, 102));
  EXPECT_EQ(At(board, 410 + 3, 480 + 4), cv::Vec3b(15, 20, 113));  // square 80, upright
  // Held pieces in colour, the labels in white over their top edge.
  EXPECT_EQ(At(board, 10 + 40, 580 + 45), cv::Vec3b(200, 225, 101));
  EXPECT_EQ(At(board, 280 + 40, 10 + 45), cv::Vec3b(20, 20, 107));
  auto has_white = [&](int x0, int y0) {
    for (int y = y0 - 12; y <= y0; ++y) {
      for (int x = x0; x < x0 + 20; ++x) {
        if (At(board, x, y)[0] > 200 && At(board, x, y)[2] > 200) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(has_white(18, 583));
  EXPECT_TRUE(has_white(288, 13));
  EXPECT_FALSE(has_white(63, 583));  // no label over the dim lance
}

TEST(PastePieceImage, DimmingUsesBlueOnlyAndClipsAtTheEdges) {
  cv::Mat piece(2, 2, CV_8UC3, cv::Scalar(255, 7, 9));
  piece.at<cv::Vec3b>(1, 1) = cv::Vec3b(201, 250, 250);
  cv::Mat board = NewBoardImage();
  PastePieceImage(piece, &board, 100, 100, false, true);
  EXPECT_EQ(At(board, 100, 100), cv::Vec3b(127, 127, 127));
  EXPECT_EQ(At(board, 101, 101), cv::Vec3b(100, 100, 100));
  const cv::Mat large(70, 60, CV_8UC3, cv::Scalar(1, 2, 3));
  PastePieceImage(large, &board, 600, 600, true, false);
  PastePieceImage(large, &board, -30, -30, false, false);
  EXPECT_EQ(At(board, 639, 639), cv::Vec3b(1, 2, 3));
  EXPECT_EQ(At(board, 0, 0), cv::Vec3b(1, 2, 3));
}

TEST(LoadPieceImages, NamesTheFirstMissingFile) {
  ScratchDir dir;
  LoadGradientPieces(dir);
  dir.Write("img/KA.jpg", "not a picture");
  std::string error;
  EXPECT_FALSE(LoadPieceImages(dir.File("img"), &error));
  EXPECT_EQ(error, dir.File("img") + "/KA.jpg: missing or not a picture that decodes");
}

TEST(LoadBuiltinPieceImages, TheSamePicturesAsTheAssets) {
  std::string error;
  ASSERT_TRUE(LoadPieceImages(std::string(FVSCOPE_SOURCE_DIR) + "/assets/img", &error)) << error;
  std::vector<cv::Mat> from_files(PieceImages, PieceImages + kPieceKinds);
  ASSERT_TRUE(LoadBuiltinPieceImages(&error)) << error;
  for (int i = 0; i < kPieceKinds; ++i) {
    EXPECT_EQ(cv::norm(from_files[i], PieceImages[i], cv::NORM_INF), 0) << kPieceNames[i + 1];
  }
}

}  // namespace
}  // namespace fvscope
