#include "render/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>

namespace fvscope {

namespace {

constexpr int kLeft = 80;  // the plot area's margins
constexpr int kRight = 24;
constexpr int kTop = 48;
constexpr int kBottom = 56;
const cv::Scalar kBackground(255, 255, 255);
const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kGrid(225, 225, 225);
constexpr double kTextScale = 0.45;
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

// Where the plot area maps x and y.
struct Frame {
  double x_max, y_min, y_max;
  double x_min = 0;
  int Px(double x) const {
    return kLeft + static_cast<int>(std::lround((x - x_min) / (x_max - x_min) *
                                                (kChartWidth - kLeft - kRight)));
  }
  int Py(double y) const {
    const double t = (y - y_min) / (y_max - y_min);
    return kChartHeight - kBottom -
           static_cast<int>(std::lround(t * (kChartHeight - kTop - kBottom)));
  }
};

void PutText(cv::Mat* picture, const std::string& text, cv::Point origin) {
  cv::putText(*picture, text, origin, kFont, kTextScale, kInk, 1, cv::LINE_AA);
}

int TextWidth(const std::string& text) {
  int baseline = 0;
  return cv::getTextSize(text, kFont, kTextScale, 1, &baseline).width;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

void DrawAxes(const Frame& f, const std::string& x_name, const std::string& y_name,
              cv::Mat* picture) {
  const int left = f.Px(f.x_min), right = f.Px(f.x_max);
  const int top = f.Py(f.y_max), bottom = f.Py(f.y_min);
  const double y_step = TickStep(f.y_max - f.y_min, 8, 1);
  for (double y = std::ceil(f.y_min / y_step) * y_step; y <= f.y_max; y += y_step) {
    const int py = f.Py(y);
    cv::line(*picture, {left, py}, {right, py}, kGrid, 1, cv::LINE_8);
    const std::string label = Number(y);
    PutText(picture, label, {left - 8 - TextWidth(label), py + 5});
  }
  const double x_step = TickStep(f.x_max - f.x_min, 10, 1);
  for (double x = std::ceil(f.x_min / x_step) * x_step; x <= f.x_max + 1e-9; x += x_step) {
    const int px = f.Px(x);
    cv::line(*picture, {px, bottom}, {px, bottom + 5}, kInk, 1, cv::LINE_8);
    const std::string label = Number(x);
    PutText(picture, label, {px - TextWidth(label) / 2, bottom + 20});
  }
  cv::rectangle(*picture, {left, top}, {right, bottom}, kInk, 1, cv::LINE_8);
  if (f.y_min < 0 && f.y_max > 0) {
    cv::line(*picture, {left, f.Py(0)}, {right, f.Py(0)}, kInk, 1, cv::LINE_8);
  }
  PutText(picture, x_name, {(left + right - TextWidth(x_name)) / 2, kChartHeight - 12});
  PutText(picture, y_name, {8, top - 12});
}

// Draws the polyline through points in dashes of kDash pixels kGap apart,
// the pattern running on from one segment to the next.
void DrawDashed(const std::vector<cv::Point>& points, const cv::Scalar& colour, int thickness,
                cv::Mat* picture) {
  constexpr double kDash = 9, kGap = 6;
  double phase = 0;  // along the pattern, 0..kDash + kGap
  for (size_t i = 1; i < points.size(); ++i) {
    const cv::Point2d a = points[i - 1], b = points[i];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    double at = 0;
    while (at < length) {
      const bool on = phase < kDash;
      const double step = std::min(length - at, on ? kDash - phase : kDash + kGap - phase);
      if (on) {
        const cv::Point2d from = a + (b - a) * (at / length), to = a + (b - a) * ((at + step) / length);
        cv::line(*picture, cv::Point(std::lround(from.x), std::lround(from.y)),
                 cv::Point(std::lround(to.x), std::lround(to.y)), colour, thickness, cv::LINE_AA);
      }
      at += step;
      phase = std::fmod(phase + step, kDash + kGap);
    }
  }
}

void DrawLegend(const std::vector<ChartLine>& lines, cv::Mat* picture) {
  int x = kLeft + 120;
  for (const ChartLine& line : lines) {
    if (line.dashed) {
      DrawDashed({{x, kTop - 17}, {x + 28, kTop - 17}}, line.colour, line.thickness, picture);
    } else {
      cv::line(*picture, {x, kTop - 17}, {x + 28, kTop - 17}, line.colour, line.thickness,
               cv::LINE_AA);
    }
    PutText(picture, line.label, {x + 36, kTop - 12});
    x += 36 + TextWidth(line.label) + 28;
  }
}

}  // namespace

double TickStep(double span, int ticks, double minimum) {
  if (!(span > 0) || ticks < 1) return minimum;
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power * 10;
  for (double factor : {1.0, 2.0, 5.0}) {
    if (raw <= factor * power) {
      step = factor * power;
      break;
    }
  }
  return std::max(step, minimum);
}

cv::Mat DrawChart(const std::vector<ChartLine>& lines, const std::string& x_name,
                  const std::string& y_name) {
  cv::Mat picture(kChartHeight, kChartWidth, CV_8UC3, kBackground);
  size_t points = 0;
  double low = 0, high = 0;
  for (const ChartLine& line : lines) {
    points = std::max(points, line.values.size());
    for (double v : line.values) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  const double pad = std::max((high - low) * 0.05, 1.0);
  const Frame frame{points > 1 ? static_cast<double>(points - 1) : 1.0, low - pad, high + pad};
  DrawAxes(frame, x_name, y_name, &picture);
  for (const ChartLine& line : lines) {
    std::vector<cv::Point> polyline;
    for (size_t i = 0; i < line.values.size(); ++i) {
      if (std::isfinite(line.values[i])) polyline.emplace_back(frame.Px(i), frame.Py(line.values[i]));
    }
    if (polyline.size() == 1) {
      cv::circle(picture, polyline[0], line.thickness + 2, line.colour, cv::FILLED, cv::LINE_AA);
    } else if (line.dashed) {
      DrawDashed(polyline, line.colour, line.thickness, &picture);
    } else if (!polyline.empty()) {
      cv::polylines(picture, polyline, false, line.colour, line.thickness, cv::LINE_AA);
    }
  }
  DrawLegend(lines, &picture);
  return picture;
}

cv::Mat DrawScatterChart(const std::vector<ChartDot>& dots, const cv::Scalar& dot_colour,
                         const std::vector<ChartLine>& lines, const ChartBounds& bounds,
                         const std::string& x_name, const std::string& y_name) {
  cv::Mat picture(kChartHeight, kChartWidth, CV_8UC3, kBackground);
  Frame frame{bounds.x_high, bounds.y_low, bounds.y_high};
  frame.x_min = bounds.x_low;
  if (!(frame.x_max > frame.x_min)) frame.x_max = frame.x_min + 1;
  if (!(frame.y_max > frame.y_min)) frame.y_max = frame.y_min + 1;
  DrawAxes(frame, x_name, y_name, &picture);
  double heaviest = 0;
  for (const ChartDot& dot : dots) heaviest = std::max(heaviest, dot.weight);
  for (const ChartDot& dot : dots) {
    if (!std::isfinite(dot.x) || !std::isfinite(dot.y) || !(dot.weight > 0)) continue;
    const int radius = 3 + static_cast<int>(std::lround(15 * std::sqrt(dot.weight / heaviest)));
    cv::circle(picture, {frame.Px(dot.x), frame.Py(dot.y)}, radius, dot_colour, cv::FILLED,
               cv::LINE_AA);
  }
  for (const ChartLine& line : lines) {
    std::vector<cv::Point> polyline;
    const size_t n = line.values.size();
    for (size_t i = 0; i < n; ++i) {
      const double x = n > 1 ? frame.x_min + (frame.x_max - frame.x_min) * i / (n - 1) : frame.x_min;
      if (std::isfinite(line.values[i])) polyline.emplace_back(frame.Px(x), frame.Py(line.values[i]));
    }
    if (polyline.size() > 1) {
      cv::polylines(picture, polyline, false, line.colour, line.thickness, cv::LINE_AA);
    }
  }
  DrawLegend(lines, &picture);
  return picture;
}

}  // namespace fvscope
