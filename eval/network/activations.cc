#include "eval/network/activations.h"

#include <algorithm>
#include <cstring>

#include "eval/piece_features.h"

namespace fvscope {

namespace {

// Widths a partial's counts may name.
constexpr int32_t kMaxLayerWidths[kActivationLayers] = {kMaxTransformerWidth, kMaxHiddenWidth,
                                                        kMaxHiddenWidth};

void PutU64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

uint64_t GetU64(std::string_view bytes, size_t at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  return v;
}

}  // namespace

const char* ActivationLayerName(int layer) {
  static const char* const kNames[kActivationLayers] = {"transformer", "layer1", "layer2"};
  return kNames[layer];
}

void StartActivations(Activations* activations, const Network& network) {
  *activations = Activations();
  activations->widths[kTransformerLayer] = network.shape.w;
  activations->widths[kFirstHiddenLayer] = network.shape.h1;
  activations->widths[kSecondHiddenLayer] = network.shape.h2;
  for (int l = 0; l < kActivationLayers; ++l) activations->layers[l].resize(activations->widths[l]);
}

uint64_t LayerOutputs(const Activations& activations, int layer) {
  const uint64_t positions = static_cast<uint64_t>(activations.positions);
  return layer == kTransformerLayer ? 2 * positions : positions;
}

void AddTransformerTally(Activations* into, TransformerTally* tally) {
  FlushTransformerTally(tally);
  const uint64_t views = static_cast<uint64_t>(tally->views);
  std::vector<NeuronActivity>& neurons = into->layers[kTransformerLayer];
  for (size_t j = 0; j < neurons.size(); ++j) {
    neurons[j].zero += tally->total_zero[j];
    neurons[j].max += tally->total_max[j];
    neurons[j].between += views - tally->total_zero[j] - tally->total_max[j];
    neurons[j].sum += tally->total_sum[j];
  }
  for (int b = 0; b < kPreClampBins; ++b) into->histogram[b] += tally->histogram[b];
}

void AddLayerTally(Activations* into, const LayerTally& tally) {
  const uint64_t positions = static_cast<uint64_t>(tally.positions);
  for (int l = 0; l < 2; ++l) {
    std::vector<NeuronActivity>& neurons = into->layers[kFirstHiddenLayer + l];
    for (size_t o = 0; o < neurons.size(); ++o) {
      neurons[o].zero += tally.zero[l][o];
      neurons[o].max += tally.max[l][o];
      neurons[o].between += positions - tally.zero[l][o] - tally.max[l][o];
      neurons[o].sum += tally.sum[l][o];
    }
  }
  into->positions += tally.positions;
}

bool EvaluateNetworkCounting(const Network& network, NetworkPath path, const Position& position,
                             Side to_move, int32_t* z, int32_t* value, Activations* activations,
                             std::string* error) {
  PieceFeatureList list;
  if (!BuildPieceFeatures(position, &list, error)) return false;
  const int w = network.shape.w;
  Accumulator acc[2];
  alignas(64) uint8_t x[2 * kMaxTransformerWidth];
  std::vector<NeuronActivity>& neurons = activations->layers[kTransformerLayer];
  for (Side view : kSides) {
    Accumulate(network, path, list.king[view], list.view[view], list.count, &acc[view]);
    for (int j = 0; j < w; ++j) {
      const int v = acc[view].values[j];
      NeuronActivity& n = neurons[j];
      if (v <= 0) {
        ++n.zero;
      } else if (v >= kClampMax) {
        ++n.max;
      } else {
        ++n.between;
      }
      n.sum += static_cast<uint64_t>(std::clamp(v, 0, kClampMax));
      ++activations->histogram[PreClampBin(v)];
    }
  }
  ClampAccumulator(network, path, acc[to_move], x);
  ClampAccumulator(network, path, acc[Opponent(to_move)], x + w);
  LayerTally layers;
  *z = PropagateInputsCounting(network, path, x, &layers);
  AddLayerTally(activations, layers);
  *value = NetworkValueOf(network, *z, to_move);
  return true;
}

bool MergeActivations(Activations* into, const Activations& from, std::string* error) {
  for (int l = 0; l < kActivationLayers; ++l) {
    if (into->widths[l] != from.widths[l]) {
      *error = "its activations are of a network " + std::to_string(from.widths[0]) + "/" +
               std::to_string(from.widths[1]) + "/" + std::to_string(from.widths[2]) + ", not " +
               std::to_string(into->widths[0]) + "/" + std::to_string(into->widths[1]) + "/" +
               std::to_string(into->widths[2]);
      return false;
    }
  }
  into->positions += from.positions;
  for (int l = 0; l < kActivationLayers; ++l) {
    for (size_t j = 0; j < into->layers[l].size(); ++j) {
      NeuronActivity& a = into->layers[l][j];
      const NeuronActivity& b = from.layers[l][j];
      a.zero += b.zero;
      a.between += b.between;
      a.max += b.max;
      a.sum += b.sum;
    }
  }
  for (int b = 0; b < kPreClampBins; ++b) into->histogram[b] += from.histogram[b];
  return true;
}

// The bytes: u32 x 3 widths (W, H1, H2), u64 positions, u64 x kPreClampBins
// histogram, then per neuron of each layer in turn u64 zero, between, max, sum.
std::string EncodeActivations(const Activations& a) {
  std::string out;
  for (int l = 0; l < kActivationLayers; ++l) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(static_cast<uint32_t>(a.widths[l]) >> (8 * i)));
  }
  PutU64(&out, static_cast<uint64_t>(a.positions));
  for (uint64_t count : a.histogram) PutU64(&out, count);
  for (int l = 0; l < kActivationLayers; ++l) {
    for (const NeuronActivity& n : a.layers[l]) {
      PutU64(&out, n.zero);
      PutU64(&out, n.between);
      PutU64(&out, n.max);
      PutU64(&out, n.sum);
    }
  }
  return out;
}

