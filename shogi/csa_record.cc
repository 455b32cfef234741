#include "shogi/csa_record.h"

#include <cstring>
#include <utility>

#include "shogi/notation.h"
#include "shogi/sfen.h"
#include "shogi/text_encoding.h"

namespace fvscope {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

const char kExpectPosition[] = "expected the position (PI, P1..P9 or P+/P-)";
const char kExpectSide[] = "expected P+/P- or the side to move (+ or -)";
const char kExpectMove[] = "expected a move (+7776FU), a time (T12) or the end (%...)";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }


// What has been read of one game so far.
struct ReadState {
  int rows_read = 0;           // board rows P1.. read, in order
  bool position_seen = false;  // PI, a row or a P+/P- line
  bool side_read = false;      // the "+" or "-" line
  bool done = false;           // a "%" or "/" line ended the game
  bool separated = false;      // that line was "/"
  bool anything = false;       // a statement other than a comment was read
};

// The "%" lines that end a game with a known result.
struct EndLine {
  const char* text;
  GameEnding ending;
};
constexpr EndLine kEndLines[] = {
    {"%TORYO", GameEnding::kMoverLoses},       {"%TIME_UP", GameEnding::kMoverLoses},
    {"%ILLEGAL_MOVE", GameEnding::kMoverLoses}, {"%TSUMI", GameEnding::kMoverLoses},
    {"%KACHI", GameEnding::kMoverWins},        {"%+ILLEGAL_ACTION", GameEnding::kBlackLoses},
    {"%-ILLEGAL_ACTION", GameEnding::kWhiteLoses}, {"%SENNICHITE", GameEnding::kDraw},
    {"%JISHOGI", GameEnding::kDraw},           {"%HIKIWAKE", GameEnding::kDraw},
};

// The result that the end line text gives after the moves of record.
GameResult ResultOf(std::string_view text, const GameRecord& record) {
  const Side mover = record.moves.size() % 2 == 0 ? record.side_to_move
                                                  : Opponent(record.side_to_move);
  for (const EndLine& end : kEndLines) {
    if (text == end.text) return ResultOfEnding(end.ending, mover);
  }
  return GameResult::kUnknown;
}

// A player's name of an "N+" or "N-" line as UTF-8, its encoding guessed;
// bytes that are neither UTF-8 nor code page 932 are shown as '?'.
std::string NameOf(std::string_view text) {
  std::string name, unused;
  TextEncoding encoding;
  if (DecodeRecordText(text, &name, &encoding, &unused)) return name;
  name.clear();
  for (char c : text) name += ShownByte(c);
  return name;
}

// What the reader expects next when the game ends here.
std::string ExpectedAtEnd(const ReadState& state) {
  if (state.rows_read > 0 && state.rows_read < kRanks) {
    return "expected row P" + std::to_string(state.rows_read + 1);
  }
  if (!state.position_seen) return kExpectPosition;
  return kExpectSide;
}

// Puts code on an empty square, recording a king; nullptr or what was expected.
const char* PutPiece(Position* position, int square, int code) {
  if (position->cells[square] != 0) return "expected each square to be given one piece at most";
  if (KindOf(code) == kKing) {
    const int cell = KingCell(code > 0 ? kBlack : kWhite);
    if (position->cells[cell] >= 0) return "expected one king of a side at most";
    position->cells[cell] = static_cast<int8_t>(square);
  }
  position->cells[square] = static_cast<int8_t>(code);
  return nullptr;
}

// Reads row "Pn" (n = row + 1, checked by the caller) of nine three-character
// cells; trailing blanks have been cut, so a last empty cell may be " *".
const char* ReadRow(std::string_view text, int row, Position* position) {
  const char* expected = "expected a row of 9 cells, each \" * \" or a sign and a piece name";
  size_t at = 2;
  for (int column = 0; column < kFiles; ++column, at += 3) {
    if (at + 3 > text.size()) {
      const bool last_blank =
          column == kFiles - 1 && at + 2 == text.size() && text[at] == ' ' && text[at + 1] == '*';
      if (!last_blank) return expected;
      at = text.size();
      break;
    }
    const char* cell = text.data() + at;
    if (cell[0] == ' ' && cell[1] == '*' && cell[2] == ' ') continue;
    const int kind = KindOfCsaName(cell + 1);
    if ((cell[0] != '+' && cell[0] != '-') || kind == 0) return expected;
    const int code = cell[0] == '+' ? kind : -kind;
    if (const char* what = PutPiece(position, row * kFiles + column, code)) return what;
  }
  return at == text.size() ? nullptr : expected;
}

