#include "eval/game_pass.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test/positions.h"
#include "test/random_games.h"

namespace fvscope {
namespace {

void ExpectFigures(const PositionFigures& got, const PositionFigures& want, int ply) {
  EXPECT_EQ(got.kkp_sum, want.kkp_sum) << "ply " << ply;
  EXPECT_EQ(got.kpp_sum, want.kpp_sum) << "ply " << ply;
  EXPECT_EQ(got.material, want.material) << "ply " << ply;
  EXPECT_EQ(got.value, want.value) << "ply " << ply;
}

// Compares the pass's figures under both files with full breakdowns.
void ExpectFullEvaluation(const std::vector<RecordPly>& plies, int from_ply,
                          const EvalFile& first, const EvalFile& second) {
  std::vector<PositionFigures> a, b;
  std::string error;
  ASSERT_TRUE(EvaluateGame(plies, from_ply, first, &second, &a, &b, nullptr, &error)) << error;
  const size_t expected = plies.size() > size_t(from_ply) ? plies.size() - from_ply : 0;
  ASSERT_EQ(a.size(), expected);
  ASSERT_EQ(b.size(), expected);
  auto breakdown = std::make_unique<LeafBreakdown>();
  for (size_t i = 0; i < expected; ++i) {
    const int ply = from_ply + static_cast<int>(i);
    ASSERT_TRUE(BreakDownLeaf(plies[ply].position, first, breakdown.get(), &error)) << error;
    ExpectFigures(a[i], FiguresOf(*breakdown), ply);
    ASSERT_TRUE(BreakDownLeaf(plies[ply].position, second, breakdown.get(), &error)) << error;
    ExpectFigures(b[i], FiguresOf(*breakdown), ply);
  }
}

TEST(GamePassTest, IncrementalFiguresEqualFullBreakdownAtEveryPly) {
  const EvalFile first = RandomEvalFile(0);
  // The second file also ends early: its last values read as 0.
  const EvalFile second = RandomEvalFile(777, kEvalFileBytes / 2 - 9000000);
  for (uint32_t seed : {1u, 2u, 3u}) {
    const std::vector<RecordPly> plies = RandomGamePlies(200, seed);
    ASSERT_GT(plies.size(), 150u);
    for (int from_ply : {0, 1, 57, static_cast<int>(plies.size()) - 1,
                         static_cast<int>(plies.size()) + 3}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " from ply " + std::to_string(from_ply));
      ExpectFullEvaluation(plies, from_ply, first, second);
    }
  }
  // One figure vector alone gives the same figures.
  const std::vector<RecordPly> plies = RandomGamePlies(120, 9);
  std::vector<PositionFigures> alone, paired, unused;
  std::string error;
  ASSERT_TRUE(EvaluateGame(plies, 0, first, nullptr, &alone, nullptr, nullptr, &error));
  ASSERT_TRUE(EvaluateGame(plies, 0, first, &second, &paired, &unused, nullptr, &error));
  ASSERT_EQ(alone.size(), paired.size());
  for (size_t i = 0; i < alone.size(); ++i) ExpectFigures(alone[i], paired[i], int(i));
}

TEST(GamePassTest, UnrelatedConsecutivePositionsAreFollowedToo) {
  // Positions that are no move apart: many cells, hands and kings change at once.
  std::mt19937 random(5);
  std::vector<int> squares;
  for (int s = 0; s < kSquares; ++s) squares.push_back(s);
  std::vector<RecordPly> plies;
  for (int n = 0; n < 60; ++n) {
    Position p = n % 5 == 3 ? plies.back().position : RandomPosition(random, squares);
    if (n % 7 == 6) p.cells[kBlackHandBase] = static_cast<int8_t>((p.cells[kBlackHandBase] + 1) % 19);
    plies.push_back({n, n + 1, n > 0, Move{}, p, kBlack});
  }
  ExpectFullEvaluation(plies, 0, RandomEvalFile(3), RandomEvalFile(11));
}

// Reads counted straight from each position's full breakdown.
struct DirectCount {
  std::map<int64_t, std::pair<uint64_t, uint64_t>> kpp;  // index -> black, white reads
  std::set<int64_t> kkp;
  uint64_t terms = 0;

