#include "eval/network/network_eval.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace fvscope {

namespace {

// The widest layer input: both views' accumulators.
constexpr int kMaxLayerInputs = 2 * kMaxTransformerWidth;

// Views a tally's short counters take before they are emptied: 127 x 512
// still fits 16 bits.
constexpr int kShortViews = 512;
static_assert(kClampMax * kShortViews <= 0xFFFF, "a short sum would wrap");


int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

uint8_t ClampToByte(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, kClampMax)); }

void CountClamp(int32_t v, ClampCounts* c) {
  if (v <= 0) {
    ++c->zero;
  } else if (v >= kClampMax) {
    ++c->max;
  } else {
    ++c->between;
  }
}

// Plain paths.

void AccumulatePlain(const Network& n, int king, const PieceFeature* f, int count,
                     Accumulator* acc) {
  const int w = n.shape.w;
  for (int j = 0; j < w; ++j) acc->values[j] = n.biases[j];
  for (int i = 0; i < count; ++i) {
    const int16_t* row = InputWeights(n, king, f[i].number);
    for (int j = 0; j < w; ++j) acc->values[j] = static_cast<int16_t>(acc->values[j] + row[j]);
  }
}

void AddInputPlain(const Network& n, int king, int feature, int sign, Accumulator* acc) {
  const int16_t* row = InputWeights(n, king, feature);
  for (int j = 0; j < n.shape.w; ++j) {
    acc->values[j] = static_cast<int16_t>(acc->values[j] + sign * row[j]);
  }
}

// One affine layer of outputs over inputs (inputs wide, stored padded), then
// the shift and the clamp into out.
void AffinePlain(const int32_t* biases, const int8_t* weights, int outputs, int inputs,
                 int padded, const uint8_t* in, uint8_t* out, ClampCounts* counts) {
  for (int o = 0; o < outputs; ++o) {
    int64_t sum = biases[o];
    const int8_t* row = weights + static_cast<int64_t>(o) * padded;
    for (int i = 0; i < inputs; ++i) sum += int32_t{row[i]} * in[i];
    const int32_t shifted = Wrap32(sum) >> kLayerShift;
    if (counts != nullptr) CountClamp(shifted, counts);
    out[o] = ClampToByte(shifted);
  }
}

// Counts one position's hidden outputs h1 and h2 into *tally.
void CountLayers(const NetworkShape& s, const uint8_t* h1, const uint8_t* h2, LayerTally* tally) {
  const uint8_t* layers[2] = {h1, h2};
  const int widths[2] = {s.h1, s.h2};
  for (int l = 0; l < 2; ++l) {
    for (int o = 0; o < widths[l]; ++o) {
      const uint8_t v = layers[l][o];
      tally->zero[l][o] += v == 0;
      tally->max[l][o] += v == kClampMax;
      tally->sum[l][o] += v;
    }
  }
  ++tally->positions;
}

int32_t LayersPlain(const Network& n, const uint8_t* x, LayerCounts* counts, LayerTally* tally) {
  const NetworkShape& s = n.shape;
  uint8_t h1[kMaxHiddenWidth], h2[kMaxHiddenWidth];
  AffinePlain(n.b1.data(), n.w1.data(), s.h1, 2 * s.w, PaddedWidth(2 * s.w), x, h1,
              counts != nullptr ? &counts->hidden[0] : nullptr);
  AffinePlain(n.b2.data(), n.w2.data(), s.h2, s.h1, PaddedWidth(s.h1), h1, h2,
              counts != nullptr ? &counts->hidden[1] : nullptr);
  if (tally != nullptr) CountLayers(s, h1, h2, tally);
  int64_t z = n.b3;
  for (int i = 0; i < s.h2; ++i) z += int32_t{n.w3[i]} * h2[i];
  return Wrap32(z);
}

// AVX2 paths: the same sums, 16-bit adds that wrap as the plain ones do, and
// products of bytes whose pairs never reach the 16-bit limit (127 x 128 x 2).

