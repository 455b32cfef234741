// Reading positions in the forms USI programs write: SFEN, and the argument
// of a USI "position" command.
#ifndef FVSCOPE_SHOGI_SFEN_H_
#define FVSCOPE_SHOGI_SFEN_H_

#include <string>
#include <string_view>

#include "shogi/move.h"
#include "shogi/types.h"

namespace fvscope {

// The starting position in SFEN.
constexpr const char* kStartSfen =
    "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1";

// Reads an SFEN (board, side to move, hands, and an optional move number)
// into *record with no moves; the king cells are set from the board, -1 for
// a side without a king. Returns false with *error saying what was expected
// where, for a text that is no SFEN: a rank of other than nine files, other
// than nine ranks, a piece letter that is none, two kings of a side, a hand
// count of 0 or above 127.
bool ParseSfen(std::string_view sfen, GameRecord* record, std::string* error);

// Reads the argument of a USI position command: "startpos" or "sfen ...",
// optionally followed by "moves" and USI moves, into *record; the moves are
// parsed, not played. Returns false with *error for a text that is neither.
bool ParseUsiPosition(std::string_view text, GameRecord* record, std::string* error);

// True when text begins as a USI position argument: "startpos", "sfen " or
// "position ", after blanks.
bool LooksLikeUsiPosition(std::string_view text);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_SFEN_H_
