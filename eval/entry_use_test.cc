#include "eval/entry_use.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "eval/game_pass.h"
#include "test/random_games.h"

namespace fvscope {
namespace {

using namespace std::string_view_literals;

void Feed(EntryUse* use, const std::vector<uint32_t>& seeds, int from_ply = 0) {
  const EvalFile file = RandomEvalFile(0);
  for (uint32_t seed : seeds) {
    std::vector<PositionFigures> figures;
    std::string error;
    ASSERT_TRUE(EvaluateGame(RandomGamePlies(120, seed), from_ply, file, nullptr, &figures,
                             nullptr, use, &error))
        << error;
  }
}

std::string Encoded(const EntryUse& use) {
  std::string bytes;
  EncodeEntryUse(use, &bytes);
  return bytes;
}

TEST(EntryUseTest, BytesRoundTripAndGrowWithTheEntriesRead) {
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  const std::string empty = Encoded(*use);
  EXPECT_EQ(empty, std::string("FVU1\0\0", 6));
  // The extremes of both tables and a count that needs five varint bytes.
  ASSERT_TRUE(AddEntryReads(use.get(), 0, 1, 0, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), kKppValues - 1, 0, UINT32_MAX, &error));
  ASSERT_TRUE(MarkKkpRead(use.get(), 0, &error));
  ASSERT_TRUE(MarkKkpRead(use.get(), kKkpValues - 1, &error));
  Feed(use.get(), {21, 22});
  const std::string bytes = Encoded(*use);
  const int64_t entries = CountUsedKppEntries(*use, nullptr);
  EXPECT_LT(bytes.size(), static_cast<size_t>(entries) * 8 + 4 * CountReadKkpEntries(*use));

  auto back = std::make_unique<EntryUse>(false);
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error))
      << error;
  EXPECT_EQ(Encoded(*back), bytes);
  EXPECT_EQ(CountUsedKppEntries(*back, nullptr), entries);
  // Decoding adds to what is there.
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error));
  bool doubled = true;
  std::vector<std::pair<uint32_t, uint32_t>> once, twice;
  ForEachUsedKppEntry(*use, [&](int64_t, uint32_t b, uint32_t w) { once.push_back({b, w}); });
  ForEachUsedKppEntry(*back, [&](int64_t, uint32_t b, uint32_t w) { twice.push_back({b, w}); });
  ASSERT_EQ(once.size(), twice.size());
  for (size_t i = 0; i < once.size(); ++i) {
    const uint64_t b = std::min<uint64_t>(2ull * once[i].first, UINT32_MAX);
    const uint64_t w = std::min<uint64_t>(2ull * once[i].second, UINT32_MAX);
    doubled = doubled && twice[i].first == b && twice[i].second == w;
  }
  EXPECT_TRUE(doubled) << "counts saturate at UINT32_MAX, others double";
  ClearEntryUse(back.get());
  EXPECT_EQ(Encoded(*back), empty);
  ASSERT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             back.get(), &error));
  EXPECT_EQ(Encoded(*back), bytes);
}

