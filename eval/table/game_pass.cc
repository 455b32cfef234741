#include "eval/table/game_pass.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace fvscope {

namespace {

constexpr int kNoFeature = -1;
constexpr int kMaxPairs = kMaxFeatureEntries * (kMaxFeatureEntries + 1) / 2;

// What each cell (square or hand slot) adds to the two feature lists and
// to its owner's KKP terms; kNoFeature for empty squares and kings.
struct CellFeatures {
  int16_t list[2][kFilledCells];  // by side: the feature in that side's list
  int16_t kkp[kFilledCells];      // KKP feature of the owner's term
  Side owner[kFilledCells];
};

void CellFeaturesOf(const Position& position, CellFeatures* out) {
  const int8_t* c = position.cells;
  for (int s = 0; s < kSquares; ++s) {
    const int code = c[s];
    if (code == 0 || !IsPieceCode(code) || KindOf(code) == kKing) {
      out->list[kBlack][s] = out->list[kWhite][s] = out->kkp[s] = kNoFeature;
      continue;
    }
    const int kind = KindOf(code);
    const int flipped = FlipSquare(s);
    if (code > 0) {
      out->list[kBlack][s] = static_cast<int16_t>(kKppOwnBase[kind] + s);
      out->list[kWhite][s] = static_cast<int16_t>(kKppOpponentBase[kind] + flipped);
      out->kkp[s] = static_cast<int16_t>(kKkpBase[kind] + s);
      out->owner[s] = kBlack;
    } else {
      out->list[kBlack][s] = static_cast<int16_t>(kKppOpponentBase[kind] + s);
      out->list[kWhite][s] = static_cast<int16_t>(kKppOwnBase[kind] + flipped);
      out->kkp[s] = static_cast<int16_t>(kKkpBase[kind] + flipped);
      out->owner[s] = kWhite;
    }
  }
  for (Side side : kSides) {
    const Side other = Opponent(side);
    for (int h = 0; h < kHandKinds; ++h) {
      const int slot = HandSlot(side, h);
      const int count = c[slot];
      out->list[side][slot] = static_cast<int16_t>(kKppOwnHandBase[h] + count);
      out->list[other][slot] = static_cast<int16_t>(kKppOpponentHandBase[h] + count);
      out->kkp[slot] = static_cast<int16_t>(kKkpHandBase[h] + count);
      out->owner[slot] = side;
    }
  }
}

// Index within the KKP section of cell c's KKP entry, the kings on bk and wk.
int64_t KkpIndexOf(const CellFeatures& cells, int c, int bk, int wk) {
  const bool black = cells.owner[c] == kBlack;
  const int own = black ? bk : FlipSquare(wk);
  const int other = black ? wk : FlipSquare(bk);
  return (int64_t{own} * kSquares + other) * kKkpFeatures + cells.kkp[c];
}

// The running evaluation of one game under Files evaluation files (1 or 2).
template <int Files>
class GameWalker {
 public:
  // Walks plies before end; pulls are summed when pulling is set.
  GameWalker(const EvalFile* const* files, EntryUse* use, bool pulling, double target,
             int32_t scale, int end)
      : use_(use), pulling_(pulling), target_(target), scale_(scale) {
    for (int f = 0; f < Files; ++f) {
      files_[f] = files[f];
      full_[f] = files[f]->count >= kKppValues;
      if (pulling_) prefix_[f].assign(end + 1, 0);
    }
    if (use_ != nullptr) pulls_ = std::min(use_->pulls, Files);
  }

  // Adds the residual of ply q, whose value under file f is values[f].
  void Settle(int q, const int32_t* values) {
    if (!pulling_) return;
    for (int f = 0; f < Files; ++f) {
      prefix_[f][q + 1] = prefix_[f][q] + ResidualTowardUnits(values[f], target_, scale_);
    }
  }

  // Takes position as the first of the walk, at ply q.
  void Start(const Position& position, int q) {
    CellFeaturesOf(position, &cells_);
    SetKings(position);
    for (int c = 0; c < kFilledCells; ++c) since_[c] = q;
    for (Side side : kSides) {
      king_since_[side] = q;
      SumSide(side);
    }
    SumKkp();
  }

