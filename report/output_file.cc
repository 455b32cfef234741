#include "report/output_file.h"

#include <cerrno>
#include <cstring>

namespace fvscope {

bool OpenOutputFile(const std::string& path, OutputFile* output, std::string* error) {
  output->path = path;
  if (path == "-") {
    output->temporary.clear();
    output->file = stdout;
    return true;
  }
  output->temporary = path + ".tmp";
  output->file = std::fopen(output->temporary.c_str(), "w");
  if (output->file == nullptr) {
    *error = path + ": cannot create (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

bool CommitOutputFile(OutputFile* output, const std::string& document, std::string* error) {
  if (output->file == nullptr) {
    *error = output->path + ": not open";
    return false;
  }
  const bool to_stdout = output->temporary.empty();
  errno = 0;
  std::fwrite(document.data(), 1, document.size(), output->file);
  bool written = std::fflush(output->file) == 0 && std::ferror(output->file) == 0;
  int saved_errno = errno;
  // A reader of standard output that has gone (fvscope --json=- | head) took
  // what it wanted.
  if (to_stdout && !written && saved_errno == EPIPE) return true;
  if (!to_stdout) {
    if (std::fclose(output->file) != 0 && written) {
      written = false;
      saved_errno = errno;
    }
    output->file = nullptr;
    if (written && std::rename(output->temporary.c_str(), output->path.c_str()) != 0) {
      *error = output->path + ": cannot rename " + output->temporary + " to it (" +
               std::strerror(errno) + ")";
      std::remove(output->temporary.c_str());
      return false;
    }
  }
  if (!written) {
    *error = (to_stdout ? std::string("standard output") : output->path) +
             ": the document could not be written (" + std::strerror(saved_errno) + ")";
    if (!to_stdout) std::remove(output->temporary.c_str());
    return false;
  }
  return true;
}

void AbandonOutputFile(OutputFile* output) {
  if (output->file == nullptr || output->temporary.empty()) return;
  std::fclose(output->file);
  output->file = nullptr;
  std::remove(output->temporary.c_str());
}

}  // namespace fvscope
