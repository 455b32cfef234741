#include "eval/kppt/kppt_eval.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>

#include "eval/evaluator.h"
#include "test/random_games.h"
#include "test/scratch_dir.h"
#include "tools/sample_kppt.h"

namespace fvscope {
namespace {

// A position of one set's pieces, each absent (a handicap), on a random
// empty square (promoted at random where it may be) or in a random hand.
Position RandomSetPosition(std::mt19937& random, int absent_percent, int held_percent) {
  Position p = {};
  const int bk = random() % kSquares;
  int wk;
  do wk = random() % kSquares; while (wk == bk);
  p.cells[bk] = kKing;
  p.cells[wk] = -kKing;
  p.cells[kBlackKingCell] = static_cast<int8_t>(bk);
  p.cells[kWhiteKingCell] = static_cast<int8_t>(wk);
  for (int h = 0; h < kHandKinds; ++h) {
    for (int n = 0; n < kPiecesInSet[h]; ++n) {
      const int roll = random() % 100;
      const Side side = random() % 2 ? kBlack : kWhite;
      if (roll < absent_percent) continue;
      if (roll < absent_percent + held_percent) {
        ++p.cells[HandSlot(side, h)];
        continue;
      }
      int s;
      do s = random() % kSquares; while (p.cells[s] != 0);
      int kind = h + 1;
      if (kPromotedKind[kind] != kind && random() % 3 == 0) kind = kPromotedKind[kind];
      p.cells[s] = static_cast<int8_t>(side == kBlack ? kind : -kind);
    }
  }
  return p;
}

// The value by the definition, read straight from the sample's bytes.
int32_t ReferenceValue(const SampleKppt& sample, const Position& position, Side to_move) {
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(sample.layout)];
  const auto read = [](const std::vector<uint8_t>& bytes, int64_t element, int width) -> int64_t {
    const uint8_t* p = bytes.data() + element * width;
    if (width == 4) return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24);
    return static_cast<int16_t>(p[0] | p[1] << 8);
  };
  PieceFeatureList list;
  std::string error;
  EXPECT_TRUE(BuildPieceFeatures(position, &list, &error)) << error;
  const int bk = FeatureSquare(position.cells[kBlackKingCell]);
  const int wk = FeatureSquare(position.cells[kWhiteKingCell]);
  int64_t board = 0, turn = 0;
  const int parts = info.kpp_parts;
  for (Side view : kSides) {
    const int k = view == kBlack ? bk : 80 - wk;
    for (int i = 0; i < list.count; ++i) {
      for (int j = 0; j < i; ++j) {
        // Read as [larger][smaller]: the order fvscope defines for an asymmetric table.
        const int hi = std::max(list.view[view][i].number, list.view[view][j].number);
        const int lo = std::min(list.view[view][i].number, list.view[view][j].number);
        const int64_t e = (int64_t{k} * 1548 + hi) * 1548 + lo;
        const int64_t b = read(sample.kpp, e * parts, 2);
        board += view == kBlack ? b : -b;
        if (parts == 2) turn += read(sample.kpp, e * 2 + 1, 2);
      }
    }
  }
  if (!sample.kk.empty()) {
    board += read(sample.kk, (bk * 81 + wk) * 2, info.kk_bytes);
    turn += read(sample.kk, (bk * 81 + wk) * 2 + 1, info.kk_bytes);
  }
  for (int i = 0; i < list.count; ++i) {
    const int64_t e = (int64_t{bk} * 81 + wk) * 1548 + list.view[kBlack][i].number;
    board += read(sample.kkp, e * 2, info.kkp_bytes);
    turn += read(sample.kkp, e * 2 + 1, info.kkp_bytes);
  }
  const int values[] = {0, 90, 315, 405, 495, 540, 855, 990, 0, 540, 540, 540, 540, 945, 1395};
  int64_t material = 0;
  for (int s = 0; s < kSquares; ++s) {
    const int c = position.cells[s];
    material += c > 0 ? values[c] : -values[-c];
  }
  for (int h = 0; h < kHandKinds; ++h) {
    material += (position.cells[HandSlot(kBlack, h)] - position.cells[HandSlot(kWhite, h)]) * values[h + 1];
  }
  board += 32 * material;
  const int64_t own = (to_move == kBlack ? board : -board) + turn;
  return static_cast<int32_t>(to_move == kBlack ? own / 32 : -(own / 32));
}

std::vector<Position> TestPositions() {
  std::vector<Position> positions;
  std::mt19937 random(17);
  for (int n = 0; n < 40; ++n) positions.push_back(RandomSetPosition(random, 0, 10));
  for (int n = 0; n < 20; ++n) positions.push_back(RandomSetPosition(random, 30, 10));
  positions.push_back(RandomSetPosition(random, 100, 0));  // kings only
  positions.push_back(RandomSetPosition(random, 0, 100));  // every piece held
  for (const RecordPly& ply : RandomGamePlies(60, 3)) positions.push_back(ply.position);
  return positions;
}