  // Moves on to position, at ply q. Returns false with *error when the use
  // store cannot take the reads that end here.
  bool Step(const Position& position, int q, std::string* error) {
    CellFeaturesOf(position, &next_);
    int changed[kFilledCells], held[kFilledCells];
    int changes = 0, holds = 0;
    for (int c = 0; c < kFilledCells; ++c) {
      if (next_.list[kBlack][c] != cells_.list[kBlack][c]) {
        changed[changes++] = c;
      } else if (cells_.list[kBlack][c] != kNoFeature) {
        held[holds++] = c;
      }
    }
    const int bk = position.cells[kBlackKingCell];
    const int wk = position.cells[kWhiteKingCell];
    const bool moved[2] = {bk != black_king_, wk != white_king_};
    if (changes == 0 && !moved[kBlack] && !moved[kWhite]) return true;

    for (Side side : kSides) {
      if (moved[side]) {
        if (use_ != nullptr && !EndAllPairs(side, q, error)) return false;
      } else if (changes > 0) {
        if (!ReplaceCells(side, changed, changes, held, holds, q, error)) return false;
      }
    }
    for (int n = 0; n < changes; ++n) {
      const int c = changed[n];
      for (Side side : kSides) cells_.list[side][c] = next_.list[side][c];
      cells_.kkp[c] = next_.kkp[c];
      cells_.owner[c] = next_.owner[c];
      since_[c] = q;
    }
    if (moved[kBlack] || moved[kWhite]) {
      SetKings(position);
      for (Side side : kSides) {
        if (!moved[side]) continue;
        king_since_[side] = q;
        SumSide(side);
      }
      SumKkp();
    } else {
      for (int n = 0; n < changes; ++n) {
        const int c = changed[n];
        for (int f = 0; f < Files; ++f) {
          const int32_t term = KkpTerm(f, c);
          kkp_sum_[f] += term - kkp_cell_[f][c];
          kkp_cell_[f][c] = term;
        }
        MarkKkp(c);
      }
    }
    return true;
  }

  // Ends the walk at ply q: every pair still present stayed until q.
  bool Finish(int q, std::string* error) {
    if (use_ == nullptr) return true;
    for (Side side : kSides) {
      if (!EndAllPairs(side, q, error)) return false;
    }
    return true;
  }

  // The figures of position, the walk's current one, under file f.
  PositionFigures Figures(const Position& position, int f) const {
    PositionFigures out;
    out.kkp_sum = static_cast<int32_t>(kkp_sum_[f]);
    out.kpp_sum = static_cast<int32_t>(kpp_[f][kBlack] - kpp_[f][kWhite]);
    out.material = MaterialSum(position);
    out.value = (kFvScale * out.material + out.kpp_sum + out.kkp_sum) / kFvScale;
    return out;
  }

 private:
  void SetKings(const Position& position) {
    black_king_ = position.cells[kBlackKingCell];
    white_king_ = position.cells[kWhiteKingCell];
    king_[kBlack] = black_king_;
    king_[kWhite] = FlipSquare(white_king_);
  }

  // Index of the KPP entry of side's king for features a and b.
  int64_t Offset(int a, int b) const {
    return a >= b ? TriangleIndex(a, b) : TriangleIndex(b, a);
  }

  // Value number index of file f; the bounds check only when the file is short.
  int16_t Value(int f, int64_t index) const {
    if constexpr (std::endian::native == std::endian::little) {
      if (full_[f]) return files_[f]->values[index];
    }
    return EvalValueAt(*files_[f], index);
  }

  void AddTerm(Side side, int64_t offset, int64_t* sums) const {
    const int64_t index = king_[side] * kKppTriangleValues + offset;
    for (int f = 0; f < Files; ++f) sums[f] += Value(f, index);
  }

  // The cells of side's list ordered by feature, so that the pairs of an
  // entry with those before it lie in one row of the triangle, ascending.
  int SortedList(Side side, int* cells) const {
    int packed[kMaxFeatureEntries];
    int n = 0;
    for (int c = 0; c < kFilledCells; ++c) {
      if (cells_.list[side][c] != kNoFeature) packed[n++] = cells_.list[side][c] << 8 | c;
    }
    std::sort(packed, packed + n);
    for (int i = 0; i < n; ++i) cells[i] = packed[i] & 0xff;
    return n;
  }