// Sets up the starting position, then takes off the pieces of "PI" cells
// such as "82HI": each must name the kind that stands on its square.
const char* ReadPi(std::string_view text, Position* position) {
  GameRecord start;
  std::string error;
  ParseSfen(kStartSfen, &start, &error);
  *position = start.start;
  if ((text.size() - 2) % 4 != 0) return "expected PI and cells such as 82HI";
  for (size_t at = 2; at < text.size(); at += 4) {
    const char* cell = text.data() + at;
    if (!IsSquareDigit(cell[0]) || !IsSquareDigit(cell[1])) {
      return "expected PI cells of a square 11..99 and a piece name";
    }
    const int square = SquareOf(cell[0] - '0', cell[1] - '0');
    const int kind = KindOfCsaName(cell + 2);
    if (kind == 0 || KindOf(position->cells[square]) != kind) {
      return "expected PI cells naming the piece that stands on the square";
    }
    if (kind == kKing) position->cells[KingCell(position->cells[square] > 0 ? kBlack : kWhite)] = -1;
    position->cells[square] = 0;
  }
  return nullptr;
}

// Gives side every piece of the full set not yet on the board or in a hand.
void GiveRemainingPieces(Position* position, Side side) {
  int used[kHandKinds] = {};
  for (int square = 0; square < kSquares; ++square) {
    const int kind = KindOf(position->cells[square]);
    if (kind >= 1 && kind <= kPieceKinds && kCaptureHandKind[kind] >= 0) {
      ++used[kCaptureHandKind[kind]];
    }
  }
  for (int hand_kind = 0; hand_kind < kHandKinds; ++hand_kind) {
    used[hand_kind] += position->cells[HandSlot(kBlack, hand_kind)];
    used[hand_kind] += position->cells[HandSlot(kWhite, hand_kind)];
    const int rest = kPiecesInSet[hand_kind] - used[hand_kind];
    if (rest > 0) AddToHand(position, HandSlot(side, hand_kind), rest);
  }
}

// Reads a "P+" or "P-" line of four-character cells: a square and a piece
// name, "00" and a kind for the hand, or "00AL".
const char* ReadPlacement(std::string_view text, Position* position) {
  const Side side = text[1] == '+' ? kBlack : kWhite;
  if ((text.size() - 2) % 4 != 0) return "expected cells such as 99KY, 00KA or 00AL";
  for (size_t at = 2; at < text.size(); at += 4) {
    const char* cell = text.data() + at;
    const int kind = KindOfCsaName(cell + 2);
    if (cell[0] == '0' && cell[1] == '0') {
      if (cell[2] == 'A' && cell[3] == 'L') {
        GiveRemainingPieces(position, side);
      } else if (kind >= 1 && kind <= kHandKinds) {
        if (position->cells[HandSlot(side, kind - 1)] >= INT8_MAX) {
          return "expected at most 127 pieces of a kind in a hand";
        }
        AddToHand(position, HandSlot(side, kind - 1), 1);
      } else {
        return "expected a kind that can be held (FU..HI) in the hand";
      }
      continue;
    }
    if (!IsSquareDigit(cell[0]) || !IsSquareDigit(cell[1]) || kind == 0) {
      return "expected cells of a square 11..99 (00 = hand) and a piece name";
    }
    const int square = SquareOf(cell[0] - '0', cell[1] - '0');
    if (const char* what = PutPiece(position, square, side == kBlack ? kind : -kind)) return what;
  }
  return nullptr;
}

// A letter and a number that may have a fraction: "V2.2", "T12".
bool IsLetterAndNumber(std::string_view text) {
  if (text.size() < 2 || !IsDigit(text[1])) return false;
  for (char c : text.substr(1)) {
    if (!IsDigit(c) && c != '.') return false;
  }
  return true;
}

