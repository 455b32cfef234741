// The floor of a run's time: draws one board and saves it as 152 PNG
// pictures of 640 x 640 through libpng on every core, as many as a game
// analysis saves.
//
// usage: encode_floor GAME_RECORD OUT_FOLDER   (run where ./img holds the pieces)
#include <atomic>
#include <cstdio>
#include <string>

#include "render/board_image.h"
#include "render/image_file.h"
#include "render/thread_pool.h"
#include "shogi/csa_reader.h"

namespace fvscope {
namespace {

constexpr int kPictures = 152;

int Main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: encode_floor GAME_RECORD OUT_FOLDER\n");
    return 2;
  }
  std::string error;
  if (!LoadPieceImages("./img", &error)) {
    std::fprintf(stderr, "encode_floor: %s\n", error.c_str());
    return 1;
  }
  Position position = {};
  if (!ReadCsaPosition(argv[1], &position)) {
    std::fprintf(stderr, "encode_floor: %s: cannot open\n", argv[1]);
    return 1;
  }
  cv::Mat board = NewBoardImage();
  DrawBoardImage(position, &board);
  const std::string folder = argv[2];
  std::atomic<bool> failed{false};
  RunParallel(kPictures, MachineThreads(), [&](int i) {
    std::string why;
    if (!WritePngFile(folder + "/floor" + std::to_string(i) + ".png", board, &why)) failed = true;
  });
  if (failed) {
    std::fprintf(stderr, "encode_floor: cannot write into %s\n", argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