// The sums of the count features' rows under king, 8 registers of 16 values
// at a time, each tile handed to store(t, sums) while in the registers:
// 16-bit adds that wrap as the plain ones do.
template <typename Store>
__attribute__((target("avx2"))) inline void SumRowsAvx2(const Network& n, int king,
                                                       const PieceFeature* f, int count,
                                                       const Store& store) {
  constexpr int kTile = 8;
  const int16_t* rows[kSetPieces];
  for (int i = 0; i < count; ++i) rows[i] = InputWeights(n, king, f[i].number);
  for (int t = 0; t < n.shape.w; t += 16 * kTile) {
    __m256i sum[kTile];
    for (int r = 0; r < kTile; ++r) {
      sum[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n.biases + t + 16 * r));
    }
    for (int i = 0; i < count; ++i) {
      const int16_t* row = rows[i] + t;
      for (int r = 0; r < kTile; ++r) {
        sum[r] = _mm256_add_epi16(
            sum[r], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 16 * r)));
      }
    }
    store(t, sum);
  }
}

// Stores of a tile of sums: the values themselves, or clamped to bytes.
struct StoreValues {
  int16_t* out;
  __attribute__((target("avx2"))) void operator()(int t, const __m256i* sum) const {
    for (int r = 0; r < 8; ++r) {
      _mm256_store_si256(reinterpret_cast<__m256i*>(out + t + 16 * r), sum[r]);
    }
  }
};
struct StoreClamped {
  uint8_t* out;
  __attribute__((target("avx2"))) void operator()(int t, const __m256i* sum) const {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi16(kClampMax);
    for (int r = 0; r < 8; r += 2) {
      const __m256i a = _mm256_min_epi16(_mm256_max_epi16(sum[r], zero), top);
      const __m256i b = _mm256_min_epi16(_mm256_max_epi16(sum[r + 1], zero), top);
      // packus works per 128-bit lane: put the lanes back in order.
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + t + 16 * r), packed);
    }
  }
};

// Ends one view counted into *tally: the short counters are emptied before
// the next view's bytes could wrap a sum.
void EndCountedView(TransformerTally* tally) {
  ++tally->views;
  if (++tally->short_views == kShortViews) FlushTransformerTally(tally);
}

// Counts one view's values before the clamp into *tally.
void CountValuesPlain(const int16_t* values, int w, TransformerTally* tally) {
  for (int j = 0; j < w; ++j) {
    const int v = values[j];
    tally->zero[j] += v <= 0;
    tally->max[j] += v >= kClampMax;
    tally->sum[j] += ClampToByte(v);
    ++tally->spread[j % kHistogramSpread][PreClampBin(v)];
  }
  EndCountedView(tally);
}

// StoreClamped that also counts the tile into a tally: the clamps and sums
// per neuron in the short counters, the values' bins in the histogram.
struct StoreClampedCounting {
  uint8_t* out;
  TransformerTally* tally;
  __attribute__((target("avx2"))) void operator()(int t, const __m256i* sum) const {
    StoreClamped{out}(t, sum);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i below_top = _mm256_set1_epi16(kClampMax - 1);
    const __m256i top = _mm256_set1_epi16(kClampMax);
    const __m256i first_bin = _mm256_set1_epi16(1 - kPreClampLow / kPreClampBinWidth);
    const __m256i last_bin = _mm256_set1_epi16(kPreClampBins - 1);
    alignas(32) int16_t bins[16 * 8];
    for (int r = 0; r < 8; ++r) {
      const int j = t + 16 * r;
      __m256i* zeros = reinterpret_cast<__m256i*>(tally->zero + j);
      __m256i* maxes = reinterpret_cast<__m256i*>(tally->max + j);
      __m256i* sums = reinterpret_cast<__m256i*>(tally->sum + j);
      // A comparison's lanes are -1 where it holds: taken away, they count.
      *zeros = _mm256_sub_epi16(*zeros, _mm256_cmpgt_epi16(one, sum[r]));
      *maxes = _mm256_sub_epi16(*maxes, _mm256_cmpgt_epi16(sum[r], below_top));
      *sums = _mm256_add_epi16(*sums, _mm256_min_epi16(_mm256_max_epi16(sum[r], zero), top));
      const __m256i bin = _mm256_add_epi16(_mm256_srai_epi16(sum[r], 4), first_bin);
      _mm256_store_si256(reinterpret_cast<__m256i*>(bins + 16 * r),
                         _mm256_min_epi16(_mm256_max_epi16(bin, zero), last_bin));
    }
    for (int i = 0; i < 16 * 8; ++i) ++tally->spread[(t + i) % kHistogramSpread][bins[i]];
  }
};

