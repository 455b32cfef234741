#include "shogi/record_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shogi/text_encoding.h"

namespace fvscope {
namespace {

TEST(RecordFileFormat, ExtensionFirstThenTheBytes) {
  std::string sjis_kif;
  ASSERT_TRUE(Utf8ToCp932("手合割：平手\n   1 ７六歩(77)\n", &sjis_kif));
  struct Case {
    const char* path;
    std::string bytes;
    RecordFormat format;
  } cases[] = {
      {"a.kif", "PI\n+\n", RecordFormat::kKif},
      {"dir/A.KIFU", "", RecordFormat::kKif},
      {"a.csa", "PI\n+\n", RecordFormat::kCsa},
      {"a.csa", "startpos moves 7g7f", RecordFormat::kUsi},
      {"a.txt", sjis_kif, RecordFormat::kKif},
      {"a.csa", "#KIF version=2.0\n", RecordFormat::kKif},
      {"a", "   1 ７六歩(77)\n", RecordFormat::kKif},
      {"a.csa", "'手合割：平手\nN+先手：x\n$EVENT:y\nPI\n+\n", RecordFormat::kCsa},
      {"a.kif.csa", "\xff\xfe", RecordFormat::kCsa},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordFormatOf(c.path, c.bytes), c.format) << c.path << " " << c.bytes;
  }
  EXPECT_STREQ(RecordFormatName(RecordFormat::kKif), "kif");
  EXPECT_EQ(RecordNotation(RecordFormat::kUsi), Notation::kUsi);
  EXPECT_EQ(RecordNotation(RecordFormat::kKif), Notation::kCsa);
}

TEST(RecordFileGames, EachFormatGivesItsGames) {
  std::vector<RecordGame> games;
  ReadRecordGames("PI\n+\n+7776FU\n/\nPI\n+\n+7776XX\n", RecordFormat::kCsa, &games);
  ReadRecordGames("手合割：平手\n   1 ７六歩(77)\n   2 投了\n", RecordFormat::kKif, &games);
  ReadRecordGames("   2 ７六歩(77)\n", RecordFormat::kKif, &games);
  ReadRecordGames("startpos moves 7g7f 3c3d", RecordFormat::kUsi, &games);
  ReadRecordGames("nothing", RecordFormat::kUsi, &games);
  ASSERT_EQ(games.size(), 6u);
  const size_t moves[] = {1, 0, 1, 0, 2, 0};
  const bool read[] = {true, false, true, false, true, false};
  for (size_t i = 0; i < games.size(); ++i) {
    EXPECT_EQ(games[i].error.empty(), read[i]) << i << " " << games[i].error;
    if (read[i]) {
      EXPECT_EQ(games[i].record.moves.size(), moves[i]) << i;
    }
  }
  EXPECT_EQ(games[2].record.result, GameResult::kBlackWins);
  EXPECT_EQ(games[1].error.rfind("line 7: ", 0), 0u) << games[1].error;
  EXPECT_EQ(games[3].error.rfind("line 1: expected move 1", 0), 0u) << games[3].error;
}

}  // namespace
}  // namespace fvscope
