#include "eval/corpus/entry_use.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "eval/table/game_pass.h"
#include "test/random_games.h"

namespace fvscope {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// Feeds the games of seeds, won by black for odd seeds and by white for even.
void Feed(EntryUse* use, const std::vector<uint32_t>& seeds, int from_ply = 0) {
  const EvalFile file = RandomEvalFile(0);
  const EvalFile second = RandomEvalFile(1);
  for (uint32_t seed : seeds) {
    std::vector<PositionFigures> figures, second_figures;
    std::string error;
    const GameUse game_use{use, seed % 2 ? GameResult::kBlackWins : GameResult::kWhiteWins, 600};
    ASSERT_TRUE(EvaluateGame(RandomGamePlies(120, seed), from_ply, file, &second, &figures,
                             &second_figures, &game_use, &error))
        << error;
  }
}

std::string Empty(int pulls = 1) { return std::string("FVU2") + char(pulls) + std::string(2, '\0'); }

std::string Encoded(const EntryUse& use) {
  std::string bytes;
  EncodeEntryUse(use, &bytes);
  return bytes;
}

TEST(EntryUseTest, BytesRoundTripAndGrowWithTheEntriesRead) {
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  const std::string empty = Encoded(*use);
  EXPECT_EQ(empty, Empty());
  // The extremes of both tables, a count that needs five varint bytes and
  // the largest pulls.
  ASSERT_TRUE(AddEntryReads(use.get(), 0, {1, 0, {-(int64_t{1} << kPullBits), 0}}, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), kKppValues - 1,
                            {0, UINT32_MAX, {INT64_MAX / 2, 0}}, &error));
  ASSERT_TRUE(MarkKkpRead(use.get(), 0, &error));
  ASSERT_TRUE(MarkKkpRead(use.get(), kKkpValues - 1, &error));
  Feed(use.get(), {21, 22});
  const std::string bytes = Encoded(*use);
  const int64_t entries = CountUsedKppEntries(*use);
  EXPECT_LT(bytes.size(), static_cast<size_t>(entries) * 12 + 4 * CountReadKkpEntries(*use));

  auto back = std::make_unique<EntryUse>(false);
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error))
      << error;
  EXPECT_EQ(Encoded(*back), bytes);
  EXPECT_EQ(CountUsedKppEntries(*back), entries);
  // Decoding adds to what is there.
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error));
  bool doubled = true;
  std::vector<EntryReads> once, twice;
  ForEachUsedKppEntry(*use, [&](int64_t, const EntryReads& r) { once.push_back(r); });
  ForEachUsedKppEntry(*back, [&](int64_t, const EntryReads& r) { twice.push_back(r); });
  ASSERT_EQ(once.size(), twice.size());
  int64_t pulled = 0;
  for (size_t i = 0; i < once.size(); ++i) {
    const uint64_t b = std::min<uint64_t>(2ull * once[i].black, UINT32_MAX);
    const uint64_t w = std::min<uint64_t>(2ull * once[i].white, UINT32_MAX);
    doubled = doubled && twice[i].black == b && twice[i].white == w &&
              twice[i].pull[0] == 2 * once[i].pull[0] && twice[i].pull[1] == 0;
    pulled += once[i].pull[0] != 0;
  }
  EXPECT_TRUE(doubled) << "counts saturate at UINT32_MAX, others double";
  EXPECT_GT(pulled, entries / 2);
  // Encoding while dropping gives the same bytes and leaves the store empty.
  const std::string doubled_bytes = Encoded(*back);
  std::string dropped;
  EncodeAndDropEntryUse(back.get(), &dropped);
  EXPECT_EQ(dropped, doubled_bytes);
  EXPECT_EQ(Encoded(*back), empty);
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error));
  EXPECT_EQ(Encoded(*back), bytes);
}

