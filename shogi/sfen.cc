#include "shogi/sfen.h"

#include <cstring>
#include <vector>

#include "shogi/notation.h"

namespace fvscope {

namespace {

// Kind of a USI piece letter in either case (promoted by a "+" before it),
// 0 for none.
int KindOfLetter(char letter) {
  const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
  constexpr char kLetters[] = "PLNSGBRK";
  const char* found = std::strchr(kLetters, upper);
  return upper != '\0' && found != nullptr ? static_cast<int>(found - kLetters) + 1 : 0;
}

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// The text split at runs of blanks (spaces, tabs, line ends).
std::vector<std::string_view> Words(std::string_view text) {
  return SplitWords(text, " \t\r\n");
}

bool ReadBoard(std::string_view board, Position* position, std::string* error) {
  int row = 0, column = 0;
  bool promoted = false;
  for (size_t i = 0; i < board.size(); ++i) {
    const char c = board[i];
    if (c == '/') {
      if (column != kFiles || promoted) {
        *error = "rank " + std::to_string(row + 1) + " of the board has " +
                 std::to_string(column) + " files, not 9";
        return false;
      }
      ++row;
      column = 0;
      if (row >= kRanks) {
        *error = "the board has more than 9 ranks";
        return false;
      }
    } else if (c >= '1' && c <= '9') {
      column += c - '0';
      if (column > kFiles || promoted) {
        *error = "rank " + std::to_string(row + 1) + " of the board has more than 9 files";
        return false;
      }
    } else if (c == '+') {
      if (promoted) {
        *error = "\"++\" in the board";
        return false;
      }
      promoted = true;
    } else {
      int kind = KindOfLetter(c);
      if (kind == 0 || column >= kFiles || (promoted && PromoteCode(kind) == kind)) {
        *error = std::string("\"") + (promoted ? "+" : "") + ShownByte(c) + "\" at rank " +
                 std::to_string(row + 1) + " is no piece that fits the board";
        return false;
      }
      if (promoted) kind = PromoteCode(kind);
      promoted = false;
      const Side side = IsLower(c) ? kWhite : kBlack;
      const int square = row * kFiles + column;
      if (kind == kKing) {
        if (position->cells[KingCell(side)] >= 0) {
          *error = std::string("two ") + SideName(side) + " kings on the board";
          return false;
        }
        position->cells[KingCell(side)] = static_cast<int8_t>(square);
      }
      position->cells[square] = static_cast<int8_t>(side == kBlack ? kind : -kind);
      ++column;
    }
  }
  if (promoted) {
    *error = "the board ends in \"+\" without a piece";
    return false;
  }
  if (row != kRanks - 1 || column != kFiles) {
    *error = "the board has " + std::to_string(row + 1) + " ranks, the last of " +
             std::to_string(column) + " files; expected 9 ranks of 9";
    return false;
  }
  return true;
}

bool ReadHands(std::string_view hands, Position* position, std::string* error) {
  if (hands == "-") return true;
  int count = 0;
  bool counted = false;
  for (char c : hands) {
    if (c >= '0' && c <= '9') {
      count = count * 10 + (c - '0');
      counted = true;
      if (count > INT8_MAX) {
        *error = "a hand count above 127";
        return false;
      }
      continue;
    }
    const int kind = KindOfLetter(c);
    if (kind == 0 || kind > kHandKinds || (counted && count == 0)) {
      *error = std::string("\"") + ShownByte(c) +
               "\" in the hands is no count of a piece that can be held";
      return false;
    }
    const Side side = IsLower(c) ? kWhite : kBlack;
    const int slot = HandSlot(side, kind - 1);
    if (position->cells[slot] + (counted ? count : 1) > INT8_MAX) {
      *error = "a hand count above 127";
      return false;
    }
    AddToHand(position, slot, counted ? count : 1);
    count = 0;
    counted = false;
  }
  if (counted || hands.empty()) {
    *error = "the hands end in a count without a piece";
    return false;
  }
  return true;
}

}  // namespace

bool ParseSfen(std::string_view sfen, GameRecord* record, std::string* error) {
  const std::vector<std::string_view> words = Words(sfen);
  if (words.size() < 3 || words.size() > 4) {
    *error = "an SFEN has a board, a side to move, hands and a move number, not " + QuotedInput(sfen);
    return false;
  }
  Position& p = record->start;
  ClearPosition(&p);
  record->moves.clear();
  std::string what;
  if (!ReadBoard(words[0], &p, &what) || !ReadHands(words[2], &p, &what)) {
    *error = "SFEN " + QuotedInput(sfen) + ": " + what;
    return false;
  }
  if (words[1] != "b" && words[1] != "w") {
    *error = "SFEN " + QuotedInput(sfen) + ": the side to move is \"b\" or \"w\", not " +
             QuotedInput(words[1]);
    return false;
  }
  record->side_to_move = words[1] == "b" ? kBlack : kWhite;
  record->move_number = 1;
  if (words.size() == 4) {
    int number = 0;
    for (char c : words[3]) {
      if (c < '0' || c > '9' || number > 100000000) {
        *error = "SFEN " + QuotedInput(sfen) + ": the move number is " + QuotedInput(words[3]);
        return false;
      }
      number = number * 10 + (c - '0');
    }
    record->move_number = number;
  }
  return true;
}

bool ParseUsiPosition(std::string_view text, GameRecord* record, std::string* error) {
  std::vector<std::string_view> words = Words(text);
  size_t at = 0;
  if (at < words.size() && words[at] == "position") ++at;
  size_t moves_at = at;
  while (moves_at < words.size() && words[moves_at] != "moves") ++moves_at;
  if (at < words.size() && words[at] == "startpos" && moves_at == at + 1) {
    ParseSfen(kStartSfen, record, error);
  } else if (at < words.size() && words[at] == "sfen" && moves_at > at + 1) {
    std::string sfen;
    for (size_t i = at + 1; i < moves_at; ++i) sfen += std::string(words[i]) + " ";
    if (!ParseSfen(sfen, record, error)) return false;
  } else {
    *error = "expected \"startpos\" or \"sfen ...\", then optionally \"moves ...\", not " +
             QuotedInput(text);
    return false;
  }
  Side side = record->side_to_move;
  for (size_t i = moves_at + 1; i < words.size(); ++i) {
    Move move;
    if (!ParseUsiMove(words[i], side, &move)) {
      *error = "move " + std::to_string(i - moves_at) + " " + QuotedInput(words[i]) +
               " is no USI move (7g7f, P*5e, 8h2b+)";
      return false;
    }
    record->moves.push_back(move);
    side = Opponent(side);
  }
  return true;
}

bool LooksLikeUsiPosition(std::string_view text) {
  const std::vector<std::string_view> words = Words(text.substr(0, 64));
  return !words.empty() &&
         (words[0] == "startpos" || words[0] == "sfen" || words[0] == "position");
}

}  // namespace fvscope
