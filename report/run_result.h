// What each mode of a run finds, as one record per mode, and the facts of
// the run every output names. The writers of the console text, report.html,
// the page and the JSON document take these records.
#ifndef FVSCOPE_REPORT_RUN_RESULT_H_
#define FVSCOPE_REPORT_RUN_RESULT_H_

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "eval/evaluator.h"
#include "eval/kppt/kppt_scan.h"
#include "eval/network/activations.h"
#include "eval/network/feature_use.h"
#include "eval/table/breakdown.h"
#include "eval/table/compare.h"
#include "eval/corpus/corpus_partial.h"
#include "eval/corpus/entry_use.h"
#include "eval/table/piece_shares.h"
#include "eval/piece_squares.h"
#include "eval/ranking.h"
#include "eval/table/table_census.h"
#include "eval/table/table_map.h"
#include "eval/table/table_scan.h"
#include "eval/corpus/win_fit.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/types.h"

namespace fvscope {

// What every output of a run names besides its mode's figures.
struct RunFacts {
  int32_t sort_mode = 0;              // the number as read
  std::string fv;                     // the evaluation file as opened
  std::string compare_fv;             // the second one, with --compare; else empty
  bool utf8 = false;                  // Japanese texts in UTF-8, else code page 932
  std::string page_path;              // where the page goes: its links are relative to it
  std::vector<std::string> warnings;  // the warning lines as printed
  std::string picture_url;    // what a document puts before a picture's file name in
                              // place of log/ ("/api/picture/scan/"); empty: log/
  std::string picture_query;  // and after it ("?square=40")
};

// How far a leaf analysis got; a run that stops early writes what it reached.
enum class LeafStage : int {
  kNothing,    // no input position
  kInput,      // the input position is read
  kLine,       // the PV is played to the leaf
  kBreakdown,  // the leaf is broken down (and compared, and ranked)
  kDone,       // everything the options ask for, the pieces' shares included
};

// A game analysis (the engine's game) or a position of the command line:
// the input, the PV and its leaf, the leaf's breakdown, and the ranking of
// its terms or, with a second file, of their changes.
struct LeafAnalysis {
  const char* mode = "game";  // "game" or "position"
  const char* record_format = nullptr;  // of a position's text or file: "csa", "kif", "usi"
  LeafStage reached = LeafStage::kNothing;
  bool comparing = false;
  bool with_pieces = false;
  Position input;
  PvLine pv;
  Position leaf;
  Breakdown breakdown;        // a table's terms or a network's inputs
  Ranking ranking;            // without a second file
  LeafComparison comparison;  // with a second file
  PieceShares pieces;         // with the pieces' shares
  PieceShares pieces_after;   // with the pieces' shares and a second file
};

// Every position of a record with its figures, and with a second file its
// figures under that file too and the plies of largest change.
struct RecordAnalysis {
  bool done = false;  // every position was evaluated
  const char* record_format = "csa";  // "csa", "kif" or "usi"
  bool comparing = false;
  bool terms = true;         // the first file is a table: its KKP and KPP sums are shown
  bool second_terms = true;  // and the second
  std::vector<RecordPly> plies;
  std::vector<PositionFigures> figures;
  std::vector<PositionFigures> second_figures;  // with a second file, one per ply
  std::vector<int32_t> change_ranking;          // with a second file: ply indexes
};

// A table scan of one king square, or its comparison between two files.
struct ScanAnalysis {
  bool done = false;
  bool comparing = false;
  TableScan scan;              // without a second file
  ScanComparison comparison;   // with a second file
  bool kppt = false;           // a KPPT set's scan: kppt_scan, with or without a second set
  KpptScan kppt_scan;
};

// How well one evaluation file's values predict the results of a corpus.
struct CorpusFileFigures {
  WinFit fit;
  bool scale_known = false;  // some position of a decided game
  double scale_cross_entropy = 0;
  Calibration calibration;
};

// A corpus of games: what its positions' values say of the results, under
// one file or two, and the use of the table's entries.
struct CorpusAnalysis {
  bool done = false;
  CorpusPartial found;  // the whole corpus: games, positions, results, refusals, histograms
  int32_t scale = 600;  // of the scale curve
  bool comparing = false;
  CorpusFileFigures first;
  CorpusFileFigures second;  // with a second file
  bool with_usage = false;
  UseSummary usage;  // with usage
  bool with_features = false;     // a network's run: the use of its inputs
  FeatureUseSummary features;     // with features
  bool with_activations = false;  // --activations: a network's neurons' clamps
  Activations activations;        // with activations
  ScoreFigures score;          // values against the records' scores; records 0 without any
  ScoreFigures compare_score;  // under the second file
};

// The table's values for a king and a piece (or both kings): one grid per
// kind and side, one row per hand kind.
struct MapAnalysis {
  bool done = false;
  EvalKind kind = EvalKind::kTable;
  TableMap map;        // kTable
  NetworkMap network;  // kNetwork: a king's features' weights
  KpptMap kppt;        // kKppt
};

// A census of the whole file per king square.
struct CensusAnalysis {
  bool done = false;
  EvalKind kind = EvalKind::kTable;
  TableCensus census;      // kTable
  NetworkCensus network;   // kNetwork
  KpptCensus kppt;         // kKppt
};

// Where one piece of a PV's leaf is worth most: the leaf's value with the
// piece on each square it can stand on.
struct SquaresAnalysis {
  bool done = false;
  Position input;
  PvLine pv;
  Position leaf;
  Side to_move = kBlack;  // the leaf's
  PieceSquares squares;
};

// The result of a run: one record of the mode that ran.
using RunResult = std::variant<LeafAnalysis, RecordAnalysis, ScanAnalysis, CorpusAnalysis,
                               MapAnalysis, CensusAnalysis, SquaresAnalysis>;

// True when a leaf's pieces' shares come from a network under either file:
// they need not add up to its value.
inline bool SharesOfNetwork(const LeafAnalysis& leaf) {
  return leaf.breakdown.kind == EvalKind::kNetwork || (leaf.comparing && !leaf.comparison.terms);
}

// The ranking a leaf analysis or a scan shows: of terms, or of changes.
inline const Ranking& ShownRanking(const LeafAnalysis& leaf) {
  return leaf.comparing ? leaf.comparison.ranking : leaf.ranking;
}
inline const Ranking& ShownRanking(const ScanAnalysis& scan) {
  if (scan.kppt) return scan.kppt_scan.ranking;
  return scan.comparing ? scan.comparison.ranking : scan.scan.ranking;
}

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_RUN_RESULT_H_
