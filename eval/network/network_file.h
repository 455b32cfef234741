// A HalfKP network file (nn.bin): its architecture text, its hashes and its
// layers, read whole and checked. The transformer's weights are read where
// they lie in the file's read-only mapping.
#ifndef FVSCOPE_EVAL_NETWORK_NETWORK_FILE_H_
#define FVSCOPE_EVAL_NETWORK_NETWORK_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/piece_features.h"

namespace fvscope {

// The first word of a network file, little-endian.
constexpr uint32_t kNetworkVersion = 0x7AF32F16;

// Inputs of the transformer: 81 king squares x 1548 features.
constexpr int kNetworkInputs = kSquares * kPieceFeatures;

// The longest architecture text read.
constexpr uint32_t kMaxArchitectureBytes = 4096;

// The widest transformer and hidden layers read.
constexpr int kMaxTransformerWidth = 1024;
constexpr int kMaxHiddenWidth = 128;

// The network's output divided by this gives points unless --fv-scale says otherwise.
constexpr int32_t kDefaultNetworkScale = 16;
constexpr int32_t kMaxNetworkScale = 128;

// The shape of a HalfKP network: W transformer outputs per view, then two
// hidden layers of H1 and H2 neurons.
struct NetworkShape {
  int32_t w = 0;
  int32_t h1 = 0;
  int32_t h2 = 0;
};

// n rounded up to a multiple of 32: the stored width of a layer's inputs.
constexpr int32_t PaddedWidth(int32_t n) { return (n + 31) / 32 * 32; }

// A loaded network. Read only once loaded.
struct Network {
  NetworkShape shape;
  std::string architecture;  // as written in the file
  uint32_t file_hash = 0;
  int64_t file_bytes = 0;
  int32_t scale = kDefaultNetworkScale;
  const int16_t* biases = nullptr;   // [W]
  const int16_t* weights = nullptr;  // [kNetworkInputs][W]
  std::vector<int32_t> b1, b2;       // [H1], [H2]
  std::vector<int8_t> w1, w2, w3;    // [H1][P(2W)], [H2][P(H1)], [P(H2)]
  // w1 and w2 by blocks of 16 outputs (the last padded with zeros), each
  // block by groups of 4 inputs, each group the 16 outputs' 4 weights: what
  // the wide path reads.
  std::vector<int8_t> w1_blocks, w2_blocks;
  int32_t b3 = 0;
  std::vector<int16_t> copied;  // the transformer, when it could not be used in place
  void* mapping = nullptr;
  size_t mapping_bytes = 0;
};

// Arranges network->w1 and w2 into w1_blocks and w2_blocks.
void ArrangeLayerBlocks(Network* network);

// True when the file at path begins with the network version word.
bool IsNetworkFile(const char* path);

// The hashes of a shape's layers, and the file hash, by their rules.
uint32_t TransformerHash(const NetworkShape& shape);
uint32_t LayersHash(const NetworkShape& shape);

// The size in bytes of a network file of shape whose architecture text is
// text_bytes long.
int64_t NetworkFileBytes(const NetworkShape& shape, int64_t text_bytes);

// The architecture text of a HalfKP network of shape.
std::string ArchitectureText(const NetworkShape& shape);

// Reads the shape from an architecture text. Returns false with *error
// naming the text (escaped, at most 200 characters) and what is read when
// it is not a HalfKP(Friend) network of a shape fvscope reads.
bool ParseArchitecture(const std::string& text, NetworkShape* shape, std::string* error);

// Maps and checks the network at path into *network; with aligned, copies
// the transformer so that each row starts on a cache line (for a run that
// reads most of it many times), else reads it in place where it can.
// Returns false with *error ("path: what is wrong") for a file that cannot be
// read, a size other than its shape's, an architecture not read, or a hash
// off its rule.
bool LoadNetwork(const char* path, Network* network, std::string* error, bool aligned = false);

// Drops the mapping of *network.
void CloseNetwork(Network* network);

// The W weights of input (king, feature).
inline const int16_t* InputWeights(const Network& network, int king, int feature) {
  return network.weights + static_cast<int64_t>(network.shape.w) * (king * kPieceFeatures + feature);
}

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_NETWORK_NETWORK_FILE_H_