// The byte form built by hand.
struct Bytes {
  std::string s = "FVU1";
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
      {"wrong tag", "FVU2\0\0", "no entry use tag"},
      {"no KPP count", Bytes().s, "truncated in the number of KPP entries"},
      {"more entries than bytes", Bytes().V(2).V(1).V(1).V(1).s, "more than the bytes left"},
      {"more entries than the table", Bytes().V(kKppValues + 1).s, "more than the table has"},
      {"index past the table", Bytes().V(1).V(kKppValues).V(1).V(1).V(0).s, "KPP index past"},
      {"index past the table later", Bytes().V(2).V(5).V(1).V(1).V(kKppValues - 5).V(1).V(1).V(0).s,
       "KPP index past"},
      {"repeated index", Bytes().V(2).V(5).V(1).V(1).V(0).V(1).V(1).V(0).s, "repeated"},
      {"no reads", Bytes().V(1).V(5).V(0).V(0).V(0).s, "no reads"},
      {"count above 32 bits", Bytes().V(1).V(5).V(1ull << 32).V(0).V(0).s, "above 4294967295"},
      {"padded varint", Bytes().V(1).V(5).Raw("\x81\x00"sv).V(0).V(0).s, "overlong varint"},
      {"eleven-byte varint", Bytes().V(1).V(5).V(1).Raw(ten + "\x81\x01").V(0).s,
       "overlong varint"},
      {"varint past 64 bits", Bytes().V(1).V(5).V(1).Raw(ten + "\x02").V(0).s, "overlong varint"},
      {"truncated varint", Bytes().V(1).V(5).V(1).Raw("\x80").s, "truncated in a white count"},
      {"no KKP count", Bytes().V(1).V(5).V(1).V(1).s, "truncated in the number of KKP"},
      {"KKP past the table", Bytes().V(0).V(1).V(kKkpValues).s, "KKP index past"},
      {"KKP repeated", Bytes().V(0).V(2).V(3).V(0).s, "KKP index 3 repeated"},
      {"too many KKP", Bytes().V(0).V(kKkpValues + 1).s, "more than the table has"},
      {"bytes after the end", Bytes().V(1).V(5).V(1).V(1).V(0).Raw("x").s, "1 bytes after"},
  };
  for (const Row& row : rows) {
    auto use = std::make_unique<EntryUse>(false);
    std::string error;
    EXPECT_FALSE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(row.bytes.data()),
                                row.bytes.size(), use.get(), &error))
        << row.name;
    EXPECT_NE(error.find(row.message), std::string::npos) << row.name << ": " << error;
    EXPECT_EQ(Encoded(*use), std::string("FVU1\0\0", 6)) << row.name << ": something was added";
  }
  // The same rows' good neighbours pass.
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  const std::string good = Bytes().V(2).V(5).V(1).V(0).V(kKppValues - 6).V(0).V(7).V(2).V(0).V(kKkpValues - 1).s;
  EXPECT_TRUE(DecodeEntryUse(reinterpret_cast<const uint8_t*>(good.data()), good.size(),
                             use.get(), &error))
      << error;
  EXPECT_EQ(Encoded(*use), good);
}

TEST(EntryUseTest, OutOfRangeAddsAreRefused) {
  auto use = std::make_unique<EntryUse>(false);
  std::string error;
  const KppRead outside[] = {{1, 1}, {static_cast<uint32_t>(kKppTriangleValues), 1}};
  EXPECT_FALSE(AddKppReads(use.get(), kBlack, 3, outside, 2, &error));
  EXPECT_NE(error.find("outside a triangle"), std::string::npos) << error;
  EXPECT_FALSE(AddKppReads(use.get(), kWhite, 81, outside, 1, &error));
  EXPECT_FALSE(AddKppReads(use.get(), kWhite, -1, outside, 1, &error));
  EXPECT_FALSE(AddEntryReads(use.get(), -1, 1, 1, &error));
  EXPECT_FALSE(AddEntryReads(use.get(), kKppValues, 1, 1, &error));
  EXPECT_FALSE(AddEntryReads(use.get(), 5, uint64_t{UINT32_MAX} + 1, 0, &error));
  EXPECT_FALSE(MarkKkpRead(use.get(), -1, &error));
  EXPECT_FALSE(MarkKkpRead(use.get(), kKkpValues, &error));
  EXPECT_NE(error.find("KKP entry 4842018 is outside"), std::string::npos) << error;
}

