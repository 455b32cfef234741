#include "shogi/text_encoding.h"

#include <errno.h>
#include <iconv.h>

#include "shogi/notation.h"

namespace fvscope {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kQuotedCharacters = 40;

// Line number (from 1) of the byte at offset, lines ended by line feeds.
int LineOfOffset(std::string_view text, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n';
  return line;
}

// The whole line that holds the byte at offset, its line end cut.
std::string_view LineAround(std::string_view text, size_t offset) {
  const size_t newline = offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
  const size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
  size_t end = text.find('\n', offset);
  if (end == std::string_view::npos) end = text.size();
  std::string_view line = text.substr(begin, end - begin);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Converts text between two iconv encodings into *out. Returns false with
// *failed_at the offset of the first byte that does not convert.
bool Convert(const char* to, const char* from, std::string_view text, std::string* out,
             size_t* failed_at) {
  out->clear();
  *failed_at = 0;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char buffer[4096];
  bool ok = true;
  while (in_left > 0) {
    char* put = buffer;
    size_t put_left = sizeof buffer;
    const size_t done = iconv(cd, &in, &in_left, &put, &put_left);
    out->append(buffer, put - buffer);
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      *failed_at = text.size() - in_left;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

int Utf8SequenceLength(std::string_view text, size_t at) {
  if (at >= text.size()) return 0;
  const unsigned char first = static_cast<unsigned char>(text[at]);
  if (first < 0x80) return 1;
  int length;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < static_cast<size_t>(length)) return 0;
  for (int i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[at + i]);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const int length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool DecodeRecordText(std::string_view bytes, std::string* text, TextEncoding* encoding,
                      std::string* error) {
  *encoding = TextEncoding::kUtf8;
  if (bytes.substr(0, kBom.size()) == kBom) {
    bytes.remove_prefix(kBom.size());
    for (size_t at = 0; at < bytes.size();) {
      const int length = Utf8SequenceLength(bytes, at);
      if (length == 0) {
        *error = "line " + std::to_string(LineOfOffset(bytes, at)) +
                 ": expected UTF-8 text after the byte order mark, not " +
                 QuotedInput(LineAround(bytes, at));
        return false;
      }
      at += length;
    }
    text->assign(bytes);
    return true;
  }
  if (IsValidUtf8(bytes)) {
    text->assign(bytes);
    return true;
  }
  *encoding = TextEncoding::kCp932;
  size_t failed_at = 0;
  if (!Convert("UTF-8", "CP932", bytes, text, &failed_at)) {
    *error = "line " + std::to_string(LineOfOffset(bytes, failed_at)) +
             ": expected text in UTF-8 or Shift-JIS (code page 932), not " +
             QuotedInput(LineAround(bytes, failed_at));
    return false;
  }
  return true;
}

bool Utf8ToCp932(std::string_view text, std::string* out) {
  size_t failed_at = 0;
  return IsValidUtf8(text) && Convert("CP932", "UTF-8", text, out, &failed_at);
}

std::string QuotedUtf8Line(std::string_view line) {
  std::string quoted = "\"";
  size_t at = 0;
  for (size_t shown = 0; at < line.size() && shown < kQuotedCharacters; ++shown) {
    const int length = Utf8SequenceLength(line, at);
    quoted += length == 1 ? ShownByte(line[at]) : '?';
    at += length == 0 ? 1 : length;
  }
  if (at < line.size()) quoted += "...";
  return quoted + "\"";
}

}  // namespace fvscope
