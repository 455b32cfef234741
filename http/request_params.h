// The parameters of a request's query string, read as hostile input.
#ifndef FVSCOPE_HTTP_REQUEST_PARAMS_H_
#define FVSCOPE_HTTP_REQUEST_PARAMS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fvscope {

// Most parameters a query may hold.
constexpr size_t kMaxRequestParams = 32;

// One name=value pair of a query, URL-decoded.
struct RequestParam {
  std::string name;
  std::string value;
};

// Reads query (the text after '?') into *params: pairs separated by '&'
// (empty ones skipped), a pair without '=' having the empty value, names and
// values URL-decoded (%XX, '+' for a blank). Returns false with *error for
// a malformed escape, a NUL byte, an empty or repeated name, or more than
// kMaxRequestParams pairs.
bool ParseRequestParams(std::string_view query, std::vector<RequestParam>* params,
                        std::string* error);

// The value of the parameter name, nullptr when the query has none.
const std::string* FindRequestParam(const std::vector<RequestParam>& params,
                                    std::string_view name);

// text as a query's name or value: letters, digits and "-._~/:*," as they
// are, every other byte %XX.
std::string EncodeQueryText(std::string_view text);

}  // namespace fvscope

#endif  // FVSCOPE_HTTP_REQUEST_PARAMS_H_
