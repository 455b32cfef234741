#include "eval/term_tally.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "shogi/settings.h"

namespace fvscope {
namespace {

TEST(TermTally, BucketsAndSides) {
  EXPECT_EQ(SizeBucket(1), 0);
  EXPECT_EQ(SizeBucket(319), 0);
  EXPECT_EQ(SizeBucket(320), 1);
  EXPECT_EQ(SizeBucket(2239), 6);
  EXPECT_EQ(SizeBucket(2240), 7);
  EXPECT_EQ(SizeBucket(32768), 7);

  auto tally = std::make_unique<TermTally>();
  TallyPair(tally.get(), 0, 0, 76, 4, 81, 81, 88, 88);  // zeros: one count each, no histogram
  EXPECT_EQ(tally->black_count, 1);
  EXPECT_EQ(tally->white_count, 1);
  TallyPair(tally.get(), 95, 500, 76, 4, 81, 60, 88, 20);
  EXPECT_EQ(tally->black_sum, 95);
  EXPECT_EQ(tally->white_sum, 500);
  EXPECT_EQ(tally->black_histogram[0], 1);
  EXPECT_EQ(tally->white_histogram[1], 1);
  const RankEntry& white = tally->entries[3];
  EXPECT_EQ(white.value, -500);
  EXPECT_EQ(white.king_square, 4);
  EXPECT_EQ(white.item_a, 88);
  EXPECT_EQ(white.item_b, 20);
  TallyPair(tally.get(), -32768, -32768, 76, 4, 81, 81, 88, 88);
  EXPECT_EQ(tally->entries[4].value, -32768);
  EXPECT_EQ(tally->entries[5].value, 32767);  // +32768 does not fit
  EXPECT_EQ(tally->white_sum, 500 + 32768);
  EXPECT_EQ(tally->black_sum, 95 + 32768);
  EXPECT_EQ(tally->black_histogram[7], 1);
  EXPECT_EQ(tally->white_histogram[7], 1);
}

TEST(TermTally, WrittenInBothEncodings) {
  auto tally = std::make_unique<TermTally>();
  TallyPair(tally.get(), 95, -2240, 76, 4, 81, 81, 88, 88);
  for (bool utf8 : {true, false}) {
    OutputUtf8 = utf8;
    char *out_text = nullptr, *report_text = nullptr;
    size_t out_size = 0, report_size = 0;
    FILE* out = open_memstream(&out_text, &out_size);
    FILE* report = open_memstream(&report_text, &report_size);
    WriteTally(*tally, out, report);
    std::fclose(out);
    std::fclose(report);
    const std::string text(out_text), html(report_text);
    std::free(out_text);
    std::free(report_text);
    if (utf8) {
      EXPECT_EQ(text.substr(0, text.find(" [10")),
                "先手有利特徴数=2, 総和=72\n分布\n [0～10] = 1\n");
      EXPECT_NE(text.find(" [70～80] = 1\n後手有利特徴数=0，総和=0\n分布\n"), std::string::npos);
      EXPECT_EQ(html.substr(0, html.find(" [10")), "先手有利特徴数=2, 総和=72<br> [0～10] = 1<br>");
    } else {
      EXPECT_EQ(text.rfind("\x90\xe6\x8e\xe8\x97L\x97\x98\x93\xc1\x92\xa5\x90\x94=2, \x91\x8d\x98"
                "a=72\n\x95\xaa\x95z\n [0\x81`10]", 0), 0u);
      EXPECT_NE(html.find("\x8c\xe3\x8e\xe8\x97L\x97\x98\x93\xc1\x92\xa5\x90\x94=0\x81" "C"),
                std::string::npos);
    }
  }
  OutputUtf8 = false;
}

TEST(RankLeafTerms, PrintsTheTopWithTheirNames) {
  auto tally = std::make_unique<TermTally>();
  Position p = {};
  p.cells[76] = 8;
  p.cells[4] = -8;
  p.cells[67] = 5;
  p.cells[87] = 1;
  for (int i = 0; i < 200; ++i) TallyPair(tally.get(), i, 0, 76, 4, 67, 87, 88, 88);
  SortMode = 1;
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  static RankedTerms ranked;
  RankLeafTerms(tally.get(), p, out, &ranked);
  std::fclose(out);
  const std::string lines(text);
  std::free(text);
  EXPECT_EQ(lines.substr(0, lines.find('\n', 9) + 1),
            "RANKING:\n1: value = 199  [+59OU]-[+58KI]-[+HI*]\n");
  EXPECT_NE(lines.find("\n150: value = 50  "), std::string::npos);
  EXPECT_EQ(lines.find("\n151: "), std::string::npos);
  EXPECT_EQ(ranked.count, 150);
  EXPECT_EQ(ranked.terms[0].value, 199);
  EXPECT_EQ(ranked.terms[0].cell_a, 67);
  SortMode = 0;
}

}  // namespace
}  // namespace fvscope
