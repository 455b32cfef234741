#include "app/request_kinds.h"

#include "app/census_mode.h"
#include "app/corpus_mode.h"
#include "app/map_mode.h"
#include "app/position_mode.h"
#include "app/record_mode.h"
#include "app/scan_mode.h"
#include "app/squares_mode.h"
#include "report/run_result.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

// True when text reads whole as a decimal integer of at most 9 digits.
bool IsWholeNumber(const std::string& text) {
  const size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
  if (digits == 0 || digits > 9) return false;
  for (size_t i = text.size() - digits; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// Reads a parameter that is 1 or 0 into *on.
bool ReadFlag(const std::vector<RequestParam>& params, const char* name, bool* on,
              std::string* error) {
  const std::string* value = FindRequestParam(params, name);
  *on = value != nullptr && *value == "1";
  if (value == nullptr || *value == "1" || *value == "0") return true;
  *error = std::string(name) + " takes 1 or 0";
  return false;
}

bool PositionWords(const CommandLine& start, const std::vector<RequestParam>& params,
                   bool record_text, std::vector<std::string>* words,
                   std::vector<std::string>* positional, std::string* error) {
  const std::string* value = nullptr;
  if ((value = FindRequestParam(params, "position")) != nullptr) {
    if (record_text) {
      *error = "a record in the body takes no position parameter";
      return false;
    }
    if (!LooksLikeUsiPosition(*value)) {
      *error = "position takes \"startpos\" or \"sfen ...\", either with \"moves ...\"; a "
               "record's text goes in the body of POST /api/position";
      return false;
    }
    words->push_back("--position=" + *value);
  } else if (record_text) {
    words->push_back("--position=-");
  }
  if ((value = FindRequestParam(params, "ply")) != nullptr) words->push_back("--ply=" + *value);
  if ((value = FindRequestParam(params, "pv")) != nullptr) words->push_back("--pv=" + *value);
  bool pieces = false, usi = false;
  if (!ReadFlag(params, "pieces", &pieces, error) || !ReadFlag(params, "usi", &usi, error)) {
    return false;
  }
  if (pieces) words->push_back("--pieces");
  if (usi && start.usi.empty()) {
    *error = "usi=1 needs an engine: the server was started without --usi";
    return false;
  }
  if (usi) words->push_back("--usi=" + start.usi);
  if ((value = FindRequestParam(params, "sort")) != nullptr) positional->push_back(*value);
  return true;
}

bool GameWords(const CommandLine&, const std::vector<RequestParam>&, bool,
               std::vector<std::string>* words, std::vector<std::string>*, std::string*) {
  words->push_back("--game=-");
  return true;
}

bool ScanWords(const CommandLine&, const std::vector<RequestParam>& params, bool,
               std::vector<std::string>* words, std::vector<std::string>* positional,
               std::string* error) {
  const std::string* square = FindRequestParam(params, "square");
  if (square == nullptr) {
    *error = "/api/scan needs square=SQ, the king square 0..80";
    return false;
  }
  const std::string* sort = FindRequestParam(params, "sort");
  *positional = {sort != nullptr ? *sort : "0", *square};
  if (const std::string* part = FindRequestParam(params, "part")) words->push_back("--part=" + *part);
  return true;
}

bool MapWords(const CommandLine&, const std::vector<RequestParam>& params, bool,
              std::vector<std::string>* words, std::vector<std::string>*, std::string* error) {
  const std::string* king = FindRequestParam(params, "king");
  const std::string* piece = FindRequestParam(params, "piece");
  const std::string* neuron = FindRequestParam(params, "neuron");
  if (king == nullptr) {
    *error = "/api/map needs king=KING and piece=PIECE (as --map=KING:PIECE takes them), or with "
             "a network king=KING and neuron=N when one is asked";
    return false;
  }
  // A network's map names only the king.
  words->push_back("--map=" + *king + (piece != nullptr ? ":" + *piece : ""));
  if (neuron != nullptr) words->push_back("--neuron=" + *neuron);
  if (const std::string* part = FindRequestParam(params, "part")) words->push_back("--part=" + *part);
  return true;
}

bool SquaresWords(const CommandLine&, const std::vector<RequestParam>& params, bool,
                  std::vector<std::string>* words, std::vector<std::string>*, std::string* error) {
  const std::string* piece = FindRequestParam(params, "piece");
  if (piece == nullptr) {
    *error = "/api/squares needs piece=PIECE (as --squares=PIECE takes it)";
    return false;
  }
  const std::string* position = FindRequestParam(params, "position");
  if (position != nullptr && !LooksLikeUsiPosition(*position)) {
    *error = "position takes \"startpos\" or \"sfen ...\", either with \"moves ...\"";
    return false;
  }
  words->push_back("--position=" + (position != nullptr ? *position : std::string("startpos")));
  if (const std::string* pv = FindRequestParam(params, "pv")) words->push_back("--pv=" + *pv);
  words->push_back("--squares=" + *piece);
  return true;
}

bool CensusWords(const CommandLine&, const std::vector<RequestParam>&, bool,
                 std::vector<std::string>* words, std::vector<std::string>*, std::string*) {
  words->push_back("--census");
  return true;
}

std::string SortQuery(const CommandLine& options) {
  return "sort=" + std::to_string(options.sort_mode);
}

// The leaf's position and PV as played.
std::string PositionQuery(const CommandLine& options, const std::vector<RequestParam>&,
                          const RunResult& result) {
  const LeafAnalysis& leaf = std::get<LeafAnalysis>(result);
  std::string pv;
  for (int n = 0; n < leaf.pv.count; ++n) pv += (n > 0 ? " " : "") + UsiMoveText(leaf.pv.moves[n]);
  return "?position=" + EncodeQueryText("sfen " + PositionSfen(leaf.input, leaf.pv.first_side)) +
         (pv.empty() ? "" : "&pv=" + EncodeQueryText(pv)) + "&" + SortQuery(options) +
         (options.pieces ? "&pieces=1" : "");
}

// The record as a USI position text.
std::string GameQuery(const CommandLine&, const std::vector<RequestParam>&,
                      const RunResult& result) {
  const RecordAnalysis& record = std::get<RecordAnalysis>(result);
  if (record.plies.empty()) return "";
  const RecordPly& start = record.plies[0];
  std::string text = "sfen " + PositionSfen(start.position, start.to_move, start.move_number);
  for (size_t i = 1; i < record.plies.size(); ++i) {
    text += (i == 1 ? " moves " : " ") + UsiMoveText(record.plies[i].move);
  }
  return "?position=" + EncodeQueryText(text);
}

// The position, PV and piece as asked.
std::string SquaresQuery(const CommandLine& options, const std::vector<RequestParam>&,
                         const RunResult&) {
  return "?position=" + EncodeQueryText(options.position) +
         (options.pv.empty() ? "" : "&pv=" + EncodeQueryText(options.pv)) +
         "&piece=" + EncodeQueryText(options.squares);
}

std::string ScanQuery(const CommandLine& options, const std::vector<RequestParam>&,
                      const RunResult&) {
  return "?square=" + std::to_string(options.scan_king_square) + "&" + SortQuery(options) +
         (options.part >= 0 ? std::string("&part=") + (options.part == 1 ? "turn" : "board") : "");
}

}  // namespace

constexpr RequestKind kRequestKinds[kRequestKindCount] = {
    {"position", RunPositionMode,
     {{"position", false}, {"ply", true}, {"pv", false}, {"sort", true}, {"pieces", false},
      {"usi", false}},
     true, true, false, RunTime::kEachRequest, PositionWords, PositionQuery},
    // A picture's record comes as a USI position text in position=.
    {"game", RunRecordMode, {{"position", false}}, false, true, true, RunTime::kEachRequest,
     GameWords, GameQuery},
    {"scan", RunScanMode, {{"square", true}, {"sort", true}, {"part", false}}, true, false, false,
     RunTime::kEachRequest, ScanWords, ScanQuery},
    {"map", RunMapMode, {{"king", false}, {"piece", false}, {"neuron", true}, {"part", false}},
     true, false, false,
     RunTime::kEachRequest, MapWords, nullptr},
    {"census", RunCensusMode, {}, true, false, false, RunTime::kOnce, CensusWords, nullptr},
    {"squares", RunSquaresMode, {{"position", false}, {"pv", false}, {"piece", false}}, true, false,
     false, RunTime::kEachRequest, SquaresWords, SquaresQuery},
    {"corpus", RunCorpusMode, {}, true, false, false, RunTime::kBackground, nullptr, nullptr},
};
static_assert(kRequestKinds[kRequestKindCount - 1].name != nullptr,
              "kRequestKindCount counts more kinds than the table holds");

const RequestKind* FindRequestKind(const std::string& name) {
  for (const RequestKind& kind : kRequestKinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

bool CheckRequestParams(const RequestKind& kind, const std::vector<RequestParam>& params,
                        std::string* error) {
  for (const RequestParam& param : params) {
    const ParamRule* rule = nullptr;
    for (const ParamRule& p : kind.params) {
      if (p.name != nullptr && param.name == p.name) rule = &p;
    }
    if (rule == nullptr) {
      *error = std::string("/api/") + kind.name + " takes no parameter " + QuotedInput(param.name);
      return false;
    }
    if (rule->number && !IsWholeNumber(param.value)) {
      *error = param.name + " takes a whole number, not " + QuotedInput(param.value);
      return false;
    }
  }
  return true;
}

}  // namespace fvscope
