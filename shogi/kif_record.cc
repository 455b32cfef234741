#include "shogi/kif_record.h"

#include <algorithm>
#include <cstring>

#include "shogi/move_check.h"
#include "shogi/sfen.h"
#include "shogi/text_encoding.h"

namespace fvscope {

namespace {

constexpr std::string_view kWideSpace = "　";
constexpr std::string_view kWideColon = "：";
constexpr std::string_view kSame = "同";
constexpr int kMaxMoveNumberDigits = 9;

const char kExpectHeader[] =
    "expected a header (a key, a colon and its value), a board diagram or move 1";

// Other names of pieces that records use besides those of the tables.
struct PieceName {
  std::string_view text;
  int kind;
};
constexpr PieceName kOtherPieceNames[] = {
    {"王", kKing}, {"竜", kDragon}, {"杏", kProLance}, {"圭", kProKnight}, {"全", kProSilver},
};

// The end words, and how each ends a game.
struct EndWord {
  std::string_view text;
  GameEnding ending;
};
constexpr EndWord kEndWords[] = {
    {"投了", GameEnding::kMoverLoses},     {"詰み", GameEnding::kMoverLoses},
    {"切れ負け", GameEnding::kMoverLoses}, {"反則負け", GameEnding::kMoverLoses},
    {"反則勝ち", GameEnding::kMoverWins},  {"入玉勝ち", GameEnding::kMoverWins},
    {"千日手", GameEnding::kDraw},         {"持将棋", GameEnding::kDraw},
    {"中断", GameEnding::kUnknown},
};

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Cuts prefix off *text when text begins with it.
bool Eat(std::string_view* text, std::string_view prefix) {
  if (text->substr(0, prefix.size()) != prefix) return false;
  text->remove_prefix(prefix.size());
  return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// text without leading blanks (spaces, tabs, full-width spaces).
std::string_view TrimFront(std::string_view text);

// True for what may follow a move or an end word: nothing, or the time it
// took "( 0:01/00:00:01)", with a "+" after it when the record has branches.
bool IsTimePart(std::string_view text) {
  text = TrimFront(text);
  if (!text.empty() && text.back() == '+') text.remove_suffix(1);
  if (text.empty()) return true;
  if (text.size() < 3 || text.front() != '(' || text.back() != ')') return false;
  text = text.substr(1, text.size() - 2);
  return text.find(':') != std::string_view::npos &&
         text.find_first_not_of("0123456789:/ ") == std::string_view::npos;
}

// text without leading blanks (spaces, tabs, full-width spaces).
std::string_view TrimFront(std::string_view text) {
  while (true) {
    if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
      text.remove_prefix(1);
    } else if (!Eat(&text, kWideSpace)) {
      return text;
    }
  }
}

// text without blanks at either end.
std::string_view Trim(std::string_view text) {
  text = TrimFront(text);
  while (true) {
    if (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
      text.remove_suffix(1);
    } else if (text.size() >= kWideSpace.size() &&
               text.substr(text.size() - kWideSpace.size()) == kWideSpace) {
      text.remove_suffix(kWideSpace.size());
    } else {
      return text;
    }
  }
}

// Index 1..9 of the entry of table that *text begins with, cut off; 0 for none.
int EatDigit(std::string_view* text, const char* const (&table)[10]) {
  for (int n = 1; n <= 9; ++n) {
    if (Eat(text, table[n])) return n;
  }
  return 0;
}

// Kind named at the start of *text by names (indexed by kind) or another
// name, cut off; 0 for none.
int EatPieceName(std::string_view* text, const char* const (&names)[kPieceKinds + 1]) {
  for (int kind = 1; kind <= kPieceKinds; ++kind) {
    if (Eat(text, names[kind])) return kind;
  }
  for (const PieceName& name : kOtherPieceNames) {
    if (Eat(text, name.text)) return name.kind;
  }
  return 0;
}

// Splits "key：value" (full-width or ASCII colon, whichever comes first);
// false when the line has no colon.
bool SplitHeader(std::string_view line, std::string_view* key, std::string_view* value) {
  const size_t wide = line.find(kWideColon);
  const size_t ascii = line.find(':');
  const size_t at = wide < ascii ? wide : ascii;
  if (at == std::string_view::npos) return false;
  *key = Trim(line.substr(0, at));
  *value = Trim(line.substr(at + (at == wide ? kWideColon.size() : 1)));
  return true;
}

// What has been read of the record so far.
struct KifState {
  Position diagram;           // the board diagram as far as it goes
  bool diagram_seen = false;  // a row or a hand of a diagram
  int rows_read = 0;
  Side diagram_side = kBlack;     // from "後手番"
  int handicap = 0;               // index into kKifHandicaps
  int unknown_handicap_line = 0;  // line of a "手合割" the table lacks, 0 for none
  std::string unknown_handicap;   // that line
  int counted_moves = -1;         // from "手数＝N", -1 when absent
  bool moves_started = false;     // the start is set up; moves follow
  int next_number = 1;            // number the next move line must carry
  Position position;              // as the moves so far leave it
  Side to_move = kBlack;
  int last_to = -1;   // destination of the last move, -1 before the first
  bool done = false;  // an end word or a branch ended the main line
};

// Reads a board row "|v香v桂 ・...|一" of the diagram; nullptr or what was expected.
const char* ReadDiagramRow(std::string_view line, KifState* state) {
  const char* expected =
      "expected a board row of 9 cells, each empty or a piece with a blank or a v before it";
  const int row = state->rows_read;
  if (row >= kRanks) return "expected 9 board rows, not a tenth";
  line.remove_prefix(1);
  for (int column = 0; column < kFiles; ++column) {
    if (line.empty() || (line[0] != ' ' && line[0] != 'v')) return expected;
    const bool white = line[0] == 'v';
    line.remove_prefix(1);
    if (Eat(&line, "・")) {
      if (white) return expected;
      continue;
    }
    const int kind = EatPieceName(&line, kKifBoardPieces);
    if (kind == 0) return expected;
    const int square = row * kFiles + column;
    if (kind == kKing) {
      const int cell = KingCell(white ? kWhite : kBlack);
      if (state->diagram.cells[cell] >= 0) return "expected one king of a side at most";
      state->diagram.cells[cell] = static_cast<int8_t>(square);
    }
    state->diagram.cells[square] = static_cast<int8_t>(white ? -kind : kind);
  }
  if (!Eat(&line, "|")) return expected;
  line = Trim(line);
  if (!line.empty() && line != kKifNumerals[row + 1]) {
    return "expected the rows in order, each labelled with its rank";
  }
  ++state->rows_read;
  return nullptr;
}

// Reads the pieces of a hand "飛　角　金二　歩十八" or "なし" for side.
const char* ReadDiagramHand(std::string_view text, Side side, KifState* state) {
  const char* expected =
      "expected the pieces in hand, each with its count in kanji, or the word for none";
  text = Trim(text);
  if (text == "なし") return nullptr;
  while (!text.empty()) {
    std::string_view rest = text;
    const int kind = EatPieceName(&rest, kKifMovePieces);
    if (kind < kPawn || kind > kRook) return expected;
    int count = 1;
    if (Eat(&rest, "十")) {
      count = 10 + EatDigit(&rest, kKifNumerals);
    } else if (const int digit = EatDigit(&rest, kKifNumerals)) {
      count = digit;
    }
    const int slot = HandSlot(side, kind - 1);
    if (state->diagram.cells[slot] + count > INT8_MAX) {
      return "expected at most 127 pieces of a kind in a hand";
    }
    AddToHand(&state->diagram, slot, count);
    const std::string_view after = TrimFront(rest);
    if (after.size() == rest.size() && !rest.empty()) return expected;
    text = after;
  }
  return nullptr;
}

// "line N: expected ..., not \"...\"" for line, or for the end of the record when at_end.
std::string LineError(int line_number, std::string_view expected, std::string_view line,
                      bool at_end = false) {
  return "line " + std::to_string(line_number) + ": " + std::string(expected) + ", not " +
         (at_end ? std::string("the end of the record") : QuotedUtf8Line(line));
}

// Sets up the start from the diagram or the handicap when line_number, line
// (or the end) comes; false with *error when they do not give one.
bool StartPosition(int line_number, std::string_view line, bool at_end, KifState* state,
                   GameRecord* record, std::string* error) {
  if (state->diagram_seen) {
    if (state->rows_read != kRanks) {
      *error = LineError(line_number, "expected the 9 rows of the board diagram", line, at_end);
      return false;
    }
    record->start = state->diagram;
    record->side_to_move = state->diagram_side;
  } else {
    if (state->unknown_handicap_line != 0) {
      *error = LineError(state->unknown_handicap_line,
                         "expected the even game, one of the 15 handicaps or a board diagram",
                         state->unknown_handicap);
      return false;
    }
    std::string unused;
    ParseSfen(kKifHandicaps[state->handicap].sfen, record, &unused);
  }
  state->position = record->start;
  state->to_move = record->side_to_move;
  state->moves_started = true;
  return true;
}

// Reads a header, diagram or comment line before the moves; false with
// *expected when it is none of them.
bool ReadHeaderLine(std::string_view line, std::string_view shown, int line_number, KifState* state,
                    GameRecord* record, std::string* expected) {
  const char* what = nullptr;
  std::string_view key, value;
  if (line[0] == '|') {
    state->diagram_seen = true;
    what = ReadDiagramRow(line, state);
  } else if (state->rows_read > 0 && state->rows_read < kRanks) {
    what = "expected the 9 rows of the board diagram";
  } else if (StartsWith(line, "+-") || StartsWith(line, kKifFileDigits[9])) {
    // the frame of the diagram and its file digits
  } else if (line == "先手番" || line == "下手番" || line == "後手番" || line == "上手番") {
    state->diagram_side = line == "後手番" || line == "上手番" ? kWhite : kBlack;
  } else if (StartsWith(line, "手数＝")) {
    std::string_view digits = line.substr(std::strlen("手数＝"));
    int count = 0, length = 0;
    while (length < kMaxMoveNumberDigits && !digits.empty() && IsAsciiDigit(digits[0])) {
      count = count * 10 + (digits[0] - '0');
      digits.remove_prefix(1);
      ++length;
    }
    if (length == 0) what = "expected the number of moves played before the diagram";
    state->counted_moves = count;
  } else if (SplitHeader(line, &key, &value)) {
    const bool black_hand = key == "先手の持駒" || key == "下手の持駒";
    if (black_hand || key == "後手の持駒" || key == "上手の持駒") {
      state->diagram_seen = true;
      what = ReadDiagramHand(value, black_hand ? kBlack : kWhite, state);
    } else if (key == "手合割") {
      state->unknown_handicap_line = line_number;
      state->unknown_handicap = shown;
      for (int h = 0; h < static_cast<int>(std::size(kKifHandicaps)); ++h) {
        if (value == kKifHandicaps[h].name) {
          state->handicap = h;
          state->unknown_handicap_line = 0;
        }
      }
    } else if (key == "先手" || key == "下手") {
      record->black_name = value;
    } else if (key == "後手" || key == "上手") {
      record->white_name = value;
    }
  } else {
    what = kExpectHeader;
  }
  if (what != nullptr) *expected = what;
  return what == nullptr;
}

// Reads the move of a numbered line, body being what follows the number;
// false with *expected saying what was expected.
bool ReadMove(std::string_view body, KifState* state, GameRecord* record, std::string* expected) {
  int to;
  if (Eat(&body, kSame)) {
    if (state->last_to < 0) {
      *expected = "expected a destination square; the same-square mark needs a move before it";
      return false;
    }
    to = state->last_to;
    body = TrimFront(body);
  } else {
    int file = EatDigit(&body, kKifFileDigits);
    if (file == 0 && !body.empty() && IsSquareDigit(body[0])) {
      file = body[0] - '0';
      body.remove_prefix(1);
    }
    if (file == 0) {
      *expected = "expected a destination file (a full-width digit) or the same-square mark";
      return false;
    }
    const int rank = EatDigit(&body, kKifNumerals);
    if (rank == 0) {
      *expected = "expected the destination rank (a kanji numeral) after the file";
      return false;
    }
    to = SquareOf(file, rank);
  }
  const int named = EatPieceName(&body, kKifMovePieces);
  if (named == 0) {
    *expected = "expected the name of a piece after the destination";
    return false;
  }
  const bool promotes = !Eat(&body, "不成") && Eat(&body, "成");
  const bool drop = !promotes && Eat(&body, "打");
  int from = -1;
  if (body.size() >= 4 && body[0] == '(' && IsSquareDigit(body[1]) && IsSquareDigit(body[2]) &&
      body[3] == ')') {
    from = SquareOf(body[1] - '0', body[2] - '0');
    body.remove_prefix(4);
  }
  if (!IsTimePart(body)) {
    *expected = "expected the origin (77) and an optional time ( 0:01/00:00:01) after the piece";
    return false;
  }
  const Side side = state->to_move;
  const Position& position = state->position;
  const bool held =
      named >= kPawn && named <= kRook && position.cells[HandSlot(side, named - 1)] > 0;
  if (drop && from >= 0) {
    *expected = "expected no origin after the drop mark";
    return false;
  }
  if (promotes && from < 0) {
    *expected = "expected the origin (77) of a move that promotes";
    return false;
  }
  if (from < 0 && !drop && !held) {
    *expected = std::string("expected the origin (77) of a board move: ") + SideName(side) +
                " holds no " + kPieceWords[named];
    return false;
  }
  char text[kMoveTextLength + 1] = "00";
  if (from >= 0) {
    const int code = position.cells[from];
    if (code == 0 || (code > 0) != (side == kBlack) || KindOf(code) != named) {
      const std::string there = code == 0
                                    ? std::string("nothing")
                                    : std::string("a ") + SideName(code > 0 ? kBlack : kWhite) +
                                          " " + kPieceWords[KindOf(code)];
      *expected = std::string("expected a ") + SideName(side) + " " + kPieceWords[named] +
                  " on the origin " + std::to_string(FileOf(from)) + std::to_string(RankOf(from)) +
                  ", where " + there + " stands";
      return false;
    }
    if (promotes && PromoteCode(named) == named) {
      *expected =
          std::string("expected the promotion mark only after a piece that promotes, not a ") +
          kPieceWords[named];
      return false;
    }
    text[0] = static_cast<char>('0' + FileOf(from));
    text[1] = static_cast<char>('0' + RankOf(from));
  } else if (named > kRook) {
    *expected =
        std::string("expected a drop of a piece that can be held, not of a ") + kPieceWords[named];
    return false;
  }
  const int kind = promotes ? PromoteCode(named) : named;
  text[2] = static_cast<char>('0' + FileOf(to));
  text[3] = static_cast<char>('0' + RankOf(to));
  text[4] = kPieceNames[kind][0];
  text[5] = kPieceNames[kind][1];
  Move move;
  ParseCsaMove(std::string_view(text, kMoveTextLength), side, &move);
  Move played = move;
  std::string why;
  if (!CheckMove(position, side, Notation::kCsa, &played, &why)) {
    *expected = "expected a move " + std::string(SideName(side)) + " can play (" + why + ")";
    return false;
  }
  PlayMove(&state->position, &played);
  record->moves.push_back(move);
  state->to_move = Opponent(side);
  state->last_to = to;
  return true;
}

// Reads the end word that body begins with; false when body is none.
bool ReadEndWord(std::string_view body, KifState* state, GameRecord* record) {
  const size_t end = std::min(body.find_first_of(" \t("), body.find(kWideSpace));
  const std::string_view word = body.substr(0, end);
  if (word.empty() || (end != std::string_view::npos && !IsTimePart(body.substr(end)))) {
    return false;
  }
  for (char c : word) {
    if (static_cast<unsigned char>(c) < 0x80) return false;
  }
  GameEnding ending = GameEnding::kUnknown;
  for (const EndWord& known : kEndWords) {
    if (word == known.text) ending = known.ending;
  }
  record->result = ResultOfEnding(ending, state->to_move);
  state->done = true;
  return true;
}

// Reads a numbered line "  12 ７六歩(77)" or "  87 投了"; false with
// *expected saying what was expected.
bool ReadNumberedLine(std::string_view line, KifState* state, GameRecord* record,
                      std::string* expected) {
  long number = 0;
  int digits = 0;
  while (!line.empty() && IsAsciiDigit(line[0]) && digits <= kMaxMoveNumberDigits) {
    number = number * 10 + (line[0] - '0');
    line.remove_prefix(1);
    ++digits;
  }
  const std::string_view body = TrimFront(line);
  const std::string next = std::to_string(state->next_number);
  if (digits > kMaxMoveNumberDigits || body.size() == line.size()) {
    *expected = "expected move " + next + " (a number, a blank and the move)";
    return false;
  }
  const bool first_after_diagram =
      record->moves.empty() && state->counted_moves >= 0 && number == state->counted_moves + 1;
  if (number != state->next_number && !first_after_diagram) {
    *expected = "expected move " + next + " after move " + std::to_string(state->next_number - 1);
    if (state->next_number == 1) *expected = "expected move 1";
    return false;
  }
  if (first_after_diagram) record->move_number = static_cast<int32_t>(number);
  state->next_number = static_cast<int>(number) + 1;
  std::string_view probe = body;
  if (StartsWith(body, kSame) || IsSquareDigit(body[0]) || EatDigit(&probe, kKifFileDigits) != 0) {
    return ReadMove(body, state, record, expected);
  }
  if (ReadEndWord(body, state, record)) return true;
  *expected = "expected move " + next + " (a square, a piece and its origin) or an end word";
  return false;
}

}  // namespace

bool ReadKifRecord(std::string_view bytes, GameRecord* record, std::string* error) {
  std::string text;
  TextEncoding encoding;
  if (!DecodeRecordText(bytes, &text, &encoding, error)) return false;
  ClearGameRecord(record);
  KifState state;
  state.diagram = record->start;
  std::string expected;
  int line_number = 0;
  const std::string_view all = text;
  size_t at = 0;
  while (at < all.size() && !state.done) {
    size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view raw = all.substr(at, end - at);
    at = end + 1;
    ++line_number;
    std::string_view shown = raw;  // the line as messages quote it
    if (!shown.empty() && shown.back() == '\r') shown.remove_suffix(1);
    const std::string_view line = Trim(shown);
    if (line.empty() || line[0] == '*' || line[0] == '&' || line[0] == '#' ||
        StartsWith(line, "まで")) {
      continue;
    }
    if (StartsWith(line, "変化：") || StartsWith(line, "変化:")) break;
    const bool numbered = IsAsciiDigit(line[0]);
    if (!state.moves_started) {
      if (!numbered && !StartsWith(line, "手数--")) {
        if (!ReadHeaderLine(line, shown, line_number, &state, record, &expected)) {
          *error = LineError(line_number, expected, shown);
          return false;
        }
        continue;
      }
      if (!StartPosition(line_number, shown, false, &state, record, error)) return false;
      if (!numbered) continue;  // the titles of the move columns
    }
    if (!numbered) {
      expected = "expected move " + std::to_string(state.next_number) + " or an end word";
    }
    if (!numbered || !ReadNumberedLine(line, &state, record, &expected)) {
      *error = LineError(line_number, expected, shown);
      return false;
    }
  }
  if (!state.moves_started) {
    return StartPosition(line_number + 1, "", true, &state, record, error);
  }
  return true;
}

bool LooksLikeKif(std::string_view bytes) {
  std::string text;
  TextEncoding encoding;
  std::string error;
  if (!DecodeRecordText(bytes, &text, &encoding, &error)) return false;
  const std::string_view all = text;
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line[0] == '\'' || line[0] == '$' || line[0] == 'N') continue;
    if (StartsWith(line, "#KIF") || line.find(kWideColon) != std::string_view::npos) return true;
    line = TrimFront(line);
    while (!line.empty() && IsAsciiDigit(line[0])) line.remove_prefix(1);
    line = TrimFront(line);
    if (EatDigit(&line, kKifFileDigits) != 0 || StartsWith(line, kSame)) return true;
  }
  return false;
}

}  // namespace fvscope
