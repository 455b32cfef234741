// Fuzz target: the search-log reader, then the decoder, then every decoded
// move played on the starting position.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/search_log_reader.h"

namespace {

const char kStart[] =
    "a\nb\nc\n"
    "P1-KY-KE-GI-KI-OU-KI-GI-KE-KY\nP2 * -HI *  *  *  *  * -KA * \n"
    "P3-FU-FU-FU-FU-FU-FU-FU-FU-FU\nP4 *  *  *  *  *  *  *  *  * \n"
    "P5 *  *  *  *  *  *  *  *  * \nP6 *  *  *  *  *  *  *  *  * \n"
    "P7+FU+FU+FU+FU+FU+FU+FU+FU+FU\nP8 * +KA *  *  *  *  * +HI * \n"
    "P9+KY+KE+GI+KI+OU+KI+GI+KE+KY\n+\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (file == nullptr) return 0;
  char pv_text[fvscope::kPvTextCapacity];
  int side = 0;
  fvscope::ReadPvTextFrom(file, pv_text, &side);
  std::fclose(file);
  if (std::strlen(pv_text) >= fvscope::kPvTextCapacity || (side != 0 && side != 1)) {
    __builtin_trap();
  }
  static fvscope::PvLine line;
  std::string error;
  fvscope::DecodePvLine(pv_text, &line, &error);
  fvscope::Position position;
  FILE* start = fmemopen(const_cast<char*>(kStart), sizeof kStart - 1, "r");
  fvscope::ReadCsaPositionFrom(start, &position);
  std::fclose(start);
  for (int n = 0; n < line.count; ++n) {
    fvscope::ApplyMove(side, &position, &line.moves[n]);
    side = 1 - side;
  }
  for (int s = 0; s < fvscope::kSquares; ++s) {
    if (!fvscope::IsPieceCode(position.cells[s])) __builtin_trap();
  }
  return 0;
}
