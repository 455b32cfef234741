// Texts of moves and positions in the notations other programs read: CSA
// moves, USI moves and SFEN positions.
#ifndef FVSCOPE_SHOGI_NOTATION_H_
#define FVSCOPE_SHOGI_NOTATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "shogi/move.h"
#include "shogi/types.h"

namespace fvscope {

// The move in CSA form with its mover's sign: "+7776FU", "-0055KA", the
// piece named as it stands after the move.
std::string CsaMoveText(const Move& move);

// The move in USI form: "7g7f", "P*5e", "8h2b+" ("+" when it promotes).
// A word whose squares lie outside the board gives "?".
std::string UsiMoveText(const Move& move);

// The position in SFEN (USI) form: ranks a..i from the top, files 9..1,
// black's pieces in capitals, "+" before a promoted piece, the side to move
// "b" or "w", the hands in the order R B G S N L P with their counts ("-"
// when both are empty), then move_number. Cells outside -14..14 and hand
// counts of 0 or less are left out.
std::string PositionSfen(const Position& position, Side side_to_move, int move_number = 1);

// The words of text: its runs of characters other than separators.
std::vector<std::string_view> SplitWords(std::string_view text, std::string_view separators);

// A byte of an input as a message shows it: printable ASCII as it is,
// anything else as '?'.
char ShownByte(char c);

// At most 40 bytes of text from an input, in double quotes, each as
// ShownByte shows it, with "..." when there is more: safe to print.
std::string QuotedInput(std::string_view text);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_NOTATION_H_