bool DecodeActivations(std::string_view bytes, Activations* out, std::string* error) {
  constexpr size_t kHead = 4 * kActivationLayers + 8 + 8 * kPreClampBins;
  if (bytes.size() < kHead) {
    *error = "its activations are cut short (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  Activations a;
  size_t neurons = 0;
  for (int l = 0; l < kActivationLayers; ++l) {
    uint32_t width = 0;
    for (int i = 0; i < 4; ++i) width |= uint32_t{static_cast<unsigned char>(bytes[4 * l + i])} << (8 * i);
    if (width < 1 || width > static_cast<uint32_t>(kMaxLayerWidths[l])) {
      *error = std::string("its activations' ") + ActivationLayerName(l) + " has " +
               std::to_string(width) + " neurons";
      return false;
    }
    a.widths[l] = static_cast<int32_t>(width);
    neurons += width;
  }
  if (bytes.size() != kHead + 32 * neurons) {
    *error = "its activations are " + std::to_string(bytes.size()) + " bytes, not " +
             std::to_string(kHead + 32 * neurons);
    return false;
  }
  size_t at = 4 * kActivationLayers;
  const uint64_t positions = GetU64(bytes, at);
  at += 8;
  // Counts past 2^40 positions are no run's: their sums below cannot wrap.
  if (positions > (uint64_t{1} << 40)) {
    *error = "its activations count " + std::to_string(positions) + " positions";
    return false;
  }
  a.positions = static_cast<int64_t>(positions);
  uint64_t binned = 0;
  for (uint64_t& count : a.histogram) {
    count = GetU64(bytes, at);
    at += 8;
    binned += count;
  }
  if (binned != 2 * positions * a.widths[kTransformerLayer]) {
    *error = "its activations' histogram holds " + std::to_string(binned) + " values, not " +
             std::to_string(2 * positions * a.widths[kTransformerLayer]);
    return false;
  }
  for (int l = 0; l < kActivationLayers; ++l) {
    a.layers[l].resize(a.widths[l]);
    const uint64_t outputs = LayerOutputs(a, l);
    for (int j = 0; j < a.widths[l]; ++j) {
      NeuronActivity& n = a.layers[l][j];
      n.zero = GetU64(bytes, at);
      n.between = GetU64(bytes, at + 8);
      n.max = GetU64(bytes, at + 16);
      n.sum = GetU64(bytes, at + 24);
      at += 32;
      if (n.zero > outputs || n.between > outputs - n.zero ||
          n.zero + n.between + n.max != outputs ||
          n.sum < n.between + kClampMax * n.max || n.sum > (kClampMax - 1) * n.between + kClampMax * n.max) {
        *error = std::string("its activations' ") + ActivationLayerName(l) + " neuron " +
                 std::to_string(j) + " has counts that do not add up to its outputs";
        return false;
      }
    }
  }
  *out = std::move(a);
  return true;
}

std::string PreClampBinText(int b) {
  const int low = kPreClampLow + (b - 1) * kPreClampBinWidth;
  if (b == 0) return "< " + std::to_string(kPreClampLow);
  if (b == kPreClampBins - 1) return ">= " + std::to_string(low);
  return std::to_string(low) + ".." + std::to_string(low + kPreClampBinWidth - 1);
}

LayerActivitySummary SummarizeLayerActivity(const Activations& activations, int layer) {
  LayerActivitySummary out;
  const uint64_t outputs = LayerOutputs(activations, layer);
  const std::vector<NeuronActivity>& neurons = activations.layers[layer];
  for (size_t j = 0; j < neurons.size(); ++j) {
    const NeuronActivity& n = neurons[j];
    out.total.zero += n.zero;
    out.total.between += n.between;
    out.total.max += n.max;
    out.total.sum += n.sum;
    out.means.push_back(outputs > 0 ? static_cast<double>(n.sum) / outputs : 0.0);
    if (outputs == 0) continue;
    if (n.zero == outputs) out.dead.push_back(static_cast<int32_t>(j));
    if (n.max == outputs) out.saturated.push_back(static_cast<int32_t>(j));
  }
  return out;
}

}  // namespace fvscope
