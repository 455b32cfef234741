// Fuzz target: the search-log reader, then the decoder, then every decoded
// move played on the starting position and written in both notations.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "shogi/csa_reader.h"
#include "shogi/move.h"
#include "shogi/notation.h"
#include "shogi/search_log_reader.h"
#include "test/start_position.h"

namespace {

const std::string kStart = std::string("a\nb\nc\n") + fvscope::kStartPositionRows + "+\n";

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
  fvscope::DecodePvLine(pv_text, side == 0 ? fvscope::kBlack : fvscope::kWhite, &line, &error);
  fvscope::Position position;
  FILE* start = fmemopen(const_cast<char*>(kStart.data()), kStart.size(), "r");
  fvscope::ReadCsaPositionFrom(start, &position);
  std::fclose(start);
  fvscope::PlayPvLine(&line, &position);
  for (int n = 0; n < line.count; ++n) {
    if (fvscope::CsaMoveText(line.moves[n]).size() != 7) __builtin_trap();
    if (fvscope::UsiMoveText(line.moves[n]).size() > 5) __builtin_trap();
  }
  if (fvscope::PositionSfen(position, fvscope::kBlack).empty()) __builtin_trap();
  for (int s = 0; s < fvscope::kSquares; ++s) {
    if (!fvscope::IsPieceCode(position.cells[s])) __builtin_trap();
  }
  return 0;
}
