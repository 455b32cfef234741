#include "http/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <httplib.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <nlohmann/json.hpp>
#include <thread>

namespace fvscope {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 5;      // an idle connection is closed after this
constexpr int kPollMilliseconds = 100;    // how soon a waiting connection sees the stop
constexpr size_t kKeepAliveRequests = 100000;
// After its last answer a connection that may still bring request bytes is
// half-closed and read to its end for at most this long: closing with bytes
// unread would reset it and lose the answer at the client.
constexpr int kLingerMilliseconds = 2000;

// What every answer may load: the server's own files and pictures (and the
// page's empty data: icon); no framing, no plugin, no other base.
constexpr const char* kContentPolicy =
    "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; "
    "form-action 'self'; frame-ancestors 'none'";

int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

// Set by a handler when the connection must close after its answer (a body
// left unread).
thread_local bool t_close_after = false;

// A connection's socket as httplib reads and writes it, with the bounds of
// each request: its header section at most max_header bytes, the whole
// request (header section and body) read before its deadline, its answer
// taken before another, and nothing past the stop's deadline (*stop_at, in
// NowMilliseconds). A request past any of them breaks the stream: nothing
// more is read or written and the connection closes.
class GuardedStream : public httplib::Stream {
 public:
  GuardedStream(int sock, const HttpLimits& limits, const std::atomic<int64_t>* stop_at)
      : sock_(sock), limits_(limits), stop_at_(stop_at) {}

  // Starts the bounds of the next request.
  void StartRequest() {
    header_bytes_ = 0;
    matched_ = 0;
    in_header_ = true;
    read_deadline_ = NowMilliseconds() + int64_t{limits_.request_seconds} * 1000;
    reading_ = true;
    answering_ = false;
  }

  // True when the request was not read in full before its deadline (not the
  // stop's) and nothing of an answer went out.
  bool TimedOutUnanswered() const { return timed_out_ && !answering_; }

  // True when the client closed its side or an answer could not be sent:
  // nothing it sends later can be answered.
  bool Gone() const { return eof_ || write_failed_; }

