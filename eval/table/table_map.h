// Maps of the weights: every value of one KPP entry row (a king and a piece,
// paired with each feature in turn) or of one KKP row (a pair of kings), laid
// out on the real board with the real sides.
//
// Frames: the table is read from KING's side, at the viewed square of KING
// and with that side's own and opponent feature bases, as a position's
// feature lists read it; the grids are shown on the real board, so grid +FU
// always holds black pawns on real squares. Values are signed as they favour
// black: a white king's entries are negated, as the rankings negate its
// terms. The entry of a grid's square that is PIECE itself is the entry of
// the feature with itself.
//
// A KPPT set's map is laid out in the same records (eval/kppt/kppt_map.h).
#ifndef FVSCOPE_EVAL_TABLE_TABLE_MAP_H_
#define FVSCOPE_EVAL_TABLE_TABLE_MAP_H_

#include <cstdint>
#include <string>

#include "eval/table/eval_file.h"
#include "eval/table/features.h"
#include "shogi/place_name.h"
#include "shogi/types.h"

namespace fvscope {

// Feature kinds of a side, one per board block, in the order of their bases:
// pawn, lance, knight, silver, gold (standing for the promoted minor pieces
// too), bishop, horse, rook, dragon.
constexpr int kMapKinds = 9;
struct MapKindList {
  int kinds[kMapKinds];
};
constexpr MapKindList MakeMapKinds() {
  MapKindList list{};
  int n = 0;
  for (int last = -1; n < kMapKinds;) {
    int next = 0;
    for (int kind = 1; kind <= kPieceKinds; ++kind) {
      const int base = kKppOwnBase[kind];
      if (base > last && (next == 0 || base < kKppOwnBase[next])) next = kind;
    }
    if (next == 0) break;
    list.kinds[n++] = next;
    last = kKppOwnBase[next];
  }
  return list;
}
inline constexpr MapKindList kMapKindList = MakeMapKinds();

// Most counts a hand kind has features for (pawns: 0..18).
constexpr int kMaxMapCounts = 19;

// One 9 x 9 grid: the entries of one side's feature kind on every real square.
struct MapGrid {
  Side side;                 // real side of the grid's pieces
  int kind;                  // a kind of kMapKindList
  bool present[kSquares];    // false where such a piece never stands, where a king
                             // stands, and on PIECE's square in all grids but a
                             // table's own (a KPPT set never reads the diagonal)
  int16_t features[kSquares];  // the feature each square's entry pairs with
  int32_t values[kSquares];  // favouring black; after - before in a comparison
  int32_t before[kSquares];  // a comparison's two files, favouring black
  int32_t after[kSquares];
};

// The entries of one side's hand kind for every count it has features for.
struct MapHand {
  Side side;
  int hand_kind;    // 0..6, pawn..rook
  int first_count;  // the count of values[0]: 0 in a table, 1 in a KPPT set
  int counts;       // values for counts first_count..first_count+counts-1
  bool present[kMaxMapCounts];  // all in a table; false for PIECE itself in a KPPT set
  int16_t features[kMaxMapCounts];
  int32_t values[kMaxMapCounts];
  int32_t before[kMaxMapCounts];
  int32_t after[kMaxMapCounts];
};

// A map: KPP with a piece or a held kind as PIECE (black's nine grids, then
// white's; black's seven hand kinds, then white's), KKP with the other king
// (a table's: KING's side's nine grids and seven hand kinds; a KPPT set's
// both sides').
struct TableMap {
  MapRequest request;
  bool kkp;
  bool compared;  // values are after - before
  int grid_count;
  MapGrid grids[2 * kMapKinds];
  int hand_count;
  MapHand hands[2 * kHandKinds];
};

// KPP feature of place (not a king) from viewer's side: own or opponent base
// of its kind plus its viewed square, or own or opponent hand base plus its
// count. -1 for a king, a piece where it can never stand, or a count without
// a feature.
int KppFeatureOf(Side viewer, const Place& place);

// KKP feature of a piece or held kind of viewer's own side; -1 for the
// opponent's, a king, a piece where it can never stand, or a count without a
// feature.
int KkpFeatureOf(Side viewer, const Place& place);

// Checks what a map of either family asks of request: KING a king on the
// board, PIECE not on KING's square, the other king of a KKP map the other
// side's and on the board. Returns false with *error naming what is wrong.
bool CheckMapRequest(const MapRequest& request, std::string* error);

// Sets *error to why headed by the request ("map +59OU:+58KI: why") and
// returns false.
bool FailMapRequest(const MapRequest& request, const std::string& why, std::string* error);

// Fills *map with request's entries under file. Returns false with *error
// naming what is wrong when PIECE has no feature (a held count beyond the
// table's, a king of KING's own side, a piece on KING's square).
bool BuildTableMap(const EvalFile& file, const MapRequest& request, TableMap* map,
                   std::string* error);

// As BuildTableMap, each value being after - before, with both kept.
bool CompareTableMap(const EvalFile& before, const EvalFile& after, const MapRequest& request,
                     TableMap* map, std::string* error);

// Heading of a grid: "+FU", "-KA".
std::string MapGridName(const MapGrid& grid);

// Heading of a hand kind's values: "+FU*".
std::string MapHandName(const MapHand& hand);

// Largest magnitude of the map's present values, 0 when all are 0.
int32_t MapLargestMagnitude(const TableMap& map);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_TABLE_TABLE_MAP_H_
