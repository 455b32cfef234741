// End-to-end runs of the real executable on KIF records: the same game as
// KIF and as CSA gives the same output, in either encoding, with handicaps.
#include "shogi/kif_record.h"

#include <gtest/gtest.h>

#include <string>

#include "app/position_input.h"
#include "shogi/sfen.h"
#include "shogi/text_encoding.h"
#include "test/demo_folder.h"
#include "test/kif_writer.h"

namespace fvscope {
namespace {

// The KIF text of game in style, encoded as variant asks: 0 UTF-8, 1 UTF-8
// with a byte order mark and CRLF line ends, 2 Shift-JIS.
std::string EncodedKif(const GameRecord& game, const KifStyle& style, int variant) {
  const std::string kif = KifText(game, style);
  if (variant == 1) return "\xEF\xBB\xBF" + WithCrlf(kif);
  if (variant == 2) {
    std::string cp932;
    EXPECT_TRUE(Utf8ToCp932(kif, &cp932));
    return cp932;
  }
  return kif;
}

TEST(KifRecordGame, KifAndCsaOfTheSameGameGiveTheSameOutput) {
  DemoFolder demo;
  const int handicaps[] = {0, 1, 6, 15, -1, 4};
  for (int n = 0; n < static_cast<int>(std::size(handicaps)); ++n) {
    KifStyle style;
    style.handicap = handicaps[n];
    style.bare_drops = n % 2 == 1;
    std::string sfen = style.handicap >= 0 ? kKifHandicaps[style.handicap].sfen : kStartSfen;
    if (style.handicap < 0) {
      Position p;
      Side side;
      std::string error;
      ASSERT_TRUE(
          PlayRecord(RandomRecord(kStartSfen, 40, 77), -1, Notation::kCsa, &p, &side, &error));
      sfen = PositionSfen(p, side);
    }
    const GameRecord game = RandomRecord(sfen, 30, 500 + n);
    // The last game's file has no .kif name: its content tells.
    const std::string kif_name = n == 5 ? "game.txt" : "game.kif";
    demo.dir.Write("work/game.csa", CsaText(game));
    demo.dir.Write("work/" + kif_name, EncodedKif(game, style, n % 3));
    const ToolRun csa = RunTool(demo.path, "--game=game.csa");
    const std::string csa_report = demo.Report();
    const ToolRun kif = RunTool(demo.path, "--game=" + kif_name);
    ASSERT_EQ(csa.status, 0) << csa.err;
    ASSERT_EQ(kif.status, 0) << kif.err << "\n" << KifText(game, style);
    EXPECT_EQ(kif.out, csa.out) << "game " << n;
    EXPECT_EQ(kif.err, csa.err) << "game " << n;
    EXPECT_EQ(demo.Report(), csa_report) << "game " << n;
    EXPECT_EQ(csa.out.substr(0, 9), " ply  mov");
  }
}

TEST(KifRecordGame, PositionPlyAndErrorsOfAKifFile) {
  DemoFolder demo;
  demo.dir.Write("work/g.kif",
                 "手合割：香落ち\n   1 ５二金(61)\n   2 ７六歩(77)\n   3 ４二金(52)\n");
  const ToolRun run = RunTool(demo.path, "--position=g.kif --ply=2 --json=-");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"lns1kgsn1/1r2g2b1/ppppppppp/9/9/2P6/PP1PPPPPP/1B5R1/LNSGKGSNL w - 1\""),
            std::string::npos)
      << run.out.substr(0, 400);
  demo.dir.Write("work/bad.kif",
                 "手合割：平手\n   1 ７六歩(77)\n   2 ３四歩(33)\n   3 ７五歩(77)\n");
  const ToolRun bad = RunTool(demo.path, "--game=bad.kif");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err,
            "fvscope: bad.kif: line 4: expected a black pawn on the origin 77, where nothing "
            "stands, not \"   3 ?\?\?(77)\"\n");
  // The format of what was read, for the documents.
  GameRecord record;
  Notation names;
  RecordFormat format;
  std::string name, error;
  ASSERT_TRUE(ReadPositionArgument("--game", demo.path + "/g.kif", &record, &names, &name, &error,
                                   &format));
  EXPECT_EQ(format, RecordFormat::kKif);
  EXPECT_EQ(names, Notation::kCsa);
  ASSERT_TRUE(ReadPositionArgument("--game", "startpos", &record, &names, &name, &error, &format));
  EXPECT_EQ(format, RecordFormat::kUsi);
}

}  // namespace
}  // namespace fvscope
