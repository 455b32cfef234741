// One entry for the game record files the tool reads: CSA, KIF and USI
// position texts, each file's format told by its name and its bytes.
#ifndef FVSCOPE_SHOGI_RECORD_FILE_H_
#define FVSCOPE_SHOGI_RECORD_FILE_H_

#include <string_view>
#include <vector>

#include "shogi/csa_record.h"
#include "shogi/move_check.h"

namespace fvscope {

// The format of a record file.
enum class RecordFormat { kCsa, kKif, kUsi };

// The format's name in documents: "csa", "kif" or "usi".
const char* RecordFormatName(RecordFormat format);

// The notation messages name a record's moves in: USI for a USI text, CSA
// for the others.
Notation RecordNotation(RecordFormat format);

// The format of the file at path holding bytes: KIF for a name ending in
// .kif or .kifu (any case); else USI when the bytes begin as a USI
// position text, KIF when they read as KIF (LooksLikeKif), CSA otherwise.
RecordFormat RecordFormatOf(std::string_view path, std::string_view bytes);

// Appends every game of a record file's bytes in format to *games: each of a
// CSA file (ReadCsaGames), the one of a KIF file or a USI text.
void ReadRecordGames(std::string_view bytes, RecordFormat format, std::vector<RecordGame>* games);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_RECORD_FILE_H_
