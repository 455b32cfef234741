// Reader of whole CSA game records (versions 2.2 and 3.0) as GUIs, servers
// and engines write them.
#ifndef FVSCOPE_SHOGI_CSA_RECORD_H_
#define FVSCOPE_SHOGI_CSA_RECORD_H_

#include <string>
#include <string_view>

#include "shogi/move.h"

namespace fvscope {

// Reads the first game of the CSA record text into *record: its start position (king cells set,
// -1 for a side without a king), the side to move, move_number 1 and its moves, parsed with
// ParseCsaMove but not played. Returns false with *error "line N: <what was expected>, not \"<text>\"".
bool ReadCsaRecord(std::string_view text, GameRecord* record, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_CSA_RECORD_H_
