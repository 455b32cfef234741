// A piece's squares against the same positions set up by hand and evaluated
// one by one, under a network, a table and a KPPT set; a KPPT set of known
// entries against the values they predict.
#include "eval/piece_squares.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test/eval_files.h"
#include "test/positions.h"
#include "test/scratch_dir.h"
#include "tools/sample_kppt.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

// parts as a loaded network.
Evaluator InMemoryNetwork(const NetworkParts& parts) {
  Evaluator file;
  file.kind = EvalKind::kNetwork;
  file.network = NetworkOfParts(parts);
  return file;
}

int32_t ValueOf(const Evaluator& file, const Position& p, Side to_move) {
  PositionFigures figures{};
  std::string error;
  EXPECT_TRUE(EvaluatePosition(file, p, to_move, &figures, &error)) << error;
  return figures.value;
}

// Kings on 59 and 51, a black gold on 58, black pawns on 77 and 27, a white
// pawn on 33; black holds a pawn and a silver.
Position HandPosition() {
  Position p = KingsOnly(SquareOf(5, 9), SquareOf(5, 1));
  p.cells[SquareOf(5, 8)] = kGold;
  p.cells[SquareOf(7, 7)] = kPawn;
  p.cells[SquareOf(2, 7)] = kPawn;
  p.cells[SquareOf(3, 3)] = -kPawn;
  p.cells[HandSlot(kBlack, 0)] = 1;
  p.cells[HandSlot(kBlack, 3)] = 1;
  return p;
}

// Checks found against each square's position built by place(p, s).
template <typename Place>
void ExpectSquares(const Evaluator& file, const Position& p, Side to_move, const char* text,
                   Place place, const std::vector<int>& blank) {
  SquaresPiece piece;
  std::string error;
  ASSERT_TRUE(ParseSquaresPiece(text, &piece, &error)) << error;
  EXPECT_EQ(SquaresPieceName(piece), text);
  PieceSquares found;
  ASSERT_TRUE(FindPieceSquares(file, p, to_move, piece, &found, &error)) << error;
  const int32_t now = ValueOf(file, p, to_move);
  EXPECT_EQ(found.value, now);
  int present = 0;
  for (int s = 0; s < kSquares; ++s) {
    const bool expect_blank = p.cells[s] != 0 || std::find(blank.begin(), blank.end(), s) != blank.end();
    ASSERT_EQ(found.present[s], !expect_blank) << text << " square " << s;
    if (expect_blank) continue;
    ++present;
    Position moved = p;
    place(&moved, s);
    EXPECT_EQ(found.values[s], ValueOf(file, moved, to_move)) << text << " square " << s;
    EXPECT_EQ(found.changes[s], found.values[s] - now);
  }
  ASSERT_EQ(found.count, present);
  const int sign = piece.side == kBlack ? 1 : -1;
  for (int i = 1; i < found.count; ++i) {
    EXPECT_GE(sign * found.ranked[i - 1].change, sign * found.ranked[i].change);
  }
}

void ExpectEveryPiece(const Evaluator& file) {
  const Position p = HandPosition();
  const int gold = SquareOf(5, 8), bk = SquareOf(5, 9);
  for (Side to_move : kSides) {
    ExpectSquares(file, p, to_move, "+58KI", [&](Position* m, int s) {
      m->cells[gold] = 0;
      m->cells[s] = kGold;
    }, {});
    // A dropped pawn: never on rank 1, nor on the files of 77 and 27.
    std::vector<int> no_pawn;
    for (int s = 0; s < kSquares; ++s) {
      if (RankOf(s) == 1 || FileOf(s) == 7 || FileOf(s) == 2) no_pawn.push_back(s);
    }
    ExpectSquares(file, p, to_move, "+FU*", [](Position* m, int s) {
      m->cells[HandSlot(kBlack, 0)] = 0;
      m->cells[s] = kPawn;
    }, no_pawn);
    // The pawn of 77 may move along its own file, not onto 2's file or rank 1.
    std::vector<int> pawn_blank;
    for (int s = 0; s < kSquares; ++s) {
      if (RankOf(s) == 1 || FileOf(s) == 2) pawn_blank.push_back(s);
    }
    ExpectSquares(file, p, to_move, "+77FU", [](Position* m, int s) {
      m->cells[SquareOf(7, 7)] = 0;
      m->cells[s] = kPawn;
    }, pawn_blank);
    // The king moves its view: every feature changes.
    ExpectSquares(file, p, to_move, "+59OU", [&](Position* m, int s) {
      m->cells[bk] = 0;
      m->cells[s] = kKing;
      m->cells[kBlackKingCell] = static_cast<int8_t>(s);
    }, {});
    std::vector<int> white_pawn;
    for (int s = 0; s < kSquares; ++s) {
      if (RankOf(s) == 9) white_pawn.push_back(s);
    }
    ExpectSquares(file, p, to_move, "-33FU", [](Position* m, int s) {
      m->cells[SquareOf(3, 3)] = 0;
      m->cells[s] = -kPawn;
    }, white_pawn);
  }
}

TEST(PieceSquares, EachSquareIsThePositionSetUpByHandUnderANetwork) {
  const NetworkParts parts = RandomNetwork({256, 32, 32}, 7);
  ExpectEveryPiece(InMemoryNetwork(parts));
}