__attribute__((target("avx2"))) void AccumulateAvx2(const Network& n, int king,
                                                   const PieceFeature* f, int count,
                                                   Accumulator* acc) {
  SumRowsAvx2(n, king, f, count, StoreValues{acc->values});
}

// The accumulator clamped to bytes straight from the registers.
__attribute__((target("avx2"))) void AccumulateClampedAvx2(const Network& n, int king,
                                                          const PieceFeature* f, int count,
                                                          uint8_t* out) {
  SumRowsAvx2(n, king, f, count, StoreClamped{out});
}

// Two registers of 32 sums clamped to 64 bytes at to, in order.
__attribute__((target("avx512f,avx512bw"))) inline void StoreClampedPairAvx512(__m512i a, __m512i b,
                                                                             uint8_t* to) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i top = _mm512_set1_epi16(kClampMax);
  a = _mm512_min_epi16(_mm512_max_epi16(a, zero), top);
  b = _mm512_min_epi16(_mm512_max_epi16(b, zero), top);
  // packus works per 128-bit lane: this puts the lanes back in order.
  const __m512i bytes = _mm512_packus_epi16(a, b);
  _mm512_storeu_si512(to, _mm512_permutex2var_epi64(bytes, _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), bytes));
}

// The same with 32 values a register, a whole 256-wide accumulator in 8.
// The sums of the count features' rows under king, 256 values a tile in
// eight named registers (an array of them is kept in memory, and every add
// would go through it), each tile handed to store(t, s0..s7).
template <typename Store>
__attribute__((target("avx512f,avx512bw"))) inline void SumRowsAvx512(const Network& n, int king,
                                                                     const PieceFeature* f,
                                                                     int count, const Store& store) {
  const int w = n.shape.w;
  const int16_t* rows[kSetPieces];
  for (int i = 0; i < count; ++i) rows[i] = InputWeights(n, king, f[i].number);
  for (int t = 0; t < w; t += 256) {
    const int16_t* b = n.biases + t;
    __m512i s0 = _mm512_loadu_si512(b), s1 = _mm512_loadu_si512(b + 32);
    __m512i s2 = _mm512_loadu_si512(b + 64), s3 = _mm512_loadu_si512(b + 96);
    __m512i s4 = _mm512_loadu_si512(b + 128), s5 = _mm512_loadu_si512(b + 160);
    __m512i s6 = _mm512_loadu_si512(b + 192), s7 = _mm512_loadu_si512(b + 224);
    for (int i = 0; i < count; ++i) {
      const int16_t* row = rows[i] + t;
      s0 = _mm512_add_epi16(s0, _mm512_loadu_si512(row));
      s1 = _mm512_add_epi16(s1, _mm512_loadu_si512(row + 32));
      s2 = _mm512_add_epi16(s2, _mm512_loadu_si512(row + 64));
      s3 = _mm512_add_epi16(s3, _mm512_loadu_si512(row + 96));
      s4 = _mm512_add_epi16(s4, _mm512_loadu_si512(row + 128));
      s5 = _mm512_add_epi16(s5, _mm512_loadu_si512(row + 160));
      s6 = _mm512_add_epi16(s6, _mm512_loadu_si512(row + 192));
      s7 = _mm512_add_epi16(s7, _mm512_loadu_si512(row + 224));
    }
    store(t, s0, s1, s2, s3, s4, s5, s6, s7);
  }
}

