#include "app/serve_mode.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/census_mode.h"
#include "app/corpus_mode.h"
#include "app/explorer_files.h"
#include "app/file_family.h"
#include "app/map_mode.h"
#include "app/mode.h"
#include "app/platform.h"
#include "app/position_input.h"
#include "app/position_mode.h"
#include "app/record_mode.h"
#include "app/request_kinds.h"
#include "app/run_facts.h"
#include "app/run_log.h"
#include "app/scan_mode.h"
#include "eval/corpus/corpus_partial.h"
#include "http/answer_cache.h"
#include "http/http_server.h"
#include "http/request_params.h"
#include "http/work_limit.h"
#include "render/image_file.h"
#include "render/picture_batch.h"
#include "render/thread_pool.h"
#include "report/json_report.h"
#include "report/run_writers.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

constexpr const char* kPictureRoot = "/api/picture/";
constexpr const char* kJsonType = "application/json";

// The bounds of the work one request makes.
constexpr size_t kMaxRecordPlies = 10000;     // a longer record answers 413
constexpr int kWorkWaitMilliseconds = 3000;   // a heavy run waits this long for its turn
constexpr const char* kRetryAfterSeconds = "2";  // then answers 503 and asks for this

int KindIndex(const RequestKind& kind) { return static_cast<int>(&kind - kRequestKinds); }

// A run kept for every request once made: its answer and its pictures.
struct KeptRun {
  int status = 0;  // of the answer
  std::string answer;
  std::vector<PictureJob> pictures;
};

// What the server holds while it serves: the loaded files (read only), the
// runs made once (by kind), the cache of pictures and the limits of work.
struct ServerState {
  const CommandLine* options;
  const Evaluator* fv;
  const Evaluator* compare;
  std::vector<std::string> start_warnings;
  std::string info;
  std::once_flag once[kRequestKindCount];
  KeptRun kept[kRequestKindCount];
  RunProgress background_progress;
  std::atomic<bool> background_ready{false};
  AnswerCache pictures;
  WorkLimit heavy;   // a game, a position with the engine, a picture drawn
  WorkLimit engine;  // one engine search at a time
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

// 503 with Retry-After: no turn of limit came in time.
void RefuseBusy(const char* what, int at_once, HttpAnswer* answer) {
  Refuse(503,
         std::string("the server is busy with other ") + what + " (" + std::to_string(at_once) +
             " at once): try again shortly",
         answer);
  answer->headers.emplace_back("Retry-After", kRetryAfterSeconds);
}


// Checks that a record's text has at most kMaxRecordPlies moves; one that
// does not read is left to the mode to refuse in its words.
bool CheckRecordPlies(const std::string& text, HttpAnswer* answer) {
  GameRecord record;
  Notation names;
  std::string error;
  if (!ReadRecordText(kRecordTextName, text, &record, &names, &error) ||
      record.moves.size() <= kMaxRecordPlies) {
    return true;
  }
  Refuse(413,
         "the record has " + std::to_string(record.moves.size()) +
             " plies: the server takes records of at most " + std::to_string(kMaxRecordPlies),
         answer);
  return false;
}

// Makes the run of a request of kind with params; record, when not null,
// is the text of its record. Refuses into *answer (400 as the command line
// words it, 413 for a record too long) when the request cannot be run.
bool MakeRequestRun(const ServerState& server, const RequestKind& kind,
                    const std::vector<RequestParam>& params, const std::string* record,
                    RequestRun* run, HttpAnswer* answer) {
  std::string error;
  std::vector<std::string> words = {"fvscope"}, positional;
  const CommandLine& start = *server.options;
  if (!CheckRequestParams(kind, params, &error) ||
      !kind.words(start, params, record != nullptr, &words, &positional, &error)) {
    Refuse(400, error, answer);
    return false;
  }
  const std::string* position = FindRequestParam(params, "position");
  if ((record != nullptr && !CheckRecordPlies(*record, answer)) ||
      (position != nullptr && !CheckRecordPlies(*position, answer))) {
    return false;
  }
  if (!start.compare.empty()) words.push_back("--compare=" + start.compare);
  if (!positional.empty()) {
    words.push_back("--");
    words.insert(words.end(), positional.begin(), positional.end());
  }
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  CommandLine& options = run->options;
  if (!ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, &error) ||
      !CheckScanKingSquare(options.scan_king_square, &error)) {
    Refuse(400, error, answer);
    return false;
  }
  if (kind.mode == RunScanMode && options.scan_king_square == -1) {
    Refuse(400, "/api/scan needs a king square 0..80, not -1", answer);
    return false;
  }
  // The start's settings: its files, engine, pictures and texts.
  options.engine = start.engine;
  options.jobs = 1;
  options.fv = start.fv;
  options.img = start.img;
  options.utf8 = start.utf8;
  options.go = start.go;
  options.usi_timeout = start.usi_timeout;
  if (kind.mode == RunPositionMode && !AnalysesPosition(options)) options.position = "startpos";
  run->kind = &kind;
  run->record = record;
  return true;
}

