// The breakdown of a leaf position's evaluation into material, KKP and KPP
// sums, with every KPP term tallied.
#ifndef FVSCOPE_EVAL_TABLE_BREAKDOWN_H_
#define FVSCOPE_EVAL_TABLE_BREAKDOWN_H_

#include <cstdint>
#include <string>

#include "eval/table/eval_file.h"
#include "eval/table/features.h"
#include "eval/ranking.h"
#include "eval/table/term_tally.h"
#include "shogi/types.h"

namespace fvscope {

// Most pieces besides the kings that the feature lists hold.
constexpr int kMaxBoardPieces = 38;
constexpr int kMaxFeatureEntries = 2 * kHandKinds + kMaxBoardPieces;

// One feature of a side's list and the Position cell it describes.
struct FeatureEntry {
  FeatureIndex feature;
  int16_t cell;
};

// The black and the white list, made together; both have count entries:
// 14 hand entries, then one per piece besides the kings in square order.
struct FeatureList {
  int32_t count;
  FeatureEntry black[kMaxFeatureEntries];
  FeatureEntry white[kMaxFeatureEntries];
  // The KKP term of the piece or hand kind at each cell, black's added and
  // white's subtracted; 0 for the kings and empty squares.
  int32_t kkp_by_cell[kFilledCells];
};

// What a breakdown finds.
struct LeafBreakdown {
  FeatureList features;
  int32_t kkp_sum;   // table units
  int32_t kpp_sum;   // table units
  int32_t material;  // points
  int32_t value;     // (32 * material + kpp_sum + kkp_sum) / 32
  TermTally tally;
};

// The figures of one position's evaluation.
struct PositionFigures {
  int32_t kkp_sum;   // table units
  int32_t kpp_sum;   // table units
  int32_t material;  // points
  int32_t value;     // points
};

// Checks that position fits the tables: both king cells 0..80, every hand
// count within the range the tables have features for (pawns 0..18, lances,
// knights, silvers and golds 0..4, bishops and rooks 0..2), at most 38
// pieces besides the kings. Returns false with *error saying what is wrong.
bool CheckLeaf(const Position& position, std::string* error);

// Material in points, positive when black has more; hands count by kind.
int32_t MaterialSum(const Position& position);

// The material of a piece code (IsPieceCode), negative for white's.
int MaterialOf(int code);

// The material of both hands, as MaterialSum counts it.
int32_t HandMaterial(const Position& position);

// Builds the feature lists of a checked position and returns its KKP sum.
int32_t BuildFeatureList(const Position& position, const EvalFile& file, FeatureList* list);

// Checks position and fills *out from the loaded tables. Returns false with
// *error saying what is wrong when the position does not fit the tables.
bool BreakDownLeaf(const Position& position, const EvalFile& file, LeafBreakdown* out,
                   std::string* error);

// The figures of a breakdown.
PositionFigures FiguresOf(const LeafBreakdown& breakdown);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_BREAKDOWN_H_