// A tile clamped to bytes straight from the registers.
struct StoreClampedAvx512 {
  uint8_t* out;
  __attribute__((target("avx512f,avx512bw"))) void operator()(int t, __m512i s0, __m512i s1, __m512i s2,
                                                             __m512i s3, __m512i s4, __m512i s5,
                                                             __m512i s6, __m512i s7) const {
    StoreClampedPairAvx512(s0, s1, out + t);
    StoreClampedPairAvx512(s2, s3, out + t + 64);
    StoreClampedPairAvx512(s4, s5, out + t + 128);
    StoreClampedPairAvx512(s6, s7, out + t + 192);
  }
};

// A tile's values themselves.
struct StoreValuesAvx512 {
  int16_t* out;
  __attribute__((target("avx512f,avx512bw"))) void operator()(int t, __m512i s0, __m512i s1, __m512i s2,
                                                             __m512i s3, __m512i s4, __m512i s5,
                                                             __m512i s6, __m512i s7) const {
    const __m512i s[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    for (int r = 0; r < 8; ++r) _mm512_storeu_si512(out + t + 32 * r, s[r]);
  }
};

__attribute__((target("avx512f,avx512bw"))) void AccumulateClampedAvx512(
    const Network& n, int king, const PieceFeature* f, int count, uint8_t* out) {
  SumRowsAvx512(n, king, f, count, StoreClampedAvx512{out});
}

// The sums as values, for a caller that counts them.
__attribute__((target("avx512f,avx512bw"))) void AccumulateValuesAvx512(
    const Network& n, int king, const PieceFeature* f, int count, int16_t* values) {
  SumRowsAvx512(n, king, f, count, StoreValuesAvx512{values});
}

// A dot product of bytes 64 at a time through VNNI (exact: its products and
// their sums of four fit, the 32-bit sums wrap as the plain ones do).
__attribute__((target("avx512f,avx512bw,avx512vnni"))) int32_t DotAvx512(const uint8_t* in,
                                                                        const int8_t* row,
                                                                        int padded) {
  __m512i sum = _mm512_setzero_si512();
  for (int i = 0; i < padded; i += 64) {
    sum = _mm512_dpbusd_epi32(sum, _mm512_loadu_si512(in + i), _mm512_loadu_si512(row + i));
  }
  // Through memory: GCC 12's lane extractions warn of their own undefined inputs.
  alignas(64) uint32_t lanes[16];
  _mm512_store_si512(lanes, sum);
  uint32_t total = 0;
  for (uint32_t lane : lanes) total += lane;
  return static_cast<int32_t>(total);
}

__attribute__((target("avx2"))) void AddInputAvx2(const Network& n, int king, int feature,
                                                 int sign, Accumulator* acc) {
  const int16_t* row = InputWeights(n, king, feature);
  for (int j = 0; j < n.shape.w; j += 16) {
    __m256i* a = reinterpret_cast<__m256i*>(acc->values + j);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + j));
    *a = sign > 0 ? _mm256_add_epi16(*a, v) : _mm256_sub_epi16(*a, v);
  }
}

__attribute__((target("avx2"))) int32_t DotAvx2(const uint8_t* in, const int8_t* row,
                                               int padded) {
  const __m256i ones = _mm256_set1_epi16(1);
  __m256i sum = _mm256_setzero_si256();
  for (int i = 0; i < padded; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_maddubs_epi16(x, w), ones));
  }
  __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
  return _mm_cvtsi128_si32(s);
}

