// The JSON document of a run: every figure it prints, for scripts.
#ifndef FVSCOPE_REPORT_JSON_REPORT_H_
#define FVSCOPE_REPORT_JSON_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/breakdown.h"
#include "eval/compare.h"
#include "eval/piece_shares.h"
#include "eval/ranking.h"
#include "eval/table_scan.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/types.h"

namespace fvscope {

// Version of the document's layout.
constexpr int kJsonVersion = 1;

// What every document holds besides its mode's figures.
struct RunFacts {
  int32_t sort_mode;                  // the number as read
  std::string fv;                     // the evaluation file as opened
  std::vector<std::string> warnings;  // the warning lines as printed
};

// What a game document holds besides the breakdown, each part left out when
// it is null.
struct GameExtras {
  const Ranking* ranking = nullptr;            // "ranking"
  std::string compare_fv;                      // the second file of "compare"
  const LeafComparison* comparison = nullptr;  // "compare"
  const PieceShares* pieces = nullptr;         // "pieces"
  const PieceShares* pieces_after = nullptr;   // their shares under the second file
};

// The document of a game analysis (mode "game") or of a position from the
// command line (mode "position"): the input and its side to move, the PV,
// the leaf, its sums, value and tally, and the extras given.
std::string GameJson(const RunFacts& facts, const char* mode, const Position& input,
                     const PvLine& pv, const Position& leaf, const LeafBreakdown& breakdown,
                     const GameExtras& extras);

// The document of a table scan compared between two files: the king square
// and "compare" with the second file, the count of changed entries and
// their ranking.
std::string ScanComparisonJson(const RunFacts& facts, const std::string& compare_fv,
                               const ScanComparison& comparison);

// The document of a table scan: the king square, the count and the ranking.
std::string ScanJson(const RunFacts& facts, const TableScan& scan);

// The document of a record (mode "record"): per ply the move that led there
// (null for the start), the SFEN, the sums, material and value.
std::string RecordJson(const RunFacts& facts, const std::vector<RecordPly>& plies,
                       const std::vector<PositionFigures>& figures);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_JSON_REPORT_H_
