#include "shogi/place_name.h"

#include <gtest/gtest.h>

#include <string>

namespace fvscope {
namespace {

TEST(ParsePlace, ReadsWhatPlaceNameWrites) {
  const struct {
    const char* text;
    Place place;
  } rows[] = {
      {"+59OU", {kBlack, kKing, 76, 0}}, {"-51OU", {kWhite, kKing, 4, 0}},
      {"+91KY", {kBlack, kLance, 0, 0}}, {"-19RY", {kWhite, kDragon, 80, 0}},
      {"+28TO", {kBlack, kProPawn, 70, 0}}, {"-FU*3", {kWhite, kPawn, -1, 3}},
      {"+HI*0", {kBlack, kRook, -1, 0}}, {"+FU*18", {kBlack, kPawn, -1, 18}},
      {"-KI*04", {kWhite, kGold, -1, 4}},
  };
  for (const auto& row : rows) {
    Place place;
    std::string error;
    ASSERT_TRUE(ParsePlace(row.text, &place, &error)) << row.text << ": " << error;
    EXPECT_EQ(place.side, row.place.side) << row.text;
    EXPECT_EQ(place.kind, row.place.kind) << row.text;
    EXPECT_EQ(place.square, row.place.square) << row.text;
    EXPECT_EQ(place.count, row.place.count) << row.text;
    if (std::string(row.text) != "-KI*04") {
      EXPECT_EQ(PlaceName(place), row.text);
    }
  }
}

TEST(ParsePlace, RefusesWithOneLine) {
  const struct {
    const char* text;
    const char* why;
  } rows[] = {
      {"", "empty"},
      {"59OU", "'+' (black) or '-'"},
      {"*59OU", "'+' (black) or '-'"},
      {"+59", "expected sign, file, rank"},
      {"+59OUX", "expected sign, file, rank"},
      {"+50KI", "off the board"},
      {"+0 KI", "off the board"},
      {"+A9KI", "off the board"},
      {"+58XX", "no piece is named"},
      {"+58ki", "no piece is named"},
      {"+XX*1", "no piece is named"},
      {"-FU*", "needs its count"},
      {"-FU*x", "not a number"},
      {"-FU*1 ", "not a number"},
      {"-FU*-1", "not a number"},
      {"-FU*19", "at most 18 pawns"},
      {"+KA*3", "at most 2 bishops"},
      {"+KI*99999999999", "at most 4 golds"},
      {"-TO*1", "promoted pawn cannot be held"},
      {"+OU*1", "king cannot be held"},
      {"+5\n8KI", "expected sign, file, rank"},
  };
  for (const auto& row : rows) {
    Place place;
    std::string error;
    EXPECT_FALSE(ParsePlace(row.text, &place, &error)) << row.text;
    EXPECT_NE(error.find(row.why), std::string::npos) << row.text << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(ParseMapRequest, KingAndPieceOrTheOtherKing) {
  MapRequest request;
  std::string error;
  ASSERT_TRUE(ParseMapRequest("-51OU:-FU*3", &request, &error)) << error;
  EXPECT_EQ(PlaceName(request.king), "-51OU");
  EXPECT_EQ(PlaceName(request.piece), "-FU*3");
  ASSERT_TRUE(ParseMapRequest("+59OU:-51OU", &request, &error)) << error;
  EXPECT_EQ(request.piece.kind, kKing);
  EXPECT_EQ(request.piece.side, kWhite);
}

TEST(ParseMapRequest, RefusesWithOneLine) {
  const struct {
    const char* text;
    const char* why;
  } rows[] = {
      {"+59OU", "expected KING:PIECE"},
      {"+59OU:", "empty"},
      {":+58KI", "empty"},
      {"+58KI:+59OU", "is not a king"},
      {"+FU*1:+58KI", "is not a king"},
      {"+59OU:+59KI", "king's square 59"},
      {"+59OU:-59OU", "king's square 59"},
      {"+59OU:+51OU", "both kings are black's"},
      {"+59OU:+51FU", "black pawn can never stand on 51"},
      {"+59OU:+11KY", "black lance can never stand on 11"},
      {"+59OU:+22KE", "black knight can never stand on 22"},
      {"-51OU:-58KE", "white knight can never stand on 58"},
      {"-51OU:-19FU", "white pawn can never stand on 19"},
      {"+59OU:-FU*19", "at most 18 pawns"},
      {"+59OU:+58KI:+57KI", "expected sign, file, rank"},
  };
  for (const auto& row : rows) {
    MapRequest request;
    std::string error;
    EXPECT_FALSE(ParseMapRequest(row.text, &request, &error)) << row.text;
    EXPECT_NE(error.find(row.why), std::string::npos) << row.text << ": " << error;
  }
}

}  // namespace
}  // namespace fvscope
