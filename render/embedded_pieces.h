// The piece pictures of assets/img, built into the executable.
#ifndef FVSCOPE_RENDER_EMBEDDED_PIECES_H_
#define FVSCOPE_RENDER_EMBEDDED_PIECES_H_

#include <cstddef>

namespace fvscope {

// One built-in file: its name ("FU.jpg") and bytes.
struct EmbeddedFile {
  const char* name;
  const unsigned char* data;
  size_t size;
};

// The built-in piece pictures, sorted by name.
extern const EmbeddedFile kEmbeddedPieceFiles[];
extern const int kEmbeddedPieceFileCount;

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_EMBEDDED_PIECES_H_
