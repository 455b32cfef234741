// Places named as the rankings name them, read back from text: a piece of a
// side on a square ("+59OU", "-58KI") or a kind a side holds with its count
// ("-FU*3"); and the KING:PIECE pair a table map is asked for with.
#ifndef FVSCOPE_SHOGI_PLACE_NAME_H_
#define FVSCOPE_SHOGI_PLACE_NAME_H_

#include <string>
#include <string_view>

#include "shogi/types.h"

namespace fvscope {

// A piece of a side on a square, or a kind a side holds and how many.
struct Place {
  Side side;
  int kind;    // piece kind 1..14 (kKing for a king); a held kind as pawn..rook
  int square;  // 0..80, or -1 for a held kind
  int count;   // number held, 0..127; 0 for a piece on the board
};

// True when place is a held kind rather than a piece on the board.
constexpr bool IsHeld(const Place& place) { return place.square < 0; }

// Hand kind 0..6 of a held place.
constexpr int HandKindOf(const Place& place) { return place.kind - 1; }

// Reads text as sign, CSA file and rank digits and a piece name ("+76FU"), or
// sign, the name of a kind that can be held, "*" and the count ("-KA*2"; at
// most the pieces of that kind in a set). Returns false with *error naming
// what is wrong in one line.
bool ParsePlace(std::string_view text, Place* place, std::string* error);

// The text ParsePlace reads place from: "+59OU", "-FU*3".
std::string PlaceName(const Place& place);

// What a table map is asked for: a king, and a piece, a held kind with its
// count, or the other side's king.
struct MapRequest {
  Place king;
  Place piece;
};

// Reads "KING:PIECE" ("+59OU:-FU*3", "-51OU:+59OU"). Refuses a KING that is
// not a king, a PIECE on KING's square, a king of KING's own side, and a piece
// where it can never stand (a pawn or lance on its last rank, a knight on its
// last two), with *error naming what is wrong in one line.
bool ParseMapRequest(std::string_view text, MapRequest* request, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_PLACE_NAME_H_
