#include "http/request_params.h"

#include <gtest/gtest.h>

#include <random>

namespace fvscope {
namespace {

TEST(RequestParams, EveryTextSurvivesEncodingAndParsing) {
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    std::string name = "n" + std::to_string(round), value;
    for (int i = static_cast<int>(random() % 40); i > 0; --i) {
      value.push_back(static_cast<char>(1 + random() % 255));  // any byte but NUL
    }
    std::vector<RequestParam> params;
    std::string error;
    const std::string query = "&" + EncodeQueryText(name) + "=" + EncodeQueryText(value) + "&&x";
    ASSERT_TRUE(ParseRequestParams(query, &params, &error)) << error;
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].name, name);
    EXPECT_EQ(params[0].value, value);
    ASSERT_NE(FindRequestParam(params, "x"), nullptr);
    EXPECT_EQ(*FindRequestParam(params, "x"), "");
    EXPECT_EQ(FindRequestParam(params, "y"), nullptr);
  }
  std::vector<RequestParam> params;
  std::string error;
  ASSERT_TRUE(ParseRequestParams("position=startpos+moves+7g7f&pv=%2B7776FU", &params, &error));
  EXPECT_EQ(params[0].value, "startpos moves 7g7f");
  EXPECT_EQ(params[1].value, "+7776FU");
}

TEST(RequestParams, MalformedQueriesAreRefused) {
  std::string many;
  for (size_t i = 0; i <= kMaxRequestParams; ++i) many += "p" + std::to_string(i) + "=1&";
  for (const char* query : {"a=%", "a=%4", "a=%zz", "a=%00", "=1", "%3D=1", "a=1&a=2"}) {
    std::vector<RequestParam> params;
    std::string error;
    EXPECT_EQ(ParseRequestParams(query, &params, &error), std::string(query) == "%3D=1") << query;
  }
  std::vector<RequestParam> params;
  std::string error;
  EXPECT_FALSE(ParseRequestParams(many, &params, &error));
  EXPECT_NE(error.find("more than"), std::string::npos);
}

}  // namespace
}  // namespace fvscope
