// Measures what the pictures of a corpus run cost alone: the 300 ranking
// pictures (the use and the pull, each entry on its own board with its
// triangle and label) drawn and saved on every core, as the run draws them.
//
// usage: picture_bench OUT_FOLDER [COUNT]   (run where ./img holds the pieces)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "eval/table/eval_file.h"
#include "eval/table/table_scan.h"
#include "render/board_image.h"
#include "render/picture_batch.h"
#include "render/thread_pool.h"

namespace fvscope {
namespace {

int Main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: picture_bench OUT_FOLDER [COUNT]\n");
    return 2;
  }
  const int count = argc == 3 ? std::atoi(argv[2]) : 300;
  KeepPictureMemory();
  std::string error;
  if (!LoadPieceImages("./img", &error)) {
    std::fprintf(stderr, "picture_bench: %s\n", error.c_str());
    return 1;
  }
  // Entries spread over the table as a ranking's are: a king square, two
  // features of it, a value of either sign.
  std::mt19937 random(20261209u);
  std::vector<PictureJob> jobs;
  for (int n = 0; n < count; ++n) {
    const int k = static_cast<int>(random() % 81);
    const int i = static_cast<int>(random() % kKppFeatures);
    const int j = static_cast<int>(random() % kKppFeatures);
    const int32_t value = static_cast<int32_t>(random() % 4001) - 2000;
    const RankedTerm t = ScanTerm(value, k, i, j);
    PictureJob job = TermPictureJob(std::string(argv[1]) + "/pull" + std::to_string(n) + ".png",
                                    ScanTermPosition(t), value, t.king, t.cell_a, t.cell_b);
    job.label = std::to_string(value);
    jobs.push_back(std::move(job));
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> failures;
  DrawPictures(jobs, MachineThreads(), &failures);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!failures.empty()) {
    std::fprintf(stderr, "picture_bench: %s\n", failures.front().c_str());
    return 1;
  }
  std::printf("%d pictures on %d threads: %.3f s\n", count, MachineThreads(), seconds);
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
