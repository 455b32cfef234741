// Fuzz target: the bytes of a partial file, decoded as they are and again
// with their checksum made right (so the damage reaches the fields). What
// decodes must encode to the very same bytes, and a partial of a whole run
// must merge into itself.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/corpus_partial.h"
#include "fuzz/fuzz_checks.h"

namespace {

void DecodeAndCheck(std::string_view bytes) {
  fvscope::CorpusPartial partial;
  std::string error;
  if (!fvscope::DecodeCorpusPartial(bytes, &partial, &error)) {
    if (!fvscope::PlainMessage(error)) __builtin_trap();
    return;
  }
  if (fvscope::EncodeCorpusPartial(partial) != bytes) __builtin_trap();
  if (!fvscope::CheckCorpusPartial(partial, &error)) __builtin_trap();
  fvscope::FitWinRate(partial.values);
  fvscope::CalibrationOf(partial.values);
  if (partial.shard_count != 1) return;
  fvscope::CorpusPartial merged;
  if (!fvscope::MergeCorpusPartials({partial}, {"fuzz.part"}, &merged, &error)) __builtin_trap();
  merged.usage = partial.usage;
  if (fvscope::EncodeCorpusPartial(merged) != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  DecodeAndCheck(bytes);
  if (size >= 8) {
    std::string sealed = bytes;
    const uint64_t sum = fvscope::ContentChecksum(sealed.data(), size - 8);
    for (int i = 0; i < 8; ++i) sealed[size - 8 + i] = static_cast<char>(sum >> (8 * i));
    DecodeAndCheck(sealed);
  }
  return 0;
}
