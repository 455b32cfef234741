#include "render/image_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test/scratch_dir.h"

namespace fvscope {
namespace {

const std::string kPictures = std::string(FVSCOPE_SOURCE_DIR) + "/test/pictures/";

uint64_t PixelHash(const cv::Mat& picture) {
  uint64_t hash = 1469598103934665603ULL;
  for (int y = 0; y < picture.rows; ++y) {
    const unsigned char* row = picture.ptr<unsigned char>(y);
    for (size_t i = 0; i < picture.cols * picture.elemSize(); ++i) {
      hash = (hash ^ row[i]) * 1099511628211ULL;
    }
  }
  return hash;
}

cv::Mat RandomPicture(int rows, int cols, int type, unsigned seed) {
  cv::Mat picture(rows, cols, type);
  std::mt19937 random(seed);
  for (int y = 0; y < rows; ++y) {
    unsigned char* row = picture.ptr<unsigned char>(y);
    for (size_t i = 0; i < cols * picture.elemSize(); ++i) row[i] = random() & 0xff;
  }
  return picture;
}

// The hashes are of the pictures OpenCV 4.6's imread gave for these files in
// colour: the decoders must keep every pixel.
TEST(DecodeImage, GivesThePixelsOpenCvGave) {
  const struct {
    std::string path;
    int cols, rows;
    uint64_t hash;
  } kCases[] = {
      {kPictures + "jpeg_422.jpg", 21, 17, 0xd26a8337c8682946ULL},
      {kPictures + "jpeg_cmyk.jpg", 21, 17, 0xd378bb2a9ccda742ULL},
      {kPictures + "jpeg_grey.jpg", 21, 17, 0x0719493202c9af9bULL},
      {kPictures + "jpeg_progressive_420.jpg", 21, 17, 0x22c94c3bb35d9edcULL},
      {kPictures + "png_grey1.png", 21, 17, 0x4b901d9b89989563ULL},
      {kPictures + "png_grey_alpha.png", 21, 17, 0x14916b300c7ab58dULL},
      {kPictures + "png_interlaced.png", 21, 17, 0x63e23d24929cbff3ULL},
      {kPictures + "png_palette.png", 21, 17, 0x00ad13d39e89b5b8ULL},
      {kPictures + "png_rgba16.png", 21, 17, 0x86d4445792a91894ULL},
      // Turned by their EXIF orientation: 6 (a quarter turn), 3 (a half turn).
      {kPictures + "jpeg_exif6.jpg", 17, 21, 0x6810f36e0e5be90aULL},
      {kPictures + "jpeg_exif3.jpg", 21, 17, 0xc08817b66667f762ULL},
      {kPictures + "png_exif6.png", 17, 21, 0x1c4413cd74e13babULL},
      {std::string(FVSCOPE_SOURCE_DIR) + "/assets/img/FU.jpg", 45, 50, 0x27576e6c0e419609ULL},
      {std::string(FVSCOPE_SOURCE_DIR) + "/assets/img/RY.jpg", 45, 50, 0xe56e538d0ecb76a9ULL},
  };
  for (const auto& c : kCases) {
    cv::Mat picture;
    std::string error;
    ASSERT_TRUE(ReadImageFile(c.path, &picture, &error)) << c.path << ": " << error;
    EXPECT_EQ(picture.type(), CV_8UC3) << c.path;
    EXPECT_EQ(picture.cols, c.cols) << c.path;
    EXPECT_EQ(picture.rows, c.rows) << c.path;
    EXPECT_EQ(PixelHash(picture), c.hash) << c.path;
  }
}

TEST(EncodePng, RoundTripsColourAndGreyThroughFiles) {
  ScratchDir dir;
  std::string error;
  const cv::Mat colour = RandomPicture(23, 37, CV_8UC3, 1);
  ASSERT_TRUE(WritePngFile(dir.File("c.png"), colour, &error)) << error;
  cv::Mat back;
  ASSERT_TRUE(ReadImageFile(dir.File("c.png"), &back, &error)) << error;
  EXPECT_EQ(PixelHash(back), PixelHash(colour));

  const cv::Mat grey = RandomPicture(5, 9, CV_8UC1, 2);
  std::string png;
  ASSERT_TRUE(EncodePng(grey, &png, &error)) << error;
  ASSERT_TRUE(DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(), &back,
                          &error))
      << error;
  ASSERT_EQ(back.type(), CV_8UC3);
  for (int y = 0; y < grey.rows; ++y) {
    for (int x = 0; x < grey.cols; ++x) {
      const unsigned char g = grey.at<unsigned char>(y, x);
      EXPECT_EQ(back.at<cv::Vec3b>(y, x), cv::Vec3b(g, g, g));
    }
  }

