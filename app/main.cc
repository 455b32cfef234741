// fvscope: takes a shogi engine's evaluation of its principal variation's
// leaf apart, or ranks the largest entries of its KPP table.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/driver.h"
#include "render/picture_batch.h"

int main(int argc, char** argv) {
  // A closed pipe (stdout to a pager that quit, an engine that exited) fails
  // the write instead of ending the run.
  std::signal(SIGPIPE, SIG_IGN);
  // Drawing takes half the time with the pictures' buffers kept.
  fvscope::KeepPictureMemory();
  fvscope::CommandLine command_line;
  std::string error;
  if (!fvscope::ParseCommandLine(argc, argv, &command_line, &error)) {
    std::fprintf(stderr, "fvscope: %s (see fvscope --help)\n", error.c_str());
    return 2;
  }
  if (command_line.help) {
    std::fputs(fvscope::UsageText(), stdout);
    return 0;
  }
  if (command_line.version) {
    std::printf("fvscope %s\n", fvscope::kVersion);
    return 0;
  }
  return fvscope::RunFvscope(command_line);
}
