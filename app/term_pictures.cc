#include "app/term_pictures.h"

#include "app/file_family.h"
#include "eval/table/piece_shares.h"
#include "eval/table/table_scan.h"
#include "eval/table/term_tally.h"
#include "report/console.h"
#include "report/paths.h"

namespace fvscope {

namespace {

// Shares the leaf's evaluation among its pieces under each file and adds
// their picture over the leaf. Returns false, the failure printed, when the
// leaf cannot be shared.
bool AddPieceShares(const ModeInputs& inputs, const std::string& leaf_source, RunLog* log,
                    LeafAnalysis* leaf, std::vector<PictureJob>* pictures) {
  std::string error;
  const Side to_move = SideAfter(leaf->pv);
  if (!ComputeShares(*inputs.fv, leaf->leaf, to_move, &leaf->pieces, &error) ||
      (leaf->comparing &&
       !ComputeShares(*inputs.compare, leaf->leaf, to_move, &leaf->pieces_after, &error))) {
    Fail(log, leaf_source + ": " + error);
    leaf->pieces.count = 0;
    return false;
  }
  std::vector<CellLabel> labels;
  for (int i = 0; i < leaf->pieces.count; ++i) {
    const PieceShare& s = leaf->pieces.shares[i];
    const int64_t shown =
        leaf->comparing ? leaf->pieces_after.shares[i].half_units - s.half_units : s.half_units;
    labels.push_back({s.cell, ShareText(shown), shown >= 0});
  }
  if (pictures != nullptr) {
    pictures->push_back(LabelPictureJob(kPiecesPicturePath, leaf->leaf, std::move(labels)));
  }
  return true;
}

}  // namespace

void AddTermPictures(const Ranking& ranking, const Position* board,
                     std::vector<PictureJob>* pictures) {
  for (int r = 0; pictures != nullptr && r < ranking.count; ++r) {
    const RankedTerm& t = ranking.terms[r];
    pictures->push_back(TermPictureJob(RankPicturePath(r + 1),
                                       board != nullptr ? *board : ScanTermPosition(t), t.value,
                                       t.king, t.cell_a, t.cell_b));
  }
}

int AnalyseLeaf(const ModeInputs& inputs, const std::string& leaf_source, RunLog* log,
                LeafAnalysis* leaf, std::vector<PictureJob>* pictures) {
  std::string error;
  leaf->comparing = inputs.compare != nullptr;
  leaf->with_pieces = inputs.options->pieces;
  leaf->leaf = leaf->input;
  PlayPvLine(&leaf->pv, &leaf->leaf);
  leaf->reached = LeafStage::kLine;
  if (pictures != nullptr) {
    pictures->push_back(BoardPictureJob(kInputPicturePath, leaf->input));
    pictures->push_back(BoardPictureJob(kLeafPicturePath, leaf->leaf));
  }
  const Side to_move = SideAfter(leaf->pv);
  WarnKppAsymmetry(inputs, SlabsOf(leaf->leaf), log);
  if (!BreakDownPosition(*inputs.fv, leaf->leaf, to_move, &leaf->breakdown, &error)) {
    Fail(log, leaf_source + ": " + error);
    return 1;
  }
  const SortMode mode = SortModeOf(inputs.options->sort_mode);
  if (leaf->comparing) {
    if (!CompareFiles(*inputs.fv, *inputs.compare, leaf->leaf, to_move, mode, &leaf->comparison,
                      &error)) {
      Fail(log, leaf_source + ": " + error);
      return 1;
    }
  } else {
    RankBreakdown(leaf->breakdown, leaf->leaf, mode, &leaf->ranking);
  }
  leaf->reached = LeafStage::kBreakdown;
  AddTermPictures(ShownRanking(*leaf), &leaf->leaf, pictures);
  if (leaf->with_pieces && !AddPieceShares(inputs, leaf_source, log, leaf, pictures)) return 1;
  leaf->reached = LeafStage::kDone;
  return 0;
}

}  // namespace fvscope
