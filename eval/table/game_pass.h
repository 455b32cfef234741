// The evaluation of every position of a played game, carried from one
// position to the next: after a move only the terms of the pieces and hand
// counts it changed are read again (a king's move: that side's KPP terms
// and both sides' KKP terms), and, when asked, which table entries the
// positions read.
#ifndef FVSCOPE_EVAL_TABLE_GAME_PASS_H_
#define FVSCOPE_EVAL_TABLE_GAME_PASS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/corpus/entry_use.h"
#include "eval/table/eval_file.h"
#include "shogi/move_check.h"

namespace fvscope {

struct NetworkBatch;
struct KpptBatch;

// Where a game's reads go, and what their pull needs: the game's result
// and the scale of the curve P(black wins) = 1 / (1 + exp(-value / scale)).
struct GameUse {
  EntryUse* store;
  GameResult result;  // only a game black or white won pulls
  int32_t scale;      // > 0
};

// The residual of a position of value (in points) in a game black won (or
// white won): 1 (or 0) - P(black wins), in kPullUnit, rounded to nearest.
int64_t ResidualUnits(int32_t value, bool black_won, int32_t scale);

// The residual target - P(black wins) of a position of value (in points),
// in kPullUnit, rounded to nearest; target is 0..1.
int64_t ResidualTowardUnits(int32_t value, double target, int32_t scale);


// Evaluates plies[from_ply..] (index = ply; from_ply >= 0): (*figures)[i]
// gets the figures of plies[from_ply + i] under file, equal to what
// FiguresOf(BreakDownLeaf(...)) gives; with second not null,
// (*second_figures)[i] gets them under second. With use not null, adds the
// reads of those positions to use->store: for each side and each pair
// (i, j <= i) of its feature list one read of the KPP entry of its king,
// pulled by the position's residual under each file the store keeps, and a
// mark on every KKP entry the KKP sum reads. Consecutive positions need not
// be one move apart. Returns false with *error "ply N: why", leaving the
// store as it was, when a position does not pass CheckLeaf.
bool EvaluateGame(const std::vector<RecordPly>& plies, int from_ply, const EvalFile& file,
                  const EvalFile* second, std::vector<PositionFigures>* figures,
                  std::vector<PositionFigures>* second_figures, const GameUse* use,
                  std::string* error);

// One side's KPP terms of a position of a batch: the table slab (its king's
// square as the side sees it) and its features, ascending.
// Also the KKP terms of the side's own pieces and hand counts, which read
// the KKP rows of its king.
struct BatchSide {
  int16_t features[kMaxFeatureEntries];
  int16_t kkp_features[kMaxFeatureEntries];
  uint8_t count;  // 0: the position is not evaluated
  uint8_t kkp_count;
  uint8_t king;
  uint8_t other_king;  // the opponent's king as the side sees it
  int64_t sums[2];  // KPP terms under each file
  int64_t kkp_sums[2];  // KKP terms of the side's own cells under each file
};

// A share of the sides of slab k: by_slab[begin, end).
struct SlabJob {
  int32_t k;
  int32_t begin;
  int32_t end;
};

// Sides a SlabJob holds at most: a crowded king square is cut into several
// jobs so that no thread waits long on another at the end of a batch.
constexpr int32_t kSlabJobSides = 2048;

// Positions evaluated each on its own, the work grouped by slab: every side
// that reads a slab is summed while the slab is in the cache, and its reads
// go to the store slab by slab. Each step but GroupBatch may run on several
// threads at once for distinct positions or jobs.
struct PositionBatch {
  std::vector<Position> positions;  // set by the caller
  std::vector<uint8_t> taken;       // per position: evaluated (set by the caller)
  std::vector<BatchSide> sides;     // 2 per position, black's first
  std::vector<int32_t> material;    // per position
  std::vector<uint8_t> to_move;     // per position: the Side to move (set by the caller)
  std::vector<int32_t> values_apart[2];  // per position, under a file that is not a table
  std::shared_ptr<NetworkBatch> views;   // what those values are made with, kept from block to block
  std::shared_ptr<KpptBatch> kppt_views;  // the same for a KPPT set
  std::vector<int32_t> by_slab;     // sides, slab ascending
  int32_t slab_begin[kSquares + 1] = {};
  std::vector<SlabJob> jobs;         // the slabs' sides in parts, set by GroupBatch
  // Per position and file kept: the residuals before and after it, {0, r};
  // null rows (no pull) when pulled[i] is 0.
  std::vector<int64_t> prefix[kMaxPulls];
  std::vector<uint8_t> pulled;
};

// Sizes *batch for count positions.
void ResizeBatch(PositionBatch* batch, int count);

// Takes the features and material of the taken positions in [begin, end);
// they must pass CheckLeaf.
void PrepareBatch(PositionBatch* batch, int begin, int end);

// Orders the taken positions' sides by slab (position order within one) and
// cuts them into jobs.
void GroupBatch(PositionBatch* batch);

// Sums the KPP and KKP terms of the sides of job under file (sums[0]) and
// second (sums[1]), each when not null.
void SumBatchSlab(PositionBatch* batch, const SlabJob& job, const EvalFile* file,
                  const EvalFile* second);

// The figures of taken position i once every slab is summed, under file
// (f = 0) or second (f = 1): what EvaluateGame gives for it.
PositionFigures BatchFigures(const PositionBatch& batch, int i, int f);

// Adds the reads of the sides of job to store, each a stay of one
// position, pulled by its prefix when pulled. Returns false with *error when
// the store refuses them.
bool AddBatchSlabReads(const PositionBatch& batch, const SlabJob& job, EntryUse* store,
                       std::string* error);

// Marks the KKP entries taken position i reads.
void MarkBatchKkp(const PositionBatch& batch, int i, EntryUse* store);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_GAME_PASS_H_
