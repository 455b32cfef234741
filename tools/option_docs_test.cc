#include "tools/option_docs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fvscope {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The committed reference, man page and completion are what the table makes:
// after a change of the table, `cmake --build build --target docs` remakes them.
TEST(OptionDocs, CommittedFilesAreWhatTheTableMakes) {
  const std::string docs = FVSCOPE_SOURCE_DIR "/docs/";
  EXPECT_EQ(ReadText(docs + "command-line.md"), CommandLineReference())
      << "docs/command-line.md differs from the option table: cmake --build build --target docs";
  EXPECT_EQ(ReadText(docs + "fvscope.1"), ManPage())
      << "docs/fvscope.1 differs from the option table: cmake --build build --target docs";
  EXPECT_EQ(ReadText(docs + "fvscope.bash"), BashCompletion())
      << "docs/fvscope.bash differs from the option table: cmake --build build --target docs";
}

// What bash offers for the words typed (COMP_WORDS as bash splits them, '=' apart).
std::string Complete(const std::string& folder, const std::string& words) {
  const std::string script = folder + "/complete.sh";
  std::ofstream(script) << "cd " << folder << " || exit 1\n"
                        << "source " FVSCOPE_SOURCE_DIR "/docs/fvscope.bash\n"
                        << "compopt() { :; }\n"
                        << "COMP_WORDS=(" << words << ")\n"
                        << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                        << "_fvscope\n"
                        << "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n";
  FILE* pipe = popen(("bash " + script).c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(OptionDocs, CompletionOffersOptionsAndTheirValues) {
  const std::string folder = testing::TempDir() + "/option_docs_completion";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/games");
  std::ofstream(folder + "/fv.bin") << "x";
  std::ofstream(folder + "/nn.bin") << "x";
  EXPECT_EQ(Complete(folder, "fvscope --pac"), "--packed=\n");
  EXPECT_EQ(Complete(folder, "fvscope --fv-"), "--fv-scale=\n");
  EXPECT_EQ(Complete(folder, "fvscope --ser"), "--serve\n--serve=\n");
  EXPECT_EQ(Complete(folder, "fvscope --packed = h"), "hcpe\n");
  EXPECT_EQ(Complete(folder, "fvscope --packed ="), "hcpe\npsv\n");
  EXPECT_EQ(Complete(folder, "fvscope --fv = n"), "nn.bin\n");
  EXPECT_EQ(Complete(folder, "fvscope --corpus = g"), "games\n");
  EXPECT_EQ(Complete(folder, "fvscope -C g"), "games\n");
  EXPECT_EQ(Complete(folder, "fvscope --pieces ''"), "0\n1\n2\n");
  EXPECT_EQ(Complete(folder, "fvscope --jobs = ''"), "\n");  // a number: nothing to offer
}

}  // namespace
}  // namespace fvscope
