// The use of a KPPT set's entries over a block of positions against a count
// made here from the definition: every pair i > j of each view's list read
// once as KPP[king][larger][smaller], pulled by the position's residual
// (black's added, white's taken away), and the KKP entries of black's view.
#include "eval/evaluator.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "test/kppt_folder.h"
#include "test/random_games.h"

namespace fvscope {
namespace {

struct DirectReads {
  uint32_t black = 0;
  uint32_t white = 0;
  int64_t pull = 0;
};

// Positions of random games, and handicaps: pieces taken off the board (each
// then feature 0 in both views, a pair of two of them the diagonal [0][0]).
std::vector<RecordPly> TestPositions() {
  std::vector<RecordPly> out;
  for (uint32_t seed : {3u, 4u}) {
    for (const RecordPly& ply : RandomGamePlies(90, seed)) out.push_back(ply);
  }
  const std::vector<RecordPly> start = RandomGamePlies(0, 1);
  for (int missing = 1; missing <= 4; ++missing) {
    RecordPly handicap = start[0];
    // Lances and a rook or bishop of either side off.
    const int squares[4] = {0, 72, 9, 64};
    for (int m = 0; m < missing; ++m) handicap.position.cells[squares[m]] = 0;
    handicap.to_move = missing % 2 ? kWhite : kBlack;
    out.push_back(handicap);
  }
  return out;
}

TEST(KpptBatchUse, CountsEveryPairOfBothViewsAndPullsByTheResidual) {
  Evaluator file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvaluator(RandomKpptSet(), {}, &file, &error, &warning)) << error;
  const std::vector<RecordPly> plies = TestPositions();
  const int count = static_cast<int>(plies.size());
  const ParallelFor serial = [](int n, const std::function<void(int)>& work) {
    for (int i = 0; i < n; ++i) work(i);
  };
  // Two halves in two stores, merged, against the whole in one.
  auto whole = std::make_unique<EntryUse>(false, 1, kKpptUse);
  auto first = std::make_unique<EntryUse>(false, 1, kKpptUse);
  auto second = std::make_unique<EntryUse>(false, 1, kKpptUse);
  std::map<int64_t, DirectReads> direct;
  std::set<int64_t> direct_kkp;
  const int64_t triangle = TriangleOf(kKpptUse);
  const auto residual = [](int i) { return i % 3 == 2 ? 0 : int64_t{(i * 7919) % 2001 - 1000} << 8; };
  for (int part = 0; part < 3; ++part) {
    const int begin = part == 2 ? 0 : part * count / 2;
    const int end = part == 0 ? count / 2 : count;
    const int n = end - begin;
    PositionBatch batch;
    ResizeBatch(&batch, n);
    for (int i = 0; i < n; ++i) {
      batch.positions[i] = plies[begin + i].position;
      batch.to_move[i] = static_cast<uint8_t>(plies[begin + i].to_move);
      batch.taken[i] = 1;
    }
    ValueBatchApart(&batch, n, file, 0, serial);
    for (int i = 0; i < n; ++i) {
      PositionFigures figures;
      ASSERT_TRUE(EvaluatePosition(file, batch.positions[i], Side(batch.to_move[i]), &figures, &error));
      EXPECT_EQ(BatchValue(batch, i, file, 0), figures.value) << begin + i;
      batch.pulled[i] = residual(begin + i) != 0;
      batch.prefix[0][2 * i + 1] = residual(begin + i);
    }
    EntryUse* store = part == 0 ? first.get() : part == 1 ? second.get() : whole.get();
    ASSERT_TRUE(AddKpptBatchUse(batch, n, store, serial, &error)) << error;
  }
  for (int p = 0; p < count; ++p) {
    PieceFeatureList list;
    ASSERT_TRUE(BuildPieceFeatures(plies[p].position, &list, &error));
    for (Side view : kSides) {
      for (int i = 0; i < list.count; ++i) {
        for (int j = 0; j < i; ++j) {
          const int a = list.view[view][i].number, b = list.view[view][j].number;
          const int64_t index =
              list.king[view] * triangle + TriangleIndex(std::max(a, b), std::min(a, b));
          DirectReads& reads = direct[index];
          ++(view == kBlack ? reads.black : reads.white);
          reads.pull += (view == kBlack ? 1 : -1) * residual(p);
        }
      }
    }
    const int bk = list.king[kBlack], wk = kSquares - 1 - list.king[kWhite];
    for (int i = 0; i < list.count; ++i) {
      direct_kkp.insert((int64_t{bk} * kSquares + wk) * kPieceFeatures + list.view[kBlack][i].number);
    }
  }
  // A handicap's missing pieces read the diagonal entry of feature 0.
  EXPECT_GT(direct[TriangleIndex(0, 0) + 44 * triangle].black, 0u);
  std::map<int64_t, DirectReads> counted;
  ForEachUsedKppEntry(*whole, [&](int64_t index, const EntryReads& r) {
    counted[index] = {r.black, r.white, r.pull[0]};
  });
  ASSERT_EQ(counted.size(), direct.size());
  for (const auto& [index, reads] : direct) {
    const DirectReads& c = counted[index];
    ASSERT_TRUE(c.black == reads.black && c.white == reads.white && c.pull == reads.pull) << index;
  }
  std::set<int64_t> marked;
  ForEachReadKkpEntry(*whole, [&](int64_t index) { marked.insert(index); });
  EXPECT_EQ(marked, direct_kkp);