// Reads one statement, trailing blanks cut, into *record; false with
// *expected saying what was expected.
bool ReadStatement(std::string_view text, ReadState* state, GameRecord* record,
                   std::string* expected) {
  const char first = text[0];
  const char second = text.size() > 1 ? text[1] : '\0';
  if (first == 'N' && (second == '+' || second == '-')) {
    (second == '+' ? record->black_name : record->white_name) = NameOf(text.substr(2));
    return true;
  }
  if (first == '\'' || first == '$' || (first == 'V' && IsLetterAndNumber(text))) {
    return true;
  }
  state->anything = true;
  Position* position = &record->start;
  const char* what = nullptr;
  if (state->rows_read > 0 && state->rows_read < kRanks) {
    if (first != 'P' || second != '1' + state->rows_read) {
      *expected = ExpectedAtEnd(*state);
      return false;
    }
    what = ReadRow(text, state->rows_read++, position);
  } else if (first == '%' || text == "/") {
    if (!state->side_read) {
      *expected = ExpectedAtEnd(*state);
      return false;
    }
    state->done = true;
    state->separated = first == '/';
    if (first == '%') record->result = ResultOf(text, *record);
  } else if (state->side_read) {
    Move move;
    if (first == 'T' && IsLetterAndNumber(text)) return true;
    if ((first != '+' && first != '-') || !ParseCsaMove(text, record->side_to_move, &move)) {
      *expected = kExpectMove;
      return false;
    }
    record->moves.push_back(move);
  } else if (text == "+" || text == "-") {
    if (!state->position_seen) {
      *expected = kExpectPosition;
      return false;
    }
    record->side_to_move = first == '+' ? kBlack : kWhite;
    state->side_read = true;
  } else if (first == 'P' && (second == '+' || second == '-')) {
    state->position_seen = true;
    what = ReadPlacement(text, position);
  } else if (!state->position_seen && first == 'P' && (second == 'I' || second == '1')) {
    state->position_seen = true;
    what = second == 'I' ? ReadPi(text, position) : ReadRow(text, state->rows_read++, position);
  } else {
    *expected = state->position_seen ? kExpectSide : kExpectPosition;
    return false;
  }
  if (what != nullptr) *expected = what;
  return what == nullptr;
}

// Reads the game that begins at offset *at of text, after *line_number
// lines, into *record, leaving both after the line that ended it. Returns
// false with *error as ReadCsaRecord gives it; *empty tells whether the
// game held nothing but comments, names and versions, *separated whether a
// "/" line ended it.
bool ReadGame(std::string_view text, size_t* at, int* line_number, GameRecord* record,
              std::string* error, bool* empty, bool* separated) {
  ClearGameRecord(record);
  ReadState state;
  std::string expected;
  *empty = true;
  *separated = false;
  while (*at < text.size() && !state.done) {
    size_t end = *at;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    const std::string_view line = text.substr(*at, end - *at);
    *at = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++*at;
    ++*line_number;
    // Statements are separated by ","; a comment, a name or a "$" line runs
    // to the end of its line.
    size_t from = 0;
    while (from < line.size() && !state.done) {
      std::string_view statement = line.substr(from);
      const char first = statement[0];
      if (first != '\'' && first != '$' && first != 'N') {
        statement = statement.substr(0, statement.find(','));
      }
      from += statement.size() + 1;
      while (!statement.empty() && IsBlank(statement.back())) statement.remove_suffix(1);
      if (statement.empty()) continue;
      const bool read = ReadStatement(statement, &state, record, &expected);
      *empty = !state.anything;
      if (!read) {
        *separated = statement == "/";
        *error = "line " + std::to_string(*line_number) + ": " + expected + ", not " +
                 QuotedInput(statement);
        return false;
      }
    }
  }
  *separated = state.separated;
  if (!state.done && !state.side_read) {
    *error = "line " + std::to_string(*line_number + 1) + ": " + ExpectedAtEnd(state) +
             ", not the end of the record";
    return false;
  }
  return true;
}

// Moves *at and *line_number past the next line of text that is "/" alone.
void SkipPastSeparator(std::string_view text, size_t* at, int* line_number) {
  while (*at < text.size()) {
    size_t end = *at;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view line = text.substr(*at, end - *at);
    *at = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++*at;
    ++*line_number;
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line == "/") return;
  }
}

}  // namespace

bool ReadCsaRecord(std::string_view text, GameRecord* record, std::string* error) {
  if (text.substr(0, 3) == kBom) text.remove_prefix(3);
  size_t at = 0;
  int line_number = 0;
  bool empty, separated;
  return ReadGame(text, &at, &line_number, record, error, &empty, &separated);
}

void ReadCsaGames(std::string_view text, std::vector<RecordGame>* games) {
  if (text.substr(0, 3) == kBom) text.remove_prefix(3);
  size_t at = 0;
  int line_number = 0;
  do {
    RecordGame game;
    bool empty, separated;
    const bool read =
        ReadGame(text, &at, &line_number, &game.record, &game.error, &empty, &separated);
    if (!read && empty && at >= text.size() && !games->empty()) break;  // after the last "/"
    if (!separated) SkipPastSeparator(text, &at, &line_number);
    games->push_back(std::move(game));
  } while (at < text.size());
}

}  // namespace fvscope
