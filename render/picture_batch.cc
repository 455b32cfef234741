#include "render/picture_batch.h"

#include <exception>
#include <utility>

#include "render/board_image.h"
#include "render/term_image.h"
#include "render/thread_pool.h"

namespace fvscope {

namespace {

// Draws and saves one job; returns the empty text or what went wrong.
std::string DrawJob(const PictureJob& job) try {
  std::string error;
  SaveImage(job.path, DrawPicture(job), &error);
  return error;
} catch (const std::exception& e) {
  return job.path + ": the picture could not be drawn (" + e.what() + ")";
} catch (...) {
  return job.path + ": the picture could not be drawn";
}

}  // namespace

cv::Mat DrawPicture(const PictureJob& job) {
  if (job.sheet) return job.sheet();
  cv::Mat picture = NewBoardImage();
  if (job.triangle) {
    DrawTermPicture(job.position, job.value, job.king, job.cell_a, job.cell_b, job.label,
                    &picture);
  } else if (job.labels.empty()) {
    DrawBoardImage(job.position, &picture);
  } else {
    DrawCellLabels(job.position, job.labels, &picture);
  }
  return picture;
}

PictureJob BoardPictureJob(const std::string& path, const Position& position) {
  return {path, position, false, 0, 0, 0, 0, {}, {}, {}};
}

PictureJob TermPictureJob(const std::string& path, const Position& position, int32_t value,
                          int king, int cell_a, int cell_b) {
  return {path, position, true, value, king, cell_a, cell_b, {}, {}, {}};
}

PictureJob LabelPictureJob(const std::string& path, const Position& position,
                           std::vector<CellLabel> labels) {
  return {path, position, false, 0, 0, 0, 0, std::move(labels), {}, {}};
}

PictureJob SheetPictureJob(const std::string& path, std::function<cv::Mat()> draw) {
  PictureJob job = BoardPictureJob(path, Position{});
  job.sheet = std::move(draw);
  return job;
}

void DrawPictures(const std::vector<PictureJob>& jobs, int threads,
                  std::vector<std::string>* failures) {
  const int count = static_cast<int>(jobs.size());
  std::vector<std::string> errors(count);
  RunParallel(count, threads, [&](int i) { errors[i] = DrawJob(jobs[i]); });
  for (const std::string& error : errors) {
    if (!error.empty()) failures->push_back(error);
  }
}

}  // namespace fvscope