// Every layout: the value, the breakdown, its ranking and shares, and a
// block of packed positions against the definition.
TEST(KpptEval, MatchesTheDefinitionInEveryLayout) {
  const std::vector<Position> positions = TestPositions();
  for (int l = 0; l < kKpptLayouts; ++l) {
    SCOPED_TRACE(kKpptLayoutInfo[l].name);
    auto sample = std::make_unique<SampleKppt>();
    MakeSampleKppt(static_cast<KpptLayout>(l), 5 + l, sample.get());
    Evaluator file;
    file.kind = EvalKind::kKppt;
    file.kppt = SampleKpptSet(*sample);
    PositionBatch batch;
    ResizeBatch(&batch, static_cast<int>(2 * positions.size()));
    auto breakdown = std::make_unique<Breakdown>();
    for (size_t n = 0; n < positions.size(); ++n) {
      for (Side to_move : kSides) {
        const Position& p = positions[n];
        const int32_t expected = ReferenceValue(*sample, p, to_move);
        PositionFigures figures;
        std::string error;
        ASSERT_TRUE(EvaluatePosition(file, p, to_move, &figures, &error)) << error;
        EXPECT_EQ(figures.value, expected) << n;
        ASSERT_TRUE(BreakDownPosition(file, p, to_move, breakdown.get(), &error));
        const KpptBreakdown& b = breakdown->kppt;
        EXPECT_EQ(b.value, expected);
        // The parts add up, and the pairs' contributions make the KPP terms.
        const KpptShown total = ShownTotal(b);
        const KpptShown black = ShownKpp(b, kBlack), white = ShownKpp(b, kWhite);
        EXPECT_EQ(total.sum, ShownKk(b).sum + ShownKkp(b).sum + black.sum + white.sum +
                                 ShownMaterial(b).sum);
        int64_t pairs = 0;
        for (int t = 0; t < b.term_count; ++t) pairs += b.terms[t].contribution;
        EXPECT_EQ(pairs, black.sum + white.sum);
        EXPECT_EQ(b.term_count, 2 * kKpptViewPairs);
        PieceShares shares;
        ASSERT_TRUE(ComputeShares(file, p, to_move, &shares, &error));
        int64_t half = 0;
        for (int i = 0; i < shares.count; ++i) half += shares.shares[i].half_units;
        EXPECT_EQ(half, 2 * (ShownKkp(b).sum + black.sum + white.sum));
        const int i = static_cast<int>(2 * n) + to_move;
        batch.positions[i] = p;
        batch.taken[i] = 1;
        batch.to_move[i] = static_cast<uint8_t>(to_move);
      }
    }
    const ParallelFor serial = [](int count, const std::function<void(int)>& work) {
      for (int c = 0; c < count; ++c) work(c);
    };
    const int count = static_cast<int>(batch.positions.size());
    ValueBatchApart(&batch, count, file, 0, serial);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(BatchValue(batch, i, file, 0),
                ReferenceValue(*sample, batch.positions[i], Side(batch.to_move[i])))
          << i;
    }
  }
}