// The byte form built by hand.
struct Bytes {
  std::string s = "FVU2\x01";
  Bytes& V(uint64_t v) {
    while (v >= 0x80) {
      s.push_back(static_cast<char>(v | 0x80));
      v >>= 7;
    }
    s.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& Raw(std::string_view raw) {
    s += raw;
    return *this;
  }
};

TEST(EntryUseTest, DecoderRefusesBadBytesAndAddsNothing) {
  struct Row {
    const char* name;
    std::string bytes;
    const char* message;
  };
  const std::string ten(9, '\x80');
  const Row rows[] = {
      {"empty", "", "no entry use tag"},
      {"short tag", "FVU", "no entry use tag"},
      {"an older tag", "FVU1\0\0"s, "no entry use tag"},
      {"no pull count", "FVU2", "truncated in the number of pulls"},
      {"three pulls", "FVU2\x03\0\0"s, "3 pulls per entry"},
      {"pulls this store does not keep", "FVU2\x02\0\0"s, "where this run keeps 1"},
      {"no KPP count", Bytes().s, "truncated in the number of KPP entries"},
      {"more entries than bytes", Bytes().V(2).V(1).V(1).V(1).V(0).s, "more than the bytes left"},
      {"more entries than the table", Bytes().V(kKppValues + 1).s, "more than the table has"},
      {"index past the table", Bytes().V(1).V(kKppValues).V(1).V(1).V(0).V(0).s, "KPP index past"},
      {"index past the table later",
       Bytes().V(2).V(5).V(1).V(1).V(0).V(kKppValues - 5).V(1).V(1).V(0).V(0).s, "KPP index past"},
      {"repeated index", Bytes().V(2).V(5).V(1).V(1).V(0).V(0).V(1).V(1).V(0).V(0).s, "repeated"},
      {"no reads", Bytes().V(1).V(5).V(0).V(0).V(0).V(0).s, "no reads"},
      {"count above 32 bits", Bytes().V(1).V(5).V(1ull << 32).V(0).V(0).V(0).s, "above 4294967295"},
      {"pull beyond its reads", Bytes().V(1).V(5).V(1).V(1).V(((2ull << kPullBits) + 1) * 2).V(0).s,
       "a pull larger than its reads allow"},
      {"padded varint", Bytes().V(1).V(5).Raw("\x81\x00"sv).V(0).V(0).V(0).s, "overlong varint"},
      {"eleven-byte varint", Bytes().V(1).V(5).V(1).Raw(ten + "\x81\x01").V(0).s,
       "overlong varint"},
      {"varint past 64 bits", Bytes().V(1).V(5).V(1).Raw(ten + "\x02").V(0).s, "overlong varint"},
      {"truncated varint", Bytes().V(1).V(5).V(1).V(1).Raw("\x80").s, "truncated in a pull"},
      {"no KKP count", Bytes().V(1).V(5).V(1).V(1).V(0).s, "truncated in the number of KKP"},
      {"KKP past the table", Bytes().V(0).V(1).V(kKkpValues).s, "KKP index past"},
      {"KKP repeated", Bytes().V(0).V(2).V(3).V(0).s, "KKP index 3 repeated"},
      {"too many KKP", Bytes().V(0).V(kKkpValues + 1).s, "more than the table has"},
      {"bytes after the end", Bytes().V(1).V(5).V(1).V(1).V(0).V(0).Raw("x").s, "1 bytes after"},
  };
  for (const Row& row : rows) {
    auto use = std::make_unique<EntryUse>(false);
    std::string error;
    EXPECT_FALSE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(row.bytes.data()),
                                row.bytes.size(), use.get(), &error))
        << row.name;
    EXPECT_NE(error.find(row.message), std::string::npos) << row.name << ": " << error;
    EXPECT_EQ(Encoded(*use), Empty()) << row.name << ": something was added";
  }
  // The same rows' good neighbours pass.
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  // A pull of exactly its reads, either way.
  const std::string good = Bytes().V(2).V(5).V(1).V(0).V((1ull << kPullBits) * 2).V(kKppValues - 6)
                               .V(0).V(7).V((7ull << kPullBits) * 2 - 1).V(2).V(0).V(kKkpValues - 1).s;
  EXPECT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(good.data()), good.size(),
                             use.get(), &error))
      << error;
  EXPECT_EQ(Encoded(*use), good);
}

TEST(EntryUseTest, OutOfRangeAddsAreRefused) {
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  const KppRead outside[] = {{1, 0}, {static_cast<uint32_t>(kKppTriangleValues), 0}, {2, 2}};
  const StayEnd end{1, {}};
  EXPECT_FALSE(AddKppReads(use.get(), kBlack, 3, outside, 2, end, &error));
  EXPECT_NE(error.find("outside a triangle"), std::string::npos) << error;
  EXPECT_FALSE(AddKppReads(use.get(), kBlack, 3, outside + 2, 1, end, &error));
  EXPECT_NE(error.find("starts at ply 2, after its end at ply 1"), std::string::npos) << error;
  EXPECT_FALSE(AddKppReads(use.get(), kWhite, 81, outside, 1, end, &error));
  EXPECT_FALSE(AddKppReads(use.get(), kWhite, -1, outside, 1, end, &error));
  EXPECT_FALSE(AddEntryReads(use.get(), -1, {1, 1, {}}, &error));
  EXPECT_FALSE(AddEntryReads(use.get(), kKppValues, {1, 1, {}}, &error));
  EXPECT_FALSE(MarkKkpRead(use.get(), -1, &error));
  EXPECT_FALSE(MarkKkpRead(use.get(), kKkpValues, &error));
  EXPECT_NE(error.find("KKP entry 4842018 is outside"), std::string::npos) << error;
}

