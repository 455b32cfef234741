#include "app/command_line.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace fvscope {

namespace {

constexpr long kMaxJobs = 256;

// Value of "--name=value" in arg, or nullptr when arg is not that option.
const char* OptionValue(const char* arg, const char* name) {
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0 || arg[length] != '=') return nullptr;
  return arg + length + 1;
}

}  // namespace

const char* UsageText() {
  return "usage: fvscope [options] [SORT_MODE [SCAN_KING_SQUARE]]\n"
         "\n"
         "Without a scan king square (or with -1), runs the engine in the working\n"
         "directory, plays its principal variation and takes the leaf's evaluation\n"
         "apart. With a king square 0..80, ranks the largest KPP table entries of\n"
         "that square instead.\n"
         "\n"
         "SORT_MODE: 0 by magnitude (default), 1 most positive first, other values\n"
         "most negative first.\n"
         "\n"
         "options:\n"
         "  -C DIR, --workdir=DIR  work in DIR (fv.bin, engine, img/, log/, report.html)\n"
         "  --engine=CMD           the engine command, run through /bin/sh -c\n"
         "                         (default ./engine)\n"
         "  --utf8                 write the Japanese texts in UTF-8, not code page 932\n"
         "  --jobs=N               draw the pictures on N threads (default: one per core)\n"
         "  --json=FILE            also write every figure of the run as one JSON document\n"
         "                         to FILE; --json=- writes it to stdout instead of the text\n"
         "  --help                 print this text\n"
         "  --version              print the version\n";
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command_line,
                      std::string* error) {
  std::vector<const char*> positional;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value;
    if (options_ended) {
      positional.push_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      options_ended = true;
    } else if (std::strcmp(arg, "-C") == 0) {
      if (i + 1 >= argc) {
        *error = "option -C needs a folder";
        return false;
      }
      command_line->workdir = argv[++i];
    } else if (std::strncmp(arg, "--", 2) != 0) {
      positional.push_back(arg);
    } else if (std::strcmp(arg, "--help") == 0) {
      command_line->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      command_line->version = true;
    } else if (std::strcmp(arg, "--utf8") == 0) {
      command_line->utf8 = true;
    } else if ((value = OptionValue(arg, "--engine")) != nullptr) {
      command_line->engine = value;
    } else if ((value = OptionValue(arg, "--json")) != nullptr) {
      if (*value == '\0') {
        *error = "--json needs a file name, or - for standard output";
        return false;
      }
      command_line->json = value;
    } else if ((value = OptionValue(arg, "--workdir")) != nullptr) {
      command_line->workdir = value;
    } else if ((value = OptionValue(arg, "--jobs")) != nullptr) {
      char* end = nullptr;
      const long jobs = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || jobs < 1 || jobs > kMaxJobs) {
        *error = std::string("--jobs takes a number of threads from 1 to ") +
                 std::to_string(kMaxJobs) + ", not \"" + value + "\"";
        return false;
      }
      command_line->jobs = static_cast<int>(jobs);
    } else {
      *error = std::string("unknown option ") + arg;
      return false;
    }
  }
  if (positional.size() == 1) {
    command_line->sort_mode = std::atoi(positional[0]);
  } else if (positional.size() == 2) {
    command_line->sort_mode = std::atoi(positional[0]);
    command_line->scan_king_square = std::atoi(positional[1]);
  }
  return true;
}

}  // namespace fvscope
