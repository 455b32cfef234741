#include "eval/kppt/identity_memo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "eval/kppt/kppt_file.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

constexpr int64_t kSecond = 1000000000;

// The one file a memo folder holds, or "" when it holds none.
std::string OnlyMemo(const std::string& memo) {
  std::error_code ec;
  std::string found;
  for (const auto& entry : std::filesystem::directory_iterator(memo, ec)) {
    if (!found.empty()) return "more than one";
    found = entry.path().string();
  }
  return found;
}

// A memo is recalled for the very files it was taken of and no others, and
// anything unexpected in it is ignored.
TEST(IdentityMemo, RecalledOnlyForTheSameFiles) {
  ScratchDir dir;
  const std::string set = dir.path() + "/set";
  std::filesystem::create_directory(set);
  const std::string memo = dir.path() + "/cache/deeper/fvscope";
  const FileStamp stamps[2] = {{"KKP.bin", 5, 7, 40625712, 10 * kSecond, 11 * kSecond},
                               {"KPP.bin", 5, 8, 776402496, 12 * kSecond, 13 * kSecond}};
  uint64_t identity = 0;
  EXPECT_FALSE(RecallIdentity(memo, set, stamps, 2, &identity));
  // Summed within a second of a change: not remembered.
  RememberIdentity(memo, set, stamps, 2, 13 * kSecond + kSecond / 2, 0x1234);
  EXPECT_EQ(OnlyMemo(memo), "");
  RememberIdentity(memo, set, stamps, 2, 20 * kSecond, 0xFEDCBA9876543210ull);
  ASSERT_TRUE(RecallIdentity(memo, set, stamps, 2, &identity));
  EXPECT_EQ(identity, 0xFEDCBA9876543210ull);
  // The same set named by another path is the same set.
  EXPECT_TRUE(RecallIdentity(memo, dir.path() + "/./set/", stamps, 2, &identity));
  EXPECT_FALSE(RecallIdentity("", set, stamps, 2, &identity));
  EXPECT_FALSE(RecallIdentity(memo, dir.path(), stamps, 2, &identity));
  EXPECT_FALSE(RecallIdentity(memo, set, stamps, 1, &identity));
  // Any field of any stamp changed.
  for (int field = 0; field < 6; ++field) {
    FileStamp changed[2] = {stamps[0], stamps[1]};
    FileStamp& s = changed[1];
    switch (field) {
      case 0: s.name = "KPP_synthesized.bin"; break;
      case 1: ++s.device; break;
      case 2: ++s.inode; break;
      case 3: ++s.bytes; break;
      case 4: ++s.modified_ns; break;
      case 5: ++s.changed_ns; break;
    }
    EXPECT_FALSE(RecallIdentity(memo, set, changed, 2, &identity)) << field;
  }
  // A memo cut short, grown, or with a digit that is not one.
  const std::string path = OnlyMemo(memo);
  const std::string whole = ReadWholeFile(path);
  const auto recalled_with = [&](const std::string& text) {
    ScratchDir scratch;
    std::filesystem::rename(scratch.Write("memo", text), path);
    return RecallIdentity(memo, set, stamps, 2, &identity);
  };
  EXPECT_FALSE(recalled_with(whole.substr(0, whole.size() - 1)));
  EXPECT_FALSE(recalled_with(whole + "\n"));
  std::string bad = whole;
  bad[bad.size() - 3] = 'G';
  EXPECT_FALSE(recalled_with(bad));
  EXPECT_FALSE(recalled_with(""));
  EXPECT_TRUE(recalled_with(whole));
}

// Loading a set recalls a memo of its files as they stand (here a false
// one, to tell it from a sum), and sums again once a file is replaced.
TEST(IdentityMemo, LoadRecallsUntilAFileIsReplaced) {
  ScratchDir dir;
  const std::string set = dir.path() + "/set";
  const std::string memo = dir.path() + "/memo";
  std::filesystem::create_directory(set);
  const KpptLayout layout = KpptLayout::kNoKk;
  const auto make = [&](const std::string& name, int64_t bytes, uint16_t word) {
    const int fd = open((set + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, bytes), 0);
    const uint8_t le[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    ASSERT_EQ(pwrite(fd, le, 2, 64), 2);
    close(fd);
  };
  make("KKP.bin", KkpFileBytes(layout), 3);
  make("KPP.bin", KppFileBytes(layout), 4);
  FileStamp stamps[2];
  const char* names[2] = {"KKP.bin", "KPP.bin"};
  for (int i = 0; i < 2; ++i) {
    const int fd = open((set + "/" + names[i]).c_str(), O_RDONLY);
    ASSERT_TRUE(StampOf(fd, names[i], &stamps[i]));
    close(fd);
  }
  RememberIdentity(memo, set, stamps, 2, WallClockNs() + 2 * kSecond, 99);
  KpptSet loaded;
  std::string error;
  ASSERT_TRUE(LoadKpptSet(set, memo, &loaded, &error)) << error;
  EXPECT_EQ(loaded.identity, 99u);
  CloseKpptSet(&loaded);
  ASSERT_TRUE(LoadKpptSet(set, "", &loaded, &error)) << error;
  EXPECT_EQ(loaded.identity, 7u);
  CloseKpptSet(&loaded);
  // A new file of the same size and time put in the old one's place.
  std::filesystem::rename(set + "/KPP.bin", dir.path() + "/old");
  make("KPP.bin", KppFileBytes(layout), 5);
  ASSERT_TRUE(LoadKpptSet(set, memo, &loaded, &error)) << error;
  EXPECT_EQ(loaded.identity, 8u);
  CloseKpptSet(&loaded);
}

}  // namespace
}  // namespace fvscope
