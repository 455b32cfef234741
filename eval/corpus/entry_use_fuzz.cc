// Fuzz target: the byte form of entry use read back. What is refused says
// why and adds nothing; what is taken is written again to the same bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "eval/corpus/entry_use.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A store keeping one pull and one keeping two; the bytes name which.
  static fvscope::EntryUse* stores[2] = {new fvscope::EntryUse(false, 1),
                                         new fvscope::EntryUse(false, 2)};
  const int pulls = size > 4 && data[4] == 2 ? 2 : 1;
  fvscope::EntryUse* use = stores[pulls - 1];
  fvscope::ClearEntryUse(use);
  std::string error;
  std::string bytes;
  if (!fvscope::DecodeEntryUse(data, size, use, &error)) {
    if (error.empty()) __builtin_trap();
    fvscope::EncodeEntryUse(*use, &bytes);
    if (bytes != std::string("FVU2") + char(pulls) + std::string(2, '\0')) __builtin_trap();
    return 0;
  }
  fvscope::EncodeEntryUse(*use, &bytes);
  if (bytes.size() != size || std::memcmp(bytes.data(), data, size) != 0) __builtin_trap();
  return 0;
}
