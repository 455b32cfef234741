// The floor of a run's time: draws one board and saves it as 152 PNG
// pictures of 640 x 640 on every core, as many as a game analysis saves,
// encoded as OpenCV's cv::imwrite encodes them by default (libpng, the "sub"
// filter, zlib's level 1 with run-length matching), so that the floor stays
// where it was whatever fvscope's own writer does.
//
// usage: encode_floor GAME_RECORD OUT_FOLDER   (run where ./img holds the pieces)
#include <png.h>
#include <zlib.h>

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <string>

#include "render/board_image.h"
#include "render/thread_pool.h"
#include "shogi/csa_reader.h"

namespace fvscope {
namespace {

constexpr int kPictures = 152;

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Writes picture (CV_8UC3, BGR) to path as cv::imwrite did.
bool WriteAsOpenCv(const std::string& path, const cv::Mat& picture) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_set_IHDR(png, info, picture.cols, picture.rows, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  for (int y = 0; y < picture.rows; ++y) png_write_row(png, picture.ptr<png_byte>(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

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
    if (!WriteAsOpenCv(folder + "/floor" + std::to_string(i) + ".png", board)) failed = true;
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
