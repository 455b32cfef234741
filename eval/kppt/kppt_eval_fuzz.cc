// Fuzz target: a KPPT set of every layout in memory, zero but for a few
// entries the input writes, and a position the input gives as a packed
// record block or an SFEN. The value must agree with the breakdown's (its
// terms and the pairs adding up), shares, ranking, a map and a slab's scan
// must run, and a set compared with itself must change nothing. Each table
// ends at a page that cannot be read, so a read past its end faults.
//
// Input: byte 0 the choices (layout, side to move, packed or SFEN, psv or
// hcpe, map, scan, part), byte 1 the count of entries (up to 8), then 7 bytes
// per entry (table, and where it is, two numbers and the value), then the
// position.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "eval/kppt/kppt_eval.h"
#include "eval/kppt/kppt_file.h"
#include "eval/kppt/kppt_map.h"
#include "eval/kppt/kppt_scan.h"
#include "eval/piece_features.h"
#include "fuzz/fuzz_checks.h"
#include "shogi/move.h"
#include "shogi/packed_position.h"
#include "shogi/place_name.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

// A table's room: anonymous zero pages, a guard page after them; a layout's
// table is placed to end at the guard.
struct Room {
  uint8_t* end = nullptr;
};

Room MakeRoom(int64_t bytes) {
  const int64_t page = sysconf(_SC_PAGESIZE);
  const int64_t data = (bytes + page - 1) / page * page;
  void* at = mmap(nullptr, data + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) std::abort();
  uint8_t* guard = static_cast<uint8_t*>(at) + data;
  if (mprotect(guard, page, PROT_NONE) != 0) std::abort();
  return {guard};
}

int64_t Largest(int64_t (*bytes)(KpptLayout)) {
  int64_t most = 0;
  for (int l = 0; l < kKpptLayouts; ++l) most = std::max(most, bytes(KpptLayout(l)));
  return most;
}

Room kk_room, kkp_room, kpp_room;

// The set of layout over the rooms.
KpptSet SetOf(KpptLayout layout) {
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(layout)];
  KpptSet set;
  set.layout = layout;
  set.kk = info.kk_file == nullptr ? nullptr : kk_room.end - KkFileBytes(layout);
  set.kkp = kkp_room.end - KkpFileBytes(layout);
  set.kpp = kpp_room.end - KppFileBytes(layout);
  set.kk_bytes = info.kk_bytes;
  set.kkp_bytes = info.kkp_bytes;
  set.kpp_parts = info.kpp_parts;
  set.total_bytes = KkFileBytes(layout) + KkpFileBytes(layout) + KppFileBytes(layout);
  return set;
}

// Where an entry was written, to be zeroed after the input.
struct Written {
  uint8_t* at;
  int width;
};

void Put(uint8_t* at, int width, int32_t value, std::vector<Written>* written) {
  for (int b = 0; b < width; ++b) at[b] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * b));
  written->push_back({at, width});
}

int Number(const uint8_t* p) { return p[0] | p[1] << 8; }

// Writes one entry of 7 bytes into set: byte 0 picks the table (KK, KKP,
// KPP), whether its king squares are the position's (kings: black's and
// white's in the features' numbering), the part and the view.
void WriteEntry(const KpptSet& set, const uint8_t* e, const int kings[2],
                std::vector<Written>* written) {
  const int table = e[0] % 3;
  const bool own = e[0] & 4;
  const int part = e[0] & 8 ? 1 : 0;
  const int a = Number(e + 1), b = Number(e + 3);
  const int32_t value = static_cast<int16_t>(Number(e + 5));
  const int bk = own && kings[0] >= 0 ? kings[0] : a % kSquares;
  const int wk = own && kings[1] >= 0 ? kings[1] : b % kSquares;
  if (table == 0) {
    if (set.kk == nullptr) return;
    const int64_t at = (int64_t{bk} * kSquares + wk) * 2 + part;
    Put(const_cast<uint8_t*>(set.kk) + at * set.kk_bytes, set.kk_bytes, value, written);
  } else if (table == 1) {
    const int64_t at = ((int64_t{bk} * kSquares + wk) * kPieceFeatures + b % kPieceFeatures) * 2 + part;
    Put(const_cast<uint8_t*>(set.kkp) + at * set.kkp_bytes, set.kkp_bytes, value, written);
  } else {
    // The slab of black's view, or of white's (Inv of its king).
    const int k = !own || kings[0] < 0 ? (a ^ b) % kSquares : e[0] & 16 ? 80 - kings[1] : kings[0];
    const int64_t pair = (int64_t{k} * kPieceFeatures + a % kPieceFeatures) * kPieceFeatures + b % kPieceFeatures;
    const int64_t at = pair * set.kpp_parts + (set.kpp_parts == 2 ? part : 0);
    Put(const_cast<uint8_t*>(set.kpp) + at * 2, 2, value, written);
  }
}

// The king squares of position in the features' numbering, -1 for none.
void KingsOf(const Position& position, int kings[2]) {
  for (Side side : kSides) {
    const int cell = position.cells[side == kBlack ? kBlackKingCell : kWhiteKingCell];
    kings[side] = cell >= 0 && cell < kSquares ? FeatureSquare(cell) : -1;
  }
}

