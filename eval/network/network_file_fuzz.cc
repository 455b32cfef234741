// Fuzz target: the bytes of a network file's head. As they are, the file
// must be refused with a plain message (it is far shorter than any shape);
// when its text parses, the same head grown to its shape's size with zero
// weights and the hashes made right must load and evaluate a position.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "eval/network/network_breakdown.h"
#include "eval/network/network_file.h"

namespace {

std::string path_of_file;

void WriteFile(const uint8_t* data, size_t size, int64_t length) {
  const int fd = open(path_of_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) std::abort();
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  if (length > static_cast<int64_t>(size) && ftruncate(fd, length) != 0) std::abort();
  close(fd);
}

// One line of printable ASCII: a message naming an architecture quotes up
// to 200 of its characters.
bool OneLine(const std::string& text) {
  if (text.empty() || text.size() >= 500) return false;
  for (char c : text) {
    if (c < 0x20 || c >= 0x7f) return false;
  }
  return true;
}

void PutWord(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char path[] = "/tmp/fvscope-fuzz-nn-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  close(fd);
  path_of_file = path;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fvscope;
  if (size > 8192) return 0;
  WriteFile(data, size, 0);
  Network network;
  std::string error;
  if (LoadNetwork(path_of_file.c_str(), &network, &error)) __builtin_trap();
  if (!OneLine(error)) __builtin_trap();
  // The text as the file's length names it, when there is one.
  if (size < 12) return 0;
  const uint32_t length = data[8] | data[9] << 8 | data[10] << 16 | uint32_t{data[11]} << 24;
  if (length > size - 12) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 12, length);
  NetworkShape shape;
  if (!ParseArchitecture(text, &shape, &error)) {
    if (!OneLine(error)) __builtin_trap();
    return 0;
  }
  // Grown files stay small and are read in place (an odd text length makes
  // the loader copy the weights, which the unit tests cover).
  if (shape.w > 256 || (12 + length + 4) % 2 != 0) return 0;
  // Grown: the head, zero weights, the hashes by their rules.
  std::vector<uint8_t> head(data, data + 12 + length);
  PutWord(&head[0], kNetworkVersion);
  PutWord(&head[4], TransformerHash(shape) ^ LayersHash(shape));
  uint8_t word[4];
  PutWord(word, TransformerHash(shape));
  head.insert(head.end(), word, word + 4);
  const int64_t total = NetworkFileBytes(shape, length);
  WriteFile(head.data(), head.size(), total);
  const int64_t layers_at = 12 + length + 4 + 2 * int64_t{shape.w} * (1 + kNetworkInputs);
  const int fd = open(path_of_file.c_str(), O_WRONLY);
  PutWord(word, LayersHash(shape));
  if (fd < 0 || pwrite(fd, word, 4, layers_at) != 4) std::abort();
  close(fd);
  if (!LoadNetwork(path_of_file.c_str(), &network, &error)) __builtin_trap();
  Position start = {};
  start.cells[SquareOf(5, 9)] = kKing;
  start.cells[SquareOf(5, 1)] = -kKing;
  start.cells[kBlackKingCell] = static_cast<int8_t>(SquareOf(5, 9));
  start.cells[kWhiteKingCell] = static_cast<int8_t>(SquareOf(5, 1));
  start.cells[SquareOf(7, 7)] = kPawn;
  NetworkBreakdown breakdown;
  if (!BreakDownNetwork(network, start, kBlack, &breakdown, &error)) __builtin_trap();
  // Zero weights and biases: every value is 0.
  if (breakdown.value != 0 || breakdown.z != 0) __builtin_trap();
  CloseNetwork(&network);
  return 0;
}
