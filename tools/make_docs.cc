// Writes the command-line reference, the man page and the bash completion made
// from fvscope's option table:
//
//   make_docs DOCS_DIR    writes DOCS_DIR/command-line.md, fvscope.1 and fvscope.bash
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/option_docs.h"

namespace {

// Writes text to path; false with a message on stderr when it cannot.
bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_docs: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_docs DOCS_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = WriteFile(dir + "/command-line.md", fvscope::CommandLineReference()) &&
                  WriteFile(dir + "/fvscope.1", fvscope::ManPage()) &&
                  WriteFile(dir + "/fvscope.bash", fvscope::BashCompletion());
  return ok ? 0 : 1;
}
