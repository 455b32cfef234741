#include "eval/kppt/kppt_eval.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace fvscope {

namespace {

int32_t Sign(Side to_move) { return to_move == kBlack ? 1 : -1; }

int32_t ClampPoints(int64_t points) {
  if (points > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (points < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(points);
}

KpptShown Shown(int64_t board, int64_t turn, Side to_move) {
  const int64_t signed_turn = Sign(to_move) * turn;
  return {board, signed_turn, board + signed_turn};
}

// The order of a view's entries that the sums read pairs in: by feature
// number, ties by place in the list.
void SortedOrder(const PieceFeatureList& list, Side view, int8_t* order) {
  const PieceFeature* l = list.view[view];
  for (int i = 0; i < list.count; ++i) {
    int at = i;
    while (at > 0 && l[order[at - 1]].number > l[i].number) {
      order[at] = order[at - 1];
      --at;
    }
    order[at] = static_cast<int8_t>(i);
  }
}

}  // namespace

void SortedNumbers(const PieceFeatureList& list, Side view, uint16_t* numbers) {
  // A bit per number: the missing pieces' 0s first, then the bits in order.
  // Only 0 repeats in a list that fits; any other repeat is sorted one by one.
  constexpr int kWords = (kPieceFeatures + 63) / 64;
  uint64_t bits[kWords] = {};
  int at = 0;
  for (int i = 0; i < list.count; ++i) {
    const int number = list.view[view][i].number;
    if (number == 0) {
      numbers[at++] = 0;
    } else {
      bits[number >> 6] |= uint64_t{1} << (number & 63);
    }
  }
  for (int w = 0; w < kWords; ++w) {
    for (uint64_t word = bits[w]; word != 0; word &= word - 1) {
      numbers[at++] = static_cast<uint16_t>(w * 64 + std::countr_zero(word));
    }
  }
  if (at == list.count) return;
  int8_t order[kSetPieces];
  SortedOrder(list, view, order);
  for (int i = 0; i < list.count; ++i) numbers[i] = static_cast<uint16_t>(list.view[view][order[i]].number);
}

KpptSum SortedViewKppPlain(const KpptSet& set, int k, const uint16_t* numbers) {
  int64_t board = 0;
  int64_t turn = 0;
  if (set.kpp_parts == 2) {
    for (int i = 1; i < kSetPieces; ++i) {
      const uint8_t* row = KppRow(set, k, numbers[i]);
      int32_t row_board = 0;
      int32_t row_turn = 0;
      for (int j = 0; j < i; ++j) {
        const uint8_t* p = row + 4 * numbers[j];
        row_board += ReadLe16(p);
        row_turn += ReadLe16(p + 2);
      }
      board += row_board;
      turn += row_turn;
    }
  } else {
    for (int i = 1; i < kSetPieces; ++i) {
      const uint8_t* row = KppRow(set, k, numbers[i]);
      int32_t row_board = 0;
      for (int j = 0; j < i; ++j) row_board += ReadLe16(row + 2 * numbers[j]);
      board += row_board;
    }
  }
  return {board, turn};
}

namespace {

// A view's pairs of {board, turn} entries sixteen at a time: each row's
// entries gathered by the earlier numbers, the parts split by shifts and
// summed in 32-bit lanes (a view's 703 entries of 16 bits cannot carry out
// of one).
__attribute__((target("avx512f"))) KpptSum SortedViewKppAvx512(const KpptSet& set, int k,
                                                               const uint16_t* numbers) {
  static_assert(kSetPieces > 32 && kSetPieces <= 48);
  uint16_t padded[48] = {};
  std::memcpy(padded, numbers, kSetPieces * sizeof(uint16_t));
  // (The zero-masked forms throughout: GCC 12 takes the plain ones' undefined
  // pass-through for an uninitialized read.)
  const __mmask16 all = 0xFFFF;
  __m512i at[3];
  for (int part = 0; part < 3; ++part) {
    at[part] = _mm512_maskz_cvtepu16_epi32(
        all, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(padded + 16 * part)));
  }
  __m512i board = _mm512_setzero_si512();
  __m512i turn = _mm512_setzero_si512();
  for (int i = 1; i < kSetPieces; ++i) {
    const void* row = KppRow(set, k, numbers[i]);
    for (int part = 0; 16 * part < i; ++part) {
      const int left = i - 16 * part;
      const __mmask16 lanes = left >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
      const __m512i pairs = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, at[part], row, 4);
      board = _mm512_add_epi32(board,
                               _mm512_maskz_srai_epi32(all, _mm512_maskz_slli_epi32(all, pairs, 16), 16));
      turn = _mm512_add_epi32(turn, _mm512_maskz_srai_epi32(all, pairs, 16));
    }
  }
  int32_t lanes[2][16];
  _mm512_storeu_si512(lanes[0], board);
  _mm512_storeu_si512(lanes[1], turn);
  KpptSum sum;
  for (int l = 0; l < 16; ++l) {
    sum.board += lanes[0][l];
    sum.turn += lanes[1][l];
  }
  return sum;
}

}  // namespace

