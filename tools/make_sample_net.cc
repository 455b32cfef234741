// Writes a random HalfKP network file whose layers lie between their clamps
// most of the time, for the tests and the bench.
//
// usage: make_sample_net OUT [SEED] [W-H1-H2]   (default seed 1, shape 256-32-32)
#include <cstdio>
#include <cstdlib>

#include "tools/sample_net.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: make_sample_net OUT [SEED] [W-H1-H2]\n");
    return 2;
  }
  const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  fvscope::NetworkShape shape{256, 32, 32};
  if (argc > 3 && std::sscanf(argv[3], "%d-%d-%d", &shape.w, &shape.h1, &shape.h2) != 3) {
    std::fprintf(stderr, "make_sample_net: the shape is W-H1-H2, not %s\n", argv[3]);
    return 2;
  }
  std::string error;
  if (!fvscope::ParseArchitecture(fvscope::ArchitectureText(shape), &shape, &error)) {
    std::fprintf(stderr, "make_sample_net: %s\n", error.c_str());
    return 2;
  }
  if (!fvscope::WriteNetworkFile(argv[1], fvscope::RandomNetwork(shape, seed))) {
    std::fprintf(stderr, "make_sample_net: %s: cannot be written\n", argv[1]);
    return 1;
  }
  return 0;
}
