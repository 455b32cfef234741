// Fuzz target: the bytes of a partial file, decoded as they are and again
// with their checksum made right (so the damage reaches the fields). What
// decodes must encode to the very same bytes (a partial of an older version
// is written in today's, which must read back to itself), and a partial of a
// whole run must merge into itself.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/corpus/corpus_partial.h"
#include "fuzz/fuzz_checks.h"

namespace {

// The format version a partial's bytes name after the magic (0 when cut short).
uint32_t VersionOf(std::string_view bytes) {
  if (bytes.size() < 12) return 0;
  uint32_t version = 0;
  for (int i = 0; i < 4; ++i) version |= uint32_t{static_cast<unsigned char>(bytes[8 + i])} << (8 * i);
  return version;
}

void DecodeAndCheck(std::string_view bytes) {
  fvscope::CorpusPartial partial;
  std::string error;
  if (!fvscope::DecodeCorpusPartial(bytes, &partial, &error)) {
    if (!fvscope::PlainMessage(error)) __builtin_trap();
    return;
  }
  const std::string encoded = fvscope::EncodeCorpusPartial(partial);
  if (VersionOf(bytes) == fvscope::kCorpusPartialVersion) {
    if (encoded != bytes) __builtin_trap();
  } else {
    fvscope::CorpusPartial again;
    if (!fvscope::DecodeCorpusPartial(encoded, &again, &error) ||
        fvscope::EncodeCorpusPartial(again) != encoded) {
      __builtin_trap();
    }
  }
  if (!fvscope::CheckCorpusPartial(partial, &error)) __builtin_trap();
  fvscope::FitWinRate(partial.values);
  fvscope::CalibrationOf(partial.values);
  if (partial.shard_count != 1) return;
  fvscope::CorpusPartial merged;
  if (!fvscope::MergeCorpusPartials({partial}, {"fuzz.part"}, &merged, &error)) __builtin_trap();
  merged.usage = partial.usage;
  if (fvscope::EncodeCorpusPartial(merged) != encoded) __builtin_trap();
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
