// Maps of a KPPT set: one KPP row (a king and a piece, paired with every
// feature in turn) or one KKP row (both kings), laid out on the real board
// with the real sides, in the part a run chooses.
//
// Frames: KING's slab is read as a position reads it: black's king at its
// square with black's view, white's king at Inv(its square) with white's
// view. The grids stand on the real board, so grid +FU always holds black
// pawns on real squares. The board part is signed as it favours black (a
// white king's KPP entries negated, as the value subtracts them); the turn
// part is a bonus to the side to move whichever king reads it, so it is
// shown as read. KKP is from black's view whichever king is KING.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_MAP_H_
#define FVSCOPE_EVAL_KPPT_KPPT_MAP_H_

#include <cstdint>
#include <string>

#include "eval/kppt/kppt_file.h"
#include "eval/table/table_map.h"
#include "shogi/place_name.h"
#include "shogi/types.h"

namespace fvscope {

// A KPPT map: KPP with a piece or a held piece as PIECE, KKP with the other
// king; both sides' nine grids and seven hand kinds either way, each hand
// from the 1st piece held.
struct KpptMap {
  TableMap table;      // the request, the grids and hands, the part's values
  KpptPart part;
  int32_t slab;        // KPP: the king square of KING's view; KKP: black's king square
  int32_t other_king;  // KKP: white's king square; -1 for KPP
  int32_t piece_feature;  // KPP: PIECE's feature from KING's view; -1 for KKP
  KpptPair kk;         // KKP: KK of both kings (after - before compared), {0, 0} without KK
};

// Fills *map with request's entries of part under set, and with second (of
// the same layout) not null their change to it. Returns false with *error
// naming what is wrong when KING is not a king on the board or PIECE has no
// feature (a count held outside 1..the set's, a piece where it never stands,
// PIECE on KING's square).
bool BuildKpptMap(const KpptSet& set, const KpptSet* second, const MapRequest& request,
                  KpptPart part, KpptMap* map, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_MAP_H_
