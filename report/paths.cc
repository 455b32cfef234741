#include "report/paths.h"

#include <cstdio>

namespace fvscope {

std::string RankPicturePath(int rank) {
  std::string digits = std::to_string(rank);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return "./log/rank" + digits + ".png";
}

std::string DocumentName(const std::string& path) {
  return path.rfind("./", 0) == 0 ? path.substr(2) : path;
}

}  // namespace fvscope
