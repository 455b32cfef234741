#include "shogi/line_reader.h"

#include <cstring>

namespace fvscope {

int ReadTextLine(FILE* file, char (&buffer)[kLineBufferSize]) {
  if (std::fgets(buffer, kLineBufferSize, file) == nullptr) {
    buffer[0] = '\0';
    return -1;
  }
  int length = static_cast<int>(std::strlen(buffer));
  if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
    buffer[length - 2] = '\n';
    buffer[length - 1] = '\0';
    --length;
  }
  return length;
}

}  // namespace fvscope
