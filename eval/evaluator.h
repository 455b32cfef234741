// An evaluation file of either family behind one interface: a table
// (fv.bin: material, KKP and KPP) or a HalfKP network. Every mode asks it
// for a position's figures and its breakdown; only this unit and the
// writers of a breakdown look at which family a file is.
#ifndef FVSCOPE_EVAL_EVALUATOR_H_
#define FVSCOPE_EVAL_EVALUATOR_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "eval/kppt/kppt_census.h"
#include "eval/kppt/kppt_eval.h"
#include "eval/kppt/kppt_file.h"
#include "eval/kppt/kppt_scan.h"
#include "eval/kppt/kppt_map.h"
#include "eval/network/activations.h"
#include "eval/network/feature_use.h"
#include "eval/network/network_breakdown.h"
#include "eval/network/network_census.h"
#include "eval/network/network_map.h"
#include "eval/network/network_file.h"
#include "eval/table/breakdown.h"
#include "eval/table/compare.h"
#include "eval/table/eval_file.h"
#include "eval/table/game_pass.h"
#include "eval/table/piece_shares.h"
#include "eval/table/table_census.h"
#include "eval/table/table_map.h"
#include "eval/table/table_scan.h"
#include "eval/table/term_tally.h"
#include "shogi/types.h"

