// The command line: options first, then the positional sort mode and scan
// king square.
#ifndef FVSCOPE_APP_COMMAND_LINE_H_
#define FVSCOPE_APP_COMMAND_LINE_H_

#include <cstdint>
#include <string>

namespace fvscope {

// What the command line asks for.
struct CommandLine {
  int32_t sort_mode = 0;
  int32_t scan_king_square = -1;
  std::string engine = "./engine";  // run through /bin/sh -c
  std::string workdir;              // empty: stay where started
  int jobs = 0;                     // drawing threads; 0: as many as the machine runs
  std::string json;                 // the JSON document's file, "-" for stdout; empty: none
  bool utf8 = false;
  bool help = false;
  bool version = false;
};

// Reads argv into *command_line. Arguments that start with "--" and "-C DIR"
// are options; "--" alone ends the options. What is left is positional: with
// one argument it is the sort mode, with two the sort mode and the scan king
// square (each read as atoi reads it); any other number of them is ignored.
// Returns false with *error set for an unknown or incomplete option.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command_line,
                      std::string* error);

// The usage text printed by --help.
const char* UsageText();

}  // namespace fvscope

#endif  // FVSCOPE_APP_COMMAND_LINE_H_
