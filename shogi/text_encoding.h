// The encodings of record files that people exchange: UTF-8 and Shift-JIS
// (code page 932), told apart by their bytes.
#ifndef FVSCOPE_SHOGI_TEXT_ENCODING_H_
#define FVSCOPE_SHOGI_TEXT_ENCODING_H_

#include <string>
#include <string_view>

namespace fvscope {

// The encoding a text was found in.
enum class TextEncoding { kUtf8, kCp932 };

// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Byte length of the UTF-8 sequence that starts at text[at], or 0 when no
// well-formed sequence starts there (truncated or bad).
int Utf8SequenceLength(std::string_view text, size_t at);

// Turns the bytes of a record file into UTF-8 text in *text: UTF-8 when they
// begin with a byte order mark (dropped) or are valid UTF-8, else code page
// 932 through iconv. *encoding gets what was found. Returns false with
// *error "line N: expected ..., not \"...\"" for a byte order mark followed
// by malformed UTF-8, or bytes that are neither.
bool DecodeRecordText(std::string_view bytes, std::string* text, TextEncoding* encoding,
                      std::string* error);

// Converts UTF-8 text to code page 932 into *out. Returns false when text is
// not UTF-8 or holds a character the code page lacks.
bool Utf8ToCp932(std::string_view text, std::string* out);

// At most 40 characters of a UTF-8 line, in double quotes, printable ASCII
// as it is and every other character (a whole UTF-8 sequence, or a byte
// that starts none) as one '?', with "..." when there is more: safe to print.
std::string QuotedUtf8Line(std::string_view line);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_TEXT_ENCODING_H_
