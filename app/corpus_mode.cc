#include "app/corpus_mode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "app/file_family.h"
#include "app/platform.h"
#include "app/position_input.h"
#include "app/term_pictures.h"
#include "eval/corpus/corpus_partial.h"
#include "eval/table/breakdown.h"
#include "eval/corpus/entry_use.h"
#include "eval/table/game_pass.h"
#include "eval/corpus/score_fit.h"
#include "eval/table/table_scan.h"
#include "eval/corpus/win_fit.h"
#include "eval/network/activations.h"
#include "eval/network/feature_use.h"
#include "render/activity_strip.h"
#include "render/chart.h"
#include "render/heat_map.h"
#include "render/thread_pool.h"
#include "report/console.h"
#include "report/output_file.h"
#include "report/paths.h"
#include "shogi/packed_position.h"
#include "shogi/record_file.h"

namespace fvscope {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxRecordFileBytes = size_t{256} << 20;
constexpr size_t kMaxPartialFileBytes = size_t{4} << 30;
constexpr size_t kBatchGames = 512;
// Moves of its games at which a batch closes, as at kBatchGames games: the
// positions kept for the use of entries stay within bounds.
constexpr size_t kBatchMoves = size_t{1} << 17;
// Records read and evaluated at once: their bytes and outcomes are all the
// memory a packed file takes, whatever its size. The use of entries adds a
// king square's sides of a block in one pass over its cells, so the more
// there are, the more reads each line of cells serves once fetched.
constexpr int64_t kBlockRecords = 131072;
// Records of a slice the threads share out at a time.
constexpr int kChunkRecords = 512;
// A packed file whose first kProbeRecords records are more than half
// refused is not of its format.
constexpr int64_t kProbeRecords = 1000;

// A game of the corpus as it was read.
struct CorpusGame {
  const std::string* path;
  int64_t file_game;  // from 1
  int64_t number;     // in the corpus, from 1
  Notation names;
  RecordGame game;
};

// What evaluating one game gave: why it was refused, or its figures.
struct GameOutcome {
  std::string why;
  std::vector<PositionFigures> figures;
  std::vector<PositionFigures> second;
  std::vector<Position> positions;  // with the use of entries, or under KPPT sets: those of figures
  std::vector<uint8_t> to_move;     // under KPPT sets: the side to move of each
  std::vector<int32_t> inputs;      // with the use of features: each view's distinct inputs
  int64_t views = 0;                // the views inputs lists
  std::unique_ptr<Activations> activations;  // with activations: those of figures
};

std::string LowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool IsGameRecordName(const fs::path& path) {
  const std::string extension = LowerExtension(path);
  return extension == ".csa" || extension == ".kif" || extension == ".kifu";
}

// The packed format of a corpus file: by its extension, else packed_option
// ("psv", "hcpe" or empty) for a file that is no game record. Returns false
// for a file of games.
bool PackedFormatOf(const fs::path& path, const std::string& packed_option,
                    PackedFormat* format) {
  const std::string extension = LowerExtension(path);
  if (extension.size() > 1 && PackedFormatOfName(extension.substr(1), format)) return true;
  if (packed_option.empty() || IsGameRecordName(path)) return false;
  return PackedFormatOfName(packed_option, format);
}

// Whether a king moves in more than a third of the plies from from_ply on:
// then each move ends the stays of most of a list's pairs, and the game's
// positions are cheaper added whole, each as a packed record is.
bool KingsWander(const std::vector<RecordPly>& plies, int from_ply) {
  int moves = 0;
  for (size_t q = from_ply + 1; q < plies.size(); ++q) {
    const int8_t* before = plies[q - 1].position.cells;
    const int8_t* after = plies[q].position.cells;
    moves += before[kBlackKingCell] != after[kBlackKingCell] ||
             before[kWhiteKingCell] != after[kWhiteKingCell];
  }
  return 3 * moves > static_cast<int>(plies.size()) - from_ply;
}

// True when every file of the run is a KPPT set: the games' positions are
// then evaluated a block at a time, grouped by king square, as packed
// records are.
bool KpptGames(const ModeInputs& inputs) {
  return EvaluatesGamesInBlocks(*inputs.fv) &&
         (inputs.compare == nullptr || EvaluatesGamesInBlocks(*inputs.compare));
}

// Plays and evaluates one game into *out; under KPPT sets only plays it,
// its positions checked and kept for ValueKpptGames.
void EvaluateCorpusGame(const ModeInputs& inputs, int from_ply, const CorpusGame& game,
                        EntryUse* use, bool list_inputs, bool count_activations,
                        GameOutcome* out) {
  const GameUse game_use{use, game.game.record.result, inputs.options->scale};
  if (!game.game.error.empty()) {
    out->why = game.game.error;
    return;
  }
  std::vector<RecordPly> plies;
  std::string error;
  if (!PlayRecordPlies(game.game.record, game.names, &plies, &error)) {
    out->why = error;
    return;
  }
  // Checked moves from a start with both kings and no impossible piece reach
  // no position without them; the evaluation checks the hands of each.
  if (!CheckAnalysablePosition(plies[0].position, &error)) {
    out->why = "ply 0: " + error;
    return;
  }
  if (static_cast<size_t>(from_ply) >= plies.size()) return;
  if (KpptGames(inputs)) {
    PieceFeatureList list;
    for (size_t q = from_ply; q < plies.size(); ++q) {
      if (!BuildPieceFeatures(plies[q].position, &list, &error)) {
        out->why = "ply " + std::to_string(plies[q].ply) + ": " + error;
        out->positions.clear();
        out->to_move.clear();
        return;
      }
      out->positions.push_back(plies[q].position);
      out->to_move.push_back(static_cast<uint8_t>(plies[q].to_move));
    }
    return;
  }
  const bool by_position = use != nullptr && KingsWander(plies, from_ply);
  if (count_activations) {
    out->activations = std::make_unique<Activations>();
    StartActivations(out->activations.get(), inputs.fv->network);
  }
  if (!EvaluatePlies(plies, from_ply, *inputs.fv, inputs.compare, &out->figures,
                    inputs.compare != nullptr ? &out->second : nullptr,
                    use != nullptr && !by_position ? &game_use : nullptr, &error,
                    out->activations.get())) {
    out->why = error;
    out->figures.clear();
    out->second.clear();
    out->activations.reset();
    return;
  }
  if (by_position) {
    out->positions.reserve(plies.size() - from_ply);
    for (size_t q = from_ply; q < plies.size(); ++q) out->positions.push_back(plies[q].position);
  }
  for (size_t q = from_ply; list_inputs && q < plies.size(); ++q) {
    ListPositionInputs(plies[q].position, &out->inputs);
    out->views += 2;
  }
}

// What the evaluated packed records of some chunks add to a corpus's
// figures, by evaluation file. The chunks count into kRecordSlots of these,
// each under its own lock, so that the counting runs on every thread; the
// sums are exact, so the order of chunks does not matter. Values within
// kNearValues of 0 are counted in arrays, the rest in the histograms: a
// histogram's node per record cost more than the sums.
constexpr int32_t kNearValues = 1 << 15;
struct RecordSums {
  std::mutex lock;
  std::vector<ResultCounts> near[2];  // value + kNearValues
  ValueHistogram values[2];
  ScoreSums scores[2];
};
constexpr int kRecordSlots = 4;

// Counts a record evaluated to value under file f.
void CountRecordValue(RecordSums* sums, int f, int32_t value, GameResult result) {
  if (value > -kNearValues && value < kNearValues) {
    std::vector<ResultCounts>& near = sums->near[f];
    if (near.empty()) near.resize(2 * kNearValues);
    CountResult(&near[value + kNearValues], result);
  } else {
    CountPosition(&sums->values[f], value, result);
  }
}

// The evaluation of a corpus as it goes: what was found, and the store of
// entry use.
struct CorpusPass {
  const ModeInputs* inputs;
  RunLog* log;
  CorpusPartial* found;
  EntryUse* use;  // null without usage
  FeatureUse* features;  // null without the use of features
  Activations* activations;  // null without --activations
  int threads;
  std::vector<CorpusGame> batch;
  size_t batch_moves = 0;  // of the games in batch
  int64_t bytes_total = 0;  // of every file, for the progress
  int64_t bytes_read = 0;
  // The packed records' counts, added to found once every file is read.
  std::unique_ptr<RecordSums[]> record_sums = std::make_unique<RecordSums[]>(kRecordSlots);
  std::unique_ptr<PositionBatch> game_batch = std::make_unique<PositionBatch>();
};

// Adds a refused game to what was found, with its warning.
void Refuse(CorpusPass* pass, const std::string& path, int64_t file_game, int64_t number,
            const std::string& why) {
  Warn(pass->log, path + ": game " + std::to_string(file_game) + ": " + why);
  pass->found->refused.push_back({path, file_game, number, why});
}

// Adds the reads of the grouped batch's sides to use, a whole slab at a time
// (its jobs would each pass over its cells) on every thread. Returns false
// when the store cannot take them.
bool AddSlabsUse(const PositionBatch& batch, int threads, EntryUse* use) {
  // The largest slabs first, so that no core is left alone with one at the end.
  int order[kSquares];
  std::iota(order, order + kSquares, 0);
  const auto sides = [&](int k) { return batch.slab_begin[k + 1] - batch.slab_begin[k]; };
  std::stable_sort(order, order + kSquares, [&](int a, int b) { return sides(a) > sides(b); });
  std::atomic<bool> failed{false};
  RunParallel(kSquares, threads, [&](int n) {
    const int k = order[n];
    std::string error;
    const SlabJob slab{k, batch.slab_begin[k], batch.slab_begin[k + 1]};
    if (slab.begin < slab.end && !AddBatchSlabReads(batch, slab, use, &error)) failed = true;
  });
  return !failed;
}

// Runs work(c, begin, end) on every thread for each slice c of records
// [0, count): [begin, end), kChunkRecords records long but for the last.
void RunChunks(int count, int threads, const std::function<void(int, int, int)>& work) {
  const int chunks = (count + kChunkRecords - 1) / kChunkRecords;
  RunParallel(chunks, threads, [&](int c) {
    work(c, c * kChunkRecords, std::min(count, (c + 1) * kChunkRecords));
  });
}

// Sets *taken to the next (game, ply) pairs of outcomes from (*game, *ply)
// on, at most kBlockRecords, refused games passed over, and moves (*game,
// *ply) past them. Returns false when none are left.
bool TakeGameBlock(const std::vector<GameOutcome>& outcomes, size_t* game, size_t* ply,
                   std::vector<std::pair<int, int>>* taken) {
  taken->clear();
  while (*game < outcomes.size() && static_cast<int64_t>(taken->size()) < kBlockRecords) {
    const GameOutcome& o = outcomes[*game];
    if (!o.why.empty() || *ply >= o.positions.size()) {
      ++*game;
      *ply = 0;
      continue;
    }
    taken->push_back({static_cast<int>(*game), static_cast<int>((*ply)++)});
  }
  return !taken->empty();
}

// Marks position i of the batch, ply of o's game, pulled when that game
// ended in a win, each of the first pulls files' residual (o's figures, then
// its second) toward it.
void PullTowardResult(const GameOutcome& o, int ply, GameResult result, int pulls,
                      int32_t scale, int i, PositionBatch* batch) {
  const bool decided = result == GameResult::kBlackWins || result == GameResult::kWhiteWins;
  batch->pulled[i] = decided;
  if (!decided) return;
  for (int f = 0; f < pulls; ++f) {
    const std::vector<PositionFigures>& figures = f == 0 ? o.figures : o.second;
    batch->prefix[f][2 * static_cast<size_t>(i) + 1] =
        ResidualUnits(figures[ply].value, result == GameResult::kBlackWins, scale);
  }
}

// Adds the use of entries of the batch's evaluated games: every position
// read once, as a packed record is, its residual that of the game's result.
// Returns false when the store cannot take them.
bool AddGamesUse(CorpusPass* pass, const std::vector<GameOutcome>& outcomes) {
  const int32_t scale = pass->inputs->options->scale;
  const int pulls = pass->use->pulls;
  PositionBatch* batch = pass->game_batch.get();
  size_t g = 0, q = 0;
  std::vector<std::pair<int, int>> taken;
  while (TakeGameBlock(outcomes, &g, &q, &taken)) {
    const int count = static_cast<int>(taken.size());
    ResizeBatch(batch, count);
    RunChunks(count, pass->threads, [&](int, int begin, int end) {
      for (int i = begin; i < end; ++i) {
        const auto [game, ply] = taken[i];
        const GameOutcome& o = outcomes[game];
        batch->positions[i] = o.positions[ply];
        batch->taken[i] = 1;
        PullTowardResult(o, ply, pass->batch[game].game.record.result, pulls, scale, i, batch);
      }
      PrepareBatch(batch, begin, end);
    });
    GroupBatch(batch);
    if (!AddSlabsUse(*batch, pass->threads, pass->use)) return false;
    RunChunks(count, pass->threads, [&](int, int begin, int end) {
      for (int i = begin; i < end; ++i) MarkBatchKkp(*batch, i, pass->use);
    });
  }
  return true;
}

// Evaluates the positions of the batch's played games under KPPT sets, a
// block of positions at a time grouped by king square, into their figures'
// values; with the store of entry use, adds their reads, each position
// pulled by the residual of its game's result. Returns false when the store
// cannot take them.
bool ValueKpptGames(CorpusPass* pass, std::vector<GameOutcome>* outcomes) {
  const ModeInputs& inputs = *pass->inputs;
  const int32_t scale = inputs.options->scale;
  EntryUse* use = pass->use;
  PositionBatch* batch = pass->game_batch.get();
  const ParallelFor parallel = [&](int n, const std::function<void(int)>& work) {
    RunParallel(n, pass->threads, work);
  };
  for (GameOutcome& o : *outcomes) {
    o.figures.assign(o.positions.size(), PositionFigures{});
    if (inputs.compare != nullptr) o.second.assign(o.positions.size(), PositionFigures{});
  }
  size_t g = 0, q = 0;
  std::vector<std::pair<int, int>> taken;
  while (TakeGameBlock(*outcomes, &g, &q, &taken)) {
    const int count = static_cast<int>(taken.size());
    ResizeBatch(batch, count);
    RunChunks(count, pass->threads, [&](int, int begin, int end) {
      for (int i = begin; i < end; ++i) {
        const auto [game, ply] = taken[i];
        batch->positions[i] = (*outcomes)[game].positions[ply];
        batch->to_move[i] = (*outcomes)[game].to_move[ply];
        batch->taken[i] = 1;
      }
    });
    ValueBatchApart(batch, count, *inputs.fv, 0, parallel);
    if (inputs.compare != nullptr) ValueBatchApart(batch, count, *inputs.compare, 1, parallel);
    RunChunks(count, pass->threads, [&](int, int begin, int end) {
      for (int i = begin; i < end; ++i) {
        const auto [game, ply] = taken[i];
        GameOutcome& o = (*outcomes)[game];
        o.figures[ply].value = batch->values_apart[0][i];
        if (inputs.compare != nullptr) o.second[ply].value = batch->values_apart[1][i];
        if (use != nullptr) {
          PullTowardResult(o, ply, pass->batch[game].game.record.result, use->pulls, scale, i,
                           batch);
        }
      }
    });
    std::string error;
    if (use != nullptr && !AddKpptBatchUse(*batch, count, use, parallel, &error)) return false;
  }
  return true;
}

// Evaluates the games of the batch on every thread and adds them, in order.
// Returns false, the failure printed, when the store of entry use cannot
// take their reads.
bool EvaluateBatch(CorpusPass* pass) {
  const int count = static_cast<int>(pass->batch.size());
  std::vector<GameOutcome> outcomes(count);
  const int from_ply = pass->found->from_ply;
  RunParallel(count, pass->threads, [&](int i) {
    EvaluateCorpusGame(*pass->inputs, from_ply, pass->batch[i], pass->use,
                       pass->features != nullptr, pass->activations != nullptr, &outcomes[i]);
  });
  CorpusPartial* found = pass->found;
  if (KpptGames(*pass->inputs)) {
    if (!ValueKpptGames(pass, &outcomes)) {
      Fail(pass->log, "the store of entry use cannot take the games' reads");
      return false;
    }
  } else if (pass->use != nullptr && !AddGamesUse(pass, outcomes)) {
    Fail(pass->log, "the store of entry use cannot take the games' reads");
    return false;
  }
  for (int i = 0; i < count; ++i) {
    const CorpusGame& game = pass->batch[i];
    const GameOutcome& outcome = outcomes[i];
    if (!outcome.why.empty()) {
      Refuse(pass, *game.path, game.file_game, game.number, outcome.why);
      continue;
    }
    const GameResult result = game.game.record.result;
    if (pass->features != nullptr) AddInputList(pass->features, outcome.inputs, outcome.views);
    if (outcome.activations != nullptr) {
      std::string unused;  // the shapes are the run's network's
      MergeActivations(pass->activations, *outcome.activations, &unused);
    }
    ++found->games;
    CountResult(&found->results, result);
    found->positions += static_cast<int64_t>(outcome.figures.size());
    for (const PositionFigures& f : outcome.figures) CountPosition(&found->values, f.value, result);
    for (const PositionFigures& f : outcome.second) {
      CountPosition(&found->compare_values, f.value, result);
    }
  }
  pass->batch.clear();
  pass->batch_moves = 0;
  if (pass->inputs->progress != nullptr) pass->inputs->progress->positions = found->positions;
  ProgressMeter* progress = &pass->log->progress;
  progress->counts.games = found->games + static_cast<int64_t>(found->refused.size());
  progress->counts.positions = found->positions;
  if (progress->counts.games_total > 0) {
    progress->counts.done =
        static_cast<double>(progress->counts.games) / progress->counts.games_total;
  }
  ShowProgress(progress);
  return true;
}

// What became of one record of a packed file.
struct RecordOutcome {
  const char* why;  // refused: why; else null
  bool left_out;    // under --from-ply
  GameResult result;
  int32_t score;
  int32_t value;
  int32_t second_value;
};

// Decodes records [begin, end) of bytes into outcomes and the batch's
// positions, taking those that are evaluated.
void DecodeRecords(const ModeInputs& inputs, const CorpusPartial& found, PackedFormat format,
                   const uint8_t* bytes, int begin, int end, PositionBatch* batch,
                   RecordOutcome* outcomes) {
  const int record_bytes = PackedRecordBytes(format);
  PackedRecord record;
  for (int i = begin; i < end; ++i) {
    RecordOutcome& out = outcomes[i];
    out.why = nullptr;
    out.left_out = false;
    batch->taken[i] = 0;
    if (!DecodePackedRecord(bytes + int64_t{i} * record_bytes, format, &record, &out.why)) {
      continue;
    }
    if (record.ply >= 0 && record.ply < found.from_ply) {
      out.left_out = true;
      continue;
    }
    // A decoded position has both kings and no kind beyond the set, so the
    // tables can evaluate it.
    out.result = record.result;
    out.score = record.score;
    batch->positions[i] = record.position;
    batch->to_move[i] = static_cast<uint8_t>(record.to_move);
    batch->taken[i] = 1;
  }
  PrepareBatchSums(batch, begin, end, *inputs.fv, inputs.compare);
}

// The values of records [begin, end) of the batch, and with use their
// residuals (toward lambda * the score's curve + (1 - lambda) * the result;
// with lambda below 1 only decided records pull) and KKP marks.
void ValueRecords(const ModeInputs& inputs, const CorpusPartial& found, int begin, int end,
                  EntryUse* use, PositionBatch* batch, RecordOutcome* outcomes) {
  const double lambda = found.lambda;
  const int32_t scale = found.scale;
  for (int i = begin; i < end; ++i) {
    if (!batch->taken[i]) continue;
    RecordOutcome& out = outcomes[i];
    out.value = BatchValue(*batch, i, *inputs.fv, 0);
    if (inputs.compare != nullptr) out.second_value = BatchValue(*batch, i, *inputs.compare, 1);
    if (use == nullptr) continue;
    // A KPPT set's marks go with its reads (AddKpptBatchUse).
    if (AddsUseBySlabs(*inputs.fv)) MarkBatchKkp(*batch, i, use);
    const bool decided =
        out.result == GameResult::kBlackWins || out.result == GameResult::kWhiteWins;
    batch->pulled[i] = lambda >= 1 || decided;
    if (!batch->pulled[i]) continue;
    const double y = out.result == GameResult::kBlackWins ? 1.0 : 0.0;
    const double q = 1.0 / (1.0 + std::exp(-static_cast<double>(out.score) / scale));
    const double target = lambda >= 1 ? q : lambda * q + (1 - lambda) * y;
    const int32_t values[2] = {out.value, out.second_value};
    for (int f = 0; f < use->pulls; ++f) {
      batch->prefix[f][2 * static_cast<size_t>(i) + 1] =
          ResidualTowardUnits(values[f], target, scale);
    }
  }
}

// Counts the evaluated records of [begin, end) into *sums under the first
// files evaluation files.
void CountRecords(const CorpusPartial& found, int files, const RecordOutcome* outcomes,
                  int begin, int end, RecordSums* sums) {
  std::lock_guard<std::mutex> hold(sums->lock);
  for (int i = begin; i < end; ++i) {
    const RecordOutcome& o = outcomes[i];
    if (o.why != nullptr || o.left_out) continue;
    const int32_t values[2] = {o.value, o.second_value};
    for (int f = 0; f < files; ++f) {
      CountRecordValue(sums, f, values[f], o.result);
      CountScore(&sums->scores[f], values[f], o.score, found.scale);
    }
  }
}

// Adds the slots' sums to found. Returns false with *error when a count
// would pass its bound.
bool AddRecordSums(RecordSums* slots, CorpusPartial* found, std::string* error) {
  ValueHistogram* values[2] = {&found->values, &found->compare_values};
  ScoreSums* scores[2] = {&found->score, &found->compare_score};
  for (int r = 0; r < kRecordSlots; ++r) {
    for (int f = 0; f < 2; ++f) {
      const std::vector<ResultCounts>& near = slots[r].near[f];
      for (size_t v = 0; v < near.size(); ++v) {
        if (TotalOf(near[v]) > 0) {
          slots[r].values[f].emplace_hint(slots[r].values[f].end(),
                                          static_cast<int32_t>(v) - kNearValues, near[v]);
        }
      }
      if (!MergeHistogram(values[f], slots[r].values[f], error) ||
          !MergeScoreSums(scores[f], slots[r].scores[f], error)) {
        return false;
      }
    }
  }
  return true;
}

// Warns of what the packed files of found could not read: the bytes after
// the last whole record and the first refused records, file by file.
void WarnPackedRefusals(const CorpusPartial& found, RunLog* log) {
  for (const PackedFileCounts& f : found.packed) {
    if (f.tail_bytes > 0) {
      Warn(log, f.path + ": " + std::to_string(f.tail_bytes) + " bytes after its last whole " +
                    PackedFormatName(static_cast<PackedFormat>(f.format)) +
                    " record are left out");
    }
    for (const RefusedRecord& r : f.named) {
      Warn(log, f.path + ": record " + std::to_string(r.record) + ": " + r.why);
    }
  }
}

// Reads the shard's slice of a packed file and evaluates its records.
// Returns false, the failure printed, when the file does not read as its
// format.
bool EvaluatePackedFile(CorpusPass* pass, const std::string& path, PackedFormat format) {
  CorpusPartial* found = pass->found;
  const int record_bytes = PackedRecordBytes(format);
  PackedFileCounts counts;
  counts.path = path;
  counts.format = static_cast<int8_t>(format);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    Fail(pass->log, path + ": cannot be read");
    return false;
  }
  const int64_t size = st.st_size;
  counts.file_records = size / record_bytes;
  counts.tail_bytes = static_cast<int32_t>(size % record_bytes);
  const int32_t shard = found->shard_index, shards = found->shard_count;
  const int64_t n = counts.file_records;
  const int64_t begin = static_cast<int64_t>(static_cast<__int128>(shard - 1) * n / shards);
  const int64_t end = static_cast<int64_t>(static_cast<__int128>(shard) * n / shards);
  const int block = static_cast<int>(std::min(kBlockRecords, std::max<int64_t>(end - begin, 1)));
  std::vector<uint8_t> bytes(static_cast<size_t>(block) * record_bytes);
  std::vector<RecordOutcome> outcomes(block);
  auto batch = std::make_unique<PositionBatch>();
  ResizeBatch(batch.get(), block);
  int64_t probe_refused = 0;
  ProgressMeter* progress = &pass->log->progress;
  for (int64_t at = begin; at < end;) {
    const int count = static_cast<int>(std::min(kBlockRecords, end - at));
    const size_t want = static_cast<size_t>(count) * record_bytes;
    size_t got = 0;
    while (got < want) {
      const ssize_t r = pread(fd, bytes.data() + got, want - got,
                              static_cast<off_t>(at * record_bytes + static_cast<int64_t>(got)));
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    if (got < want) {
      close(fd);
      Fail(pass->log, path + ": cannot be read past record " + std::to_string(at + 1));
      return false;
    }
    RunChunks(count, pass->threads, [&](int, int begin, int end) {
      DecodeRecords(*pass->inputs, *found, format, bytes.data(), begin, end, batch.get(),
                    outcomes.data());
    });
    for (int i = count; i < block; ++i) batch->taken[i] = 0;
    for (int i = count; i < block; ++i) batch->sides[2 * i].count = batch->sides[2 * i + 1].count = 0;
    const ModeInputs& inputs = *pass->inputs;
    // The slabs' sums are a table's: a run without one has none to group.
    if (TableOf(inputs.fv) != nullptr || TableOf(inputs.compare) != nullptr) {
      GroupBatch(batch.get());
      const int jobs = static_cast<int>(batch->jobs.size());
      RunParallel(jobs, pass->threads, [&](int j) {
        SumBatchSlab(batch.get(), batch->jobs[j], TableOf(inputs.fv), TableOf(inputs.compare));
      });
    }
    const ParallelFor parallel = [&](int n, const std::function<void(int)>& work) {
      RunParallel(n, pass->threads, work);
    };
    ValueBatchApart(batch.get(), count, *inputs.fv, 0, parallel, pass->activations, pass->features);
    if (inputs.compare != nullptr) ValueBatchApart(batch.get(), count, *inputs.compare, 1, parallel);
    if (pass->features != nullptr) CountBatchInputs(batch.get(), count, pass->features, parallel);
    RunChunks(count, pass->threads, [&](int c, int begin, int end) {
      ValueRecords(inputs, *found, begin, end, pass->use, batch.get(), outcomes.data());
      CountRecords(*found, inputs.compare != nullptr ? 2 : 1, outcomes.data(), begin, end,
                   &pass->record_sums[c % kRecordSlots]);
    });
    if (pass->use != nullptr) {
      std::string error;
      const bool added = AddsUseBySlabs(*inputs.fv)
                             ? AddSlabsUse(*batch, pass->threads, pass->use)
                             : AddKpptBatchUse(*batch, count, pass->use, parallel, &error);
      if (!added) {
        close(fd);
        Fail(pass->log, path + ": the store of entry use cannot take its reads");
        return false;
      }
    }
    for (int i = 0; i < count; ++i) {
      const RecordOutcome& o = outcomes[i];
      const int64_t number = at + i + 1;
      if (o.why != nullptr) {
        ++counts.refused;
        if (number - begin <= kProbeRecords) ++probe_refused;
        if (counts.named.size() < static_cast<size_t>(kNamedRefusedRecords)) {
          counts.named.push_back({number, o.why});
        }
        continue;
      }
      if (o.left_out) {
        ++counts.left_out;
        continue;
      }
      ++counts.evaluated;
    }
    const int64_t probed = std::min(end - begin, kProbeRecords);
    if (at - begin < kProbeRecords && at + count - begin >= probed && 2 * probe_refused > probed) {
      close(fd);
      Fail(pass->log, path + ": " + std::to_string(probe_refused) + " of its first " +
                          std::to_string(probed) + " records do not decode: it does not read as " +
                          PackedFormatName(format) + " (the other format, or another file)");
      return false;
    }
    at += count;
    pass->bytes_read += static_cast<int64_t>(want);
    progress->counts.positions += count;
    progress->counts.done =
        pass->bytes_total > 0 ? static_cast<double>(pass->bytes_read) / pass->bytes_total : 0;
    ShowProgress(progress);
  }
  close(fd);
  found->positions += counts.evaluated;
  found->packed.push_back(std::move(counts));
  return true;
}

// Reads every file of the corpus and evaluates the games the shard takes.
// Returns false, the failure printed, when the corpus cannot be listed.
bool EvaluateCorpus(CorpusPass* pass) {
  const CommandLine& options = *pass->inputs->options;
  std::vector<std::string> files;
  std::string error;
  if (!ListCorpusFiles(options.corpus, !options.packed.empty(), &files, &error)) {
    Fail(pass->log, error);
    return false;
  }
  RunProgress* const run_progress = pass->inputs->progress;
  if (run_progress != nullptr) run_progress->total = static_cast<int64_t>(files.size());
  const int32_t shard = options.shard_count > 0 ? options.shard_index : 1;
  const int32_t shards = options.shard_count > 0 ? options.shard_count : 1;
  int64_t number = 0;
  // Until the games are all known, the share done is that of the bytes read.
  ProgressMeter* progress = &pass->log->progress;
  progress->counts.files_total = static_cast<int64_t>(files.size());
  int64_t& bytes_total = pass->bytes_total;
  int64_t& bytes_read = pass->bytes_read;
  int64_t taken = 0;
  if (progress->style != ProgressStyle::kNone) {
    for (const std::string& path : files) bytes_total += FileSize(path);
  }
  for (const std::string& path : files) {
    if (run_progress != nullptr && run_progress->cancel) {
      Fail(pass->log, "the corpus run was stopped");
      return false;
    }
    if (run_progress != nullptr) ++run_progress->done;
    ++progress->counts.files;
    PackedFormat format;
    if (PackedFormatOf(path, options.packed, &format)) {
      if (format == PackedFormat::kHcpe && options.from_ply > 0) {
        Fail(pass->log, path + ": an hcpe file holds no ply; --from-ply cannot leave any out");
        return false;
      }
      if (!EvaluatePackedFile(pass, path, format)) return false;
      continue;
    }
    std::string bytes;
    const bool read = ReadSmallFile(path, kMaxRecordFileBytes, &bytes, &error);
    bytes_read += static_cast<int64_t>(bytes.size());
    progress->counts.done = bytes_total > 0 ? static_cast<double>(bytes_read) / bytes_total : 0;
    ShowProgress(progress);
    if (!read) {
      // A file that cannot be read counts as one game refused, in its turn.
      if (ShardTakes(++number, shard, shards)) {
        ++taken;
        RecordGame unread;
        unread.error = error;
        pass->batch.push_back({&path, 1, number, Notation::kCsa, std::move(unread)});
      }
      continue;
    }
    const RecordFormat record_format = RecordFormatOf(path, bytes);
    std::vector<RecordGame> games;
    ReadRecordGames(bytes, record_format, &games);
    bytes.clear();
    bytes.shrink_to_fit();
    for (size_t g = 0; g < games.size(); ++g) {
      if (!ShardTakes(++number, shard, shards)) continue;
      ++taken;
      pass->batch_moves += games[g].record.moves.size();
      pass->batch.push_back({&path, static_cast<int64_t>(g + 1), number,
                             RecordNotation(record_format),
                             std::move(games[g])});
      if ((pass->batch.size() >= kBatchGames || pass->batch_moves >= kBatchMoves) &&
          !EvaluateBatch(pass)) {
        return false;
      }
    }
  }
  progress->counts.games_total = taken;
  if (!EvaluateBatch(pass)) return false;
  if (!AddRecordSums(pass->record_sums.get(), pass->found, &error)) {
    Fail(pass->log, "the packed records: " + error);
    return false;
  }
  WarnPackedRefusals(*pass->found, pass->log);
  return true;
}

// The coverage picture: a share 0..1 per board square, labelled in percent.
PictureJob ShareMapJob(const std::string& title, const char* legend, const double* shares) {
  SquareMap map;
  map.title = title;
  map.scale = {false, 0, legend, true};
  for (int k = 0; k < kSquares; ++k) {
    map.values[k] = shares[k];
    char label[16];
    std::snprintf(label, sizeof label, "%.1f%%", 100 * shares[k]);
    map.labels[k] = label;
  }
  return SheetPictureJob(kCoveragePicturePath, [map] { return DrawSquareMaps({map}); });
}

// True when a file of the run is one whose inputs are counted rather than
// its entries (a network).
bool CountsInputs(const ModeInputs& inputs) {
  return CountsInputUse(*inputs.fv) || (inputs.compare != nullptr && CountsInputUse(*inputs.compare));
}

// True when every file of the run has entries the store of entry use
// counts, of one geometry (two tables, or two KPPT sets of any layouts).
bool CountsEntries(const ModeInputs& inputs) {
  const UseGeometry* first = EntryUseGeometry(*inputs.fv);
  if (first == nullptr) return false;
  return inputs.compare == nullptr || EntryUseGeometry(*inputs.compare) == first;
}

// The map of each king square's share of its inputs ever active.
PictureJob FeatureMapJob(const FeatureUseSummary& use) {
  double shares[kSquares];
  // The maps are drawn by board square; a king square is black's view of it.
  for (int fsq = 0; fsq < kSquares; ++fsq) {
    shares[SquareOfFeatureSquare(fsq)] = static_cast<double>(use.active_per_king[fsq]) / kPieceFeatures;
  }
  return ShareMapJob("network inputs ever active, share of each king square's 1548", "share active",
                     shares);
}

// The pictures of the most used inputs: the king on its square (as black's
// view sees it) and the piece, labelled with its count of views.
void AddFeatureUsePictures(const FeatureUseSummary& use, std::vector<PictureJob>* pictures) {
  for (int r = 0; r < use.count; ++r) {
    const FeatureUseEntry& e = use.ranking[r];
    const int king = SquareOfFeatureSquare(e.king);
    Position board;
    ClearPosition(&board);
    board.cells[king] = kKing;
    board.cells[kBlackKingCell] = static_cast<int8_t>(king);
    int cell = -1, code = 0;
    if (DecodePieceFeature(e.feature, &cell, &code) && cell != king) {
      board.cells[cell] = static_cast<int8_t>(code);
    }
    const int shown = cell >= 0 && cell != king ? cell : king;
    PictureJob job = TermPictureJob(RankPicturePath(r + 1), board, 1, king, shown, shown);
    job.label = std::to_string(e.views);
    pictures->push_back(std::move(job));
  }
}

// The activations' pictures: a strip per layer and the histogram before
// the clamp, the clamp's own bins marked.
void AddActivationPictures(const Activations& a, std::vector<PictureJob>* pictures) {
  for (int l = 0; l < kActivationLayers; ++l) {
    const double outputs = static_cast<double>(LayerOutputs(a, l));
    std::vector<NeuronShares> shares;
    for (const NeuronActivity& n : a.layers[l]) {
      shares.push_back(outputs > 0 ? NeuronShares{n.zero / outputs, n.between / outputs, n.max / outputs}
                                   : NeuronShares{0, 0, 0});
    }
    const std::string title = std::string(ActivationLayerName(l)) + ": " +
                              std::to_string(a.widths[l]) + " neurons over " +
                              std::to_string(a.positions) + " positions" +
                              (l == kTransformerLayer ? " (both views)" : "");
    pictures->push_back(SheetPictureJob(ActivationPicturePath(l), [title, shares] {
      return DrawActivityStrip(title, shares);
    }));
  }
  std::vector<HistogramBar> bars;
  for (int b = 0; b < kPreClampBins; ++b) {
    const int low = kPreClampLow + (b - 1) * kPreClampBinWidth;
    bars.push_back({PreClampBinText(b), a.histogram[b],
                    b > 0 && b < kPreClampBins - 1 && low >= 0 && low < kClampMax});
  }
  pictures->push_back(SheetPictureJob(kActivationHistogramPath, [bars] {
    return DrawBarHistogram("transformer's values before the clamp (0..127 marked)", bars);
  }));
}

// Reads and merges the partials of --merge into *found and *use (when
// usage is kept). Returns the exit status, the failure printed.
int MergePartials(const ModeInputs& inputs, RunLog* log, CorpusPartial* found, EntryUse* use,
                  FeatureUse* features, Activations* activations, bool* with_usage,
                  bool* with_features, bool* with_activations) {
  const CommandLine& options = *inputs.options;
  std::vector<CorpusPartial> partials(options.merge.size());
  std::string error;
  for (size_t i = 0; i < options.merge.size(); ++i) {
    const std::string& name = options.merge[i];
    std::string bytes;
    if (!ReadSmallFile(name, kMaxPartialFileBytes, &bytes, &error)) {
      Fail(log, error);
      return 1;
    }
    if (!DecodeCorpusPartial(bytes, &partials[i], &error)) {
      Fail(log, name + ": " + error);
      return 1;
    }
    const CorpusPartial& p = partials[i];
    ProgressMeter* progress = &log->progress;
    progress->counts.files_total = static_cast<int64_t>(options.merge.size());
    progress->counts.files = static_cast<int64_t>(i + 1);
    progress->counts.games += p.games + static_cast<int64_t>(p.refused.size());
    progress->counts.positions += p.positions;
    progress->counts.done = static_cast<double>(i + 1) / options.merge.size();
    ShowProgress(progress);
    if (p.fv_size != found->fv_size || p.fv_checksum != found->fv_checksum) {
      Fail(log, name + ": made with another evaluation file than " + options.fv +
           " (its size or contents differ)");
      return 1;
    }
    if (p.has_compare != found->has_compare || p.compare_size != found->compare_size ||
        p.compare_checksum != found->compare_checksum) {
      Fail(log, name + ": made " + (p.has_compare ? "with another --compare file than this run's"
                                             : "without --compare, which this run gives"));
      return 1;
    }
    if (options.from_ply >= 0 && p.from_ply != options.from_ply) {
      Fail(log, name + ": made with --from-ply=" + std::to_string(p.from_ply) + ", not " +
           std::to_string(options.from_ply));
      return 1;
    }
    // The pulls were made under the shard's scale.
    if (!p.usage.empty() && !options.no_usage && p.scale != options.scale) {
      Fail(log, name + ": made with --scale=" + std::to_string(p.scale) + ", not " +
           std::to_string(options.scale));
      return 1;
    }
    if (p.score.records > 0 && p.scale != options.scale) {
      Fail(log, name + ": its scores' cross-entropy was made with --scale=" +
                    std::to_string(p.scale) + ", not " + std::to_string(options.scale));
      return 1;
    }
    if (p.usage.empty() != partials[0].usage.empty()) {
      Fail(log, name + ": made " + (p.usage.empty() ? "with" : "without") + " --no-usage, unlike " +
           options.merge[0]);
      return 1;
    }
    if (p.activations.empty() != partials[0].activations.empty()) {
      Fail(log, name + ": made " + (p.activations.empty() ? "without" : "with") +
                    " --activations, unlike " + options.merge[0] +
                    ": the neurons' counts would cover part of the corpus");
      return 1;
    }
    if (p.activations.empty() && options.activations) {
      Fail(log, name + ": made without --activations: it holds no counts of the neurons");
      return 1;
    }
  }
  if (!MergeCorpusPartials(partials, options.merge, found, &error)) {
    Fail(log, error);
    return 1;
  }
  // A partial's usage section holds the use of entries, or of features when
  // a file of the run counts none.
  const bool kept = !partials[0].usage.empty() && !options.no_usage;
  *with_features = kept && CountsInputs(inputs);
  *with_usage = kept && !*with_features && CountsEntries(inputs);
  for (size_t i = 0; i < partials.size() && kept; ++i) {
    const std::string& usage = partials[i].usage;
    FeatureUse shard;
    const bool decoded =
        *with_features
            ? DecodeFeatureUse(usage, &shard, &error)
            : DecodeEntryUse(reinterpret_cast<const uint8_t*>(usage.data()), usage.size(), use,
                             &error);
    if (!decoded) {
      Fail(log, options.merge[i] + ": " + error);
      return 1;
    }
    if (*with_features) MergeFeatureUse(features, shard);
  }
  *with_activations = !partials[0].activations.empty();
  for (size_t i = 0; i < partials.size() && *with_activations; ++i) {
    Activations shard;
    if (!DecodeActivations(partials[i].activations, &shard, &error) ||
        (i > 0 && !MergeActivations(activations, shard, &error))) {
      Fail(log, options.merge[i] + ": " + error);
      return 1;
    }
    if (shard.positions != partials[i].positions) {
      Fail(log, options.merge[i] + ": its activations count " + std::to_string(shard.positions) +
                    " positions, not the " + std::to_string(partials[i].positions) + " it evaluated");
      return 1;
    }
    if (i == 0) *activations = std::move(shard);
  }
  for (const RefusedGame& r : found->refused) {
    Warn(log, r.path + ": game " + std::to_string(r.file_game) + ": " + r.why);
  }
  WarnPackedRefusals(*found, log);
  return 0;
}

// The fit, scale cross-entropy and calibration of a histogram; a fit that
// does not converge is a warning naming the file.
CorpusFileFigures FiguresOfValues(const ValueHistogram& values, int32_t scale,
                                  const std::string& fv, RunLog* log) {
  CorpusFileFigures figures;
  figures.fit = FitWinRate(values);
  if (!figures.fit.converged) Warn(log, fv + ": no win-rate fit: " + figures.fit.why);
  int64_t positions = 0;
  std::string why;
  figures.scale_known =
      ScaleCrossEntropy(values, scale, &figures.scale_cross_entropy, &positions, &why);
  figures.calibration = CalibrationOf(values);
  return figures;
}

// P(black wins) in percent along the chart's x range under a + value / b.
ChartLine CurveLine(const std::string& label, const cv::Scalar& colour, int thickness, double a,
                    double b, const ChartBounds& bounds) {
  ChartLine line{label, colour, thickness, {}};
  constexpr int kSamples = 441;
  for (int i = 0; i < kSamples; ++i) {
    const double x = bounds.x_low + (bounds.x_high - bounds.x_low) * i / (kSamples - 1);
    line.values.push_back(100.0 / (1.0 + std::exp(-(x - a) / b)));
  }
  return line;
}

// The calibration chart: the share of black wins per bucket among its
// decided positions, the fitted curves and the scale curve.
PictureJob CorpusChartJob(const CorpusAnalysis& corpus) {
  const ChartBounds bounds{kCalibrationLow - kCalibrationWidth, kCalibrationHigh + kCalibrationWidth,
                           0, 100};
  std::vector<ChartDot> dots;
  for (const CalibrationBucket& bucket : corpus.first.calibration) {
    const int64_t decided = bucket.counts.black + bucket.counts.white;
    if (decided == 0) continue;
    const double from = bucket.from == -kCalibrationOpenEnd ? bounds.x_low : bucket.from;
    const double to = bucket.to == kCalibrationOpenEnd ? bounds.x_high : bucket.to;
    dots.push_back({(from + to) / 2, 100.0 * bucket.counts.black / decided,
                    static_cast<double>(bucket.positions)});
  }
  std::vector<ChartLine> lines;
  if (corpus.first.fit.converged) {
    lines.push_back(CurveLine("fit", cv::Scalar(192, 70, 21), 3, corpus.first.fit.a,
                              corpus.first.fit.b, bounds));
  }
  if (corpus.comparing && corpus.second.fit.converged) {
    lines.push_back(CurveLine("fit, second file", cv::Scalar(30, 40, 192), 3, corpus.second.fit.a,
                              corpus.second.fit.b, bounds));
  }
  lines.push_back(CurveLine("scale " + std::to_string(corpus.scale), cv::Scalar(120, 120, 120), 1,
                            0, corpus.scale, bounds));
  return SheetPictureJob(kCorpusChartPath, [dots, lines, bounds] {
    return DrawScatterChart(dots, cv::Scalar(192, 140, 90), lines, bounds, "value (points)",
                            "black wins, %");
  });
}

// The mean score of each value bin against the value: the bins' records
// give the dots' areas; the diagonal is where score equals value.
PictureJob ScoreChartJob(const ScoreSums& sums) {
  const ChartBounds bounds{kScoreBinLow - kScoreBinWidth, kScoreBinHigh + kScoreBinWidth,
                           kScoreBinLow - kScoreBinWidth, kScoreBinHigh + kScoreBinWidth};
  std::vector<ChartDot> dots;
  for (int b = 0; b < kScoreBins; ++b) {
    if (sums.bin_records[b] == 0) continue;
    const double from = b == 0 ? bounds.x_low : kScoreBinLow + (b - 1) * kScoreBinWidth;
    const double to = b == kScoreBins - 1 ? bounds.x_high : from + kScoreBinWidth;
    dots.push_back({(from + to) / 2,
                    static_cast<double>(sums.bin_scores[b]) / sums.bin_records[b],
                    static_cast<double>(sums.bin_records[b])});
  }
  ChartLine diagonal{"score = value", cv::Scalar(120, 120, 120), 1, {}};
  constexpr int kSamples = 441;
  for (int i = 0; i < kSamples; ++i) {
    diagonal.values.push_back(bounds.x_low + (bounds.x_high - bounds.x_low) * i / (kSamples - 1));
  }
  std::vector<ChartLine> lines{diagonal};
  return SheetPictureJob(kScorePicturePath, [dots, lines, bounds] {
    return DrawScatterChart(dots, cv::Scalar(192, 140, 90), lines, bounds, "value (points)",
                            "mean score (points)");
  });
}

// The map of the share of each king square's KPP triangle that was read.
PictureJob CoverageJob(const UseSummary& usage) {
  double shares[kSquares];
  for (int k = 0; k < kSquares; ++k) {
    shares[k] = static_cast<double>(usage.per_king_square[k]) / usage.triangle;
  }
  return ShareMapJob("KPP entries read, share of each king square's triangle", "share read", shares);
}

// The map of each king square's pull: the sum of |pull| over its KPP entries.
PictureJob PullMapJob(const PullFigures& pull) {
  SquareMap map;
  map.title = "pull of the results, sum of |pull| over each king square's KPP entries";
  map.scale = {false, 0, "sum of |pull|", false};
  for (int k = 0; k < kSquares; ++k) {
    map.values[k] = pull.per_king_square[k];
    map.labels[k] = PullFigureText(pull.per_king_square[k]);
  }
  return SheetPictureJob(kPullPicturePath, [map] { return DrawSquareMaps({map}); });
}

// The pictures of a ranking of pull, each labelled with the entry's pull
// and coloured by its sign.
void AddPullPictures(const UseRanking& ranking, std::vector<PictureJob>* pictures) {
  for (int r = 0; r < ranking.count; ++r) {
    const UseRankEntry& e = ranking.entries[r];
    const RankedTerm t = UseTerm(e, e.value);
    PictureJob job = TermPictureJob(PullPicturePath(r + 1), ScanTermPosition(t),
                                    e.contribution >= 0 ? 1 : -1, t.king, t.cell_a, t.cell_b);
    job.label = PullText(e.contribution);
    pictures->push_back(std::move(job));
  }
}

// The entries of a use ranking as the scan names and draws them, each with
// the value shown: the entry's value, or its change with a second file.
Ranking UseTerms(const UseRanking& ranking, bool changes) {
  Ranking terms;
  terms.count = ranking.count;
  for (int r = 0; r < ranking.count; ++r) {
    const UseRankEntry& e = ranking.entries[r];
    terms.terms[r] = UseTerm(e, changes ? e.after - e.value : e.value);
  }
  return terms;
}

}  // namespace

