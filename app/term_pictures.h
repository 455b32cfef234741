// The pictures of a ranking and of a leaf analysis.
#ifndef FVSCOPE_APP_TERM_PICTURES_H_
#define FVSCOPE_APP_TERM_PICTURES_H_

#include <string>
#include <vector>

#include "app/mode.h"
#include "eval/ranking.h"
#include "render/picture_batch.h"

namespace fvscope {

// Adds the picture of every ranked term, rank 1 first, each drawn with its
// value (a change for a ranking of changes) on board, or on the position its
// scan entry names when board is null.
void AddTermPictures(const Ranking& ranking, const Position* board,
                     std::vector<PictureJob>* pictures);

// Plays leaf->pv on leaf->input to the leaf and breaks the leaf down under
// the files of inputs: the ranking, or with a second file the comparison,
// and the pieces' shares when the options ask, with every picture of it.
// leaf->reached tells how far it got. Returns 1 when the leaf cannot be
// broken down (the failure, in *log, names leaf_source), else 0.
int AnalyseLeaf(const ModeInputs& inputs, const std::string& leaf_source, RunLog* log,
                LeafAnalysis* leaf, std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_TERM_PICTURES_H_
