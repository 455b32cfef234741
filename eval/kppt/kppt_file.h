// A KPPT set: a folder of KK, KKP and KPP tables over the 1548 piece
// features, each entry a pair {board part, turn part}, known by the names
// present and their exact sizes. The files are mapped read-only; a position
// reads two king squares' KPP slabs.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_FILE_H_
#define FVSCOPE_EVAL_KPPT_KPPT_FILE_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "eval/piece_features.h"

namespace fvscope {

// The layouts a set is read in.
enum class KpptLayout : int {
  kKppt32 = 0,   // KK, KKP int32 pairs; KPP int16 pairs
  kKppt16 = 1,   // KK, KKP, KPP int16 pairs
  kNoKk = 2,     // KKP.bin, KPP.bin int16 pairs; no KK
  kKppKkpt = 3,  // KK, KKP int32 pairs; KPP int16 board values only
};
constexpr int kKpptLayouts = 4;

// How each layout is stored: the file names and the element widths.
struct KpptLayoutInfo {
  const char* name;      // as printed
  const char* kk_file;   // null: no KK
  const char* kkp_file;
  const char* kpp_file;
  int kk_bytes;          // bytes per element: 4 or 2
  int kkp_bytes;
  int kpp_parts;         // 2: board and turn; 1: board only
};

// The layouts, indexed by KpptLayout.
extern const KpptLayoutInfo kKpptLayoutInfo[kKpptLayouts];

// Elements of each table (a pair counts as two).
constexpr int64_t kKkPairs = int64_t{kSquares} * kSquares;
constexpr int64_t kKkpPairs = kKkPairs * kPieceFeatures;
constexpr int64_t kKppSlabEntries = int64_t{kPieceFeatures} * kPieceFeatures;
constexpr int64_t kKppEntries = kSquares * kKppSlabEntries;

// The size in bytes of each file of a layout; 0 for a file it does not have.
int64_t KkFileBytes(KpptLayout layout);
int64_t KkpFileBytes(KpptLayout layout);
int64_t KppFileBytes(KpptLayout layout);

// One entry: its board part and its turn part.
struct KpptPair {
  int32_t board = 0;
  int32_t turn = 0;
};

// The part of an entry a map, a census or a scan shows.
enum class KpptPart : int {
  kBoard = 0,
  kTurn = 1,
};

// "board" or "turn".
inline const char* KpptPartName(KpptPart part) { return part == KpptPart::kTurn ? "turn" : "board"; }

// The chosen part of pair.
inline int32_t PartOf(const KpptPair& pair, KpptPart part) {
  return part == KpptPart::kTurn ? pair.turn : pair.board;
}

// A loaded set. Read only once loaded.
struct KpptSet {
  KpptLayout layout = KpptLayout::kKppt32;
  const uint8_t* kk = nullptr;   // null: no KK
  const uint8_t* kkp = nullptr;
  const uint8_t* kpp = nullptr;
  int kk_bytes = 4;
  int kkp_bytes = 4;
  int kpp_parts = 2;
  int64_t total_bytes = 0;
  uint64_t identity = 0;  // every 16-bit word of KK, KKP, KPP summed
  void* mappings[3] = {};
  size_t mapping_bytes[3] = {};
};

// True when path names a folder (a KPPT set is a folder).
bool IsKpptFolder(const std::string& path);

// Finds the layout of the folder dir by the names present and their sizes,
// maps its files into *set and sums its identity, or recalls it from the
// memo folder memo_dir (none when empty) when the files are the ones summed
// there. Returns false with *error naming what was found and what is read
// when the folder holds no set fvscope reads, or a file cannot be opened or
// mapped.
bool LoadKpptSet(const std::string& dir, const std::string& memo_dir, KpptSet* set,
                 std::string* error);

// Drops the mappings of *set, which is empty afterwards.
void CloseKpptSet(KpptSet* set);

// The sum of every 16-bit unsigned little-endian word of bytes[0, count).
uint64_t SumWords(const uint8_t* bytes, int64_t count);

// "KPPT, 32-bit KK/KKP" and so on.
const char* KpptLayoutName(KpptLayout layout);

// Little-endian reads.
inline int32_t ReadLe16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  if constexpr (std::endian::native == std::endian::big) v = static_cast<uint16_t>((v >> 8) | (v << 8));
  return static_cast<int16_t>(v);
}
inline int32_t ReadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return static_cast<int32_t>(v);
}

// KK[bk][wk]: both kings' squares in the features' numbering; 0 without KK.
inline KpptPair KkPair(const KpptSet& set, int bk, int wk) {
  if (set.kk == nullptr) return {};
  const int64_t at = (int64_t{bk} * kSquares + wk) * 2 * set.kk_bytes;
  if (set.kk_bytes == 4) return {ReadLe32(set.kk + at), ReadLe32(set.kk + at + 4)};
  return {ReadLe16(set.kk + at), ReadLe16(set.kk + at + 2)};
}

// KKP[bk][wk][f]: f a feature from black's view.
inline KpptPair KkpPair(const KpptSet& set, int bk, int wk, int f) {
  const int64_t at = ((int64_t{bk} * kSquares + wk) * kPieceFeatures + f) * 2 * set.kkp_bytes;
  if (set.kkp_bytes == 4) return {ReadLe32(set.kkp + at), ReadLe32(set.kkp + at + 4)};
  return {ReadLe16(set.kkp + at), ReadLe16(set.kkp + at + 2)};
}

// The first byte of KPP[k][f1][0].
inline const uint8_t* KppRow(const KpptSet& set, int k, int f1) {
  return set.kpp + (int64_t{k} * kPieceFeatures + f1) * kPieceFeatures * 2 * set.kpp_parts;
}

// KPP[k][f1][f2]; the turn part 0 when the layout has none.
inline KpptPair KppPair(const KpptSet& set, int k, int f1, int f2) {
  const uint8_t* p = KppRow(set, k, f1) + int64_t{f2} * 2 * set.kpp_parts;
  if (set.kpp_parts == 1) return {ReadLe16(p), 0};
  return {ReadLe16(p), ReadLe16(p + 2)};
}

// An entry of a KPP slab whose mirror differs: KPP[k][a][b] != KPP[k][b][a].
struct KppAsymmetry {
  int king = -1;  // -1: none found
  int a = 0;
  int b = 0;
  KpptPair ab;
  KpptPair ba;
};

// Looks for the first entry of slab k (a ascending, then b) whose mirror
// differs. Returns true when the slab is symmetric; else fills *found.
bool CheckKppSymmetry(const KpptSet& set, int k, KppAsymmetry* found);

// The same, pairs compared sixteen at a time when wide (processors with
// AVX-512 only), else one at a time.
bool CheckKppSymmetryOn(const KpptSet& set, int k, bool wide, KppAsymmetry* found);

// The warning of an asymmetric entry: "DIR: KPP[k][a][b] = ... differs from ...".
std::string AsymmetryWarning(const std::string& dir, const KppAsymmetry& found);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_FILE_H_
