#include "render/image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <png.h>

#include <opencv2/imgproc.hpp>

namespace fvscope {

namespace {

// PNG written fast: each row filtered as suits it, which turns the flat
// colours of drawn pictures into runs of zeros, then ISA-L's deflate (igzip)
// at level 2 over the whole picture at once. Of the single filters, each made
// some pictures larger than the choice per row did. igzip's level 2 measured
// as fast as its level 1 and a little smaller; libdeflate's level 2, before
// it, wrote files 5 to 32 % smaller in four to eighteen times the time.
constexpr int kPngCompressionLevel = 2;
constexpr uint32_t kPngLevelBufferBytes = ISAL_DEF_LVL2_DEFAULT;
// A long picture's data is cut into IDAT chunks of this many bytes at most.
constexpr size_t kPngChunkBytes = 1 << 20;
// A progressive JPEG may list scans without end; real ones have a dozen.
constexpr int kMaxJpegScans = 1000;
constexpr long kMaxJpegMemory = 512L << 20;

// The orientation tag (1..8) of EXIF data in TIFF form, 1 when it has none
// or the data does not hold together.
int ExifOrientation(const unsigned char* tiff, size_t size) {
  if (size < 8) return 1;
  const bool big = tiff[0] == 'M' && tiff[1] == 'M';
  if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
  auto number = [&](size_t at, int bytes) -> uint32_t {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const uint32_t byte = tiff[at + (big ? i : bytes - 1 - i)];
      value = value << 8 | byte;
    }
    return value;
  };
  if (number(2, 2) != 42) return 1;
  const size_t directory = number(4, 4);
  if (directory > size - 2) return 1;
  const size_t entries = number(directory, 2);
  for (size_t e = 0; e < entries; ++e) {
    const size_t at = directory + 2 + 12 * e;
    if (at > size - 12) return 1;
    if (number(at, 2) != 0x0112) continue;  // Orientation, a SHORT held in place
    const uint32_t orientation = number(at + 2, 2) == 3 ? number(at + 8, 2) : 1;
    return orientation >= 1 && orientation <= 8 ? static_cast<int>(orientation) : 1;
  }
  return 1;
}

// Turns picture upright as its EXIF orientation says, as OpenCV's readers did.
void ApplyOrientation(int orientation, cv::Mat* picture) {
  if (orientation >= 5) cv::transpose(*picture, *picture);
  switch (orientation) {
    case 2: case 6: cv::flip(*picture, *picture, 1); break;
    case 3: case 7: cv::flip(*picture, *picture, -1); break;
    case 4: case 8: cv::flip(*picture, *picture, 0); break;
    default: break;
  }
}

// out[i] = a[i] - b[i] modulo 256, sixteen bytes at a time.
void SubtractBytes(const unsigned char* a, const unsigned char* b, size_t count,
                   unsigned char* out) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= count; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(x, y));
  }
#endif
  for (; i < count; ++i) out[i] = static_cast<unsigned char>(a[i] - b[i]);
}

// The sizes of a row's bytes, read as signed numbers and summed, under each
// filter that the writer weighs.
struct RowSizes {
  uint64_t none;
  uint64_t sub;  // each sample less the one a pixel to its left
  uint64_t up;   // each sample less the one above it
};

uint64_t SignedSize(unsigned char byte) {
  const int value = static_cast<signed char>(byte);
  return static_cast<uint64_t>(value < 0 ? -value : value);
}

// sizes with those of the samples of row from step to count added, one by
// one (as SizesOfRow weighs them).
RowSizes SizesOfRowTail(const unsigned char* row, const unsigned char* above, size_t count,
                        size_t pixel, size_t step, RowSizes sizes) {
  for (size_t i = step; i < count; ++i) {
    sizes.none += SignedSize(row[i]);
    sizes.sub += SignedSize(static_cast<unsigned char>(i < pixel ? row[i] : row[i] - row[i - pixel]));
    sizes.up += SignedSize(static_cast<unsigned char>(row[i] - above[i]));
  }
  return sizes;
}

