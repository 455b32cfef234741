// Fuzz target: the game-record reader on arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shogi/board_text.h"
#include "shogi/csa_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fvscope::Position position;
  std::memset(position.cells, 0x5a, sizeof position.cells);
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (file == nullptr) return 0;
  fvscope::ReadCsaPositionFrom(file, &position);
  std::fclose(file);
  for (int s = 0; s < fvscope::kSquares; ++s) {
    if (!fvscope::IsPieceCode(position.cells[s])) __builtin_trap();
  }
  for (int cell = fvscope::kFilledCells; cell < fvscope::kPositionCells; ++cell) {
    const int8_t was = 0x5a;
    if (cell != fvscope::kBlackKingCell && cell != fvscope::kWhiteKingCell &&
        position.cells[cell] != was) {
      __builtin_trap();
    }
  }
  FILE* sink = std::fopen("/dev/null", "w");
  fvscope::PrintPosition(position, sink);
  std::fclose(sink);
  return 0;
}
