// Files built into the executable, answered by path.
#ifndef FVSCOPE_HTTP_STATIC_FILES_H_
#define FVSCOPE_HTTP_STATIC_FILES_H_

#include <cstddef>
#include <string>

#include "http/http_server.h"

namespace fvscope {

// One built-in file: its name ("index.html") and bytes.
struct StaticFile {
  const char* name;
  const unsigned char* data;
  size_t size;
};

// The content type of a file name by its ending (.html, .js, .css, .svg,
// .png); nullptr for any other.
const char* StaticContentType(const std::string& name);

// Answers path from the count files: "/" with index.html, "/NAME" with the
// file NAME (a plain name: no folder, nothing hidden); 404 for any other.
void AnswerStaticFile(const StaticFile* files, int count, const std::string& path,
                      HttpAnswer* answer);

}  // namespace fvscope

#endif  // FVSCOPE_HTTP_STATIC_FILES_H_