__attribute__((target("avx2"))) void AffineAvx2(const int32_t* biases, const int8_t* weights,
                                               int outputs, int padded, const uint8_t* in,
                                               uint8_t* out, ClampCounts* counts, bool vnni) {
  for (int o = 0; o < outputs; ++o) {
    const int8_t* row = weights + int64_t{o} * padded;
    const int32_t dot = vnni && padded % 64 == 0 ? DotAvx512(in, row, padded) : DotAvx2(in, row, padded);
    const int32_t sum = Wrap32(int64_t{static_cast<uint32_t>(biases[o])} + static_cast<uint32_t>(dot));
    const int32_t shifted = sum >> kLayerShift;
    if (counts != nullptr) CountClamp(shifted, counts);
    out[o] = ClampToByte(shifted);
  }
}

__attribute__((target("avx2"))) void ClampAvx2(const int16_t* values, int w, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i top = _mm256_set1_epi16(kClampMax);
  for (int j = 0; j < w; j += 32) {
    const __m256i a = _mm256_min_epi16(
        _mm256_max_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(values + j)), zero), top);
    const __m256i b = _mm256_min_epi16(
        _mm256_max_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(values + j + 16)), zero), top);
    // packus works per 128-bit lane: put the lanes back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), packed);
  }
}

// Group g of 4 inputs against a block's 16 outputs, added to acc.
__attribute__((target("avx512f,avx512bw,avx512vnni"))) inline __m512i GroupStepAvx512(
    __m512i acc, const uint8_t* in, const int8_t* w, int g) {
  int32_t four;
  std::memcpy(&four, in + 4 * g, 4);
  return _mm512_dpbusd_epi32(acc, _mm512_set1_epi32(four),
                             _mm512_loadu_si512(w + static_cast<size_t>(g) * 64));
}

// One affine layer through VNNI 16 outputs at a time from w's blocks: each
// group of 4 inputs broadcast against the 16 outputs' weights, four groups
// in flight; no sums across lanes. Writes a whole block of 16 bytes (the
// padding outputs' weights are 0, so their bytes are 0).
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void AffineBlocksAvx512(
    const int32_t* biases, const int8_t* blocks, int outputs, int padded, const uint8_t* in,
    uint8_t* out, ClampCounts* counts) {
  const int groups = padded / 4;
  const __m512i zero = _mm512_setzero_si512();
  const __m512i top = _mm512_set1_epi32(kClampMax);
  for (int b = 0; b * 16 < outputs; ++b) {
    const int8_t* w = blocks + static_cast<size_t>(b) * groups * 64;
    // Four sums in named registers: an array of them is kept in memory.
    __m512i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    for (int g = 0; g < groups; g += 4) {
      acc0 = GroupStepAvx512(acc0, in, w, g);
      acc1 = GroupStepAvx512(acc1, in, w, g + 1);
      acc2 = GroupStepAvx512(acc2, in, w, g + 2);
      acc3 = GroupStepAvx512(acc3, in, w, g + 3);
    }
    const int lanes = std::min(16, outputs - 16 * b);
    const __mmask16 kept = static_cast<__mmask16>((1u << lanes) - 1);
    __m512i sum = _mm512_add_epi32(_mm512_add_epi32(acc0, acc1), _mm512_add_epi32(acc2, acc3));
    sum = _mm512_add_epi32(sum, _mm512_maskz_loadu_epi32(kept, biases + 16 * b));
    // The zero-masked forms: GCC 12 warns of the others' undefined inputs.
    constexpr __mmask16 kAll = 0xFFFF;
    const __m512i shifted = _mm512_maskz_srai_epi32(kAll, sum, kLayerShift);
    const __m512i clamped = _mm512_maskz_min_epi32(kAll, _mm512_maskz_max_epi32(kAll, shifted, zero), top);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), _mm512_maskz_cvtepi32_epi8(kAll, clamped));
    if (counts != nullptr) {
      alignas(64) int32_t values[16];
      _mm512_store_si512(values, shifted);
      for (int j = 0; j < lanes; ++j) CountClamp(values[j], counts);
    }
  }
}

