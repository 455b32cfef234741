// Line charts: values over a run of plies, drawn as a picture.
#ifndef FVSCOPE_RENDER_CHART_H_
#define FVSCOPE_RENDER_CHART_H_

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace fvscope {

// Size of a chart picture.
constexpr int kChartWidth = 960;
constexpr int kChartHeight = 540;

// One line of a chart: its values at x = 0, 1, 2, ...
struct ChartLine {
  std::string label;
  cv::Scalar colour;  // blue, green, red
  int thickness;
  std::vector<double> values;
  bool dashed = false;  // drawn in dashes
};

// Draws the lines on a white kChartWidth x kChartHeight picture: x from 0 to
// the longest line's last index, y over every value and 0 with positive
// values upward, the zero line, axes with labelled ticks named x_name and
// y_name, and a legend of the lines' labels.
cv::Mat DrawChart(const std::vector<ChartLine>& lines, const std::string& x_name,
                  const std::string& y_name);

// A dot of a scatter chart: where it stands, and the weight its area grows
// with.
struct ChartDot {
  double x;
  double y;
  double weight;
};

// The plot area of a scatter chart.
struct ChartBounds {
  double x_low, x_high, y_low, y_high;
};

// Draws the dots in dot_colour, the heaviest largest, and the lines, each
// sampled at evenly spaced x from bounds.x_low to bounds.x_high, on a white
// kChartWidth x kChartHeight picture with axes and a legend, as DrawChart
// draws them; what falls outside the bounds is clipped.
cv::Mat DrawScatterChart(const std::vector<ChartDot>& dots, const cv::Scalar& dot_colour,
                         const std::vector<ChartLine>& lines, const ChartBounds& bounds,
                         const std::string& x_name, const std::string& y_name);

// The step between labelled ticks that covers span in about ticks steps:
// 1, 2 or 5 times a power of ten, at least minimum.
double TickStep(double span, int ticks, double minimum);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_CHART_H_
