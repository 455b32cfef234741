#include "report/texts.h"

namespace fvscope {

namespace {

struct TextEncodings {
  const char* cp932;  // Shift-JIS bytes, as octal escapes
  const char* utf8;
};

constexpr TextEncodings kTexts[kTextCount] = {
    {"\223\374\227\315\213\307\226\312->\226\226\222[\213\307\226\312", "入力局面->末端局面"},
    {"\220\346\216\350\227L\227\230\223\301\222\245\220\224=%d, \221\215\230a=%d",
     "先手有利特徴数=%d, 総和=%d"},
    {"\214\343\216\350\227L\227\230\223\301\222\245\220\224=%d\201C\221\215\230a=%d",
     "後手有利特徴数=%d，総和=%d"},
    {"\225\252\225z", "分布"},
    {" [%d\201`%d] = %d", " [%d～%d] = %d"},
};

}  // namespace

const char* JapaneseTextCp932(TextId id) { return kTexts[id].cp932; }

const char* JapaneseTextUtf8(TextId id) { return kTexts[id].utf8; }

const char* JapaneseText(TextId id, bool utf8) {
  return utf8 ? JapaneseTextUtf8(id) : JapaneseTextCp932(id);
}

}  // namespace fvscope
