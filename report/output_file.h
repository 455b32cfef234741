// Documents written whole or not at all: to path.tmp, renamed into place
// once complete; or to standard output.
#ifndef FVSCOPE_REPORT_OUTPUT_FILE_H_
#define FVSCOPE_REPORT_OUTPUT_FILE_H_

#include <cstdio>
#include <string>

namespace fvscope {

// Where a document goes: standard output for "-", else the file path.
struct OutputFile {
  std::string path;
  std::string temporary;  // empty for standard output
  FILE* file = nullptr;
};

// Opens the output for path ("-" for standard output). Returns false with
// *error naming the file and the reason when it cannot be created.
bool OpenOutputFile(const std::string& path, OutputFile* output, std::string* error);

// Writes document to the output and, for a file, renames it into place.
// Returns false with *error set, leaving nothing under the path, when any
// of it fails; standard output closed by its reader is no failure.
bool CommitOutputFile(OutputFile* output, const std::string& document, std::string* error);

// Closes the output and removes what was written of it.
void AbandonOutputFile(OutputFile* output);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_OUTPUT_FILE_H_
