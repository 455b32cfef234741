// Fuzz target: the packed-record decoder on arbitrary bytes, in both
// formats. A record that decodes is a position the tables can index, and
// encoding it again gives bytes that decode to the same position.
#include <cstdint>
#include <cstring>

#include "shogi/packed_position.h"

namespace {

bool SameCells(const fvscope::Position& a, const fvscope::Position& b) {
  return std::memcmp(a.cells, b.cells, fvscope::kFilledCells) == 0 &&
         a.cells[fvscope::kBlackKingCell] == b.cells[fvscope::kBlackKingCell] &&
         a.cells[fvscope::kWhiteKingCell] == b.cells[fvscope::kWhiteKingCell];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fvscope;
  for (PackedFormat format : {PackedFormat::kPsv, PackedFormat::kHcpe}) {
    const size_t bytes = static_cast<size_t>(PackedRecordBytes(format));
    if (size < bytes) continue;
    // The quick reading and the reference agree on every block.
    Position quick, checked;
    Side quick_side = kBlack, checked_side = kBlack;
    const char* quick_why = nullptr;
    const char* checked_why = nullptr;
    const bool quick_ok = DecodePackedPosition(data, format, &quick, &quick_side, &quick_why);
    if (quick_ok != DecodeCheckingEachCode(data, format, &checked, &checked_side, &checked_why) ||
        (quick_ok && (!SameCells(quick, checked) || quick_side != checked_side)) ||
        (!quick_ok && std::strcmp(quick_why, checked_why) != 0)) {
      __builtin_trap();
    }
    PackedRecord record;
    const char* why = nullptr;
    if (!DecodePackedRecord(data, format, &record, &why)) {
      if (why == nullptr || why[0] == '\0') __builtin_trap();
      continue;
    }
    int pieces = 0;
    for (int s = 0; s < kSquares; ++s) {
      const int code = record.position.cells[s];
      if (!IsPieceCode(code)) __builtin_trap();
      if (code != 0 && KindOf(code) != kKing) ++pieces;
      if (code != 0 && RanksAhead(code > 0 ? kBlack : kWhite, s) < RanksToMove(KindOf(code))) {
        __builtin_trap();
      }
    }
    for (int slot = kBlackHandBase; slot < kFilledCells; ++slot) {
      if (record.position.cells[slot] < 0) __builtin_trap();
      pieces += record.position.cells[slot];
    }
    if (pieces > 38) __builtin_trap();
    uint8_t again[kPsvRecordBytes];
    if (!EncodePackedRecord(record.position, record.to_move, 0, record.result, 0, format, again)) {
      __builtin_trap();
    }
    PackedRecord back;
    if (!DecodePackedRecord(again, format, &back, &why) || !SameCells(back.position, record.position) ||
        back.to_move != record.to_move || back.result != record.result) {
      __builtin_trap();
    }
  }
  return 0;
}
