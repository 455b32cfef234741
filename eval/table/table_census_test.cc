#include "eval/table/table_census.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "test/eval_files.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

using Values = std::vector<std::pair<int64_t, int16_t>>;

std::string Write(const std::string& path, const Values& values, int64_t size = kEvalFileBytes) {
  WriteEvalFile(path, values, size);
  return path;
}

void Census(const std::string& path, const std::string* after, int threads, TableCensus* census) {
  std::string error;
  EXPECT_TRUE(TakeCensus(path.c_str(), after != nullptr ? after->c_str() : nullptr, threads,
                         census, &error))
      << error;
}

void ExpectCounts(const CensusCounts& c, int64_t entries, int64_t nonzero, int64_t sum,
                  int32_t largest, int64_t saturated, const char* what) {
  EXPECT_EQ(c.entries, entries) << what;
  EXPECT_EQ(c.nonzero, nonzero) << what;
  EXPECT_EQ(c.magnitude_sum, sum) << what;
  EXPECT_EQ(c.largest, largest) << what;
  EXPECT_EQ(c.saturated, saturated) << what;
}

// Square 0 holds 5, -7 and a saturated 32767; square 1 is all zero; square
// 40 holds -32768 on a diagonal and 2000; square 80's last value is -1. KKP
// square 2 holds 100 and -32768, square 80 its very last value 9.
const Values kKnown = {
    {KppOffset(0, 0, 0), 5},         {KppOffset(0, 1475, 3), -7},
    {KppOffset(0, 700, 700), 32767}, {KppOffset(40, 733, 733), -32768},
    {KppOffset(40, 90, 89), 2000},   {KppOffset(80, 1475, 1475), -1},
    {KkpOffset(2, 0, 0), 100},       {KkpOffset(2, 80, 737), -32768},
    {KkpOffset(80, 80, 737), 9},
};

TEST(TakeCensus, KnownEntriesPerKingSquareAndInTotal) {
  ScratchDir dir;
  const std::string file = Write(dir.File("fv.bin"), kKnown);
  auto census = std::make_unique<TableCensus>();
  Census(file, nullptr, 2, census.get());
  EXPECT_FALSE(census->compared);
  ExpectCounts(census->kpp[0], kCensusKppEntries, 3, 32779, 32767, 1, "kpp 0");
  ExpectCounts(census->kpp[1], kCensusKppEntries, 0, 0, 0, 0, "kpp 1");
  ExpectCounts(census->kpp[40], kCensusKppEntries, 2, 34768, 32768, 1, "kpp 40");
  ExpectCounts(census->kpp[80], kCensusKppEntries, 1, 1, 1, 0, "kpp 80");
  ExpectCounts(census->kkp[2], kCensusKkpEntries, 2, 32868, 32768, 1, "kkp 2");
  ExpectCounts(census->kkp[80], kCensusKkpEntries, 1, 9, 9, 0, "kkp 80");
  ExpectCounts(census->kkp[0], kCensusKkpEntries, 0, 0, 0, 0, "kkp 0");
  ExpectCounts(census->kpp_total, 81 * kCensusKppEntries, 6, 32779 + 34768 + 1, 32768, 2,
               "kpp total");
  ExpectCounts(census->kkp_total, 81 * kCensusKkpEntries, 3, 32877, 32768, 1, "kkp total");
  EXPECT_DOUBLE_EQ(CensusMean(census->kkp[2]), 32868.0 / 59778);
  EXPECT_EQ(census->kpp_change_total.changed, 0);
  EXPECT_EQ(census->kpp_after_total.entries, 0);
}