  // Sums side's KPP terms over its whole list.
  void SumSide(Side side) {
    int cells[kMaxFeatureEntries];
    const int n = SortedList(side, cells);
    const int16_t* features = cells_.list[side];
    int64_t sums[Files] = {};
    const int64_t triangle = king_[side] * kKppTriangleValues;
    for (int i = 0; i < n; ++i) {
      const int64_t row = triangle + TriangleIndex(features[cells[i]], 0);
      for (int j = 0; j <= i; ++j) {
        for (int f = 0; f < Files; ++f) sums[f] += Value(f, row + features[cells[j]]);
      }
    }
    for (int f = 0; f < Files; ++f) kpp_[f][side] = sums[f];
  }

  // Takes side's terms of the changed cells out of its KPP sums and puts
  // those of their new features in; the pairs taken out end at ply q.
  bool ReplaceCells(Side side, const int* changed, int changes, const int* held, int holds,
                    int q, std::string* error) {
    const int16_t* before = cells_.list[side];
    const int16_t* after = next_.list[side];
    int64_t removed[Files] = {}, added[Files] = {};
    int reads = 0;
    for (int n = 0; n < changes; ++n) {
      const int c = changed[n];
      if (before[c] != kNoFeature) {
        for (int u = 0; u < holds; ++u) {
          const int64_t offset = Offset(before[c], before[held[u]]);
          AddTerm(side, offset, removed);
          if (use_ != nullptr) batch_[reads++] = Read(side, offset, c, held[u]);
        }
        for (int m = 0; m <= n; ++m) {
          const int d = changed[m];
          if (before[d] == kNoFeature) continue;
          const int64_t offset = Offset(before[c], before[d]);
          AddTerm(side, offset, removed);
          if (use_ != nullptr) batch_[reads++] = Read(side, offset, c, d);
        }
      }
      if (after[c] != kNoFeature) {
        for (int u = 0; u < holds; ++u) AddTerm(side, Offset(after[c], after[held[u]]), added);
        for (int m = 0; m <= n; ++m) {
          const int d = changed[m];
          if (after[d] != kNoFeature) AddTerm(side, Offset(after[c], after[d]), added);
        }
      }
    }
    for (int f = 0; f < Files; ++f) kpp_[f][side] += added[f] - removed[f];
    return reads == 0 || AddKppReads(use_, side, king_[side], batch_, reads, EndAt(q), error);
  }

  // The reads of entry offset by the pair of cells a and b of side's list.
  KppRead Read(Side side, int64_t offset, int a, int b) const {
    return {static_cast<uint32_t>(offset),
            static_cast<uint32_t>(std::max({since_[a], since_[b], king_since_[side]}))};
  }

  // Where the stays ending at ply q end.
  StayEnd EndAt(int q) const {
    StayEnd end{static_cast<uint32_t>(q), {nullptr, nullptr}};
    for (int f = 0; pulling_ && f < pulls_; ++f) end.prefix[f] = prefix_[f].data();
    return end;
  }

  // Ends every pair of side's list at ply q.
  bool EndAllPairs(Side side, int q, std::string* error) {
    int cells[kMaxFeatureEntries];
    const int n = SortedList(side, cells);
    const int16_t* features = cells_.list[side];
    int reads = 0;
    for (int i = 0; i < n; ++i) {
      const int64_t row = TriangleIndex(features[cells[i]], 0);
      for (int j = 0; j <= i; ++j) {
        batch_[reads++] = Read(side, row + features[cells[j]], cells[i], cells[j]);
      }
    }
    return AddKppReads(use_, side, king_[side], batch_, reads, EndAt(q), error);
  }

  // Index within the KKP section of cell c's KKP entry.
  int64_t KkpIndex(int c) const { return KkpIndexOf(cells_, c, black_king_, white_king_); }

  // Cell c's KKP term under file f, black's added and white's subtracted.
  int32_t KkpTerm(int f, int c) const {
    if (cells_.kkp[c] == kNoFeature) return 0;
    const int32_t v = EvalValueAt(*files_[f], kKkpSectionOffset / 2 + KkpIndex(c));
    return cells_.owner[c] == kBlack ? v : -v;
  }

