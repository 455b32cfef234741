// The one place a run asks which family its evaluation files are: the views
// that only a table has, and the options only a network takes.
#ifndef FVSCOPE_APP_FILE_FAMILY_H_
#define FVSCOPE_APP_FILE_FAMILY_H_

#include <string>

#include "app/command_line.h"
#include "app/mode.h"
#include "eval/evaluator.h"

namespace fvscope {

// Checks that options ask of fv (and compare, when not null) only what their
// families give: a table scan, --map=KING:PIECE and --lambda need tables;
// --fv-scale and --neuron a network; --census --compare two files of one
// family (networks of one shape); --part KPPT sets; a map, a census or a
// scan with --compare two KPPT sets of one layout when either is one.
// Returns false with *error naming the file and why.
bool CheckFileFamilies(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
                       std::string* error);

// Warns on log of the first asymmetric KPP entry, in either file of inputs
// that is a KPPT set, of the slabs of king squares kings (in the features'
// numbering): the slabs the run reads.
void WarnKppAsymmetry(const ModeInputs& inputs, const std::vector<int>& kings, RunLog* log);

// The slabs every position of plies reads.
std::vector<int> SlabsOfPlies(const std::vector<RecordPly>& plies);

}  // namespace fvscope

#endif  // FVSCOPE_APP_FILE_FAMILY_H_
