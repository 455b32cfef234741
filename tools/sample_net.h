// Networks for the tests and the bench: the parts of a HalfKP network file,
// random ones, one that computes the material balance, and the file's bytes.
#ifndef FVSCOPE_TOOLS_SAMPLE_NET_H_
#define FVSCOPE_TOOLS_SAMPLE_NET_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/network/network_file.h"

namespace fvscope {

// Everything a network file holds, unpadded layers padded as stored.
struct NetworkParts {
  NetworkShape shape;
  std::string architecture;       // empty: ArchitectureText(shape)
  std::vector<int16_t> biases;    // [W]
  std::vector<int16_t> weights;   // [kNetworkInputs][W]
  std::vector<int32_t> b1, b2;    // [H1], [H2]
  std::vector<int8_t> w1, w2, w3;  // [H1][P(2W)], [H2][P(H1)], [P(H2)]
  int32_t b3 = 0;
};

// Zeroed parts of shape.
NetworkParts EmptyNetwork(const NetworkShape& shape);

// Random parts whose layers lie between their clamps most of the time;
// transformer weights within +-weight_range (large ones make accumulators wrap).
NetworkParts RandomNetwork(const NetworkShape& shape, uint64_t seed, int weight_range = 16);

// A 256/32/32 network whose value at scale 16 is the material balance from
// black's view in the units of MaterialUnits, whoever is to move.
NetworkParts MaterialNetwork();

// Units of each piece kind in MaterialNetwork; kings 0.
inline constexpr int kMaterialUnits[15] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 5, 5, 5, 5, 7, 7};

// A network whose transformer points into parts (kept alive by the caller),
// as if loaded, at the default scale.
Network NetworkOfParts(const NetworkParts& parts);

// The file's bytes, hashes by their rules.
std::string NetworkFileContents(const NetworkParts& parts);

// Writes the file whole at path. Returns false when it cannot be written.
bool WriteNetworkFile(const std::string& path, const NetworkParts& parts);

}  // namespace fvscope

#endif  // FVSCOPE_TOOLS_SAMPLE_NET_H_