  void MarkKkp(int c) {
    if (use_ == nullptr || cells_.kkp[c] == kNoFeature) return;
    std::string unused;
    MarkKkpRead(use_, KkpIndex(c), &unused);
  }

  void SumKkp() {
    for (int f = 0; f < Files; ++f) {
      kkp_sum_[f] = 0;
      for (int c = 0; c < kFilledCells; ++c) {
        kkp_cell_[f][c] = KkpTerm(f, c);
        kkp_sum_[f] += kkp_cell_[f][c];
      }
    }
    for (int c = 0; c < kFilledCells; ++c) MarkKkp(c);
  }

  const EvalFile* files_[Files];
  bool full_[Files];  // the file holds every KPP value
  EntryUse* use_;
  const bool pulling_;
  const double target_;  // what P(black wins) is pulled toward
  const int32_t scale_;
  int pulls_ = 0;  // files whose pull the store keeps
  // Per file: entry p holds the residuals of the walk's plies before p summed.
  std::vector<int64_t> prefix_[Files];
  CellFeatures cells_;
  CellFeatures next_;
  int black_king_ = 0;
  int white_king_ = 0;
  int king_[2] = {};  // the KPP king square of each side's list
  int64_t kpp_[Files][2] = {};
  int32_t kkp_cell_[Files][kFilledCells] = {};
  int64_t kkp_sum_[Files] = {};
  int32_t since_[kFilledCells] = {};  // ply the cell's feature came in
  int32_t king_since_[2] = {};        // ply each side's king came to its square
  KppRead batch_[kMaxPairs];
};

template <int Files>
bool Walk(const std::vector<RecordPly>& plies, int from_ply, const EvalFile* const* files,
          std::vector<PositionFigures>* const* out, const GameUse* use, std::string* error) {
  const int end = static_cast<int>(plies.size());
  if (from_ply >= end) return true;
  const bool decided = use != nullptr && (use->result == GameResult::kBlackWins ||
                                          use->result == GameResult::kWhiteWins);
  GameWalker<Files> walker(files, use != nullptr ? use->store : nullptr, decided,
                           decided && use->result == GameResult::kBlackWins ? 1.0 : 0.0,
                           decided ? use->scale : 1, end);
  for (int q = from_ply; q < end; ++q) {
    const Position& position = plies[q].position;
    if (q == from_ply) {
      walker.Start(position, q);
    } else if (!walker.Step(position, q, error)) {
      return false;
    }
    int32_t values[Files];
    for (int f = 0; f < Files; ++f) {
      out[f]->push_back(walker.Figures(position, f));
      values[f] = out[f]->back().value;
    }
    walker.Settle(q, values);
  }
  return walker.Finish(end, error);
}

}  // namespace

int64_t ResidualTowardUnits(int32_t value, double target, int32_t scale) {
  const double p = 1.0 / (1.0 + std::exp(-static_cast<double>(value) / scale));
  return std::llround((target - p) * (int64_t{1} << kPullBits));
}

int64_t ResidualUnits(int32_t value, bool black_won, int32_t scale) {
  return ResidualTowardUnits(value, black_won ? 1.0 : 0.0, scale);
}


bool EvaluateGame(const std::vector<RecordPly>& plies, int from_ply, const EvalFile& file,
                  const EvalFile* second, std::vector<PositionFigures>* figures,
                  std::vector<PositionFigures>* second_figures, const GameUse* use,
                  std::string* error) {
  figures->clear();
  if (second_figures != nullptr) second_figures->clear();
  if (second != nullptr && second_figures == nullptr) {
    *error = "a second evaluation file needs somewhere to put its figures";
    return false;
  }
  if (from_ply < 0) from_ply = 0;
  const int count = static_cast<int>(plies.size());
  for (int q = from_ply; q < count; ++q) {
    if (!CheckLeaf(plies[q].position, error)) {
      *error = "ply " + std::to_string(q) + ": " + *error;
      return false;
    }
  }
  if (from_ply < count) {
    figures->reserve(count - from_ply);
    if (second != nullptr) second_figures->reserve(count - from_ply);
  }
  const EvalFile* files[2] = {&file, second};
  std::vector<PositionFigures>* out[2] = {figures, second_figures};
  if (second == nullptr) return Walk<1>(plies, from_ply, files, out, use, error);
  return Walk<2>(plies, from_ply, files, out, use, error);
}