#if defined(__x86_64__)
// The sizes of 32 bytes, each the smaller of it and its negation, unsigned,
// summed in four lanes.
__attribute__((target("avx2"))) inline __m256i Size32(__m256i x) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_sad_epu8(_mm256_min_epu8(x, _mm256_sub_epi8(zero, x)), zero);
}

__attribute__((target("avx2"))) inline uint64_t Total32(__m256i sums) {
  const __m128i half =
      _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
  return static_cast<uint64_t>(_mm_cvtsi128_si64(half)) +
         static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half)));
}

// As SizesOfRow, 32 bytes at a time, on processors with AVX2.
__attribute__((target("avx2"))) RowSizes SizesOfRowAvx2(const unsigned char* row,
                                                          const unsigned char* above,
                                                          size_t count, size_t pixel) {
  RowSizes sizes = SizesOfRowTail(row, above, pixel, pixel, 0, {0, 0, 0});
  __m256i none = _mm256_setzero_si256(), sub = none, up = none;
  size_t i = pixel;
  for (; i + 32 <= count; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
    const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i - pixel));
    const __m256i over = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(above + i));
    none = _mm256_add_epi64(none, Size32(x));
    sub = _mm256_add_epi64(sub, Size32(_mm256_sub_epi8(x, left)));
    up = _mm256_add_epi64(up, Size32(_mm256_sub_epi8(x, over)));
  }
  sizes.none += Total32(none);
  sizes.sub += Total32(sub);
  sizes.up += Total32(up);
  return SizesOfRowTail(row, above, count, pixel, i, sizes);
}
#endif

// The sizes of the count samples at row under each filter, in one pass; above
// is the row before (the row itself for the first, whose "up" then counts
// for nothing) and pixel the bytes of a pixel.
RowSizes SizesOfRow(const unsigned char* row, const unsigned char* above, size_t count,
                    size_t pixel) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return SizesOfRowAvx2(row, above, count, pixel);
#endif
  RowSizes sizes = SizesOfRowTail(row, above, pixel, pixel, 0, {0, 0, 0});
  size_t i = pixel;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i none = zero, sub = zero, up = zero;
  auto size16 = [&](__m128i x) { return _mm_sad_epu8(_mm_min_epu8(x, _mm_sub_epi8(zero, x)), zero); };
  for (; i + 16 <= count; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - pixel));
    const __m128i over = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
    none = _mm_add_epi64(none, size16(x));
    sub = _mm_add_epi64(sub, size16(_mm_sub_epi8(x, left)));
    up = _mm_add_epi64(up, size16(_mm_sub_epi8(x, over)));
  }
  auto total = [](__m128i sums) {
    return static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  };
  sizes.none += total(none);
  sizes.sub += total(sub);
  sizes.up += total(up);
#endif
  return SizesOfRowTail(row, above, count, pixel, i, sizes);
}

bool FitsLimits(unsigned long width, unsigned long height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         static_cast<long long>(width) * static_cast<long long>(height) <= kMaxImagePixels;
}

// libpng's state for one read: the message of a failure and the bytes left.
struct PngState {
  char message[128];
  const unsigned char* data;
  size_t size;
  size_t offset;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngBytes(png_structp png, png_bytep out, size_t count) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (count > state->size - state->offset) png_error(png, "the file is cut short");
  std::memcpy(out, state->data + state->offset, count);
  state->offset += count;
}

