// Fuzz target: the CSA record reader on arbitrary bytes. A record it reads
// has every cell a piece code, hand counts of 0 or more and the king cells
// on the kings, and its start written as an SFEN reads back to the same
// cells; a record it refuses says why in one short message.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_checks.h"
#include "shogi/csa_record.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fvscope::GameRecord record;
  std::string error;
  if (!fvscope::ReadCsaRecord(text, &record, &error)) {
    if (!fvscope::PlainMessage(error)) __builtin_trap();
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  if (!fvscope::RecordStartIsSound(record)) __builtin_trap();
  for (const fvscope::Move& move : record.moves) {
    if (move.side != fvscope::kBlack && move.side != fvscope::kWhite) __builtin_trap();
    if (fvscope::CsaMoveText(move).size() != 7) __builtin_trap();
  }
  return 0;
}
