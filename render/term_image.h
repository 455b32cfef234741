// The picture of one ranked KPP term: the board with a triangle joining the
// king and the term's two pieces, coloured by the term's sign, and the value
// in points written inside.
#ifndef FVSCOPE_RENDER_TERM_IMAGE_H_
#define FVSCOPE_RENDER_TERM_IMAGE_H_

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "shogi/types.h"

namespace fvscope {

// The point of a location on the picture: the middle of a square 0..80, or of
// a hand picture for a HandSlot 81..94. Other locations give (0, 0).
void LocationCentre(int location, int* x, int* y);

// Draws position and the term's triangle (king, a, b), coloured by value's
// sign, with label written in (when empty, value / 32) on picture, a
// kImageSize square CV_8UC3 picture.
void DrawTermPicture(const Position& position, int32_t value, int king, int a, int b,
                     const std::string& label, cv::Mat* picture);

// Draws the term's triangle and label alone, as DrawTermPicture does, over a
// board already drawn on picture.
void DrawTermMarks(int32_t value, int king, int a, int b, const std::string& label,
                   cv::Mat* picture);

// Makes, draws and saves one term picture at path. Returns false with *error
// set when it cannot be saved.
bool DrawTermImage(const std::string& path, const Position& position, int32_t value, int king,
                   int a, int b, std::string* error);

// A short text written over one location of a board picture.
struct CellLabel {
  int location;      // square 0..80 or HandSlot 81..94
  std::string text;  // a few characters, such as "+12.5"
  bool positive;     // blue when set (favours black), else red
};

// Draws position on picture, a kImageSize square CV_8UC3 picture, with each
// label centred on its location's point, outlined in white.
void DrawCellLabels(const Position& position, const std::vector<CellLabel>& labels,
                    cv::Mat* picture);

// Draws the labels alone, as DrawCellLabels does, over a board already drawn
// on picture.
void DrawCellLabelMarks(const std::vector<CellLabel>& labels, cv::Mat* picture);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_TERM_IMAGE_H_
