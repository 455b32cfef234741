#include "eval/table/breakdown.h"

#include <algorithm>
#include <memory>

#include "eval/table/eval_file.h"

namespace fvscope {

int MaterialOf(int code) { return code < 0 ? -kMaterialValue[-code] : kMaterialValue[code]; }

int32_t HandMaterial(const Position& position) {
  int32_t sum = 0;
  for (int h = 0; h < kHandKinds; ++h) {
    sum += (position.cells[HandSlot(kBlack, h)] - position.cells[HandSlot(kWhite, h)]) *
           kMaterialValue[h + 1];
  }
  return sum;
}

namespace {

bool IsBoardPiece(int code) { return code != 0 && IsPieceCode(code) && KindOf(code) != kKing; }

}  // namespace

bool CheckLeaf(const Position& position, std::string* error) {
  const int8_t* cells = position.cells;
  for (Side side : kSides) {
    const int king = cells[KingCell(side)];
    if (!IsSquare(king)) {
      *error = std::string("no ") + SideName(side) + " king (its king cell holds " +
               std::to_string(king) + ")";
      return false;
    }
    for (int h = 0; h < kHandKinds; ++h) {
      const int count = cells[HandSlot(side, h)];
      if (count < 0 || count > kMaxHandCount[h]) {
        *error = std::string(SideName(side)) + "'s hand holds " + std::to_string(count) + " " +
                 kPieceNames[h + 1] + ", a count the tables have no feature for (0.." +
                 std::to_string(kMaxHandCount[h]) + ")";
        return false;
      }
    }
  }
  int pieces = 0;
  for (int s = 0; s < kSquares; ++s) pieces += IsBoardPiece(cells[s]);
  if (pieces > kMaxBoardPieces) {
    *error = std::to_string(pieces) + " pieces besides the kings on the board; at most " +
             std::to_string(kMaxBoardPieces) + " fit the feature lists";
    return false;
  }
  return true;
}

int32_t MaterialSum(const Position& position) {
  int32_t sum = 0;
  for (int s = 0; s < kSquares; ++s) {
    if (IsPieceCode(position.cells[s])) sum += MaterialOf(position.cells[s]);
  }
  return sum + HandMaterial(position);
}

int32_t BuildFeatureList(const Position& position, const EvalFile& file, FeatureList* list) {
  const int8_t* c = position.cells;
  const int bk = c[kBlackKingCell];
  const int wk = c[kWhiteKingCell];
  const int wk_viewed = FlipSquare(wk);
  const int bk_viewed_by_white = FlipSquare(bk);
  int n = 0;
  for (int h = 0; h < kHandKinds; ++h) {
    const int black_slot = HandSlot(kBlack, h);
    const int white_slot = HandSlot(kWhite, h);
    list->black[n] = {FeatureIndex(kKppOwnHandBase[h] + c[black_slot]), int16_t(black_slot)};
    list->white[n] = {FeatureIndex(kKppOwnHandBase[h] + c[white_slot]), int16_t(white_slot)};
    ++n;
    list->black[n] = {FeatureIndex(kKppOpponentHandBase[h] + c[white_slot]), int16_t(white_slot)};
    list->white[n] = {FeatureIndex(kKppOpponentHandBase[h] + c[black_slot]), int16_t(black_slot)};
    ++n;
  }
  int32_t* kkp_by_cell = list->kkp_by_cell;
  std::fill(kkp_by_cell, kkp_by_cell + kFilledCells, 0);
  for (int s = 0; s < kSquares && n < kMaxFeatureEntries; ++s) {
    const int code = c[s];
    if (!IsBoardPiece(code)) continue;
    const int kind = KindOf(code);
    const int flipped = FlipSquare(s);
    if (code > 0) {
      list->black[n] = {FeatureIndex(kKppOwnBase[kind] + s), int16_t(s)};
      list->white[n] = {FeatureIndex(kKppOpponentBase[kind] + flipped), int16_t(s)};
      kkp_by_cell[s] = KkpValue(file, bk, wk, kKkpBase[kind] + s);
    } else {
      list->black[n] = {FeatureIndex(kKppOpponentBase[kind] + s), int16_t(s)};
      list->white[n] = {FeatureIndex(kKppOwnBase[kind] + flipped), int16_t(s)};
      kkp_by_cell[s] = -KkpValue(file, wk_viewed, bk_viewed_by_white, kKkpBase[kind] + flipped);
    }
    ++n;
  }
  for (int h = 0; h < kHandKinds; ++h) {
    kkp_by_cell[HandSlot(kBlack, h)] = KkpValue(file, bk, wk, kKkpHandBase[h] + c[HandSlot(kBlack, h)]);
    kkp_by_cell[HandSlot(kWhite, h)] =
        -KkpValue(file, wk_viewed, bk_viewed_by_white, kKkpHandBase[h] + c[HandSlot(kWhite, h)]);
  }
  list->count = n;
  int32_t kkp = 0;
  for (int cell = 0; cell < kFilledCells; ++cell) kkp += kkp_by_cell[cell];
  return kkp;
}

bool BreakDownLeaf(const Position& position, const EvalFile& file, LeafBreakdown* out,
                   std::string* error) {
  if (!CheckLeaf(position, error)) return false;
  const int bk = position.cells[kBlackKingCell];
  const int wk = position.cells[kWhiteKingCell];
  const int wk_viewed = FlipSquare(wk);

  out->kkp_sum = BuildFeatureList(position, file, &out->features);
  out->kpp_sum = 0;
  out->tally = {};
  const FeatureList& list = out->features;
  for (int i = 0; i < list.count; ++i) {
    for (int j = 0; j <= i; ++j) {
      const int32_t a = KppValue(file, bk, list.black[i].feature, list.black[j].feature);
      const int32_t b = KppValue(file, wk_viewed, list.white[i].feature, list.white[j].feature);
      out->kpp_sum += a - b;
      TallyPair(&out->tally, a, b, bk, wk, list.black[i].cell, list.black[j].cell,
                list.white[i].cell, list.white[j].cell);
    }
  }
  out->material = MaterialSum(position);
  out->value = (kFvScale * out->material + out->kpp_sum + out->kkp_sum) / kFvScale;
  return true;
}

PositionFigures FiguresOf(const LeafBreakdown& breakdown) {
  return {breakdown.kkp_sum, breakdown.kpp_sum, breakdown.material, breakdown.value};
}

}  // namespace fvscope
