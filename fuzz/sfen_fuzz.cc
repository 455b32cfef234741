// Fuzz target: an SFEN on arbitrary bytes; what it reads must be written back
// as an SFEN that reads to the same text, with every cell a piece code and
// the king cells on the kings. Then the same bytes as a USI position text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_checks.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

using fvscope::CellsConsistent;
using fvscope::PlainMessage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fvscope::GameRecord record;
  std::string error;
  if (fvscope::ParseSfen(text, &record, &error)) {
    if (!CellsConsistent(record.start)) __builtin_trap();
    for (int c = fvscope::kBlackHandBase; c < fvscope::kFilledCells; ++c) {
      if (record.start.cells[c] < 0) __builtin_trap();
    }
    const std::string sfen =
        fvscope::PositionSfen(record.start, record.side_to_move, record.move_number);
    fvscope::GameRecord again;
    if (!fvscope::ParseSfen(sfen, &again, &error)) __builtin_trap();
    if (fvscope::PositionSfen(again.start, again.side_to_move, again.move_number) != sfen) {
      __builtin_trap();
    }
    if (!CellsConsistent(again.start)) __builtin_trap();
  } else if (!PlainMessage(error)) {
    __builtin_trap();
  }
  error.clear();
  fvscope::GameRecord usi;
  if (fvscope::ParseUsiPosition(text, &usi, &error)) {
    if (!CellsConsistent(usi.start)) __builtin_trap();
  } else if (!PlainMessage(error)) {
    __builtin_trap();
  }
  return 0;
}
