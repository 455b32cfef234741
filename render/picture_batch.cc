#include "render/picture_batch.h"

#include <atomic>
#include <thread>

#include "render/board_image.h"
#include "render/term_image.h"

namespace fvscope {

namespace {

// Draws and saves one job; returns the empty text or what went wrong.
std::string DrawJob(const PictureJob& job) {
  std::string error;
  if (job.triangle) {
    DrawTermImage(job.path, job.position, job.value, job.king, job.cell_a, job.cell_b, &error);
  } else {
    cv::Mat picture = NewBoardImage();
    DrawBoardImage(job.position, &picture);
    SaveImage(job.path, picture, &error);
  }
  return error;
}

}  // namespace

PictureJob BoardPictureJob(const std::string& path, const Position& position) {
  return {path, position, false, 0, 0, 0, 0};
}

void AddRankedTermJobs(const RankedTerms& ranked, std::vector<PictureJob>* jobs) {
  for (int r = 0; r < ranked.count; ++r) {
    const RankedTerm& t = ranked.terms[r];
    jobs->push_back({RankPictureName(r + 1), t.position, true, t.value, t.king, t.cell_a, t.cell_b});
  }
}

void DrawPictures(const std::vector<PictureJob>& jobs, int threads,
                  std::vector<std::string>* failures) {
  const int count = static_cast<int>(jobs.size());
  std::vector<std::string> errors(count);
  std::atomic<int> next{0};
  auto work = [&] {
    for (int i; (i = next.fetch_add(1)) < count;) errors[i] = DrawJob(jobs[i]);
  };
  if (threads > count) threads = count;
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::string& error : errors) {
    if (!error.empty()) failures->push_back(error);
  }
}

int MachineThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

}  // namespace fvscope