TEST(EntryUseTest, MergedAndThreadedStoresEqualOneStoreFedEveryGame) {
  const std::vector<uint32_t> first = {31, 32}, second = {33, 34};
  auto one = std::make_unique<EntryUse>(false, 2);
  Feed(one.get(), {31, 32, 33, 34}, 9);
  EXPECT_EQ(Encoded(*one).substr(0, 5), "FVU2\x02");
  auto a = std::make_unique<EntryUse>(false, 2), b = std::make_unique<EntryUse>(false, 2);
  Feed(a.get(), first, 9);
  Feed(b.get(), second, 9);
  std::string error;
  ASSERT_TRUE(MergeEntryUse(a.get(), *b, &error)) << error;
  EXPECT_EQ(Encoded(*a), Encoded(*one));

  auto shared = std::make_unique<EntryUse>(false, 2);
  std::thread t1([&] { Feed(shared.get(), first, 9); });
  std::thread t2([&] { Feed(shared.get(), second, 9); });
  t1.join();
  t2.join();
  EXPECT_EQ(Encoded(*shared), Encoded(*one));
}

// Stays of one side at one king square drawn at random, with their reads
// summed by hand into *expected, entry by entry.
struct Stays {
  std::vector<KppRead> reads;
  std::vector<int64_t> prefix[kMaxPulls];  // residuals summed, ply by ply
  uint32_t end;
};

Stays DrawStays(int n, uint32_t plies, uint32_t seed, int k, Side side,
                std::map<int64_t, EntryReads>* expected, uint32_t spread = kKppTriangleValues) {
  std::mt19937 random(seed);
  Stays stays;
  stays.end = plies;
  for (std::vector<int64_t>& prefix : stays.prefix) {
    prefix.assign(plies + 1, 0);
    for (uint32_t p = 0; p < plies; ++p) {
      prefix[p + 1] = prefix[p] + static_cast<int64_t>(random() % (2 << kPullBits)) -
                      (int64_t{1} << kPullBits);
    }
  }
  const int64_t sign = side == kBlack ? 1 : -1;
  for (int i = 0; i < n; ++i) {
    // A few entries read again and again (their counts outgrow a cell),
    // the triangle's last entry, and entries anywhere below spread.
    const uint32_t pick = random() % 8;
    const uint32_t offset = pick < 3   ? pick
                            : pick < 4 ? static_cast<uint32_t>(kKppTriangleValues - 1)
                                       : static_cast<uint32_t>(random() % spread);
    const uint32_t since = random() % (plies + 1);
    stays.reads.push_back({offset, since});
    EntryReads& e = (*expected)[k * kKppTriangleValues + offset];
    (side == kBlack ? e.black : e.white) += plies - since;
    for (int f = 0; f < kMaxPulls; ++f) {
      e.pull[f] += sign * (stays.prefix[f][plies] - stays.prefix[f][since]);
    }
  }
  return stays;
}

// The bytes of a store given each entry's reads directly.
std::string ExpectedBytes(const std::map<int64_t, EntryReads>& expected, int pulls) {
  auto use = std::make_unique<EntryUse>(false, pulls);
  std::string error;
  for (const auto& [index, reads] : expected) {
    EXPECT_TRUE(AddEntryReads(use.get(), index, reads, &error)) << error;
  }
  return Encoded(*use);
}

bool AddStays(EntryUse* use, Side side, int k, const Stays& stays, int from, int count) {
  std::string error;
  const StayEnd end{stays.end, {stays.prefix[0].data(), stays.prefix[1].data()}};
  return AddKppReads(use, side, k, stays.reads.data() + from, count, end, &error);
}