namespace fvscope {

// The families of evaluation file.
enum class EvalKind : int {
  kTable = 0,
  kNetwork = 1,
  kKppt = 2,
};

// "table", "network" or "kppt".
const char* EvalKindName(EvalKind kind);

// A loaded evaluation file. Read only once loaded.
struct Evaluator {
  EvalKind kind = EvalKind::kTable;
  EvalFile table;    // a table's values
  Network network;   // a network
  KpptSet kppt;      // a KPPT set
  std::string path;  // as given
};

// How a file is to be loaded.
struct EvalLoadOptions {
  int32_t network_scale = kDefaultNetworkScale;  // a network's S
  bool many_positions = false;  // the run evaluates many: lay a network out for it
  std::string identity_memo;    // where a KPPT set's identity is remembered; empty: nowhere
};

// Loads the file at path: a KPPT set when it is a folder, a network when
// its first four bytes are the network version word, else a table. Returns false with *error ("path:
// what is wrong") when it cannot be loaded; a table of the wrong size loads
// with *warning set.
bool LoadEvaluator(const std::string& path, const EvalLoadOptions& options, Evaluator* file,
                   std::string* error, std::string* warning);

// Drops what *file maps.
void CloseEvaluator(Evaluator* file);

// The file's size in bytes, and a checksum of its bytes (a network's mixed
// with its scale): what a partial names it by.
int64_t EvaluatorBytes(const Evaluator& file);
uint64_t EvaluatorChecksum(const Evaluator& file);

// A short text of what the file is: "table", "network 256/32/32, scale 16",
// or "KPPT set (KPPT, 32-bit KK/KKP), identity 0x...".
std::string EvaluatorSummary(const Evaluator& file);

// The figures of position with to_move to move under file: its value in
// points from black's view and its material; a table's KKP and KPP sums too.
// Returns false with *error when the position does not fit the file.
bool EvaluatePosition(const Evaluator& file, const Position& position, Side to_move,
                      PositionFigures* out, std::string* error);

// Evaluates plies[from_ply..] under file and, when not null, second, as
// EvaluateGame does; the use of entries (use not null) needs two tables.
// With activations not null (file a network, shaped by StartActivations),
// counts file's activations over the plies into it; on failure it may hold
// some of them.
bool EvaluatePlies(const std::vector<RecordPly>& plies, int from_ply, const Evaluator& file,
                   const Evaluator* second, std::vector<PositionFigures>* figures,
                   std::vector<PositionFigures>* second_figures, const GameUse* use,
                   std::string* error, Activations* activations = nullptr);

// True when file's entries can be counted by the store of entry use.
bool CountsEntryUse(const Evaluator& file);

// The geometry of the store of entry use that counts file's entries: a
// table's, or a KPPT set's KPP pairs and KKP entries; null for a network.
const UseGeometry* EntryUseGeometry(const Evaluator& file);

// True when a corpus counts the use of file's inputs (a network's).
bool CountsInputUse(const Evaluator& file);

// Runs work(0..count - 1), on several threads when the caller has them.
using ParallelFor = std::function<void(int count, const std::function<void(int)>& work)>;

// The warning of the first asymmetric KPP entry of the slabs the king
// squares (in the features' numbering) read, the first slab in their order
// that has one (the slabs checked side by side through parallel); empty
// when file is not a KPPT set or they are symmetric.
std::string KppAsymmetryWarning(const Evaluator& file, const std::vector<int>& kings,
                                const ParallelFor& parallel);

// The king squares (in the features' numbering) of both views of position: the slabs it reads.
std::vector<int> SlabsOf(const Position& position);

// The table of a file, for the batch's sums: null for a network or no file.
const EvalFile* TableOf(const Evaluator* file);

// Takes the features of batch positions [begin, end) for SumBatchSlab
// (PrepareBatch) when file or second is a table; else leaves their sides empty.
void PrepareBatchSums(PositionBatch* batch, int begin, int end, const Evaluator& file,
                      const Evaluator* second);

// Evaluates the taken positions [0, count) of batch under file, the f-th
// file of the batch (0 or 1), when it is a network: grouped by king square,
// into batch->values_apart[f]. Nothing for a table, whose sums SumBatchSlab
// makes. With activations not null (file a network, shaped by
// StartActivations), adds the positions' activations to it. With inputs not
// null, counts the views' inputs into it as they are summed when the block
// is grouped in one part (CountBatchInputs then only adds the views).
void ValueBatchApart(PositionBatch* batch, int count, const Evaluator& file, int f,
                     const ParallelFor& parallel, Activations* activations = nullptr,
                     FeatureUse* inputs = nullptr);

// Adds the inputs of both views of the taken positions [0, count) of batch
// to *use, grouped by king square (as a network's ValueBatchApart of the
// same block grouped them, when it did so in one part).
void CountBatchInputs(PositionBatch* batch, int count, FeatureUse* use,
                      const ParallelFor& parallel);

// Adds to use (of kKpptUse) the reads of the taken positions [0, count) of
// batch, whose views a KPPT set's ValueBatchApart of this block grouped: for
// each view the pairs i > j of its sorted numbers, each one read of its
// king's KPP entry, pulled by the position's residuals (batch->prefix) when
// pulled, white's the other way; and a mark on each KKP entry the position
// reads. Returns false with *error when the store refuses them.
bool AddKpptBatchUse(const PositionBatch& batch, int count, EntryUse* use,
                     const ParallelFor& parallel, std::string* error);

// True when a corpus evaluates games under file a block at a time, grouped
// by king square, as it does packed records (a KPPT set).
bool EvaluatesGamesInBlocks(const Evaluator& file);

// True when the reads of file's entries by a block are added slab by slab
// from the batch's sides (a table), with each position's KKP marks apart;
// false when they go with the block's views (AddKpptBatchUse).
bool AddsUseBySlabs(const Evaluator& file);

// Scans king square k of file (with second, the change to it) into *table
// or *comparison (a table's) or *kppt (a KPPT set's, the part chosen);
// *is_kppt names which. Returns false with *error when k is outside 0..80.
bool ScanFileSlab(const Evaluator& file, const Evaluator* second, int k, int part, SortMode mode,
                  bool* is_kppt, TableScan* table, ScanComparison* comparison, KpptScan* kppt,
                  std::string* error);

// Summarizes use under file and, when not null, after (files of use's
// geometry) as SummarizeEntryUse or SummarizeKpptEntryUse does.
void SummarizeFileUse(const EntryUse& use, const Evaluator& file, const Evaluator* after,
                      SortMode mode, UseSummary* summary);

// The value of taken position i of batch under file, the f-th file of the
// batch (0 or 1), once SumBatchSlab and ValueBatchApart have run.
int32_t BatchValue(const PositionBatch& batch, int i, const Evaluator& file, int f);

// A position taken apart: a table's terms or a network's inputs and layers.
struct Breakdown {
  EvalKind kind = EvalKind::kTable;
  LeafBreakdown table;       // kTable
  NetworkBreakdown network;  // kNetwork
  KpptBreakdown kppt;        // kKppt
};

// Takes position apart under file. Returns false with *error when it does
// not fit the file.
bool BreakDownPosition(const Evaluator& file, const Position& position, Side to_move,
                       Breakdown* out, std::string* error);

// The figures of a breakdown.
PositionFigures FiguresOf(const Breakdown& breakdown);

// Ranks a breakdown's terms (a table) or inputs (a network) under mode.
void RankBreakdown(const Breakdown& breakdown, const Position& position, SortMode mode,
                   Ranking* ranking);

// position under two files: the figures under each, and between two tables
// the ranking of the terms that changed (else out->terms is false).
bool CompareFiles(const Evaluator& before, const Evaluator& after, const Position& position,
                  Side to_move, SortMode mode, LeafComparison* out, std::string* error);

// Takes the census of file (at path) by its family into *table (a table,
// read again from path on up to threads threads), *network or *kppt, and
// with second (at second_path, of the same family and shape or layout) of
// the change to it; *kind names which was filled. Returns false with *error
// when a file cannot be read.
bool TakeFileCensus(const Evaluator& file, const std::string& path, const Evaluator* second,
                    const std::string& second_path, int threads, EvalKind* kind,
                    TableCensus* table, NetworkCensus* network, KpptCensus* kppt,
                    std::string* error);

// The map text asks of file by its family: a table's KING:PIECE (with
// second, its change to that table) into *table, a network's KING with
// neuron (-1: magnitudes) into *network, or a KPPT set's KING:PIECE in part
// (with second, its change to that set) into *kppt; *kind names which was
// filled. Returns false with *error naming what is wrong with text or neuron.
bool BuildFileMap(const Evaluator& file, const Evaluator* second, const std::string& text,
                  int neuron, KpptPart part, EvalKind* kind, TableMap* table,
                  NetworkMap* network, KpptMap* kppt, std::string* error);

// Each piece's share of position's evaluation under file.
bool ComputeShares(const Evaluator& file, const Position& position, Side to_move,
                   PieceShares* out, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_EVALUATOR_H_
