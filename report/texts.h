// The Japanese texts of the outputs, each held in code page 932 and UTF-8.
#ifndef FVSCOPE_REPORT_TEXTS_H_
#define FVSCOPE_REPORT_TEXTS_H_

namespace fvscope {

enum TextId : int {
  kTextInputToLeaf,   // 入力局面->末端局面, the report's caption of the two boards
  kTextBlackTally,    // 先手有利特徴数=%d, 総和=%d: terms favouring black, their sum
  kTextWhiteTally,    // 後手有利特徴数=%d，総和=%d (full-width comma, no blank)
  kTextDistribution,  // 分布
  kTextBucket,        //  [%d～%d] = %d: one histogram bucket, with the wave dash
  kTextCount,
};

// The text in UTF-8 when utf8 is set, else in code page 932.
const char* JapaneseText(TextId id, bool utf8);

// The text in code page 932.
const char* JapaneseTextCp932(TextId id);

// The text in UTF-8.
const char* JapaneseTextUtf8(TextId id);

}  // namespace fvscope

#endif  // FVSCOPE_REPORT_TEXTS_H_
