#include "render/activity_strip.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace fvscope {

namespace {

constexpr int kStripWidth = 1024;  // the plot area of either picture
constexpr int kStripHeight = 160;
constexpr int kMarginX = 40;
constexpr int kTitleHeight = 40;
constexpr int kFootHeight = 56;
const cv::Scalar kBackground(255, 255, 255);
const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kZeroColour(170, 170, 170);
const cv::Scalar kBetweenColour(90, 170, 60);
const cv::Scalar kMaxColour(50, 50, 200);
const cv::Scalar kBarColour(192, 140, 90);
constexpr double kTextScale = 0.45;
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

void PutText(cv::Mat* picture, const std::string& text, cv::Point origin) {
  cv::putText(*picture, text, origin, kFont, kTextScale, kInk, 1, cv::LINE_AA);
}

// A legend's entry: a swatch and its name, from x; returns the next x.
int LegendEntry(cv::Mat* picture, int x, int y, const cv::Scalar& colour, const std::string& name) {
  cv::rectangle(*picture, cv::Rect(x, y - 10, 12, 12), colour, cv::FILLED);
  PutText(picture, name, {x + 16, y});
  int base = 0;
  return x + 16 + cv::getTextSize(name, kFont, kTextScale, 1, &base).width + 18;
}

// The picture's frame: white, the title at the top.
cv::Mat Frame(const std::string& title) {
  cv::Mat picture(kTitleHeight + kStripHeight + kFootHeight, kStripWidth + 2 * kMarginX, CV_8UC3,
                  kBackground);
  PutText(&picture, title, {kMarginX, 26});
  return picture;
}

}  // namespace

cv::Mat DrawActivityStrip(const std::string& title, const std::vector<NeuronShares>& neurons) {
  cv::Mat picture = Frame(title);
  const int n = std::max<int>(1, static_cast<int>(neurons.size()));
  const int bottom = kTitleHeight + kStripHeight;
  for (int j = 0; j < static_cast<int>(neurons.size()); ++j) {
    const int x0 = kMarginX + j * kStripWidth / n;
    const int x1 = std::max(x0 + 1, kMarginX + (j + 1) * kStripWidth / n);
    const NeuronShares& s = neurons[j];
    const double parts[3] = {s.zero, s.between, s.max};
    const cv::Scalar colours[3] = {kZeroColour, kBetweenColour, kMaxColour};
    double from = 0;
    for (int p = 0; p < 3; ++p) {
      const int y0 = bottom - static_cast<int>(std::lround(from * kStripHeight));
      from += parts[p];
      const int y1 = bottom - static_cast<int>(std::lround(std::min(from, 1.0) * kStripHeight));
      if (y1 < y0) cv::rectangle(picture, cv::Rect(x0, y1, x1 - x0, y0 - y1), colours[p], cv::FILLED);
    }
  }
  cv::rectangle(picture, cv::Rect(kMarginX - 1, kTitleHeight - 1, kStripWidth + 2, kStripHeight + 2),
                kInk, 1);
  // Neuron numbers at about every eighth of the strip.
  const int step = std::max(1, n / 8);
  for (int j = 0; j < n; j += step) {
    PutText(&picture, std::to_string(j), {kMarginX + j * kStripWidth / n, bottom + 18});
  }
  int x = kMarginX;
  x = LegendEntry(&picture, x, bottom + 44, kZeroColour, "clamped at 0");
  x = LegendEntry(&picture, x, bottom + 44, kBetweenColour, "between");
  LegendEntry(&picture, x, bottom + 44, kMaxColour, "clamped at 127");
  return picture;
}

cv::Mat DrawBarHistogram(const std::string& title, const std::vector<HistogramBar>& bars) {
  cv::Mat picture = Frame(title);
  const int n = std::max<int>(1, static_cast<int>(bars.size()));
  const int bottom = kTitleHeight + kStripHeight;
  uint64_t top = 1;
  for (const HistogramBar& b : bars) top = std::max(top, b.count);
  for (int i = 0; i < static_cast<int>(bars.size()); ++i) {
    const int x0 = kMarginX + i * kStripWidth / n;
    const int x1 = kMarginX + (i + 1) * kStripWidth / n - 1;
    const int height = static_cast<int>(std::lround(static_cast<double>(bars[i].count) / top * kStripHeight));
    if (height > 0) {
      cv::rectangle(picture, cv::Rect(x0, bottom - height, std::max(1, x1 - x0), height),
                    bars[i].marked ? kBetweenColour : kBarColour, cv::FILLED);
    }
  }
  cv::line(picture, {kMarginX, bottom}, {kMarginX + kStripWidth, bottom}, kInk, 1);
  const int step = std::max(1, n / 10);
  for (int i = 0; i < n && i < static_cast<int>(bars.size()); i += step) {
    PutText(&picture, bars[i].label, {kMarginX + i * kStripWidth / n, bottom + 18});
  }
  return picture;
}

}  // namespace fvscope
