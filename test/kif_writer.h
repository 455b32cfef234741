// The tests' own writers of game records: random games of checked moves,
// and a GameRecord written as KIF (UTF-8) and as CSA, so that readers can be
// compared on the same game.
#ifndef FVSCOPE_TEST_KIF_WRITER_H_
#define FVSCOPE_TEST_KIF_WRITER_H_

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "shogi/kif_record.h"
#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {

// A game record from sfen and up to plies random moves that the move check
// accepts, in the form ParseCsaMove gives them. Captures, promotions and
// drops are preferred so that 同, 成, 不成 and 打 all turn up.
inline GameRecord RandomRecord(const std::string& sfen, int plies, uint32_t seed) {
  std::mt19937 random(seed);
  GameRecord record;
  std::string error;
  ParseSfen(sfen, &record, &error);
  Position position = record.start;
  Side side = record.side_to_move;
  std::vector<Move> moves, preferred;
  for (int n = 0; n < plies; ++n) {
    moves.clear();
    preferred.clear();
    for (int from = 0; from < kBlackHandBase + kHandKinds; ++from) {
      if (from < kSquares &&
          (position.cells[from] == 0 || (position.cells[from] > 0) != (side == kBlack)))
        continue;
      if (from >= kSquares && position.cells[HandSlot(side, from - kBlackHandBase)] <= 0) continue;
      for (int to = 0; to < kSquares; ++to) {
        for (bool promotes : {false, true}) {
          if (promotes && from >= kSquares) continue;
          Move move{side, (from << kMoveFromShift) | to, 0, promotes};
          if (!CheckMove(position, side, Notation::kUsi, &move, &error)) continue;
          moves.push_back(move);
          if (position.cells[to] != 0 || move.promotes || from >= kSquares)
            preferred.push_back(move);
        }
      }
    }
    if (moves.empty()) break;
    const std::vector<Move>& pool = !preferred.empty() && random() % 2 == 0 ? preferred : moves;
    Move move = pool[random() % pool.size()];
    Move parsed;
    ParseCsaMove(CsaMoveText(move), side, &parsed);
    record.moves.push_back(parsed);
    PlayMove(&position, &move);
    side = Opponent(side);
  }
  return record;
}

// A hand count in kanji as a KIF diagram writes it after the piece: none for
// one, 二..九, 十, 十一..十八.
inline std::string KifCount(int count) {
  if (count == 1) return "";
  if (count < 10) return kKifNumerals[count];
  return std::string("十") + kKifNumerals[count - 10];
}

// How a KIF is written.
struct KifStyle {
  int handicap = 0;          // index into kKifHandicaps; -1 writes a board diagram instead
  bool bare_drops = false;   // drops without 打 (no origin tells them apart)
  bool times = true;         // each move with the time it took
  const char* end = "投了";  // the end word, nullptr for none
};

// The start of record as a KIF board diagram with its hands and side to move.
inline std::string KifDiagram(const GameRecord& record) {
  const Position& p = record.start;
  std::string text;
  for (Side side : {kWhite, kBlack}) {
    if (side == kBlack) {
      text += "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
      for (int row = 0; row < kRanks; ++row) {
        text += "|";
        for (int column = 0; column < kFiles; ++column) {
          const int code = p.cells[row * kFiles + column];
          text +=
              code == 0 ? " ・" : std::string(code < 0 ? "v" : " ") + kKifBoardPieces[KindOf(code)];
        }
        text += std::string("|") + kKifNumerals[row + 1] + "\n";
      }
      text += "+---------------------------+\n";
    }
    text += side == kBlack ? "先手の持駒：" : "後手の持駒：";
    bool any = false;
    for (int hand_kind = kHandKinds - 1; hand_kind >= 0; --hand_kind) {
      const int count = p.cells[HandSlot(side, hand_kind)];
      if (count <= 0) continue;
      text += std::string(any ? "　" : "") + kKifMovePieces[hand_kind + 1] + KifCount(count);
      any = true;
    }
    text += any ? "\n" : "なし\n";
  }
  if (record.side_to_move == kWhite) text += "後手番\n";
  return text;
}

