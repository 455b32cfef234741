#include "eval/kppt/identity_memo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace fvscope {

namespace {

constexpr int64_t kSecondNs = 1000000000;
constexpr size_t kMostMemoBytes = 16384;

int64_t Nanoseconds(const struct timespec& t) { return int64_t{t.tv_sec} * kSecondNs + t.tv_nsec; }

// The set's real path; empty when it cannot be resolved.
std::string RealPath(const std::string& dir) {
  char* real = realpath(dir.c_str(), nullptr);
  if (real == nullptr) return "";
  std::string path(real);
  std::free(real);
  return path;
}

// memo_dir/<64-bit FNV-1a of the real path>.kppt
std::string MemoPath(const std::string& memo_dir, const std::string& real) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : real) hash = (hash ^ c) * 0x100000001B3ull;
  char name[32];
  std::snprintf(name, sizeof name, "/%016llx.kppt", static_cast<unsigned long long>(hash));
  return memo_dir + name;
}

// Everything a memo of these files holds before the identity's line.
std::string MemoHead(const std::string& real, const FileStamp* stamps, int count) {
  std::string head = "fvscope KPPT identity 1\n" + real + "\n";
  for (int i = 0; i < count; ++i) {
    const FileStamp& s = stamps[i];
    char line[160];
    std::snprintf(line, sizeof line, " %llu %llu %lld %lld %lld\n",
                  static_cast<unsigned long long>(s.device), static_cast<unsigned long long>(s.inode),
                  static_cast<long long>(s.bytes), static_cast<long long>(s.modified_ns),
                  static_cast<long long>(s.changed_ns));
    head += s.name + line;
  }
  return head;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Makes dir and its missing parents, owner only.
bool MakeFolders(const std::string& dir) {
  for (size_t slash = 1; slash <= dir.size(); ++slash) {
    if (slash < dir.size() && dir[slash] != '/') continue;
    const std::string part = dir.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool StampOf(int fd, const char* name, FileStamp* stamp) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  stamp->name = name;
  stamp->device = static_cast<uint64_t>(info.st_dev);
  stamp->inode = static_cast<uint64_t>(info.st_ino);
  stamp->bytes = static_cast<int64_t>(info.st_size);
  stamp->modified_ns = Nanoseconds(info.st_mtim);
  stamp->changed_ns = Nanoseconds(info.st_ctim);
  return true;
}

bool StampsSettled(const FileStamp* stamps, int count, int64_t now_ns) {
  for (int i = 0; i < count; ++i) {
    if (stamps[i].modified_ns > now_ns - kSecondNs || stamps[i].changed_ns > now_ns - kSecondNs) {
      return false;
    }
  }
  return true;
}

bool RecallIdentity(const std::string& memo_dir, const std::string& dir, const FileStamp* stamps,
                    int count, uint64_t* identity) {
  if (memo_dir.empty()) return false;
  const std::string real = RealPath(dir);
  if (real.empty()) return false;
  const int fd = open(MemoPath(memo_dir, real).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<char> text(kMostMemoBytes + 1);
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  const std::string head = MemoHead(real, stamps, count);
  // The head, then exactly "0x" and sixteen hexadecimal digits and a newline.
  constexpr size_t kTail = 19;
  if (got != head.size() + kTail || head.compare(0, head.size(), text.data(), head.size()) != 0) {
    return false;
  }
  const char* tail = text.data() + head.size();
  if (tail[0] != '0' || tail[1] != 'x' || tail[kTail - 1] != '\n') return false;
  uint64_t value = 0;
  for (size_t i = 2; i < kTail - 1; ++i) {
    const char c = tail[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  *identity = value;
  return true;
}

void RememberIdentity(const std::string& memo_dir, const std::string& dir, const FileStamp* stamps,
                      int count, int64_t summed_ns, uint64_t identity) {
  if (memo_dir.empty() || !StampsSettled(stamps, count, summed_ns)) return;
  const std::string real = RealPath(dir);
  if (real.empty() || !MakeFolders(memo_dir)) return;
  char tail[24];
  std::snprintf(tail, sizeof tail, "0x%016llx\n", static_cast<unsigned long long>(identity));
  const std::string text = MemoHead(real, stamps, count) + tail;
  if (text.size() > kMostMemoBytes) return;
  std::string temporary = memo_dir + "/.memo-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return;
  const bool written = WriteAll(fd, text);
  if (close(fd) != 0 || !written || rename(temporary.c_str(), MemoPath(memo_dir, real).c_str()) != 0) {
    unlink(temporary.c_str());
  }
}

int64_t WallClockNs() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

}  // namespace fvscope