  // Sends text whole past a broken read, within the answer's time; false
  // when it could not.
  bool SendAll(const std::string& text) {
    broken_ = false;
    for (size_t sent = 0; sent < text.size();) {
      const ssize_t n = write(text.data() + sent, text.size() - sent);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads and drops what the client still sends until it closes, for at
  // most milliseconds (and not past the stop's deadline).
  void Drain(int milliseconds) {
    const int64_t deadline = NowMilliseconds() + milliseconds;
    for (;;) {
      if (!WaitFor(POLLIN, deadline)) return;
      if (::recv(sock_, buffer_, sizeof buffer_, MSG_DONTWAIT) <= 0 && errno != EAGAIN &&
          errno != EINTR) {
        return;
      }
    }
  }

  // The request is read: its time no longer counts, and the answer's starts
  // with its first byte (an interim "100 Continue" does not count).
  void EndReading() {
    reading_ = false;
    answering_ = false;
  }

  bool broken() const { return broken_; }
  bool has_buffered() const { return begin_ < end_; }

  bool is_readable() const override { return has_buffered() || WaitFor(POLLIN, 0); }
  bool is_writable() const override { return !broken_; }

  ssize_t read(char* ptr, size_t size) override {
    if (broken_) return -1;
    if (!has_buffered()) {
      const int64_t deadline =
          reading_ ? read_deadline_ : NowMilliseconds() + kKeepAliveSeconds * 1000;
      if (!WaitFor(POLLIN, deadline)) {
        broken_ = true;
        timed_out_ = reading_ && NowMilliseconds() >= read_deadline_;
        return -1;
      }
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, 0);
      if (n <= 0) {
        eof_ = true;
        return n;
      }
      begin_ = 0;
      end_ = static_cast<size_t>(n);
    }
    size_t n = std::min(size, end_ - begin_);
    if (in_header_) n = CountHeader(n);
    if (broken_) return -1;
    std::memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  // Writes what the socket takes now, waiting for room until the answer's
  // deadline (counted from its first byte).
  ssize_t write(const char* ptr, size_t size) override {
    // A request that broke (past its deadline, its header section too
    // large) gets no answer of httplib's.
    if (broken_) return -1;
    if (!answering_) {
      answering_ = true;
      write_deadline_ = NowMilliseconds() + int64_t{limits_.answer_seconds} * 1000;
    }
    while (!broken_) {
      if (!WaitFor(POLLOUT, write_deadline_)) break;
      const ssize_t n = ::send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) return n;
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
    }
    broken_ = true;
    write_failed_ = true;
    return -1;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  // Counts the first n buffered bytes into the header section, up to the
  // blank line that ends it; returns how many to hand on (the section's end
  // stops the count, so a body is never counted).
  size_t CountHeader(size_t n) {
    static const char kEnd[] = "\r\n\r\n";
    for (size_t i = 0; i < n; ++i) {
      const char c = buffer_[begin_ + i];
      matched_ = c == kEnd[matched_] ? matched_ + 1 : (c == '\r' ? 1 : 0);
      if (++header_bytes_ > limits_.max_header) {
        broken_ = true;
        return 0;
      }
      if (matched_ == 4) {
        in_header_ = false;
        return i + 1;
      }
    }
    return n;
  }

  // Waits for events on the socket until deadline (NowMilliseconds) or the
  // stop's; a deadline already past still looks once.
  bool WaitFor(short events, int64_t deadline) const {
    pollfd fd{sock_, events, 0};
    for (;;) {
      const int64_t left = std::min(deadline, stop_at_->load()) - NowMilliseconds();
      const int wait = static_cast<int>(std::clamp<int64_t>(left, 0, kPollMilliseconds));
      const int ready = ::poll(&fd, 1, wait);
      if (ready < 0 && errno == EINTR) continue;
      if (ready != 0) return ready > 0 && (fd.revents & (events | POLLHUP | POLLERR)) != 0;
      if (left <= kPollMilliseconds) return false;
    }
  }

  template <typename Get>
  void Address(Get get, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = 0;
    if (get(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
      const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
      inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
      port = ntohs(a->sin_port);
    } else if (address.ss_family == AF_INET6) {
      const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
      inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
      port = ntohs(a->sin6_port);
    }
    ip = text;
  }

  int sock_;
  HttpLimits limits_;
  const std::atomic<int64_t>* stop_at_;
  char buffer_[16384];
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t header_bytes_ = 0;
  int matched_ = 0;
  bool in_header_ = true;
  bool reading_ = true;
  bool answering_ = false;
  bool broken_ = false;
  bool timed_out_ = false;
  bool eof_ = false;
  bool write_failed_ = false;
  int64_t read_deadline_ = 0;
  int64_t write_deadline_ = 0;
};

// The whole answer to a request not read in full within its time: 408,
// with the headers every answer carries, and the connection closes.
std::string TimeoutAnswer(const HttpLimits& limits) {
  const std::string body = ErrorJson("the request was not read in full within " +
                                     std::to_string(limits.request_seconds) +
                                     " seconds of its first byte");
  return "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Type: application/json\r\n"
         "Content-Length: " + std::to_string(body.size()) +
         "\r\nX-Content-Type-Options: nosniff\r\nContent-Security-Policy: " + kContentPolicy +
         "\r\n\r\n" + body;
}

// httplib's server with the connection loop of GuardedStream.
class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(const HttpLimits& limits) : limits_(limits) {}

  // Marks the request read in full (its body too); called before its
  // handler runs.
  static void RequestRead() {
    if (t_stream != nullptr) t_stream->EndReading();
  }

  // Lets the kernel hold as many connections not yet accepted as it allows:
  // httplib listens with a backlog of 5, and past it a burst's connections
  // are dropped or reset before any request is read.
  bool WidenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }

  // Stops accepting; what is in flight may go on for limits.stop_milliseconds.
  void StopWithin() {
    stop_at_ = NowMilliseconds() + limits_.stop_milliseconds;
    stop();
  }

 private:
  bool stopping() const {
    return svr_sock_ == INVALID_SOCKET || stop_at_.load() != std::numeric_limits<int64_t>::max();
  }

  // Waits until sock has bytes to read; false when it idles past the
  // keep-alive time, closes or the server stops.
  bool WaitForRequest(int sock) const {
    for (int waited = 0; waited < kKeepAliveSeconds * 1000; waited += kPollMilliseconds) {
      // A request that has begun to come in is served even once stopping.
      pollfd fd{sock, POLLIN, 0};
      const int ready = ::poll(&fd, 1, kPollMilliseconds);
      if (ready > 0) return true;
      if (stopping() || (ready < 0 && errno != EINTR)) return false;
    }
    return false;
  }

  bool process_and_close_socket(socket_t sock) override {
    // Answers go out as written: a header and its body are not held back
    // for each other's acknowledgement.
    const int on = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    GuardedStream stream(sock, limits_, &stop_at_);
    t_stream = &stream;
    // Whether the client may still be sending when the loop ends.
    bool linger = false;
    for (size_t count = kKeepAliveRequests; count > 0; --count) {
      if (!stream.has_buffered() && !WaitForRequest(sock)) break;
      stream.StartRequest();
      t_close_after = false;
      bool closed = false;
      const bool answered = process_request(stream, count == 1 || stopping(), closed, nullptr);
      if (stream.TimedOutUnanswered()) stream.SendAll(timeout_answer_);
      linger = !stream.Gone();
      if (!answered || closed || stream.broken() || t_close_after || stopping()) break;
      linger = false;
    }
    t_stream = nullptr;
    if (linger) {
      ::shutdown(sock, SHUT_WR);
      stream.Drain(kLingerMilliseconds);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }


  static thread_local GuardedStream* t_stream;
  HttpLimits limits_;
  std::string timeout_answer_ = TimeoutAnswer(limits_);
  std::atomic<int64_t> stop_at_{std::numeric_limits<int64_t>::max()};
};

thread_local GuardedStream* GuardedServer::t_stream = nullptr;

// The route that takes path, with its method or any; nullptr for none.
const HttpRoute* FindRoute(const std::vector<HttpRoute>& routes, const std::string& path,
                           const std::string& method, bool* path_known) {
  *path_known = false;
  for (const HttpRoute& route : routes) {
    const bool takes = route.prefix ? path.rfind(route.path, 0) == 0 : path == route.path;
    if (!takes) continue;
    *path_known = true;
    if (method == route.method || (method == "HEAD" && std::strcmp(route.method, "GET") == 0)) {
      return &route;
    }
  }
  return nullptr;
}

// The methods routes take for path, as an Allow header lists them.
std::string AllowedMethods(const std::vector<HttpRoute>& routes, const std::string& path) {
  std::string allowed;
  for (const HttpRoute& route : routes) {
    const bool takes = route.prefix ? path.rfind(route.path, 0) == 0 : path == route.path;
    if (takes && allowed.find(route.method) == std::string::npos) {
      allowed += (allowed.empty() ? "" : ", ") + std::string(route.method);
    }
  }
  return allowed;
}

// True when host (a Host header) names one of names with port.
bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port) {
  const std::string suffix = ":" + std::to_string(port);
  for (const std::string& name : names) {
    if (host.size() == name.size() + suffix.size() &&
        strncasecmp(host.c_str(), name.c_str(), name.size()) == 0 &&
        host.compare(name.size(), std::string::npos, suffix) == 0) {
      return true;
    }
  }
  return false;
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(ErrorJson(message), "application/json");
}

// True when the value of an Origin header is http:// and one of names with
// port.
bool OriginAllowed(const std::string& origin, const std::vector<std::string>& names, int port) {
  constexpr std::string_view kScheme = "http://";
  return origin.size() > kScheme.size() && strncasecmp(origin.c_str(), kScheme.data(), kScheme.size()) == 0 &&
         HostAllowed(origin.substr(kScheme.size()), names, port);
}

// Waits for SIGINT or SIGTERM (blocked by BlockStopSignals) and stops
// server; ends without stopping it once *done is set. Requests still running
// past the stop's time end the process.
void WaitForStopSignal(GuardedServer* server, const std::atomic<bool>* done, int stop_milliseconds) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  const timespec step{0, kPollMilliseconds * 1000000L};
  while (!done->load()) {
    if (sigtimedwait(&signals, nullptr, &step) <= 0) continue;
    while (!server->is_running() && !done->load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server->StopWithin();
    // Past the stop's time and a little more for the connections to close.
    const int64_t last = NowMilliseconds() + stop_milliseconds + 150;
    while (!done->load() && NowMilliseconds() < last) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!done->load()) {
      std::fprintf(stderr, "fvscope: stopped with requests still running\n");
      std::fflush(stderr);
      _exit(0);
    }
    return;
  }
}

}  // namespace