TEST(EntryUseTest, ReadsPastABufferEqualTheirSumsAddedDirectly) {
  // One call of more than two buffers' reads, then calls of a few each;
  // the stays' lengths take counts past a cell's 16 bits.
  for (int pulls : {1, 2}) {
    std::map<int64_t, EntryReads> expected;
    const Stays black = DrawStays(2 * kPendingReads + 7, 300, 1, 40, kBlack, &expected);
    const Stays white = DrawStays(kPendingReads / 2, 300, 2, 40, kWhite, &expected);
    auto use = std::make_unique<EntryUse>(false, pulls);
    ASSERT_TRUE(AddStays(use.get(), kBlack, 40, black, 0, static_cast<int>(black.reads.size())));
    for (size_t i = 0; i < white.reads.size(); i += 97) {
      const int count = static_cast<int>(std::min<size_t>(97, white.reads.size() - i));
      ASSERT_TRUE(AddStays(use.get(), kWhite, 40, white, static_cast<int>(i), count));
    }
    if (pulls == 1) {
      for (auto& [index, reads] : expected) reads.pull[1] = 0;
    }
    const std::string bytes = ExpectedBytes(expected, pulls);
    EXPECT_GT(expected.begin()->second.black, uint32_t{UINT16_MAX});
    EXPECT_EQ(Encoded(*use), bytes) << pulls << " pulls";
    // Merging and encoding read what still waits in the buffers.
    auto more = std::make_unique<EntryUse>(false, pulls);
    ASSERT_TRUE(AddStays(more.get(), kBlack, 40, black, 0, 5));
    auto merged = std::make_unique<EntryUse>(false, pulls);
    std::string error;
    ASSERT_TRUE(MergeEntryUse(merged.get(), *more, &error)) << error;
    EXPECT_EQ(Encoded(*merged), Encoded(*more));
    std::string dropped;
    EncodeAndDropEntryUse(more.get(), &dropped);
    EXPECT_EQ(dropped, Encoded(*merged));
    // Clearing drops the reads still waiting.
    ASSERT_TRUE(AddStays(use.get(), kBlack, 40, black, 0, 5));
    ClearEntryUse(use.get());
    EXPECT_EQ(Encoded(*use), Empty(pulls));
  }
}

TEST(EntryUseTest, EveryKingSquareFedFromTwoThreadsEqualsTheSums) {
  std::map<int64_t, EntryReads> expected;
  std::vector<Stays> stays;
  for (int k = 0; k < kSquares; ++k) {
    for (Side side : kSides) {
      stays.push_back(DrawStays(600, 40, 100 + 2 * k + side, k, side, &expected, 1 << 14));
    }
  }
  auto use = std::make_unique<EntryUse>(false, 2);
  auto feed = [&](int parity) {
    for (size_t i = parity; i < stays.size(); i += 2) {
      EXPECT_TRUE(AddStays(use.get(), kSides[i % 2], static_cast<int>(i / 2), stays[i], 0,
                           static_cast<int>(stays[i].reads.size())));
    }
  };
  std::thread t1(feed, 0), t2(feed, 1);
  t1.join();
  t2.join();
  EXPECT_EQ(Encoded(*use), ExpectedBytes(expected, 2));
  int squares = 0;
  std::vector<std::pair<uint32_t, SpilledReads>> spills;
  for (int k = 0; k < kSquares; ++k) {
    int64_t first = -1;
    ForEachUsedKppEntryOf(*use, k, [&](int64_t index, const EntryReads&) {
      if (first < 0) first = index;
    }, &spills);
    squares += first == k * kKppTriangleValues;
  }
  EXPECT_EQ(squares, kSquares);
}

