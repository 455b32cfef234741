// A fresh folder for one test, with helpers to write and read its files.
#ifndef FVSCOPE_TEST_SCRATCH_DIR_H_
#define FVSCOPE_TEST_SCRATCH_DIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fvscope {

// Creates a unique folder under the temporary folder; removes it on destruction.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fvscope-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder's path.
  const std::string& path() const { return path_; }

  // Path of name inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Writes bytes to name (creating its parent folders) and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = File(name);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    return file.string();
  }

 private:
  std::string path_;
};

// Whole content of a file, or the empty string when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_SCRATCH_DIR_H_
