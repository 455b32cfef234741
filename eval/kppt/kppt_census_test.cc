// A KPPT census against a plain count of every entry, on a set with
// saturated entries put in, and against the changes made to a copy.
#include "eval/kppt/kppt_census.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "tools/sample_kppt.h"

namespace fvscope {
namespace {

void PutKpp(SampleKppt* s, int k, int a, int b, int part, int16_t v) {
  const int parts = s->layout == KpptLayout::kKppKkpt ? 1 : 2;
  const size_t at = ((size_t{static_cast<size_t>(k)} * kPieceFeatures + a) * kPieceFeatures + b) * parts + part;
  std::memcpy(s->kpp.data() + at * 2, &v, 2);
}

// Counts of part of KPP slab k by reading every pair through the accessor.
CensusCounts PlainKppCounts(const KpptSet& set, int k, KpptPart part) {
  CensusCounts c{};
  for (int a = 0; a < kPieceFeatures; ++a) {
    for (int b = 0; b < kPieceFeatures; ++b) {
      const int32_t v = PartOf(KppPair(set, k, a, b), part);
      const int32_t m = std::abs(v);
      ++c.entries;
      c.nonzero += v != 0;
      c.magnitude_sum += m;
      c.largest = std::max(c.largest, m);
      c.saturated += v == 32767 || v == -32768;
    }
  }
  return c;
}

void ExpectSame(const CensusCounts& got, const CensusCounts& want, const char* what) {
  EXPECT_EQ(got.entries, want.entries) << what;
  EXPECT_EQ(got.nonzero, want.nonzero) << what;
  EXPECT_EQ(got.magnitude_sum, want.magnitude_sum) << what;
  EXPECT_EQ(got.largest, want.largest) << what;
  EXPECT_EQ(got.saturated, want.saturated) << what;
}

TEST(KpptCensus, CountsEveryEntryOfBothParts) {
  SampleKppt sample;
  MakeSampleKppt(KpptLayout::kKppt16, 5, &sample);
  // Saturated entries in two slabs: 3 in slab 40's board part, 1 in slab 80's turn part.
  PutKpp(&sample, 40, 100, 200, 0, 32767);
  PutKpp(&sample, 40, 200, 100, 0, -32768);
  PutKpp(&sample, 40, 7, 9, 0, 32767);
  PutKpp(&sample, 80, 1547, 1, 1, -32768);
  const KpptSet set = SampleKpptSet(sample);
  auto census = std::make_unique<KpptCensus>();
  TakeKpptCensus(set, nullptr, 2, census.get());
  EXPECT_FALSE(census->compared);
  EXPECT_TRUE(census->has_kk);
  for (int k : {0, 40, 80}) {
    ExpectSame(census->kpp[k].counts[0], PlainKppCounts(set, k, KpptPart::kBoard), "board");
    ExpectSame(census->kpp[k].counts[1], PlainKppCounts(set, k, KpptPart::kTurn), "turn");
  }
  EXPECT_EQ(census->kpp[40].counts[0].saturated, 3);
  EXPECT_EQ(census->kpp[40].counts[0].largest, 32768);
  EXPECT_EQ(census->kpp[80].counts[1].saturated, 1);
  EXPECT_EQ(census->kpp_total.counts[0].saturated, 3);
  EXPECT_EQ(census->kpp_total.counts[0].entries, kKppEntries);

  // KKP of black's king on 17 and the whole KK, read by the accessors.
  CensusCounts kkp{}, kk{};
  for (int wk = 0; wk < kSquares; ++wk) {
    for (int f = 0; f < kPieceFeatures; ++f) {
      const int32_t v = KkpPair(set, 17, wk, f).turn;
      ++kkp.entries;
      kkp.nonzero += v != 0;
      kkp.magnitude_sum += std::abs(v);
      kkp.largest = std::max(kkp.largest, std::abs(v));
    }
    for (int bk = 0; bk < kSquares; ++bk) {
      const int32_t v = KkPair(set, bk, wk).board;
      ++kk.entries;
      kk.nonzero += v != 0;
      kk.magnitude_sum += std::abs(v);
      kk.largest = std::max(kk.largest, std::abs(v));
    }
  }
  ExpectSame(census->kkp[17].counts[1], kkp, "kkp turn");
  ExpectSame(census->kk.counts[0], kk, "kk board");

  // One thread or two: the same figures.
  auto alone = std::make_unique<KpptCensus>();
  TakeKpptCensus(set, nullptr, 1, alone.get());
  EXPECT_EQ(std::memcmp(&alone->kpp, &census->kpp, sizeof census->kpp), 0);
  EXPECT_EQ(std::memcmp(&alone->kkp_total, &census->kkp_total, sizeof census->kkp_total), 0);
}

TEST(KpptCensus, ComparedCountsTheChangesMade) {
  SampleKppt before;
  MakeSampleKppt(KpptLayout::kKppKkpt, 9, &before);
  SampleKppt after = before;
  // Three KPP entries of slab 12 moved by +10, -20 and +30; one KKP turn entry by 7.
  const int moves[3][3] = {{5, 6, 10}, {6, 5, -20}, {1000, 1500, 30}};
  const KpptSet a0 = SampleKpptSet(before);
  for (const auto& m : moves) {
    PutKpp(&after, 12, m[0], m[1], 0,
           static_cast<int16_t>(KppPair(a0, 12, m[0], m[1]).board + m[2]));
  }
  int32_t kkp_value;
  const size_t kkp_at = ((size_t{30} * kSquares + 2) * kPieceFeatures + 77) * 2 + 1;
  std::memcpy(&kkp_value, after.kkp.data() + kkp_at * 4, 4);
  kkp_value += 7;
  std::memcpy(after.kkp.data() + kkp_at * 4, &kkp_value, 4);
  const KpptSet a = SampleKpptSet(before), b = SampleKpptSet(after);
  auto census = std::make_unique<KpptCensus>();
  TakeKpptCensus(a, &b, 2, census.get());
  EXPECT_TRUE(census->compared);
  EXPECT_EQ(census->kpp_parts, 1);
  EXPECT_EQ(census->kpp[12].change[0].changed, 3);
  EXPECT_EQ(census->kpp[12].change[0].change_sum, 60);
  EXPECT_EQ(census->kpp_total.change[0].changed, 3);
  EXPECT_EQ(census->kpp[12].counts[1].entries, 0);  // no turn part
  EXPECT_EQ(census->kkp[30].change[1].changed, 1);
  EXPECT_EQ(census->kkp[30].change[1].change_sum, 7);
  EXPECT_EQ(census->kkp_total.change[0].changed, 0);
  EXPECT_EQ(census->kk.change[0].changed, 0);
  ExpectSame(census->kpp[12].after[0], PlainKppCounts(b, 12, KpptPart::kBoard), "after");
}

}  // namespace
}  // namespace fvscope
