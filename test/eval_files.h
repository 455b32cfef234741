// Crafted evaluation files for tests: sparse files of the real size with a
// few chosen values, or short files.
#ifndef FVSCOPE_TEST_EVAL_FILES_H_
#define FVSCOPE_TEST_EVAL_FILES_H_

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "eval/table/eval_file.h"

namespace fvscope {

// Byte offset of KPP value (k, f1, f2) in an evaluation file.
inline int64_t KppOffset(int k, int f1, int f2) {
  if (f2 > f1) std::swap(f1, f2);
  return 2 * (k * kKppTriangleValues + TriangleIndex(f1, f2));
}

// Byte offset of KKP value (k, k2, g).
inline int64_t KkpOffset(int k, int k2, int g) {
  return kKkpSectionOffset + 2 * ((int64_t{k} * kSquares + k2) * kKkpFeatures + g);
}

// Writes a file of size bytes, zero but for the 16-bit values at the given
// byte offsets; the zeros cost no disk.
inline void WriteEvalFile(const std::string& path, const std::vector<std::pair<int64_t, int16_t>>& values,
                          int64_t size = kEvalFileBytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (ftruncate(fd, size) != 0) return;
  for (const auto& [offset, value] : values) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xff),
                                    static_cast<unsigned char>((value >> 8) & 0xff)};
    if (pwrite(fd, bytes, 2, offset) != 2) break;
  }
  close(fd);
}

// Writes the corpus tests' two files into folder: fv.bin, where every king
// square values the pair of "no pawn in hand" with itself and with the
// opponent's (with board_pair, also the pair of feature 200 and the
// opponent's "no pawn in hand"), and fv2.bin; both value one KKP entry.
inline void WriteCorpusEvalFiles(const std::string& folder, bool board_pair) {
  std::vector<std::pair<int64_t, int16_t>> values = {{KkpOffset(76, 4, 2), 320}};
  for (int k = 0; k < kSquares; ++k) {
    values.push_back({KppOffset(k, 0, 0), int16_t(k - 40)});
    values.push_back({KppOffset(k, 19, 0), int16_t(3 * k)});
    if (board_pair) values.push_back({KppOffset(k, 200, 19), int16_t(k % 7 - 3)});
  }
  WriteEvalFile(folder + "/fv.bin", values);
  WriteEvalFile(folder + "/fv2.bin", {{KkpOffset(76, 4, 2), 100}});
}

// Writes a file of random values where a game's kings keep their start
// squares read: 40,000 random entries of the triangle of king square 76
// (59 for black, and 51 for white as white views it) and the KKP row of
// both kings at home, drawn from seed.
inline void WriteRandomStartFile(const std::string& path, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::pair<int64_t, int16_t>> values;
  for (int i = 0; i < 40000; ++i) {
    const int f1 = static_cast<int>(random() % kKppFeatures), f2 = static_cast<int>(random() % kKppFeatures);
    values.push_back({KppOffset(76, f1, f2), static_cast<int16_t>(random() % 2001) - 1000});
  }
  for (int g = 0; g < kKkpFeatures; ++g) {
    values.push_back({KkpOffset(76, 76, g), static_cast<int16_t>(random() % 2001) - 1000});
  }
  WriteEvalFile(path, values);
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_EVAL_FILES_H_
