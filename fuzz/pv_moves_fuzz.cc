// Fuzz target: the text of --pv. The first byte picks the position (the
// start or a middle game); the rest is cut at blanks and commas, and each
// word read as a USI or else a CSA move is checked and, when it passes,
// played. After every move played the board holds piece codes only, each
// king cell its side's king, no hand a count below 0, as many pieces of each
// kind as before (board and hands), no pawn, lance or knight where it can
// never move and no two unpromoted pawns of a side on a file. The reader of
// --pv must take the text whole exactly when every word was played, to the
// same position.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/position_input.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace {

constexpr const char* kMiddleGameSfen =
    "l6nl/1r1sgk3/p1n1ppspp/2pp2+P2/1p5PP/2PP2P2/PPS1PPN2/1KG1G2R1/LN6L b BGSb 45";

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == '\r'; }

std::vector<std::string_view> MoveWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    const size_t start = at;
    while (at < text.size() && !IsSeparator(text[at])) ++at;
    if (at > start) words.push_back(text.substr(start, at - start));
  }
  return words;
}

bool Consistent(const fvscope::Position& position) {
  int kings[2] = {0, 0};
  for (int s = 0; s < fvscope::kSquares; ++s) {
    const int code = position.cells[s];
    if (!fvscope::IsPieceCode(code)) return false;
    if (code == fvscope::kKing) ++kings[0];
    if (code == -fvscope::kKing) ++kings[1];
  }
  if (kings[0] != 1 || kings[1] != 1) return false;
  for (fvscope::Side side : fvscope::kSides) {
    const int king = position.cells[fvscope::KingCell(side)];
    const int own_king = side == fvscope::kBlack ? fvscope::kKing : -fvscope::kKing;
    if (!fvscope::IsSquare(king) || position.cells[king] != own_king) return false;
  }
  for (int c = fvscope::kBlackHandBase; c < fvscope::kFilledCells; ++c) {
    if (position.cells[c] < 0) return false;
  }
  for (int column = 0; column < fvscope::kFiles; ++column) {
    int pawns[2] = {0, 0};
    for (int row = 0; row < fvscope::kRanks; ++row) {
      const int code = position.cells[row * fvscope::kFiles + column];
      if (fvscope::KindOf(code) == fvscope::kPawn) ++pawns[code > 0 ? 0 : 1];
      // Rows still ahead of the piece, for its side.
      const int ahead = code > 0 ? row : fvscope::kRanks - 1 - row;
      const int kind = fvscope::KindOf(code);
      if ((kind == fvscope::kPawn || kind == fvscope::kLance) && ahead < 1) return false;
      if (kind == fvscope::kKnight && ahead < 2) return false;
    }
    if (pawns[0] > 1 || pawns[1] > 1) return false;
  }
  return true;
}

// Pieces of each hand kind on the board and in both hands, promoted ones
// counted with their kind.
std::vector<int> PieceCounts(const fvscope::Position& position) {
  std::vector<int> counts(fvscope::kHandKinds, 0);
  for (int s = 0; s < fvscope::kSquares; ++s) {
    const int hand_kind = fvscope::kCaptureHandKind[fvscope::KindOf(position.cells[s])];
    if (hand_kind >= 0) ++counts[hand_kind];
  }
  for (int k = 0; k < fvscope::kHandKinds; ++k) {
    counts[k] += position.cells[fvscope::HandSlot(fvscope::kBlack, k)] +
                 position.cells[fvscope::HandSlot(fvscope::kWhite, k)];
  }
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fvscope::GameRecord record;
  std::string error;
  if (!fvscope::ParseSfen(data[0] & 1 ? kMiddleGameSfen : fvscope::kStartSfen, &record, &error)) {
    __builtin_trap();
  }
  fvscope::Position position = record.start;
  fvscope::Side side = record.side_to_move;
  const std::vector<int> counts = PieceCounts(position);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<std::string_view> words = MoveWords(text);
  size_t played = 0;
  for (std::string_view word : words) {
    fvscope::Move move;
    fvscope::Notation names = fvscope::Notation::kUsi;
    if (!fvscope::ParseUsiMove(word, side, &move)) {
      names = fvscope::Notation::kCsa;
      if (!fvscope::ParseCsaMove(word, side, &move)) continue;
    }
    std::string why;
    const bool legal = fvscope::CheckMove(position, side, names, &move, &why);
    if (fvscope::UsiMoveText(move).size() > 5 || fvscope::CsaMoveText(move).size() != 7) {
      __builtin_trap();
    }
    if (!legal) {
      if (why.empty() || why.size() > 200) __builtin_trap();
      continue;
    }
    fvscope::PlayMove(&position, &move);
    if (!Consistent(position) || PieceCounts(position) != counts) __builtin_trap();
    side = fvscope::Opponent(side);
    ++played;
  }
  static fvscope::PvLine pv;
  const bool whole = played == words.size() && played <= fvscope::kMaxPvMoves;
  if (fvscope::ReadCommandLinePv(std::string(text), record.start, record.side_to_move, &pv,
                                 &error) != whole) {
    __builtin_trap();
  }
  if (whole) {
    fvscope::Position leaf = record.start;
    fvscope::PlayPvLine(&pv, &leaf);
    for (int c = 0; c < fvscope::kPositionCells; ++c) {
      if (leaf.cells[c] != position.cells[c]) __builtin_trap();
    }
  }
  fvscope::GameRecord again;
  if (!fvscope::ParseSfen(fvscope::PositionSfen(position, side), &again, &error)) __builtin_trap();
  return 0;
}