  // The merged halves give the whole's bytes.
  ASSERT_TRUE(MergeEntryUse(first.get(), *second, &error)) << error;
  std::string merged, one;
  EncodeEntryUse(*first, &merged);
  EncodeEntryUse(*whole, &one);
  EXPECT_EQ(merged, one);
  EXPECT_EQ(one.substr(0, 4), "FVUK");
  auto back = std::make_unique<EntryUse>(false, 1, kKpptUse);
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(one.data()), one.size(), back.get(), &error));
  std::string again;
  EncodeEntryUse(*back, &again);
  EXPECT_EQ(again, one);
  // A table's store refuses a KPPT set's bytes, and a KPPT set's a table's.
  auto table = std::make_unique<EntryUse>(false, 1);
  EXPECT_FALSE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(one.data()), one.size(), table.get(), &error));
  EXPECT_NE(error.find("the use of a KPPT set where this run counts a table"), std::string::npos) << error;
  std::string table_bytes;
  EncodeEntryUse(*table, &table_bytes);
  EXPECT_FALSE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(table_bytes.data()), table_bytes.size(),
                              back.get(), &error));
  EXPECT_FALSE(MergeEntryUse(table.get(), *whole, &error));

  // The summary: each ranked entry's board part weighed by its reads, its
  // turn part beside, named by its decoded pieces; the pull as summed here.
  auto summary = std::make_unique<UseSummary>();
  SummarizeFileUse(*whole, file, nullptr, kByMagnitude, summary.get());
  EXPECT_EQ(summary->kpp_read, static_cast<int64_t>(direct.size()));
  EXPECT_EQ(summary->kpp_entries, 81 * int64_t{1548} * 1549 / 2);
  EXPECT_EQ(summary->kkp_entries, 81 * 81 * int64_t{1548});
  ASSERT_GT(summary->ranking.count, 10);
  ASSERT_GT(summary->pull.ranking.count, 10);
  for (const UseRanking* ranking : {&summary->ranking, &summary->pull.ranking}) {
    for (int r = 0; r < 10; ++r) {
      const UseRankEntry& e = ranking->entries[r];
      const DirectReads& reads = direct[e.index];
      const int k = static_cast<int>(e.index / triangle);
      const KpptPair pair = KppPair(file.kppt, k, e.hi, e.lo);
      ASSERT_TRUE(e.kppt);
      EXPECT_EQ(e.value, pair.board);
      EXPECT_EQ(e.turn, pair.turn);
      EXPECT_EQ(e.king_square, SquareOfFeatureSquare(k));
      EXPECT_EQ(e.index, k * triangle + TriangleIndex(e.hi, e.lo));
      EXPECT_EQ(e.contribution, ranking == &summary->ranking
                                    ? pair.board * (int64_t{reads.black} - reads.white)
                                    : reads.pull);
      const RankedTerm t = UseTerm(e, e.value);
      int cell, code;
      DecodePieceFeature(e.hi, &cell, &code);
      EXPECT_EQ(t.cell_a, cell);
      EXPECT_EQ(t.code_a, code);
      EXPECT_EQ(t.turn, pair.turn);
    }
  }
  CloseEvaluator(&file);
}

}  // namespace
}  // namespace fvscope
