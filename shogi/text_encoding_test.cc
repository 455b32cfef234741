#include "shogi/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace fvscope {
namespace {

TEST(TextEncodingUtf8, SequencesThatAreAndAreNotUtf8) {
  struct Case {
    const char* bytes;
    int length;  // of the sequence at the start
  } cases[] = {
      {"a", 1},
      {"\xC2\xA0", 2},
      {"\xE6\x89\x8B", 3},
      {"\xF0\x9F\x80\x84", 4},
      {"\xC0\xAF", 0},          // overlong
      {"\xE0\x80\xAF", 0},      // overlong
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
      {"\xE6\x89", 0},          // cut short
      {"\x80", 0},              // a continuation alone
      {"\xFF", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8SequenceLength(c.bytes, 0), c.length) << c.bytes;
    EXPECT_EQ(IsValidUtf8(c.bytes), c.length > 0) << c.bytes;
  }
}

TEST(TextEncodingDecode, BomUtf8AndShiftJisGiveTheSameText) {
  const std::string utf8 = "手合割：平手\n先手：羽生\\善治\n";
  std::string cp932;
  ASSERT_TRUE(Utf8ToCp932(utf8, &cp932));
  EXPECT_NE(cp932, utf8);
  const std::pair<std::string, TextEncoding> inputs[] = {
      {utf8, TextEncoding::kUtf8},
      {"\xEF\xBB\xBF" + utf8, TextEncoding::kUtf8},
      {cp932, TextEncoding::kCp932},
  };
  for (const auto& [bytes, encoding] : inputs) {
    std::string text, error;
    TextEncoding found;
    ASSERT_TRUE(DecodeRecordText(bytes, &text, &found, &error)) << error;
    EXPECT_EQ(text, utf8);
    EXPECT_EQ(found, encoding);
  }
  std::string out;
  EXPECT_FALSE(Utf8ToCp932("\xF0\x9F\x80\x84", &out));  // a character the code page lacks
  EXPECT_FALSE(Utf8ToCp932("\xFF", &out));
}

TEST(TextEncodingQuote, OneQuestionMarkPerCharacterAndAtMostForty) {
  EXPECT_EQ(QuotedUtf8Line("  1 ７六歩(77)"), "\"  1 ?\?\?(77)\"");
  EXPECT_EQ(QuotedUtf8Line("a\x1b\xE6\x89z"), "\"a???z\"");
  EXPECT_EQ(QuotedUtf8Line(std::string(41, 'x')), "\"" + std::string(40, 'x') + "...\"");
}

}  // namespace
}  // namespace fvscope