// The document of a run that ended with status, or its refusal.
void KeepDocument(const ServerState& server, const CommandLine& options, const RequestKind& kind,
                  const std::vector<RequestParam>& params, const RunLog& log, int status,
                  const RunResult& result, int failed_status, KeptRun* kept) {
  if (status != 0) {
    kept->status = failed_status;
    kept->answer = ErrorJson(log.failure);
    return;
  }
  std::vector<std::string> warnings = server.start_warnings;
  warnings.insert(warnings.end(), log.warnings.begin(), log.warnings.end());
  RunFacts facts = FactsOfRun(options, warnings);
  facts.picture_url = std::string(kPictureRoot) + kind.name + "/";
  if (kind.query != nullptr) {
    facts.picture_query = kind.query(options, params, result);
  } else {
    for (const RequestParam& param : params) {
      facts.picture_query += (facts.picture_query.empty() ? "?" : "&") +
                             EncodeQueryText(param.name) + "=" + EncodeQueryText(param.value);
    }
  }
  kept->status = 200;
  kept->answer = ResultJson(facts, result);
}

// What a request wants of a run: its JSON document (or the refusal with the
// command line's message), its pictures.
struct RunWants {
  bool document;
  bool pictures;
};

// Runs run's mode into *kept as wants says. A picture alone needs no
// document: a failed run still sets the refusal.
void RunRequest(const ServerState& server, const RequestRun& run,
                const std::vector<RequestParam>& params, RunWants wants, KeptRun* kept) {
  RunLog log;
  log.quiet = true;
  ModeInputs inputs{&run.options, server.fv, server.compare};
  inputs.record = run.record;
  auto result = std::make_unique<RunResult>();
  std::string refusal;
  const int status =
      !CheckFileFamilies(run.options, *server.fv, server.compare, &refusal)
          ? (Fail(&log, refusal), 2)
          : run.kind->mode(inputs, &log, result.get(), wants.pictures ? &kept->pictures : nullptr);
  const int failed_status = !run.options.usi.empty() && status == 1 ? 502 : 400;
  if (!wants.document && status == 0) {
    kept->status = 200;
    return;
  }
  KeepDocument(server, run.options, *run.kind, params, log, status, *result, failed_status, kept);
}

// Runs run under the limits of work: a turn of the heavy limit for a heavy
// run, of the engine's for a search. Answers 503 when no turn comes.
bool RunWithinLimits(ServerState* server, const RequestRun& run,
                     const std::vector<RequestParam>& params, RunWants wants, KeptRun* kept,
                     HttpAnswer* answer) {
  const bool searches = !run.options.usi.empty();
  std::optional<WorkTurn> heavy, engine;
  if (run.kind->heavy || searches || wants.pictures) {
    heavy.emplace(&server->heavy, kWorkWaitMilliseconds);
    if (!heavy->taken()) {
      RefuseBusy("heavy runs", server->heavy.max_running, answer);
      return false;
    }
  }
  if (searches) {
    engine.emplace(&server->engine, kWorkWaitMilliseconds);
    if (!engine->taken()) {
      RefuseBusy("engine searches", server->engine.max_running, answer);
      return false;
    }
  }
  RunRequest(*server, run, params, wants, kept);
  return true;
}