bool ListCorpusFiles(const std::vector<std::string>& paths, bool any_name,
                     std::vector<std::string>* files, std::string* error) {
  for (const std::string& path : paths) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
      *error = path + ": no such file or folder";
      return false;
    }
    if (!fs::is_directory(status)) {
      files->push_back(path);
      continue;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator it(path, fs::directory_options::none, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      PackedFormat format;
      if (it->is_regular_file(ec) &&
          (any_name || IsGameRecordName(it->path()) || PackedFormatOf(it->path(), "", &format))) {
        found.push_back(it->path().string());
      }
    }
    if (ec) {
      *error = path + ": cannot read this folder (" + ec.message() + ")";
      return false;
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
  }
  return true;
}

int RunCorpusMode(const ModeInputs& inputs, RunLog* log, RunResult* result,
                  std::vector<PictureJob>* pictures) {
  const CommandLine& options = *inputs.options;
  CorpusAnalysis& corpus = result->emplace<CorpusAnalysis>();
  CorpusPartial& found = corpus.found;
  corpus.scale = options.scale;
  corpus.comparing = inputs.compare != nullptr;
  found.shard_index = options.shard_count > 0 ? options.shard_index : 1;
  found.shard_count = options.shard_count > 0 ? options.shard_count : 1;
  // What ties a partial to the files it was made with: read only for a
  // partial or a merge.
  const bool partial = !options.partial.empty() || !options.merge.empty();
  found.fv_size = FileSize(options.fv);
  found.fv_checksum = partial ? EvaluatorChecksum(*inputs.fv) : 0;
  found.has_compare = corpus.comparing;
  if (corpus.comparing) {
    found.compare_size = FileSize(options.compare);
    found.compare_checksum = partial ? EvaluatorChecksum(*inputs.compare) : 0;
  }
  found.from_ply = std::max(options.from_ply, 0);

  found.scale = options.scale;
  found.lambda = options.lambda;
  const UseGeometry* geometry = EntryUseGeometry(*inputs.fv);
  auto use = std::make_unique<EntryUse>(true, corpus.comparing ? 2 : 1,
                                        geometry != nullptr ? *geometry : kTableUse);
  auto features = std::make_unique<FeatureUse>();
  if (!options.merge.empty()) {
    const int status = MergePartials(inputs, log, &found, use.get(), features.get(),
                                     &corpus.activations, &corpus.with_usage,
                                     &corpus.with_features, &corpus.with_activations);
    if (status != 0) return status;
  } else {
    // A corpus reads every slab of a KPPT set.
    std::vector<int> kings(kSquares);
    for (int k = 0; k < kSquares; ++k) kings[k] = k;
    WarnKppAsymmetry(inputs, kings, log);
    corpus.with_activations = options.activations;
    if (corpus.with_activations) StartActivations(&corpus.activations, inputs.fv->network);
    // A run with a network counts the use of the inputs instead of entries.
    corpus.with_features = !options.no_usage && CountsInputs(inputs);
    corpus.with_usage = !options.no_usage && !corpus.with_features && CountsEntries(inputs);
    CorpusPass pass{&inputs, log, &found, corpus.with_usage ? use.get() : nullptr,
                    corpus.with_features ? features.get() : nullptr,
                    corpus.with_activations ? &corpus.activations : nullptr,
                    options.jobs > 0 ? options.jobs : MachineThreads(), {}};
    if (!EvaluateCorpus(&pass)) return 1;
    if (!options.partial.empty()) {
      if (corpus.with_usage) EncodeAndDropEntryUse(use.get(), &found.usage);
      if (corpus.with_features) found.usage = EncodeFeatureUse(*features);
      if (corpus.with_activations) found.activations = EncodeActivations(corpus.activations);
      use.reset();  // the counts are in their byte form now
      OutputFile output;
      std::string error;
      if (!CheckCorpusPartial(found, &error)) {
        Fail(log, options.partial + ": " + error);
        return 1;
      }
      if (!OpenOutputFile(options.partial, &output, &error) ||
          !CommitOutputFile(&output, EncodeCorpusPartial(found), &error)) {
        Fail(log, error);
        return 1;
      }
      return 0;
    }
  }
  if (found.games == 0 && found.positions == 0) {
    Fail(log, found.packed.empty()
                  ? "the corpus holds no game that can be read and played (" +
                        std::to_string(found.refused.size()) + " refused)"
                  : "the corpus holds no game or record that can be evaluated (" +
                        std::to_string(found.refused.size()) + " games and " +
                        std::to_string(RefusedRecords(found)) + " records refused)");
    return 2;
  }
  corpus.first = FiguresOfValues(found.values, corpus.scale, options.fv, log);
  if (corpus.comparing) {
    corpus.second = FiguresOfValues(found.compare_values, corpus.scale, options.compare, log);
  }
  if (pictures != nullptr) pictures->push_back(CorpusChartJob(corpus));
  corpus.score = ScoreFiguresOf(found.score);
  corpus.compare_score = ScoreFiguresOf(found.compare_score);
  if (corpus.score.records > 0 && pictures != nullptr) {
    pictures->push_back(ScoreChartJob(found.score));
  }
  if (corpus.with_usage) {
    UseSummary& usage = corpus.usage;
    SummarizeFileUse(*use, *inputs.fv, inputs.compare, SortModeOf(options.sort_mode), &usage);
    use.reset();
    if (pictures != nullptr) pictures->push_back(CoverageJob(usage));
    const Ranking drawn = corpus.comparing ? UseTerms(usage.changes, true)
                                           : UseTerms(usage.ranking, false);
    AddTermPictures(drawn, nullptr, pictures);
    if (pictures != nullptr) {
      pictures->push_back(PullMapJob(usage.pull));
      AddPullPictures(usage.pull.ranking, pictures);
    }
  }
  if (corpus.with_features) {
    SummarizeFeatureUse(*features, &corpus.features);
    features.reset();
    if (pictures != nullptr) {
      pictures->push_back(FeatureMapJob(corpus.features));
      AddFeatureUsePictures(corpus.features, pictures);
    }
  }
  if (corpus.with_activations && pictures != nullptr) {
    AddActivationPictures(corpus.activations, pictures);
  }
  corpus.done = true;
  return 0;
}

}  // namespace fvscope
