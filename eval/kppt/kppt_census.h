// A census of a whole KPPT set: per king square, both parts of its KPP slab
// and of its KKP block (how many entries are set, how large they are, how
// many sit at the ends of the 16-bit range), KK's as a whole, and with a
// second set of the same layout how many changed and by how much.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_CENSUS_H_
#define FVSCOPE_EVAL_KPPT_KPPT_CENSUS_H_

#include <cstdint>

#include "eval/kppt/kppt_file.h"
#include "eval/table/table_census.h"
#include "shogi/types.h"

namespace fvscope {

// The two parts of an entry, indexed by KpptPart.
constexpr int kKpptParts = 2;

// The figures of one table's entries, by part, before (the first set),
// after (the second) and their change.
struct KpptCensusCell {
  CensusCounts counts[kKpptParts];
  CensusCounts after[kKpptParts];
  CensusChange change[kKpptParts];
};

// The census of a set. King squares are in the features' numbering: the KPP
// slab of king square k (every stored entry, 1548 x 1548, the diagonal and
// both halves included) and the KKP block of black's king on k (81 x 1548).
struct KpptCensus {
  KpptLayout layout = KpptLayout::kKppt32;
  bool compared = false;  // a second set was read: after and change are filled
  bool has_kk = false;
  int kpp_parts = 2;      // 1: KPP has no turn part (its turn figures are empty)
  KpptCensusCell kpp[kSquares];
  KpptCensusCell kkp[kSquares];
  KpptCensusCell kk;      // the whole KK table
  KpptCensusCell kpp_total;
  KpptCensusCell kkp_total;
};

// Takes the census of set, and of its change to after when after is not
// null (of the same layout, checked by the caller), reading the mapped
// tables once on up to threads threads (each a run of king squares).
void TakeKpptCensus(const KpptSet& set, const KpptSet* after, int threads, KpptCensus* census);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_CENSUS_H_