// Everything between setjmp and a failure's longjmp keeps to plain values,
// so that no destructor is skipped.
bool DecodePng(const unsigned char* data, size_t size, cv::Mat* picture, std::string* error) {
  PngState state = {{0}, data, size, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError,
                                           OnPngWarning);
  if (png == nullptr) {
    *error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    *error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = std::string("not a PNG that decodes (") + state.message + ")";
    return false;
  }
  png_set_read_fn(png, &state, ReadPngBytes);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!FitsLimits(width, height)) png_error(png, "the picture is too large");
  const int colour_type = png_get_color_type(png, info);
  const int bit_depth = png_get_bit_depth(png, info);
  // As OpenCV's reader does for a colour picture: alpha dropped, not blended.
  if (bit_depth > 8) png_set_strip_16(png);
  png_set_strip_alpha(png);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colour_type & PNG_COLOR_MASK_COLOR) == 0 && bit_depth < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  if (colour_type & PNG_COLOR_MASK_COLOR) {
    png_set_bgr(png);
  } else {
    png_set_gray_to_rgb(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) {
    png_error(png, "unexpected row layout");
  }
  picture->create(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, picture->ptr<png_byte>(static_cast<int>(y)), nullptr);
    }
  }
  png_read_end(png, nullptr);
  png_bytep exif = nullptr;
  png_uint_32 exif_size = 0;
  const int orientation =
      png_get_eXIf_1(png, info, &exif_size, &exif) != 0 ? ExifOrientation(exif, exif_size) : 1;
  png_destroy_read_struct(&png, &info, nullptr);
  ApplyOrientation(orientation, picture);
  return true;
}

struct JpegState {
  jpeg_error_mgr manager;  // first, so that the library's pointer leads back here
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  bool cut_short;
  int orientation;  // of the EXIF data, 1 without
  char message[JMSG_LENGTH_MAX];
};

JpegState* StateOf(j_common_ptr common) { return reinterpret_cast<JpegState*>(common->err); }

[[noreturn]] void FailJpeg(j_common_ptr common, const char* why) {
  std::snprintf(StateOf(common)->message, sizeof StateOf(common)->message, "%s", why);
  std::longjmp(StateOf(common)->jump, 1);
}

[[noreturn]] void OnJpegError(j_common_ptr common) {
  char message[JMSG_LENGTH_MAX];
  common->err->format_message(common, message);
  FailJpeg(common, message);
}

// Warnings are not printed; the end of the bytes before the picture's end
// refuses it rather than drawing it half grey.
void OnJpegMessage(j_common_ptr common, int level) {
  if (level < 0 && common->err->msg_code == JWRN_JPEG_EOF) StateOf(common)->cut_short = true;
}

void OnJpegProgress(j_common_ptr common) {
  if (common->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxJpegScans) {
    FailJpeg(common, "too many scans");
  }
}

// The part of DecodeJpeg that a failure leaves by longjmp: whatever it
// changes lives behind its pointers, none of it in its own locals.
bool RunJpegDecode(const unsigned char* data, size_t size, jpeg_decompress_struct* info,
                   JpegState* state, cv::Mat* picture) {
  if (setjmp(state->jump)) return false;
  auto* common = reinterpret_cast<j_common_ptr>(info);
  jpeg_create_decompress(info);
  info->progress = &state->progress;
  info->mem->max_memory_to_use = kMaxJpegMemory;
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(info, JPEG_APP0 + 1, 0xffff);
  jpeg_read_header(info, TRUE);
  for (jpeg_saved_marker_ptr m = info->marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      state->orientation = ExifOrientation(m->data + 6, m->data_length - 6);
      break;
    }
  }
  if (state->cut_short) FailJpeg(common, "the file is cut short");
  if (!FitsLimits(info->image_width, info->image_height)) {
    FailJpeg(common, "the picture is too large");
  }
  const bool cmyk = info->num_components == 4;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(info);
  const int width = static_cast<int>(info->output_width);
  picture->create(static_cast<int>(info->output_height), width, CV_8UC3);
  JSAMPARRAY row = (*info->mem->alloc_sarray)(common, JPOOL_IMAGE,
                                              info->output_width * info->output_components, 1);
  while (info->output_scanline < info->output_height) {
    const int y = static_cast<int>(info->output_scanline);
    JSAMPROW target = cmyk ? row[0] : picture->ptr<JSAMPLE>(y);
    if (jpeg_read_scanlines(info, &target, 1) != 1 || state->cut_short) {
      FailJpeg(common, "the file is cut short");
    }
    if (!cmyk) continue;
    // OpenCV's CMYK to BGR: each ink scaled by the black.
    unsigned char* bgr = picture->ptr<unsigned char>(y);
    for (int x = 0; x < width; ++x, bgr += 3) {
      const int k = row[0][4 * x + 3];
      for (int c = 0; c < 3; ++c) {
        bgr[2 - c] = static_cast<unsigned char>(k - ((255 - row[0][4 * x + c]) * k >> 8));
      }
    }
  }
  jpeg_finish_decompress(info);
  if (state->cut_short) FailJpeg(common, "the file is cut short");
  return true;
}