// A set built from a known rule: zeros (material only), then one KPP pair,
// one KKP entry and KK.
TEST(KpptEval, KnownRuleGivesThePredictedValue) {
  auto sample = std::make_unique<SampleKppt>();
  sample->layout = KpptLayout::kKppt32;
  sample->kk.assign(KkFileBytes(sample->layout), 0);
  sample->kkp.assign(KkpFileBytes(sample->layout), 0);
  sample->kpp.assign(KppFileBytes(sample->layout), 0);
  std::vector<RecordPly> plies = RandomGamePlies(0, 1);
  Position p = plies[0].position;
  p.cells[HandSlot(kBlack, 6)] = 1;  // white's rook in black's hand, a pawn missing
  p.cells[SquareOf(8, 2)] = 0;
  p.cells[SquareOf(1, 7)] = 0;
  KpptSet set = SampleKpptSet(*sample);
  int32_t value = 0;
  std::string error;
  ASSERT_TRUE(EvaluateKppt(set, p, kBlack, &value, &error)) << error;
  EXPECT_EQ(value, 2 * 990 - 90);
  ASSERT_TRUE(EvaluateKppt(set, p, kWhite, &value, &error));
  EXPECT_EQ(value, 2 * 990 - 90);
  // Black's king 5i (44): the pair of black's 7g pawn (90 + 60) and its held rook (85).
  PieceFeatureList list;
  ASSERT_TRUE(BuildPieceFeatures(p, &list, &error));
  ASSERT_EQ(list.king[kBlack], 44);
  const auto put16 = [&](int64_t element, int16_t v) {
    sample->kpp[2 * element] = static_cast<uint8_t>(v);
    sample->kpp[2 * element + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  };
  for (auto [a, b] : {std::pair{150, 85}, std::pair{85, 150}}) {
    const int64_t e = (int64_t{44} * 1548 + a) * 1548 + b;
    put16(2 * e, 320);     // board: 10 points
    put16(2 * e + 1, 64);  // turn: 2 points to the side to move
  }
  // KK[44][36] turn part: 32 units to the side to move; KKP of the held rook: -64 board.
  const int64_t kk = (44 * 81 + 36) * 2 + 1;
  sample->kk[4 * kk] = 32;
  const int64_t kkp = ((44 * 81 + 36) * int64_t{1548} + 85) * 2;
  const uint32_t minus64 = static_cast<uint32_t>(-64);
  for (int byte = 0; byte < 4; ++byte) sample->kkp[4 * kkp + byte] = static_cast<uint8_t>(minus64 >> (8 * byte));
  ASSERT_TRUE(EvaluateKppt(set, p, kBlack, &value, &error));
  EXPECT_EQ(value, 1890 + 10 + 2 + 1 - 2);
  ASSERT_TRUE(EvaluateKppt(set, p, kWhite, &value, &error));
  EXPECT_EQ(value, 1890 + 10 - 2 - 1 - 2);
}

// The warning names the first slab in the run's order that is asymmetric,
// whichever slab's check ends first.
TEST(KpptFile, AsymmetryWarningFollowsTheSlabsOrder) {
  auto sample = std::make_unique<SampleKppt>();
  MakeSampleKppt(KpptLayout::kKppt16, 4, sample.get());
  Evaluator file;
  file.kind = EvalKind::kKppt;
  file.kppt = SampleKpptSet(*sample);
  file.path = "set";
  const ParallelFor backwards = [](int n, const std::function<void(int)>& work) {
    for (int i = n - 1; i >= 0; --i) work(i);
  };
  EXPECT_EQ(KppAsymmetryWarning(file, {40, 30, 40}, backwards), "");
  ++sample->kpp[4 * ((int64_t{30} * 1548 + 5) * 1548 + 6)];
  ++sample->kpp[4 * ((int64_t{40} * 1548 + 7) * 1548 + 8)];
  EXPECT_NE(KppAsymmetryWarning(file, {40, 30}, backwards).find("[40][7][8]"), std::string::npos);
  EXPECT_NE(KppAsymmetryWarning(file, {30, 40}, backwards).find("[30][5][6]"), std::string::npos);
  EXPECT_NE(KppAsymmetryWarning(file, {12, 30, 40}, backwards).find("[30][5][6]"), std::string::npos);
}

// The sums of a view read sixteen entries at a time (where the processor
// can) against one at a time, on entries at the limits of 16 bits: all at
// the most negative, all at the most positive, and at random.
TEST(KpptEval, ViewSumsAgreeOnEveryPathAtTheLimits) {
  auto sample = std::make_unique<SampleKppt>();
  MakeSampleKppt(KpptLayout::kKppt16, 9, sample.get());
  const KpptSet set = SampleKpptSet(*sample);
  const int64_t slab = int64_t{40} * 1548 * 1548 * 4;
  std::mt19937 random(23);
  for (int fill = 0; fill < 3; ++fill) {
    for (int64_t b = 0; b < int64_t{1548} * 1548 * 4; b += 2) {
      const uint16_t word = fill == 0 ? 0x8000 : fill == 1 ? 0x7FFF : static_cast<uint16_t>(random());
      sample->kpp[slab + b] = static_cast<uint8_t>(word);
      sample->kpp[slab + b + 1] = static_cast<uint8_t>(word >> 8);
    }
    for (int n = 0; n < 100; ++n) {
      // Ascending numbers, a few missing pieces' 0s first.
      uint16_t numbers[kSetPieces];
      const int missing = n % 5;
      for (int i = 0; i < kSetPieces; ++i) numbers[i] = i < missing ? 0 : static_cast<uint16_t>(1 + random() % 1547);
      std::sort(numbers, numbers + kSetPieces);
      const KpptSum plain = SortedViewKppPlain(set, 40, numbers);
      const KpptSum sum = SortedViewKpp(set, 40, numbers);
      ASSERT_EQ(sum.board, plain.board) << fill << " " << n;
      ASSERT_EQ(sum.turn, plain.turn) << fill << " " << n;
      if (fill == 0 && missing == 0) {
        ASSERT_EQ(plain.board, -32768 * 703);
      }
    }
  }
}

// The material of a position's lists against the board's, on every test position.
TEST(KpptEval, ListMaterialIsTheBoards) {
  for (const Position& p : TestPositions()) {
    PieceFeatureList list;
    std::string error;
    ASSERT_TRUE(BuildPieceFeatures(p, &list, &error)) << error;
    EXPECT_EQ(KpptListMaterial(list), KpptMaterial(p));
  }
}

// The identity of a built set of zeros and three known words, read from
// sparse files; the refusals of folders that hold no set.
TEST(KpptFile, IdentityAndRefusals) {
  ScratchDir dir;
  const auto make = [&](const char* name, int64_t bytes, int64_t at, uint16_t word) {
    const std::string path = dir.File(name);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, bytes), 0);
    const uint8_t le[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    ASSERT_EQ(pwrite(fd, le, 2, at), 2);
    close(fd);
  };
  const KpptLayout l = KpptLayout::kKppt32;
  make("KK_synthesized.bin", KkFileBytes(l), 0, 0xFFFF);
  make("KKP_synthesized.bin", KkpFileBytes(l), 1000, 7);
  make("KPP_synthesized.bin", KppFileBytes(l), KppFileBytes(l) - 2, 0x8000);
  KpptSet set;
  std::string error;
  ASSERT_TRUE(LoadKpptSet(dir.path(), "", &set, &error)) << error;
  EXPECT_EQ(set.layout, l);
  EXPECT_EQ(set.identity, 0xFFFFu + 7u + 0x8000u);
  CloseKpptSet(&set);
  // 16-bit KK and KKP with a KPP of board values only: no layout.
  make("KK_synthesized.bin", KkFileBytes(KpptLayout::kKppt16), 0, 1);
  make("KPP_synthesized.bin", KppFileBytes(KpptLayout::kKppKkpt), 0, 1);
  EXPECT_FALSE(LoadKpptSet(dir.path(), "", &set, &error));
  EXPECT_NE(error.find("KK_synthesized.bin (26244 bytes)"), std::string::npos) << error;
  EXPECT_NE(error.find("KPP_synthesized.bin 776402496"), std::string::npos) << error;
  make("KKP.bin", 2, 0, 1);
  EXPECT_FALSE(LoadKpptSet(dir.path(), "", &set, &error));
  EXPECT_NE(error.find("a mix of layouts"), std::string::npos) << error;
}

