#include "eval/network/network_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace fvscope {

namespace {

// The inputs a HalfKP text may name: the full count, and the count an early
// converter wrote.
constexpr int64_t kInputCountTexts[] = {125388, 41024};

// The architecture texts read, digits replaced by '#': the first layer is
// named AffineTransform or AffineTransformSparseInput.
constexpr const char* kArchitectureForms[] = {
    "Features=HalfKP(Friend)[#->#x#],Network=AffineTransform[#<-#](ClippedReLU[#]("
    "AffineTransform[#<-#](ClippedReLU[#](AffineTransform[#<-#](InputSlice[#(#:#)])))))",
    "Features=HalfKP(Friend)[#->#x#],Network=AffineTransform[#<-#](ClippedReLU[#]("
    "AffineTransform[#<-#](ClippedReLU[#](AffineTransformSparseInput[#<-#](InputSlice[#(#:#)]"
    ")))))"};

constexpr const char* kWhatIsRead =
    "fvscope reads HalfKP(Friend) networks of 256, 512 or 1024 x 2 inputs to layers of 8 to 128";

// The text shown in a message: control characters escaped, at most 200.
std::string ShownText(const std::string& text) {
  std::string shown;
  size_t i = 0;
  for (; i < text.size() && shown.size() < 200; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (i < text.size()) shown += "...";
  return shown;
}

uint32_t ReadWord(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

}  // namespace

bool IsNetworkFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t head[4];
  const bool is = read(fd, head, 4) == 4 && ReadWord(head) == kNetworkVersion;
  close(fd);
  return is;
}

uint32_t TransformerHash(const NetworkShape& shape) {
  return 0x5D69D5B8u ^ static_cast<uint32_t>(2 * shape.w);
}

uint32_t LayersHash(const NetworkShape& shape) {
  uint32_t h = 0xEC42E90Du ^ static_cast<uint32_t>(2 * shape.w);
  const auto affine = [&](int32_t n) {
    h = (0xCC03DAE4u + static_cast<uint32_t>(n)) ^ (h >> 1) ^ (h << 31);
  };
  const auto relu = [&] { h = 0x538D24C7u + h; };
  affine(shape.h1);
  relu();
  affine(shape.h2);
  relu();
  affine(1);
  return h;
}

int64_t NetworkFileBytes(const NetworkShape& s, int64_t text_bytes) {
  return 12 + text_bytes + 4 + 2 * int64_t{s.w} + 2 * int64_t{s.w} * kNetworkInputs + 4 +
         4 * int64_t{s.h1} + int64_t{s.h1} * PaddedWidth(2 * s.w) + 4 * int64_t{s.h2} +
         int64_t{s.h2} * PaddedWidth(s.h1) + 4 + PaddedWidth(s.h2);
}

std::string ArchitectureText(const NetworkShape& s) {
  const std::string w = std::to_string(s.w), w2 = std::to_string(2 * s.w),
                    h1 = std::to_string(s.h1), h2 = std::to_string(s.h2);
  return "Features=HalfKP(Friend)[125388->" + w + "x2],Network=AffineTransform[1<-" + h2 +
         "](ClippedReLU[" + h2 + "](AffineTransform[" + h2 + "<-" + h1 + "](ClippedReLU[" + h1 +
         "](AffineTransform[" + h1 + "<-" + w2 + "](InputSlice[" + w2 + "(0:" + w2 + ")])))))";
}

bool ParseArchitecture(const std::string& text, NetworkShape* shape, std::string* error) {
  std::string form;
  std::vector<int64_t> numbers;
  for (size_t i = 0; i < text.size();) {
    if (text[i] >= '0' && text[i] <= '9') {
      int64_t n = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (n < 100000000) n = n * 10 + (text[i] - '0');
        ++i;
      }
      numbers.push_back(n);
      form += '#';
    } else {
      form += text[i++];
    }
  }
  const auto refuse = [&](const std::string& why) {
    *error = "the architecture \"" + ShownText(text) + "\" " + why + "; " + kWhatIsRead;
    return false;
  };
  bool known = false;
  for (const char* f : kArchitectureForms) known = known || form == f;
  if (!known) {
    const char* kinds[] = {"K+P", "HalfKPE9", "HalfKP_vm", "HalfKA_hm", "HalfKA", "HalfKPE4"};
    if (text.rfind("ModelType=", 0) == 0) return refuse("is not a HalfKP network");
    for (const char* kind : kinds) {
      if (text.find(std::string("Features=") + kind) != std::string::npos) {
        return refuse(std::string("has the feature set ") + kind);
      }
    }
    return refuse("is not one of the layer structures read");
  }
  // [inputs->W x 2] [1<-H2] [H2] [H2<-H1] [H1] [H1<-2W] [2W(0:2W)]
  const int64_t inputs = numbers[0], w = numbers[1];
  const int64_t h2 = numbers[5], h1 = numbers[8];
  const bool consistent = numbers[2] == 2 && numbers[3] == 1 && numbers[4] == h2 &&
                          numbers[6] == h2 && numbers[7] == h1 && numbers[9] == h1 &&
                          numbers[10] == 2 * w && numbers[11] == 2 * w && numbers[12] == 0 &&
                          numbers[13] == 2 * w;
  if ((inputs != kInputCountTexts[0] && inputs != kInputCountTexts[1]) || !consistent) {
    return refuse("does not hold together");
  }
  if ((w != 256 && w != 512 && w != 1024) || h1 < 8 || h1 > kMaxHiddenWidth || h2 < 8 ||
      h2 > kMaxHiddenWidth) {
    return refuse("has a shape not read");
  }
  *shape = {static_cast<int32_t>(w), static_cast<int32_t>(h1), static_cast<int32_t>(h2)};
  return true;
}

