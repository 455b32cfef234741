#include "render/picture_batch.h"

#include <malloc.h>

#include <exception>
#include <map>
#include <string>
#include <utility>

#include "render/board_image.h"
#include "render/term_image.h"
#include "render/thread_pool.h"

namespace fvscope {

namespace {

// Draws job's picture: its marks over a copy of board when board is given
// (job's position already drawn), else the whole picture.
cv::Mat DrawOver(const PictureJob& job, const cv::Mat* board) {
  if (board == nullptr || job.sheet) return DrawPicture(job);
  cv::Mat picture = board->clone();
  if (job.triangle) {
    DrawTermMarks(job.value, job.king, job.cell_a, job.cell_b, job.label, &picture);
  } else if (!job.labels.empty()) {
    DrawCellLabelMarks(job.labels, &picture);
  }
  return picture;
}

// Draws and saves one job; returns the empty text or what went wrong.
std::string DrawJob(const PictureJob& job, const cv::Mat* board) try {
  std::string error;
  SaveImage(job.path, DrawOver(job, board), &error);
  return error;
} catch (const std::exception& e) {
  return job.path + ": the picture could not be drawn (" + e.what() + ")";
} catch (...) {
  return job.path + ": the picture could not be drawn";
}

}  // namespace

void KeepPictureMemory() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

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
  // A board that several jobs draw (the leaf under each ranked term of a game
  // analysis) is drawn once and copied; a board of one job only is drawn by it.
  std::map<std::string, std::vector<int>> jobs_of_board;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].sheet) continue;
    const auto* cells = reinterpret_cast<const char*>(jobs[i].position.cells);
    jobs_of_board[std::string(cells, sizeof jobs[i].position.cells)].push_back(i);
  }
  std::vector<int> board_of(count, -1);
  std::vector<const Position*> shared;
  for (const auto& [cells, sharing] : jobs_of_board) {
    if (sharing.size() < 2) continue;
    for (int i : sharing) board_of[i] = static_cast<int>(shared.size());
    shared.push_back(&jobs[sharing.front()].position);
  }
  std::vector<cv::Mat> boards(shared.size());
  RunParallel(static_cast<int>(shared.size()), threads, [&](int b) {
    try {
      cv::Mat board = NewBoardImage();
      DrawBoardImage(*shared[b], &board);
      boards[b] = board;
    } catch (...) {
      // Left empty: its jobs draw it themselves and name what fails.
    }
  });
  std::vector<std::string> errors(count);
  RunParallel(count, threads, [&](int i) {
    const int b = board_of[i];
    errors[i] = DrawJob(jobs[i], b >= 0 && !boards[b].empty() ? &boards[b] : nullptr);
  });
  for (const std::string& error : errors) {
    if (!error.empty()) failures->push_back(error);
  }
}

}  // namespace fvscope
