#include "eval/table/piece_shares.h"

#include <memory>

namespace fvscope {

bool ComputePieceShares(const Position& position, const EvalFile& file, PieceShares* out,
                        std::string* error) {
  if (!CheckLeaf(position, error)) return false;
  auto list = std::make_unique<FeatureList>();
  BuildFeatureList(position, file, list.get());
  int64_t half_units[kFilledCells] = {};
  for (int cell = 0; cell < kFilledCells; ++cell) half_units[cell] = 2 * int64_t{list->kkp_by_cell[cell]};
  const int bk = position.cells[kBlackKingCell];
  const int wk_viewed = FlipSquare(position.cells[kWhiteKingCell]);
  for (int i = 0; i < list->count; ++i) {
    for (int j = 0; j <= i; ++j) {
      const int64_t a = KppValue(file, bk, list->black[i].feature, list->black[j].feature);
      const int64_t b = KppValue(file, wk_viewed, list->white[i].feature, list->white[j].feature);
      if (i == j) {
        half_units[list->black[i].cell] += 2 * a;
        half_units[list->white[i].cell] -= 2 * b;
      } else {
        half_units[list->black[i].cell] += a;
        half_units[list->black[j].cell] += a;
        half_units[list->white[i].cell] -= b;
        half_units[list->white[j].cell] -= b;
      }
    }
  }
  out->count = 0;
  for (int cell = 0; cell < kFilledCells; ++cell) {
    const int code = position.cells[cell];
    const bool piece = cell < kSquares ? code != 0 && IsPieceCode(code) && KindOf(code) != kKing
                                       : true;
    if (!piece || out->count >= kMaxFeatureEntries) continue;
    out->shares[out->count++] = {cell, code, half_units[cell]};
  }
  return true;
}

}  // namespace fvscope
