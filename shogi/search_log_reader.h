// Reader of the principal variation in the engine's search log.
#ifndef FVSCOPE_SHOGI_SEARCH_LOG_READER_H_
#define FVSCOPE_SHOGI_SEARCH_LOG_READER_H_

#include <cstdio>
#include <string>

#include "shogi/move.h"

namespace fvscope {

// Room of a PV text, terminator included: 170 six-character moves.
constexpr int kPvTextCapacity = 1024;

// Moves taken from one PV line, numbered 1..kPvMovesPerLine.
constexpr int kPvMovesPerLine = 15;

// Fills pv_text with the six-character moves of every PV line (a line with
// "  8  ") before the first line with "pruning" or "hashing", following a PV
// onto the lines after it when it wraps. A move that would not fit in
// kPvTextCapacity is dropped. *first_side gets the side of the last PV
// line's first move (0 black, 1 white; 0 when none is found). Returns false,
// with pv_text empty and *first_side 0, when the file cannot be opened.
bool ReadPvText(const char* path, char (&pv_text)[kPvTextCapacity], int* first_side);

// The same from an open file, read to its stop line or its end.
void ReadPvTextFrom(FILE* file, char (&pv_text)[kPvTextCapacity], int* first_side);

// Reads the PV of the search log at path and decodes it into *line, the
// sides alternating from the side of its first move. *warning is empty, or
// says why fewer moves were taken: the log cannot be opened (no moves), or a
// move text that no engine writes ends the PV before it.
void ReadPv(const char* path, PvLine* line, std::string* warning);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_SEARCH_LOG_READER_H_
