// Positions and principal variations given on the command line: position
// texts and record files, --pv moves, and a USI engine's PV, each move
// checked before it is played.
#ifndef FVSCOPE_APP_POSITION_INPUT_H_
#define FVSCOPE_APP_POSITION_INPUT_H_

#include <string>
#include <vector>

#include "app/usi_engine.h"
#include "shogi/move.h"
#include "shogi/move_check.h"
#include "shogi/record_file.h"
#include "shogi/types.h"

namespace fvscope {

// What messages call a record given as text rather than as a file.
constexpr const char* kRecordTextName = "the record";

// Reads bytes, a record named name (a file's path, or kRecordTextName), as
// a USI position text, a CSA or a KIF record (RecordFormatOf tells which)
// into *record; *names gets the notation of its moves and *format, when
// given, the format. Returns false with *error, one line naming it, when it
// cannot be read.
bool ReadRecordText(const std::string& name, const std::string& bytes, GameRecord* record,
                    Notation* names, std::string* error, RecordFormat* format = nullptr);

// Reads text, a USI position text or the name of a file holding one, a CSA
// record or a KIF record (RecordFormatOf tells which), into *record; *names
// gets the notation of its moves, *name what messages call it (option, or
// the file) and *format, when given, the format it was read in. Returns
// false with *error, one line naming it, when it cannot be read.
bool ReadPositionArgument(const std::string& option, const std::string& text, GameRecord* record,
                          Notation* names, std::string* name, std::string* error,
                          RecordFormat* format = nullptr);

// Checks that position is one a game can reach and the tables can index:
// both kings, no piece where it can never move, no more pieces than the
// set, hand counts the tables have. Returns false with *error saying what
// is wrong.
bool CheckAnalysablePosition(const Position& position, std::string* error);

// Reads the position of position_text ("startpos" when empty), or of
// *record_text when given, and plays the first ply moves of it (all when
// negative) into *position with *to_move to move; *format (when not null)
// gets the form it was given in. Returns false with *error, one line, when
// it cannot be read, played or analysed.
bool ReadCommandLinePosition(const std::string& position_text, int ply, Position* position,
                             Side* to_move, std::string* error, RecordFormat* format = nullptr,
                             const std::string* record_text = nullptr);

// Reads the moves of --pv, each USI or CSA, separated by blanks or commas,
// into *pv from position with to_move to move, checking each. Returns false
// with *error ("--pv move 3 \"8h2b+\": ...") at the first that cannot be
// read or played.
bool ReadCommandLinePv(const std::string& text, const Position& position, Side to_move,
                       PvLine* pv, std::string* error);

// Takes the PV that the USI engine command answered into *pv from position
// with to_move to move, up to the first move that cannot be played; that
// move, a bestmove of resign or win and an empty PV each add a warning.
void TakeUsiPv(const UsiResult& result, const std::string& command, const Position& position,
               Side to_move, PvLine* pv, std::vector<std::string>* warnings);

}  // namespace fvscope

#endif  // FVSCOPE_APP_POSITION_INPUT_H_