void ResizeBatch(PositionBatch* batch, int count) {
  batch->positions.resize(count);
  batch->taken.assign(count, 0);
  batch->sides.resize(2 * static_cast<size_t>(count));
  batch->material.resize(count);
  batch->to_move.assign(count, kBlack);
  batch->by_slab.resize(2 * static_cast<size_t>(count));
  for (std::vector<int64_t>& prefix : batch->prefix) prefix.assign(2 * static_cast<size_t>(count), 0);
  batch->pulled.assign(count, 0);
}

namespace {

// The board features a side's list can hold come in groups, one per KPP base
// (gold and the promoted minor pieces share one): a group's features are its
// base plus the squares as the side sees them, and on legal squares every
// feature of a group lies below every feature of the next. So a list comes
// out ascending from the pieces bucketed by group, square ascending, without
// a sort. Hand features (own count then the opponent's, kind by kind) lie
// below them all.
constexpr int kMaxBoardGroups = 2 * kPieceKinds;
struct BoardGroups {
  int count = 0;
  int16_t base[kMaxBoardGroups];
  int8_t own[kPieceKinds + 1];       // group of an own piece kind; -1 for king and empty
  int8_t opponent[kPieceKinds + 1];  // group of an opponent's piece kind
};
BoardGroups MakeBoardGroups() {
  BoardGroups groups;
  int bases[2 * (kPieceKinds + 1)];
  int n = 0;
  for (int kind = 1; kind <= kPieceKinds; ++kind) {
    for (int b : {kKppOwnBase[kind], kKppOpponentBase[kind]}) {
      if (b >= 0 && std::find(bases, bases + n, b) == bases + n) bases[n++] = b;
    }
  }
  std::sort(bases, bases + n);
  groups.count = n;
  for (int g = 0; g < n; ++g) groups.base[g] = static_cast<int16_t>(bases[g]);
  for (int kind = 0; kind <= kPieceKinds; ++kind) {
    groups.own[kind] = groups.opponent[kind] = -1;
    for (int g = 0; g < n; ++g) {
      if (bases[g] == kKppOwnBase[kind]) groups.own[kind] = static_cast<int8_t>(g);
      if (bases[g] == kKppOpponentBase[kind]) groups.opponent[kind] = static_cast<int8_t>(g);
    }
  }
  return groups;
}
const BoardGroups kBoardGroups = MakeBoardGroups();

// Squares of one group's pieces, ascending.
struct GroupSquares {
  uint8_t count[kMaxBoardGroups];
  uint8_t squares[kMaxBoardGroups][kMaxBoardPieces];
};

// Writes side's feature list of position ascending into out->features from
// the bucketed squares; false (out partly written) if two features do not
// ascend, as pieces on squares no legal position has could make them.
bool GroupedFeatures(const Position& position, Side side, const GroupSquares& groups,
                     BatchSide* out) {
  const int8_t* c = position.cells;
  const Side other = Opponent(side);
  int n = 0;
  for (int h = 0; h < kHandKinds; ++h) {
    out->features[n++] = static_cast<int16_t>(kKppOwnHandBase[h] + c[HandSlot(side, h)]);
    out->features[n++] = static_cast<int16_t>(kKppOpponentHandBase[h] + c[HandSlot(other, h)]);
  }
  int last = -1;
  for (int i = 0; i < n; ++i) {
    if (out->features[i] <= last) return false;
    last = out->features[i];
  }
  for (int g = 0; g < kBoardGroups.count; ++g) {
    const int base = kBoardGroups.base[g];
    const uint8_t* squares = groups.squares[g];
    for (int q = 0, m = groups.count[g]; q < m; ++q) {
      const int feature =
          base + (side == kBlack ? squares[q] : FlipSquare(squares[m - 1 - q]));
      if (feature <= last) return false;
      out->features[n++] = static_cast<int16_t>(feature);
      last = feature;
    }
  }
  out->count = static_cast<uint8_t>(n);
  return true;
}

// Index within the KKP section of the row the side's own terms read: its
// king and the opponent's as the side sees them.
int64_t BatchKkpRow(const BatchSide& side) {
  return (int64_t{side.king} * kSquares + side.other_king) * kKkpFeatures;
}

// Writes side's feature list ascending through a bit per feature: the way
// for any position.
void BitFeatures(const CellFeatures& cells, Side side, BatchSide* out) {
  constexpr int kWords = (kKppFeatures + 63) / 64;
  uint64_t bits[kWords] = {};
  for (int c = 0; c < kFilledCells; ++c) {
    const int feature = cells.list[side][c];
    if (feature != kNoFeature) bits[feature >> 6] |= uint64_t{1} << (feature & 63);
  }
  int n = 0;
  for (int w = 0; w < kWords; ++w) {
    for (uint64_t word = bits[w]; word != 0; word &= word - 1) {
      out->features[n++] = static_cast<int16_t>(w * 64 + std::countr_zero(word));
    }
  }
  out->count = static_cast<uint8_t>(n);
}

}  // namespace

