#include "app/usi_engine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "test/scratch_dir.h"

namespace fvscope {
namespace {

constexpr const char* kStartSfen =
    "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1";

// The answers of a well-behaved fake engine to usi and isready.
constexpr const char* kHandshakeArms =
    "    usi) say 'id name Fake Engine 1'; say 'id author x'; say usiok ;;\n"
    "    isready) say readyok ;;\n";

// Writes a fake engine into dir and returns the command that runs it: a sh
// script that works in dir, writes "$$ $PPID" to the file "pid", then
// answers each line it reads with the first of arms (sh case arms) that
// matches it, else with kHandshakeArms; "quit" ends it. Its say() ends lines
// in "\r\n" when crlf. With exec, sh -c becomes the script, not its parent.
std::string WriteFakeEngine(const ScratchDir& dir, const std::string& arms, bool crlf = false,
                            bool exec = false) {
  const std::string script = "cd '" + dir.path() + "' && echo $$ $PPID > pid\n" +
                             "say() { printf '%s" + (crlf ? "\\r\\n" : "\\n") + "' \"$*\"; }\n" +
                             "while read -r line; do\n  case \"$line\" in\n" + arms +
                             kHandshakeArms + "    quit) exit 0 ;;\n  esac\ndone\n";
  return std::string(exec ? "exec " : "") + "sh '" + dir.Write("engine.sh", script) + "'";
}

// True when text is a USI move: "7g7f", "8h2b+" or a drop "P*5e".
bool IsUsiMove(const std::string& text) {
  auto square = [&text](size_t at) {
    return text[at] >= '1' && text[at] <= '9' && text[at + 1] >= 'a' && text[at + 1] <= 'i';
  };
  if (text.size() == 4 && text[1] == '*') {
    return std::string("PLNSGBR").find(text[0]) != std::string::npos && square(2);
  }
  return (text.size() == 4 || (text.size() == 5 && text[4] == '+')) && square(0) && square(2);
}

// True when the process pid runs no more, given up to five seconds: it does not
// exist, or it is a zombie that only init has left to reap.
bool Gone(pid_t pid) {
  for (int i = 0; i < 500; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    if (paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z') {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Expects the fake engine of dir, and the shell that ran it, to be gone.
void ExpectEngineGone(const ScratchDir& dir) {
  const std::string pids = ReadWholeFile(dir.File("pid"));
  ASSERT_FALSE(pids.empty()) << "the fake engine never started";
  char* rest = nullptr;
  const pid_t engine = static_cast<pid_t>(std::strtol(pids.c_str(), &rest, 10));
  const pid_t shell = static_cast<pid_t>(std::strtol(rest, nullptr, 10));
  EXPECT_TRUE(Gone(engine)) << "fake engine " << engine << " still runs";
  if (shell != getpid()) {  // the shell of sh -c, our child: reaped already
    EXPECT_EQ(kill(shell, 0), -1) << "shell " << shell << " was not reaped";
    EXPECT_EQ(errno, ESRCH);
  }
}

struct SearchCase {
  const char* name;
  const char* go_arms;  // what the fake engine does on "go" (and "stop")
  bool crlf;
  int search_ms;
  std::vector<std::string> pv;
  const char* bestmove;
};

class RunUsiSearchAnswers : public testing::TestWithParam<SearchCase> {};

TEST_P(RunUsiSearchAnswers, TakesTheLastPvOfMultiPv1AndTheBestMove) {
  const SearchCase& c = GetParam();
  ScratchDir dir;
  UsiSearch search;
  search.command = WriteFakeEngine(dir, c.go_arms, c.crlf);
  search.sfen = kStartSfen;
  search.handshake_ms = 5000;
  search.search_ms = c.search_ms;
  search.stop_ms = 5000;
  UsiResult result;
  std::string error;
  ASSERT_TRUE(RunUsiSearch(search, &result, &error)) << error;
  EXPECT_EQ(result.engine_name, "Fake Engine 1");
  EXPECT_EQ(result.pv, c.pv);
  EXPECT_EQ(result.bestmove, c.bestmove);
  ExpectEngineGone(dir);
}

INSTANTIATE_TEST_SUITE_P(
    FakeEngines, RunUsiSearchAnswers,
    testing::Values(
        SearchCase{"LastDepthWins",
                   "    go*) say 'info depth 1 seldepth 1 score cp 50 nodes 10 pv 7g7f'\n"
                   "      say 'info depth 2 score cp 40 pv 7g7f 3c3d'\n"
                   "      say 'info depth 3 score cp 60 pv 2g2f 8c8d 2f2e'\n"
                   "      say 'info depth 3 nodes 999 nps 5000'\n"
                   "      say 'bestmove 2g2f ponder 8c8d' ;;\n",
                   false, 5000, {"2g2f", "8c8d", "2f2e"}, "2g2f"},
        SearchCase{"OnlyMultiPv1Counts",
                   "    go*) say 'info depth 1 multipv 1 pv 7g7f 3c3d'\n"
                   "      say 'info depth 2 multipv 1 score cp 9 pv 7g7f 8c8d 8h2b+'\n"
                   "      say 'info depth 2 multipv 2 pv P*5e'\n"
                   "      say 'info depth 2 multipv 10 pv 1g1f'\n"
                   "      say 'info depth 2 multipv 4294967297 pv 9g9f'\n"
                   "      say 'bestmove 7g7f' ;;\n",
                   false, 5000, {"7g7f", "8c8d", "8h2b+"}, "7g7f"},
        SearchCase{"InfoStringIsIgnored",
                   "    go*) say 'info depth 1 pv 7g7f'\n"
                   "      say 'info string the pv is 1a1b'\n"
                   "      say 'info string multipv 1 pv 5i5h'\n"
                   "      say 'info depth 2 string pv 9g9f'\n"
                   "      say 'bestmove 7g7f' ;;\n",
                   false, 5000, {"7g7f"}, "7g7f"},
        SearchCase{"CrlfLineEnds",
                   "    go*) say 'info depth 1 pv 7g7f 3c3d'; say 'bestmove 7g7f' ;;\n", true, 5000,
                   {"7g7f", "3c3d"}, "7g7f"},
        SearchCase{"SplitAndOverlongLines",
                   "    go*) printf 'info depth 1 pv 7g'; sleep 0.1; printf '7f 3c3d\\n'\n"
                   "      printf 'info string '\n"
                   "      dd if=/dev/zero bs=1000 count=100 2>/dev/null | tr '\\0' x; say\n"
                   "      say 'bestmove 7g7f' ;;\n",
                   false, 5000, {"7g7f", "3c3d"}, "7g7f"},
        SearchCase{"BestMoveAfterStop",
                   "    go*) say 'info depth 1 pv 7g7f'; say 'info depth 2 pv 7g7f 3c3d' ;;\n"
                   "    stop) say 'bestmove 7g7f ponder 3c3d' ;;\n",
                   false, 300, {"7g7f", "3c3d"}, "7g7f"},
        SearchCase{"ResignWithoutPv", "    go*) say 'bestmove resign' ;;\n", false, 5000, {},
                   "resign"}),
    [](const testing::TestParamInfo<SearchCase>& info) { return info.param.name; });

struct FailureCase {
  const char* name;
  const char* arms;
  bool exec;          // see WriteFakeEngine
  int handshake_ms;   // short only where the handshake is what fails: an answer that
                      // must come is given time even on a loaded machine
  const char* error;  // after 'usi engine "CMD": '
};

class RunUsiSearchFails : public testing::TestWithParam<FailureCase> {};

TEST_P(RunUsiSearchFails, NamesTheCommandAndWhatTheEngineDidLast) {
  const FailureCase& c = GetParam();
  ScratchDir dir;
  UsiSearch search;
  search.command = WriteFakeEngine(dir, c.arms, false, c.exec);
  search.sfen = kStartSfen;
  search.handshake_ms = c.handshake_ms;
  search.search_ms = 300;
  search.stop_ms = 200;
  UsiResult result;
  std::string error;
  EXPECT_FALSE(RunUsiSearch(search, &result, &error));
  EXPECT_EQ(error, "usi engine \"" + search.command + "\": " + c.error);
  ExpectEngineGone(dir);
  if (std::string(c.arms).find("sleeper") != std::string::npos) {
    const std::string sleeper = ReadWholeFile(dir.File("sleeper"));
    ASSERT_FALSE(sleeper.empty()) << "the fake engine started no sleep";
    EXPECT_TRUE(Gone(static_cast<pid_t>(std::atol(sleeper.c_str()))))
        << "the engine's own child " << sleeper << " outlived it";
  }
}

INSTANTIATE_TEST_SUITE_P(
    FakeEngines, RunUsiSearchFails,
    testing::Values(
        FailureCase{"NoUsiok", "    usi) say 'id author x' ;;\n", false, 300,
                    "no usiok within 300 ms (last line: \"id author x\")"},
        FailureCase{"NoReadyok", "    isready) ;;\n", false, 2000,
                    "no readyok within 2 s (last line: \"usiok\")"},
        FailureCase{"ExitsBeforeReadyok", "    isready) exit 3 ;;\n", false, 5000,
                    "exited with status 3 before readyok (last line: \"usiok\")"},
        // Run by exec, it holds the only read end of its stdin and closes it
        // before usiok: writing isready meets EPIPE, and must not raise SIGPIPE.
        FailureCase{"StopsReadingBeforeIsready",
                    "    usi) exec <&-; say usiok; sleep 0.2; exit 4 ;;\n", true, 5000,
                    "exited with status 4 before readyok (last line: \"usiok\")"},
        FailureCase{"ExitsDuringTheSearch", "    go*) say 'info depth 1 pv 7g7f'; exit 5 ;;\n",
                    false, 5000,
                    "exited with status 5 before bestmove (last line: \"info depth 1 pv 7g7f\")"},
        // Hangs in wait, answering neither stop nor quit; its sleep must die too.
        FailureCase{"HangsAfterGo",
                    "    go*) say 'info depth 1 pv 7g7f'\n"
                    "      sleep 30 & echo $! > sleeper; wait ;;\n",
                    false, 5000,
                    "no bestmove within 300 ms of go, nor 200 ms after stop"
                    " (last line: \"info depth 1 pv 7g7f\")"},
        FailureCase{"SaysNothing", "    usi) ;;\n", false, 300, "no usiok within 300 ms (no output)"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(RunUsiSearch, SaysSecondsForWholeSecondLimits) {
  ScratchDir dir;
  UsiSearch search;
  search.command = WriteFakeEngine(dir, "    usi) ;;\n");
  search.handshake_ms = 1000;
  UsiResult result;
  std::string error;
  EXPECT_FALSE(RunUsiSearch(search, &result, &error));
  EXPECT_EQ(error, "usi engine \"" + search.command + "\": no usiok within 1 s (no output)");
}

// A transcript and a fake engine that prints it, closes its output and reads
// on until its input closes must give the same result and message.
TEST(ReadUsiTranscript, AgreesWithAnEngineThatPrintsTheSameText) {
  const std::string transcripts[] = {
      "id name  Fake  Engine \r\nid author x\r\nusiok\r\nreadyok\n"
      "info depth 1 multipv 1 pv 7g7f 3c3d\ninfo string pv 1a1b\n"
      "info depth 2 multipv 2 pv 2g2f\ninfo string " + std::string(70000, 'x') + "\n"
      "info depth 2 pv 7g7f 8c8d 8h2b+\r\nbestmove 7g7f ponder 8c8d",
      "usiok\nreadyok\ninfo depth 1 pv 7g7f\r\n\n\x01\tok\r",
      "",
  };
  for (const std::string& text : transcripts) {
    const std::string quoted = text.substr(0, 30);
    UsiResult expected;
    std::string expected_error;
    const bool read = ReadUsiTranscript(text, &expected, &expected_error);
    ScratchDir dir;
    UsiSearch search;
    search.command = "cat '" + dir.Write("output", text) + "'; exec >&-; cat >/dev/null";
    search.sfen = kStartSfen;
    search.handshake_ms = 5000;
    search.search_ms = 5000;
    UsiResult result;
    std::string error;
    ASSERT_EQ(RunUsiSearch(search, &result, &error), read) << quoted << ": " << error;
    EXPECT_EQ(result.engine_name, expected.engine_name) << quoted;
    EXPECT_EQ(result.pv, expected.pv) << quoted;
    EXPECT_EQ(result.bestmove, expected.bestmove) << quoted;
    if (!read) {
      EXPECT_EQ(error, "usi engine \"" + search.command + "\": " + expected_error);
    }
  }
  UsiResult result;
  std::string error;
  ASSERT_TRUE(ReadUsiTranscript(transcripts[0], &result, &error)) << error;
  EXPECT_EQ(result.engine_name, "Fake  Engine");
  EXPECT_EQ(result.pv, (std::vector<std::string>{"7g7f", "8c8d", "8h2b+"}));
  EXPECT_EQ(result.bestmove, "7g7f");
  EXPECT_FALSE(ReadUsiTranscript(transcripts[1], &result, &error));
  EXPECT_EQ(error, "closed its output before bestmove (last line: \"??ok\")");
}

TEST(RunUsiSearch, FairyStockfishWhenInstalled) {
  constexpr const char* kEngine = "/usr/games/fairy-stockfish";
  if (access(kEngine, X_OK) != 0) {
    GTEST_SKIP() << kEngine << " is missing (apt-get install fairy-stockfish): not tried";
  }
  UsiSearch search;
  search.command = kEngine;
  search.sfen = kStartSfen;
  search.go = "depth 5";
  UsiResult result;
  std::string error;
  ASSERT_TRUE(RunUsiSearch(search, &result, &error)) << error;
  EXPECT_EQ(result.engine_name.rfind("Fairy-Stockfish", 0), 0u) << result.engine_name;
  ASSERT_FALSE(result.pv.empty());
  EXPECT_EQ(result.pv[0], result.bestmove);
  for (const std::string& move : result.pv) EXPECT_TRUE(IsUsiMove(move)) << move;
}

}  // namespace
}  // namespace fvscope