TEST(EntryUseTest, MergedAndThreadedStoresEqualOneStoreFedEveryGame) {
  const std::vector<uint32_t> first = {31, 32}, second = {33, 34};
  auto one = std::make_unique<EntryUse>(false);
  Feed(one.get(), {31, 32, 33, 34}, 9);
  auto a = std::make_unique<EntryUse>(false), b = std::make_unique<EntryUse>(false);
  Feed(a.get(), first, 9);
  Feed(b.get(), second, 9);
  std::string error;
  ASSERT_TRUE(MergeEntryUse(a.get(), *b, &error)) << error;
  EXPECT_EQ(Encoded(*a), Encoded(*one));

  auto shared = std::make_unique<EntryUse>(false);
  std::thread t1([&] { Feed(shared.get(), first, 9); });
  std::thread t2([&] { Feed(shared.get(), second, 9); });
  t1.join();
  t2.join();
  EXPECT_EQ(Encoded(*shared), Encoded(*one));
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

// Every entry read with its contribution, sorted by the ranking's order.
std::vector<UseRankEntry> FullRanking(const EntryUse& use, const EvalFile& file,
                                      const EvalFile* after, SortMode mode) {
  std::vector<UseRankEntry> all;
  ForEachUsedKppEntry(use, [&](int64_t index, uint32_t black, uint32_t white) {
    const int16_t before = file.values[index];
    const int16_t later = after != nullptr ? after->values[index] : before;
    const int64_t weight = after != nullptr ? later - before : before;
    const int64_t contribution = weight * (int64_t{black} - int64_t{white});
    if (contribution != 0) all.push_back({contribution, index, black, white, before, later, 0, 0, 0});
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
  ASSERT_TRUE(AddEntryReads(use.get(), base + 10, 200000, 0, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), base + 11, 0, 200000, &error));
  ASSERT_TRUE(AddEntryReads(use.get(), base + 12, 7, 7, &error));  // balanced: left out
  for (const EvalFile* second : {static_cast<const EvalFile*>(nullptr), &after}) {
    for (SortMode mode : {kByMagnitude, kMostPositiveFirst, kMostNegativeFirst}) {
      SCOPED_TRACE(std::string(second ? "change" : "contribution") + " mode " +
                   std::to_string(mode));
      const std::vector<UseRankEntry> all = FullRanking(*use, file, second, mode);
      auto ranking = std::make_unique<UseRanking>();
      RankEntryUse(*use, file, second, mode, ranking.get());
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
  ASSERT_TRUE(AddEntryReads(few.get(), base + 10, 3, 0, &error));
  ASSERT_TRUE(AddEntryReads(few.get(), base + 11, 0, 3, &error));
  ASSERT_TRUE(AddEntryReads(few.get(), base + 12, 4, 4, &error));
  const EvalFile same = file;
  auto ranking = std::make_unique<UseRanking>();
  RankEntryUse(*few, file, &same, kByMagnitude, ranking.get());
  EXPECT_EQ(ranking->count, 0) << "no entry changed";
  RankEntryUse(*few, file, nullptr, kMostPositiveFirst, ranking.get());
  const int nonzero = (file.values[base + 10] != 0) + (file.values[base + 11] != 0);
  EXPECT_EQ(ranking->count, nonzero);

  // Equal contributions go by index ascending.
  int64_t x = -1, y = -1;
  for (int64_t i = base + 100; i < base + 5000 && y < 0; ++i) {
    for (int64_t j = base + 100; j < i && y < 0; ++j) {
      if (file.values[i] == file.values[j] && file.values[i] != 0) x = j, y = i;
    }
  }
  ASSERT_GE(y, 0);
  auto tie = std::make_unique<EntryUse>(false);
  ASSERT_TRUE(AddEntryReads(tie.get(), y, 5, 1, &error));
  ASSERT_TRUE(AddEntryReads(tie.get(), x, 4, 0, &error));
  for (SortMode mode : {kByMagnitude, kMostPositiveFirst, kMostNegativeFirst}) {
    RankEntryUse(*tie, file, nullptr, mode, ranking.get());
    ASSERT_EQ(ranking->count, 2);
    EXPECT_EQ(ranking->entries[0].index, x) << "mode " << mode;
    EXPECT_EQ(ranking->entries[1].index, y) << "mode " << mode;
  }
}

}  // namespace
}  // namespace fvscope
