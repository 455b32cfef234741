#include "app/usi_engine.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fvscope {

namespace {

using Clock = std::chrono::steady_clock;
using Tokens = std::vector<std::string>;

constexpr size_t kMaxLineBytes = 64 * 1024;  // the rest of a longer line is dropped
constexpr size_t kQuotedBytes = 200;         // of the last line, in a message
constexpr int kQuitWaitMs = 1000;            // for the engine to exit after "quit"
constexpr size_t kReadBytes = 4096;          // taken from the engine's output at a time
constexpr const char* kClosedText = "closed its output";

// "10 s" for a whole number of seconds, else "250 ms".
std::string LimitText(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// The tokens of line, split at spaces and tabs.
Tokens SplitTokens(const std::string& line) {
  Tokens tokens;
  size_t begin = 0;
  while ((begin = line.find_first_not_of(" \t", begin)) != std::string::npos) {
    const size_t end = std::min(line.find_first_of(" \t", begin), line.size());
    tokens.push_back(line.substr(begin, end - begin));
    begin = end;
  }
  return tokens;
}

// The text of line after its first count tokens, without surrounding blanks.
std::string TextAfterTokens(const std::string& line, int count) {
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos) return "";
    at = line.find_first_of(" \t", at);
    if (at == std::string::npos) return "";
  }
  const size_t begin = line.find_first_not_of(" \t", at);
  if (begin == std::string::npos) return "";
  return line.substr(begin, line.find_last_not_of(" \t") + 1 - begin);
}

// Takes the PV and score of an info line of multipv 1 (no multipv token
// counts as 1) into *result; any other line, "info string ..." included,
// leaves it alone.
void TakePv(const Tokens& tokens, UsiResult* result) {
  if (tokens.empty() || tokens[0] != "info") return;
  bool has_score = false, mate = false;
  long score = 0;
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i] == "string") return;
    if (tokens[i] == "multipv" && i + 1 < tokens.size()) {
      if (std::strtol(tokens[++i].c_str(), nullptr, 10) != 1) return;
    } else if (tokens[i] == "score" && i + 2 < tokens.size() &&
               (tokens[i + 1] == "cp" || tokens[i + 1] == "mate")) {
      has_score = true;
      mate = tokens[i + 1] == "mate";
      score = std::clamp(std::strtol(tokens[i + 2].c_str(), nullptr, 10), -1000000000L,
                         1000000000L);
      i += 2;
    } else if (tokens[i] == "pv") {
      result->pv.assign(tokens.begin() + static_cast<long>(i) + 1, tokens.end());
      break;
    }
  }
  if (has_score) {
    result->has_score = true;
    result->mate = mate;
    result->score = static_cast<int32_t>(score);
  }
}

// Writes all of text to fd. Returns false when it cannot, as when the reader
// has exited (EPIPE); the SIGPIPE that raises is discarded, not delivered.
bool WriteAll(int fd, const std::string& text) {
  sigset_t pipe_signal, old_mask, pending;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  bool ok = true;
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n >= 0) {
      done += static_cast<size_t>(n);
    } else if (errno != EINTR) {
      if (errno == EPIPE && !was_pending) {
        const timespec zero = {0, 0};
        while (sigtimedwait(&pipe_signal, nullptr, &zero) < 0 && errno == EINTR) {
        }
      }
      ok = false;
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  return ok;
}

// Closes *fd when open and marks it closed.
void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

enum class ReadStatus { kLine, kTimeout, kEnded };

// The engine's output as it is cut into lines.
struct LineSplitter {
  std::string_view pending;  // bytes read and not yet split into lines
  std::string partial;       // the line being read, at most kMaxLineBytes
  bool ended = false;        // the output is closed and pending was read whole
  std::string last_line;     // the last line that was not empty, at most kQuotedBytes
};

// Moves the line read so far into *line, without a "\r" at its end.
void TakeLine(LineSplitter* splitter, std::string* line) {
  std::string& partial = splitter->partial;
  if (!partial.empty() && partial.back() == '\r') partial.pop_back();
  line->swap(partial);
  partial.clear();
  if (!line->empty()) splitter->last_line.assign(*line, 0, kQuotedBytes);
}

