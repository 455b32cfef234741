#include "shogi/sfen.h"

#include <gtest/gtest.h>

#include <string>

#include "shogi/notation.h"

namespace fvscope {
namespace {

TEST(ParseSfen, ReadsBackWhatPositionSfenWrites) {
  const char* sfens[] = {
      kStartSfen,
      "ln1gkg2l/1r1s3s1/p1ppppnpp/9/1p2B4/2P6/PP1PPPP1P/1S3S3/LN1GKG1NL w B2Pr 31",
      "8k/9/9/9/4+P+L+N+S+B/+R+p+r6/9/9/K8 b 2R2B4G4S4N4L10P8p 1",
  };
  for (const char* sfen : sfens) {
    GameRecord record;
    std::string error;
    ASSERT_TRUE(ParseSfen(sfen, &record, &error)) << error;
    EXPECT_EQ(PositionSfen(record.start, record.side_to_move, record.move_number), sfen);
  }
  GameRecord record;
  std::string error;
  ASSERT_TRUE(ParseSfen(kStartSfen, &record, &error));
  EXPECT_EQ(record.start.cells[kBlackKingCell], 76);
  EXPECT_EQ(record.start.cells[kWhiteKingCell], 4);
  ASSERT_TRUE(ParseSfen("9/9/9/9/9/9/9/9/9 b - 1", &record, &error));
  EXPECT_EQ(record.start.cells[kBlackKingCell], -1);
}

TEST(ParseSfen, BadTexts) {
  const char* bad[] = {
      "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1 b - 1",             // 8 ranks
      "lnsgkgsnl/1r5b1/pppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1",    // 8 files
      "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNLL b - 1",  // 10 files
      "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGXGSNL b - 1",   // X
      "4k4/9/9/9/9/9/9/9/4+K4 b - 1",                                      // +K
      "4k4/9/9/9/9/9/9/9/3KK4 b - 1",                                      // two kings
      "4k4/9/9/9/9/9/9/9/4K4 x - 1",                                       // side
      "4k4/9/9/9/9/9/9/9/4K4 b 2K 1",                                      // king in hand
      "4k4/9/9/9/9/9/9/9/4K4 b 200P 1",                                    // count
      "4k4/9/9/9/9/9/9/9/4K4 b 100P100P 1",                                // count in sum
      "4k4/9/9/9/9/9/9/9/4K4+ b - 1",                                      // "+" at the end
      "4k4/9/9/9/9/9/9/9/4K3\x1b b - 1",                                   // a control byte
      "4k4/9/9/9/9/9/9/9/4K4 b P2 1",                                      // dangling count
      "4k4/9/9/9/9/9/9/9/4K4 b - one",                                     // move number
      "4k4/9/9/9/9/9/9/9/4K4",                                             // fields
  };
  for (const char* sfen : bad) {
    GameRecord record;
    std::string error;
    EXPECT_FALSE(ParseSfen(sfen, &record, &error)) << sfen;
    EXPECT_FALSE(error.empty());
    for (char c : error) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << error;
  }
}

TEST(ParseUsiPosition, StartposSfenAndMoves) {
  GameRecord record;
  std::string error;
  ASSERT_TRUE(ParseUsiPosition("startpos moves 7g7f 3c3d 8h2b+", &record, &error)) << error;
  ASSERT_EQ(record.moves.size(), 3u);
  EXPECT_EQ(record.moves[1].side, kWhite);
  EXPECT_TRUE(record.moves[2].promotes);
  ASSERT_TRUE(ParseUsiPosition("position sfen 4k4/9/9/9/9/9/9/9/4K4 w P 7 moves 5a4b",
                               &record, &error)) << error;
  EXPECT_EQ(record.side_to_move, kWhite);
  EXPECT_EQ(record.move_number, 7);
  EXPECT_EQ(record.moves.size(), 1u);
  EXPECT_FALSE(ParseUsiPosition("startpos moves 7g7f 3c3x", &record, &error));
  EXPECT_NE(error.find("move 2 \"3c3x\""), std::string::npos) << error;
  EXPECT_FALSE(ParseUsiPosition("startpos 7g7f", &record, &error));
  EXPECT_FALSE(ParseUsiPosition("", &record, &error));
  EXPECT_TRUE(LooksLikeUsiPosition("  sfen 9/9"));
  EXPECT_FALSE(LooksLikeUsiPosition("'CSA record\nPI\n+\n"));
}

}  // namespace
}  // namespace fvscope
