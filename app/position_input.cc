#include "app/position_input.h"

#include "app/platform.h"
#include "eval/table/breakdown.h"
#include "shogi/csa_record.h"
#include "shogi/kif_record.h"
#include "shogi/notation.h"
#include "shogi/position_check.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

constexpr size_t kMaxPositionFileBytes = 16 << 20;

// Plays a checked move on *board and adds it, its capture unrecorded, to *pv.
void AddMove(Move move, Position* board, PvLine* pv) {
  PlayMove(board, &move);
  move.code &= ~(kMoveCaptureMask << kMoveCaptureShift);
  pv->moves[pv->count++] = move;
}

}  // namespace

bool ReadRecordText(const std::string& name, const std::string& bytes, GameRecord* record,
                    Notation* names, std::string* error, RecordFormat* format) {
  std::string what;
  const RecordFormat found = RecordFormatOf(name, bytes);
  bool read;
  if (found == RecordFormat::kUsi) {
    read = ParseUsiPosition(bytes, record, &what);
  } else if (found == RecordFormat::kKif) {
    read = ReadKifRecord(bytes, record, &what);
  } else {
    read = ReadCsaRecord(bytes, record, &what);
  }
  *names = RecordNotation(found);
  if (format != nullptr) *format = found;
  if (!read) *error = name + ": " + what;
  return read;
}

bool ReadPositionArgument(const std::string& option, const std::string& text, GameRecord* record,
                          Notation* names, std::string* name, std::string* error,
                          RecordFormat* format) {
  *name = option;
  if (LooksLikeUsiPosition(text)) {
    std::string what;
    const bool read = ParseUsiPosition(text, record, &what);
    *names = RecordNotation(RecordFormat::kUsi);
    if (format != nullptr) *format = RecordFormat::kUsi;
    if (!read) *error = *name + ": " + what;
    return read;
  }
  *name = text;
  std::string content;
  if (!ReadSmallFile(text, kMaxPositionFileBytes, &content, error)) return false;
  return ReadRecordText(text, content, record, names, error, format);
}

bool CheckAnalysablePosition(const Position& position, std::string* error) {
  for (Side side : kSides) {
    if (!IsSquare(position.cells[KingCell(side)])) {
      *error = std::string("the position has no ") + SideName(side) + " king";
      return false;
    }
  }
  const std::vector<std::string> findings = ImpossiblePieces(position);
  if (!findings.empty()) {
    *error = findings[0];
    return false;
  }
  return CheckLeaf(position, error);
}

bool ReadCommandLinePosition(const std::string& position_text, int ply, Position* position,
                             Side* to_move, std::string* error, RecordFormat* format,
                             const std::string* record_text) {
  GameRecord record;
  Notation names;
  std::string name = kRecordTextName, what;
  const bool read =
      record_text != nullptr
          ? ReadRecordText(name, *record_text, &record, &names, error, format)
          : ReadPositionArgument("--position", position_text.empty() ? "startpos" : position_text,
                                 &record, &names, &name, error, format);
  if (!read) return false;
  if (!PlayRecord(record, ply, names, position, to_move, &what) ||
      !CheckAnalysablePosition(*position, &what)) {
    *error = name + ": " + what;
    return false;
  }
  return true;
}

bool ReadCommandLinePv(const std::string& text, const Position& position, Side to_move,
                       PvLine* pv, std::string* error) {
  pv->first_side = to_move;
  pv->count = 0;
  Position board = position;
  Side side = to_move;
  const std::vector<std::string_view> words = SplitWords(text, " ,\t\n\r");
  for (size_t n = 0; n < words.size(); ++n) {
    const std::string prefix = "--pv move " + std::to_string(n + 1) + " " + QuotedInput(words[n]) + ": ";
    if (pv->count >= kMaxPvMoves) {
      *error = prefix + "a PV holds at most " + std::to_string(kMaxPvMoves) + " moves";
      return false;
    }
    Move move;
    Notation names = Notation::kUsi;
    if (!ParseUsiMove(words[n], side, &move)) {
      names = Notation::kCsa;
      if (!ParseCsaMove(words[n], side, &move)) {
        *error = prefix + "no move in USI (7g7f, P*5e, 8h2b+) or CSA (+7776FU, 7776FU) form";
        return false;
      }
    }
    std::string why;
    if (!CheckMove(board, side, names, &move, &why)) {
      *error = prefix + why;
      return false;
    }
    AddMove(move, &board, pv);
    side = Opponent(side);
  }
  return true;
}

void TakeUsiPv(const UsiResult& result, const std::string& command, const Position& position,
               Side to_move, PvLine* pv, std::vector<std::string>* warnings) {
  pv->first_side = to_move;
  pv->count = 0;
  const std::string engine = "usi engine \"" + command + "\"";
  const bool gave_up = result.bestmove == "resign" || result.bestmove == "win";
  if (gave_up || result.pv.empty()) {
    warnings->push_back(engine + " gave " + (gave_up ? "bestmove " + result.bestmove : "no PV") +
                        "; the position itself is the leaf");
    return;
  }
  Position board = position;
  Side side = to_move;
  for (size_t n = 0; n < result.pv.size() && pv->count < kMaxPvMoves; ++n) {
    Move move;
    std::string why = "no USI move";
    if (!ParseUsiMove(result.pv[n], side, &move) ||
        !CheckMove(board, side, Notation::kUsi, &move, &why)) {
      warnings->push_back(engine + ": PV move " + std::to_string(n + 1) + " " +
                          QuotedInput(result.pv[n]) + ": " + why + "; the PV ends before it");
      return;
    }
    AddMove(move, &board, pv);
    side = Opponent(side);
  }
}

}  // namespace fvscope
