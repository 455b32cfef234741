#include "report/paths.h"

#include <cstdio>

#include "eval/network/activations.h"

namespace fvscope {

namespace {

std::string NumberedPath(const char* stem, int rank) {
  std::string digits = std::to_string(rank);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return std::string("./log/") + stem + digits + ".png";
}

}  // namespace

std::string RankPicturePath(int rank) { return NumberedPath("rank", rank); }

std::string PullPicturePath(int rank) { return NumberedPath("pull", rank); }

std::string ActivationPicturePath(int layer) {
  return std::string("./log/") + ActivationLayerName(layer) + ".png";
}

std::string DocumentName(const std::string& path) {
  return path.rfind("./", 0) == 0 ? path.substr(2) : path;
}

}  // namespace fvscope
