// Drawing and saving a run's pictures on several threads.
#ifndef FVSCOPE_RENDER_PICTURE_BATCH_H_
#define FVSCOPE_RENDER_PICTURE_BATCH_H_

#include <cstdint>
#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "render/term_image.h"
#include "shogi/types.h"

namespace fvscope {

// One picture to draw: a board, with a term's triangle when triangle is set,
// and with labels over its pieces when there are any; or, when sheet is set,
// the picture it draws (a chart, a map).
struct PictureJob {
  std::string path;
  Position position;
  bool triangle;
  int32_t value;   // the term in table units; its sign colours the triangle
  int32_t king;    // the triangle's corners: the king's square,
  int32_t cell_a;  // and two squares or HandSlots
  int32_t cell_b;
  std::vector<CellLabel> labels;
  std::function<cv::Mat()> sheet;
  std::string label;  // written in the triangle instead of value / 32 when set
};

// The job of a board picture without a triangle.
PictureJob BoardPictureJob(const std::string& path, const Position& position);

// The job of a term picture: position with the triangle (king, a, b) and value.
PictureJob TermPictureJob(const std::string& path, const Position& position, int32_t value,
                          int king, int cell_a, int cell_b);

// The job of a board picture with labels over its locations.
PictureJob LabelPictureJob(const std::string& path, const Position& position,
                           std::vector<CellLabel> labels);

// The job of a picture that draw makes.
PictureJob SheetPictureJob(const std::string& path, std::function<cv::Mat()> draw);

// Draws the picture of job (may throw what drawing throws).
cv::Mat DrawPicture(const PictureJob& job);

// Keeps freed memory in the process's heap for the next picture, where a
// picture's buffers (a few MB, allocated and freed hundreds of times a run)
// would otherwise be mapped afresh and pay their page faults again. Call
// once, before any thread starts.
void KeepPictureMemory();

// Draws and saves every job on up to threads threads, reading the loaded
// PieceImages only. Each file is the same whatever thread draws it. The
// messages of the pictures that cannot be drawn or saved (an exception in a
// job included) are appended to *failures in job order.
void DrawPictures(const std::vector<PictureJob>& jobs, int threads,
                  std::vector<std::string>* failures);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_PICTURE_BATCH_H_
