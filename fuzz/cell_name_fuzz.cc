// Fuzz target: the namings and decodings that callers pass integers to.
#include <cstdint>
#include <cstring>

#include "eval/table/features.h"
#include "render/term_image.h"
#include "shogi/cell_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t values[3] = {0, 0, 0};
  std::memcpy(values, data, size < sizeof values ? size : sizeof values);
  if (fvscope::CellName(values[0], values[1]).size() > 5) __builtin_trap();
  fvscope::DecodedFeature decoded;
  if (fvscope::DecodeFeature(values[2], &decoded)) {
    if (decoded.cell < 0 || decoded.cell >= fvscope::kFilledCells) __builtin_trap();
    if (fvscope::CellName(decoded.cell, decoded.value).size() > 5) __builtin_trap();
  }
  int x = 0, y = 0;
  fvscope::LocationCentre(values[0], &x, &y);
  if (x < 0 || x >= 640 || y < 0 || y >= 640) __builtin_trap();
  return 0;
}
