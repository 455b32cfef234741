#include "eval/kppt/kppt_file.h"

#include <fcntl.h>
#include <immintrin.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "eval/kppt/identity_memo.h"

namespace fvscope {

const KpptLayoutInfo kKpptLayoutInfo[kKpptLayouts] = {
    {"KPPT, 32-bit KK/KKP", "KK_synthesized.bin", "KKP_synthesized.bin", "KPP_synthesized.bin", 4, 4,
     2},
    {"KPPT, all 16-bit", "KK_synthesized.bin", "KKP_synthesized.bin", "KPP_synthesized.bin", 2, 2, 2},
    {"KPPT without KK", nullptr, "KKP.bin", "KPP.bin", 0, 2, 2},
    {"KPP_KKPT", "KK_synthesized.bin", "KKP_synthesized.bin", "KPP_synthesized.bin", 4, 4, 1},
};

namespace {

// Every name a set may hold.
constexpr const char* kKnownNames[] = {"KK_synthesized.bin", "KKP_synthesized.bin",
                                       "KPP_synthesized.bin", "KKP.bin", "KPP.bin"};
constexpr int kKnownNameCount = 5;

const KpptLayoutInfo& InfoOf(KpptLayout layout) { return kKpptLayoutInfo[static_cast<int>(layout)]; }

std::string Joined(const std::string& dir, const char* name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Sums the words of [offset, offset + bytes) of fd (offset a multiple of
// the page size) through short mappings filled at once and dropped after,
// so that the pages read are not kept in the process.
bool SumFileWords(int fd, int64_t offset, int64_t bytes, uint64_t* sum) {
  constexpr int64_t kChunk = int64_t{16} << 20;
  uint64_t total = 0;
  for (int64_t at = offset; at < offset + bytes; at += kChunk) {
    const int64_t length = std::min(kChunk, offset + bytes - at);
    void* mapped = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, at);
    if (mapped == MAP_FAILED) return false;
    total += SumWords(static_cast<const uint8_t*>(mapped), length);
    munmap(mapped, length);
  }
  *sum = total;
  return true;
}

}  // namespace

int64_t KkFileBytes(KpptLayout layout) { return kKkPairs * 2 * InfoOf(layout).kk_bytes; }
int64_t KkpFileBytes(KpptLayout layout) { return kKkpPairs * 2 * InfoOf(layout).kkp_bytes; }
int64_t KppFileBytes(KpptLayout layout) { return kKppEntries * 2 * InfoOf(layout).kpp_parts; }

const char* KpptLayoutName(KpptLayout layout) { return InfoOf(layout).name; }

uint64_t SumWords(const uint8_t* bytes, int64_t count) {
  uint64_t sum = 0;
  int64_t i = 0;
  // Blocks of words summed in 32 bits, which cannot carry out within one.
  constexpr int64_t kBlock = 1 << 15;
  for (; i + 2 * kBlock <= count; i += 2 * kBlock) {
    uint32_t part = 0;
    for (int64_t w = 0; w < kBlock; ++w) {
      uint16_t v;
      std::memcpy(&v, bytes + i + 2 * w, 2);
      if constexpr (std::endian::native == std::endian::big) v = static_cast<uint16_t>((v >> 8) | (v << 8));
      part += v;
    }
    sum += part;
  }
  for (; i + 2 <= count; i += 2) {
    uint16_t v;
    std::memcpy(&v, bytes + i, 2);
    if constexpr (std::endian::native == std::endian::big) v = static_cast<uint16_t>((v >> 8) | (v << 8));
    sum += v;
  }
  return sum;
}

bool IsKpptFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void CloseKpptSet(KpptSet* set) {
  for (int i = 0; i < 3; ++i) {
    if (set->mappings[i] != nullptr) munmap(set->mappings[i], set->mapping_bytes[i]);
  }
  *set = KpptSet();
}

bool LoadKpptSet(const std::string& dir, const std::string& memo_dir, KpptSet* set,
                 std::string* error) {
  *set = KpptSet();
  int64_t sizes[kKnownNameCount];
  bool present[kKnownNameCount];
  std::string found;
  for (int n = 0; n < kKnownNameCount; ++n) {
    struct stat info;
    present[n] = stat(Joined(dir, kKnownNames[n]).c_str(), &info) == 0;
    sizes[n] = present[n] ? static_cast<int64_t>(info.st_size) : -1;
    if (present[n] && !S_ISREG(info.st_mode)) {
      *error = Joined(dir, kKnownNames[n]) + ": not a regular file";
      return false;
    }
    if (present[n]) {
      found += (found.empty() ? "" : ", ") + std::string(kKnownNames[n]) + " (" +
               std::to_string(sizes[n]) + " bytes)";
    }
  }
  std::string layouts;
  for (int l = 0; l < kKpptLayouts; ++l) {
    const KpptLayoutInfo& info = kKpptLayoutInfo[l];
    const KpptLayout layout = static_cast<KpptLayout>(l);
    layouts += std::string(l == 0 ? "" : "; ") + info.name + ": ";
    if (info.kk_file != nullptr) {
      layouts += std::string(info.kk_file) + " " + std::to_string(KkFileBytes(layout)) + ", ";
    }
    layouts += std::string(info.kkp_file) + " " + std::to_string(KkpFileBytes(layout)) + ", " +
               info.kpp_file + " " + std::to_string(KppFileBytes(layout));
  }
  const auto size_of = [&](const char* name) {
    for (int n = 0; n < kKnownNameCount; ++n) {
      if (name != nullptr && std::string(name) == kKnownNames[n]) return sizes[n];
    }
    return int64_t{-1};
  };
  const bool synthesized = present[0] || present[1] || present[2];
  const bool plain = present[3] || present[4];
  int chosen = -1;
  if (synthesized && plain) {
    *error = dir + ": a mix of layouts: found " + found + "; reads one of " + layouts;
    return false;
  }
  for (int l = 0; l < kKpptLayouts && chosen < 0; ++l) {
    const KpptLayoutInfo& info = kKpptLayoutInfo[l];
    const KpptLayout layout = static_cast<KpptLayout>(l);
    if ((info.kk_file == nullptr || size_of(info.kk_file) == KkFileBytes(layout)) &&
        (info.kk_file != nullptr || !synthesized) &&
        size_of(info.kkp_file) == KkpFileBytes(layout) &&
        size_of(info.kpp_file) == KppFileBytes(layout)) {
      chosen = l;
    }
  }
  if (chosen < 0) {
    *error = dir + ": no KPPT set: found " + (found.empty() ? std::string("none of its files") : found) +
             "; reads " + layouts + " (bytes)";
    return false;
  }
  const KpptLayoutInfo& info = kKpptLayoutInfo[chosen];
  set->layout = static_cast<KpptLayout>(chosen);
  set->kk_bytes = info.kk_bytes;
  set->kkp_bytes = info.kkp_bytes;
  set->kpp_parts = info.kpp_parts;
  const char* names[3] = {info.kk_file, info.kkp_file, info.kpp_file};
  const uint8_t** tables[3] = {&set->kk, &set->kkp, &set->kpp};
  std::vector<std::thread> summers;
  uint64_t sums[4] = {};
  bool summed[4] = {true, true, true, true};
  int fds[3] = {-1, -1, -1};
  bool ok = true;
  for (int t = 0; t < 3 && ok; ++t) {
    if (names[t] == nullptr) continue;
    const std::string path = Joined(dir, names[t]);
    fds[t] = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int64_t bytes = size_of(names[t]);
    void* mapped = fds[t] < 0 ? MAP_FAILED : mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, fds[t], 0);
    if (mapped == MAP_FAILED) {
      *error = path + ": cannot " + (fds[t] < 0 ? "open" : "map") + " (" + std::strerror(errno) + ")";
      ok = false;
      break;
    }
    // A position reads a few rows here and there: read no more than is asked.
    madvise(mapped, bytes, MADV_RANDOM);
    set->mappings[t] = mapped;
    set->mapping_bytes[t] = static_cast<size_t>(bytes);
    *tables[t] = static_cast<const uint8_t*>(mapped);
    set->total_bytes += bytes;
  }
  FileStamp stamps[3];
  int stamped = 0;
  // A file whose size changed since the folder was read is summed as mapped
  // and neither recalled nor remembered.
  bool steady = true;
  for (int t = 0; t < 3 && ok; ++t) {
    if (fds[t] < 0) continue;
    if (!StampOf(fds[t], names[t], &stamps[stamped])) {
      *error = Joined(dir, names[t]) + ": cannot stat (" + std::strerror(errno) + ")";
      ok = false;
    }
    steady = steady && stamps[stamped++].bytes == static_cast<int64_t>(set->mapping_bytes[t]);
  }
  const std::string memo = steady ? memo_dir : "";
  const bool recalled = ok && RecallIdentity(memo, dir, stamps, stamped, &set->identity);
  const int64_t summed_ns = WallClockNs();
  if (ok && !recalled) {
    // The KPP file, by far the largest, in two halves on two threads.
    const int64_t kpp_bytes = static_cast<int64_t>(set->mapping_bytes[2]);
    const int64_t half = kpp_bytes / 2 / 4096 * 4096;
    summers.emplace_back([&] { summed[3] = SumFileWords(fds[2], half, kpp_bytes - half, &sums[3]); });
    for (int t = 0; t < 3; ++t) {
      if (fds[t] < 0) continue;
      summed[t] = SumFileWords(fds[t], 0, t == 2 ? half : static_cast<int64_t>(set->mapping_bytes[t]),
                               &sums[t]);
    }
    for (std::thread& s : summers) s.join();
    for (int t = 0; t < 4; ++t) {
      if (!summed[t] && ok) {
        *error = Joined(dir, names[t < 3 ? t : 2]) + ": cannot read (" + std::strerror(errno) + ")";
        ok = false;
      }
      set->identity += sums[t];
    }
    if (ok) RememberIdentity(memo, dir, stamps, stamped, summed_ns, set->identity);
  }
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
  if (!ok) CloseKpptSet(set);
  return ok;
}

namespace {

// True when every entry (a, b) of rows [a0, a1) and columns [b0, b1), b > a,
// of the slab holds the same bytes as its mirror (b, a). Entries are Words:
// equal bytes are equal parts, whatever the byte order.
template <typename Word>
bool BlockSymmetric(const uint8_t* slab, int a0, int a1, int b0, int b1) {
  Word differs = 0;
  for (int a = a0; a < a1; ++a) {
    const uint8_t* row = slab + int64_t{a} * kPieceFeatures * sizeof(Word);
    for (int b = b0 > a ? b0 : a + 1; b < b1; ++b) {
      Word ab, ba;
      std::memcpy(&ab, row + int64_t{b} * sizeof(Word), sizeof(Word));
      std::memcpy(&ba, slab + (int64_t{b} * kPieceFeatures + a) * sizeof(Word), sizeof(Word));
      differs |= ab ^ ba;
    }
  }
  return differs == 0;
}

// BlockSymmetric of {board, turn} pairs sixteen at a time: a row's entries
// against their mirrors gathered from sixteen rows.
__attribute__((target("avx512f"))) bool PairBlockSymmetricAvx512(const uint8_t* slab, int a0, int a1,
                                                                 int b0, int b1) {
  alignas(64) int32_t rows[16];
  for (int t = 0; t < 16; ++t) rows[t] = t * kPieceFeatures;
  const __m512i down = _mm512_load_si512(rows);
  for (int a = a0; a < a1; ++a) {
    for (int b = b0 > a ? b0 : a + 1; b < b1; b += 16) {
      const __mmask16 lanes = b1 - b >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (b1 - b)) - 1);
      const __m512i entries =
          _mm512_maskz_loadu_epi32(lanes, slab + (int64_t{a} * kPieceFeatures + b) * 4);
      const __m512i at = _mm512_add_epi32(down, _mm512_set1_epi32(b * kPieceFeatures + a));
      const __m512i mirrors = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, at, slab, 4);
      if (_mm512_mask_cmpneq_epi32_mask(lanes, entries, mirrors) != 0) return false;
    }
  }
  return true;
}

}  // namespace

