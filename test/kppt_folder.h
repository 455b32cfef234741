// KPPT sets for the runs of the real executable: the random set the tests
// share, sets of zeros but for chosen KPP words written sparse, and a
// working folder to run in.
#ifndef FVSCOPE_TEST_KPPT_FOLDER_H_
#define FVSCOPE_TEST_KPPT_FOLDER_H_

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "eval/kppt/kppt_file.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"
#include "tools/sample_kppt.h"

namespace fvscope {

// The random set (KPPT, 32-bit KK/KKP, seed 7) ctest makes once before the
// tests, else one made here once for the process.
inline std::string RandomKpptSet() {
  static const std::string folder = [] {
    const std::string made = FVSCOPE_KPPT_SET;
    if (std::filesystem::exists(made + "/KPP_synthesized.bin")) return made;
    static ScratchDir scratch;
    SampleKppt sample;
    MakeSampleKppt(KpptLayout::kKppt32, 7, &sample);
    EXPECT_TRUE(WriteSampleKppt(scratch.File("set"), sample));
    return scratch.File("set");
  }();
  return folder;
}

// Writes a set of layout into folder (made when missing), zero but for the
// given 16-bit KPP words (byte offset in the file, value), its KPP file
// kpp_bytes long unless -1; the zeros cost no disk.
inline void WriteSparseKppt(const std::string& folder, KpptLayout layout,
                            const std::vector<std::pair<int64_t, int16_t>>& kpp_words,
                            int64_t kpp_bytes = -1) {
  std::filesystem::create_directories(folder);
  const KpptLayoutInfo& info = kKpptLayoutInfo[static_cast<int>(layout)];
  const auto write = [&](const char* name, int64_t bytes,
                         const std::vector<std::pair<int64_t, int16_t>>& words) {
    if (name == nullptr) return;
    const int fd = open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << folder << "/" << name;
    ASSERT_EQ(ftruncate(fd, bytes), 0);
    for (const auto& [at, value] : words) {
      const uint8_t le[2] = {static_cast<uint8_t>(value),
                             static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8)};
      ASSERT_EQ(pwrite(fd, le, 2, at), 2);
    }
    close(fd);
  };
  write(info.kk_file, KkFileBytes(layout), {});
  write(info.kkp_file, KkpFileBytes(layout), {});
  write(info.kpp_file, kpp_bytes >= 0 ? kpp_bytes : KppFileBytes(layout), kpp_words);
}

// Byte offset of KPP[k][a][b]'s board part in a layout with both parts.
inline int64_t KppAt(int k, int a, int b) {
  return 4 * ((int64_t{k} * kPieceFeatures + a) * kPieceFeatures + b);
}

// A fresh working folder; every run puts leading (options already quoted,
// ending in a blank) before its own options.
struct KpptWorkFolder {
  explicit KpptWorkFolder(std::string leading_options = "")
      : leading(std::move(leading_options)) {
    dir.Write("work/.keep", "");
    path = dir.File("work");
  }
  // Runs fvscope in the folder.
  ToolRun Run(const std::string& args) const { return RunTool(path, leading + args); }
  // The JSON document the folder's file name holds.
  nlohmann::json Json(const std::string& name) const {
    return nlohmann::json::parse(ReadWholeFile(path + "/" + name));
  }
  ScratchDir dir;
  std::string path;
  std::string leading;
};

}  // namespace fvscope

#endif  // FVSCOPE_TEST_KPPT_FOLDER_H_