void PrepareBatch(PositionBatch* batch, int begin, int end) {
  GroupSquares grouped[2];
  for (int i = begin; i < end; ++i) {
    for (Side side : kSides) batch->sides[2 * i + side].count = 0;
    if (!batch->taken[i]) continue;
    const Position& position = batch->positions[i];
    const int8_t* c = position.cells;
    const int bk = c[kBlackKingCell], wk = c[kWhiteKingCell];
    const int kings[2] = {bk, FlipSquare(wk)};
    BatchSide* sides[2] = {&batch->sides[2 * i + kBlack], &batch->sides[2 * i + kWhite]};
    for (Side side : kSides) {
      BatchSide& out = *sides[side];
      out.king = static_cast<uint8_t>(kings[side]);
      out.other_king = static_cast<uint8_t>(side == kBlack ? wk : FlipSquare(bk));
      out.kkp_count = 0;
      std::fill_n(grouped[side].count, kBoardGroups.count, 0);
    }
    bool fits = true;
    int32_t material = HandMaterial(position);
    for (int s = 0; s < kSquares; ++s) {
      const int code = c[s];
      if (code == 0 || !IsPieceCode(code)) continue;
      material += MaterialOf(code);
      const int kind = KindOf(code);
      if (kind == kKing) continue;
      const Side owner = code > 0 ? kBlack : kWhite;
      const int groups[2] = {owner == kBlack ? kBoardGroups.own[kind] : kBoardGroups.opponent[kind],
                             owner == kWhite ? kBoardGroups.own[kind] : kBoardGroups.opponent[kind]};
      for (Side side : kSides) {
        uint8_t& count = grouped[side].count[groups[side]];
        if (count == kMaxBoardPieces) fits = false;
        if (fits) grouped[side].squares[groups[side]][count++] = static_cast<uint8_t>(s);
      }
      BatchSide& own = *sides[owner];
      own.kkp_features[own.kkp_count++] =
          static_cast<int16_t>(kKkpBase[kind] + ViewedSquare(owner, s));
    }
    for (Side side : kSides) {
      for (int h = 0; h < kHandKinds; ++h) {
        sides[side]->kkp_features[sides[side]->kkp_count++] =
            static_cast<int16_t>(kKkpHandBase[h] + c[HandSlot(side, h)]);
      }
    }
    for (Side side : kSides) {
      if (!fits || !GroupedFeatures(position, side, grouped[side], sides[side])) {
        CellFeatures cells;
        CellFeaturesOf(position, &cells);
        BitFeatures(cells, side, sides[side]);
      }
    }
    batch->material[i] = material;
  }
}

