// Drawing and saving a run's pictures on several threads.
#ifndef FVSCOPE_RENDER_PICTURE_BATCH_H_
#define FVSCOPE_RENDER_PICTURE_BATCH_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/ranking.h"
#include "shogi/types.h"

namespace fvscope {

// One picture to draw: a board, with a term's triangle when triangle is set.
struct PictureJob {
  std::string path;
  Position position;
  bool triangle;
  int32_t value;
  int32_t king;
  int32_t cell_a;
  int32_t cell_b;
};

// The job of a board picture without a triangle.
PictureJob BoardPictureJob(const std::string& path, const Position& position);

// Appends the jobs of the ranked terms' pictures, rank 1 first.
void AddRankedTermJobs(const RankedTerms& ranked, std::vector<PictureJob>* jobs);

// Draws and saves every job on up to threads threads, reading the loaded
// PieceImages only. Each file is the same whatever thread draws it. The
// messages of the pictures that cannot be saved are appended to *failures
// in job order.
void DrawPictures(const std::vector<PictureJob>& jobs, int threads,
                  std::vector<std::string>* failures);

// The number of threads the machine runs at once, at least 1.
int MachineThreads();

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_PICTURE_BATCH_H_