  EXPECT_FALSE(EncodePng(cv::Mat(4, 4, CV_32FC3), &png, &error));
  EXPECT_FALSE(WritePngFile(dir.File("none/c.png"), colour, &error));
  EXPECT_NE(error.find("none/c.png: cannot save the picture"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(dir.File("none/c.png.tmp")));
}

// The kinds of picture the modes draw (flat fields with lines and text, a
// smooth gradient, noise, grey, one pixel wide) and one whose data spans
// several IDAT chunks: libpng reads each back without a warning, to the same
// pixels, and none is larger than its raw rows.
TEST(EncodePng, LibpngReadsEveryKindBackWithoutAWarning) {
  std::vector<cv::Mat> pictures;
  cv::Mat board(640, 640, CV_8UC3, cv::Scalar(120, 200, 230));
  for (int i = 0; i <= 9; ++i) {
    cv::line(board, cv::Point(40 + 60 * i, 40), cv::Point(40 + 60 * i, 580), cv::Scalar(0, 0, 0), 2);
    cv::line(board, cv::Point(40, 40 + 60 * i), cv::Point(580, 40 + 60 * i), cv::Scalar(0, 0, 0), 2);
  }
  cv::putText(board, "+59OU -51OU 12.5", cv::Point(60, 620), cv::FONT_HERSHEY_SIMPLEX, 0.8,
              cv::Scalar(0, 0, 255), 2, cv::LINE_AA);
  cv::rectangle(board, cv::Rect(100, 100, 60, 60), cv::Scalar(255, 64, 32), cv::FILLED);
  pictures.push_back(board);
  cv::Mat gradient(200, 300, CV_8UC3);
  for (int y = 0; y < gradient.rows; ++y) {
    for (int x = 0; x < gradient.cols; ++x) gradient.at<cv::Vec3b>(y, x) = cv::Vec3b(x, y, x + y);
  }
  pictures.push_back(gradient);
  pictures.push_back(RandomPicture(31, 17, CV_8UC3, 3));
  pictures.push_back(RandomPicture(40, 33, CV_8UC1, 4));
  pictures.push_back(RandomPicture(50, 1, CV_8UC3, 5));
  pictures.push_back(RandomPicture(700, 700, CV_8UC3, 6));  // about 1.5 MB that do not compress

  for (size_t i = 0; i < pictures.size(); ++i) {
    const cv::Mat& picture = pictures[i];
    std::string png, error;
    ASSERT_TRUE(EncodePng(picture, &png, &error)) << i << ": " << error;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()))
        << i << ": " << image.message;
    image.format = picture.channels() == 3 ? PNG_FORMAT_BGR : PNG_FORMAT_GRAY;
    cv::Mat back(picture.rows, picture.cols, picture.type());
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data, 0, nullptr))
        << i << ": " << image.message;
    EXPECT_EQ(image.warning_or_error, 0u) << i << ": " << image.message;
    EXPECT_EQ(PixelHash(back), PixelHash(picture)) << i;
    EXPECT_LE(png.size(), picture.total() * picture.elemSize() + picture.rows + 1024) << i;
  }
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Checked by zlib, not by the writer's own codec: every chunk's CRC, IDAT
// chunks of 1 MiB but the last, and a zlib stream (its Adler-32 included)
// that inflates to one filter byte (none, sub or up) and the samples of
// each row. Pictures encoded on several threads at once, each with its own
// deflate state, are byte for byte those encoded on one.
TEST(EncodePng, ChunksAndStreamHoldTogetherOnEveryThread) {
  const std::vector<cv::Mat> pictures = {RandomPicture(800, 700, CV_8UC3, 8),
                                         cv::Mat(640, 640, CV_8UC3, cv::Scalar(10, 20, 30)),
                                         RandomPicture(3, 2, CV_8UC1, 9)};
  std::vector<std::string> alone(pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) {
    std::string error;
    ASSERT_TRUE(EncodePng(pictures[i], &alone[i], &error)) << error;
    const std::string& png = alone[i];
    std::string stream;
    std::vector<std::string> types;
    std::vector<uint32_t> idat_sizes;
    for (size_t at = 8; at < png.size();) {
      ASSERT_LE(at + 12, png.size()) << i;
      const uint32_t size = BigEndian(png, at);
      ASSERT_LE(at + 12 + size, png.size()) << i;
      const auto* typed = reinterpret_cast<const Bytef*>(png.data() + at + 4);
      EXPECT_EQ(crc32(0, typed, size + 4), BigEndian(png, at + 8 + size)) << i << " at " << at;
      types.push_back(png.substr(at + 4, 4));
      if (types.back() == "IDAT") {
        stream += png.substr(at + 8, size);
        idat_sizes.push_back(size);
      }
      at += 12 + size;
    }
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    for (size_t k = 0; k + 1 < idat_sizes.size(); ++k) EXPECT_EQ(idat_sizes[k], 1u << 20) << i;
    EXPECT_EQ(idat_sizes.size(), i == 0 ? 2u : 1u);
    const size_t row_bytes = pictures[i].cols * pictures[i].elemSize();
    std::string rows(pictures[i].rows * (row_bytes + 1) + 1, '\0');
    uLongf size = rows.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                         reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
              Z_OK)
        << i;
    ASSERT_EQ(size, rows.size() - 1) << i;
    for (int y = 0; y < pictures[i].rows; ++y) EXPECT_LE(rows[y * (row_bytes + 1)], 2) << i;
  }
  std::vector<std::string> together(pictures.size() * 4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < together.size(); ++t) {
    threads.emplace_back([&, t] {
      std::string error;
      EncodePng(pictures[t % pictures.size()], &together[t], &error);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < together.size(); ++t) EXPECT_EQ(together[t], alone[t % pictures.size()]) << t;
}

// The zlib stream of every IDAT chunk of png, inflated: each row's filter
// byte and its samples.
std::string FilteredRows(const std::string& png, size_t expected_size) {
  std::string stream;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t size = BigEndian(png, at);
    if (png.compare(at + 4, 4, "IDAT") == 0) stream += png.substr(at + 8, size);
    at += 12 + size;
  }
  std::string rows(expected_size, '\0');
  uLongf size = rows.size();
  if (uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                 reinterpret_cast<const Bytef*>(stream.data()), stream.size()) != Z_OK ||
      size != rows.size()) {
    return "";
  }
  return rows;
}

