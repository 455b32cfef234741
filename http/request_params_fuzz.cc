// libFuzzer target: ParseRequestParams over any bytes keeps its promises: it
// refuses or gives at most kMaxRequestParams named, distinct parameters
// without NUL bytes, and what it gives encodes back to a query it reads the
// same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/request_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view query(reinterpret_cast<const char*>(data), size);
  std::vector<fvscope::RequestParam> params;
  std::string error;
  if (!fvscope::ParseRequestParams(query, &params, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (params.size() > fvscope::kMaxRequestParams) std::abort();
  std::string again;
  for (const fvscope::RequestParam& p : params) {
    if (p.name.empty() || p.name.find('\0') != std::string::npos ||
        p.value.find('\0') != std::string::npos ||
        fvscope::FindRequestParam(params, p.name) != &p.value) {
      std::abort();
    }
    again += fvscope::EncodeQueryText(p.name) + "=" + fvscope::EncodeQueryText(p.value) + "&";
  }
  std::vector<fvscope::RequestParam> reread;
  if (!fvscope::ParseRequestParams(again, &reread, &error) || reread.size() != params.size()) {
    std::abort();
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (reread[i].name != params[i].name || reread[i].value != params[i].value) std::abort();
  }
  return 0;
}
