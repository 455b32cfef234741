// A USI engine run as a child process: it searches one position and returns
// its principal variation.
#ifndef FVSCOPE_APP_USI_ENGINE_H_
#define FVSCOPE_APP_USI_ENGINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fvscope {

// What to ask a USI engine.
struct UsiSearch {
  std::string command;          // run through /bin/sh -c in the current folder
  std::string sfen;             // sent as "position sfen <sfen>"
  std::string go = "depth 10";  // sent as "go <go>"
  int handshake_ms = 10000;     // for usiok and for readyok, each
  int search_ms = 60000;        // from "go" to "bestmove"
  int stop_ms = 2000;           // after "stop", for bestmove
};

// What the engine answered.
struct UsiResult {
  std::string engine_name;      // from "id name ...", may be empty
  std::vector<std::string> pv;  // the last principal variation of multipv 1, USI move texts
  std::string bestmove;         // the token after "bestmove": a move, "resign" or "win"
  bool has_score = false;       // an info line of multipv 1 gave a score
  bool mate = false;            // the score is "mate N" (N moves, negative when mated)
  int32_t score = 0;            // centipawns, or N, from the side to move's view
};

// Starts search.command in its own process group with pipes on its stdin and
// stdout (stderr is the tool's), says usi, isready, usinewgame, "position
// sfen", "go" and reads up to bestmove into *result. An engine that gives no
// bestmove in search_ms is sent "stop" and given stop_ms more; a bestmove
// then is a success. "bestmove resign" and an empty PV are not failures.
// Returns false with *error set to one line naming the command and what the
// engine did last when it cannot be started, gives no usiok or no readyok in
// handshake_ms, exits before bestmove, or gives no bestmove at all. Whatever
// happens, the engine is sent "quit", given about a second, and then its
// process group is killed and the engine reaped before the call returns.
// Writing to an engine that has exited is a failure, never a SIGPIPE.
bool RunUsiSearch(const UsiSearch& search, UsiResult* result, std::string* error);

// Reads output as RunUsiSearch reads an engine that wrote all of it at once
// and then closed its output (what would be sent to it is discarded): the
// same *result, and on failure the same *error without its leading
// 'usi engine "COMMAND": '. No time limit applies.
bool ReadUsiTranscript(std::string_view output, UsiResult* result, std::string* error);

// A USI engine kept running from one search to the next (a whole game).
struct UsiSession {
  UsiSession();
  ~UsiSession();  // "quit", then the engine's process group is killed and reaped
  struct Process;
  std::unique_ptr<Process> process;  // null until started
  std::string who;                   // 'usi engine "COMMAND": ', for messages
  std::string engine_name;
};

// Starts command as RunUsiSearch does and takes it through usi and isready.
// Returns false with *error as RunUsiSearch words it.
bool StartUsiSession(const std::string& command, int handshake_ms, UsiSession* session,
                     std::string* error);

// Says usinewgame when new_game, then "position POSITION" (as USI gives it:
// "startpos moves ..." or "sfen ...") and "go GO", and reads up to bestmove
// as RunUsiSearch does (stop after search_ms, stop_ms more).
bool SearchUsiSession(UsiSession* session, bool new_game, const std::string& position,
                      const std::string& go, int search_ms, int stop_ms, UsiResult* result,
                      std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_APP_USI_ENGINE_H_
