// The executable as a whole: what it loads to start.
#include <gtest/gtest.h>

#include <string>

#include "test/run_tool.h"

namespace fvscope {
namespace {

// Every shared library the executable loads, with those they load in turn.
std::string LoadedLibraries() {
  ScratchDir dir;
  const std::string list = dir.File("ldd.txt");
  const std::string command = "ldd " + ShellQuote(FVSCOPE_BINARY) + " >" + ShellQuote(list);
  if (std::system(command.c_str()) != 0) return "";
  return ReadWholeFile(list);
}

TEST(Executable, LoadsNoImageCodecsModuleNorTheGeoAndHdrStacks) {
  const std::string libraries = LoadedLibraries();
  ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
  for (const char* heavy : {"opencv_imgcodecs", "libgdal", "libhdf5", "libIlmImf", "libOpenEXR",
                            "libgeotiff", "libtiff", "libwebp", "libavcodec"}) {
    EXPECT_EQ(libraries.find(heavy), std::string::npos) << heavy << " in\n" << libraries;
  }
}

}  // namespace
}  // namespace fvscope