// Each row is written under the filter whose bytes, read as signed, sum
// smallest in size (none, then sub, then up among equals), worked out here
// byte by byte from the RGB samples: the vector sums must weigh as this does.
TEST(EncodePng, EachRowTakesTheFilterOfSmallestSignedSum) {
  cv::Mat board(96, 131, CV_8UC3, cv::Scalar(120, 200, 230));
  cv::line(board, cv::Point(3, 5), cv::Point(120, 90), cv::Scalar(0, 0, 255), 2, cv::LINE_AA);
  cv::putText(board, "-12.5", cv::Point(10, 60), cv::FONT_HERSHEY_SIMPLEX, 0.7,
              cv::Scalar(255, 0, 0), 2, cv::LINE_AA);
  cv::Mat stripes(40, 77, CV_8UC3);
  for (int y = 0; y < stripes.rows; ++y) {
    for (int x = 0; x < stripes.cols; ++x) stripes.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 7, y * 5, 200);
  }
  const std::vector<cv::Mat> pictures = {board, stripes, RandomPicture(33, 70, CV_8UC3, 10),
                                         RandomPicture(20, 45, CV_8UC1, 11),
                                         RandomPicture(9, 1, CV_8UC3, 12)};
  for (size_t i = 0; i < pictures.size(); ++i) {
    cv::Mat samples;
    if (pictures[i].channels() == 3) {
      cv::cvtColor(pictures[i], samples, cv::COLOR_BGR2RGB);
    } else {
      samples = pictures[i];
    }
    const int pixel = samples.channels();
    const int row_bytes = samples.cols * pixel;
    std::string png, error;
    ASSERT_TRUE(EncodePng(pictures[i], &png, &error)) << error;
    const std::string rows = FilteredRows(png, static_cast<size_t>(samples.rows) * (row_bytes + 1));
    ASSERT_FALSE(rows.empty()) << i;
    for (int y = 0; y < samples.rows; ++y) {
      const unsigned char* in = samples.ptr<unsigned char>(y);
      unsigned char filtered[3][512];
      uint64_t sums[3] = {0, 0, 0};
      for (int x = 0; x < row_bytes; ++x) {
        filtered[0][x] = in[x];
        filtered[1][x] = static_cast<unsigned char>(in[x] - (x >= pixel ? in[x - pixel] : 0));
        filtered[2][x] = static_cast<unsigned char>(in[x] - (y > 0 ? in[x - samples.step[0]] : 0));
        for (int f = 0; f < 3; ++f) sums[f] += std::abs(static_cast<signed char>(filtered[f][x]));
      }
      int type = sums[1] < sums[0] ? 1 : 0;
      if (y > 0 && sums[2] < sums[type]) type = 2;
      const size_t at = static_cast<size_t>(y) * (row_bytes + 1);
      ASSERT_EQ(rows[at], type) << i << " row " << y;
      EXPECT_EQ(rows.compare(at + 1, row_bytes, reinterpret_cast<const char*>(filtered[type]),
                             row_bytes),
                0)
          << i << " row " << y;
    }
  }
}