// Answers a request of kind: its run's document, or why it cannot run.
void AnswerRun(ServerState* server, const RequestKind& kind, const HttpRequest& request,
               bool record_in_body, HttpAnswer* answer) {
  if (record_in_body && request.body.empty()) {
    Refuse(400, std::string("POST /api/") + kind.name + " needs a record in its body", answer);
    return;
  }
  RequestRun run;
  if (!MakeRequestRun(*server, kind, request.params, record_in_body ? &request.body : nullptr,
                      &run, answer)) {
    return;
  }
  KeptRun kept;
  if (!RunWithinLimits(server, run, request.params, {true, false}, &kept, answer)) return;
  answer->status = kept.status;
  answer->body = std::move(kept.answer);
}

// The run of kind made by the first request that asks, and kept.
const KeptRun& OnceRun(ServerState* server, const RequestKind& kind) {
  const int index = KindIndex(kind);
  std::call_once(server->once[index], [server, &kind, index] {
    KeptRun& kept = server->kept[index];
    RequestRun run;
    HttpAnswer refused;
    if (!MakeRequestRun(*server, kind, {}, nullptr, &run, &refused)) {
      kept.status = refused.status;
      kept.answer = refused.body;
      return;
    }
    RunRequest(*server, run, {}, {true, true}, &kept);
  });
  return server->kept[index];
}

// Runs kind's mode over the start's options into the kept run, from the
// start in the background. A failure, or an exception, is printed on stderr
// and kept as a 500 answer; the server goes on.
void RunInBackground(ServerState* server, const RequestKind* kind) {
  KeptRun& kept = server->kept[KindIndex(*kind)];
  std::string failure;
  try {
    CommandLine options = *server->options;
    options.serve.clear();
    RunLog log;
    log.quiet = true;
    ModeInputs inputs{&options, server->fv, server->compare};
    inputs.progress = &server->background_progress;
    auto result = std::make_unique<RunResult>();
    std::string refusal;
    const int status = !CheckFileFamilies(options, *server->fv, server->compare, &refusal)
                           ? (Fail(&log, refusal), 2)
                           : kind->mode(inputs, &log, result.get(), &kept.pictures);
    KeepDocument(*server, options, *kind, {}, log, status, *result, 500, &kept);
    if (status != 0) failure = log.failure;
  } catch (const std::exception& e) {
    failure = std::string("the ") + kind->name + " run failed (" + e.what() + ")";
  } catch (...) {
    failure = std::string("the ") + kind->name + " run failed";
  }
  if (!failure.empty() && !server->background_progress.cancel) {
    Fail(failure);
    kept.pictures.clear();
    kept.status = 500;
    kept.answer = ErrorJson(failure);
  }
  server->background_ready = true;
}

// True when the background run of kind is ready, else 503 with how far it
// is (404 when the server was started without one).
bool BackgroundReady(const ServerState& server, HttpAnswer* answer) {
  if (server.options->corpus.empty()) {
    Refuse(404, "the server was started without --corpus", answer);
    return false;
  }
  if (server.background_ready) return true;
  const int64_t done = server.background_progress.done, total = server.background_progress.total;
  answer->status = 503;
  answer->body = nlohmann::ordered_json{{"error", "the corpus is being evaluated"},
                                        {"files_read", done},
                                        {"files", total},
                                        {"positions_read", server.background_progress.positions.load()}}
                     .dump() +
                 "\n";
  return false;
}

// Answers a run kept for all requests: made once, or in the background.
void AnswerKept(ServerState* server, const RequestKind& kind, const HttpRequest& request,
                HttpAnswer* answer) {
  if (!request.params.empty()) {
    return Refuse(400, std::string("/api/") + kind.name + " takes no parameters", answer);
  }
  if (kind.when == RunTime::kBackground && !BackgroundReady(*server, answer)) return;
  const KeptRun& kept =
      kind.when == RunTime::kOnce ? OnceRun(server, kind) : server->kept[KindIndex(kind)];
  answer->status = kept.status;
  answer->body = kept.answer;
}

