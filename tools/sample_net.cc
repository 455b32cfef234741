#include "tools/sample_net.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "eval/piece_features.h"

namespace fvscope {

namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// A number in [-range, range] drawn from state.
int Draw(uint64_t* state, int range) {
  *state = Mix(*state);
  return static_cast<int>(*state % (2 * static_cast<uint64_t>(range) + 1)) - range;
}

void PutWord(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void PutHalf(std::string* out, int16_t v) {
  out->push_back(static_cast<char>(v & 0xff));
  out->push_back(static_cast<char>((static_cast<uint16_t>(v) >> 8) & 0xff));
}

}  // namespace

NetworkParts EmptyNetwork(const NetworkShape& s) {
  NetworkParts p;
  p.shape = s;
  p.biases.assign(s.w, 0);
  p.weights.assign(static_cast<size_t>(s.w) * kNetworkInputs, 0);
  p.b1.assign(s.h1, 0);
  p.b2.assign(s.h2, 0);
  p.w1.assign(static_cast<size_t>(s.h1) * PaddedWidth(2 * s.w), 0);
  p.w2.assign(static_cast<size_t>(s.h2) * PaddedWidth(s.h1), 0);
  p.w3.assign(PaddedWidth(s.h2), 0);
  return p;
}

NetworkParts RandomNetwork(const NetworkShape& s, uint64_t seed, int weight_range) {
  NetworkParts p = EmptyNetwork(s);
  uint64_t state = seed * 0x2545F4914F6CDD1Dull + 1;
  for (int16_t& b : p.biases) b = static_cast<int16_t>(50 + Draw(&state, 30));
  for (int16_t& w : p.weights) w = static_cast<int16_t>(Draw(&state, weight_range));
  // The sums' spread grows with the root of the inputs: keep the shifted
  // values mostly within 0..127.
  const int r1 = std::max(1, 90 / static_cast<int>(std::sqrt(2.0 * s.w)));
  const int r2 = std::max(1, 90 / static_cast<int>(std::sqrt(1.0 * s.h1)));
  for (int o = 0; o < s.h1; ++o) {
    p.b1[o] = 3500 + Draw(&state, 2000);
    for (int i = 0; i < 2 * s.w; ++i) p.w1[o * PaddedWidth(2 * s.w) + i] = static_cast<int8_t>(Draw(&state, r1));
  }
  for (int o = 0; o < s.h2; ++o) {
    p.b2[o] = 3500 + Draw(&state, 2000);
    for (int i = 0; i < s.h1; ++i) p.w2[o * PaddedWidth(s.h1) + i] = static_cast<int8_t>(Draw(&state, r2));
  }
  for (int i = 0; i < s.h2; ++i) p.w3[i] = static_cast<int8_t>(Draw(&state, 127));
  p.b3 = Draw(&state, 3000);
  return p;
}

NetworkParts MaterialNetwork() {
  const NetworkShape s{256, 32, 32};
  NetworkParts p = EmptyNetwork(s);
  // Transformer neuron k counts the view's own pieces of kind k, 16 + k the
  // other side's; a held piece counts as its kind.
  const auto count = [&](int feature, int neuron) {
    for (int king = 0; king < kSquares; ++king) {
      p.weights[(static_cast<size_t>(king) * kPieceFeatures + feature) * s.w + neuron] = 1;
    }
  };
  for (int kind = kPawn; kind <= kDragon; ++kind) {
    if (kind == kKing || (kind >= kProPawn && kind <= kProSilver)) continue;
    for (int sq = 0; sq < kSquares; ++sq) {
      count(kBoardFriendBase[kind] + sq, kind);
      count(kBoardEnemyBase[kind] + sq, 16 + kind);
    }
  }
  // Promoted minor pieces share gold's numbers: their units are gold's.
  for (int h = 0; h < kHandKinds; ++h) {
    for (int k = 0; k < kPiecesInSet[h]; ++k) {
      count(kHandFriendBase[h] + k, h + 1);
      count(kHandEnemyBase[h] + k, 16 + h + 1);
    }
  }
  // Layer 1 passes the side to move's counts on (64 x c >> 6 = c), layer 2
  // the same; the output weighs them by their units, 16 to a point.
  for (int o = 0; o < 32; ++o) {
    p.w1[o * PaddedWidth(2 * s.w) + o] = 64;
    p.w2[o * PaddedWidth(s.h1) + o] = 64;
  }
  for (int kind = kPawn; kind <= kDragon; ++kind) {
    p.w3[kind] = static_cast<int8_t>(16 * kMaterialUnits[kind]);
    p.w3[16 + kind] = static_cast<int8_t>(-16 * kMaterialUnits[kind]);
  }
  return p;
}

std::string NetworkFileContents(const NetworkParts& p) {
  const NetworkShape& s = p.shape;
  const std::string text = p.architecture.empty() ? ArchitectureText(s) : p.architecture;
  std::string out;
  out.reserve(static_cast<size_t>(NetworkFileBytes(s, static_cast<int64_t>(text.size()))));
  PutWord(&out, kNetworkVersion);
  PutWord(&out, TransformerHash(s) ^ LayersHash(s));
  PutWord(&out, static_cast<uint32_t>(text.size()));
  out += text;
  PutWord(&out, TransformerHash(s));
  for (int16_t v : p.biases) PutHalf(&out, v);
  for (int16_t v : p.weights) PutHalf(&out, v);
  PutWord(&out, LayersHash(s));
  for (int32_t v : p.b1) PutWord(&out, static_cast<uint32_t>(v));
  for (int8_t v : p.w1) out.push_back(static_cast<char>(v));
  for (int32_t v : p.b2) PutWord(&out, static_cast<uint32_t>(v));
  for (int8_t v : p.w2) out.push_back(static_cast<char>(v));
  PutWord(&out, static_cast<uint32_t>(p.b3));
  for (int8_t v : p.w3) out.push_back(static_cast<char>(v));
  return out;
}

bool WriteNetworkFile(const std::string& path, const NetworkParts& parts) {
  const std::string bytes = NetworkFileContents(parts);
  const std::string temporary = path + ".part";
  FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written) {
    std::remove(temporary.c_str());
    return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

Network NetworkOfParts(const NetworkParts& parts) {
  Network n;
  n.shape = parts.shape;
  n.architecture = parts.architecture.empty() ? ArchitectureText(parts.shape) : parts.architecture;
  n.biases = parts.biases.data();
  n.weights = parts.weights.data();
  n.b1 = parts.b1;
  n.b2 = parts.b2;
  n.w1 = parts.w1;
  n.w2 = parts.w2;
  n.w3 = parts.w3;
  n.b3 = parts.b3;
  ArrangeLayerBlocks(&n);
  return n;
}

}  // namespace fvscope