KpptSum SortedViewKpp(const KpptSet& set, int k, const uint16_t* numbers) {
  static const bool wide = __builtin_cpu_supports("avx512f");
  if (wide && set.kpp_parts == 2) return SortedViewKppAvx512(set, k, numbers);
  return SortedViewKppPlain(set, k, numbers);
}

KpptSum KkxSum(const KpptSet& set, const PieceFeatureList& list) {
  const int bk = list.king[kBlack];
  const int wk = kSquares - 1 - list.king[kWhite];
  const KpptPair kk = KkPair(set, bk, wk);
  KpptSum sum{kk.board, kk.turn};
  for (int i = 0; i < list.count; ++i) {
    const KpptPair p = KkpPair(set, bk, wk, list.view[kBlack][i].number);
    sum.board += p.board;
    sum.turn += p.turn;
  }
  return sum;
}

int32_t KpptMaterial(const Position& position) {
  int32_t sum = 0;
  for (int s = 0; s < kSquares; ++s) {
    const int code = position.cells[s];
    if (code == 0 || !IsPieceCode(code)) continue;
    sum += code > 0 ? kKpptMaterialValue[code] : -kKpptMaterialValue[-code];
  }
  for (int h = 0; h < kHandKinds; ++h) {
    sum += (position.cells[HandSlot(kBlack, h)] - position.cells[HandSlot(kWhite, h)]) *
           kKpptMaterialValue[h + 1];
  }
  return sum;
}

namespace {

// The material (black's view) of the piece each number stands for from
// black's view; 0 for a missing piece.
struct FeatureMaterial {
  int16_t values[kPieceFeatures] = {};
  FeatureMaterial() {
    for (int f = 0; f < kPieceFeatures; ++f) {
      int cell, code;
      if (!DecodePieceFeature(f, &cell, &code)) continue;
      if (IsSquare(cell)) {
        values[f] = static_cast<int16_t>(code > 0 ? kKpptMaterialValue[code] : -kKpptMaterialValue[-code]);
        continue;
      }
      for (Side side : kSides) {
        for (int h = 0; h < kHandKinds; ++h) {
          if (HandSlot(side, h) != cell) continue;
          values[f] = static_cast<int16_t>((side == kBlack ? 1 : -1) * kKpptMaterialValue[h + 1]);
        }
      }
    }
  }
};

}  // namespace

int32_t KpptListMaterial(const PieceFeatureList& list) {
  static const FeatureMaterial material;
  int32_t sum = 0;
  for (int i = 0; i < list.count; ++i) sum += material.values[list.view[kBlack][i].number];
  return sum;
}

int32_t KpptPoints(int64_t board, int64_t turn, Side to_move) {
  // The side to move's view, truncated toward zero, then black's.
  const int64_t own = (to_move == kBlack ? board : -board) + turn;
  const int64_t points = own / kKpptScale;
  return ClampPoints(to_move == kBlack ? points : -points);
}

int32_t KpptValueOf(const KpptSet& set, const PieceFeatureList& list, const Position& position,
                    Side to_move) {
  uint16_t numbers[2][kSetPieces];
  KpptSum views[2];
  for (Side view : kSides) {
    SortedNumbers(list, view, numbers[view]);
    views[view] = SortedViewKpp(set, list.king[view], numbers[view]);
  }
  const KpptSum kkx = KkxSum(set, list);
  const int64_t board = views[kBlack].board - views[kWhite].board + kkx.board +
                        int64_t{kKpptScale} * KpptMaterial(position);
  return KpptPoints(board, views[kBlack].turn + views[kWhite].turn + kkx.turn, to_move);
}

