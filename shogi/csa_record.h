// Reader of whole CSA game records (versions 2.2 and 3.0) as GUIs, servers
// and engines write them.
#ifndef FVSCOPE_SHOGI_CSA_RECORD_H_
#define FVSCOPE_SHOGI_CSA_RECORD_H_

#include <string>
#include <string_view>
#include <vector>

#include "shogi/move.h"

namespace fvscope {

// Reads the first game of the CSA record text into *record: its start position (king cells set,
// -1 for a side without a king), the side to move, move_number 1 and its moves, parsed with
// ParseCsaMove but not played, its result from its "%" line (%TORYO, %TIME_UP,
// %ILLEGAL_MOVE and %TSUMI lose for the side to move after the moves, %KACHI
// wins for it, %+ILLEGAL_ACTION loses for black and %-ILLEGAL_ACTION for
// white, %SENNICHITE, %JISHOGI and %HIKIWAKE draw, any other unknown) and
// the players' names of its N+ and N- lines (UTF-8, or code page 932
// converted). Returns false with *error "line N: <what was expected>, not \"<text>\"".
bool ReadCsaRecord(std::string_view text, GameRecord* record, std::string* error);

// One game of a record file: read, or refused with the reason.
struct RecordGame {
  GameRecord record;
  std::string error;  // empty when the game was read
};

// Appends every game of a CSA text to *games, games separated by "/" lines,
// each read as ReadCsaRecord reads a first game, its error's line numbers
// counted in the whole text. A game that is refused does not stop the next,
// which begins after the next "/" line; nothing but comments after the last
// "/" is no game.
void ReadCsaGames(std::string_view text, std::vector<RecordGame>* games);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_CSA_RECORD_H_