// Lists of features added band by band give the store their pairs added as
// stays of one ply through the buffer: counts and pulls past a cell's
// width included, and a pull too large for a cell.
TEST(EntryUseTest, FeatureListsEqualTheirPairsAddedOneByOne) {
  std::mt19937 random(33);
  std::vector<std::vector<int16_t>> features;
  std::vector<FeatureListReads> lists;
  for (int l = 0; l < 400; ++l) {
    std::vector<int16_t> list;
    for (int f = static_cast<int>(random() % 40); f < kKppFeatures && list.size() < 38;
         f += 1 + static_cast<int>(random() % 80)) {
      list.push_back(static_cast<int16_t>(f));
    }
    features.push_back(list);
  }
  // 70,000 reads of one entry that pull nothing, past 16 bits of reads;
  // 3,000 of another each pulling a full unit, past 32 bits of pull.
  for (int l = 0; l < 70000; ++l) features.push_back({1000});
  for (int l = 0; l < 3000; ++l) features.push_back({1200});
  for (size_t l = 0; l < features.size(); ++l) {
    const int64_t pull = l == 7                                ? int64_t{1} << 40
                         : l >= 70400                          ? int64_t{1} << kPullBits
                         : l >= 400                            ? 0
                                                               : static_cast<int64_t>(random() % 2001) - 1000;
    lists.push_back({features[l].data(), static_cast<int>(features[l].size()),
                     l % 3 == 0 && l < 400 ? kWhite : kBlack, {pull, -3 * pull}});
  }
  auto direct = std::make_unique<EntryUse>(false, 2), buffered = std::make_unique<EntryUse>(false, 2);
  std::string error;
  ASSERT_TRUE(AddFeaturePairReads(direct.get(), 40, lists.data(), 200, &error)) << error;
  ASSERT_TRUE(AddFeaturePairReads(direct.get(), 40, lists.data() + 200,
                                  static_cast<int>(lists.size()) - 200, &error)) << error;
  // Each list a stay of one ply, its residual the step of its prefix sums.
  for (const FeatureListReads& list : lists) {
    std::vector<KppRead> reads;
    for (int a = 0; a < list.count; ++a) {
      for (int b = 0; b <= a; ++b) {
        reads.push_back({static_cast<uint32_t>(TriangleIndex(list.features[a], list.features[b])), 0});
      }
    }
    const int64_t prefix[kMaxPulls][2] = {{0, list.residual[0]}, {0, list.residual[1]}};
    ASSERT_TRUE(AddKppReads(buffered.get(), list.side, 40, reads.data(),
                            static_cast<int>(reads.size()), StayEnd{1, {prefix[0], prefix[1]}},
                            &error));
  }
  const std::string bytes = Encoded(*direct);
  EXPECT_TRUE(bytes == Encoded(*buffered));

  // Lists that are not ascending, or reach past the features, add nothing.
  const int16_t backwards[2] = {9, 3};
  const int16_t beyond[2] = {7, kKppFeatures};
  for (const FeatureListReads& bad :
       {FeatureListReads{backwards, 2, kBlack, {1, 1}}, FeatureListReads{beyond, 2, kBlack, {1, 1}}}) {
    const FeatureListReads two[2] = {lists[0], bad};
    EXPECT_FALSE(AddFeaturePairReads(direct.get(), 40, two, 2, &error));
    EXPECT_NE(error.find("not ascending"), std::string::npos) << error;
    EXPECT_TRUE(Encoded(*direct) == bytes);
  }
  EXPECT_FALSE(AddFeaturePairReads(direct.get(), 81, lists.data(), 1, &error));
}

TEST(EntryUseTest, KppEntryOfInvertsTheIndex) {
  for (int k : {0, 40, 80}) {
    for (int hi : {0, 1, 2, 89, 90, 1000, kKppFeatures - 1}) {
      for (int lo : {0, hi / 2, hi}) {
        int k2, hi2, lo2;
        KppEntryOf(k * kKppTriangleValues + TriangleIndex(hi, lo), &k2, &hi2, &lo2);
        EXPECT_EQ(k2, k);
        EXPECT_EQ(hi2, hi);
        EXPECT_EQ(lo2, lo);
      }
    }
  }
}

// Every entry read with its contribution (or, with pull set, its pull),
// sorted by the ranking's order.
std::vector<UseRankEntry> FullRanking(const EntryUse& use, const EvalFile& file,
                                      const EvalFile* after, SortMode mode, bool pull = false) {
  std::vector<UseRankEntry> all;
  ForEachUsedKppEntry(use, [&](int64_t index, const EntryReads& r) {
    const int16_t before = file.values[index];
    const int16_t later = after != nullptr ? after->values[index] : before;
    const int64_t weight = after != nullptr ? later - before : before;
    int64_t contribution = weight * (int64_t{r.black} - int64_t{r.white});
    if (pull) contribution = r.pull[0];
    if (contribution != 0) {
      all.push_back({contribution, index, r.black, r.white, before, pull ? before : later, 0, 0, 0, 0, 0, false});
    }
  });
  std::sort(all.begin(), all.end(), [mode](const UseRankEntry& a, const UseRankEntry& b) {
    return UseRankPrecedes(a, b, mode);
  });
  return all;
}

