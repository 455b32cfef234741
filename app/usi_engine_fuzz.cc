// Fuzz target: an engine's output read as the USI conversation reads it.
// A success has a best move and PV moves that are single words, no longer
// than a line may be; a failure says why in one short message. The PV it
// gives is then taken from the starting position as --usi takes it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/position_input.h"
#include "app/usi_engine.h"
#include "shogi/sfen.h"

namespace {

bool IsWord(const std::string& text) {
  return !text.empty() && text.size() <= 64 * 1024 &&
         text.find_first_of(" \t\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view output(reinterpret_cast<const char*>(data), size);
  fvscope::UsiResult result;
  std::string error;
  if (!fvscope::ReadUsiTranscript(output, &result, &error)) {
    if (error.empty() || error.size() >= 300) __builtin_trap();
    for (char c : error) {
      if ((c >= 0 && c < 0x20) || c == 0x7f) __builtin_trap();
    }
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  if (!result.bestmove.empty() && !IsWord(result.bestmove)) __builtin_trap();
  for (const std::string& move : result.pv) {
    if (!IsWord(move)) __builtin_trap();
  }
  if (result.engine_name.size() > 64 * 1024) __builtin_trap();
  fvscope::GameRecord start;
  if (!fvscope::ParseSfen(fvscope::kStartSfen, &start, &error)) __builtin_trap();
  static fvscope::PvLine pv;
  std::vector<std::string> warnings;
  fvscope::TakeUsiPv(result, "engine", start.start, start.side_to_move, &pv, &warnings);
  if (pv.count < 0 || pv.count > fvscope::kMaxPvMoves || warnings.size() > 1) __builtin_trap();
  return 0;
}
