// The console text of a run: the boards, the PV, the figures of the leaf and
// the rankings.
#ifndef FVSCOPE_REPORT_CONSOLE_H_
#define FVSCOPE_REPORT_CONSOLE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/table/compare.h"
#include "eval/table/piece_shares.h"
#include "eval/ranking.h"
#include "eval/table/table_scan.h"
#include "report/run_result.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/types.h"

namespace fvscope {

// Writes "\nPV=", one line per move in CSA form with its sign, two blank
// lines and the text board of leaf.
void WritePvText(FILE* out, const PvLine& pv, const Position& leaf);

// Writes "KKP=" (table units), "KPP=" (points), the count, sum (points) and
// histogram of the terms favouring each side, and the ranking, with the
// Japanese texts in UTF-8 when utf8 is set, else in code page 932.
void WriteLeafText(FILE* out, const LeafBreakdown& breakdown, const Ranking& ranking,
                   bool utf8);

// A KPPT set's breakdown: its terms as board, turn and sum, the tally and the ranking.
void WriteKpptText(FILE* out, const KpptBreakdown& breakdown, const Ranking& ranking, bool utf8);

// Writes "rnum = N" and the ranking of a table scan.
void WriteScanText(FILE* out, const TableScan& scan);

// Writes the table of a record's positions: a header line, then per ply the
// move that led there in CSA form ("*" for the start), material, KKP and KPP
// in table units and the value in points, in aligned columns; with a second
// file, its value and the change too, then the ranking of the plies of
// largest change.
void WriteRecordText(FILE* out, const RecordAnalysis& record);

// Writes "RANKING OF CHANGES ALONG THE GAME:" and a line per ranked ply of a
// record compared under two files: its change, both values and its move in USI.
void WriteRecordRanking(FILE* out, const RecordAnalysis& record);

// Writes the count, sum (points) and histogram of the terms favouring each
// side, each line ended by line_end, the word for distribution on a line of
// its own before each histogram when distribution_line is set.
void WriteTallyLines(FILE* out, const TermTally& tally, bool utf8, const char* line_end,
                     bool distribution_line);

// Writes the figures of a position under two files (KKP and KPP in table
// units, material and value in points) with their changes, then "RANKING OF
// CHANGES:" and one line per changed term.
void WriteComparisonText(FILE* out, const LeafComparison& comparison);

// The name of a network's input: a piece on its square ("+58KI"), the k-th
// held piece of a kind ("+FU*3"), or "none" for a missing piece (cell -1).
std::string InputName(int cell, int code);

// The name of an input of the ranking of use: "[+59OU]-[+58KI]", the king
// and the piece as black's view sees them.
std::string FeatureUseName(const FeatureUseEntry& entry);

// The use of a network's inputs: the views, the inputs ever active, the ranking.
void WriteFeatureUseText(FILE* out, const FeatureUseSummary& use);

// "none", or the neuron numbers separated by spaces.
std::string NeuronList(const std::vector<int32_t>& neurons);

// The ACTIVATIONS: block of a corpus run: per layer the shares of outputs
// clamped at 0, between and at 127, the mean, the dead and the saturated;
// then the histogram of the transformer's values before the clamp.
void WriteActivationsText(FILE* out, const Activations& activations);

// A network's block: the value, the output, the scale and the shape, the
// clamps of each layer, and the ranking of its inputs by change.
void WriteNetworkText(FILE* out, const NetworkBreakdown& network, const Ranking& ranking);

// Writes "changed = N", then "RANKING OF CHANGES:" and one line per entry.
void WriteScanComparisonText(FILE* out, const ScanComparison& comparison);

// Writes "PIECES:" and one line per piece: its name and its share in points
// with one decimal; with after, also the share under the second file and
// the change.
void WritePiecesText(FILE* out, const PieceShares& shares, const PieceShares* after);

// A share of half_units half table units, in points with one decimal and
// its sign: "+12.5".
std::string ShareText(int64_t half_units);

// A pull of pull kPullUnit, with one decimal and its sign: "+812.4".
std::string PullText(int64_t pull);

// A sum of |pull| as a map writes it in a square: no more than six characters.
std::string PullFigureText(double sum);

// The names of a term's king and two pieces: "[+59OU]-[+58KI]-[-FU*]".
std::string TermNames(const RankedTerm& term);

// Writes "RANKING:" and one line per ranked term: rank, value in table units,
// then the king and the two pieces by their names.
void WriteRankingText(FILE* out, const Ranking& ranking);

// Writes the console text of a result, as far as its run got: the input
// board, the PV and the leaf board, the leaf's figures and ranking (or the
// comparison), the pieces' shares; a record's table; a scan's count and
// ranking.
void WriteRunText(FILE* out, const RunFacts& facts, const LeafAnalysis& leaf);
void WriteRunText(FILE* out, const RunFacts& facts, const RecordAnalysis& record);
void WriteRunText(FILE* out, const RunFacts& facts, const ScanAnalysis& scan);

// Writes a corpus's counts, fit, scale cross-entropy and calibration (and
// the second file's fit and scale), then the use of the table's entries.
void WriteRunText(FILE* out, const RunFacts& facts, const CorpusAnalysis& corpus);

// Writes each grid of map as its heading and nine rows of nine values, rank 1
// first, then a line per hand kind, "." where blank.
void WriteMapBody(FILE* out, const TableMap& map);

// Writes "MAP: KING PIECE (kpp|kkp)" and the map's grids and hand lines.
void WriteRunText(FILE* out, const RunFacts& facts, const MapAnalysis& map);

// Writes "CENSUS:", one line per king square and the totals.
void WriteRunText(FILE* out, const RunFacts& facts, const CensusAnalysis& census);

// Writes "SQUARES: PIECE value = V ...", then the ten best squares for the
// piece's side, each with its value and change.
void WriteRunText(FILE* out, const RunFacts& facts, const SquaresAnalysis& squares);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_CONSOLE_H_
