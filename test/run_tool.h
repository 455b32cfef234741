// Runs the real fvscope executable in a working folder and collects what it
// printed.
#ifndef FVSCOPE_TEST_RUN_TOOL_H_
#define FVSCOPE_TEST_RUN_TOOL_H_

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test/scratch_dir.h"

namespace fvscope {

// Exit status and output of one run.
struct ToolRun {
  int status;  // exit status, or -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

// Quotes text for /bin/sh.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// With FVSCOPE_JSON_DUMP naming a folder, keeps there a copy of the JSON
// document a run that succeeded wrote (--json=FILE in workdir, or --json=- on
// stdout), named after the test, for the schema's test to validate.
inline void KeepJsonDocument(const std::string& workdir, const std::string& args,
                             const ToolRun& run) {
  const char* dump = std::getenv("FVSCOPE_JSON_DUMP");
  const size_t option = args.find("--json=");
  if (dump == nullptr || run.status != 0 || option == std::string::npos) return;
  const size_t start = option + 7;
  const std::string file = args.substr(start, args.find_first_of(" '\"", start) - start);
  if (file.empty()) return;
  std::string text = run.out;
  if (file != "-") {
    std::ifstream in(workdir + "/" + file, std::ios::binary);
    if (!in) return;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (text.empty() || text[0] != '{') return;
  static int count = 0;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test == nullptr ? "run"
                                     : std::string(test->test_suite_name()) + "." + test->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  std::filesystem::create_directories(dump);
  std::ofstream(std::string(dump) + "/" + name + "-" + std::to_string(getpid()) + "-" +
                    std::to_string(++count) + ".json",
                std::ios::binary)
      << text;
}

// Runs "fvscope args" (args already quoted for the shell) with workdir as the
// current folder; stdout and stderr are kept in files beside workdir.
inline ToolRun RunTool(const std::string& workdir, const std::string& args) {
  const std::string out = workdir + ".stdout";
  const std::string err = workdir + ".stderr";
  const std::string command = "cd " + ShellQuote(workdir) + " && " + ShellQuote(FVSCOPE_BINARY) +
                              " " + args + " >" + ShellQuote(out) + " 2>" + ShellQuote(err);
  const int raw = std::system(command.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadWholeFile(out);
  run.err = ReadWholeFile(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  KeepJsonDocument(workdir, args, run);
  return run;
}

// Lays out workdir_name in dir as a working folder: the piece pictures in
// img/ and an engine script that copies the sample named sample (a folder
// under samples/) into ./log.
inline void InstallWorkingFolder(const ScratchDir& dir, const std::string& workdir_name,
                                const std::string& sample = "opening") {
  const std::string source = FVSCOPE_SOURCE_DIR;
  const std::string script = "#!/bin/sh\nexec " + ShellQuote(source + "/tools/replay_engine") +
                             " " + ShellQuote(source + "/samples/" + sample) + "\n";
  const std::string path = dir.Write(workdir_name + "/engine", script);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  std::filesystem::copy(source + "/assets/img", dir.File(workdir_name + "/img"));
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_RUN_TOOL_H_