void GroupBatch(PositionBatch* batch) {
  int32_t counts[kSquares + 1] = {};
  const int sides = static_cast<int>(batch->sides.size());
  for (int s = 0; s < sides; ++s) {
    if (batch->sides[s].count > 0) ++counts[batch->sides[s].king + 1];
  }
  for (int k = 0; k < kSquares; ++k) counts[k + 1] += counts[k];
  std::copy(counts, counts + kSquares + 1, batch->slab_begin);
  for (int s = 0; s < sides; ++s) {
    if (batch->sides[s].count > 0) batch->by_slab[counts[batch->sides[s].king]++] = s;
  }
  // Sorting a slab's sides by their features to share rows in the nearer
  // caches cost more than it saved on shuffled records.
  // Every slab's first job, then every second one, and so on: two jobs of
  // one slab taken at once would wait on each other for the store's lock.
  batch->jobs.clear();
  for (int32_t part = 0, more = 1; more; ++part) {
    more = 0;
    for (int k = 0; k < kSquares; ++k) {
      const int32_t t = batch->slab_begin[k] + part * kSlabJobSides;
      if (t >= batch->slab_begin[k + 1]) continue;
      batch->jobs.push_back({k, t, std::min(t + kSlabJobSides, batch->slab_begin[k + 1])});
      more = 1;
    }
  }
}

void SumBatchSlab(PositionBatch* batch, const SlabJob& job, const EvalFile* file,
                  const EvalFile* second) {
  const EvalFile* files[2] = {file, second};
  const int k = job.k;
  const int64_t triangle = k * kKppTriangleValues;
  for (int f = 0; f < 2; ++f) {
    if (files[f] == nullptr) continue;
    const bool full = std::endian::native == std::endian::little && files[f]->count >= kKppValues;
    const int16_t* values = files[f]->values;
    for (int32_t t = job.begin; t < job.end; ++t) {
      BatchSide& side = batch->sides[batch->by_slab[t]];
      int64_t sum = 0;
      for (int i = 0; i < side.count; ++i) {
        const int64_t row = triangle + TriangleIndex(side.features[i], 0);
        if (full) {
          for (int j = 0; j <= i; ++j) sum += values[row + side.features[j]];
        } else {
          for (int j = 0; j <= i; ++j) sum += EvalValueAt(*files[f], row + side.features[j]);
        }
      }
      side.sums[f] = sum;
      const int64_t kkp_row = kKkpSectionOffset / 2 + BatchKkpRow(side);
      int64_t kkp = 0;
      for (int n = 0; n < side.kkp_count; ++n) {
        kkp += EvalValueAt(*files[f], kkp_row + side.kkp_features[n]);
      }
      side.kkp_sums[f] = kkp;
    }
  }
}

PositionFigures BatchFigures(const PositionBatch& batch, int i, int f) {
  PositionFigures out;
  out.kkp_sum = static_cast<int32_t>(batch.sides[2 * i + kBlack].kkp_sums[f] -
                                     batch.sides[2 * i + kWhite].kkp_sums[f]);
  out.kpp_sum = static_cast<int32_t>(batch.sides[2 * i + kBlack].sums[f] -
                                     batch.sides[2 * i + kWhite].sums[f]);
  out.material = batch.material[i];
  out.value = (kFvScale * out.material + out.kpp_sum + out.kkp_sum) / kFvScale;
  return out;
}

bool AddBatchSlabReads(const PositionBatch& batch, const SlabJob& job, EntryUse* store,
                       std::string* error) {
  std::vector<FeatureListReads> lists(job.end - job.begin);
  for (int32_t t = job.begin; t < job.end; ++t) {
    const int32_t s = batch.by_slab[t];
    const BatchSide& side = batch.sides[s];
    const int i = s / 2;
    FeatureListReads& list = lists[t - job.begin];
    list = {side.features, side.count, static_cast<Side>(s % 2), {0, 0}};
    for (int f = 0; batch.pulled[i] && f < store->pulls; ++f) {
      const int64_t* prefix = batch.prefix[f].data() + 2 * static_cast<size_t>(i);
      list.residual[f] = prefix[1] - prefix[0];
    }
  }
  return AddFeaturePairReads(store, job.k, lists.data(), static_cast<int>(lists.size()), error);
}

void MarkBatchKkp(const PositionBatch& batch, int i, EntryUse* store) {
  std::string unused;
  for (Side side : kSides) {
    const BatchSide& own = batch.sides[2 * i + side];
    const int64_t row = BatchKkpRow(own);
    for (int n = 0; n < own.kkp_count; ++n) MarkKkpRead(store, row + own.kkp_features[n], &unused);
  }
}

}  // namespace fvscope