// A map of one king of position and one of its pieces (or a held kind),
// read as a request text would be; with the set as second, no change.
void CheckMap(const KpptSet& set, const Position& position, uint8_t pick, KpptPart part) {
  const int king_cell = position.cells[pick & 1 ? kWhiteKingCell : kBlackKingCell];
  if (king_cell < 0 || king_cell >= kSquares) return;
  Place king{pick & 1 ? kWhite : kBlack, kKing, king_cell, 0};
  Place piece{};
  const int cell = (pick >> 1) % kSquares;
  const int code = position.cells[cell];
  if (code != 0) {
    piece = {code > 0 ? kBlack : kWhite, KindOf(code), cell, 0};
  } else {
    piece = {pick & 2 ? kWhite : kBlack, 1 + (pick >> 2) % kHandKinds, -1, 1 + (pick >> 5)};
  }
  MapRequest request;
  std::string error;
  if (!ParseMapRequest(PlaceName(king) + ":" + PlaceName(piece), &request, &error)) return;
  static auto map = std::make_unique<KpptMap>();
  if (!BuildKpptMap(set, nullptr, request, part, map.get(), &error)) {
    if (!PlainMessage(error)) __builtin_trap();
    return;
  }
  if (!BuildKpptMap(set, &set, request, part, map.get(), &error)) __builtin_trap();
  for (int g = 0; g < map->table.grid_count; ++g) {
    for (int s = 0; s < kSquares; ++s) {
      if (map->table.grids[g].present[s] && map->table.grids[g].values[s] != 0) __builtin_trap();
    }
  }
  for (int h = 0; h < map->table.hand_count; ++h) {
    for (int c = 0; c < map->table.hands[h].counts; ++c) {
      if (map->table.hands[h].present[c] && map->table.hands[h].values[c] != 0) __builtin_trap();
    }
  }
}

}  // namespace
}  // namespace fvscope

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace fvscope;
  kk_room = MakeRoom(Largest(KkFileBytes));
  kkp_room = MakeRoom(Largest(KkpFileBytes));
  kpp_room = MakeRoom(Largest(KppFileBytes));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fvscope;
  if (size < 2) return 0;
  const uint8_t choices = data[0];
  const KpptSet set = SetOf(KpptLayout(choices & 3));
  const Side chosen_side = choices & 4 ? kWhite : kBlack;
  const size_t entries = std::min<size_t>(data[1] % 9, (size - 2) / 7);
  const uint8_t* rest = data + 2 + 7 * entries;
  const size_t rest_size = size - 2 - 7 * entries;

  // The position: a packed block, or an SFEN text.
  Position position;
  std::memset(position.cells, 0, sizeof position.cells);
  position.cells[kBlackKingCell] = position.cells[kWhiteKingCell] = -1;
  Side to_move = chosen_side;
  if (choices & 8) {
    if (rest_size < static_cast<size_t>(kPackedPositionBytes)) return 0;
    const char* why = nullptr;
    const PackedFormat format = choices & 16 ? PackedFormat::kHcpe : PackedFormat::kPsv;
    if (!DecodePackedPosition(rest, format, &position, &to_move, &why)) return 0;
  } else {
    GameRecord record;
    std::string error;
    if (!ParseSfen(std::string_view(reinterpret_cast<const char*>(rest), rest_size), &record, &error)) return 0;
    position = record.start;
    to_move = record.side_to_move;
  }

  int kings[2];
  KingsOf(position, kings);
  std::vector<Written> written;
  for (size_t n = 0; n < entries; ++n) WriteEntry(set, data + 2 + 7 * n, kings, &written);

  int32_t value = 0;
  std::string error, error2;
  static auto breakdown = std::make_unique<KpptBreakdown>();
  const bool evaluated = EvaluateKppt(set, position, to_move, &value, &error);
  if (BreakDownKppt(set, position, to_move, breakdown.get(), &error2) != evaluated) __builtin_trap();
  if (!evaluated) {
    if (!PlainMessage(error) || !PlainMessage(error2)) __builtin_trap();
  } else {
    const KpptBreakdown& b = *breakdown;
    if (b.value != value || KpptFigures(b).value != value) __builtin_trap();
    if (KpptValueOf(set, b.features, position, to_move) != value) __builtin_trap();
    if (b.term_count != 2 * kKpptViewPairs) __builtin_trap();
    int64_t pairs = 0;
    for (int t = 0; t < b.term_count; ++t) pairs += b.terms[t].contribution;
    if (pairs != ShownKpp(b, kBlack).sum + ShownKpp(b, kWhite).sum) __builtin_trap();
    const KpptShown total = ShownTotal(b);
    if (total.sum != ShownKk(b).sum + ShownKkp(b).sum + ShownKpp(b, kBlack).sum +
                         ShownKpp(b, kWhite).sum + ShownMaterial(b).sum) {
      __builtin_trap();
    }
    static auto ranking = std::make_unique<Ranking>();
    RankKpptTerms(b, position, SortModeOf(choices >> 5 & 3), ranking.get());
    if (ranking->count < 0 || ranking->count > kRankingLength) __builtin_trap();
    static auto shares = std::make_unique<PieceShares>();
    KpptPieceShares(b, set, position, shares.get());
    const KpptPart part = choices & 128 ? KpptPart::kTurn : KpptPart::kBoard;
    if (choices & 32) CheckMap(set, position, rest_size > 0 ? rest[rest_size - 1] : 0, part);
    if (choices & 64) {
      static auto scan = std::make_unique<KpptScan>();
      const int square = position.cells[kBlackKingCell];
      if (!ScanKpptSlab(set, nullptr, square, part, SortModeOf(choices >> 5 & 3), scan.get(), &error)) {
        __builtin_trap();
      }
      if (scan->ranking.count > scan->count || scan->ranking.count > kRankingLength) __builtin_trap();
    }
  }
  for (const Written& w : written) std::memset(w.at, 0, w.width);
  return 0;
}
