#include "shogi/packed_position.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shogi/sfen.h"

namespace fvscope {
namespace {

std::vector<uint8_t> Bytes(const std::string& text, bool hex) {
  std::vector<uint8_t> bytes;
  std::string spaced = text;
  for (char& c : spaced) if (c == ',') c = ' ';
  std::istringstream in(spaced);
  std::string word;
  while (in >> word) bytes.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, hex ? 16 : 10)));
  return bytes;
}

Position PositionOf(const char* sfen, Side* to_move) {
  GameRecord record;
  std::string error;
  EXPECT_TRUE(ParseSfen(sfen, &record, &error)) << error;
  *to_move = record.side_to_move;
  return record.start;
}

bool SamePosition(const Position& a, const Position& b) {
  for (int c = 0; c < kFilledCells; ++c) {
    if (a.cells[c] != b.cells[c]) return false;
  }
  return a.cells[kBlackKingCell] == b.cells[kBlackKingCell] &&
         a.cells[kWhiteKingCell] == b.cells[kWhiteKingCell];
}

struct Vector {
  const char* sfen;
  PackedFormat format;
  const char* bytes;
  bool hex;
};

// The vectors published with the formats.
constexpr const char* kHandicap =
    "lnsgkgsnl/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1";
const Vector kVectors[] = {
    {kHandicap, PackedFormat::kPsv,
     "89,164,81,34,12,171,68,252,44,167,68,56,94,137,240,72,132,87,34,60,167,68,56,86,137,248,88,"
     "70,137,48,188,126",
     false},
    {kHandicap, PackedFormat::kHcpe,
     "89,164,73,33,12,151,66,252,28,155,66,88,94,133,240,40,132,87,33,60,155,66,88,46,133,248,56,"
     "38,133,48,60,94",
     false},
    {kStartSfen, PackedFormat::kPsv,
     "58 a4 51 22 0c eb 67 22 7e 96 53 22 1c af 44 78 24 c2 2b 11 9e 53 22 1c eb 6f 22 3e 96 51 "
     "22 0c",
     true},
    {kStartSfen, PackedFormat::kHcpe,
     "58 a4 49 21 0c d7 57 21 7e 8e 4d 21 2c af 42 78 14 c2 ab 10 9e 4d 21 2c d7 5f 21 3e 8e 49 "
     "21 0c",
     true},
};

TEST(PackedPosition, PublishedVectorsDecodeAndEncode) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(std::string(v.sfen) + " " + PackedFormatName(v.format));
    const std::vector<uint8_t> bytes = Bytes(v.bytes, v.hex);
    ASSERT_EQ(bytes.size(), 32u);
    Side expected_side;
    const Position expected = PositionOf(v.sfen, &expected_side);
    Position decoded;
    Side side;
    const char* why = "";
    ASSERT_TRUE(DecodePackedPosition(bytes.data(), v.format, &decoded, &side, &why)) << why;
    EXPECT_EQ(side, expected_side);
    EXPECT_TRUE(SamePosition(decoded, expected));
    uint8_t encoded[kPackedPositionBytes];
    ASSERT_TRUE(EncodePackedPosition(expected, expected_side, v.format, encoded));
    EXPECT_EQ(std::vector<uint8_t>(encoded, encoded + 32), bytes);
    // Knights and silvers swap between the formats: the other table reads
    // another position (or none), never this one.
    const PackedFormat other =
        v.format == PackedFormat::kPsv ? PackedFormat::kHcpe : PackedFormat::kPsv;
    if (DecodePackedPosition(bytes.data(), other, &decoded, &side, &why)) {
      EXPECT_FALSE(SamePosition(decoded, expected));
    }
  }
}

// A random position reachable in the tables: kings apart, every other piece
// of the set on a square it can move from, in a hand, or out of play.
Position RandomPosition(std::mt19937* rng) {
  Position p;
  ClearPosition(&p);
  std::uniform_int_distribution<int> square(0, kSquares - 1), coin(0, 3);
  for (Side side : kSides) {
    int s;
    do s = square(*rng); while (p.cells[s] != 0);
    p.cells[s] = static_cast<int8_t>(side == kBlack ? kKing : -kKing);
    p.cells[KingCell(side)] = static_cast<int8_t>(s);
  }
  for (int h = 0; h < kHandKinds; ++h) {
    for (int n = 0; n < kPiecesInSet[h]; ++n) {
      const Side side = coin(*rng) % 2 == 0 ? kBlack : kWhite;
      const int where = coin(*rng);
      if (where == 0) continue;  // out of play
      if (where == 1) {
        AddToHand(&p, HandSlot(side, h), 1);
        continue;
      }
      int kind = h + 1;
      if (where == 3 && kind != kGold) kind = kPromotedKind[kind];
      int s;
      do s = square(*rng);
      while (p.cells[s] != 0 || RanksAhead(side, s) < RanksToMove(kind));
      p.cells[s] = static_cast<int8_t>(side == kBlack ? kind : -kind);
    }
  }
  return p;
}

