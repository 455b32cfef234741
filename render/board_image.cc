#include "render/board_image.h"

#include <cstdio>
#include <exception>
#include <opencv2/imgproc.hpp>

#include "render/embedded_pieces.h"
#include "render/image_file.h"

namespace fvscope {

cv::Mat PieceImages[kPieceKinds];

namespace {

const cv::Scalar kBlackColour(0, 0, 0, 0);
const cv::Scalar kWhiteColour(255, 255, 255, 0);

const double kLabelScale = FontScale(0.4f, 0.4f);
constexpr int kLabelThickness = 1;

void DrawHand(const Position& position, Side side, cv::Mat* board) {
  const int top = side == kBlack ? kBlackHandTop : kWhiteHandTop;
  const bool rotated = side == kWhite;
  for (int k = 0; k < kHandKinds; ++k) {
    const int x = kHandLeft + kSquareWidth * k;
    const int count = position.cells[HandSlot(side, k)];
    PastePieceImage(PieceImages[k], board, x, top, rotated, count <= 0);
    if (count > 0) {
      char label[16];
      std::snprintf(label, sizeof label, "x%d", count);
      cv::putText(*board, label, cv::Point(x + kLabelOffsetX, top + kLabelOffsetY),
                  cv::FONT_HERSHEY_SIMPLEX, kLabelScale, kWhiteColour, kLabelThickness,
                  cv::LINE_AA);
    }
  }
}

}  // namespace

namespace {

// Loads into PieceImages the 14 pictures that decode(kind, &picture, &why)
// gives; failure(kind)
// says what went wrong when one is missing or does not decode.
template <typename Decode, typename Failure>
bool LoadPieces(Decode decode, Failure failure, std::string* error) {
  for (int kind = 1; kind <= kPieceKinds; ++kind) {
    cv::Mat picture;
    std::string why;
    try {
      if (!decode(kind, &picture, &why)) picture.release();
    } catch (const std::exception&) {
      picture.release();
    }
    if (picture.empty() || picture.type() != CV_8UC3) {
      *error = failure(kind);
      return false;
    }
    PieceImages[kind - 1] = picture;
  }
  return true;
}

std::string PictureName(int kind) { return std::string(kPieceNames[kind]) + ".jpg"; }

}  // namespace

bool LoadPieceImages(const std::string& folder, std::string* error) {
  return LoadPieces(
      [&](int kind, cv::Mat* picture, std::string* why) {
        return ReadImageFile(folder + "/" + PictureName(kind), picture, why);
      },
      [&](int kind) {
        return folder + "/" + PictureName(kind) + ": missing or not a picture that decodes";
      },
      error);
}

bool LoadBuiltinPieceImages(std::string* error) {
  return LoadPieces(
      [](int kind, cv::Mat* picture, std::string* why) {
        for (int i = 0; i < kEmbeddedPieceFileCount; ++i) {
          const EmbeddedFile& file = kEmbeddedPieceFiles[i];
          if (PictureName(kind) == file.name) return DecodeImage(file.data, file.size, picture, why);
        }
        return false;
      },
      [](int kind) { return "the built-in picture " + PictureName(kind) + " is missing or does not decode"; },
      error);
}

void PastePieceImage(const cv::Mat& piece, cv::Mat* board, int x, int y, bool rotated,
                     bool dimmed) {
  const int w = piece.cols;
  const int h = piece.rows;
  for (int i = 0; i < h; ++i) {
    const int dy = y + i;
    if (dy < 0 || dy >= board->rows) continue;
    for (int k = 0; k < w; ++k) {
      const int dx = x + k;
      if (dx < 0 || dx >= board->cols) continue;
      const uchar* source = rotated ? piece.ptr<uchar>(h - 1 - i) + 3 * (w - 1 - k)
                                    : piece.ptr<uchar>(i) + 3 * k;
      uchar* target = board->ptr<uchar>(dy) + 3 * dx;
      if (dimmed) {
        const uchar grey = static_cast<uchar>(source[0] * 0.5);
        target[0] = target[1] = target[2] = grey;
      } else {
        target[0] = source[0];
        target[1] = source[1];
        target[2] = source[2];
      }
    }
  }
}

cv::Mat NewBoardImage() { return cv::Mat(kImageSize, kImageSize, CV_8UC3, kBlackColour); }

void DrawBoardImage(const Position& position, cv::Mat* board) {
  cv::rectangle(*board, cv::Point(0, 0), cv::Point(board->cols, board->rows), kBlackColour,
                cv::FILLED, cv::LINE_8, 0);
  for (int r = 0; r < kRanks; ++r) {
    for (int c = 0; c < kFiles; ++c) {
      const int code = position.cells[r * kFiles + c];
      if (code == 0 || !IsPieceCode(code)) continue;
      PastePieceImage(PieceImages[KindOf(code) - 1], board, kBoardLeft + kSquareWidth * c,
                      kBoardTop + kSquareHeight * r, code < 0, false);
    }
  }
  DrawHand(position, kBlack, board);
  DrawHand(position, kWhite, board);
  const int right = kBoardLeft + kSquareWidth * kFiles;
  const int bottom = kBoardTop + kSquareHeight * kRanks;
  for (int j = 0; j <= kFiles; ++j) {
    cv::line(*board, cv::Point(kBoardLeft, kBoardTop + kSquareHeight * j),
             cv::Point(right, kBoardTop + kSquareHeight * j), kWhiteColour, 1, cv::LINE_8, 0);
    cv::line(*board, cv::Point(kBoardLeft + kSquareWidth * j, kBoardTop),
             cv::Point(kBoardLeft + kSquareWidth * j, bottom), kWhiteColour, 1, cv::LINE_8, 0);
  }
}

bool SaveImage(const std::string& path, const cv::Mat& picture, std::string* error) {
  try {
    return WritePngFile(path, picture, error);
  } catch (const std::exception& e) {
    *error = path + ": cannot save the picture (" + e.what() + ")";
    return false;
  }
}

}  // namespace fvscope
