// The floor of a run's time as this project first measured it: reads a
// picture (the game analysis's leaf.png) and writes 152 copies of it, a line
// drawn on each, with OpenCV 4's own cv::imwrite and its default PNG
// parameters, on every core. A separate program on OpenCV's shared image
// codecs, so that the floor stays where it was whatever fvscope's writer does.
//
// usage: imwrite_floor PICTURE OUT_FOLDER
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPictures = 152;

int Main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: imwrite_floor PICTURE OUT_FOLDER\n");
    return 2;
  }
  const cv::Mat picture = cv::imread(argv[1], cv::IMREAD_COLOR);
  if (picture.empty()) {
    std::fprintf(stderr, "imwrite_floor: %s: cannot read\n", argv[1]);
    return 1;
  }
  const std::string folder = argv[2];
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (int i = next++; i < kPictures; i = next++) {
      cv::Mat copy = picture.clone();
      cv::line(copy, cv::Point(0, i), cv::Point(copy.cols - 1, copy.rows - 1 - i),
               cv::Scalar(0, 0, 255), 2);
      if (!cv::imwrite(folder + "/floor" + std::to_string(i) + ".png", copy)) failed = true;
    }
  };
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  if (failed) {
    std::fprintf(stderr, "imwrite_floor: cannot write into %s\n", argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
