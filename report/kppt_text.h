// The console text of a KPPT set's table views: its scan of a king square,
// its map of a king and a piece (or both kings), its census.
#ifndef FVSCOPE_REPORT_KPPT_TEXT_H_
#define FVSCOPE_REPORT_KPPT_TEXT_H_

#include <cstdio>

#include "eval/kppt/kppt_census.h"
#include "eval/kppt/kppt_map.h"
#include "eval/kppt/kppt_scan.h"

namespace fvscope {

// "KPPT SCAN:" with the square, the part and the count, then each ranked
// entry with both parts (or, compared, its change, before and after).
void WriteKpptScanText(FILE* out, const KpptScan& scan);

// "MAP:" with KING, PIECE, the table and the part; KKP's KK pair; then each
// grid in rows of nine and each hand kind's values, "." where blank.
void WriteKpptMapText(FILE* out, const KpptMap& map);

// "CENSUS:" with the layout, then per king square (0..80 as the table
// census numbers them) both parts of KPP and KKP, the total and KK; compared,
// the changes beside.
void WriteKpptCensusText(FILE* out, const KpptCensus& census);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_KPPT_TEXT_H_