bool CheckKppSymmetry(const KpptSet& set, int k, KppAsymmetry* found) {
  static const bool wide = __builtin_cpu_supports("avx512f");
  return CheckKppSymmetryOn(set, k, wide, found);
}

bool CheckKppSymmetryOn(const KpptSet& set, int k, bool wide, KppAsymmetry* found) {
  // Blocks of 64 x 64 against their mirrors, which stay in the cache; the
  // first block row holding a difference is then read in order.
  constexpr int kBlock = 64;
  const uint8_t* slab = KppRow(set, k, 0);
  for (int a0 = 0; a0 < kPieceFeatures; a0 += kBlock) {
    const int a1 = a0 + kBlock < kPieceFeatures ? a0 + kBlock : kPieceFeatures;
    bool symmetric = true;
    for (int b0 = a0; b0 < kPieceFeatures && symmetric; b0 += kBlock) {
      const int b1 = b0 + kBlock < kPieceFeatures ? b0 + kBlock : kPieceFeatures;
      symmetric = set.kpp_parts == 1 ? BlockSymmetric<uint16_t>(slab, a0, a1, b0, b1)
                  : wide                ? PairBlockSymmetricAvx512(slab, a0, a1, b0, b1)
                                        : BlockSymmetric<uint32_t>(slab, a0, a1, b0, b1);
    }
    if (symmetric) continue;
    for (int a = a0; a < a1; ++a) {
      for (int b = a + 1; b < kPieceFeatures; ++b) {
        const KpptPair ab = KppPair(set, k, a, b);
        const KpptPair ba = KppPair(set, k, b, a);
        if (ab.board == ba.board && ab.turn == ba.turn) continue;
        *found = {k, a, b, ab, ba};
        return false;
      }
    }
  }
  return true;
}

std::string AsymmetryWarning(const std::string& dir, const KppAsymmetry& found) {
  const auto pair = [](const KpptPair& p) {
    return "{" + std::to_string(p.board) + ", " + std::to_string(p.turn) + "}";
  };
  const std::string at = std::to_string(found.king);
  return dir + ": KPP is not symmetric: [" + at + "][" + std::to_string(found.a) + "][" +
         std::to_string(found.b) + "] = " + pair(found.ab) + " but [" + at + "][" +
         std::to_string(found.b) + "][" + std::to_string(found.a) + "] = " + pair(found.ba) +
         "; evaluated as read, each pair of pieces as [larger feature][smaller]";
}

}  // namespace fvscope