__attribute__((target("avx2"))) int32_t LayersAvx2(const Network& n, const uint8_t* x,
                                                  LayerCounts* counts, bool vnni,
                                                  LayerTally* tally) {
  const NetworkShape& s = n.shape;
  alignas(32) uint8_t h1[kMaxHiddenWidth + 32] = {};
  alignas(32) uint8_t h2[kMaxHiddenWidth + 32] = {};
  if (vnni && !n.w1_blocks.empty()) {
    AffineBlocksAvx512(n.b1.data(), n.w1_blocks.data(), s.h1, PaddedWidth(2 * s.w), x, h1,
                       counts != nullptr ? &counts->hidden[0] : nullptr);
    AffineBlocksAvx512(n.b2.data(), n.w2_blocks.data(), s.h2, PaddedWidth(s.h1), h1, h2,
                       counts != nullptr ? &counts->hidden[1] : nullptr);
  } else {
    AffineAvx2(n.b1.data(), n.w1.data(), s.h1, PaddedWidth(2 * s.w), x, h1,
               counts != nullptr ? &counts->hidden[0] : nullptr, vnni);
    AffineAvx2(n.b2.data(), n.w2.data(), s.h2, PaddedWidth(s.h1), h1, h2,
               counts != nullptr ? &counts->hidden[1] : nullptr, vnni);
  }
  if (tally != nullptr) CountLayers(s, h1, h2, tally);
  return Wrap32(int64_t{static_cast<uint32_t>(n.b3)} +
                static_cast<uint32_t>(DotAvx2(h2, n.w3.data(), PaddedWidth(s.h2))));
}

}  // namespace

bool NetworkPathRuns(NetworkPath path) {
  switch (path) {
    case NetworkPath::kPlain:
      return true;
    case NetworkPath::kAvx2:
      return __builtin_cpu_supports("avx2");
    case NetworkPath::kAvx512:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vnni");
  }
  return false;
}

NetworkPath FastestNetworkPath() {
  static const NetworkPath path = NetworkPathRuns(NetworkPath::kAvx512) ? NetworkPath::kAvx512
                                  : NetworkPathRuns(NetworkPath::kAvx2) ? NetworkPath::kAvx2
                                                                         : NetworkPath::kPlain;
  return path;
}

void Accumulate(const Network& network, NetworkPath path, int king, const PieceFeature* features,
                int count, Accumulator* acc) {
  if (path != NetworkPath::kPlain) {
    AccumulateAvx2(network, king, features, count, acc);
  } else {
    AccumulatePlain(network, king, features, count, acc);
  }
}

void AddInput(const Network& network, NetworkPath path, int king, int feature, int sign,
              Accumulator* acc) {
  if (path != NetworkPath::kPlain) {
    AddInputAvx2(network, king, feature, sign, acc);
  } else {
    AddInputPlain(network, king, feature, sign, acc);
  }
}

void ClampAccumulator(const Network& network, NetworkPath path, const Accumulator& acc,
                      uint8_t* out) {
  if (path != NetworkPath::kPlain) {
    ClampAvx2(acc.values, network.shape.w, out);
  } else {
    for (int j = 0; j < network.shape.w; ++j) out[j] = ClampToByte(acc.values[j]);
  }
}

void AccumulateClamped(const Network& network, NetworkPath path, int king,
                       const PieceFeature* features, int count, uint8_t* out) {
  if (path == NetworkPath::kAvx512) {
    AccumulateClampedAvx512(network, king, features, count, out);
    return;
  }
  if (path == NetworkPath::kAvx2) {
    AccumulateClampedAvx2(network, king, features, count, out);
    return;
  }
  Accumulator acc;
  AccumulatePlain(network, king, features, count, &acc);
  ClampAccumulator(network, path, acc, out);
}

int32_t PropagateInputs(const Network& network, NetworkPath path, const uint8_t* x,
                        LayerCounts* counts) {
  if (path == NetworkPath::kPlain) return LayersPlain(network, x, counts, nullptr);
  return LayersAvx2(network, x, counts, path == NetworkPath::kAvx512, nullptr);
}