TEST(KpptFile, AsymmetryFoundFirstInOrder) {
  auto sample = std::make_unique<SampleKppt>();
  MakeSampleKppt(KpptLayout::kKppt16, 2, sample.get());
  const KpptSet set = SampleKpptSet(*sample);
  KppAsymmetry found;
  EXPECT_TRUE(CheckKppSymmetry(set, 30, &found));
  // Two differing entries: the one with the smaller first feature is named,
  // pairs compared one at a time and (where the processor can) sixteen.
  const auto bump = [&](int a, int b) { ++sample->kpp[4 * ((int64_t{30} * 1548 + a) * 1548 + b) + 2]; };
  bump(900, 70);
  bump(200, 1500);
  for (bool wide : {false, __builtin_cpu_supports("avx512f") != 0}) {
    ASSERT_FALSE(CheckKppSymmetryOn(set, 30, wide, &found));
    EXPECT_EQ(found.king, 30);
    EXPECT_EQ(found.a, 70);
    EXPECT_EQ(found.b, 900);
    EXPECT_NE(found.ab.turn, found.ba.turn);
    EXPECT_TRUE(CheckKppSymmetryOn(set, 31, wide, &found));
    // The last pair of a slab, past the last whole block of sixteen.
    EXPECT_TRUE(CheckKppSymmetryOn(set, 80, wide, &found));
    ++sample->kpp[4 * ((int64_t{80} * 1548 + 1546) * 1548 + 1547)];
    ASSERT_FALSE(CheckKppSymmetryOn(set, 80, wide, &found));
    EXPECT_EQ(found.a, 1546);
    EXPECT_EQ(found.b, 1547);
    --sample->kpp[4 * ((int64_t{80} * 1548 + 1546) * 1548 + 1547)];
  }
  // Board values only, the difference in the last entry read.
  MakeSampleKppt(KpptLayout::kKppKkpt, 3, sample.get());
  const KpptSet board_only = SampleKpptSet(*sample);
  EXPECT_TRUE(CheckKppSymmetry(board_only, 80, &found));
  ++sample->kpp[2 * ((int64_t{80} * 1548 + 1546) * 1548 + 1547) + 1];
  ASSERT_FALSE(CheckKppSymmetry(board_only, 80, &found));
  EXPECT_EQ(found.a, 1546);
  EXPECT_EQ(found.b, 1547);
  EXPECT_EQ(found.ab.board - found.ba.board, 256);
}

}  // namespace
}  // namespace fvscope
