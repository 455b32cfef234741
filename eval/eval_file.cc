#include "eval/eval_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fvscope {

EvalValues LoadedEvalValues = {nullptr, 0};

namespace {

void* mapping = nullptr;
size_t mapping_bytes = 0;

void DropLoadedFile() {
  if (mapping != nullptr) munmap(mapping, mapping_bytes);
  mapping = nullptr;
  mapping_bytes = 0;
  LoadedEvalValues = {nullptr, 0};
}

}  // namespace

bool LoadEvalFile(const char* path, std::string* error, std::string* warning) {
  DropLoadedFile();
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
    mapping = mapped;
    mapping_bytes = bytes;
    LoadedEvalValues = {static_cast<const int16_t*>(mapped), bytes / 2};
  }
  close(fd);
  return true;
}

void PrefetchKppTriangle(int k) {
  if (mapping == nullptr || k < 0 || k >= kSquares) return;
  const long page = sysconf(_SC_PAGESIZE);
  const int64_t begin = k * kKppTriangleValues * 2 / page * page;
  const int64_t end = (k + 1) * kKppTriangleValues * 2;
  if (begin >= static_cast<int64_t>(mapping_bytes)) return;
  const int64_t stop = end < static_cast<int64_t>(mapping_bytes) ? end : mapping_bytes;
  madvise(static_cast<char*>(mapping) + begin, stop - begin, MADV_WILLNEED);
}

}  // namespace fvscope
