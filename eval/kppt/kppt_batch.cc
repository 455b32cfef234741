#include "eval/kppt/kppt_batch.h"

#include <string>

#include "eval/kppt/kppt_eval.h"

namespace fvscope {

void ResizeKpptBatch(KpptBatch* batch, int32_t count) {
  batch->count = count;
  const size_t views = 2 * static_cast<size_t>(count);
  batch->numbers.resize(views * kSetPieces);
  batch->king.resize(views);
  batch->taken.assign(count, 0);
  batch->rest_board.resize(count);
  batch->rest_turn.resize(count);
  batch->view_board.resize(views);
  batch->view_turn.resize(views);
  batch->by_king.resize(views);
}

namespace {

// Asks for the KK and KKP entries list's position reads: a row of KKP per
// pair of kings, far apart from one position to the next.
void PrefetchKkx(const KpptSet& set, const PieceFeatureList& list) {
  const int64_t bk = list.king[kBlack];
  const int64_t wk = kSquares - 1 - list.king[kWhite];
  const int64_t pair = 2 * set.kkp_bytes;
  const uint8_t* row = set.kkp + (bk * kSquares + wk) * kPieceFeatures * pair;
  for (int i = 0; i < list.count; ++i) __builtin_prefetch(row + list.view[kBlack][i].number * pair);
  if (set.kk != nullptr) __builtin_prefetch(set.kk + (bk * kSquares + wk) * 2 * set.kk_bytes);
}

}  // namespace

void PrepareKpptBatch(KpptBatch* batch, const KpptSet& set, const Position* positions,
                      const uint8_t* taken, int32_t begin, int32_t end) {
  // One position ahead: its lists built and its KKP entries asked for while
  // this one's are sorted and summed.
  PieceFeatureList lists[2];
  std::string error;
  const auto build = [&](int32_t i) {
    batch->taken[i] = taken[i] != 0 && BuildPieceFeatures(positions[i], &lists[i & 1], &error);
    if (batch->taken[i]) PrefetchKkx(set, lists[i & 1]);
  };
  if (begin < end) build(begin);
  for (int32_t i = begin; i < end; ++i) {
    if (i + 1 < end) build(i + 1);
    if (!batch->taken[i]) continue;
    const PieceFeatureList& list = lists[i & 1];
    for (Side view : kSides) {
      const int32_t v = 2 * i + view;
      batch->king[v] = static_cast<uint8_t>(list.king[view]);
      SortedNumbers(list, view, &batch->numbers[static_cast<size_t>(v) * kSetPieces]);
    }
    const KpptSum rest = KkxSum(set, list);
    batch->rest_board[i] = rest.board + int64_t{kKpptScale} * KpptListMaterial(list);
    batch->rest_turn[i] = rest.turn;
  }
}

void GroupKpptBatch(KpptBatch* batch) {
  int32_t counts[kSquares + 1] = {};
  for (int32_t i = 0; i < batch->count; ++i) {
    if (!batch->taken[i]) continue;
    ++counts[batch->king[2 * i] + 1];
    ++counts[batch->king[2 * i + 1] + 1];
  }
  for (int k = 0; k < kSquares; ++k) counts[k + 1] += counts[k];
  std::copy(counts, counts + kSquares + 1, batch->king_begin);
  for (int32_t i = 0; i < batch->count; ++i) {
    if (!batch->taken[i]) continue;
    for (int view = 0; view < 2; ++view) {
      batch->by_king[counts[batch->king[2 * i + view]]++] = 2 * i + view;
    }
  }
}

void SumKpptKing(KpptBatch* batch, const KpptSet& set, int king) {
  for (int32_t at = batch->king_begin[king]; at < batch->king_begin[king + 1]; ++at) {
    const int32_t v = batch->by_king[at];
    const KpptSum sum = SortedViewKpp(set, king, &batch->numbers[static_cast<size_t>(v) * kSetPieces]);
    batch->view_board[v] = sum.board;
    batch->view_turn[v] = sum.turn;
  }
}

int32_t KpptBatchValue(const KpptBatch& batch, int32_t i, Side to_move) {
  if (!batch.taken[i]) return 0;
  const int64_t board = batch.view_board[2 * i] - batch.view_board[2 * i + 1] + batch.rest_board[i];
  const int64_t turn = batch.view_turn[2 * i] + batch.view_turn[2 * i + 1] + batch.rest_turn[i];
  return KpptPoints(board, turn, to_move);
}

}  // namespace fvscope
