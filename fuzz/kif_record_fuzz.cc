// Fuzz target: the KIF record reader on arbitrary bytes, and the same bytes
// read as a file of CSA games. A record it reads has every cell a piece
// code, hand counts of 0 or more and the king cells on the kings, its start
// written as an SFEN reads back to the same cells, and its moves, each
// checked as it was read, play again to the end; a record it refuses says
// why in one short line of printable ASCII.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "shogi/kif_record.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/record_file.h"
#include "shogi/sfen.h"

namespace {

// Every game of bytes read in format: a short message or consistent cells.
void CheckGames(std::string_view bytes, fvscope::RecordFormat format) {
  std::vector<fvscope::RecordGame> games;
  fvscope::ReadRecordGames(bytes, format, &games);
  if (games.empty() && !bytes.empty()) __builtin_trap();
  for (const fvscope::RecordGame& game : games) {
    if (!game.error.empty() ? !fvscope::PlainMessage(game.error)
                            : !fvscope::CellsConsistent(game.record.start)) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fvscope::LooksLikeKif(bytes);
  CheckGames(bytes, fvscope::RecordFormat::kCsa);
  CheckGames(bytes, fvscope::RecordFormat::kKif);
  fvscope::GameRecord record;
  std::string error;
  if (!fvscope::ReadKifRecord(bytes, &record, &error)) {
    if (!fvscope::PlainMessage(error)) __builtin_trap();
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  if (!fvscope::RecordStartIsSound(record)) __builtin_trap();
  std::vector<fvscope::RecordPly> plies;
  if (!fvscope::PlayRecordPlies(record, fvscope::Notation::kCsa, &plies, &error)) __builtin_trap();
  for (const fvscope::RecordPly& ply : plies) {
    if (!fvscope::CellsConsistent(ply.position)) __builtin_trap();
  }
  return 0;
}
