// A census of a whole network: each layer's weights and biases, the
// transformer's weights per king square and its features never trained,
// the hidden neurons that can never fire, and with a second network of the
// same shape the same figures of the change and the inputs that moved most.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_CENSUS_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_CENSUS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/network/network_file.h"
#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// The layers of a network, in the order of its pass.
constexpr int kNetworkLayers = 4;
inline constexpr const char* kNetworkLayerNames[kNetworkLayers] = {"transformer", "layer1",
                                                                   "layer2", "output"};

// The inputs that moved most between two networks.
constexpr int kMovedFeatures = 150;

// Figures of a set of numbers: weights, biases, or their changes.
struct ValueFigures {
  int64_t count = 0;
  int64_t minimum = 0;
  int64_t maximum = 0;
  double mean = 0;
  double deviation = 0;   // standard deviation over the whole set
  double zero_share = 0;  // 0..1
};

// A layer's weights and biases (the output's one bias), padding left out.
struct LayerFigures {
  ValueFigures weights;
  ValueFigures biases;
};

// One transformer input, the W weights of a feature under a king square.
struct MovedFeature {
  int32_t king;     // 0..80 in the features' numbering (black's view)
  int32_t feature;  // 0..1547
  int64_t moved;    // sum of |after - before| over its W weights
};

// What a census of a network finds.
struct NetworkCensus {
  NetworkShape shape;
  bool compared = false;  // a second network was read: the change figures are filled
  LayerFigures layers[kNetworkLayers];
  double king_magnitude[kSquares] = {};  // mean |weight| of a king square's 1548 x W
  int32_t king_untrained[kSquares] = {};  // its features whose W weights are all 0
  std::vector<int32_t> dead[2];           // neurons of layer 1 and 2 never above 0
  LayerFigures changes[kNetworkLayers];   // of after - before
  double king_change[kSquares] = {};      // mean |after - before| per king square
  std::vector<MovedFeature> moved;        // most moved first, at most kMovedFeatures
};

// The square (0..80) of a king square in the features' numbering.
inline int KingSquareOfIndex(int king) { return SquareOfFeatureSquare(king); }

// True when the two networks have the same shape.
bool SameNetworkShape(const Network& a, const Network& b);

// Takes the census of network, and of its change to after when after is not
// null (of the same shape, checked by the caller), on up to threads threads
// (each a run of king squares).
void TakeNetworkCensus(const Network& network, const Network* after, int threads,
                       NetworkCensus* census);

// Neurons of a hidden layer (1 or 2) whose output is 0 whatever their
// inputs: bias plus every positive weight x kClampMax, shifted, at or below 0.
std::vector<int32_t> DeadNeurons(const Network& network, int layer);

// The moved inputs as a ranking of terms: black's king on the input's king
// square and the feature's piece (as both pieces), valued by how far it moved.
Ranking MovedRanking(const NetworkCensus& census);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_CENSUS_H_
