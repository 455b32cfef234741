// Fuzz target: a map's KING:PIECE text on arbitrary bytes. A text that is
// refused says why in one plain line; one that is read names its places so
// that they read back the same, and has a map in the tables.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "eval/table/table_map.h"
#include "fuzz/fuzz_checks.h"
#include "shogi/place_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fvscope::MapRequest request;
  std::string error;
  if (!fvscope::ParseMapRequest(text, &request, &error)) {
    if (!fvscope::PlainMessage(error)) __builtin_trap();
    return 0;
  }
  const std::string again =
      fvscope::PlaceName(request.king) + ":" + fvscope::PlaceName(request.piece);
  fvscope::MapRequest read_again;
  if (!fvscope::ParseMapRequest(again, &read_again, &error)) __builtin_trap();
  if (fvscope::PlaceName(read_again.king) + ":" + fvscope::PlaceName(read_again.piece) != again) {
    __builtin_trap();
  }
  static const fvscope::EvalFile kEmpty;
  auto map = std::make_unique<fvscope::TableMap>();
  if (!fvscope::BuildTableMap(kEmpty, request, map.get(), &error)) __builtin_trap();
  return 0;
}