// Takes the next line of the pending bytes into *line, without its "\n" or
// "\r\n" and cut to kMaxLineBytes: true when one ends there, or when the
// output has ended after a line without a "\n". False when more bytes are
// needed or there are no more lines.
bool NextLine(LineSplitter* splitter, std::string* line) {
  std::string_view& pending = splitter->pending;
  while (!pending.empty()) {
    const size_t newline = pending.find('\n');
    const size_t length = std::min(newline, pending.size());
    splitter->partial.append(pending.data(),
                             std::min(length, kMaxLineBytes - splitter->partial.size()));
    pending.remove_prefix(newline == std::string_view::npos ? length : length + 1);
    if (newline != std::string_view::npos) {
      TakeLine(splitter, line);
      return true;
    }
  }
  if (!splitter->ended || splitter->partial.empty()) return false;
  TakeLine(splitter, line);
  return true;
}

// " (last line: "...")" quoting the last line that was not empty, control
// characters as '?', or " (no output)".
std::string LastLineNote(const LineSplitter& splitter) {
  if (splitter.last_line.empty()) return " (no output)";
  std::string quoted = splitter.last_line;
  for (char& c : quoted) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return " (last line: \"" + quoted + "\")";
}

// The engine: a child process in its own process group, with pipes on its
// stdin and stdout.
class Engine {
 public:
  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Ends the engine: "quit", up to kQuitWaitMs for it to exit, then SIGKILL
  // to its process group; reaps it.
  ~Engine();

  // Starts /bin/sh -c command. Returns false with *error set to the reason
  // when it cannot be started.
  bool Start(const std::string& command, std::string* error);

  // Sends line and a line end. Returns false when the engine reads no more.
  bool Send(const std::string& line) { return WriteAll(to_, line + "\n"); }

  // Reads the engine's next line, without its "\n" or "\r\n", into *line.
  // Returns kTimeout when deadline passes first and kEnded when the engine
  // has closed its output and every line was read.
  ReadStatus Read(Clock::time_point deadline, std::string* line);

  // How the engine ended, given up to kQuitWaitMs to exit: "exited with
  // status 3", "was stopped by signal 9", or what it closed.
  std::string EndText();

  // " (last line: "...")" quoting the last line the engine wrote that was
  // not empty, or " (no output)".
  std::string LastLineNote() const { return fvscope::LastLineNote(output_); }

 private:
  // True when the engine has exited, waiting up to wait_ms for it. It is
  // left a zombie so that its process group cannot be reused before the kill.
  bool Exited(int wait_ms);

  pid_t pid_ = -1;
  int to_ = -1;    // the engine's stdin
  int from_ = -1;  // the engine's stdout
  bool exited_ = false;
  siginfo_t exit_ = {};  // how it exited, when exited_
  char buffer_[kReadBytes];
  LineSplitter output_;  // its pending bytes lie in buffer_
};

Engine::~Engine() {
  if (pid_ > 0) {
    if (!Exited(0)) Send("quit");
    CloseFd(&to_);
    CloseFd(&from_);
    Exited(kQuitWaitMs);
    kill(-pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  CloseFd(&to_);
  CloseFd(&from_);
}

bool Engine::Start(const std::string& command, std::string* error) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, report[2] = {-1, -1};
  auto close_all = [&] {
    for (int* fd : {&in[0], &in[1], &out[0], &out[1], &report[0], &report[1]}) CloseFd(fd);
  };
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    close_all();
    return false;
  }
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The child: only async-signal-safe calls from here to exec.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &default_action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Copies above 2 first, so that dup2 never meets a pipe already on 0 or 1.
    const int stdin_copy = fcntl(in[0], F_DUPFD_CLOEXEC, 3);
    const int stdout_copy = fcntl(out[1], F_DUPFD_CLOEXEC, 3);
    if (stdin_copy >= 0 && stdout_copy >= 0 && dup2(stdin_copy, 0) == 0 &&
        dup2(stdout_copy, 1) == 1) {
      execv("/bin/sh", const_cast<char* const*>(argv));
    }
    const int code = errno;
    [[maybe_unused]] const ssize_t sent = write(report[1], &code, sizeof code);
    _exit(127);
  }
  const int fork_error = errno;
  CloseFd(&in[0]);
  CloseFd(&out[1]);
  CloseFd(&report[1]);
  if (pid < 0) {
    *error = std::strerror(fork_error);
    close_all();
    return false;
  }
  setpgid(pid, pid);  // the child does it too; whichever comes first
  pid_ = pid;
  to_ = in[1];
  from_ = out[0];
  // The report pipe closes on exec, or brings the errno of a failed one.
  int code = 0;
  ssize_t n;
  while ((n = read(report[0], &code, sizeof code)) < 0 && errno == EINTR) {
  }
  CloseFd(&report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    *error = std::string("/bin/sh: ") + std::strerror(code);
    return false;
  }
  return true;
}

