// A local HTTP server: routes requests by path and method to plain handler
// functions, refuses requests of other sites (Host, Origin, Sec-Fetch-Site),
// and bounds every request (its header section, its body, its time, the time
// its answer takes to be taken) and its stop. It knows nothing of what the
// handlers do.
#ifndef FVSCOPE_HTTP_HTTP_SERVER_H_
#define FVSCOPE_HTTP_HTTP_SERVER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "http/request_params.h"

namespace fvscope {

// A request as a handler gets it: read in full and within the limits.
struct HttpRequest {
  std::string method;                // "GET", "POST"
  std::string path;                  // URL-decoded, without the query
  std::string target;                // the path and query as sent
  std::vector<RequestParam> params;  // of the query
  std::string body;
};

// What a handler answers.
struct HttpAnswer {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // more fields ("Retry-After")
};

// Answers request into *answer; may run on many threads at once.
using HttpHandler = std::function<void(const HttpRequest& request, HttpAnswer* answer)>;

// A path and method and the handler that answers them; a path ending in '/'
// takes every path that starts with it when prefix is set.
struct HttpRoute {
  const char* method;
  std::string path;
  bool prefix;
  HttpHandler handler;
};

// The bounds of the server and of each request.
struct HttpLimits {
  size_t max_body = size_t{4} << 20;    // larger bodies answer 413
  size_t max_header = size_t{16} << 10;  // a larger header section closes the connection
  int request_seconds = 10;  // a request (header section and body) not read in full this
                             // long after its first byte is closed
  int answer_seconds = 10;   // an answer not taken by the client this long is closed
  int stop_milliseconds = 1800;  // a stop waits this long for the requests in flight
  int threads = 64;          // connections served at once
};

// The body of a refusal: {"error": message}.
std::string ErrorJson(const std::string& message);

// Blocks SIGINT and SIGTERM in the calling thread and the threads it starts
// from now on, so that ServeHttp alone takes them. Call it before any other
// thread starts.
void BlockStopSignals();

// Listens on host:port (port 0: a free one) and answers with routes until
// SIGINT or SIGTERM; then stops accepting, gives the requests in flight
// limits.stop_milliseconds to finish and returns true (a handler still
// running then ends the process, with status 0, as a stop must). A
// request's Host header must name host, 127.0.0.1, localhost or [::1] with
// the port, its Origin (when sent) http:// and such a name and port, and its
// Sec-Fetch-Site must not be cross-site or same-site (another site, another
// program on this host): else 403 before any handler runs. A path no route
// takes answers 404, one taken for another method 405. Every answer carries
// X-Content-Type-Options: nosniff and a Content-Security-Policy that allows
// the server's own scripts, styles and pictures and no framing. listening
// is called with the port once the server accepts connections. Returns
// false with *error naming the address when it cannot be bound.
bool ServeHttp(const std::string& host, int port, const std::vector<HttpRoute>& routes,
               const HttpLimits& limits, const std::function<void(int port)>& listening,
               std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_HTTP_HTTP_SERVER_H_
