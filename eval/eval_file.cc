#include "eval/eval_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace fvscope {

int16_t KkpTable[kSquares][kSquares][kKkpFeatures];

namespace {

int eval_file = -1;
std::string eval_path;
KppMatrix* kpp_squares[kSquares];

// Reads count 16-bit little-endian values at byte offset into values; values
// past the end of the file, and a value cut by it, are 0.
bool ReadValues(int64_t offset, int64_t count, int16_t* values, std::string* error) {
  char* bytes = reinterpret_cast<char*>(values);
  const int64_t wanted = count * 2;
  int64_t done = 0;
  while (done < wanted) {
    const ssize_t got = pread(eval_file, bytes + done, wanted - done, offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = eval_path + ": cannot read (" + std::strerror(errno) + ")";
      return false;
    }
    if (got == 0) break;
    done += got;
  }
  if (done % 2 != 0) --done;
  std::memset(bytes + done, 0, wanted - done);
  if constexpr (std::endian::native == std::endian::big) {
    for (int64_t i = 0; i < count; ++i) {
      const uint16_t v = static_cast<uint16_t>(values[i]);
      values[i] = static_cast<int16_t>((v >> 8) | (v << 8));
    }
  }
  return true;
}

void DropLoadedSquares() {
  for (KppMatrix*& square : kpp_squares) {
    std::free(square);
    square = nullptr;
  }
}

}  // namespace

bool LoadEvalFile(const char* path, std::string* error, std::string* warning) {
  DropLoadedSquares();
  if (eval_file >= 0) close(eval_file);
  eval_path = path;
  eval_file = open(path, O_RDONLY | O_CLOEXEC);
  if (eval_file < 0) {
    *error = eval_path + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat info;
  if (fstat(eval_file, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = eval_path + ": not a regular file";
    close(eval_file);
    eval_file = -1;
    return false;
  }
  warning->clear();
  if (info.st_size < kEvalFileBytes) {
    *warning = eval_path + ": " + std::to_string(info.st_size) + " bytes, expected " +
               std::to_string(kEvalFileBytes) + "; the missing values are taken as 0";
  } else if (info.st_size > kEvalFileBytes) {
    *warning = eval_path + ": " + std::to_string(info.st_size) + " bytes, expected " +
               std::to_string(kEvalFileBytes) + "; the bytes after the tables are not read";
  }
  return ReadValues(kKkpSectionOffset, kKkpValues, &KkpTable[0][0][0], error);
}

bool LoadKppSquare(int k, std::string* error) {
  if (k < 0 || k >= kSquares) {
    *error = "king square " + std::to_string(k) + " is outside 0..80";
    return false;
  }
  if (kpp_squares[k] != nullptr) return true;
  const std::unique_ptr<int16_t[]> triangle(new (std::nothrow) int16_t[kKppTriangleValues]);
  if (triangle == nullptr) {
    *error = "out of memory for the KPP table of king square " + std::to_string(k);
    return false;
  }
  if (!ReadValues(k * kKppTriangleValues * 2, kKppTriangleValues, triangle.get(), error)) {
    return false;
  }
  KppMatrix* matrix = static_cast<KppMatrix*>(std::malloc(sizeof(KppMatrix)));
  if (matrix == nullptr) {
    *error = "out of memory for the KPP table of king square " + std::to_string(k);
    return false;
  }
  for (int f1 = 0; f1 < kKppFeatures; ++f1) {
    const int16_t* row = triangle.get() + TriangleIndex(f1, 0);
    for (int f2 = 0; f2 <= f1; ++f2) {
      (*matrix)[f1][f2] = row[f2];
      (*matrix)[f2][f1] = row[f2];
    }
  }
  kpp_squares[k] = matrix;
  return true;
}

const KppMatrix& KppSquare(int k) { return *kpp_squares[k]; }

}  // namespace fvscope