  void Add(const Position& p, const EvalFile& file) {
    auto breakdown = std::make_unique<LeafBreakdown>();
    std::string error;
    ASSERT_TRUE(BreakDownLeaf(p, file, breakdown.get(), &error)) << error;
    const FeatureList& list = breakdown->features;
    const int bk = p.cells[kBlackKingCell], wk = p.cells[kWhiteKingCell];
    for (Side side : kSides) {
      const FeatureEntry* entries = side == kBlack ? list.black : list.white;
      const int k = side == kBlack ? bk : FlipSquare(wk);
      for (int i = 0; i < list.count; ++i) {
        for (int j = 0; j <= i; ++j) {
          const int hi = std::max(entries[i].feature, entries[j].feature);
          const int lo = std::min(entries[i].feature, entries[j].feature);
          auto& reads = kpp[k * kKppTriangleValues + TriangleIndex(hi, lo)];
          ++(side == kBlack ? reads.first : reads.second);
          ++terms;
        }
      }
    }
    // KKP reads: both sides' terms of every board piece and hand kind.
    for (int cell = 0; cell < kFilledCells; ++cell) {
      const int code = cell < kSquares ? p.cells[cell] : 0;
      if (cell < kSquares && (code == 0 || KindOf(code) == kKing)) continue;
      const bool black = cell < kSquares ? code > 0 : cell < kWhiteHandBase;
      const int own = black ? bk : FlipSquare(wk);
      const int other = black ? wk : FlipSquare(bk);
      const int g = cell < kSquares
                        ? kKkpBase[KindOf(code)] + (black ? cell : FlipSquare(cell))
                        : kKkpHandBase[(cell - kBlackHandBase) % kHandKinds] + p.cells[cell];
      kkp.insert((int64_t{own} * kSquares + other) * kKkpFeatures + g);
    }
  }
};

TEST(GamePassTest, ReadsEqualACountFromEveryPositionsBreakdown) {
  const EvalFile file = RandomEvalFile(0);
  auto use = std::make_unique<EntryUse>(false);
  DirectCount direct;
  const int from_ply = 23;
  std::string error;
  for (uint32_t seed : {11u, 12u, 13u}) {
    const std::vector<RecordPly> plies = RandomGamePlies(160, seed);
    std::vector<PositionFigures> figures;
    ASSERT_TRUE(EvaluateGame(plies, from_ply, file, nullptr, &figures, nullptr, use.get(), &error))
        << error;
    for (size_t q = from_ply; q < plies.size(); ++q) direct.Add(plies[q].position, file);
  }
  // A from_ply past the end adds nothing.
  auto none = std::make_unique<EntryUse>(false);
  std::vector<PositionFigures> figures;
  const std::vector<RecordPly> plies = RandomGamePlies(10, 1);
  for (int from : {11, 12}) {
    ASSERT_TRUE(EvaluateGame(plies, from, file, nullptr, &figures, nullptr, none.get(), &error));
  }
  EXPECT_TRUE(figures.empty());
  EXPECT_EQ(CountUsedKppEntries(*none, nullptr) + CountReadKkpEntries(*none), 0);

  uint64_t total = 0;
  std::map<int64_t, std::pair<uint64_t, uint64_t>> counted;
  ForEachUsedKppEntry(*use, [&](int64_t index, uint32_t black, uint32_t white) {
    counted[index] = {black, white};
    total += uint64_t{black} + white;
  });
  EXPECT_EQ(total, direct.terms);
  EXPECT_TRUE(counted == direct.kpp) << counted.size() << " entries counted, "
                                     << direct.kpp.size() << " directly";
  int64_t per_square[kSquares];
  EXPECT_EQ(CountUsedKppEntries(*use, per_square), static_cast<int64_t>(direct.kpp.size()));
  for (int k = 0; k < kSquares; ++k) {
    int64_t expected = 0;
    for (const auto& [index, reads] : direct.kpp) expected += index / kKppTriangleValues == k;
    EXPECT_EQ(per_square[k], expected) << "king square " << k;
  }
  std::set<int64_t> marked;
  ForEachReadKkpEntry(*use, [&](int64_t index) { marked.insert(index); });
  EXPECT_TRUE(marked == direct.kkp) << marked.size() << " KKP entries marked, "
                                    << direct.kkp.size() << " directly";
  EXPECT_EQ(CountReadKkpEntries(*use), static_cast<int64_t>(direct.kkp.size()));
}

TEST(GamePassTest, APositionTheTablesCannotTakeStopsThePassBeforeAnyRead) {
  const EvalFile file = RandomEvalFile(0);
  std::vector<RecordPly> plies = RandomGamePlies(30, 4);
  struct Row {
    const char* name;
    int cell;
    int value;
    const char* message;
  };
  const Row rows[] = {
      {"no black king", kBlackKingCell, -1, "ply 20: no black king"},
      {"white king off the board", kWhiteKingCell, 81, "ply 20: no white king"},
      {"19 pawns in hand", kBlackHandBase, 19, "ply 20: black's hand holds 19"},
      {"negative count", kWhiteHandBase + 6, -2, "ply 20: white's hand holds -2"},
  };
  for (const Row& row : rows) {
    std::vector<RecordPly> bad = plies;
    bad[20].position.cells[row.cell] = static_cast<int8_t>(row.value);
    auto use = std::make_unique<EntryUse>(false);
    std::vector<PositionFigures> figures;
    std::string error;
    EXPECT_FALSE(EvaluateGame(bad, 0, file, nullptr, &figures, nullptr, use.get(), &error))
        << row.name;
    EXPECT_EQ(error.rfind(row.message, 0), 0u) << row.name << ": " << error;
    EXPECT_EQ(CountUsedKppEntries(*use, nullptr), 0) << row.name;
    EXPECT_EQ(CountReadKkpEntries(*use), 0) << row.name;
    // Left out by from_ply, the bad position is not looked at.
    EXPECT_TRUE(EvaluateGame(bad, 21, file, nullptr, &figures, nullptr, use.get(), &error))
        << row.name << ": " << error;
  }
}

}  // namespace
}  // namespace fvscope
