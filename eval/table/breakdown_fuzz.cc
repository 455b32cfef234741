// Fuzz target: the leaf check on any cells, then, when it passes, the
// breakdown itself on a small evaluation file. A packed position block that
// decodes must pass the check: the corpus evaluates decoded records
// without it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "eval/table/breakdown.h"
#include "eval/table/eval_file.h"
#include "shogi/packed_position.h"

namespace {

fvscope::EvalFile loaded;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char path[] = "/tmp/fvscope-fuzz-fv-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  uint16_t values[1 << 15];
  uint32_t x = 12345;
  for (uint16_t& v : values) v = static_cast<uint16_t>((x = x * 1103515245u + 12345u) >> 16);
  if (write(fd, values, sizeof values) != static_cast<ssize_t>(sizeof values)) std::abort();
  close(fd);
  std::string error, warning;
  if (!fvscope::LoadEvalFile(path, &loaded, &error, &warning)) std::abort();
  unlink(path);  // the loader keeps it open
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fvscope::Position position;
  std::memset(position.cells, 0, sizeof position.cells);
  const size_t cells = size - 1 < sizeof position.cells ? size - 1 : sizeof position.cells;
  std::memcpy(position.cells, data + 1, cells);
  if (data[0] & 1) {
    // Nudge the cells towards positions that pass the check.
    for (int s = 0; s < fvscope::kSquares; ++s) {
      position.cells[s] = static_cast<int8_t>(position.cells[s] % 15);
      if (data[0] & 2 && s % 3 != 0) position.cells[s] = 0;
    }
    for (int c = fvscope::kBlackHandBase; c < fvscope::kFilledCells; ++c) {
      position.cells[c] = static_cast<int8_t>((position.cells[c] & 0x7f) % 19);
    }
    for (int c : {fvscope::kBlackKingCell, fvscope::kWhiteKingCell}) {
      position.cells[c] = static_cast<int8_t>((position.cells[c] & 0x7f) % 81);
    }
  }
  std::string error;
  if (data[0] & 4 && size > fvscope::kPackedPositionBytes) {
    fvscope::Side to_move;
    const char* why = nullptr;
    const auto format = data[0] & 8 ? fvscope::PackedFormat::kHcpe : fvscope::PackedFormat::kPsv;
    if (fvscope::DecodePackedPosition(data + 1, format, &position, &to_move, &why) &&
        !fvscope::CheckLeaf(position, &error)) {
      __builtin_trap();
    }
  }
  static auto breakdown = std::make_unique<fvscope::LeafBreakdown>();
  const bool passed = fvscope::CheckLeaf(position, &error);
  if (fvscope::BreakDownLeaf(position, loaded, breakdown.get(), &error) != passed) __builtin_trap();
  if (passed) {
    const int n = breakdown->features.count;
    if (n < 14 || n > fvscope::kMaxFeatureEntries) __builtin_trap();
    if (breakdown->tally.entry_count != n * (n + 1)) __builtin_trap();
    fvscope::MaterialSum(position);
  }
  return 0;
}