int32_t PropagateInputsCounting(const Network& network, NetworkPath path, const uint8_t* x,
                                LayerTally* tally) {
  if (path == NetworkPath::kPlain) return LayersPlain(network, x, nullptr, tally);
  return LayersAvx2(network, x, nullptr, path == NetworkPath::kAvx512, tally);
}

void ClearTransformerTally(TransformerTally* tally) {
  std::memset(tally, 0, sizeof *tally);
}

void FlushTransformerTally(TransformerTally* tally) {
  for (int j = 0; j < kMaxTransformerWidth; ++j) {
    tally->total_zero[j] += tally->zero[j];
    tally->total_max[j] += tally->max[j];
    tally->total_sum[j] += tally->sum[j];
  }
  std::memset(tally->zero, 0, sizeof tally->zero);
  std::memset(tally->max, 0, sizeof tally->max);
  std::memset(tally->sum, 0, sizeof tally->sum);
  for (int b = 0; b < kPreClampBins; ++b) {
    for (int k = 0; k < kHistogramSpread; ++k) {
      tally->histogram[b] += tally->spread[k][b];
      tally->spread[k][b] = 0;
    }
  }
  tally->short_views = 0;
}

void CountAccumulator(const Network& network, const Accumulator& acc, TransformerTally* tally) {
  CountValuesPlain(acc.values, network.shape.w, tally);
}

void AccumulateClampedCounting(const Network& network, NetworkPath path, int king,
                               const PieceFeature* features, int count, uint8_t* out,
                               TransformerTally* tally) {
  if (path == NetworkPath::kPlain) {
    Accumulator acc;
    AccumulatePlain(network, king, features, count, &acc);
    ClampAccumulator(network, path, acc, out);
    CountValuesPlain(acc.values, network.shape.w, tally);
    return;
  }
  if (path == NetworkPath::kAvx512) {
    // Summed in the wide registers, then counted 128 values at a time as the AVX2 path counts its tiles.
    alignas(64) int16_t values[kMaxTransformerWidth];
    AccumulateValuesAvx512(network, king, features, count, values);
    for (int t = 0; t < network.shape.w; t += 128) {
      StoreClampedCounting{out, tally}(t, reinterpret_cast<const __m256i*>(values + t));
    }
    EndCountedView(tally);
    return;
  }
  SumRowsAvx2(network, king, features, count, StoreClampedCounting{out, tally});
  EndCountedView(tally);
}

int32_t Propagate(const Network& network, NetworkPath path, const Accumulator& own,
                  const Accumulator& other, LayerCounts* counts) {
  alignas(64) uint8_t x[kMaxLayerInputs];
  ClampAccumulator(network, path, own, x);
  ClampAccumulator(network, path, other, x + network.shape.w);
  return PropagateInputs(network, path, x, counts);
}

int32_t NetworkValueOf(const Network& network, int32_t z, Side to_move) {
  const int32_t value = z / network.scale;
  // Widened first: the one quotient whose negation does not fit wraps to itself.
  return to_move == kBlack ? value : static_cast<int32_t>(-int64_t{value});
}

ClampCounts CountClamps(const Network& network, const Accumulator& acc) {
  ClampCounts counts;
  for (int j = 0; j < network.shape.w; ++j) CountClamp(acc.values[j], &counts);
  return counts;
}

bool EvaluateNetwork(const Network& network, NetworkPath path, const Position& position,
                     Side to_move, int32_t* z, int32_t* value, std::string* error) {
  PieceFeatureList list;
  if (!BuildPieceFeatures(position, &list, error)) return false;
  Accumulator acc[2];
  for (Side view : kSides) {
    Accumulate(network, path, list.king[view], list.view[view], list.count, &acc[view]);
  }
  *z = Propagate(network, path, acc[to_move], acc[Opponent(to_move)], nullptr);
  *value = NetworkValueOf(network, *z, to_move);
  return true;
}

}  // namespace fvscope