bool EvaluateKppt(const KpptSet& set, const Position& position, Side to_move, int32_t* value,
                  std::string* error) {
  PieceFeatureList list;
  if (!BuildPieceFeatures(position, &list, error)) return false;
  *value = KpptValueOf(set, list, position, to_move);
  return true;
}

bool BreakDownKppt(const KpptSet& set, const Position& position, Side to_move,
                   KpptBreakdown* out, std::string* error) {
  PieceFeatureList& list = out->features;
  if (!BuildPieceFeatures(position, &list, error)) return false;
  out->to_move = to_move;
  out->layout = set.layout;
  out->identity = set.identity;
  out->kk_king[kBlack] = list.king[kBlack];
  out->kk_king[kWhite] = kSquares - 1 - list.king[kWhite];
  const KpptPair kk = KkPair(set, out->kk_king[kBlack], out->kk_king[kWhite]);
  out->kk = {kk.board, kk.turn};
  out->kkp = KkxSum(set, list);
  out->kkp.board -= kk.board;
  out->kkp.turn -= kk.turn;
  out->material = KpptMaterial(position);
  out->tally = TermTally();
  out->term_count = 0;
  const int s = Sign(to_move);
  for (Side view : kSides) {
    KpptSum sum;
    const PieceFeature* l = list.view[view];
    const int k = list.king[view];
    int8_t order[kSetPieces];
    SortedOrder(list, view, order);
    for (int a = 1; a < list.count; ++a) {
      for (int c = 0; c < a; ++c) {
        const int i = order[a];
        const int j = order[c];
        const KpptPair p = KppPair(set, k, l[i].number, l[j].number);
        sum.board += p.board;
        sum.turn += p.turn;
        const int32_t contribution = (view == kBlack ? p.board : -p.board) + s * p.turn;
        out->terms[out->term_count++] = {contribution, static_cast<int16_t>(p.board),
                                         static_cast<int16_t>(p.turn), static_cast<int8_t>(view),
                                         static_cast<int8_t>(i), static_cast<int8_t>(j)};
      }
    }
    out->kpp[view] = sum;
  }
  // The tally counts each pair's contribution as it favours black or white.
  for (int t = 0; t < out->term_count; ++t) {
    const KpptTerm& term = out->terms[t];
    const int32_t c = term.contribution;
    const int32_t m = c < 0 ? -c : c;
    if (c > 0) {
      ++out->tally.black_count;
      out->tally.black_sum += m;
      ++out->tally.black_histogram[SizeBucket(m)];
    } else {
      ++out->tally.white_count;
      out->tally.white_sum += m;
      if (c < 0) ++out->tally.white_histogram[SizeBucket(m)];
    }
  }
  const KpptShown total = ShownTotal(*out);
  out->value = KpptPoints(total.board, Sign(to_move) * total.turn, to_move);
  return true;
}

PositionFigures KpptFigures(const KpptBreakdown& b) {
  const auto held = [](int64_t v) { return ClampPoints(v); };
  return {held(ShownKk(b).sum + ShownKkp(b).sum), held(ShownKpp(b, kBlack).sum + ShownKpp(b, kWhite).sum),
          b.material, b.value};
}

KpptShown ShownKk(const KpptBreakdown& b) { return Shown(b.kk.board, b.kk.turn, Side(b.to_move)); }
KpptShown ShownKkp(const KpptBreakdown& b) { return Shown(b.kkp.board, b.kkp.turn, Side(b.to_move)); }
KpptShown ShownKpp(const KpptBreakdown& b, Side side) {
  const KpptSum& s = b.kpp[side];
  return Shown(side == kBlack ? s.board : -s.board, s.turn, Side(b.to_move));
}
KpptShown ShownMaterial(const KpptBreakdown& b) {
  return {int64_t{kKpptScale} * b.material, 0, int64_t{kKpptScale} * b.material};
}
KpptShown ShownTotal(const KpptBreakdown& b) {
  const KpptShown parts[] = {ShownKk(b), ShownKkp(b), ShownKpp(b, kBlack), ShownKpp(b, kWhite),
                             ShownMaterial(b)};
  KpptShown total;
  for (const KpptShown& p : parts) {
    total.board += p.board;
    total.turn += p.turn;
    total.sum += p.sum;
  }
  return total;
}

