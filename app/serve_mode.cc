#include "app/serve_mode.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/census_mode.h"
#include "app/corpus_mode.h"
#include "app/explorer_files.h"
#include "app/map_mode.h"
#include "app/mode.h"
#include "app/platform.h"
#include "app/position_input.h"
#include "app/position_mode.h"
#include "app/record_mode.h"
#include "app/run_log.h"
#include "app/scan_mode.h"
#include "eval/corpus_partial.h"
#include "http/answer_cache.h"
#include "http/http_server.h"
#include "http/request_params.h"
#include "render/image_file.h"
#include "render/picture_batch.h"
#include "report/json_report.h"
#include "report/run_writers.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

constexpr const char* kPictureRoot = "/api/picture/";
constexpr const char* kJsonType = "application/json";

// Each kind of run a request names, and the parameters it takes: the
// command line's words.
struct RequestKind {
  const char* name;
  ModeFunction mode;
  const char* params[6];
};

constexpr RequestKind kRequestKinds[] = {
    {"position", RunPositionMode, {"position", "ply", "pv", "sort", "pieces", "usi"}},
    {"game", RunRecordMode, {"position"}},  // a picture's record, as a USI position text
    {"scan", RunScanMode, {"square", "sort"}},
    {"map", RunMapMode, {"king", "piece"}},
    {"census", RunCensusMode, {}},
    {"corpus", RunCorpusMode, {}},
};

