// Fuzz target: the picture decoders. A picture that decodes is 8-bit BGR
// within the limits and comes back whole through the PNG writer; one that
// does not says why in one plain line.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_checks.h"
#include "render/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cv::Mat picture;
  std::string error;
  if (!fvscope::DecodeImage(data, size, &picture, &error)) {
    if (!picture.empty() || !fvscope::PlainMessage(error)) __builtin_trap();
    return 0;
  }
  if (picture.type() != CV_8UC3 || picture.cols > fvscope::kMaxImageSide ||
      picture.rows > fvscope::kMaxImageSide ||
      static_cast<long long>(picture.cols) * picture.rows > fvscope::kMaxImagePixels) {
    __builtin_trap();
  }
  std::string png;
  cv::Mat back;
  if (!fvscope::EncodePng(picture, &png, &error) ||
      !fvscope::DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(), &back,
                            &error) ||
      back.size() != picture.size() || cv::norm(back, picture, cv::NORM_INF) != 0) {
    __builtin_trap();
  }
  return 0;
}
