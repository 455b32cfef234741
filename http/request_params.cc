#include "http/request_params.h"

namespace fvscope {

namespace {

// The value of the hexadecimal digit c, -1 for another byte.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// URL-decodes text into *out. Returns false with *error for a malformed
// escape or a NUL byte.
bool DecodeQueryText(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%') {
      const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
      if (low < 0) {
        *error = "the query holds a '%' that is not followed by two hexadecimal digits";
        return false;
      }
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') {
      *error = "the query holds a NUL byte";
      return false;
    }
    out->push_back(c);
  }
  return true;
}

}  // namespace

bool ParseRequestParams(std::string_view query, std::vector<RequestParam>* params,
                        std::string* error) {
  params->clear();
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    if (params->size() >= kMaxRequestParams) {
      *error = "the query holds more than " + std::to_string(kMaxRequestParams) + " parameters";
      return false;
    }
    const size_t equals = pair.find('=');
    RequestParam param;
    if (!DecodeQueryText(pair.substr(0, equals), &param.name, error) ||
        (equals != std::string_view::npos &&
         !DecodeQueryText(pair.substr(equals + 1), &param.value, error))) {
      return false;
    }
    if (param.name.empty()) {
      *error = "the query holds a parameter without a name";
      return false;
    }
    if (FindRequestParam(*params, param.name) != nullptr) {
      *error = "the query gives the parameter " + param.name.substr(0, 64) + " twice";
      return false;
    }
    params->push_back(std::move(param));
  }
  return true;
}

const std::string* FindRequestParam(const std::vector<RequestParam>& params,
                                    std::string_view name) {
  for (const RequestParam& param : params) {
    if (param.name == name) return &param.value;
  }
  return nullptr;
}

std::string EncodeQueryText(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
        u == '.' || u == '_' || u == '~' || u == '/' || u == ':' || u == '*' || u == ',') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    }
  }
  return out;
}

}  // namespace fvscope