ReadStatus Engine::Read(Clock::time_point deadline, std::string* line) {
  for (;;) {
    if (NextLine(&output_, line)) return ReadStatus::kLine;
    if (output_.ended) return ReadStatus::kEnded;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReadStatus::kTimeout;
    pollfd ready = {from_, POLLIN, 0};
    const int count = poll(&ready, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (count == 0 || (count < 0 && errno == EINTR)) continue;
    const ssize_t n = count < 0 ? -1 : read(from_, buffer_, sizeof buffer_);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      output_.ended = true;
    } else {
      output_.pending = std::string_view(buffer_, static_cast<size_t>(n));
    }
  }
}

bool Engine::Exited(int wait_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (!exited_) {
    siginfo_t info = {};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      if (info.si_pid == pid_) {
        exit_ = info;
        exited_ = true;
      }
    } else if (errno == ECHILD) {
      exited_ = true;  // reaped behind our back: the status is unknown
    }
    if (exited_ || Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return exited_;
}

std::string Engine::EndText() {
  if (!Exited(kQuitWaitMs)) return output_.ended ? kClosedText : "stopped reading its input";
  switch (exit_.si_code) {
    case CLD_EXITED:
      return "exited with status " + std::to_string(exit_.si_status);
    case CLD_KILLED:
    case CLD_DUMPED:
      return "was stopped by signal " + std::to_string(exit_.si_status);
    default:
      return "exited";
  }
}

// An engine's whole output given as text, read as a pipe gives it: in
// pieces of kReadBytes. What is sent to it is discarded.
class Transcript {
 public:
  explicit Transcript(std::string_view text) : unread_(text) {}

  // Discards line; the transcript always reads.
  bool Send(const std::string&) { return true; }

  // As Engine::Read; the whole output is there at once, so no deadline passes.
  ReadStatus Read(Clock::time_point, std::string* line) {
    for (;;) {
      if (NextLine(&output_, line)) return ReadStatus::kLine;
      if (output_.ended) return ReadStatus::kEnded;
      if (unread_.empty()) {
        output_.ended = true;
      } else {
        output_.pending = unread_.substr(0, kReadBytes);
        unread_.remove_prefix(output_.pending.size());
      }
    }
  }

  // The transcript ends by closing its output.
  std::string EndText() const { return kClosedText; }

  // As Engine::LastLineNote.
  std::string LastLineNote() const { return fvscope::LastLineNote(output_); }

 private:
  std::string_view unread_;  // not yet handed to output_
  LineSplitter output_;
};

enum class Wait { kFound, kTimeout, kEnded };

// Reads the peer's lines for up to ms until one whose first token is word,
// which goes into *found (when not null); every other line goes to see.
template <typename Peer>
Wait ReadUntil(Peer* peer, const char* word, int ms,
               const std::function<void(const std::string&, const Tokens&)>& see, Tokens* found) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  std::string line;
  for (;;) {
    switch (peer->Read(deadline, &line)) {
      case ReadStatus::kTimeout:
        return Wait::kTimeout;
      case ReadStatus::kEnded:
        return Wait::kEnded;
      case ReadStatus::kLine:
        break;
    }
    Tokens tokens = SplitTokens(line);
    if (!tokens.empty() && tokens[0] == word) {
      if (found != nullptr) *found = std::move(tokens);
      return Wait::kFound;
    }
    see(line, tokens);
  }
}

// Fails for want of the line awaited: it did not come within ms, or the
// peer ended first.
template <typename Peer>
bool FailWaiting(Peer* peer, Wait wait, const std::string& who, const std::string& awaited,
                 int ms, std::string* error) {
  *error = who +
           (wait == Wait::kTimeout ? "no " + awaited + " within " + LimitText(ms)
                                   : peer->EndText() + " before " + awaited) +
           peer->LastLineNote();
  return false;
}

