#include "app/platform.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fvscope {

namespace fs = std::filesystem;

bool ClearLogFolder(const std::string& dir, std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(dir, ec);
  if (status.type() == fs::file_type::not_found) {
    if (!fs::create_directory(dir, ec)) {
      *error = dir + ": cannot create the folder (" + ec.message() + ")";
      return false;
    }
    return true;
  }
  if (ec) {
    *error = dir + ": " + ec.message();
    return false;
  }
  if (fs::is_symlink(status)) {
    *error = dir + " is a link, not a folder; it is not cleared";
    return false;
  }
  if (!fs::is_directory(status)) {
    *error = dir + " is not a folder";
    return false;
  }
  fs::directory_iterator it(dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (it->symlink_status(ec).type() == fs::file_type::directory) continue;
    if (!ec) fs::remove(it->path(), ec);
    // Another run clearing the same folder removed it first.
    if (ec == std::errc::no_such_file_or_directory) ec.clear();
    if (ec) {
      *error = it->path().string() + ": cannot remove (" + ec.message() + ")";
      return false;
    }
  }
  if (ec) {
    *error = dir + ": cannot read the folder (" + ec.message() + ")";
    return false;
  }
  return true;
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string* text, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = path + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  text->clear();
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text->size() + got > limit) {
      std::fclose(file);
      *error = path + ": larger than " + std::to_string(limit) + " bytes";
      return false;
    }
    text->append(buffer, got);
  }
  const bool failed = std::ferror(file) != 0;
  const int saved_errno = errno;
  std::fclose(file);
  if (failed) {
    *error = path + ": cannot read (" + std::strerror(saved_errno) + ")";
    return false;
  }
  return true;
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<int64_t>(size);
}

bool RunCommand(const std::string& command, std::string* error) {
  // The tool ignores SIGPIPE; the command gets the default back, as any
  // program started from a shell has it.
  void (*previous)(int) = std::signal(SIGPIPE, SIG_DFL);
  const int status = std::system(command.c_str());
  std::signal(SIGPIPE, previous);
  if (status == -1) {
    *error = "cannot be started";
  } else if (WIFSIGNALED(status)) {
    *error = "was stopped by signal " + std::to_string(WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    *error = "exited with status " + std::to_string(WEXITSTATUS(status));
  } else {
    return true;
  }
  return false;
}

std::string IdentityMemoFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/fvscope";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/fvscope";
  return "";
}

}  // namespace fvscope