std::string ErrorJson(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump(-1, ' ', false,
                                                   nlohmann::json::error_handler_t::replace) +
         "\n";
}

void BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool ServeHttp(const std::string& host, int port, const std::vector<HttpRoute>& routes,
               const HttpLimits& limits, const std::function<void(int port)>& listening,
               std::string* error) {
  GuardedServer server(limits);
  const int threads = limits.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(limits.max_body);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  // Only SO_REUSEADDR: httplib's default SO_REUSEPORT would let a second
  // server take a port in use.
  server.set_socket_options([](socket_t sock) {
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  std::vector<std::string> names = {"127.0.0.1", "localhost", "[::1]"};
  names.push_back(host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]"
                                                                             : host);
  int bound_port = port;

  server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                              {"Content-Security-Policy", kContentPolicy}});
  server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
    // A refusal leaves the body unread: the connection cannot go on.
    const auto refuse = [&](int status, const std::string& message) {
      t_close_after = req.has_header("Content-Length") || req.has_header("Transfer-Encoding");
      Refuse(res, status, message);
      return httplib::Server::HandlerResponse::Handled;
    };
    if (!HostAllowed(req.get_header_value("Host"), names, bound_port)) {
      return refuse(403, "the Host header must name this server (" + names[0] + ":" +
                             std::to_string(bound_port) + " or localhost)");
    }
    // Another site's page may send requests it cannot read the answers of;
    // they are refused before any work.
    if (req.has_header("Origin") &&
        !OriginAllowed(req.get_header_value("Origin"), names, bound_port)) {
      return refuse(403, "requests from another site's page are refused (Origin " +
                             req.get_header_value("Origin").substr(0, 100) + ")");
    }
    const std::string site = req.get_header_value("Sec-Fetch-Site");
    if (site == "cross-site" || site == "same-site") {
      return refuse(403, "requests from another site's page are refused (Sec-Fetch-Site " +
                             site + ")");
    }
    bool path_known = false;
    if (FindRoute(routes, req.path, req.method, &path_known) == nullptr) {
      if (!path_known) return refuse(404, "no such path");
      res.set_header("Allow", AllowedMethods(routes, req.path));
      return refuse(405, "this path does not take " + req.method);
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto dispatch = [&](const httplib::Request& req, httplib::Response& res) {
    GuardedServer::RequestRead();
    HttpRequest request;
    request.method = req.method;
    request.path = req.path;
    request.target = req.target;
    const size_t query = req.target.find('?');
    std::string why;
    if (query != std::string::npos &&
        !ParseRequestParams(std::string_view(req.target).substr(query + 1), &request.params,
                            &why)) {
      Refuse(res, 400, why);
      return;
    }
    request.body = req.body;
    bool path_known = false;
    const HttpRoute* route = FindRoute(routes, req.path, req.method, &path_known);
    HttpAnswer answer;
    route->handler(request, &answer);
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    res.status = answer.status;
    res.set_content(std::move(answer.body), answer.content_type.c_str());
  };
  server.Get(".*", dispatch);
  server.Post(".*", dispatch);
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.status == 413) t_close_after = true;
    if (!res.body.empty()) return;
    const char* what = res.status == 413 ? "the body is larger than the server takes"
                       : res.status == 414 ? "the URL is too long"
                                           : "the request cannot be read";
    Refuse(res, res.status, what);
  });
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr thrown) {
        std::string what = "the request failed";
        try {
          std::rethrow_exception(thrown);
        } catch (const std::exception& e) {
          what += std::string(" (") + e.what() + ")";
        } catch (...) {
        }
        Refuse(res, 500, what);
      });

  errno = 0;
  const bool bound = port == 0 ? (bound_port = server.bind_to_any_port(host)) > 0
                               : server.bind_to_port(host, port);
  if (!bound) {
    const int why = errno;
    *error = host + ":" + std::to_string(port) + ": cannot listen here" +
             (why != 0 ? std::string(" (") + std::strerror(why) + ")" : std::string());
    return false;
  }
  if (!server.WidenBacklog()) {
    *error = host + ":" + std::to_string(bound_port) + ": cannot listen here (" +
             std::strerror(errno) + ")";
    return false;
  }
  std::atomic<bool> done{false};
  std::thread stopper(WaitForStopSignal, &server, &done, limits.stop_milliseconds);
  listening(bound_port);
  server.listen_after_bind();
  done = true;
  stopper.join();
  return true;
}

}  // namespace fvscope
