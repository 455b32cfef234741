#include "http/static_files.h"

#include <cstring>

namespace fvscope {

namespace {

struct ContentType {
  const char* ending;
  const char* type;
};

constexpr ContentType kContentTypes[] = {
    {".html", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
};

}  // namespace

const char* StaticContentType(const std::string& name) {
  for (const ContentType& c : kContentTypes) {
    const size_t length = std::strlen(c.ending);
    if (name.size() > length && name.compare(name.size() - length, length, c.ending) == 0) {
      return c.type;
    }
  }
  return nullptr;
}

void AnswerStaticFile(const StaticFile* files, int count, const std::string& path,
                      HttpAnswer* answer) {
  const std::string name = path == "/" ? "index.html" : path.substr(path.empty() ? 0 : 1);
  const char* type = StaticContentType(name);
  const bool plain = !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
                     name.find('\\') == std::string::npos;
  for (int i = 0; plain && type != nullptr && i < count; ++i) {
    if (name == files[i].name) {
      answer->status = 200;
      answer->content_type = type;
      answer->body.assign(reinterpret_cast<const char*>(files[i].data), files[i].size);
      return;
    }
  }
  answer->status = 404;
  answer->content_type = "application/json";
  answer->body = ErrorJson("no such path");
}

}  // namespace fvscope
