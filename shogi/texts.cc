#include "shogi/texts.h"

#include "shogi/settings.h"

namespace fvscope {

namespace {

struct TextEncodings {
  const char* cp932;  // Shift-JIS bytes, as octal escapes
  const char* utf8;
};

constexpr TextEncodings kTexts[kTextCount] = {
    {"\223\374\227\315\213\307\226\312->\226\226\222[\213\307\226\312", "入力局面->末端局面"},
};

}  // namespace

const char* JapaneseTextCp932(TextId id) { return kTexts[id].cp932; }

const char* JapaneseTextUtf8(TextId id) { return kTexts[id].utf8; }

const char* JapaneseText(TextId id) {
  return OutputUtf8 ? JapaneseTextUtf8(id) : JapaneseTextCp932(id);
}

}  // namespace fvscope