TEST(PackedPosition, RandomPositionsRoundTripThroughBothFormats) {
  std::mt19937 rng(34);
  for (int i = 0; i < 2000; ++i) {
    const Position p = RandomPosition(&rng);
    const Side to_move = i % 2 == 0 ? kBlack : kWhite;
    const GameResult results[] = {GameResult::kBlackWins, GameResult::kWhiteWins,
                                  GameResult::kDraw};
    const GameResult result = results[i % 3];
    const int32_t score = static_cast<int32_t>(rng() % 60001) - 30000;
    for (PackedFormat format : {PackedFormat::kPsv, PackedFormat::kHcpe}) {
      uint8_t bytes[kPsvRecordBytes];
      ASSERT_TRUE(EncodePackedRecord(p, to_move, score, result, i, format, bytes));
      PackedRecord record;
      const char* why = "";
      ASSERT_TRUE(DecodePackedRecord(bytes, format, &record, &why)) << why;
      ASSERT_TRUE(SamePosition(record.position, p)) << i;
      EXPECT_EQ(record.to_move, to_move);
      EXPECT_EQ(record.score, to_move == kBlack ? score : -score);
      EXPECT_EQ(record.result, result);
      EXPECT_EQ(record.ply, format == PackedFormat::kPsv ? i : -1);
    }
  }
}

// A position block from a text of bits in stream order, zeros after it.
std::vector<uint8_t> Block(const std::string& bits) {
  std::vector<uint8_t> block(kPsvRecordBytes, 0);
  for (size_t i = 0; i < bits.size() && i < 256; ++i) {
    if (bits[i] == '1') block[i / 8] |= static_cast<uint8_t>(1 << (i % 8));
  }
  return block;
}

// Seven bits of a square, least significant first.
std::string Square7(int square) {
  std::string bits;
  for (int i = 0; i < 7; ++i) bits += (square >> i & 1) ? '1' : '0';
  return bits;
}

TEST(PackedPosition, RefusesWhatNoPositionHolds) {
  // Black's king on 5i (square 44), white's on 5a (36).
  const std::string kings = "0" + Square7(44) + Square7(36);
  const std::string empties(79, '0');
  struct Case {
    std::string bits;
    const char* why;
  };
  const Case cases[] = {
      {"0" + Square7(82) + Square7(36), "a king square over 81"},
      {"0" + Square7(81) + Square7(36), "no black king"},
      {"0" + Square7(44) + Square7(44), "both kings on one square"},
      // A black pawn on 1a, its last rank.
      {kings + "1000" + std::string(78, '0'), "a pawn or lance on its last rank"},
      // An empty board, then black pawns in hand to bit 256: 54 of 18.
      {kings + empties, "more pieces of a kind than the set holds"},
      // A black gold on 1a leaves a bit that ends inside a pawn's code.
      {kings + "111100" + std::string(78, '0') + std::string(156, '0') + "1",
       "the stream ends inside a hand code"},
      {kings + std::string(241, '1'), "the board's codes run past bit 256"},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> block = Block(c.bits);
    Position p;
    Side side;
    const char* why = "";
    EXPECT_FALSE(DecodePackedPosition(block.data(), PackedFormat::kPsv, &p, &side, &why))
        << c.why;
    EXPECT_STREQ(why, c.why);
  }
  // Result bytes outside their values.
  Side side;
  const Position start = PositionOf(kStartSfen, &side);
  uint8_t psv[kPsvRecordBytes], hcpe[kPsvRecordBytes];
  ASSERT_TRUE(EncodePackedRecord(start, side, 0, GameResult::kDraw, 0, PackedFormat::kPsv, psv));
  ASSERT_TRUE(
      EncodePackedRecord(start, side, 0, GameResult::kDraw, 0, PackedFormat::kHcpe, hcpe));
  PackedRecord record;
  const char* why = "";
  psv[38] = 2;
  EXPECT_FALSE(DecodePackedRecord(psv, PackedFormat::kPsv, &record, &why));
  hcpe[36] = 3;
  EXPECT_FALSE(DecodePackedRecord(hcpe, PackedFormat::kHcpe, &record, &why));
  hcpe[36] = 0x1d;  // flags in bits 2-4 are ignored: black won
  ASSERT_TRUE(DecodePackedRecord(hcpe, PackedFormat::kHcpe, &record, &why)) << why;
  EXPECT_EQ(record.result, GameResult::kBlackWins);
}

// The quick reading against the reference that checks each code, on valid
// blocks and on each with one bit flipped (most of them faulty): the same
// position, or the same fault named.
TEST(PackedPosition, QuickReadingAgreesWithTheCheckedOne) {
  std::mt19937 rng(71);
  int faults = 0;
  for (int i = 0; i < 3000; ++i) {
    const Position p = RandomPosition(&rng);
    for (PackedFormat format : {PackedFormat::kPsv, PackedFormat::kHcpe}) {
      uint8_t bytes[kPsvRecordBytes];
      ASSERT_TRUE(EncodePackedRecord(p, kBlack, 0, GameResult::kDraw, 0, format, bytes));
      for (int flip = -1; flip < 4; ++flip) {
        uint8_t block[kPsvRecordBytes];
        std::memcpy(block, bytes, sizeof block);
        if (flip >= 0) block[rng() % 32] ^= static_cast<uint8_t>(1 << (rng() % 8));
        Position quick, checked;
        Side quick_side, checked_side;
        const char* quick_why = "";
        const char* checked_why = "";
        const bool ok = DecodePackedPosition(block, format, &quick, &quick_side, &quick_why);
        ASSERT_EQ(ok, DecodeCheckingEachCode(block, format, &checked, &checked_side, &checked_why));
        if (ok) {
          ASSERT_TRUE(SamePosition(quick, checked)) << i;
          ASSERT_EQ(quick_side, checked_side);
        } else {
          ASSERT_STREQ(quick_why, checked_why);
          ++faults;
        }
      }
    }
  }
  EXPECT_GT(faults, 1000);
}

}  // namespace
}  // namespace fvscope
