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