TEST(EntryUseTest, RankingIsTheTopOfAllContributionsInEachOrder) {
  const EvalFile file = RandomEvalFile(0);
  const EvalFile after = RandomEvalFile(5);
  auto use = std::make_unique<EntryUse>(false);
  Feed(use.get(), {41, 42});
  std::string error;
  // Entries read by one side only, and one read alike by both (left out).
  const int64_t base = 70 * kKppTriangleValues;
  ASSERT_TRUE(AddEntryReads(use.get(), base + 10, {200000, 0, {}}, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), base + 11, {0, 200000, {}}, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), base + 12, {7, 7, {}}, &error));  // balanced: left out
  auto summary = std::make_unique<UseSummary>();
  for (int kind = 0; kind < 3; ++kind) {
    const EvalFile* second = kind == 1 ? &after : nullptr;
    for (SortMode mode : {kByMagnitude, kMostPositiveFirst, kMostNegativeFirst}) {
      SCOPED_TRACE(std::string(kind == 0 ? "contribution" : kind == 1 ? "change" : "pull") +
                   " mode " + std::to_string(mode));
      const std::vector<UseRankEntry> all = FullRanking(*use, file, second, mode, kind == 2);
      SummarizeEntryUse(*use, file, second, mode, summary.get());
      const UseRanking* ranking = kind == 0   ? &summary->ranking
                                  : kind == 1 ? &summary->changes
                                              : &summary->pull.ranking;
      ASSERT_EQ(ranking->count, kRankingLength);
      for (int r = 0; r < ranking->count; ++r) {
        const UseRankEntry& got = ranking->entries[r];
        EXPECT_EQ(got.index, all[r].index) << "rank " << r + 1;
        EXPECT_EQ(got.contribution, all[r].contribution) << "rank " << r + 1;
        EXPECT_EQ(got.black_reads, all[r].black_reads);
        EXPECT_EQ(got.white_reads, all[r].white_reads);
        EXPECT_EQ(got.value, all[r].value);
        EXPECT_EQ(got.after, all[r].after);
        EXPECT_EQ(got.king_square * kKppTriangleValues + TriangleIndex(got.hi, got.lo), got.index);
        EXPECT_NE(got.contribution, 0);
      }
    }
  }
  // A ranking of fewer entries than its length.
  auto few = std::make_unique<EntryUse>(false);
  ASSERT_TRUE(AddEntryReads(few.get(), base + 10, {3, 0, {}}, &error));
  ASSERT_TRUE(AddEntryReads(few.get(), base + 11, {0, 3, {}}, &error));
  ASSERT_TRUE(AddEntryReads(few.get(), base + 12, {4, 4, {}}, &error));
  const EvalFile same = file;
  SummarizeEntryUse(*few, file, &same, kByMagnitude, summary.get());
  EXPECT_EQ(summary->changes.count, 0) << "no entry changed";
  EXPECT_EQ(summary->pull.ranking.count, 0) << "no entry pulled";
  SummarizeEntryUse(*few, file, nullptr, kMostPositiveFirst, summary.get());
  const int nonzero = (file.values[base + 10] != 0) + (file.values[base + 11] != 0);
  EXPECT_EQ(summary->ranking.count, nonzero);
  EXPECT_EQ(summary->kpp_read, 3);
  EXPECT_EQ(summary->per_king_square[70], 3);

  // Equal contributions go by index ascending.
  int64_t x = -1, y = -1;
  for (int64_t i = base + 100; i < base + 5000 && y < 0; ++i) {
    for (int64_t j = base + 100; j < i && y < 0; ++j) {
      if (file.values[i] == file.values[j] && file.values[i] != 0) x = j, y = i;
    }
  }
  ASSERT_GE(y, 0);
  auto tie = std::make_unique<EntryUse>(false);
  ASSERT_TRUE(AddEntryReads(tie.get(), y, {5, 1, {}}, &error));
  ASSERT_TRUE(AddEntryReads(tie.get(), x, {4, 0, {}}, &error));
  for (SortMode mode : {kByMagnitude, kMostPositiveFirst, kMostNegativeFirst}) {
    SummarizeEntryUse(*tie, file, nullptr, mode, summary.get());
    const UseRanking* ranking = &summary->ranking;
    ASSERT_EQ(ranking->count, 2);
    EXPECT_EQ(ranking->entries[0].index, x) << "mode " << mode;
    EXPECT_EQ(ranking->entries[1].index, y) << "mode " << mode;
  }
}

}  // namespace
}  // namespace fvscope
