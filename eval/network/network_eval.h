// The forward pass of a HalfKP network, exact in integers: each view's
// accumulator, the two hidden layers and the output, through a plain path
// and an AVX2 path chosen at run time that give the same numbers.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_EVAL_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_EVAL_H_

#include <cstdint>
#include <string>

#include "eval/network/network_file.h"
#include "eval/piece_features.h"
#include "shogi/types.h"

namespace fvscope {

// Shift of a hidden layer's sums before the clamp, and the clamp's top: a
// layer's inputs and outputs lie in 0..kClampMax.
constexpr int kLayerShift = 6;
constexpr int kClampMax = 127;

// The instructions a pass uses.
enum class NetworkPath : int {
  kPlain = 0,
  kAvx2 = 1,
  kAvx512 = 2,  // AVX-512 BW with VNNI for the layers' byte products
};

// True when this processor runs path.
bool NetworkPathRuns(NetworkPath path);

// The fastest path this processor runs.
NetworkPath FastestNetworkPath();

// How many values of a layer were clamped at 0, lay between, were clamped at 127.
struct ClampCounts {
  int32_t zero = 0;
  int32_t between = 0;
  int32_t max = 0;
};

// The histogram of the transformer's values before the clamp: kPreClampBins
// bins of kPreClampBinWidth from kPreClampLow, the first and the last open.
constexpr int kPreClampBins = 42;
constexpr int kPreClampBinWidth = 16;
constexpr int kPreClampLow = -256;

// The bin of value v: [kPreClampLow + (b - 1) x width, + width) for b in
// 1..kPreClampBins - 2, below kPreClampLow 0, above the last kPreClampBins - 1.
static_assert(kPreClampBinWidth == 16, "PreClampBin and the kernels shift by 4");
inline int PreClampBin(int v) {
  const int b = (v >> 4) - kPreClampLow / kPreClampBinWidth + 1;
  return b < 0 ? 0 : b > kPreClampBins - 1 ? kPreClampBins - 1 : b;
}

// Copies of the histogram a tally spreads its counts over.
constexpr int kHistogramSpread = 4;

// One view's accumulator: the transformer's W outputs, wrapped to 16 bits.
struct alignas(64) Accumulator {
  int16_t values[kMaxTransformerWidth];
};

// Sets *acc to the biases plus the weights of the count features under king.
void Accumulate(const Network& network, NetworkPath path, int king, const PieceFeature* features,
                int count, Accumulator* acc);

// Adds (sign 1) or takes away (sign -1) the weights of one input.
void AddInput(const Network& network, NetworkPath path, int king, int feature, int sign,
              Accumulator* acc);

// What the layers found on the way to the output, when asked.
struct LayerCounts {
  ClampCounts hidden[2];
};

// A thread's counts of the transformer's outputs over the views it summed,
// per neuron: short counters that the counting kernels empty into the long
// ones (FlushTransformerTally) before a sum of bytes could wrap them.
// ClearTransformerTally sets it to nothing counted.
struct TransformerTally {
  alignas(64) uint16_t zero[kMaxTransformerWidth];  // clamped at 0
  alignas(64) uint16_t max[kMaxTransformerWidth];   // clamped at 127
  alignas(64) uint16_t sum[kMaxTransformerWidth];   // of the clamped outputs
  int32_t short_views;  // views in the short counters
  int64_t views;        // views counted in all
  uint64_t total_zero[kMaxTransformerWidth];
  uint64_t total_max[kMaxTransformerWidth];
  uint64_t total_sum[kMaxTransformerWidth];
  uint64_t histogram[kPreClampBins];  // the values before the clamp, by PreClampBin
  // The histogram's short part, spread over kHistogramSpread copies by neuron
  // so that neighbouring values in one bin do not wait on each other.
  uint64_t spread[kHistogramSpread][kPreClampBins];
};

// Sets every count of *tally to 0.
void ClearTransformerTally(TransformerTally* tally);

// Empties the short counters of *tally into its long ones.
void FlushTransformerTally(TransformerTally* tally);

// Counts one view's accumulator (its W values before the clamp) into *tally.
void CountAccumulator(const Network& network, const Accumulator& acc, TransformerTally* tally);

// The output z from the side to move's accumulator (own) and the other's,
// through both hidden layers; counts the hidden layers' clamps into *counts
// when not null.
int32_t Propagate(const Network& network, NetworkPath path, const Accumulator& own,
                  const Accumulator& other, LayerCounts* counts);

// acc's values clamped to 0..127, into out[0..W).
void ClampAccumulator(const Network& network, NetworkPath path, const Accumulator& acc,
                      uint8_t* out);

// The accumulator of the count features under king, clamped to bytes, into
// out[0..W): what Accumulate and ClampAccumulator give.
void AccumulateClamped(const Network& network, NetworkPath path, int king,
                       const PieceFeature* features, int count, uint8_t* out);

// The output z from the layers' inputs x (2W bytes: the side to move's
// clamped accumulator, then the other's).
int32_t PropagateInputs(const Network& network, NetworkPath path, const uint8_t* x,
                        LayerCounts* counts);

// AccumulateClamped that also counts the view into *tally: the same bytes
// and, on every path, the same counts.
void AccumulateClampedCounting(const Network& network, NetworkPath path, int king,
                               const PieceFeature* features, int count, uint8_t* out,
                               TransformerTally* tally);

// A thread's counts of the hidden layers' outputs, per neuron.
struct LayerTally {
  int64_t positions = 0;
  uint64_t zero[2][kMaxHiddenWidth] = {};  // clamped at 0
  uint64_t max[2][kMaxHiddenWidth] = {};   // clamped at 127
  uint64_t sum[2][kMaxHiddenWidth] = {};   // of the clamped outputs
};

// PropagateInputs that also counts both hidden layers' outputs into *tally.
int32_t PropagateInputsCounting(const Network& network, NetworkPath path, const uint8_t* x,
                                LayerTally* tally);

// The value in points from black's view of output z with to_move to move:
// z / scale truncated toward zero, negated when white is to move.
int32_t NetworkValueOf(const Network& network, int32_t z, Side to_move);

// The clamps of an accumulator's values.
ClampCounts CountClamps(const Network& network, const Accumulator& acc);

// Evaluates position with to_move to move: z, and the value in points from
// black's view. Returns false with *error when it does not fit the features.
bool EvaluateNetwork(const Network& network, NetworkPath path, const Position& position,
                     Side to_move, int32_t* z, int32_t* value, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_EVAL_H_