TEST(TakeCensus, AnyThreadCountCountsTheSame) {
  ScratchDir dir;
  const std::string file = Write(dir.File("fv.bin"), kKnown);
  auto one = std::make_unique<TableCensus>();
  auto many = std::make_unique<TableCensus>();
  Census(file, &file, 1, one.get());
  for (int threads : {2, 7, 500}) {
    Census(file, &file, threads, many.get());
    for (int k = 0; k < kSquares; ++k) {
      ASSERT_EQ(many->kpp[k].magnitude_sum, one->kpp[k].magnitude_sum) << threads << " " << k;
      ASSERT_EQ(many->kkp[k].nonzero, one->kkp[k].nonzero) << threads << " " << k;
    }
    EXPECT_EQ(many->kpp_total.magnitude_sum, one->kpp_total.magnitude_sum);
    EXPECT_EQ(many->kkp_after_total.saturated, 1);
  }
}

TEST(TakeCensus, AShortFileCountsItsMissingValuesAsZero) {
  ScratchDir dir;
  // 101 bytes: 50 values of square 0's triangle and an odd byte.
  const std::string file = Write(dir.File("short.bin"), {{0, -4}, {98, 3}}, 101);
  auto census = std::make_unique<TableCensus>();
  Census(file, nullptr, 2, census.get());
  ExpectCounts(census->kpp[0], kCensusKppEntries, 2, 7, 4, 0, "kpp 0");
  ExpectCounts(census->kpp_total, 81 * kCensusKppEntries, 2, 7, 4, 0, "kpp total");
  ExpectCounts(census->kkp_total, 81 * kCensusKkpEntries, 0, 0, 0, 0, "kkp total");
}

TEST(TakeCensus, ComparedFilesCountChangesAndTheSecondFilesFigures) {
  ScratchDir dir;
  const std::string before = Write(dir.File("a.bin"), kKnown);
  Values changed = kKnown;
  changed[0].second = 15;                            // kpp 0: +10
  changed[3].second = 32767;                         // kpp 40: 65535 apart
  changed.push_back({KkpOffset(3, 4, 5), -6});       // kkp 3: new
  changed.push_back({KppOffset(1, 1000, 999), 1});   // kpp 1: new
  const std::string after = Write(dir.File("b.bin"), changed);
  auto census = std::make_unique<TableCensus>();
  Census(before, &after, 2, census.get());
  EXPECT_TRUE(census->compared);
  EXPECT_EQ(census->kpp_change[0].changed, 1);
  EXPECT_EQ(census->kpp_change[0].change_sum, 10);
  EXPECT_EQ(census->kpp_change[40].change_sum, 65535);
  EXPECT_EQ(census->kpp_change[1].changed, 1);
  EXPECT_EQ(census->kkp_change[3].change_sum, 6);
  EXPECT_EQ(census->kpp_change_total.changed, 3);
  EXPECT_EQ(census->kkp_change_total.changed, 1);
  EXPECT_DOUBLE_EQ(CensusChangeMean(census->kpp_change[0], census->kpp[0].entries),
                   10.0 / kCensusKppEntries);
  ExpectCounts(census->kpp_after[40], kCensusKppEntries, 2, 34767, 32767, 1, "after kpp 40");
  ExpectCounts(census->kpp[40], kCensusKppEntries, 2, 34768, 32768, 1, "before kpp 40");
  // A short second file differs by every value the first has past its end.
  const std::string short_after = Write(dir.File("c.bin"), {}, 4);
  Census(before, &short_after, 1, census.get());
  EXPECT_EQ(census->kpp_change_total.changed, 6);
  EXPECT_EQ(census->kkp_change[2].change_sum, 32868);
}

TEST(TakeCensus, NamesTheFileItCannotRead) {
  ScratchDir dir;
  const std::string good = Write(dir.File("fv.bin"), {}, 8);
  const std::string missing = dir.File("missing.bin");
  const struct {
    const char* path;
    const char* after;
    const char* why;
  } rows[] = {
      {missing.c_str(), nullptr, "missing.bin: cannot open"},
      {dir.path().c_str(), nullptr, "not a regular file"},
      {good.c_str(), missing.c_str(), "missing.bin: cannot open"},
      {good.c_str(), dir.path().c_str(), "not a regular file"},
  };
  auto census = std::make_unique<TableCensus>();
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(TakeCensus(row.path, row.after, 2, census.get(), &error)) << row.why;
    EXPECT_NE(error.find(row.why), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace fvscope