TEST(WritePngFile, AFailedWriteLeavesNoFile) {
  ScratchDir dir;
  std::string error;
  const cv::Mat picture = RandomPicture(8, 8, CV_8UC3, 7);
  // The path is a folder: nothing can be renamed onto it.
  std::filesystem::create_directory(dir.File("taken.png"));
  EXPECT_FALSE(WritePngFile(dir.File("taken.png"), picture, &error));
  EXPECT_NE(error.find("taken.png: cannot save the picture"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.png")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("taken.png.tmp")));
  // A picture that cannot be encoded writes nothing at all.
  EXPECT_FALSE(WritePngFile(dir.File("float.png"), cv::Mat(4, 4, CV_32FC3), &error));
  EXPECT_FALSE(std::filesystem::exists(dir.File("float.png")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("float.png.tmp")));
}

// Sets the big-endian 16 or 32 bit number at offset.
void PutNumber(std::string* bytes, size_t offset, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) {
    (*bytes)[offset + i] = static_cast<char>(value >> (8 * (width - 1 - i)));
  }
}

TEST(DecodeImage, RefusesCutShortOversizedAndForeignBytes) {
  std::vector<std::string> files = {ReadWholeFile(kPictures + "png_interlaced.png"),
                                    ReadWholeFile(kPictures + "jpeg_progressive_420.jpg"),
                                    ReadWholeFile(kPictures + "jpeg_cmyk.jpg")};
  std::vector<std::string> hostile = {"", "GIF89a", std::string("\x89PNG\r\n\x1a\n", 8),
                                      "\xff\xd8\xff"};
  for (const std::string& file : files) {
    ASSERT_GT(file.size(), 100u);
    for (size_t n = 0; n < file.size(); ++n) hostile.push_back(file.substr(0, n));
  }
  // 16000 x 16000: each side fits the limit, the pixel count does not.
  std::string png = files[0];
  PutNumber(&png, 16, 16000, 4);
  PutNumber(&png, 20, 16000, 4);
  PutNumber(&png, 29, crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17), 4);
  hostile.push_back(png);
  std::string jpeg = files[1];
  const size_t frame = jpeg.find("\xff\xc2");
  ASSERT_NE(frame, std::string::npos);
  PutNumber(&jpeg, frame + 5, 60000, 2);
  PutNumber(&jpeg, frame + 7, 60000, 2);
  hostile.push_back(jpeg);

  for (size_t i = 0; i < hostile.size(); ++i) {
    cv::Mat picture;
    std::string error;
    EXPECT_FALSE(DecodeImage(reinterpret_cast<const unsigned char*>(hostile[i].data()),
                             hostile[i].size(), &picture, &error))
        << i;
    EXPECT_TRUE(picture.empty()) << i;
    EXPECT_FALSE(error.empty()) << i;
  }
  std::string error;
  cv::Mat picture;
  EXPECT_FALSE(DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(),
                           &picture, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
}  // namespace fvscope
