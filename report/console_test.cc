#include "report/console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "report/html_report.h"

namespace fvscope {
namespace {

// What write printed to a memory stream.
template <typename Write>
std::string Written(Write write) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  write(out);
  std::fclose(out);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(ConsoleText, LeafFiguresInBothEncodings) {
  auto breakdown = std::make_unique<LeafBreakdown>();
  breakdown->kkp_sum = 1;
  breakdown->kpp_sum = -33;  // printed in points, truncated toward zero
  breakdown->value = -1;
  breakdown->material = 0;
  TallyPair(&breakdown->tally, 95, -2240, 76, 4, 81, 81, 88, 88);
  static Ranking ranking;
  ranking.count = 0;
  for (bool utf8 : {true, false}) {
    const std::string text =
        Written([&](FILE* out) { WriteLeafText(out, *breakdown, ranking, utf8); });
    const std::string html =
        Written([&](FILE* report) { WriteReportLeaf(report, *breakdown, utf8); });
    EXPECT_EQ(text.rfind("KKP=1\nKPP=-1\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 9), "RANKING:\n");
    EXPECT_NE(html.find("evaluation value (material+position)=-1<br><br>material=+0<br>\n\n\n"),
              std::string::npos);
    if (utf8) {
      EXPECT_NE(text.find("先手有利特徴数=2, 総和=72\n分布\n [0～10] = 1\n"), std::string::npos);
      EXPECT_NE(text.find(" [70～80] = 1\n後手有利特徴数=0，総和=0\n分布\n"), std::string::npos);
      EXPECT_EQ(html.substr(0, html.find(" [10")), "先手有利特徴数=2, 総和=72<br> [0～10] = 1<br>");
    } else {
      EXPECT_NE(text.find("\x90\xe6\x8e\xe8\x97L\x97\x98\x93\xc1\x92\xa5\x90\x94=2, \x91\x8d\x98"
                          "a=72\n\x95\xaa\x95z\n [0\x81`10]"),
                std::string::npos);
      EXPECT_NE(html.find("\x8c\xe3\x8e\xe8\x97L\x97\x98\x93\xc1\x92\xa5\x90\x94=0\x81" "C"),
                std::string::npos);
    }
  }
}

TEST(ConsoleText, ScanRankingNamesTheKingAsBlacks) {
  static TableScan scan;
  scan.king_square = 76;
  scan.count = 6;
  scan.ranking.count = 2;
  scan.ranking.terms[0] = {3000, 76, 8, 76, 1, 81, 0};
  scan.ranking.terms[1] = {-2500, 76, 8, 94, 2, 81, 0};
  EXPECT_EQ(Written([&](FILE* out) { WriteScanText(out, scan); }),
            "rnum = 6\nRANKING:\n"
            "1: value = 3000  [+59OU]-[+59FU]-[+FU*]\n"
            "2: value = -2500  [+59OU]-[-HI*]-[+FU*]\n");
}

}  // namespace
}  // namespace fvscope
