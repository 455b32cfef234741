#include "app/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "test/scratch_dir.h"

namespace fvscope {
namespace {

namespace fs = std::filesystem;

TEST(ClearLogFolder, RemovesFilesAndLinksButNotFoldersOrLinkTargets) {
  ScratchDir dir;
  const std::string outside = dir.Write("outside/keep.txt", "keep");
  dir.Write("log/old.png", "x");
  dir.Write("log/sub/inner.txt", "y");
  fs::create_symlink(outside, dir.File("log/link-to-file"));
  fs::create_symlink(dir.File("outside"), dir.File("log/link-to-folder"));
  fs::create_symlink(dir.File("missing"), dir.File("log/dangling"));
  std::string error;
  ASSERT_TRUE(ClearLogFolder(dir.File("log"), &error)) << error;
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("log/old.png"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("log/link-to-file"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("log/link-to-folder"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("log/dangling"))));
  EXPECT_TRUE(fs::exists(dir.File("log/sub/inner.txt")));
  EXPECT_EQ(ReadWholeFile(outside), "keep");
}

TEST(ClearLogFolder, TwoRunsClearingOneFolderAtOnceBothSucceed) {
  // Shards started side by side in one working folder clear its log/ at
  // once: an entry the other run removed first is gone, not a failure.
  ScratchDir dir;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 2000; ++i) dir.Write("log/p" + std::to_string(i) + ".png", "x");
    std::string errors[2];
    bool cleared[2] = {};
    std::thread other([&] { cleared[1] = ClearLogFolder(dir.File("log"), &errors[1]); });
    cleared[0] = ClearLogFolder(dir.File("log"), &errors[0]);
    other.join();
    EXPECT_TRUE(cleared[0]) << errors[0];
    EXPECT_TRUE(cleared[1]) << errors[1];
    EXPECT_TRUE(fs::is_empty(dir.File("log")));
  }
}

TEST(ClearLogFolder, CreatesAMissingFolder) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(ClearLogFolder(dir.File("log"), &error)) << error;
  EXPECT_TRUE(fs::is_directory(dir.File("log")));
}

TEST(ClearLogFolder, RefusesAFileOrALinkInPlaceOfTheFolder) {
  ScratchDir dir;
  dir.Write("log", "not a folder");
  std::string error;
  EXPECT_FALSE(ClearLogFolder(dir.File("log"), &error));
  EXPECT_NE(error.find("not a folder"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(dir.File("log")), "not a folder");

  ScratchDir other;
  other.Write("elsewhere/keep.txt", "keep");
  fs::create_symlink(other.File("elsewhere"), other.File("log"));
  EXPECT_FALSE(ClearLogFolder(other.File("log"), &error));
  EXPECT_EQ(ReadWholeFile(other.File("elsewhere/keep.txt")), "keep");
}

TEST(RunCommand, ReportsStatusesOtherThanZero) {
  std::string error;
  EXPECT_TRUE(RunCommand("true", &error));
  EXPECT_FALSE(RunCommand("exit 3", &error));
  EXPECT_EQ(error, "exited with status 3");
  EXPECT_FALSE(RunCommand("kill -9 $$", &error));
  EXPECT_EQ(error, "was stopped by signal 9");
  EXPECT_FALSE(RunCommand("/nonexistent/engine 2>/dev/null", &error));
  EXPECT_EQ(error, "exited with status 127");
}

}  // namespace
}  // namespace fvscope
