// Fuzz target: a KPPT set's remembered identity read back from any bytes.
// The first byte chooses whether the rest is the whole memo or follows a
// memo's true head (the set's path and its files' stamps). A memo may be
// recalled only when it is that head, "0x", sixteen lowercase hexadecimal
// digits and a newline, and then as those digits say.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "eval/kppt/identity_memo.h"

namespace {

const fvscope::FileStamp kStamps[2] = {{"KKP.bin", 1, 2, 40625712, 10, 11},
                                       {"KPP.bin", 1, 3, 776402496, 12, 13}};
std::string set_dir, memo_dir, memo_path, head;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char base[] = "/tmp/fvscope-fuzz-memo-XXXXXX";
  if (mkdtemp(base) == nullptr) std::abort();
  set_dir = std::string(base) + "/set";
  memo_dir = std::string(base) + "/memo";
  if (mkdir(set_dir.c_str(), 0700) != 0) std::abort();
  fvscope::RememberIdentity(memo_dir, set_dir, kStamps, 2, int64_t{100} * 1000000000, 0x1234);
  for (const auto& entry : std::filesystem::directory_iterator(memo_dir)) memo_path = entry.path();
  std::ifstream in(memo_path, std::ios::binary);
  std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (whole.size() < 19) std::abort();
  head = whole.substr(0, whole.size() - 19);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text = data[0] & 1 ? head : "";
  text.append(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    std::ofstream out(memo_path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  uint64_t identity = 0;
  if (!fvscope::RecallIdentity(memo_dir, set_dir, kStamps, 2, &identity)) return 0;
  const std::string tail = text.substr(head.size());
  if (text.compare(0, head.size(), head) != 0 || tail.size() != 19 || tail.compare(0, 2, "0x") != 0 ||
      tail[18] != '\n') {
    std::abort();
  }
  for (int i = 2; i < 18; ++i) {
    if (!((tail[i] >= '0' && tail[i] <= '9') || (tail[i] >= 'a' && tail[i] <= 'f'))) std::abort();
  }
  if (identity != std::strtoull(tail.substr(2, 16).c_str(), nullptr, 16)) std::abort();
  return 0;
}
