#include "eval/table/game_pass.h"

#include <gtest/gtest.h>

#include <cmath>
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

// Reads and pulls counted straight from each position's full breakdown.
struct DirectCount {
  std::map<int64_t, std::pair<uint64_t, uint64_t>> kpp;  // index -> black, white reads
  std::map<int64_t, int64_t> pull;                       // index -> pull, kPullUnit
  std::set<int64_t> kkp;
  uint64_t terms = 0;

  // Adds position p of a game of result (scale 600).
  void Add(const Position& p, const EvalFile& file, GameResult result) {
    auto breakdown = std::make_unique<LeafBreakdown>();
    std::string error;
    ASSERT_TRUE(BreakDownLeaf(p, file, breakdown.get(), &error)) << error;
    // The residual as the result and the printed value in points give it.
    const double chance = 1 / (1 + std::exp(-FiguresOf(*breakdown).value / 600.0));
    const int64_t residual =
        result == GameResult::kBlackWins   ? std::llround((1 - chance) * (1 << kPullBits))
        : result == GameResult::kWhiteWins ? std::llround(-chance * (1 << kPullBits))
                                           : 0;
    const FeatureList& list = breakdown->features;
    const int bk = p.cells[kBlackKingCell], wk = p.cells[kWhiteKingCell];
    for (Side side : kSides) {
      const FeatureEntry* entries = side == kBlack ? list.black : list.white;
      const int k = side == kBlack ? bk : FlipSquare(wk);
      for (int i = 0; i < list.count; ++i) {
        for (int j = 0; j <= i; ++j) {
          const int hi = std::max(entries[i].feature, entries[j].feature);
          const int lo = std::min(entries[i].feature, entries[j].feature);
          const int64_t index = k * kKppTriangleValues + TriangleIndex(hi, lo);
          auto& reads = kpp[index];
          ++(side == kBlack ? reads.first : reads.second);
          pull[index] += side == kBlack ? residual : -residual;
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

TEST(GamePassTest, ReadsAndPullsEqualACountFromEveryPositionsBreakdown) {
  const EvalFile file = RandomEvalFile(0);
  const EvalFile second = RandomEvalFile(8);
  auto use = std::make_unique<EntryUse>(false, 2);
  DirectCount direct, direct_second;
  const int from_ply = 23;
  std::string error;
  const GameResult results[] = {GameResult::kBlackWins, GameResult::kWhiteWins,
                                GameResult::kDraw, GameResult::kBlackWins};
  for (uint32_t seed : {11u, 12u, 13u, 14u}) {
    const std::vector<RecordPly> plies = RandomGamePlies(160, seed);
    const GameResult result = results[seed - 11];
    const GameUse game_use{use.get(), result, 600};
    std::vector<PositionFigures> figures, second_figures;
    ASSERT_TRUE(EvaluateGame(plies, from_ply, file, &second, &figures, &second_figures, &game_use,
                             &error))
        << error;
    for (size_t q = from_ply; q < plies.size(); ++q) {
      direct.Add(plies[q].position, file, result);
      direct_second.Add(plies[q].position, second, result);
    }
  }
  // A from_ply past the end adds nothing.
  auto none = std::make_unique<EntryUse>(false);
  std::vector<PositionFigures> figures;
  const std::vector<RecordPly> plies = RandomGamePlies(10, 1);
  for (int from : {11, 12}) {
    const GameUse game_use{none.get(), GameResult::kBlackWins, 600};
    ASSERT_TRUE(EvaluateGame(plies, from, file, nullptr, &figures, nullptr, &game_use, &error));
  }
  EXPECT_TRUE(figures.empty());
  EXPECT_EQ(CountUsedKppEntries(*none) + CountReadKkpEntries(*none), 0);

  uint64_t total = 0;
  std::map<int64_t, std::pair<uint64_t, uint64_t>> counted;
  std::map<int64_t, int64_t> pulled, second_pulled;
  ForEachUsedKppEntry(*use, [&](int64_t index, const EntryReads& r) {
    counted[index] = {r.black, r.white};
    pulled[index] = r.pull[0];
    second_pulled[index] = r.pull[1];
    total += uint64_t{r.black} + r.white;
  });
  EXPECT_EQ(total, direct.terms);
  EXPECT_TRUE(counted == direct.kpp) << counted.size() << " entries counted, "
                                     << direct.kpp.size() << " directly";
  EXPECT_TRUE(pulled == direct.pull);
  EXPECT_TRUE(second_pulled == direct_second.pull);
  auto summary = std::make_unique<UseSummary>();
  SummarizeEntryUse(*use, file, &second, kByMagnitude, summary.get());
  EXPECT_EQ(summary->kpp_read, static_cast<int64_t>(direct.kpp.size()));
  int64_t nonzero = 0;
  for (const auto& [index, pull] : direct.pull) nonzero += pull != 0;
  EXPECT_EQ(summary->pull.entries, nonzero);
  for (int k = 0; k < kSquares; ++k) {
    int64_t expected = 0;
    for (const auto& [index, reads] : direct.kpp) expected += index / kKppTriangleValues == k;
    EXPECT_EQ(summary->per_king_square[k], expected) << "king square " << k;
  }
  std::set<int64_t> marked;
  ForEachReadKkpEntry(*use, [&](int64_t index) { marked.insert(index); });
  EXPECT_TRUE(marked == direct.kkp) << marked.size() << " KKP entries marked, "
                                    << direct.kkp.size() << " directly";
  EXPECT_EQ(CountReadKkpEntries(*use), static_cast<int64_t>(direct.kkp.size()));
}

// The corpus's summed cross-entropy under the scale curve, each value at
// full precision.
double CrossEntropy(const std::vector<std::vector<RecordPly>>& games,
                    const std::vector<GameResult>& results, const EvalFile& file, int scale) {
  auto breakdown = std::make_unique<LeafBreakdown>();
  std::string error;
  double sum = 0;
  for (size_t g = 0; g < games.size(); ++g) {
    for (const RecordPly& ply : games[g]) {
      EXPECT_TRUE(BreakDownLeaf(ply.position, file, breakdown.get(), &error)) << error;
      const PositionFigures f = FiguresOf(*breakdown);
      const double value = f.material + (f.kpp_sum + f.kkp_sum) / 32.0;
      const double sign = results[g] == GameResult::kBlackWins ? 1 : -1;
      sum += std::log1p(std::exp(-sign * value / scale));
    }
  }
  return sum;
}

TEST(GamePassTest, APullIsTheSlopeOfTheCrossEntropyInItsEntry) {
  // The scale is large against the random file's values, so that the
  // values' rounding to points barely moves the residuals.
  constexpr int kScale = 4000;
  EvalFile file = RandomEvalFile(2);
  std::vector<std::vector<RecordPly>> games;
  const std::vector<GameResult> results = {GameResult::kBlackWins, GameResult::kWhiteWins,
                                           GameResult::kWhiteWins};
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  for (size_t g = 0; g < results.size(); ++g) {
    games.push_back(RandomGamePlies(90, 60 + g));
    const GameUse game_use{use.get(), results[g], kScale};
    std::vector<PositionFigures> figures;
    ASSERT_TRUE(EvaluateGame(games[g], 0, file, nullptr, &figures, nullptr, &game_use, &error));
  }
  auto summary = std::make_unique<UseSummary>();
  SummarizeEntryUse(*use, file, nullptr, kByMagnitude, summary.get());
  const double before = CrossEntropy(games, results, file, kScale);
  std::vector<int16_t> values(file.values, file.values + file.count);
  EvalFile moved = file;
  moved.values = values.data();
  for (int rank : {0, 1, 20}) {
    const UseRankEntry& e = summary->pull.ranking.entries[rank];
    for (int step : {-3, 5}) {
      values[e.index] = static_cast<int16_t>(file.values[e.index] + step);
      const double change = CrossEntropy(games, results, moved, kScale) - before;
      values[e.index] = file.values[e.index];
      const double predicted = -static_cast<double>(e.contribution) * kPullUnit * step / (32.0 * kScale);
      EXPECT_NEAR(change, predicted, 0.02 * std::abs(predicted)) << "rank " << rank + 1 << " step " << step;
    }
  }
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
    const GameUse game_use{use.get(), GameResult::kWhiteWins, 600};
    std::vector<PositionFigures> figures;
    std::string error;
    EXPECT_FALSE(EvaluateGame(bad, 0, file, nullptr, &figures, nullptr, &game_use, &error))
        << row.name;
    EXPECT_EQ(error.rfind(row.message, 0), 0u) << row.name << ": " << error;
    EXPECT_EQ(CountUsedKppEntries(*use), 0) << row.name;
    EXPECT_EQ(CountReadKkpEntries(*use), 0) << row.name;
    // Left out by from_ply, the bad position is not looked at.
    EXPECT_TRUE(EvaluateGame(bad, 21, file, nullptr, &figures, nullptr, &game_use, &error))
        << row.name << ": " << error;
  }
}

}  // namespace
}  // namespace fvscope

namespace fvscope {
namespace {

// A batch of positions, each on its own and pulled toward its game's result,
// fills the store a walk over the games fills; pulled toward its own curve,
// it pulls nothing.
void EvaluateBatch(const std::vector<Position>& positions, const std::vector<double>& targets,
                   const EvalFile& file, const EvalFile* second, EntryUse* store,
                   std::vector<int32_t>* values) {
  auto batch = std::make_unique<PositionBatch>();
  const int n = static_cast<int>(positions.size());
  ResizeBatch(batch.get(), n);
  for (int i = 0; i < n; ++i) {
    batch->positions[i] = positions[i];
    batch->taken[i] = 1;
  }
  PrepareBatch(batch.get(), 0, n / 2);
  PrepareBatch(batch.get(), n / 2, n);
  GroupBatch(batch.get());
  for (auto job = batch->jobs.rbegin(); job != batch->jobs.rend(); ++job) {
    SumBatchSlab(batch.get(), *job, &file, second);
  }
  for (int i = 0; i < n; ++i) {
    const int32_t v[2] = {BatchFigures(*batch, i, 0).value,
                          second != nullptr ? BatchFigures(*batch, i, 1).value : 0};
    values->push_back(v[0]);
    if (second != nullptr) values->push_back(v[1]);
    batch->pulled[i] = targets[i] >= 0;
    for (int f = 0; f < store->pulls && batch->pulled[i]; ++f) {
      batch->prefix[f][2 * i + 1] = ResidualTowardUnits(v[f], targets[i], 600);
    }
    MarkBatchKkp(*batch, i, store);
  }
  std::string error;
  for (const SlabJob& job : batch->jobs) ASSERT_TRUE(AddBatchSlabReads(*batch, job, store, &error));
}

TEST(GamePassTest, ABatchOfPositionsGivesTheGamesFiguresAndStore) {
  const EvalFile file = RandomEvalFile(0);
  const EvalFile second = RandomEvalFile(8);
  auto games = std::make_unique<EntryUse>(false, 2);
  auto positions = std::make_unique<EntryUse>(false, 2);
  auto still = std::make_unique<EntryUse>(false, 1);
  std::string error;
  const GameResult results[] = {GameResult::kBlackWins, GameResult::kWhiteWins,
                                GameResult::kDraw};
  std::vector<Position> all;
  std::vector<double> targets;
  std::vector<int32_t> walked;
  for (uint32_t seed : {21u, 22u, 23u}) {
    const std::vector<RecordPly> plies = RandomGamePlies(90, seed);
    const GameResult result = results[seed - 21];
    const GameUse game_use{games.get(), result, 600};
    std::vector<PositionFigures> figures, second_figures;
    ASSERT_TRUE(EvaluateGame(plies, 0, file, &second, &figures, &second_figures, &game_use,
                             &error)) << error;
    for (size_t q = 0; q < plies.size(); ++q) {
      all.push_back(plies[q].position);
      targets.push_back(result == GameResult::kDraw        ? -1.0
                        : result == GameResult::kBlackWins ? 1.0
                                                           : 0.0);
      walked.push_back(figures[q].value);
      walked.push_back(second_figures[q].value);
    }
  }
  std::vector<int32_t> values;
  EvaluateBatch(all, targets, file, &second, positions.get(), &values);
  EXPECT_EQ(values, walked);
  std::string from_games, from_positions;
  EncodeEntryUse(*games, &from_games);
  EncodeEntryUse(*positions, &from_positions);
  EXPECT_TRUE(from_games == from_positions);
  // A slab of more sides than a job holds is cut into several jobs, and
  // each side is still summed once.
  std::vector<Position> crowded(all.begin(), all.begin() + 40);
  crowded.insert(crowded.end(), kSlabJobSides + 100, all[50]);
  auto crowded_use = std::make_unique<EntryUse>(false, 2);
  std::vector<int32_t> crowded_values;
  EvaluateBatch(crowded, std::vector<double>(crowded.size(), 1.0), file, &second,
                crowded_use.get(), &crowded_values);
  ASSERT_EQ(crowded_values.size(), 2 * crowded.size());
  EXPECT_TRUE(std::equal(walked.begin(), walked.begin() + 80, crowded_values.begin()));
  for (size_t i = 40; i < crowded.size(); ++i) {
    EXPECT_EQ(crowded_values[2 * i], walked[100]);
    EXPECT_EQ(crowded_values[2 * i + 1], walked[101]);
  }
  // Pulled toward the curve of its own value, a position pulls nothing.
  std::vector<double> own;
  for (size_t i = 0; i < all.size(); ++i) {
    own.push_back(1.0 / (1.0 + std::exp(-static_cast<double>(walked[2 * i]) / 600)));
  }
  values.clear();
  EvaluateBatch(all, own, file, nullptr, still.get(), &values);
  auto summary = std::make_unique<UseSummary>();
  SummarizeEntryUse(*still, file, nullptr, kByMagnitude, summary.get());
  EXPECT_GT(summary->kpp_read, 0);
  EXPECT_EQ(summary->pull.entries, 0);
}

}  // namespace
}  // namespace fvscope
