// Fuzz target: a position text as --position takes it (a USI text or a CSA
// record), every move of it checked and played, then the SFEN and the move
// texts of what came out.
#include <cstdint>
#include <string>
#include <string_view>

#include "shogi/csa_record.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fvscope::GameRecord record;
  std::string error;
  const bool usi = fvscope::LooksLikeUsiPosition(text);
  const bool read = usi ? fvscope::ParseUsiPosition(text, &record, &error)
                        : fvscope::ReadCsaRecord(text, &record, &error);
  if (!read) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const fvscope::Notation names = usi ? fvscope::Notation::kUsi : fvscope::Notation::kCsa;
  fvscope::Position position = record.start;
  fvscope::Side side = record.side_to_move;
  for (fvscope::Move move : record.moves) {
    std::string why;
    if (!fvscope::CheckMove(position, side, names, &move, &why)) break;
    fvscope::PlayMove(&position, &move);
    if (fvscope::MoveText(move, names).size() > 7) __builtin_trap();
    side = fvscope::Opponent(side);
    for (int s = 0; s < fvscope::kSquares; ++s) {
      if (!fvscope::IsPieceCode(position.cells[s])) __builtin_trap();
    }
    for (fvscope::Side k : fvscope::kSides) {
      const int king = position.cells[fvscope::KingCell(k)];
      if (king >= 0 && fvscope::KindOf(position.cells[king]) != fvscope::kKing) __builtin_trap();
    }
  }
  fvscope::GameRecord again;
  if (!fvscope::ParseSfen(fvscope::PositionSfen(position, side), &again, &error)) __builtin_trap();
  return 0;
}
