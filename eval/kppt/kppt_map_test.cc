// A KPPT map against the set's entries read by their offsets, the feature
// numbers worked out from the feature table itself.
#include "eval/kppt/kppt_map.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tools/sample_kppt.h"

namespace fvscope {
namespace {

// A board piece's feature number from view, from the feature table: friend
// or enemy base plus the square, turned for white's view.
int ReferenceFeature(Side view, Side owner, int kind, int square) {
  // Bases by kind index: pawn, lance, knight, silver, gold, bishop, rook (1..7), horse, dragon.
  const int friend_base[] = {0, 90, 252, 414, 576, 738, 900, 1224, 0, 0, 0, 0, 0, 1062, 1386};
  const int enemy_base[] = {0, 171, 333, 495, 657, 819, 981, 1305, 0, 0, 0, 0, 0, 1143, 1467};
  const int fsq = 9 * (FileOf(square) - 1) + RankOf(square) - 1;
  const bool own = owner == view;
  return (own ? friend_base[kind] : enemy_base[kind]) + (view == kBlack ? fsq : 80 - fsq);
}

// The pair at KPP[k][a][b], read from the file's bytes.
KpptPair RawKpp(const SampleKppt& s, int k, int a, int b) {
  const int parts = s.layout == KpptLayout::kKppKkpt ? 1 : 2;
  const size_t at = ((size_t{static_cast<size_t>(k)} * 1548 + a) * 1548 + b) * 2 * parts;
  int16_t v[2] = {0, 0};
  std::memcpy(v, s.kpp.data() + at, 2 * parts);
  return {v[0], parts == 2 ? v[1] : 0};
}

int32_t RawKkp32(const SampleKppt& s, int bk, int wk, int f, int part) {
  int32_t v;
  std::memcpy(&v, s.kkp.data() + (((size_t{static_cast<size_t>(bk)} * 81 + wk) * 1548 + f) * 2 + part) * 4, 4);
  return v;
}

MapRequest Request(const char* text) {
  MapRequest request;
  std::string error;
  EXPECT_TRUE(ParseMapRequest(text, &request, &error)) << error;
  return request;
}

TEST(KpptMap, GridsAndHandsAreTheSlabsEntries) {
  SampleKppt sample;
  MakeSampleKppt(KpptLayout::kKppt32, 11, &sample);
  const KpptSet set = SampleKpptSet(sample);
  std::string error;
  KpptMap map;

  // Black's king on 59 with a gold on 58: black's view, board part as read.
  ASSERT_TRUE(BuildKpptMap(set, nullptr, Request("+59OU:+58KI"), KpptPart::kBoard, &map, &error));
  const int bk = 9 * 4 + 8;  // 5i
  const int gold = ReferenceFeature(kBlack, kBlack, kGold, SquareOf(5, 8));
  EXPECT_EQ(map.slab, bk);
  EXPECT_EQ(map.piece_feature, gold);
  ASSERT_EQ(map.table.grid_count, 18);
  int checked = 0;
  for (int g = 0; g < map.table.grid_count; ++g) {
    const MapGrid& grid = map.table.grids[g];
    for (int s = 0; s < kSquares; ++s) {
      if (!grid.present[s]) continue;
      const int f = ReferenceFeature(kBlack, grid.side, grid.kind, s);
      ASSERT_EQ(grid.features[s], f) << g << " " << s;
      ASSERT_EQ(grid.values[s], RawKpp(sample, bk, gold, f).board) << g << " " << s;
      ++checked;
    }
    EXPECT_FALSE(grid.present[SquareOf(5, 9)]);  // the king
    EXPECT_FALSE(grid.present[SquareOf(5, 8)]);  // the gold: the diagonal is never read
  }
  EXPECT_GT(checked, 18 * 70);
  // A black pawn on rank 1 never stands; a white one does.
  EXPECT_FALSE(map.table.grids[0].present[SquareOf(3, 1)]);
  EXPECT_TRUE(map.table.grids[9].present[SquareOf(3, 1)]);
  // Black's 3rd pawn held is friend pawn 1 + 2; white's 2nd silver enemy silver 64 + 1.
  EXPECT_EQ(map.table.hands[0].values[2], RawKpp(sample, bk, gold, 3).board);
  EXPECT_EQ(map.table.hands[kHandKinds + 3].values[1], RawKpp(sample, bk, gold, 65).board);

  // White's king on 51 from white's view, a black pawn held third as PIECE:
  // the slab at Inv(5a), the piece an enemy pawn; turn as read, board negated.
  const int wk = 80 - (9 * 4 + 0);
  const int pawn3 = 20 + 2;
  ASSERT_TRUE(BuildKpptMap(set, nullptr, Request("-51OU:+FU*3"), KpptPart::kTurn, &map, &error));
  EXPECT_EQ(map.slab, wk);
  EXPECT_EQ(map.piece_feature, pawn3);
  const int white_silver_on_62 = ReferenceFeature(kWhite, kWhite, kSilver, SquareOf(6, 2));
  EXPECT_EQ(map.table.grids[9 + 3].values[SquareOf(6, 2)], RawKpp(sample, wk, pawn3, white_silver_on_62).turn);
  EXPECT_FALSE(map.table.hands[0].present[2]);  // PIECE itself
  EXPECT_EQ(map.table.hands[0].values[0], RawKpp(sample, wk, pawn3, 20).turn);
  ASSERT_TRUE(BuildKpptMap(set, nullptr, Request("-51OU:+FU*3"), KpptPart::kBoard, &map, &error));
  EXPECT_EQ(map.table.grids[9 + 3].values[SquareOf(6, 2)], -RawKpp(sample, wk, pawn3, white_silver_on_62).board);

  // Both kings: KKP from black's view, and KK.
  ASSERT_TRUE(BuildKpptMap(set, nullptr, Request("-51OU:+59OU"), KpptPart::kBoard, &map, &error));
  EXPECT_TRUE(map.table.kkp);
  const int white_king = 9 * 4;
  const int rook = ReferenceFeature(kBlack, kWhite, kRook, SquareOf(2, 2));
  EXPECT_EQ(map.table.grids[9 + 7].values[SquareOf(2, 2)], RawKkp32(sample, bk, white_king, rook, 0));
  EXPECT_EQ(map.kk.board, KkPair(set, bk, white_king).board);
  EXPECT_FALSE(map.table.grids[0].present[SquareOf(5, 1)]);
  EXPECT_FALSE(map.table.grids[0].present[SquareOf(5, 9)]);
}

TEST(KpptMap, ComparedMapsShowTheChangeAndBadPiecesAreRefused) {
  SampleKppt before, after;
  MakeSampleKppt(KpptLayout::kKppKkpt, 3, &before);
  after = before;
  const int bk = 9 * 4 + 8;
  const int gold = ReferenceFeature(kBlack, kBlack, kGold, SquareOf(5, 8));
  const int pawn = ReferenceFeature(kBlack, kWhite, kPawn, SquareOf(3, 3));
  const size_t at = (size_t{static_cast<size_t>(bk)} * 1548 + gold) * 1548 + pawn;
  const int16_t old_value = RawKpp(before, bk, gold, pawn).board;
  const int16_t new_value = static_cast<int16_t>(old_value + 500);
  std::memcpy(after.kpp.data() + at * 2, &new_value, 2);
  const KpptSet a = SampleKpptSet(before), b = SampleKpptSet(after);
  KpptMap map;
  std::string error;
  ASSERT_TRUE(BuildKpptMap(a, &b, Request("+59OU:+58KI"), KpptPart::kBoard, &map, &error));
  EXPECT_TRUE(map.table.compared);
  int changed = 0;
  for (int g = 0; g < map.table.grid_count; ++g) {
    for (int s = 0; s < kSquares; ++s) changed += map.table.grids[g].present[s] && map.table.grids[g].values[s] != 0;
  }
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(map.table.grids[9].values[SquareOf(3, 3)], 500);
  EXPECT_EQ(map.table.grids[9].before[SquareOf(3, 3)], old_value);
  EXPECT_EQ(map.table.grids[9].after[SquareOf(3, 3)], new_value);
  // KPP_KKPT has no turn part in KPP.
  ASSERT_TRUE(BuildKpptMap(a, nullptr, Request("+59OU:+58KI"), KpptPart::kTurn, &map, &error));
  EXPECT_EQ(MapLargestMagnitude(map.table), 0);

  // Counts over a set's are refused by the request's reader; none held has no feature.
  for (const char* bad : {"+59OU:+FU*0", "-51OU:-KY*0"}) {
    EXPECT_FALSE(BuildKpptMap(a, nullptr, Request(bad), KpptPart::kBoard, &map, &error)) << bad;
    EXPECT_NE(error.find("held piece is counted 1 to"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace fvscope
