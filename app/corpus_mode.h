// A corpus of games: every position of every game evaluated, a win rate
// fitted to the values, the use of the table's entries; on every core, by
// shards, and merged from the partial files of shards.
#ifndef FVSCOPE_APP_CORPUS_MODE_H_
#define FVSCOPE_APP_CORPUS_MODE_H_

#include <string>
#include <vector>

#include "app/mode.h"

namespace fvscope {

// The record files of the corpus paths: a file as it is, a folder's *.csa,
// *.kif, *.kifu, *.psv and *.hcpe files (every file with any_name; read
// recursively), each path's files in byte order of their names. Returns
// false with *error naming a path that cannot be read.
bool ListCorpusFiles(const std::vector<std::string>& paths, bool any_name,
                     std::vector<std::string>* files, std::string* error);

// Evaluates the corpus of --corpus (the games of --shard only), or merges
// the partials of --merge, into a CorpusAnalysis with its chart, coverage
// map and the pictures of its ranking of use; with --partial, writes what
// the shard found to that file instead (the result then is not done, and
// nothing else is written).
int RunCorpusMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures);

}  // namespace fvscope

#endif  // FVSCOPE_APP_CORPUS_MODE_H_
