#include "app/platform.h"

#include <sys/wait.h>

#include <cstdlib>
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

bool RunCommand(const std::string& command, std::string* error) {
  const int status = std::system(command.c_str());
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

}  // namespace fvscope
