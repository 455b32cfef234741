#include "render/picture_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/board_image.h"
#include "render/image_file.h"
#include "test/scratch_dir.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

// Boards that several jobs share are drawn once and copied: every file must
// hold the pixels of its job drawn alone, on any number of threads, for term
// pictures, labelled boards and plain boards, shared or not.
TEST(DrawPictures, SharedBoardsGiveThePicturesOfEachJobAlone) {
  std::string error;
  ASSERT_TRUE(LoadBuiltinPieceImages(&error)) << error;
  ScratchDir dir;
  GameRecord record;
  ASSERT_TRUE(ParseSfen(kStartSfen, &record, &error)) << error;
  const Position start = record.start;
  Position other = start;
  other.cells[40] = 1;  // a pawn on 5e
  std::vector<PictureJob> jobs;
  for (int i = 0; i < 6; ++i) {
    jobs.push_back(TermPictureJob(dir.File("t" + std::to_string(i) + ".png"), start,
                                  (i - 3) * 100, 4 + 9 * i % 81, 20 + i, 60 - i));
  }
  jobs.back().label = "+1.5";
  jobs.push_back(LabelPictureJob(dir.File("l.png"), start, {{40, "+12.5", true}, {81, "-3", false}}));
  jobs.push_back(BoardPictureJob(dir.File("b.png"), start));
  jobs.push_back(TermPictureJob(dir.File("alone.png"), other, 64, 4, 40, 50));
  for (int threads : {1, 3}) {
    std::vector<std::string> failures;
    DrawPictures(jobs, threads, &failures);
    ASSERT_TRUE(failures.empty()) << failures.front();
    for (const PictureJob& job : jobs) {
      cv::Mat written;
      ASSERT_TRUE(ReadImageFile(job.path, &written, &error)) << job.path << ": " << error;
      const cv::Mat alone = DrawPicture(job);
      ASSERT_EQ(written.size(), alone.size()) << job.path;
      EXPECT_EQ(cv::norm(written, alone, cv::NORM_INF), 0) << job.path << " on " << threads;
    }
  }
}

}  // namespace
}  // namespace fvscope