const RequestKind* FindKind(const std::string& name) {
  for (const RequestKind& kind : kRequestKinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

// A run kept for every request once made: its answer and its pictures.
struct KeptRun {
  int status = 0;  // of the answer
  std::string answer;
  std::vector<PictureJob> pictures;
};

// What the server holds while it serves: the loaded files (read only), the
// runs made once, and the cache of pictures.
struct ServerState {
  const CommandLine* options;
  const EvalFile* fv;
  const EvalFile* compare;
  std::vector<std::string> start_warnings;
  std::string info;
  std::once_flag census_once;
  KeptRun census;
  RunProgress corpus_progress;
  std::atomic<bool> corpus_ready{false};
  KeptRun corpus;
  AnswerCache pictures;
};

// One request's run: its options and, when the record comes as text, the
// text.
struct RequestRun {
  const RequestKind* kind = nullptr;
  CommandLine options;
  const std::string* record = nullptr;
};

void Refuse(int status, const std::string& message, HttpAnswer* answer) {
  answer->status = status;
  answer->content_type = kJsonType;
  answer->body = ErrorJson(message);
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

// The command line's words for a request of kind with params; a record in
// the body (record_text) stands for --position's or --game's file. Returns
// false with *error for a parameter the kind does not take or cannot be
// given so.
bool RequestWords(const ServerState& server, const RequestKind& kind,
                  const std::vector<RequestParam>& params, bool record_text,
                  std::vector<std::string>* words, std::string* error) {
  for (const RequestParam& param : params) {
    bool known = false;
    for (const char* name : kind.params) known = known || (name != nullptr && param.name == name);
    if (!known) {
      *error = std::string("/api/") + kind.name + " takes no parameter " + QuotedInput(param.name);
      return false;
    }
  }
  const std::string kind_name = kind.name;
  const CommandLine& start = *server.options;
  words->push_back("fvscope");
  const std::string* value = nullptr;
  std::vector<std::string> positional;
  if (kind_name == "position") {
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
    if ((value = FindRequestParam(params, "sort")) != nullptr) positional.push_back(*value);
  } else if (kind_name == "game") {
    words->push_back("--game=-");
  } else if (kind_name == "scan") {
    const std::string* square = FindRequestParam(params, "square");
    if (square == nullptr) {
      *error = "/api/scan needs square=SQ, the king square 0..80";
      return false;
    }
    value = FindRequestParam(params, "sort");
    positional = {value != nullptr ? *value : "0", *square};
  } else if (kind_name == "map") {
    const std::string* king = FindRequestParam(params, "king");
    const std::string* piece = FindRequestParam(params, "piece");
    if (king == nullptr || piece == nullptr) {
      *error = "/api/map needs king=KING and piece=PIECE (as --map=KING:PIECE takes them)";
      return false;
    }
    words->push_back("--map=" + *king + ":" + *piece);
  } else if (kind_name == "census") {
    words->push_back("--census");
  }
  if (!start.compare.empty()) words->push_back("--compare=" + start.compare);
  if (!positional.empty()) {
    words->push_back("--");
    words->insert(words->end(), positional.begin(), positional.end());
  }
  return true;
}

// Makes the run of a request of kind with params; record, when not null,
// is the text of its record. Returns false with *error (as the command line
// words it) when the request cannot be run.
bool MakeRequestRun(const ServerState& server, const RequestKind& kind,
                    const std::vector<RequestParam>& params, const std::string* record,
                    RequestRun* run, std::string* error) {
  std::vector<std::string> words;
  if (!RequestWords(server, kind, params, record != nullptr, &words, error)) return false;
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  CommandLine& options = run->options;
  if (!ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, error) ||
      !CheckScanKingSquare(options.scan_king_square, error)) {
    return false;
  }
  if (std::string(kind.name) == "scan" && options.scan_king_square == -1) {
    *error = "/api/scan needs a king square 0..80, not -1";
    return false;
  }
  const CommandLine& start = *server.options;
  options.engine = start.engine;
  options.jobs = 1;
  options.fv = start.fv;
  options.img = start.img;
  options.utf8 = start.utf8;
  options.go = start.go;
  options.usi_timeout = start.usi_timeout;
  if (std::string(kind.name) == "position" && !AnalysesPosition(options)) {
    options.position = "startpos";
  }
  run->kind = &kind;
  run->record = record;
  return true;
}

// What a document of the run puts after a picture's name: the parameters
// that make the same run again, the record and PV as played.
std::string PictureQuery(const RequestRun& run, const std::vector<RequestParam>& params,
                         const RunResult& result) {
  const std::string kind = run.kind->name;
  const std::string sort = "sort=" + std::to_string(run.options.sort_mode);
  if (kind == "position") {
    const LeafAnalysis& leaf = std::get<LeafAnalysis>(result);
    std::string pv;
    for (int n = 0; n < leaf.pv.count; ++n) pv += (n > 0 ? " " : "") + UsiMoveText(leaf.pv.moves[n]);
    return "?position=" + EncodeQueryText("sfen " + PositionSfen(leaf.input, leaf.pv.first_side)) +
           (pv.empty() ? "" : "&pv=" + EncodeQueryText(pv)) + "&" + sort +
           (run.options.pieces ? "&pieces=1" : "");
  }
  if (kind == "game") {
    const RecordAnalysis& record = std::get<RecordAnalysis>(result);
    if (record.plies.empty()) return "";
    const RecordPly& start = record.plies[0];
    std::string text = "sfen " + PositionSfen(start.position, start.to_move, start.move_number);
    for (size_t i = 1; i < record.plies.size(); ++i) {
      text += (i == 1 ? " moves " : " ") + UsiMoveText(record.plies[i].move);
    }
    return "?position=" + EncodeQueryText(text);
  }
  if (kind == "scan") {
    return "?square=" + std::to_string(run.options.scan_king_square) + "&" + sort;
  }
  std::string query;
  for (const RequestParam& param : params) {
    query += (query.empty() ? "?" : "&") + EncodeQueryText(param.name) + "=" +
             EncodeQueryText(param.value);
  }
  return query;
}

// Runs run's mode into *kept: the answer (the JSON document, or a refusal
// with the command line's message) and, when with_pictures, the pictures.
void RunRequest(const ServerState& server, const RequestRun& run,
                const std::vector<RequestParam>& params, bool with_pictures, KeptRun* kept) {
  RunLog log;
  log.quiet = true;
  ModeInputs inputs{&run.options, server.fv, server.compare};
  inputs.record = run.record;
  auto result = std::make_unique<RunResult>();
  const int status =
      run.kind->mode(inputs, &log, result.get(), with_pictures ? &kept->pictures : nullptr);
  if (status != 0) {
    kept->status = !run.options.usi.empty() && status == 1 ? 502 : 400;
    kept->answer = ErrorJson(log.failure);
    return;
  }
  RunFacts facts;
  facts.sort_mode = run.options.sort_mode;
  facts.fv = server.options->fv;
  facts.compare_fv = server.options->compare;
  facts.utf8 = server.options->utf8;
  facts.warnings = server.start_warnings;
  facts.warnings.insert(facts.warnings.end(), log.warnings.begin(), log.warnings.end());
  facts.picture_url = std::string(kPictureRoot) + run.kind->name + "/";
  facts.picture_query = PictureQuery(run, params, *result);
  kept->status = 200;
  kept->answer = ResultJson(facts, *result);
}

// Answers a request of kind: its run's document, or why it cannot run.
void AnswerRun(const ServerState& server, const char* kind_name, const HttpRequest& request,
               bool record_in_body, HttpAnswer* answer) {
  const RequestKind& kind = *FindKind(kind_name);
  if (record_in_body && request.body.empty()) {
    Refuse(400, std::string("POST /api/") + kind_name + " needs a record in its body", answer);
    return;
  }
  RequestRun run;
  std::string error;
  if (!MakeRequestRun(server, kind, request.params, record_in_body ? &request.body : nullptr,
                      &run, &error)) {
    Refuse(400, error, answer);
    return;
  }
  KeptRun kept;
  RunRequest(server, run, request.params, false, &kept);
  answer->status = kept.status;
  answer->body = std::move(kept.answer);
}

// The census, made by the first request that asks and kept.
const KeptRun& Census(ServerState* server) {
  std::call_once(server->census_once, [server] {
    RequestRun run;
    std::string error;
    if (!MakeRequestRun(*server, *FindKind("census"), {}, nullptr, &run, &error)) {
      server->census.status = 400;
      server->census.answer = ErrorJson(error);
      return;
    }
    RunRequest(*server, run, {}, true, &server->census);
  });
  return server->census;
}

// Evaluates the corpus of the start's options into server->corpus.
void EvaluateCorpus(ServerState* server) {
  CommandLine options = *server->options;
  options.serve.clear();
  RequestRun run;
  run.kind = FindKind("corpus");
  run.options = options;
  RunLog log;
  log.quiet = true;
  ModeInputs inputs{&run.options, server->fv, server->compare};
  inputs.progress = &server->corpus_progress;
  auto result = std::make_unique<RunResult>();
  KeptRun& kept = server->corpus;
  const int status = RunCorpusMode(inputs, &log, result.get(), &kept.pictures);
  if (status != 0) {
    kept.status = 400;
    kept.answer = ErrorJson(log.failure);
  } else {
    RunFacts facts;
    facts.sort_mode = options.sort_mode;
    facts.fv = options.fv;
    facts.compare_fv = options.compare;
    facts.utf8 = options.utf8;
    facts.warnings = server->start_warnings;
    facts.warnings.insert(facts.warnings.end(), log.warnings.begin(), log.warnings.end());
    facts.picture_url = std::string(kPictureRoot) + "corpus/";
    kept.status = 200;
    kept.answer = ResultJson(facts, *result);
  }
  server->corpus_ready = true;
}

// The corpus's answer, or 503 with how far it is.
bool CorpusReady(const ServerState& server, HttpAnswer* answer) {
  if (server.options->corpus.empty()) {
    Refuse(404, "the server was started without --corpus", answer);
    return false;
  }
  if (server.corpus_ready) return true;
  const int64_t done = server.corpus_progress.done, total = server.corpus_progress.total;
  answer->status = 503;
  answer->body = nlohmann::ordered_json{{"error", "the corpus is being evaluated"},
                                        {"files_read", done},
                                        {"files", total},
                                        {"positions_read", server.corpus_progress.positions.load()}}
                     .dump() +
                 "\n";
  return false;
}

// Answers a picture: /api/picture/KIND/NAME.png with the parameters of
// KIND's run, drawn on request and kept in the cache.
void AnswerPicture(ServerState* server, const HttpRequest& request, HttpAnswer* answer) {
  const std::string rest = request.path.substr(std::strlen(kPictureRoot));
  const size_t slash = rest.find('/');
  const RequestKind* kind = slash == std::string::npos ? nullptr : FindKind(rest.substr(0, slash));
  const std::string name = slash == std::string::npos ? "" : rest.substr(slash + 1);
  bool plain = name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
  for (const char c : name) plain = plain && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.');
  if (kind == nullptr || !plain) {
    Refuse(404, "no such picture", answer);
    return;
  }
  if (std::shared_ptr<const std::string> kept = FindAnswer(&server->pictures, request.target)) {
    answer->content_type = "image/png";
    answer->body = *kept;
    return;
  }
  KeptRun made;
  const KeptRun* run = &made;
  const std::string kind_name = kind->name;
  if (kind_name == "census") {
    run = &Census(server);
  } else if (kind_name == "corpus") {
    if (!CorpusReady(*server, answer)) return;
    run = &server->corpus;
  } else {
    if (FindRequestParam(request.params, "usi") != nullptr) {
      Refuse(400, "a picture takes its PV as pv=, not usi=", answer);
      return;
    }
    const std::string* record = nullptr;
    if (kind_name == "game" && (record = FindRequestParam(request.params, "position")) == nullptr) {
      Refuse(400, "a picture of a game needs position=, the record as a USI position text",
             answer);
      return;
    }
    RequestRun request_run;
    std::string error;
    std::vector<RequestParam> params = request.params;
    if (record != nullptr) params.clear();
    if (!MakeRequestRun(*server, *kind, params, record, &request_run, &error)) {
      Refuse(400, error, answer);
      return;
    }
    RunRequest(*server, request_run, params, true, &made);
  }
  if (run->status != 200) {
    answer->status = run->status;
    answer->body = run->answer;
    return;
  }
  for (const PictureJob& job : run->pictures) {
    if (job.path.size() <= name.size() ||
        job.path.compare(job.path.size() - name.size() - 1, std::string::npos, "/" + name) != 0) {
      continue;
    }
    auto png = std::make_shared<std::string>();
    std::string error;
    if (!EncodePng(DrawPicture(job), png.get(), &error)) {
      Refuse(500, error, answer);
      return;
    }
    answer->content_type = "image/png";
    answer->body = *png;
    KeepAnswer(&server->pictures, request.target, std::move(png));
    return;
  }
  Refuse(404, "no such picture", answer);
}

// 16 hexadecimal digits of a checksum.
std::string ChecksumText(uint64_t checksum) {
  char text[24];
  std::snprintf(text, sizeof text, "%016" PRIx64, checksum);
  return text;
}

// The answer of /api/info: the files loaded, what the server was started
// with, the version.
std::string InfoJson(const ServerState& server, const std::string& address) {
  const CommandLine& o = *server.options;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  const auto add_file = [&](const char* role, const std::string& path, const EvalFile& file) {
    files.push_back({{"role", role},
                     {"path", path},
                     {"size", FileSize(path)},
                     {"checksum", ChecksumText(EvalFileChecksum(file))}});
  };
  add_file("fv", o.fv, *server.fv);
  if (server.compare != nullptr) add_file("compare", o.compare, *server.compare);
  nlohmann::ordered_json started = {
      {"serve", address},     {"fv", o.fv},
      {"compare", o.compare.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(o.compare)},
      {"corpus", o.corpus},   {"from_ply", std::max(o.from_ply, 0)},
      {"scale", o.scale},     {"no_usage", o.no_usage},
      {"sort_mode", o.sort_mode},
      {"usi", o.usi.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(o.usi)},
      {"go", o.go},           {"usi_timeout", o.usi_timeout},
      {"img", o.img},         {"utf8", o.utf8},
  };
  nlohmann::ordered_json info = {{"format", "fvscope"},
                                 {"version", kJsonVersion},
                                 {"mode", "info"},
                                 {"fvscope", kVersion},
                                 {"files", files},
                                 {"started_with", started},
                                 {"warnings", server.start_warnings}};
  return info.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// Splits "ADDR:PORT" (ADDR may be "[v6]") into the host to bind and the
// port. Returns false when it is no such text.
bool SplitAddress(const std::string& address, std::string* host, int* port) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= address.size() ||
      colon + 6 < address.size()) {
    return false;
  }
  *host = address.substr(0, colon);
  if (host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
  *port = 0;
  for (size_t i = colon + 1; i < address.size(); ++i) {
    if (address[i] < '0' || address[i] > '9') return false;
    *port = *port * 10 + (address[i] - '0');
  }
  return !host->empty() && *port <= 65535;
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host.rfind("127.", 0) == 0 || host == "::1";
}

}  // namespace

int RunServer(const CommandLine& options, const EvalFile& fv, const EvalFile* compare,
              const std::vector<std::string>& start_warnings) {
  std::string host;
  int port = 0;
  if (!SplitAddress(options.serve, &host, &port)) {
    Fail("--serve takes ADDR:PORT (such as 127.0.0.1:8765), not \"" + options.serve + "\"");
    return 2;
  }
  if (!IsLoopback(host)) {
    RunLog log;
    Warn(&log, host + " is not a loopback address: anyone who reaches it can read every answer");
  }
  auto server = std::make_unique<ServerState>();
  server->options = &options;
  server->fv = &fv;
  server->compare = compare;
  server->start_warnings = start_warnings;
  BlockStopSignals();
  std::thread corpus;
  if (!options.corpus.empty()) corpus = std::thread(EvaluateCorpus, server.get());

  ServerState* s = server.get();
  std::vector<HttpRoute> routes = {
      {"GET", "/api/info", false,
       [s](const HttpRequest&, HttpAnswer* a) { a->body = s->info; }},
      {"GET", "/api/position", false,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerRun(*s, "position", r, false, a); }},
      {"POST", "/api/position", false,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerRun(*s, "position", r, true, a); }},
      {"POST", "/api/game", false,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerRun(*s, "game", r, true, a); }},
      {"GET", "/api/scan", false,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerRun(*s, "scan", r, false, a); }},
      {"GET", "/api/map", false,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerRun(*s, "map", r, false, a); }},
      {"GET", "/api/census", false,
       [s](const HttpRequest& r, HttpAnswer* a) {
         if (!r.params.empty()) return Refuse(400, "/api/census takes no parameters", a);
         const KeptRun& census = Census(s);
         a->status = census.status;
         a->body = census.answer;
       }},
      {"GET", "/api/corpus", false,
       [s](const HttpRequest& r, HttpAnswer* a) {
         if (!r.params.empty()) return Refuse(400, "/api/corpus takes no parameters", a);
         if (!CorpusReady(*s, a)) return;
         a->status = s->corpus.status;
         a->body = s->corpus.answer;
       }},
      {"GET", kPictureRoot, true,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerPicture(s, r, a); }},
  };
  // The page's files, each at its own path, and index.html at "/" too.
  const HttpHandler page = [](const HttpRequest& r, HttpAnswer* a) {
    AnswerStaticFile(kExplorerFiles, kExplorerFileCount, r.path, a);
  };
  routes.push_back({"GET", "/", false, page});
  for (int i = 0; i < kExplorerFileCount; ++i) {
    routes.push_back({"GET", std::string("/") + kExplorerFiles[i].name, false, page});
  }
  std::string error;
  const bool served = ServeHttp(host, port, routes, HttpLimits{}, [&](int bound) {
    const std::string shown = (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              ":" + std::to_string(bound);
    s->info = InfoJson(*s, shown);
    std::printf("fvscope: serving http://%s/ (Ctrl-C stops)\n", shown.c_str());
    std::fflush(stdout);
  }, &error);
  s->corpus_progress.cancel = true;
  if (corpus.joinable()) corpus.join();
  if (!served) {
    Fail(error);
    return 1;
  }
  return 0;
}

}  // namespace fvscope
