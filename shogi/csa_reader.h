// Reader of the board rows and hands of a CSA game record.
#ifndef FVSCOPE_SHOGI_CSA_READER_H_
#define FVSCOPE_SHOGI_CSA_READER_H_

#include <cstdio>

#include "shogi/types.h"

namespace fvscope {

// Fills cells 0..94 of *position from the CSA record at path: lines 1..3 are
// skipped, lines 4..12 are the nine rows in file order, then hand lines as
// long as they come. King squares found on the board are stored in cells 96
// and 97; a side without a king keeps its cell. Rows or cells missing from a
// short file or line stay empty. Returns false, leaving *position untouched,
// when the file cannot be opened.
bool ReadCsaPosition(const char* path, Position* position);

// The same from an open file, read to the line that ends the hand lines.
void ReadCsaPositionFrom(FILE* file, Position* position);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_CSA_READER_H_