// Decodes as OpenCV 4's reader did (libjpeg-turbo's defaults: the accurate
// integer DCT and smooth upsampling), straight into BGR rows.
bool DecodeJpeg(const unsigned char* data, size_t size, cv::Mat* picture, std::string* error) {
  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  JpegState state;
  info.err = jpeg_std_error(&state.manager);
  state.manager.error_exit = OnJpegError;
  state.manager.emit_message = OnJpegMessage;
  state.progress = {};
  state.progress.progress_monitor = OnJpegProgress;
  state.cut_short = false;
  state.orientation = 1;
  state.message[0] = '\0';
  const bool decoded = RunJpegDecode(data, size, &info, &state, picture);
  jpeg_destroy_decompress(&info);
  if (decoded) ApplyOrientation(state.orientation, picture);
  if (!decoded) *error = std::string("not a JPEG that decodes (") + state.message + ")";
  return decoded;
}

}  // namespace

bool EncodePng(const cv::Mat& picture, std::string* png_bytes, std::string* error) {
  if (picture.depth() != CV_8U || (picture.channels() != 3 && picture.channels() != 1) ||
      picture.dims != 2 || picture.empty()) {
    *error = "only 8-bit BGR or grey pictures are written as PNG";
    return false;
  }
  png_bytes->clear();
  const int channels = picture.channels();
  const size_t row_bytes = static_cast<size_t>(picture.cols) * channels;
  const size_t rows = static_cast<size_t>(picture.rows);
  // Each row its filter type and its filtered samples, in RGB order: of no
  // filter, "sub" and "up", the one whose bytes, read as signed, sum smallest
  // in size (the first of equals), as libpng's own choice does. A row the
  // same as the one above is "up", all zeros, unless it is all zeros itself.
  // One heap call holds the filtered rows and the zlib stream, which is at
  // most the rows stored in blocks of 65,535 bytes (5 bytes a block), the zlib
  // wrapper's 6 and some slack; none of it is cleared first, since every byte
  // read has been written. The deflate's level buffer is each thread's own,
  // kept from picture to picture.
  const size_t filtered_size = rows * (row_bytes + 1);
  const size_t bound = filtered_size + 5 * (filtered_size / 65535 + 1) + 6 + 64;
  if (bound > UINT32_MAX) {
    *error = "cannot encode the picture (too large)";
    return false;
  }
  std::unique_ptr<unsigned char[]> work(new unsigned char[filtered_size + bound]);
  unsigned char* const filtered = work.get();
  unsigned char* const data = filtered + filtered_size;
  thread_local std::unique_ptr<uint8_t[]> level_buffer;
  if (level_buffer == nullptr) level_buffer.reset(new uint8_t[kPngLevelBufferBytes]);
  cv::Mat rgb;
  if (channels == 3) cv::cvtColor(picture, rgb, cv::COLOR_BGR2RGB);
  const cv::Mat& samples = channels == 3 ? rgb : picture;
  const size_t pixel = static_cast<size_t>(channels);
  bool above_blank = false;  // the row above is all zeros
  for (size_t y = 0; y < rows; ++y) {
    const unsigned char* in = samples.ptr<unsigned char>(static_cast<int>(y));
    const unsigned char* above = y > 0 ? samples.ptr<unsigned char>(static_cast<int>(y) - 1) : in;
    unsigned char* out = filtered + y * (row_bytes + 1);
    if (y > 0 && std::memcmp(in, above, row_bytes) == 0) {
      out[0] = above_blank ? 0 : 2;
      std::memset(out + 1, 0, row_bytes);
      continue;
    }
    const RowSizes sizes = SizesOfRow(in, above, row_bytes, pixel);
    above_blank = sizes.none == 0;
    unsigned char type = 0;
    uint64_t least = sizes.none;
    if (sizes.sub < least) {
      type = 1;
      least = sizes.sub;
    }
    if (y > 0 && sizes.up < least) type = 2;
    out[0] = type;
    if (type == 2) {
      SubtractBytes(in, above, row_bytes, out + 1);
    } else if (type == 1) {
      std::memcpy(out + 1, in, pixel);
      SubtractBytes(in + pixel, in, row_bytes - pixel, out + 1 + pixel);
    } else {
      std::memcpy(out + 1, in, row_bytes);
    }
  }
  isal_zstream stream;
  isal_deflate_stateless_init(&stream);
  stream.next_in = filtered;
  stream.avail_in = static_cast<uint32_t>(filtered_size);
  stream.next_out = data;
  stream.avail_out = static_cast<uint32_t>(bound);
  stream.level = kPngCompressionLevel;
  stream.level_buf = level_buffer.get();
  stream.level_buf_size = kPngLevelBufferBytes;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.end_of_stream = 1;
  if (isal_deflate_stateless(&stream) != COMP_OK || stream.avail_in != 0) {
    *error = "cannot encode the picture (the compressed data does not fit)";
    return false;
  }
  const size_t data_size = stream.total_out;
  auto put32 = [&](uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    png_bytes->append(bytes, 4);
  };
  auto chunk = [&](const char* type, const unsigned char* body, size_t size) {
    put32(static_cast<uint32_t>(size));
    const size_t start = png_bytes->size();
    png_bytes->append(type, 4);
    if (size > 0) png_bytes->append(reinterpret_cast<const char*>(body), size);
    put32(crc32_gzip_refl(0, reinterpret_cast<const unsigned char*>(png_bytes->data()) + start,
                          size + 4));
  };
  png_bytes->reserve(8 + 25 + data_size + 12 * (data_size / kPngChunkBytes + 1) + 12);
  png_bytes->append("\x89PNG\r\n\x1a\n", 8);
  unsigned char header[13];
  for (int i = 0; i < 4; ++i) {
    header[i] = static_cast<unsigned char>(static_cast<uint32_t>(picture.cols) >> (24 - 8 * i));
    header[4 + i] = static_cast<unsigned char>(static_cast<uint32_t>(picture.rows) >> (24 - 8 * i));
  }
  header[8] = 8;                        // bits per sample
  header[9] = channels == 3 ? 2 : 0;    // RGB or grey
  header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, no interlace
  chunk("IHDR", header, sizeof header);
  for (size_t at = 0; at < data_size; at += kPngChunkBytes) {
    chunk("IDAT", data + at, std::min(kPngChunkBytes, data_size - at));
  }
  chunk("IEND", nullptr, 0);
  return true;
}

bool WritePngFile(const std::string& path, const cv::Mat& picture, std::string* error) {
  std::string bytes;
  std::string why;
  if (!EncodePng(picture, &bytes, &why)) {
    *error = path + ": cannot save the picture (" + why + ")";
    return false;
  }
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr;
  if (written) {
    written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    written = written && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) std::remove(temporary.c_str());
  }
  if (!written) *error = path + ": cannot save the picture";
  return written;
}

bool DecodeImage(const unsigned char* data, size_t size, cv::Mat* picture, std::string* error) {
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  picture->release();
  bool decoded = false;
  if (size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0) {
    decoded = DecodePng(data, size, picture, error);
  } else if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff) {
    decoded = DecodeJpeg(data, size, picture, error);
  } else {
    *error = "neither a PNG nor a JPEG picture";
  }
  if (!decoded) picture->release();
  return decoded;
}

bool ReadImageFile(const std::string& path, cv::Mat* picture, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    picture->release();
    *error = std::string("cannot open (") + std::strerror(errno) + ")";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    picture->release();
    *error = "cannot read";
    return false;
  }
  return DecodeImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), picture,
                     error);
}

}  // namespace fvscope