namespace {

// Ranks the pairs t of b for which value(t) is kept (not null) under mode into *ranking.
template <typename Value>
int32_t RankPairs(const KpptBreakdown& b, const Position& position, SortMode mode, Value value,
                  Ranking* ranking, int16_t* ranked) {
  // Pairs with a missing piece have no place to name: summed, not ranked.
  auto order = std::make_unique<int16_t[]>(b.term_count);
  int n = 0;
  for (int t = 0; t < b.term_count; ++t) {
    const KpptTerm& term = b.terms[t];
    if (b.features.view[term.view][term.i].cell >= 0 &&
        b.features.view[term.view][term.j].cell >= 0 && value(t).has_value()) {
      order[n++] = static_cast<int16_t>(t);
    }
  }
  std::stable_sort(order.get(), order.get() + n, [&](int x, int y) {
    const int64_t a = *value(x);
    const int64_t c = *value(y);
    if (mode == kByMagnitude) return (a < 0 ? -a : a) > (c < 0 ? -c : c);
    if (mode == kMostPositiveFirst) return a > c;
    return a < c;
  });
  ranking->count = std::min(n, kRankingLength);
  const int8_t* cells = position.cells;
  for (int r = 0; r < ranking->count; ++r) {
    const KpptTerm& term = b.terms[order[r]];
    const PieceFeature& a = b.features.view[term.view][term.i];
    const PieceFeature& c = b.features.view[term.view][term.j];
    const int king = position.cells[KingCell(Side(term.view))];
    RankedTerm& out = ranking->terms[r];
    out = {static_cast<int32_t>(*value(order[r])), king, cells[king], a.cell, a.code, c.cell, c.code};
    out.board = term.board;
    out.turn = term.turn;
    ranked[r] = order[r];
  }
  return n;
}

}  // namespace

void RankKpptTerms(const KpptBreakdown& b, const Position& position, SortMode mode,
                   Ranking* ranking) {
  int16_t ranked[kRankingLength];
  RankPairs(b, position, mode, [&](int t) { return std::optional<int32_t>(b.terms[t].contribution); },
            ranking, ranked);
}

int32_t RankKpptChanges(const KpptBreakdown& before, const KpptBreakdown& after,
                        const Position& position, SortMode mode, Ranking* ranking) {
  const auto change = [&](int t) -> std::optional<int32_t> {
    const int32_t d = after.terms[t].contribution - before.terms[t].contribution;
    return d != 0 ? std::optional<int32_t>(d) : std::nullopt;
  };
  int16_t ranked[kRankingLength];
  const int32_t changed = RankPairs(after, position, mode, change, ranking, ranked);
  for (int r = 0; r < ranking->count; ++r) {
    ranking->terms[r].before = before.terms[ranked[r]].contribution;
    ranking->terms[r].after = after.terms[ranked[r]].contribution;
  }
  return changed;
}

void KpptPieceShares(const KpptBreakdown& b, const KpptSet& set, const Position& position,
                     PieceShares* out) {
  const PieceFeatureList& list = b.features;
  const int s = Sign(Side(b.to_move));
  int64_t half[kSetPieces] = {};
  for (int i = 0; i < list.count; ++i) {
    const KpptPair p = KkpPair(set, b.kk_king[kBlack], b.kk_king[kWhite], list.view[kBlack][i].number);
    half[i] += 2 * (int64_t{p.board} + s * int64_t{p.turn});
  }
  for (int t = 0; t < b.term_count; ++t) {
    half[b.terms[t].i] += b.terms[t].contribution;
    half[b.terms[t].j] += b.terms[t].contribution;
  }
  out->count = 0;
  for (int i = 0; i < list.count; ++i) {
    const PieceFeature& f = list.view[kBlack][i];
    if (IsSquare(f.cell)) out->shares[out->count++] = {f.cell, f.code, half[i]};
  }
  for (Side holder : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const int slot = HandSlot(holder, h);
      int64_t sum = 0;
      for (int i = 0; i < list.count; ++i) {
        if (list.view[kBlack][i].cell == slot) sum += half[i];
      }
      out->shares[out->count++] = {slot, position.cells[slot], sum};
    }
  }
}

}  // namespace fvscope
