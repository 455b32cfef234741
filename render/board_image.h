// The picture of a position: 640 x 640, the board with a piece picture on
// every occupied square, both hands as rows of piece pictures with counts,
// and the white grid.
#ifndef FVSCOPE_RENDER_BOARD_IMAGE_H_
#define FVSCOPE_RENDER_BOARD_IMAGE_H_

#include <opencv2/core.hpp>
#include <string>

#include "shogi/types.h"

namespace fvscope {

// Layout, in pixels from the top-left corner.
constexpr int kImageSize = 640;
constexpr int kSquareWidth = 45;
constexpr int kSquareHeight = 50;
constexpr int kBoardLeft = 50;   // top-left corner of square 0
constexpr int kBoardTop = 80;
constexpr int kHandLeft = 10;    // hand kind k at x = 10 + 45k
constexpr int kBlackHandTop = 580;
constexpr int kWhiteHandTop = 10;
constexpr int kLabelOffsetX = 8;  // count label origin from the hand picture
constexpr int kLabelOffsetY = 3;

// The font scale that OpenCV draws Hershey text at for the single-precision
// horizontal and vertical scales of a font: their mean, in double precision.
constexpr double FontScale(float horizontal, float vertical) {
  return static_cast<double>(horizontal + vertical) * 0.5;
}

// The 14 piece pictures, by piece kind - 1, upright as black sees them.
extern cv::Mat PieceImages[kPieceKinds];

// Loads folder/FU.jpg .. folder/RY.jpg into PieceImages as 3-channel
// pictures. Returns false with *error naming the first file that is missing
// or does not decode.
bool LoadPieceImages(const std::string& folder, std::string* error);

// Loads the piece pictures built into the executable into PieceImages.
// Returns false with *error naming the first that is missing or does not
// decode.
bool LoadBuiltinPieceImages(std::string* error);

// Writes piece into board with its top-left corner at (x, y), turned by 180
// degrees when rotated; when dimmed every channel gets half the source's
// blue. Pixels that fall outside the board are not written.
void PastePieceImage(const cv::Mat& piece, cv::Mat* board, int x, int y, bool rotated,
                     bool dimmed);

// Draws position (cells 0..94) on board, a kImageSize square CV_8UC3
// picture, with the loaded PieceImages.
void DrawBoardImage(const Position& position, cv::Mat* board);

// A new black kImageSize square picture.
cv::Mat NewBoardImage();

// Saves picture at path as a PNG file, whole or not at all. Returns false
// with *error set when it cannot be written.
bool SaveImage(const std::string& path, const cv::Mat& picture, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_BOARD_IMAGE_H_
