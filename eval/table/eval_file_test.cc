#include "eval/table/eval_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "test/eval_files.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

EvalFile file;

void Load(const std::string& path, std::string* warning) {
  std::string error;
  CloseEvalFile(&file);
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &file, &error, warning)) << error;
}

TEST(EvalFile, AHundredByteFileFillsFiftyValuesOfSquareZero) {
  ScratchDir dir;
  std::string bytes;
  for (int i = 1; i <= 51; ++i) bytes += {char(i), char(0)};
  bytes.pop_back();  // 101 bytes: the trailing odd byte is no value
  std::string warning;
  Load(dir.Write("fv.bin", bytes), &warning);
  EXPECT_NE(warning.find("101 bytes, expected 186268248"), std::string::npos) << warning;
  int value = 1;
  for (int f1 = 0; f1 < 10; ++f1) {
    for (int f2 = 0; f2 <= f1; ++f2, ++value) {
      const int want = value <= 50 ? value : 0;
      EXPECT_EQ(KppValue(file, 0, f1, f2), want);
      EXPECT_EQ(KppValue(file, 0, f2, f1), want);
    }
  }
  long nonzero = 0;
  for (int f1 = 0; f1 < kKppFeatures; ++f1) {
    for (int f2 = 0; f2 < kKppFeatures; ++f2) {
      nonzero += KppValue(file, 0, f1, f2) != 0 || KppValue(file, 1, f1, f2) != 0;
    }
  }
  EXPECT_EQ(nonzero, 50 + 50 - 9);  // 9 diagonal values have no mirror
  EXPECT_EQ(KkpValue(file, 0, 0, 0), 0);
  EXPECT_EQ(KkpValue(file, 80, 80, 737), 0);
}

TEST(EvalFile, ValuesMatchTheStoredTriangles) {
  ScratchDir dir;
  const std::string path = dir.File("fv.bin");
  WriteEvalFile(path, {{KkpOffset(0, 0, 0), -5}, {KkpOffset(80, 80, 737), 9}}, kEvalFileBytes + 1);
  // Random triangles for three squares, read back in both orders of the features.
  std::mt19937 random(7);
  std::vector<int16_t> triangles[3];
  const int squares[3] = {0, 40, 80};
  const int fd = open(path.c_str(), O_WRONLY);
  for (int s = 0; s < 3; ++s) {
    triangles[s].resize(kKppTriangleValues);
    for (int16_t& v : triangles[s]) v = static_cast<int16_t>(random());
    ASSERT_EQ(pwrite(fd, triangles[s].data(), 2 * kKppTriangleValues, KppOffset(squares[s], 0, 0)),
              2 * kKppTriangleValues);
  }
  close(fd);
  std::string warning;
  Load(path, &warning);
  EXPECT_NE(warning.find("not read"), std::string::npos);
  EXPECT_EQ(KkpValue(file, 0, 0, 0), -5);
  EXPECT_EQ(KkpValue(file, 80, 80, 737), 9);
  for (int s = 0; s < 3; ++s) {
    for (int f1 = 0; f1 < kKppFeatures; ++f1) {
      for (int f2 = 0; f2 < kKppFeatures; ++f2) {
        const int hi = f1 > f2 ? f1 : f2, lo = f1 > f2 ? f2 : f1;
        ASSERT_EQ(KppValue(file, squares[s], f1, f2), triangles[s][TriangleIndex(hi, lo)])
            << s << " " << f1 << " " << f2;
      }
    }
  }
  EXPECT_EQ(KppValue(file, 0, 1, 1), triangles[0][2]);  // the file's third value
  EXPECT_EQ(KppValue(file, 1, 1475, 1475), 0);
}

TEST(EvalFile, FailuresAreReported) {
  std::string error, warning;
  EvalFile failed;
  EXPECT_FALSE(LoadEvalFile("/nonexistent/fv.bin", &failed, &error, &warning));
  EXPECT_NE(error.find("/nonexistent/fv.bin: cannot open"), std::string::npos);
  ScratchDir dir;
  EXPECT_FALSE(LoadEvalFile(dir.path().c_str(), &failed, &error, &warning));
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace fvscope