// Answers a picture: /api/picture/KIND/NAME.png with the parameters of
// KIND's run, drawn on request and kept in the cache.
void AnswerPicture(ServerState* server, const HttpRequest& request, HttpAnswer* answer) {
  const std::string rest = request.path.substr(std::strlen(kPictureRoot));
  const size_t slash = rest.find('/');
  const RequestKind* kind = slash == std::string::npos ? nullptr : FindRequestKind(rest.substr(0, slash));
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
  std::optional<WorkTurn> turn;
  if (kind->when == RunTime::kOnce) {
    run = &OnceRun(server, *kind);
  } else if (kind->when == RunTime::kBackground) {
    if (!BackgroundReady(*server, answer)) return;
    run = &server->kept[KindIndex(*kind)];
  } else {
    if (FindRequestParam(request.params, "usi") != nullptr) {
      Refuse(400, "a picture takes its PV as pv=, not usi=", answer);
      return;
    }
    const std::string* record = nullptr;
    if (!kind->post || kind->get) {
      // Its parameters are the run's.
    } else if ((record = FindRequestParam(request.params, "position")) == nullptr) {
      Refuse(400, std::string("a picture of a ") + kind->name +
                      " needs position=, the record as a USI position text",
             answer);
      return;
    }
    RequestRun request_run;
    std::vector<RequestParam> params = request.params;
    if (record != nullptr) params.clear();
    if (!MakeRequestRun(*server, *kind, params, record, &request_run, answer) ||
        !RunWithinLimits(server, request_run, params, {false, true}, &made, answer)) {
      return;
    }
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
    // A kept run's picture is drawn under the limit too.
    if (run != &made) {
      turn.emplace(&server->heavy, kWorkWaitMilliseconds);
      if (!turn->taken()) return RefuseBusy("heavy runs", server->heavy.max_running, answer);
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
  const auto add_file = [&](const char* role, const std::string& path, const Evaluator& file) {
    files.push_back({{"role", role},
                     {"path", path},
                     {"size", file.kind == EvalKind::kKppt ? EvaluatorBytes(file) : FileSize(path)},
                     {"checksum", ChecksumText(EvaluatorChecksum(file))},
                     {"kind", EvalKindName(file.kind)}});
    if (file.kind == EvalKind::kNetwork) {
      const NetworkShape& shape = file.network.shape;
      files.back()["shape"] = {shape.w, shape.h1, shape.h2};
      files.back()["scale"] = file.network.scale;
    }
    if (file.kind == EvalKind::kKppt) {
      char identity[24];
      std::snprintf(identity, sizeof identity, "%016llx",
                    static_cast<unsigned long long>(file.kppt.identity));
      files.back()["layout"] = KpptLayoutName(file.kppt.layout);
      files.back()["identity"] = identity;
    }
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

int RunServer(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
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
  server->heavy.max_running = std::max(1, MachineThreads());
  server->engine.max_running = 1;
  BlockStopSignals();
  std::thread background;
  if (!options.corpus.empty()) background = std::thread(RunInBackground, server.get(), FindRequestKind("corpus"));

  ServerState* s = server.get();
  std::vector<HttpRoute> routes = {
      {"GET", "/api/info", false,
       [s](const HttpRequest&, HttpAnswer* a) { a->body = s->info; }},
      {"GET", kPictureRoot, true,
       [s](const HttpRequest& r, HttpAnswer* a) { AnswerPicture(s, r, a); }},
  };
  for (const RequestKind& kind : kRequestKinds) {
    const RequestKind* k = &kind;
    const std::string path = std::string("/api/") + kind.name;
    if (kind.when != RunTime::kEachRequest) {
      routes.push_back({"GET", path, false,
                        [s, k](const HttpRequest& r, HttpAnswer* a) { AnswerKept(s, *k, r, a); }});
      continue;
    }
    if (kind.get) {
      routes.push_back({"GET", path, false, [s, k](const HttpRequest& r, HttpAnswer* a) {
                          AnswerRun(s, *k, r, false, a);
                        }});
    }
    if (kind.post) {
      routes.push_back({"POST", path, false, [s, k](const HttpRequest& r, HttpAnswer* a) {
                          AnswerRun(s, *k, r, true, a);
                        }});
    }
  }
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
  s->background_progress.cancel = true;
  if (background.joinable()) background.join();
  if (!served) {
    Fail(error);
    return 1;
  }
  return 0;
}

}  // namespace fvscope