bool LoadNetwork(const char* path, Network* network, std::string* error, bool aligned) {
  const std::string name = path;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    *error = name + ": cannot be read (" + std::strerror(errno) + ")";
    if (fd >= 0) close(fd);
    return false;
  }
  const int64_t size = st.st_size;
  void* mapping = size > 0 ? mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0)
                           : MAP_FAILED;
  close(fd);
  if (mapping == MAP_FAILED) {
    *error = name + ": cannot be mapped (" + std::strerror(errno) + ")";
    return false;
  }
  network->mapping = mapping;
  network->mapping_bytes = static_cast<size_t>(size);
  network->file_bytes = size;
  const uint8_t* bytes = static_cast<const uint8_t*>(mapping);
  const auto fail = [&](const std::string& why) {
    *error = name + ": " + why;
    CloseNetwork(network);
    return false;
  };
  if (size < 12 || ReadWord(bytes) != kNetworkVersion) return fail("not a network file");
  network->file_hash = ReadWord(bytes + 4);
  const uint32_t text_bytes = ReadWord(bytes + 8);
  if (text_bytes > kMaxArchitectureBytes || text_bytes > size - 12) {
    return fail("its architecture text would be " + std::to_string(text_bytes) +
                " bytes long, more than " +
                (text_bytes > kMaxArchitectureBytes ? std::to_string(kMaxArchitectureBytes)
                                                    : "the file holds"));
  }
  network->architecture.assign(reinterpret_cast<const char*>(bytes + 12), text_bytes);
  NetworkShape s;
  std::string why;
  if (!ParseArchitecture(network->architecture, &s, &why)) return fail(why);
  network->shape = s;
  const int64_t expected = NetworkFileBytes(s, text_bytes);
  if (size != expected) {
    return fail("a network of shape " + std::to_string(s.w) + "/" + std::to_string(s.h1) + "/" +
                std::to_string(s.h2) + " is " + std::to_string(expected) + " bytes; this file is " +
                std::to_string(size));
  }
  int64_t at = 12 + text_bytes;
  const auto check_hash = [&](const char* which, uint32_t read, uint32_t want) {
    if (read == want) return true;
    *error = name + ": the " + which + " hash is " + Hex(read) + ", expected " + Hex(want);
    return false;
  };
  const uint32_t transformer = TransformerHash(s), layers = LayersHash(s);
  if (!check_hash("file", network->file_hash, transformer ^ layers) ||
      !check_hash("transformer", ReadWord(bytes + at), transformer)) {
    CloseNetwork(network);
    return false;
  }
  at += 4;
  const int64_t transformer_values = int64_t{s.w} * (1 + kNetworkInputs);
  if (!aligned && at % 2 == 0 && std::endian::native == std::endian::little) {
    network->biases = reinterpret_cast<const int16_t*>(bytes + at);
  } else {
    // The weights' rows start on a cache line: a row read whole never
    // straddles two more than it must.
    constexpr size_t kLine = 64 / sizeof(int16_t);
    network->copied.resize(static_cast<size_t>(transformer_values) + kLine);
    int16_t* biases = network->copied.data();
    while ((reinterpret_cast<uintptr_t>(biases + s.w) % 64) != 0) ++biases;
    if (std::endian::native == std::endian::little) {
      std::memcpy(biases, bytes + at, static_cast<size_t>(2 * transformer_values));
    } else {
      for (int64_t i = 0; i < transformer_values; ++i) {
        biases[i] = static_cast<int16_t>(bytes[at + 2 * i] | bytes[at + 2 * i + 1] << 8);
      }
    }
    network->biases = biases;
    // The mapped pages of the copy are read no more (a checksum reads them
    // again from the cache): they need not stay in memory beside it.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(bytes + at) + page - 1) / page * page;
    const uintptr_t last = reinterpret_cast<uintptr_t>(bytes + at + 2 * transformer_values) / page * page;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
  }
  network->weights = network->biases + s.w;
  at += 2 * transformer_values;
  if (!check_hash("network", ReadWord(bytes + at), layers)) {
    CloseNetwork(network);
    return false;
  }
  at += 4;
  const auto read_biases = [&](std::vector<int32_t>* out, int n) {
    out->resize(n);
    for (int i = 0; i < n; ++i, at += 4) (*out)[i] = static_cast<int32_t>(ReadWord(bytes + at));
  };
  const auto read_weights = [&](std::vector<int8_t>* out, int64_t n) {
    out->assign(reinterpret_cast<const int8_t*>(bytes + at),
                reinterpret_cast<const int8_t*>(bytes + at + n));
    at += n;
  };
  read_biases(&network->b1, s.h1);
  read_weights(&network->w1, int64_t{s.h1} * PaddedWidth(2 * s.w));
  read_biases(&network->b2, s.h2);
  read_weights(&network->w2, int64_t{s.h2} * PaddedWidth(s.h1));
  network->b3 = static_cast<int32_t>(ReadWord(bytes + at));
  at += 4;
  read_weights(&network->w3, PaddedWidth(s.h2));
  // The padding's weights are 0 in a well-formed file; the sums never read them.
  ArrangeLayerBlocks(network);
  return true;
}

void ArrangeLayerBlocks(Network* network) {
  const NetworkShape& s = network->shape;
  const auto arrange = [](const std::vector<int8_t>& rows, int outputs, int padded,
                          std::vector<int8_t>* blocks) {
    const int count = (outputs + 15) / 16;
    blocks->assign(static_cast<size_t>(count) * 16 * padded, 0);
    for (int o = 0; o < outputs; ++o) {
      for (int i = 0; i < padded; ++i) {
        const size_t at = (static_cast<size_t>(o / 16) * (padded / 4) + i / 4) * 64 + (o % 16) * 4 + i % 4;
        (*blocks)[at] = rows[static_cast<size_t>(o) * padded + i];
      }
    }
  };
  arrange(network->w1, s.h1, PaddedWidth(2 * s.w), &network->w1_blocks);
  arrange(network->w2, s.h2, PaddedWidth(s.h1), &network->w2_blocks);
}

void CloseNetwork(Network* network) {
  if (network->mapping != nullptr) munmap(network->mapping, network->mapping_bytes);
  network->mapping = nullptr;
  network->mapping_bytes = 0;
  network->biases = network->weights = nullptr;
  network->copied.clear();
}

}  // namespace fvscope
