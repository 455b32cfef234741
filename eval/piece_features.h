// The 1548 piece features that HalfKP networks and KPPT tables share: each
// piece but the kings, on a square or in hand, numbered from one side's
// view, and the 38 active features of each view of a position.
#ifndef FVSCOPE_EVAL_PIECE_FEATURES_H_
#define FVSCOPE_EVAL_PIECE_FEATURES_H_

#include <cstdint>
#include <string>

#include "shogi/types.h"

namespace fvscope {

// Feature numbers 0..1547 under one king square; 0 stands for a missing piece.
constexpr int kPieceFeatures = 1548;
constexpr int kMissingPieceFeature = 0;

// Pieces besides the kings in a full set: the active features of a view.
constexpr int kSetPieces = 38;

// Base of the k-th (k = 1..n) held piece of a hand kind (pawn..rook), held
// by the view's side (friend) or by the other (enemy): base + k - 1.
inline constexpr int kHandFriendBase[kHandKinds] = {1, 39, 49, 59, 69, 79, 85};
inline constexpr int kHandEnemyBase[kHandKinds] = {20, 44, 54, 64, 74, 82, 88};

// Base of a board piece by kind (promoted pawn, lance, knight and silver as
// gold); -1 for empty and the king. A piece's number is base + its square
// in the view's numbering.
inline constexpr int kBoardFriendBase[kPieceKinds + 1] = {
    -1, 90, 252, 414, 576, 738, 900, 1224, -1, 738, 738, 738, 738, 1062, 1386};
inline constexpr int kBoardEnemyBase[kPieceKinds + 1] = {
    -1, 171, 333, 495, 657, 819, 981, 1305, -1, 819, 819, 819, 819, 1143, 1467};

// A square 0..80 in the numbering of these features, 9 x (file - 1) +
// (rank - 1): USI 1a is 0, 1i is 8, 9i is 80.
constexpr int FeatureSquare(int square) { return kFiles * (FileOf(square) - 1) + RankOf(square) - 1; }

// The square of a feature square (the inverse of FeatureSquare).
constexpr int SquareOfFeatureSquare(int fsq) { return SquareOf(fsq / kFiles + 1, fsq % kFiles + 1); }

// A feature square as side sees it: itself for black, 80 - it for white.
constexpr int ViewedFeatureSquare(Side view, int fsq) { return view == kBlack ? fsq : 80 - fsq; }

// One active feature of a view, and the piece it stands for.
struct PieceFeature {
  int16_t number;  // 0..1547
  int8_t cell;     // a square, a HandSlot, or -1 for a missing piece
  int8_t code;     // the piece on the square; in a hand, which one held (1..n)
};

// The active features of both views of a position: entry i of each view
// stands for the same piece. Board pieces in square order, then black's
// hand pawn..rook, then white's, then one per missing piece.
struct PieceFeatureList {
  int32_t count;           // kSetPieces for every position that fits
  int32_t king[2];         // each view's king square in the features' numbering
  PieceFeature view[2][kSetPieces];  // black's view, white's view
};

// Builds the feature lists of position. Returns false with *error when it
// has no king of a side or more pieces of a kind than a set holds.
bool BuildPieceFeatures(const Position& position, PieceFeatureList* list, std::string* error);

// Builds them as BuildPieceFeatures does, each piece checked as it comes:
// slower, the reference the quick building is held to.
bool BuildCheckingEachPiece(const Position& position, PieceFeatureList* list, std::string* error);

// The feature of a piece (code, on square; or held: hand kind and k) from view.
int BoardFeature(Side view, int code, int square);
int HandFeature(Side view, Side holder, int hand_kind, int k);

// What feature number f (0..1547) stands for from black's view: a piece on
// a square (cell, code) or the k-th held piece (cell a HandSlot, code k);
// cell -1 for 0 and the numbers no piece has. Returns false for those.
bool DecodePieceFeature(int f, int* cell, int* code);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_PIECE_FEATURES_H_
