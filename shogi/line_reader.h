// Line-by-line reading of text files through a fixed 1,024-byte buffer.
#ifndef FVSCOPE_SHOGI_LINE_READER_H_
#define FVSCOPE_SHOGI_LINE_READER_H_

#include <cstdio>

namespace fvscope {

// Size of a line buffer; a read takes at most kLineBufferSize - 1 characters.
constexpr int kLineBufferSize = 1024;

// Reads the next line, or the next piece of a longer line, into buffer,
// terminated, with its line feed if it has one; a carriage return before the
// line feed is dropped. Returns the length of the text up to its first NUL,
// or -1 at the end of the file (buffer then holds the empty text).
int ReadTextLine(FILE* file, char (&buffer)[kLineBufferSize]);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_LINE_READER_H_
