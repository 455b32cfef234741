#include "shogi/board_text.h"

namespace fvscope {

namespace {

// Hand kinds in the order their pieces are printed: rook first, pawn last.
constexpr int kPrintedHandOrder[kHandKinds] = {6, 5, 4, 3, 2, 1, 0};

void PrintHand(const Position& position, int base, const char* label, FILE* out) {
  std::fputs(label, out);
  for (int hand_kind : kPrintedHandOrder) {
    for (int i = 0; i < position.cells[base + hand_kind]; ++i) {
      std::fprintf(out, "00%s", kPieceNames[hand_kind + 1]);
    }
  }
  std::fputc('\n', out);
}

}  // namespace

void PrintPosition(const Position& position, FILE* out) {
  std::fputs("   9  8  7  6  5  4  3  2  1\n", out);
  for (int row = 0; row < kRanks; ++row) {
    std::fprintf(out, "P%d", row + 1);
    for (int column = 0; column < kFiles; ++column) {
      const int code = position.cells[row * kFiles + column];
      if (code == 0) {
        std::fputs(" * ", out);
      } else if (!IsPieceCode(code)) {
        std::fputs(code > 0 ? "+ ?" : "- ?", out);
      } else {
        std::fprintf(out, "%c%s", code > 0 ? '+' : '-', kPieceNames[KindOf(code)]);
      }
    }
    std::fputc('\n', out);
  }
  PrintHand(position, kBlackHandBase, "P+", out);
  PrintHand(position, kWhiteHandBase, "P-", out);
}

}  // namespace fvscope
