// Writes a deterministic synthetic evaluation file of the real size: most
// values small, a long tail of large ones, and larger values for pairs of
// pieces close to the king; king square 40 has a heavier tail.
//
// usage: make_sample_fv OUT [SEED]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "eval/table/eval_file.h"
#include "eval/table/features.h"

namespace fvscope {
namespace {

constexpr uint64_t kDefaultSeed = 20261208;
constexpr int kRichSquare = 40;

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

int16_t Clamp16(int v) { return static_cast<int16_t>(v > 32767 ? 32767 : v < -32767 ? -32767 : v); }

int Distance(int a, int b) {
  const int dr = std::abs(a / 9 - b / 9);
  const int dc = std::abs(a % 9 - b % 9);
  return dr > dc ? dr : dc;
}

// One KPP value of king square k for features f1 >= f2.
int16_t KppValue(uint64_t seed, int k, int f1, int f2, const DecodedFeature* decoded) {
  const uint64_t h = Mix(seed ^ (uint64_t(k) << 42) ^ (uint64_t(f1) << 21) ^ uint64_t(f2));
  int v = static_cast<int>(h & 0x7f) - 64;
  const DecodedFeature& a = decoded[f1];
  const DecodedFeature& b = decoded[f2];
  if (f1 >= kKppHandFeatures && f2 >= kKppHandFeatures) {
    const int d1 = Distance(a.cell, k);
    const int d2 = Distance(b.cell, k);
    if (d1 <= 2 && d2 <= 2) {
      int sign = (a.value > 0 ? 1 : -1) + (b.value > 0 ? 1 : -1);
      if (sign == 0) sign = (h >> 8) & 1 ? 2 : -2;
      const int boost = (3 - d1) * (3 - d2) * 150;
      v += sign / 2 * (boost / 2 + static_cast<int>((h >> 12) % (boost + 1)));
    }
  }
  const uint64_t tail_odds = k == kRichSquare ? 600 : 40;
  if ((h >> 24) % 100000 < tail_odds) {
    const int magnitude = 1000 + static_cast<int>((h >> 40) % 3000) + static_cast<int>((h >> 52) % 2) *
                                                                          static_cast<int>((h >> 54) % 4000);
    v = (h >> 63) ? magnitude : -magnitude;
  }
  return Clamp16(v);
}

int Main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make_sample_fv OUT [SEED]\n");
    return 2;
  }
  const uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : kDefaultSeed;
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  DecodedFeature decoded[kKppFeatures];
  for (int f = 0; f < kKppFeatures; ++f) DecodeFeature(f, &decoded[f]);
  std::vector<int16_t> triangle(kKppTriangleValues);
  for (int k = 0; k < kSquares; ++k) {
    for (int f1 = 0; f1 < kKppFeatures; ++f1) {
      for (int f2 = 0; f2 <= f1; ++f2) {
        triangle[TriangleIndex(f1, f2)] = KppValue(seed, k, f1, f2, decoded);
      }
    }
    std::fwrite(triangle.data(), sizeof(int16_t), triangle.size(), out);
  }
  std::vector<int16_t> kkp(kKkpValues);
  for (int64_t i = 0; i < kKkpValues; ++i) {
    kkp[i] = static_cast<int16_t>(static_cast<int>(Mix(~seed ^ uint64_t(i)) % 401) - 200);
  }
  std::fwrite(kkp.data(), sizeof(int16_t), kkp.size(), out);
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
