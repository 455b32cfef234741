#include "tools/sample_kppt.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace fvscope {

namespace {

uint64_t Next(uint64_t* s) {
  // xorshift64*
  *s ^= *s >> 12;
  *s ^= *s << 25;
  *s ^= *s >> 27;
  return *s * 0x2545F4914F6CDD1Dull;
}

// A value in [-range, range].
int32_t Draw(uint64_t* s, int32_t range) {
  return static_cast<int32_t>(Next(s) % (2 * static_cast<uint64_t>(range) + 1)) - range;
}

void Put(uint8_t* at, int bytes, int32_t v) {
  if (bytes == 4) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int b = 0; b < 4; ++b) at[b] = static_cast<uint8_t>(u >> (8 * b));
  } else {
    const uint16_t u = static_cast<uint16_t>(v);
    at[0] = static_cast<uint8_t>(u);
    at[1] = static_cast<uint8_t>(u >> 8);
  }
}

bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string part = path + ".part";
  FILE* f = std::fopen(part.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok || std::rename(part.c_str(), path.c_str()) != 0) {
    std::remove(part.c_str());
    return false;
  }
  return true;
}

}  // namespace

void MakeSampleKppt(KpptLayout layout, uint64_t seed, SampleKppt* out) {
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(layout)];
  out->layout = layout;
  uint64_t s = seed * 0x9E3779B97F4A7C15ull + 0x1234567;
  if (s == 0) s = 1;
  out->kk.assign(info.kk_file != nullptr ? KkFileBytes(layout) : 0, 0);
  for (int64_t e = 0; info.kk_bytes > 0 && e < static_cast<int64_t>(out->kk.size()) / info.kk_bytes; ++e) {
    Put(out->kk.data() + e * info.kk_bytes, info.kk_bytes, Draw(&s, 600));
  }
  out->kkp.assign(KkpFileBytes(layout), 0);
  for (int64_t e = 0; e < kKkpPairs; ++e) {
    const bool missing = e % kPieceFeatures == kMissingPieceFeature;
    uint8_t* at = out->kkp.data() + e * 2 * info.kkp_bytes;
    Put(at, info.kkp_bytes, missing ? 0 : Draw(&s, 400));
    Put(at + info.kkp_bytes, info.kkp_bytes, missing ? 0 : Draw(&s, 60));
  }
  const int parts = info.kpp_parts;
  out->kpp.assign(KppFileBytes(layout), 0);
  for (int k = 0; k < kSquares; ++k) {
    uint8_t* slab = out->kpp.data() + int64_t{k} * kKppSlabEntries * 2 * parts;
    for (int a = 1; a < kPieceFeatures; ++a) {
      for (int b = 1; b < a; ++b) {
        const int32_t board = Draw(&s, 120);
        const int32_t turn = Draw(&s, 20);
        uint8_t* ab = slab + (int64_t{a} * kPieceFeatures + b) * 2 * parts;
        uint8_t* ba = slab + (int64_t{b} * kPieceFeatures + a) * 2 * parts;
        Put(ab, 2, board);
        Put(ba, 2, board);
        if (parts == 2) {
          Put(ab + 2, 2, turn);
          Put(ba + 2, 2, turn);
        }
      }
    }
  }
}

KpptSet SampleKpptSet(const SampleKppt& sample) {
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(sample.layout)];
  KpptSet set;
  set.layout = sample.layout;
  set.kk = sample.kk.empty() ? nullptr : sample.kk.data();
  set.kkp = sample.kkp.data();
  set.kpp = sample.kpp.data();
  set.kk_bytes = info.kk_bytes;
  set.kkp_bytes = info.kkp_bytes;
  set.kpp_parts = info.kpp_parts;
  set.total_bytes = static_cast<int64_t>(sample.kk.size() + sample.kkp.size() + sample.kpp.size());
  set.identity = SumWords(sample.kk.data(), sample.kk.size()) +
                 SumWords(sample.kkp.data(), sample.kkp.size()) +
                 SumWords(sample.kpp.data(), sample.kpp.size());
  return set;
}

bool WriteSampleKppt(const std::string& dir, const SampleKppt& sample) {
  mkdir(dir.c_str(), 0755);
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(sample.layout)];
  return (info.kk_file == nullptr || WriteWhole(dir + "/" + info.kk_file, sample.kk)) &&
         WriteWhole(dir + "/" + info.kkp_file, sample.kkp) &&
         WriteWhole(dir + "/" + info.kpp_file, sample.kpp);
}

bool ParseSampleLayout(const std::string& name, KpptLayout* layout) {
  const char* names[kKpptLayouts] = {"kppt32", "kppt16", "nokk", "kpp_kkpt"};
  for (int l = 0; l < kKpptLayouts; ++l) {
    if (name == names[l]) {
      *layout = static_cast<KpptLayout>(l);
      return true;
    }
  }
  return false;
}

}  // namespace fvscope
