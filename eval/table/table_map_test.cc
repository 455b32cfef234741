#include "eval/table/table_map.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "test/eval_files.h"
#include "test/positions.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// Black's king on 59 and white's on 51 look through the same KPP triangle
// and the same KKP row: 76 is 59 and, turned, 51; 4 is 51 and, turned, 59.
constexpr int kBlackKing = 76;
constexpr int kWhiteKing = 4;

// A value for every index, within half the 16-bit range so that an offset
// cannot wrap it.
int16_t Pattern(int64_t index) {
  return static_cast<int16_t>(static_cast<int16_t>(index * 40503 + (index >> 9)) / 2);
}

// A file of the real size, zero but for a pattern in king square 76's
// triangle and in KKP row (76, 4), so that every entry a map reads differs.
EvalFile PatternFile(const std::string& path, int16_t offset = 0) {
  WriteEvalFile(path, {});
  const int fd = open(path.c_str(), O_WRONLY);
  auto fill = [&](int64_t first_value, int64_t count) {
    std::vector<int16_t> values(count);
    for (int64_t i = 0; i < count; ++i) values[i] = static_cast<int16_t>(Pattern(first_value + i) + offset);
    EXPECT_EQ(pwrite(fd, values.data(), 2 * count, 2 * first_value), 2 * count);
  };
  fill(kBlackKing * kKppTriangleValues, kKppTriangleValues);
  fill(KkpOffset(kBlackKing, kWhiteKing, 0) / 2, kKkpFeatures);
  close(fd);
  EvalFile file;
  std::string error, warning;
  EXPECT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning)) << error;
  return file;
}

MapRequest Request(const std::string& text) {
  MapRequest request;
  std::string error;
  EXPECT_TRUE(ParseMapRequest(text, &request, &error)) << error;
  return request;
}

// Puts place into position: a piece on its square, or the count in its slot.
void Put(const Place& place, Position* position) {
  if (IsHeld(place)) {
    position->cells[HandSlot(place.side, HandKindOf(place))] = static_cast<int8_t>(place.count);
  } else {
    const int code = place.side == kBlack ? place.kind : -place.kind;
    position->cells[place.square] = static_cast<int8_t>(code);
  }
}

// The feature of cell in list, as the breakdown builds it.
int FeatureAt(const FeatureEntry* list, int count, int cell) {
  for (int i = 0; i < count; ++i) {
    if (list[i].cell == cell) return list[i].feature;
  }
  return -1;
}

// The term a position holding the map's PIECE and place q gives KING, as the
// breakdown reads it, favouring black; false when no position holds both.
bool ReferenceKpp(const EvalFile& file, const MapRequest& request, const Place& q,
                  int32_t* value) {
  const Place& p = request.piece;
  const bool same_slot = IsHeld(p) && IsHeld(q) && p.side == q.side && p.kind == q.kind;
  if (same_slot && p.count != q.count) return false;
  Position position = KingsOnly(kBlackKing, kWhiteKing);
  position.cells[kBlackKing] = position.cells[kWhiteKing] = 0;
  Put(q, &position);
  Put(p, &position);
  if (!IsHeld(q) && !IsHeld(p) && q.square == p.square &&
      (q.side != p.side || kKppOwnBase[q.kind] != kKppOwnBase[p.kind])) {
    return false;  // two pieces on one square
  }
  auto list = std::make_unique<FeatureList>();
  BuildFeatureList(position, file, list.get());
  const Side side = request.king.side;
  const FeatureEntry* entries = side == kBlack ? list->black : list->white;
  const int cell_p = IsHeld(p) ? HandSlot(p.side, HandKindOf(p)) : p.square;
  const int cell_q = IsHeld(q) ? HandSlot(q.side, HandKindOf(q)) : q.square;
  const int fp = FeatureAt(entries, list->count, cell_p);
  const int fq = FeatureAt(entries, list->count, cell_q);
  const int k = side == kBlack ? kBlackKing : FlipSquare(kWhiteKing);
  *value = side == kBlack ? KppValue(file, k, fp, fq) : -KppValue(file, k, fp, fq);
  return true;
}

// Checks every value of map against the breakdown's reading of a position
// holding PIECE and that grid square or hand count; returns how many matched.
int CheckKppMap(const EvalFile& file, const TableMap& map) {
  int checked = 0;
  for (int g = 0; g < map.grid_count; ++g) {
    const MapGrid& grid = map.grids[g];
    for (int s = 0; s < kSquares; ++s) {
      if (!grid.present[s]) continue;
      int32_t expected;
      if (!ReferenceKpp(file, map.request, {grid.side, grid.kind, s, 0}, &expected)) continue;
      EXPECT_EQ(grid.values[s], expected) << MapGridName(grid) << " square " << s;
      ++checked;
    }
  }
  for (int h = 0; h < map.hand_count; ++h) {
    const MapHand& hand = map.hands[h];
    for (int c = 0; c < hand.counts; ++c) {
      int32_t expected;
      if (!ReferenceKpp(file, map.request, {hand.side, hand.hand_kind + 1, -1, c}, &expected)) {
        continue;
      }
      EXPECT_EQ(hand.values[c], expected) << MapHandName(hand) << c;
      ++checked;
    }
  }
  return checked;
}

class TableMapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    file_ = new EvalFile(PatternFile(dir_->File("fv.bin")));
  }
  static void TearDownTestSuite() {
    CloseEvalFile(file_);
    delete file_;
    delete dir_;
  }
  static ScratchDir* dir_;
  static EvalFile* file_;
};
ScratchDir* TableMapTest::dir_ = nullptr;
EvalFile* TableMapTest::file_ = nullptr;

TEST_F(TableMapTest, KppMapsMatchTheBreakdownsReadingInBothFrames) {
  auto map = std::make_unique<TableMap>();
  std::string error;
  for (const char* text : {"+59OU:+58KI", "+59OU:-FU*3", "+59OU:+28TO", "-51OU:-FU*3",
                           "-51OU:+58KE", "-51OU:-52RY"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(BuildTableMap(*file_, Request(text), map.get(), &error)) << error;
    EXPECT_FALSE(map->kkp);
    EXPECT_EQ(map->grid_count, 18);
    EXPECT_EQ(map->hand_count, 14);
    EXPECT_GT(CheckKppMap(*file_, *map), 18 * 60);
  }
}

TEST_F(TableMapTest, DirectReadsOfChosenEntries) {
  auto map = std::make_unique<TableMap>();
  std::string error;
  // Black's king on 59, black's gold on 58 (feature 666 + 67): white's
  // pawn on 34 (square 33) is feature 162 + 33.
  ASSERT_TRUE(BuildTableMap(*file_, Request("+59OU:+58KI"), map.get(), &error));
  EXPECT_EQ(MapGridName(map->grids[9]), "-FU");
  EXPECT_EQ(map->grids[9].values[33], KppValue(*file_, 76, 733, 162 + 33));
  // The gold grid at 58 is the gold's entry with itself.
  EXPECT_EQ(MapGridName(map->grids[4]), "+KI");
  EXPECT_EQ(map->grids[4].values[67], KppValue(*file_, 76, 733, 733));
  // White's king on 51 holding 3 pawns (its own hand, feature 3): black's
  // rook on 28 (square 70) is the opponent's rook on viewed square 10,
  // negated.
  ASSERT_TRUE(BuildTableMap(*file_, Request("-51OU:-FU*3"), map.get(), &error));
  EXPECT_EQ(MapGridName(map->grids[7]), "+HI");
  EXPECT_EQ(map->grids[7].values[70], -KppValue(*file_, 76, 3, 1233 + 10));
  EXPECT_EQ(MapHandName(map->hands[7]), "-FU*");
  EXPECT_EQ(map->hands[7].values[3], -KppValue(*file_, 76, 3, 3));
  EXPECT_EQ(map->hands[0].values[18], -KppValue(*file_, 76, 3, 19 + 18));
}

TEST_F(TableMapTest, KkpMapsMatchTheBreakdownsTermsOfOnePiece) {
  auto map = std::make_unique<TableMap>();
  std::string error;
  for (const char* text : {"+59OU:-51OU", "-51OU:+59OU"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(BuildTableMap(*file_, Request(text), map.get(), &error)) << error;
    const Side side = map->request.king.side;
    EXPECT_TRUE(map->kkp);
    ASSERT_EQ(map->grid_count, 9);
    ASSERT_EQ(map->hand_count, 7);
    auto list = std::make_unique<FeatureList>();
    int checked = 0;
    for (int g = 0; g < map->grid_count; ++g) {
      const MapGrid& grid = map->grids[g];
      EXPECT_EQ(grid.side, side);
      EXPECT_FALSE(grid.present[kBlackKing]);
      EXPECT_FALSE(grid.present[kWhiteKing]);
      for (int s = 0; s < kSquares; ++s) {
        if (!grid.present[s]) continue;
        Position position = KingsOnly(kBlackKing, kWhiteKing);
        Put({side, grid.kind, s, 0}, &position);
        BuildFeatureList(position, *file_, list.get());
        EXPECT_EQ(grid.values[s], list->kkp_by_cell[s]) << MapGridName(grid) << s;
        ++checked;
      }
    }
    for (int h = 0; h < map->hand_count; ++h) {
      for (int c = 0; c < map->hands[h].counts; ++c) {
        Position position = KingsOnly(kBlackKing, kWhiteKing);
        Put({side, h + 1, -1, c}, &position);
        BuildFeatureList(position, *file_, list.get());
        EXPECT_EQ(map->hands[h].values[c], list->kkp_by_cell[HandSlot(side, h)]);
        ++checked;
      }
    }
    // 693 squares where the nine kinds stand, 15 of them under a king; 45 counts.
    EXPECT_EQ(checked, 693 - 15 + 45);
  }
}

TEST_F(TableMapTest, BlanksWhereNoSuchPieceStands) {
  auto map = std::make_unique<TableMap>();
  std::string error;
  ASSERT_TRUE(BuildTableMap(*file_, Request("-51OU:+58KI"), map.get(), &error));
  const MapGrid& black_knights = map->grids[2];
  const MapGrid& white_knights = map->grids[11];
  ASSERT_EQ(MapGridName(black_knights), "+KE");
  ASSERT_EQ(MapGridName(white_knights), "-KE");
  // No other piece stands on the gold's square 67, which only the gold's
  // own grid shows: the entry of the gold with itself.
  for (int s = 0; s < kSquares; ++s) {
    EXPECT_EQ(black_knights.present[s], s >= 18 && s != kWhiteKing && s != 67) << s;
    EXPECT_EQ(white_knights.present[s], s < 63 && s != kWhiteKing && s != 67) << s;
    if (!black_knights.present[s]) {
      EXPECT_EQ(black_knights.values[s], 0);
    }
  }
  EXPECT_TRUE(map->grids[4].present[67]);
  EXPECT_FALSE(map->grids[4 + kMapKinds].present[67]);
  EXPECT_EQ(map->hands[5].counts, 3);  // bishops: 0..2
  EXPECT_EQ(map->hands[0].counts, 19);
}

// Each present square and count carries the feature its entry pairs with;
// a table's hands start at none held and have every count.
TEST_F(TableMapTest, EntriesCarryTheirFeatures) {
  auto map = std::make_unique<TableMap>();
  std::string error;
  for (const char* text : {"-51OU:+58KI", "+59OU:-51OU"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(BuildTableMap(*file_, Request(text), map.get(), &error)) << error;
    const Side side = map->request.king.side;
    auto feature = [&](const Place& p) {
      return map->kkp ? KkpFeatureOf(side, p) : KppFeatureOf(side, p);
    };
    for (int g = 0; g < map->grid_count; ++g) {
      const MapGrid& grid = map->grids[g];
      for (int s = 0; s < kSquares; ++s) {
        if (!grid.present[s]) continue;
        EXPECT_EQ(grid.features[s], feature({grid.side, grid.kind, s, 0})) << g << " " << s;
      }
    }
    for (int h = 0; h < map->hand_count; ++h) {
      const MapHand& hand = map->hands[h];
      EXPECT_EQ(hand.first_count, 0);
      for (int c = 0; c < hand.counts; ++c) {
        EXPECT_TRUE(hand.present[c]);
        EXPECT_EQ(hand.features[c], feature({hand.side, hand.hand_kind + 1, -1, c})) << h << " " << c;
      }
    }
  }
}

TEST_F(TableMapTest, ComparedMapsHoldAfterMinusBefore) {
  const EvalFile after = PatternFile(dir_->File("after.bin"), 5);
  auto map = std::make_unique<TableMap>();
  std::string error;
  ASSERT_TRUE(CompareTableMap(*file_, after, Request("-51OU:+58KI"), map.get(), &error));
  EXPECT_TRUE(map->compared);
  const MapGrid& grid = map->grids[0];
  ASSERT_TRUE(grid.present[40]);
  const int32_t before = -KppValue(*file_, 76, 747 + 13, 162 + 40);
  const int32_t later = -KppValue(after, 76, 747 + 13, 162 + 40);
  EXPECT_EQ(grid.before[40], before);
  EXPECT_EQ(grid.after[40], later);
  EXPECT_EQ(grid.values[40], later - before);
  EXPECT_EQ(MapLargestMagnitude(*map), 5);
}

TEST(TableMap, RefusesPiecesWithoutAFeature) {
  const EvalFile none;
  auto map = std::make_unique<TableMap>();
  const Place king = {kBlack, kKing, 76, 0};
  const struct {
    Place piece;
    const char* why;
  } rows[] = {
      {{kWhite, kPawn, -1, 19}, "no feature for that count"},
      {{kBlack, kBishop, -1, 3}, "no feature for that count"},
      {{kBlack, kPawn, 4, 0}, "no feature for that piece"},
      {{kWhite, kKnight, 70, 0}, "no feature for that piece"},
      {{kBlack, kGold, 76, 0}, "KING's square"},
      {{kBlack, kKing, 4, 0}, "other side's"},
      {{kWhite, kKing, 76, 0}, "KING's square"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(BuildTableMap(none, {king, row.piece}, map.get(), &error)) << row.why;
    EXPECT_NE(error.find(row.why), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(BuildTableMap(none, {{kBlack, kGold, 76, 0}, {kWhite, kKing, 4, 0}}, map.get(),
                             &error));
  EXPECT_NE(error.find("not a king"), std::string::npos) << error;
}

}  // namespace
}  // namespace fvscope
