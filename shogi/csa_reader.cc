#include "shogi/csa_reader.h"

#include <cstdio>
#include <cstring>

#include "shogi/line_reader.h"

namespace fvscope {

namespace {

constexpr int kSkippedLines = 3;
constexpr int kRowCellStart = 2;   // sign of cell c at 2 + 3c
constexpr int kRowCellWidth = 3;
constexpr int kHandCellStart = 2;  // cell i at 2 + 4i, name at 4 + 4i
constexpr int kHandCellWidth = 4;

void ReadRow(const char* line, int length, int row, Position* position) {
  for (int c = 0; c < kFiles; ++c) {
    const int at = kRowCellStart + kRowCellWidth * c;
    if (at + 2 >= length) return;  // the rest of the row is missing
    const char sign = line[at];
    if (sign == ' ') continue;
    const int side_factor = sign == '+' ? 1 : sign == '-' ? -1 : 0;
    const int square = row * kFiles + c;
    const int kind = KindOfCsaName(line + at + 1);
    if (kind != 0) {
      position->cells[square] = static_cast<int8_t>(kind * side_factor);
    }
    if (line[at + 1] == 'O') {
      if (side_factor == 1) position->cells[kBlackKingCell] = static_cast<int8_t>(square);
      if (side_factor == -1) position->cells[kWhiteKingCell] = static_cast<int8_t>(square);
    }
  }
}

// Adds the pieces of one hand line; returns false when it is no hand line.
bool ReadHandLine(const char* line, int length, Position* position) {
  if (length < 2) return false;
  int base;
  if (line[1] == '+') {
    base = kBlackHandBase;
  } else if (line[1] == '-') {
    base = kWhiteHandBase;
  } else {
    return false;
  }
  for (int at = kHandCellStart; at < length - 1; at += kHandCellWidth) {
    const int name = at + 2;
    if (name + 1 >= length) break;
    const int kind = KindOfCsaName(line + name);
    if (kind >= 1 && kind <= kHandKinds) AddToHand(position, base + kind - 1, 1);
  }
  return true;
}

}  // namespace

bool ReadCsaPosition(const char* path, Position* position) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  ReadCsaPositionFrom(file, position);
  std::fclose(file);
  return true;
}

void ReadCsaPositionFrom(FILE* file, Position* position) {
  char line[kLineBufferSize];
  for (int i = 0; i < kSkippedLines; ++i) ReadTextLine(file, line);
  std::memset(position->cells, 0, kFilledCells);
  for (int row = 0; row < kRanks; ++row) {
    const int length = ReadTextLine(file, line);
    if (length < 0) break;
    ReadRow(line, length, row, position);
  }
  for (;;) {
    const int length = ReadTextLine(file, line);
    if (length < 0 || !ReadHandLine(line, length, position)) break;
  }
}

}  // namespace fvscope