// Says usi and isready to peer and waits for usiok and readyok; the name
// the engine gives goes into *name.
template <typename Peer>
bool Handshake(Peer* peer, int handshake_ms, const std::string& who, std::string* name,
               std::string* error) {
  auto take_name = [name](const std::string& line, const Tokens& tokens) {
    if (tokens.size() >= 2 && tokens[0] == "id" && tokens[1] == "name") {
      *name = TextAfterTokens(line, 2);
    }
  };
  Wait wait =
      peer->Send("usi") ? ReadUntil(peer, "usiok", handshake_ms, take_name, nullptr) : Wait::kEnded;
  if (wait != Wait::kFound) return FailWaiting(peer, wait, who, "usiok", handshake_ms, error);
  auto ignore = [](const std::string&, const Tokens&) {};
  wait = peer->Send("isready") ? ReadUntil(peer, "readyok", handshake_ms, ignore, nullptr)
                               : Wait::kEnded;
  if (wait != Wait::kFound) return FailWaiting(peer, wait, who, "readyok", handshake_ms, error);
  return true;
}

// Says usinewgame (when new_game), "position POSITION" and "go GO" to peer
// and reads up to bestmove into *result.
template <typename Peer>
bool Search(Peer* peer, bool new_game, const std::string& position, const std::string& go,
            int search_ms, int stop_ms, const std::string& who, UsiResult* result,
            std::string* error) {
  auto take_pv = [result](const std::string&, const Tokens& tokens) { TakePv(tokens, result); };
  Tokens bestmove;
  Wait wait = (!new_game || peer->Send("usinewgame")) && peer->Send("position " + position) &&
                      peer->Send("go " + go)
                  ? ReadUntil(peer, "bestmove", search_ms, take_pv, &bestmove)
                  : Wait::kEnded;
  if (wait == Wait::kTimeout) {
    wait = peer->Send("stop") ? ReadUntil(peer, "bestmove", stop_ms, take_pv, &bestmove)
                              : Wait::kEnded;
    if (wait == Wait::kTimeout) {
      *error = who + "no bestmove within " + LimitText(search_ms) + " of go, nor " +
               LimitText(stop_ms) + " after stop" + peer->LastLineNote();
      return false;
    }
  }
  if (wait != Wait::kFound) return FailWaiting(peer, wait, who, "bestmove", search_ms, error);
  result->bestmove = bestmove.size() >= 2 ? bestmove[1] : "";
  return true;
}

// The conversation of a search with peer (an Engine or a Transcript), from
// "usi" to "bestmove", as RunUsiSearch states it; *error begins with who.
template <typename Peer>
bool Converse(Peer* peer, const UsiSearch& search, const std::string& who, UsiResult* result,
              std::string* error) {
  return Handshake(peer, search.handshake_ms, who, &result->engine_name, error) &&
         Search(peer, true, "sfen " + search.sfen, search.go, search.search_ms, search.stop_ms, who,
                result, error);
}

}  // namespace

bool RunUsiSearch(const UsiSearch& search, UsiResult* result, std::string* error) {
  *result = UsiResult();
  const std::string who = "usi engine \"" + search.command + "\": ";
  Engine engine;
  std::string reason;
  if (!engine.Start(search.command, &reason)) {
    *error = who + "cannot be started (" + reason + ")";
    return false;
  }
  return Converse(&engine, search, who, result, error);
}

bool ReadUsiTranscript(std::string_view output, UsiResult* result, std::string* error) {
  *result = UsiResult();
  Transcript transcript(output);
  return Converse(&transcript, UsiSearch(), "", result, error);
}

struct UsiSession::Process {
  Engine engine;
};

UsiSession::UsiSession() = default;
UsiSession::~UsiSession() = default;

bool StartUsiSession(const std::string& command, int handshake_ms, UsiSession* session,
                     std::string* error) {
  session->who = "usi engine \"" + command + "\": ";
  session->process = std::make_unique<UsiSession::Process>();
  std::string reason;
  if (!session->process->engine.Start(command, &reason)) {
    *error = session->who + "cannot be started (" + reason + ")";
    return false;
  }
  return Handshake(&session->process->engine, handshake_ms, session->who, &session->engine_name,
                   error);
}

bool SearchUsiSession(UsiSession* session, bool new_game, const std::string& position,
                      const std::string& go, int search_ms, int stop_ms, UsiResult* result,
                      std::string* error) {
  *result = UsiResult();
  if (session->process == nullptr) {
    *error = "no usi engine was started";
    return false;
  }
  result->engine_name = session->engine_name;
  return Search(&session->process->engine, new_game, position, go, search_ms, stop_ms, session->who, result,
                error);
}

}  // namespace fvscope