// record written as a KIF in UTF-8: its header, the moves replayed to name
// each piece before it moves, and style's end word.
inline std::string KifText(const GameRecord& record, const KifStyle& style) {
  std::string text = "# ---- fvscope test ----\n開始日時：2024/01/02 03:04:05\n";
  if (style.handicap < 0) {
    text += KifDiagram(record);
  } else {
    text += std::string("手合割：") + kKifHandicaps[style.handicap].name + "\n";
  }
  text += "先手：black player\n後手：white player\n手数----指手---------消費時間--\n";
  Position position = record.start;
  Side side = record.side_to_move;
  int last_to = -1;
  std::string error;
  char number[16];
  for (size_t n = 0; n < record.moves.size(); ++n) {
    Move move = record.moves[n];
    if (!CheckMove(position, side, Notation::kCsa, &move, &error)) return "unplayable: " + error;
    const int from = MoveFrom(move.code), to = MoveTo(move.code);
    std::snprintf(number, sizeof number, "%4d ", static_cast<int>(n + 1));
    std::string line = number;
    line += to == last_to ? std::string("同　")
                          : std::string(kKifFileDigits[FileOf(to)]) + kKifNumerals[RankOf(to)];
    if (MoveIsDrop(move.code)) {
      line += kKifMovePieces[move.kind];
      if (!style.bare_drops) line += "打";
    } else {
      const int before = KindOf(position.cells[from]);
      line += kKifMovePieces[before];
      const bool may_promote = PromoteCode(before) != before &&
                               (RanksAhead(side, from) <= 2 || RanksAhead(side, to) <= 2);
      if (move.promotes) {
        line += "成";
      } else if (may_promote) {
        line += "不成";
      }
      line += "(" + std::to_string(FileOf(from)) + std::to_string(RankOf(from)) + ")";
    }
    if (style.times) line += "   ( 0:01/00:00:" + std::to_string(10 + n % 50) + ")";
    text += line + "\n";
    PlayMove(&position, &move);
    side = Opponent(side);
    last_to = to;
  }
  if (style.end != nullptr) {
    std::snprintf(number, sizeof number, "%4d ", static_cast<int>(record.moves.size() + 1));
    text += std::string(number) + style.end + "\n";
    text += "まで" + std::to_string(record.moves.size()) + "手で終局\n";
  }
  return text;
}

// record written as CSA: its start as rows and hands, the side to move, the
// moves and end_line ("%TORYO"; nullptr for none).
inline std::string CsaText(const GameRecord& record, const char* end_line = "%TORYO") {
  std::string text = "V2.2\nN+black player\nN-white player\n";
  for (int row = 0; row < kRanks; ++row) {
    text += "P" + std::to_string(row + 1);
    for (int column = 0; column < kFiles; ++column) {
      const int code = record.start.cells[row * kFiles + column];
      text += code == 0 ? std::string(" * ")
                        : std::string(1, code > 0 ? '+' : '-') + kPieceNames[KindOf(code)];
    }
    text += "\n";
  }
  for (Side side : kSides) {
    text += std::string("P") + SideSign(side);
    for (int hand_kind = 0; hand_kind < kHandKinds; ++hand_kind) {
      for (int i = 0; i < record.start.cells[HandSlot(side, hand_kind)]; ++i) {
        text += std::string("00") + kPieceNames[hand_kind + 1];
      }
    }
    text += "\n";
  }
  text += std::string(1, SideSign(record.side_to_move)) + "\n";
  for (const Move& move : record.moves) text += CsaMoveText(move) + "\nT1\n";
  if (end_line != nullptr) text += std::string(end_line) + "\n";
  return text;
}

// text with every line feed made a carriage return and a line feed.
inline std::string WithCrlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

}  // namespace fvscope

#endif  // FVSCOPE_TEST_KIF_WRITER_H_
