// The one place a run asks which family its evaluation files are: the views
// that only a table has, and the options only a network takes.
#ifndef FVSCOPE_APP_FILE_FAMILY_H_
#define FVSCOPE_APP_FILE_FAMILY_H_

#include <string>

#include "app/command_line.h"
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

}  // namespace fvscope

#endif  // FVSCOPE_APP_FILE_FAMILY_H_
