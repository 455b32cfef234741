#include "eval/table/eval_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fvscope {

void CloseEvalFile(EvalFile* file) {
  if (file->mapping != nullptr) munmap(file->mapping, file->mapping_bytes);
  *file = EvalFile();
}

bool LoadEvalFile(const char* path, EvalFile* file, std::string* error, std::string* warning) {
  *file = EvalFile();
  const std::string name = path;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = name + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = name + ": not a regular file";
    close(fd);
    return false;
  }
  warning->clear();
  if (info.st_size != kEvalFileBytes) {
    *warning = name + ": " + std::to_string(info.st_size) + " bytes, expected " +
               std::to_string(kEvalFileBytes) +
               (info.st_size < kEvalFileBytes ? "; the missing values are taken as 0"
                                              : "; the bytes after the tables are not read");
  }
  const int64_t bytes = info.st_size < kEvalFileBytes ? info.st_size : kEvalFileBytes;
  if (bytes >= 2) {
    void* mapped = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
      *error = name + ": cannot map (" + std::strerror(errno) + ")";
      close(fd);
      return false;
    }
    // Reads hop from row to row of the triangles: read no more than is asked.
    madvise(mapped, bytes, MADV_RANDOM);
    *file = {static_cast<const int16_t*>(mapped), bytes / 2, mapped, static_cast<size_t>(bytes)};
  }
  close(fd);
  return true;
}

bool CheckKingSquare(int k, std::string* error) {
  if (IsSquare(k)) return true;
  *error = "king square " + std::to_string(k) + " is outside 0..80";
  return false;
}

void PrefetchKppTriangle(const EvalFile& file, int k) {
  if (file.mapping == nullptr || k < 0 || k >= kSquares) return;
  const int64_t mapping_bytes = static_cast<int64_t>(file.mapping_bytes);
  const long page = sysconf(_SC_PAGESIZE);
  const int64_t begin = k * kKppTriangleValues * 2 / page * page;
  const int64_t end = (k + 1) * kKppTriangleValues * 2;
  if (begin >= mapping_bytes) return;
  const int64_t stop = end < mapping_bytes ? end : mapping_bytes;
  madvise(static_cast<char*>(file.mapping) + begin, stop - begin, MADV_WILLNEED);
}

}  // namespace fvscope
