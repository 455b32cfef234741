// Fuzz target: the CSA record reader on arbitrary bytes. A record it reads
// has every cell a piece code, hand counts of 0 or more and the king cells
// on the kings, and its start written as an SFEN reads back to the same
// cells; a record it refuses says why in one short message.
#include <cstdint>
#include <string>
#include <string_view>

#include "shogi/csa_record.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace {

// True for a message of one short line of printable ASCII.
bool PlainMessage(const std::string& text) {
  if (text.empty() || text.size() >= 300) return false;
  for (char c : text) {
    if (c < 0x20 || c >= 0x7f) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fvscope::GameRecord record;
  std::string error;
  if (!fvscope::ReadCsaRecord(text, &record, &error)) {
    if (!PlainMessage(error)) __builtin_trap();
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  const fvscope::Position& start = record.start;
  int kings[2] = {-1, -1};
  for (int s = 0; s < fvscope::kSquares; ++s) {
    const int code = start.cells[s];
    if (!fvscope::IsPieceCode(code)) __builtin_trap();
    if (fvscope::KindOf(code) == fvscope::kKing) kings[code > 0 ? 0 : 1] = s;
  }
  if (start.cells[fvscope::kBlackKingCell] != kings[0] ||
      start.cells[fvscope::kWhiteKingCell] != kings[1]) {
    __builtin_trap();
  }
  for (int c = fvscope::kBlackHandBase; c < fvscope::kFilledCells; ++c) {
    if (start.cells[c] < 0) __builtin_trap();
  }
  for (const fvscope::Move& move : record.moves) {
    if (move.side != fvscope::kBlack && move.side != fvscope::kWhite) __builtin_trap();
    if (fvscope::CsaMoveText(move).size() != 7) __builtin_trap();
  }
  fvscope::GameRecord again;
  if (!fvscope::ParseSfen(fvscope::PositionSfen(start, record.side_to_move), &again, &error)) {
    __builtin_trap();
  }
  for (int c = 0; c < fvscope::kPositionCells; ++c) {
    if (again.start.cells[c] != start.cells[c]) __builtin_trap();
  }
  return 0;
}
