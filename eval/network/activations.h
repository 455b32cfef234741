// The activations of a network's neurons over many positions: for each
// neuron of the transformer (both views), of layer 1 and of layer 2, how
// often its clamped output was 0, between, or 127, and their sum; and the
// histogram of the transformer's values before the clamp.
#ifndef FVSCOPE_EVAL_NETWORK_ACTIVATIONS_H_
#define FVSCOPE_EVAL_NETWORK_ACTIVATIONS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/network/network_eval.h"
#include "eval/network/network_file.h"
#include "shogi/types.h"

namespace fvscope {

// One neuron's clamped outputs over the views or positions counted.
struct NeuronActivity {
  uint64_t zero = 0;     // clamped at 0
  uint64_t between = 0;  // 1..126
  uint64_t max = 0;      // clamped at 127
  uint64_t sum = 0;      // of the clamped outputs
};

// The layers counted, in this order.
enum ActivationLayer : int {
  kTransformerLayer = 0,
  kFirstHiddenLayer = 1,
  kSecondHiddenLayer = 2,
};
constexpr int kActivationLayers = 3;

// "transformer", "layer1" or "layer2".
const char* ActivationLayerName(int layer);

// The counts of a run.
struct Activations {
  int64_t positions = 0;
  int32_t widths[kActivationLayers] = {};          // W, H1, H2
  std::vector<NeuronActivity> layers[kActivationLayers];
  uint64_t histogram[kPreClampBins] = {};          // the transformer's values before the clamp
};

// Sets *activations to no position counted, shaped for network.
void StartActivations(Activations* activations, const Network& network);

// The outputs each neuron of layer had in all: two a position for the
// transformer (its two views), one for the hidden layers.
uint64_t LayerOutputs(const Activations& activations, int layer);

// Empties *tally (views of a network shaped as *into) into *into.
void AddTransformerTally(Activations* into, TransformerTally* tally);

// Adds *tally's positions to *into.
void AddLayerTally(Activations* into, const LayerTally& tally);

// Evaluates position with to_move to move through the plain per-position
// pass and counts it into *activations: z and the value in points from
// black's view. Returns false with *error when it does not fit the features.
bool EvaluateNetworkCounting(const Network& network, NetworkPath path, const Position& position,
                             Side to_move, int32_t* z, int32_t* value, Activations* activations,
                             std::string* error);

// Adds from into *into. Returns false with *error when their shapes differ.
bool MergeActivations(Activations* into, const Activations& from, std::string* error);

// The counts as bytes for a partial, and back. Decoding returns false with
// *error when the bytes are not whole counts whose totals agree.
std::string EncodeActivations(const Activations& activations);
bool DecodeActivations(std::string_view bytes, Activations* activations, std::string* error);

// Bin b of the histogram as text: "< -256", "-256..-241", ..., ">= 384".
std::string PreClampBinText(int b);

// What the counts of one layer say.
struct LayerActivitySummary {
  NeuronActivity total;            // every neuron's counts added
  std::vector<double> means;       // per neuron, of its clamped outputs
  std::vector<int32_t> dead;       // never above 0
  std::vector<int32_t> saturated;  // always at 127
};

// Summarises layer of activations (no dead or saturated neuron without outputs).
LayerActivitySummary SummarizeLayerActivity(const Activations& activations, int layer);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_ACTIVATIONS_H_
