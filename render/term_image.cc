#include "render/term_image.h"

#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "render/board_image.h"

namespace fvscope {

namespace {

const cv::Scalar kPositiveColour(255, 0, 0, 0);  // blue
const cv::Scalar kNegativeColour(0, 0, 255, 0);  // red
const cv::Scalar kOutlineColour(255, 255, 255, 0);
constexpr int kSideThickness = 3;
constexpr int kCornerRadius = 5;
constexpr int kLabelShift = 50;  // label origin up and left of the centroid
constexpr int kOutlineOffset = 2;
constexpr int kLabelThickness = 2;

const double kLabelScale = FontScale(1.4f, 1.4f);

void PutLabel(cv::Mat* picture, const char* text, cv::Point origin, const cv::Scalar& colour) {
  cv::putText(*picture, text, origin, cv::FONT_HERSHEY_SIMPLEX, kLabelScale, colour,
              kLabelThickness, cv::LINE_AA);
}

}  // namespace

void LocationCentre(int location, int* x, int* y) {
  // A square's point is half a square right of and below its corner, truncated;
  // a hand picture's is 25 right of and 22 below its corner.
  constexpr double kHalfWidth = kSquareWidth / 2.0;
  constexpr double kHalfHeight = kSquareHeight / 2.0;
  constexpr int kHandPointX = 25;
  constexpr int kHandPointY = 22;
  if (IsSquare(location)) {
    *x = static_cast<int>(kBoardLeft + kSquareWidth * (location % kFiles) + kHalfWidth);
    *y = static_cast<int>(kBoardTop + kSquareHeight * (location / kFiles) + kHalfHeight);
  } else if (location >= kBlackHandBase && location < kWhiteHandBase) {
    *x = kHandLeft + kSquareWidth * (location - kBlackHandBase) + kHandPointX;
    *y = kBlackHandTop + kHandPointY;
  } else if (location >= kWhiteHandBase && location < kFilledCells) {
    *x = kHandLeft + kSquareWidth * (location - kWhiteHandBase) + kHandPointX;
    *y = kWhiteHandTop + kHandPointY;
  } else {
    *x = 0;
    *y = 0;
  }
}

void DrawTermPicture(const Position& position, int32_t value, int king, int a, int b,
                     const std::string& text, cv::Mat* picture) {
  DrawBoardImage(position, picture);
  DrawTermMarks(value, king, a, b, text, picture);
}

void DrawTermMarks(int32_t value, int king, int a, int b, const std::string& text,
                   cv::Mat* picture) {
  const cv::Scalar& colour = value >= 0 ? kPositiveColour : kNegativeColour;
  cv::Point points[3];
  const int locations[3] = {king, a, b};
  for (int i = 0; i < 3; ++i) LocationCentre(locations[i], &points[i].x, &points[i].y);
  for (int i = 0; i < 3; ++i) {
    cv::line(*picture, points[i], points[(i + 1) % 3], colour, kSideThickness, cv::LINE_8, 0);
  }
  for (const cv::Point& p : points) {
    cv::circle(*picture, p, kCornerRadius, colour, cv::FILLED, cv::LINE_8, 0);
  }
  char number[16];
  std::snprintf(number, sizeof number, "%+d", value / kFvScale);
  const std::string label = text.empty() ? std::string(number) : text;
  const cv::Point origin((points[0].x + points[1].x + points[2].x) / 3 - kLabelShift,
                         (points[0].y + points[1].y + points[2].y) / 3 - kLabelShift);
  const int d = kOutlineOffset;
  for (const cv::Point offset : {cv::Point(d, d), cv::Point(-d, -d), cv::Point(-d, d),
                                 cv::Point(d, -d)}) {
    PutLabel(picture, label.c_str(), origin + offset, kOutlineColour);
  }
  PutLabel(picture, label.c_str(), origin, colour);
}

bool DrawTermImage(const std::string& path, const Position& position, int32_t value, int king,
                   int a, int b, std::string* error) {
  cv::Mat picture = NewBoardImage();
  DrawTermPicture(position, value, king, a, b, "", &picture);
  return SaveImage(path, picture, error);
}

void DrawCellLabels(const Position& position, const std::vector<CellLabel>& labels,
                    cv::Mat* picture) {
  DrawBoardImage(position, picture);
  DrawCellLabelMarks(labels, picture);
}

void DrawCellLabelMarks(const std::vector<CellLabel>& labels, cv::Mat* picture) {
  constexpr double kScale = 0.42;
  constexpr int kThickness = 1;
  for (const CellLabel& label : labels) {
    int x = 0, y = 0;
    LocationCentre(label.location, &x, &y);
    int baseline = 0;
    const cv::Size size =
        cv::getTextSize(label.text, cv::FONT_HERSHEY_SIMPLEX, kScale, kThickness, &baseline);
    const cv::Point origin(x - size.width / 2, y + size.height / 2);
    for (int dx = -1; dx <= 1; ++dx) {
      for (int dy = -1; dy <= 1; ++dy) {
        cv::putText(*picture, label.text, origin + cv::Point(dx, dy), cv::FONT_HERSHEY_SIMPLEX,
                    kScale, kOutlineColour, kThickness + 1, cv::LINE_AA);
      }
    }
    cv::putText(*picture, label.text, origin, cv::FONT_HERSHEY_SIMPLEX, kScale,
                label.positive ? kPositiveColour : kNegativeColour, kThickness, cv::LINE_AA);
  }
}

}  // namespace fvscope
