// Pictures of a network's activations: a strip of neurons, each a column
// coloured by the shares of its outputs clamped at 0, between and at 127,
// and a bar histogram.
#ifndef FVSCOPE_RENDER_ACTIVITY_STRIP_H_
#define FVSCOPE_RENDER_ACTIVITY_STRIP_H_

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace fvscope {

// One neuron's outputs as shares 0..1 of its total.
struct NeuronShares {
  double zero;
  double between;
  double max;
};

// Draws title over a strip of the neurons, neuron 0 at the left, each a
// column filled from the bottom with its share at 0 (grey), between
// (green) and at 127 (red), with a legend and the neuron numbers below.
cv::Mat DrawActivityStrip(const std::string& title, const std::vector<NeuronShares>& neurons);

// One bar of a histogram: its label and count.
struct HistogramBar {
  std::string label;
  uint64_t count;
  bool marked;  // drawn in the marked colour
};

// Draws title over the bars as a chart, the heights scaled to the largest,
// every few labels written below.
cv::Mat DrawBarHistogram(const std::string& title, const std::vector<HistogramBar>& bars);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_ACTIVITY_STRIP_H_
