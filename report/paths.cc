#include "report/paths.h"

#include <cstdio>

namespace fvscope {

std::string RankPicturePath(int rank) {
  char name[64];
  std::snprintf(name, sizeof name, "./log/rank%03d.png", rank);
  return name;
}

std::string DocumentName(const std::string& path) {
  return path.rfind("./", 0) == 0 ? path.substr(2) : path;
}

}  // namespace fvscope
