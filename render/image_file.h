// Picture files: PNG written through ISA-L's deflate, PNG and JPEG read through libpng
// and libjpeg-turbo, to and from 8-bit BGR pictures as the drawing code uses.
// Every reader treats its bytes as hostile: a truncated, corrupt or
// oversized file is refused with a reason, never read past its end.
#ifndef FVSCOPE_RENDER_IMAGE_FILE_H_
#define FVSCOPE_RENDER_IMAGE_FILE_H_

#include <cstddef>
#include <opencv2/core.hpp>
#include <string>

namespace fvscope {

// The largest picture a reader accepts: each side and the pixel count.
constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 1LL << 26;

// Encodes picture (CV_8UC3 as BGR, or CV_8UC1 as grey) as PNG into *png.
// Returns false with *error set for any other kind of picture.
bool EncodePng(const cv::Mat& picture, std::string* png, std::string* error);

// Writes picture as a PNG file at path, whole or not at all (through
// path.tmp, renamed into place). Returns false with *error naming the path.
bool WritePngFile(const std::string& path, const cv::Mat& picture, std::string* error);

// Decodes PNG or JPEG bytes (told apart by their signature) into *picture,
// CV_8UC3 in BGR order: grey is spread to three channels, alpha dropped,
// 16-bit samples cut to 8, CMYK turned to BGR, and the picture turned
// upright as its EXIF orientation says. Returns false with *error
// saying why when the bytes are no such picture, are cut short or are
// larger than the limits above.
bool DecodeImage(const unsigned char* data, size_t size, cv::Mat* picture, std::string* error);

// Reads the file at path and decodes it as DecodeImage does. Returns false
// with *error (without the path) when it cannot be read or decoded.
bool ReadImageFile(const std::string& path, cv::Mat* picture, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_IMAGE_FILE_H_
