#include "shogi/search_log_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shogi/line_reader.h"

namespace fvscope {

namespace {

constexpr const char* kPvMarker = "  8  ";
constexpr int kPvSearchStart = 8;
constexpr const char* kStopWords[] = {"pruning", "hashing"};

bool IsStopLine(const char* line) {
  for (const char* word : kStopWords) {
    if (std::strstr(line, word) != nullptr) return true;
  }
  return false;
}

// Reader state while one PV line and its continuations are walked.
struct PvScan {
  FILE* file;
  char line[kLineBufferSize];
  int length;
  char* pv_text;
  int pv_length;
};

// Position of the first occurrence of pattern in the line at or after start,
// or -1.
int FindFrom(const PvScan& scan, const char* pattern, int start) {
  const char* found = std::strstr(scan.line + start, pattern);
  return found == nullptr ? -1 : static_cast<int>(found - scan.line);
}

// Appends up to six characters of the line from position at, unless they
// would overflow the PV text.
void AppendMove(PvScan* scan, int at) {
  int count = scan->length - at;
  if (count > kMoveTextLength) count = kMoveTextLength;
  if (count <= 0) return;
  if (scan->pv_length + count > kPvTextCapacity - 1) return;
  std::memcpy(scan->pv_text + scan->pv_length, scan->line + at, count);
  scan->pv_length += count;
  scan->pv_text[scan->pv_length] = '\0';
}

// Takes moves 1..15 from the PV line in scan->line and the lines after it.
void ReadPvMoves(PvScan* scan, int* first_side) {
  int start = scan->length < kPvSearchStart ? scan->length : kPvSearchStart;
  for (int n = 1; n <= kPvMovesPerLine; ++n) {
    char pattern[8];
    std::snprintf(pattern, sizeof pattern, "%d.", n);
    int p = FindFrom(*scan, pattern, start);
    if (p < 0) {
      // At the end of the file the last line read stays the current line.
      char next[kLineBufferSize];
      const int length = ReadTextLine(scan->file, next);
      if (length >= 0) {
        std::memcpy(scan->line, next, length + 1);
        scan->length = length;
      }
      start = 0;
      p = FindFrom(*scan, pattern, start);
      if (p < 0) continue;
    }
    // The pattern ends within the line, so the sign is at most its terminator.
    const int sign_at = p + (n < 10 ? 2 : 3);
    if (n == 1) {
      if (scan->line[sign_at] == '+') *first_side = 0;
      if (scan->line[sign_at] == '-') *first_side = 1;
    }
    AppendMove(scan, sign_at + 1);
    start = p + 6 < scan->length ? p + 6 : scan->length;
  }
}

}  // namespace

bool ReadPvText(const char* path, char (&pv_text)[kPvTextCapacity], int* first_side) {
  pv_text[0] = '\0';
  *first_side = 0;
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  ReadPvTextFrom(file, pv_text, first_side);
  std::fclose(file);
  return true;
}

void ReadPvTextFrom(FILE* file, char (&pv_text)[kPvTextCapacity], int* first_side) {
  pv_text[0] = '\0';
  *first_side = 0;
  PvScan scan;
  scan.file = file;
  scan.pv_text = pv_text;
  scan.pv_length = 0;
  while ((scan.length = ReadTextLine(file, scan.line)) >= 0) {
    if (IsStopLine(scan.line)) break;
    if (std::strstr(scan.line, kPvMarker) == nullptr) continue;
    ReadPvMoves(&scan, first_side);
  }
}

void ReadPv(const char* path, PvLine* line, std::string* warning) {
  static_assert(kMaxPvMoves == (kPvTextCapacity - 1) / kMoveTextLength);
  warning->clear();
  line->first_side = kBlack;
  line->count = 0;
  char pv_text[kPvTextCapacity];
  int first_side = 0;
  if (!ReadPvText(path, pv_text, &first_side)) {
    *warning = std::string(path) + ": cannot open (" + std::strerror(errno) +
               "); no moves are played";
    return;
  }
  std::string error;
  if (!DecodePvLine(pv_text, first_side == 0 ? kBlack : kWhite, line, &error)) {
    *warning = std::string(path) + ": " + error;
  }
}

}  // namespace fvscope
