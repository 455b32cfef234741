// Writes a random KPPT set (symmetric KPP, zero diagonal, zeros at feature
// 0) into a folder, for the tests and the bench.
//
// usage: make_sample_kppt DIR [SEED] [LAYOUT]   (default seed 1, layout
// kppt32; the others kppt16, nokk, kpp_kkpt)
#include <cstdio>
#include <cstdlib>

#include "tools/sample_kppt.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: make_sample_kppt DIR [SEED] [kppt32|kppt16|nokk|kpp_kkpt]\n");
    return 2;
  }
  const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  fvscope::KpptLayout layout = fvscope::KpptLayout::kKppt32;
  if (argc > 3 && !fvscope::ParseSampleLayout(argv[3], &layout)) {
    std::fprintf(stderr, "make_sample_kppt: no layout %s (kppt32, kppt16, nokk, kpp_kkpt)\n", argv[3]);
    return 2;
  }
  fvscope::SampleKppt sample;
  fvscope::MakeSampleKppt(layout, seed, &sample);
  if (!fvscope::WriteSampleKppt(argv[1], sample)) {
    std::fprintf(stderr, "make_sample_kppt: %s: cannot be written\n", argv[1]);
    return 1;
  }
  return 0;
}