TEST(PieceSquares, EachSquareIsThePositionSetUpByHandUnderATable) {
  ScratchDir dir;
  const std::string path = dir.File("fv.bin");
  // Entries of the gold, the pawns and the kings' squares, so that squares differ.
  std::vector<std::pair<int64_t, int16_t>> values;
  for (int f = 1; f < 1400; f += 7) values.push_back({KppOffset(SquareOf(5, 9), f, (f * 13) % 1400), int16_t(f % 300 - 150)});
  for (int g = 0; g < 1400; g += 5) values.push_back({KkpOffset(SquareOf(5, 9), FlipSquare(SquareOf(5, 1)), g), int16_t(g % 97 - 40)});
  WriteEvalFile(path, values);
  Evaluator file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvaluator(path, EvalLoadOptions{}, &file, &error, &warning)) << error;
  ExpectEveryPiece(file);
  CloseEvaluator(&file);
}

TEST(PieceSquares, EachSquareIsThePositionSetUpByHandUnderAKpptSet) {
  auto sample = std::make_unique<SampleKppt>();
  MakeSampleKppt(KpptLayout::kKppt16, 11, sample.get());
  Evaluator file;
  file.kind = EvalKind::kKppt;
  file.kppt = SampleKpptSet(*sample);
  ExpectEveryPiece(file);
}

// Zeros but for KKP of black's gold on each square (a different whole
// number of points per square) and the pair of that gold and the pawn on 77
// (2 points on the board, 1 to the side to move): the gold's value on each
// square is the material, its square's points and the pair's.
TEST(PieceSquares, AKpptSetOfKnownEntriesGivesThePredictedValues) {
  auto sample = std::make_unique<SampleKppt>();
  sample->layout = KpptLayout::kKppt32;
  sample->kk.assign(KkFileBytes(sample->layout), 0);
  sample->kkp.assign(KkpFileBytes(sample->layout), 0);
  sample->kpp.assign(KppFileBytes(sample->layout), 0);
  const auto put = [](std::vector<uint8_t>* bytes, int64_t element, int width, int32_t v) {
    for (int b = 0; b < width; ++b) (*bytes)[element * width + b] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b));
  };
  const int bk = FeatureSquare(SquareOf(5, 9)), wk = FeatureSquare(SquareOf(5, 1));
  const auto points = [](int s) { return (s * 7) % 23 - 11; };
  const int pawn = BoardFeature(kBlack, kPawn, SquareOf(7, 7));
  for (int s = 0; s < kSquares; ++s) {
    const int gold = BoardFeature(kBlack, kGold, s);
    put(&sample->kkp, ((int64_t{bk} * kSquares + wk) * kPieceFeatures + gold) * 2, 4, 32 * points(s));
    for (auto [a, b] : {std::pair{gold, pawn}, std::pair{pawn, gold}}) {
      const int64_t e = (int64_t{bk} * kPieceFeatures + a) * kPieceFeatures + b;
      put(&sample->kpp, 2 * e, 2, 64);
      put(&sample->kpp, 2 * e + 1, 2, 32);
    }
  }
  Evaluator file;
  file.kind = EvalKind::kKppt;
  file.kppt = SampleKpptSet(*sample);
  // Black: a gold, two pawns, a held pawn and silver; white: a pawn.
  const int32_t material = 540 + 2 * 90 + 90 + 495 - 90;
  SquaresPiece piece;
  std::string error;
  ASSERT_TRUE(ParseSquaresPiece("+58KI", &piece, &error));
  for (Side to_move : kSides) {
    const int turn = to_move == kBlack ? 1 : -1;
    PieceSquares found;
    ASSERT_TRUE(FindPieceSquares(file, HandPosition(), to_move, piece, &found, &error)) << error;
    EXPECT_EQ(found.value, material + points(SquareOf(5, 8)) + 2 + turn);
    for (int s = 0; s < kSquares; ++s) {
      if (!found.present[s]) continue;
      EXPECT_EQ(found.values[s], material + points(s) + 2 + turn) << s;
    }
    EXPECT_EQ(found.count, kSquares - 6);  // every square but the six pieces' own
    EXPECT_EQ(points(found.ranked[0].square), 11);
  }
}

TEST(PieceSquares, RefusesAPieceThatIsNotThere) {
  const NetworkParts parts = RandomNetwork({256, 32, 32}, 8);
  const Evaluator file = InMemoryNetwork(parts);
  SquaresPiece piece;
  PieceSquares found;
  std::string error;
  for (const char* text : {"+57KI", "-58KI", "+GI*" /* held: fine */, "-FU*", "+KA*"}) {
    ASSERT_TRUE(ParseSquaresPiece(text, &piece, &error)) << text;
    const bool there = std::string(text) == "+GI*";
    EXPECT_EQ(FindPieceSquares(file, HandPosition(), kBlack, piece, &found, &error), there) << text;
  }
  for (const char* text : {"+OU*", "+5KI", "58KI", "+58XX", "+KI*2x", ""}) {
    EXPECT_FALSE(ParseSquaresPiece(text, &piece, &error)) << text;
  }
}

}  // namespace
}  // namespace fvscope
