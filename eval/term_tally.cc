#include "eval/term_tally.h"

#include <cstdlib>

#include "eval/features.h"
#include "shogi/settings.h"
#include "shogi/texts.h"

namespace fvscope {

namespace {

constexpr int kPointsPerBucket = 10;

int16_t ClampToValue(int32_t value) {
  if (value > INT16_MAX) return INT16_MAX;
  if (value < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(value);
}

void AddTerm(TermTally* tally, int32_t value, int king, int cell_i, int cell_j) {
  if (tally->entry_count >= kTallyCapacity) return;
  tally->entries[tally->entry_count++] = {ClampToValue(value), static_cast<int16_t>(king),
                                          static_cast<int16_t>(cell_i),
                                          static_cast<int16_t>(cell_j)};
}

// Writes one side's count, sum and histogram.
void WriteSide(TextId count_text, int32_t count, int32_t sum, const int32_t* histogram, FILE* out,
               FILE* report) {
  const char* count_format = JapaneseText(count_text);
  std::fprintf(out, count_format, count, sum / kFvScale);
  std::fprintf(out, "\n%s\n", JapaneseText(kTextDistribution));
  std::fprintf(report, count_format, count, sum / kFvScale);
  std::fputs("<br>", report);
  const char* bucket_format = JapaneseText(kTextBucket);
  for (int k = 0; k < kHistogramBuckets; ++k) {
    const int low = kPointsPerBucket * k;
    std::fprintf(out, bucket_format, low, low + kPointsPerBucket, histogram[k]);
    std::fputc('\n', out);
    std::fprintf(report, bucket_format, low, low + kPointsPerBucket, histogram[k]);
    std::fputs("<br>", report);
  }
}

}  // namespace

int SizeBucket(int32_t magnitude) {
  const int bucket = magnitude / kFvScale / kPointsPerBucket;
  return bucket < kHistogramBuckets - 1 ? bucket : kHistogramBuckets - 1;
}

void TallyPair(TermTally* tally, int32_t a, int32_t b, int black_king, int white_king,
               int black_cell_i, int black_cell_j, int white_cell_i, int white_cell_j) {
  if (a > 0) {
    ++tally->black_count;
    tally->black_sum += a;
    ++tally->black_histogram[SizeBucket(a)];
  } else {
    ++tally->white_count;
    tally->white_sum -= a;
    if (a < 0) ++tally->white_histogram[SizeBucket(-a)];
  }
  if (b > 0) {
    ++tally->white_count;
    tally->white_sum += b;
    ++tally->white_histogram[SizeBucket(b)];
  } else {
    ++tally->black_count;
    tally->black_sum -= b;
    if (b < 0) ++tally->black_histogram[SizeBucket(-b)];
  }
  AddTerm(tally, a, black_king, black_cell_i, black_cell_j);
  AddTerm(tally, -b, white_king, white_cell_i, white_cell_j);
}

void WriteTally(const TermTally& tally, FILE* out, FILE* report) {
  WriteSide(kTextBlackTally, tally.black_count, tally.black_sum, tally.black_histogram, out,
            report);
  WriteSide(kTextWhiteTally, tally.white_count, tally.white_sum, tally.white_histogram, out,
            report);
}

void RankLeafTerms(TermTally* tally, const Position& position, FILE* out, RankedTerms* ranked) {
  SortRanking(tally->entries, tally->entry_count);
  std::fputs("RANKING:\n", out);
  const int count = tally->entry_count < kRankingLength ? tally->entry_count : kRankingLength;
  ranked->count = count;
  for (int r = 0; r < count; ++r) {
    const RankEntry& e = tally->entries[r];
    const int8_t* cells = position.cells;
    PrintRankingLine(out, r + 1, e.value, e.king_square, cells[e.king_square], e.item_a,
                     cells[e.item_a], e.item_b, cells[e.item_b]);
    ranked->terms[r] = {position, e.value, e.king_square, e.item_a, e.item_b};
  }
}

}  // namespace fvscope
