// The table scan of a KPPT set: the KPP entries of one king square ranked
// by the part a run chooses, or by its change to a second set.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_SCAN_H_
#define FVSCOPE_EVAL_KPPT_KPPT_SCAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/kppt/kppt_file.h"
#include "eval/ranking.h"

namespace fvscope {

// One entry of a slab as a scan ranks it: the part's value (or its change)
// and the pair's features, a > b.
struct KpptScanEntry {
  int32_t value;
  int16_t a;
  int16_t b;
};

// What a scan finds.
struct KpptScan {
  int32_t king_square = 0;  // black's king's square (0..80, as the table scan numbers it)
  KpptPart part = KpptPart::kBoard;
  bool compared = false;    // values are after - before
  int32_t count = 0;        // pairs whose part is not 0 (compared: whose part changed)
  Ranking ranking;          // the top kRankingLength; board and turn as read from the
                            // first set; compared, before and after the part in each set
};

// True when a goes before b under mode: by the mode's order of their values,
// then by a, then by b, ascending.
bool KpptScanPrecedes(const KpptScanEntry& x, const KpptScanEntry& y, SortMode mode);

// Every unordered pair {a, b}, a > b, of two pieces' features (0 and the
// numbers no piece has left out) of the KPP slab of black's king on square,
// read as KPP[k][a][b], whose part is not 0, or with second not null whose
// part differs (valued after - before); in the order a, then b, ascending.
std::vector<KpptScanEntry> CollectKpptEntries(const KpptSet& set, const KpptSet* second,
                                              int square, KpptPart part);

// Collects square's entries, ranks them under mode and fills *scan with
// their count and the top kRankingLength, each named as black's king on
// square and the two pieces its features decode to from black's view.
// Returns false with *error when square is outside 0..80.
bool ScanKpptSlab(const KpptSet& set, const KpptSet* second, int square, KpptPart part,
                  SortMode mode, KpptScan* scan, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_SCAN_H_
