// The feature spaces of the evaluation tables: the KPP features (one king
// and a pair of pieces or hand counts) and the KKP features (both kings and
// one piece or hand count), all seen from one side.
#ifndef FVSCOPE_EVAL_TABLE_FEATURES_H_
#define FVSCOPE_EVAL_TABLE_FEATURES_H_

#include <cstdint>

#include "shogi/types.h"

namespace fvscope {

// Number of KPP features: hand features 0..89, board features 90..1475.
constexpr int kKppFeatures = 1476;
constexpr int kKppHandFeatures = 90;

// Number of KKP features.
constexpr int kKkpFeatures = 738;

// A KPP feature from one side's viewpoint.
using FeatureIndex = uint16_t;

// KPP base of a piece kind of the viewpoint's own side; -1 for king and empty.
inline constexpr int kKppOwnBase[kPieceKinds + 1] = {
    -1, 81, 225, 360, 504, 666, 828, 1152, -1, 666, 666, 666, 666, 990, 1314};

// KPP base of a piece kind of the opponent.
inline constexpr int kKppOpponentBase[kPieceKinds + 1] = {
    -1, 162, 306, 441, 585, 747, 909, 1233, -1, 747, 747, 747, 747, 1071, 1395};

// KKP base of a piece kind (own pieces only).
inline constexpr int kKkpBase[kPieceKinds + 1] = {
    -1, 36, 108, 171, 252, 333, 414, 576, -1, 333, 333, 333, 333, 495, 657};

// KPP base of the own count of a hand kind (count 0 included).
inline constexpr int kKppOwnHandBase[kHandKinds] = {0, 38, 48, 58, 68, 78, 84};

// KPP base of the opponent's count of a hand kind.
inline constexpr int kKppOpponentHandBase[kHandKinds] = {19, 43, 53, 63, 73, 81, 87};

// KKP base of the own count of a hand kind.
inline constexpr int kKkpHandBase[kHandKinds] = {0, 19, 24, 29, 34, 39, 42};

// Largest count of a hand kind that has a feature of its own.
inline constexpr int kMaxHandCount[kHandKinds] = {18, 4, 4, 4, 4, 2, 2};

// The square as the side sees it: itself for black, turned half a turn for white.
constexpr int ViewedSquare(Side side, int square) {
  return side == kBlack ? square : FlipSquare(square);
}

// A feature turned back into what it describes, from black's viewpoint.
struct DecodedFeature {
  int cell;   // square 0..80 or HandSlot 81..94
  int value;  // PieceCode on the square, or the count in the slot
};

// Decodes a KPP feature 0..1475; features of promoted minor pieces decode as
// gold. Returns false for a feature outside 0..1475.
bool DecodeFeature(int feature, DecodedFeature* decoded);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_FEATURES_H_
