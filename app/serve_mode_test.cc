// The server through the real executable: every kind of answer equals the
// command line's --json=- but for the pictures' URLs; refusals, hostile and
// slow requests, many clients at once, and a stop in the middle of a request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "render/image_file.h"
#include "test/eval_files.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"
#include "tools/sample_net.h"

namespace fvscope {
namespace {

using Clock = std::chrono::steady_clock;

// A folder with fv.bin (random KPP values for the king squares of the
// start, random KKP values for those kings) and fv2.bin (another draw), a
// record of each format and a corpus of them.
struct ServeFolder {
  ServeFolder() {
    dir.Write("work/corpus/.keep", "");
    path = dir.File("work");
    WriteRandomFile(path + "/fv.bin", 1);
    WriteRandomFile(path + "/fv2.bin", 2);
    const std::string source = FVSCOPE_SOURCE_DIR;
    for (const char* sample : {"/samples/records/even.kif", "/samples/opening/game000.csa"}) {
      const std::string name = std::filesystem::path(sample).filename();
      std::filesystem::copy_file(source + sample, path + "/" + name);
      std::filesystem::copy_file(source + sample, path + "/corpus/" + name);
    }
  }
  static void WriteRandomFile(const std::string& file, uint32_t seed) {
    WriteEvalFile(file, {});
    std::mt19937 random(seed);
    std::vector<int16_t> values(kKppTriangleValues);
    for (int16_t& v : values) v = static_cast<int16_t>(static_cast<int>(random() % 4001) - 2000);
    const int fd = open(file.c_str(), O_WRONLY);
    for (int k : {76, 75, 77, 67}) {
      ASSERT_EQ(pwrite(fd, values.data(), values.size() * 2, KppOffset(k, 0, 0)),
                static_cast<ssize_t>(values.size() * 2));
    }
    ASSERT_EQ(pwrite(fd, values.data(), kSquares * kKkpFeatures * 2, KkpOffset(76, 0, 0)),
              static_cast<ssize_t>(kSquares * kKkpFeatures * 2));
    close(fd);
  }
  ScratchDir dir;
  std::string path;
};

// A running "fvscope --serve=127.0.0.1:0 args" in a folder.
struct Server {
  Server(const std::string& workdir, const std::vector<std::string>& args) {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      const int err = open((workdir + ".server.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, 2);
      close(out[0]);
      if (chdir(workdir.c_str()) != 0) _exit(127);
      std::vector<const char*> argv = {FVSCOPE_BINARY, "--serve=127.0.0.1:0"};
      for (const std::string& a : args) argv.push_back(a.c_str());
      argv.push_back(nullptr);
      execv(FVSCOPE_BINARY, const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    close(out[1]);
    stdout_pipe = fdopen(out[0], "r");
    char line[256] = "";
    // The line that names the port: waited for, as a user would.
    if (std::fgets(line, sizeof line, stdout_pipe) != nullptr) {
      std::smatch m;
      const std::string text = line;
      if (std::regex_search(text, m, std::regex("^fvscope: serving http://127\\.0\\.0\\.1:(\\d+)/ \\(Ctrl-C stops\\)\n$"))) {
        port = std::stoi(m[1]);
      }
    }
    EXPECT_GT(port, 0) << "line: " << line;
  }
  ~Server() {
    if (pid > 0) Stop();
    if (stdout_pipe != nullptr) fclose(stdout_pipe);
  }
  // Sends SIGTERM; returns the exit status (-1 when killed).
  int Stop() {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    return client;
  }
  pid_t pid = -1;
  int port = 0;
  FILE* stdout_pipe = nullptr;
};

// The document with every "picture" field's value replaced by P.
std::string WithoutPictures(const std::string& document) {
  return std::regex_replace(document, std::regex("\"picture\": \"[^\"]*\""), "\"picture\": P");
}

// A picture file's size and pixels (BGR rows) as the tool's own reader
// decodes them, empty when it does not read.
std::string PixelsOf(const std::string& path) {
  cv::Mat picture;
  std::string error;
  if (!ReadImageFile(path, &picture, &error) || picture.empty()) return "";
  std::string pixels = std::to_string(picture.cols) + "x" + std::to_string(picture.rows) + ":";
  for (int y = 0; y < picture.rows; ++y) {
    pixels.append(picture.ptr<char>(y), static_cast<size_t>(picture.cols) * picture.elemSize());
  }
  return pixels;
}

// A connection to the server on port; -1 when it cannot be made.
int Connect(int port) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  timeval timeout{15, 0};
  setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return sock;
}

// Reads what comes on sock until the server closes it (or 15 s pass).
std::string ReadToClose(int sock) {
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = recv(sock, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  close(sock);
  return answer;
}

// Sends request on a new connection and returns what comes back.
std::string RawExchange(int port, const std::string& request) {
  const int sock = Connect(port);
  (void)!send(sock, request.data(), request.size(), MSG_NOSIGNAL);
  return ReadToClose(sock);
}

// Each kind of request against the command line's document, with and
// without a second file.
TEST(Serve, AnswersAreTheCommandLinesDocuments) {
  ServeFolder folder;
  for (const bool comparing : {false, true}) {
    std::vector<std::string> start = {"--corpus=corpus"};
    const std::string compare = comparing ? " --compare=fv2.bin" : "";
    if (comparing) start.push_back("--compare=fv2.bin");
    Server server(folder.path, start);
    httplib::Client client = server.Client();
    struct Case {
      std::string get;    // the request (a POST when body is set)
      std::string body;   // a record file's name in the folder
      std::string args;   // the same run on the command line
    };
    const std::vector<Case> cases = {
        {"/api/position", "", "--position=startpos"},
        {"/api/position?position=startpos%20moves%207g7f%203c3d&pv=2g2f,8c8d&sort=1&pieces=1", "",
         "--position='startpos moves 7g7f 3c3d' --pv=2g2f,8c8d --pieces 1"},
        {"/api/position?ply=6&sort=2", "even.kif", "--position=even.kif --ply=6 2"},
        {"/api/position?pv=%2B7776FU", "game000.csa", "--position=game000.csa --pv=+7776FU"},
        {"/api/game", "even.kif", "--game=even.kif"},
        {"/api/scan?square=76&sort=1", "", "1 76"},
        {"/api/map?king=%2B59OU&piece=%2B58KI", "", "--map=+59OU:+58KI"},
        {"/api/map?king=%2B59OU&piece=-51OU", "", "--map=+59OU:-51OU"},
        {"/api/census", "", "--census"},
        {"/api/squares?position=startpos&pv=7g7f&piece=-82HI", "",
         "--position=startpos --pv=7g7f --squares=-82HI"},
    };
    for (const Case& c : cases) {
      const ToolRun expected = RunTool(folder.path, c.args + compare + " --json=-");
      httplib::Result got =
          c.body.empty() ? client.Get(c.get)
                         : client.Post(c.get, ReadWholeFile(folder.path + "/" + c.body), "text/plain");
      ASSERT_TRUE(got) << c.get;
      if (expected.status != 0) {
        // A refused run: the refusal is the command line's.
        EXPECT_EQ(got->status, 400) << c.get;
        EXPECT_NE(expected.err.find(nlohmann::json::parse(got->body)["error"].get<std::string>()),
                  std::string::npos)
            << expected.err << got->body;
        continue;
      }
      EXPECT_EQ(got->status, 200) << c.get << got->body;
      EXPECT_EQ(got->get_header_value("Content-Type"), "application/json");
      // The record's name differs: the command line names the file.
      EXPECT_EQ(WithoutPictures(got->body), WithoutPictures(expected.out)) << c.get << compare;
    }
    // The corpus, once evaluated in the background.
    std::string corpus;
    for (const auto began = Clock::now(); Clock::now() - began < std::chrono::seconds(60);) {
      httplib::Result got = client.Get("/api/corpus");
      ASSERT_TRUE(got);
      corpus = got->body;
      if (got->status != 503) break;
      // How far it is: files read of those listed, positions evaluated.
      const nlohmann::json far = nlohmann::json::parse(got->body);
      EXPECT_LE(far["files_read"].get<int64_t>(), far["files"].get<int64_t>());
      EXPECT_GE(far["positions_read"].get<int64_t>(), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(WithoutPictures(corpus),
              WithoutPictures(RunTool(folder.path, "--corpus=corpus --json=-" + compare).out));
    EXPECT_EQ(server.Stop(), 0);
  }
}

// A ranking's picture URL draws the picture the command line saves.
TEST(Serve, PictureUrlsDrawTheCommandLinesPictures) {
  ServeFolder folder;
  Server server(folder.path, {});
  httplib::Client client = server.Client();
  httplib::Result answer = client.Get("/api/position?position=startpos&pv=7g7f&pieces=1");
  ASSERT_TRUE(answer);
  const nlohmann::json document = nlohmann::json::parse(answer->body);
  const std::string rank2 = document["ranking"][1]["picture"];
  ASSERT_EQ(rank2.rfind("/api/picture/position/rank002.png?", 0), 0u) << rank2;
  ASSERT_EQ(RunTool(folder.path, "--position=startpos --pv=7g7f --pieces").status, 0);
  for (const std::string name : {"rank002", "leaf", "pieces"}) {
    const std::string url = std::regex_replace(rank2, std::regex("rank002"), name);
    for (int twice = 0; twice < 2; ++twice) {  // drawn, then from the cache
      httplib::Result png = client.Get(url);
      ASSERT_TRUE(png);
      ASSERT_EQ(png->status, 200) << url << png->body;
      EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
      folder.dir.Write("served.png", png->body);
      const std::string served = PixelsOf(folder.dir.File("served.png"));
      const std::string saved = PixelsOf(folder.path + "/log/" + name + ".png");
      ASSERT_FALSE(served.empty());
      EXPECT_TRUE(served == saved) << name;
    }
  }
  EXPECT_EQ(client.Get("/api/picture/position/rank999.png?position=startpos")->status, 404);
  EXPECT_EQ(client.Get("/api/picture/census/census.png")->status, 200);
}

// A USI position text of plies moves: the kings step out and back.
std::string KingWalk(int plies) {
  static const char* const kSteps[] = {"5i5h", "5a5b", "5h5i", "5b5a"};
  std::string text = "startpos moves";
  for (int i = 0; i < plies; ++i) text += std::string(" ") + kSteps[i % 4];
  return text;
}

// One row per refusal: the status, for the command line's refusals its
// message, for the server's own the words it must hold.
TEST(Serve, RefusalsAnswerWithTheirStatusAndTheServerGoesOn) {
  ServeFolder folder;
  Server server(folder.path, {});
  httplib::Client client = server.Client();
  const std::string origin = "http://127.0.0.1:" + std::to_string(server.port);
  struct Row {
    const char* method;
    std::string target;
    std::string body;
    int status;
    std::string args;  // the command line that refuses the same, when there is one
    httplib::Headers headers = {};
    std::string says = "";  // what the server's own refusal says
  };
  const std::vector<Row> rows = {
      {"GET", "/api/position?position=sfen%20x", "", 400, "--position='sfen x'"},
      {"GET", "/api/position?pv=7g7e", "", 400, "--position=startpos --pv=7g7e"},
      {"GET", "/api/position?pv=7g7f&usi=0&ply=x", "", 400, "", {}, "ply takes a whole number"},
      {"GET", "/api/position?ply=1e3", "", 400, "", {}, "ply takes a whole number, not \"1e3\""},
      {"GET", "/api/scan?square=abc", "", 400, "", {}, "square takes a whole number"},
      {"GET", "/api/scan?square=40&sort=1&square=41", "", 400, "", {}, "parameter square twice"},
      {"POST", "/api/game", KingWalk(10001), 413, "", {}, "at most 10000"},
      {"POST", "/api/position", KingWalk(10001), 413, "", {}, "at most 10000"},
      {"GET", "/api/scan?square=40", "", 403, "", {{"Origin", "http://evil.example"}}, "Origin"},
      {"POST", "/api/game", "startpos", 403, "", {{"Origin", "http://127.0.0.1:1"}}, "Origin"},
      {"POST", "/api/game", "startpos", 403, "", {{"Origin", "null"}}, "Origin"},
      {"GET", "/api/position?usi=1", "", 403, "", {{"Sec-Fetch-Site", "cross-site"}}, "another site"},
      {"GET", "/api/scan?square=40", "", 200, "", {{"Origin", origin}, {"Sec-Fetch-Site", "same-origin"}}},
      {"POST", "/api/game", KingWalk(10000), 200, ""},
      {"GET", "/api/map?king=%2B59OU&piece=%2B59KI", "", 400, "--map=+59OU:+59KI"},
      {"GET", "/api/scan?square=81", "", 400, "0 81"},
      {"POST", "/api/game", "not a record", 400, ""},
      {"POST", "/api/position?ply=999", "startpos moves 7g7f", 400, ""},
      {"GET", "/api/position?position=fv.bin", "", 400, ""},
      {"GET", "/api/position?usi=1", "", 400, ""},
      {"GET", "/api/position?nosuch=1", "", 400, ""},
      {"GET", "/api/position?a=%zz", "", 400, ""},
      {"GET", "/api/corpus", "", 404, ""},
      {"GET", "/api/nosuch", "", 404, ""},
      {"GET", "/../fv.bin", "", 404, ""},
      {"POST", "/api/scan", "x", 405, ""},
      {"POST", "/api/game", std::string((4 << 20) + 1, 'x'), 413, ""},
  };
  for (const Row& row : rows) {
    httplib::Result got = std::string(row.method) == "GET"
                              ? client.Get(row.target, row.headers)
                              : client.Post(row.target, row.headers, row.body, "text/plain");
    ASSERT_TRUE(got) << row.target;
    EXPECT_EQ(got->status, row.status) << row.target << " " << got->body.substr(0, 300);
    EXPECT_EQ(got->get_header_value("X-Content-Type-Options"), "nosniff") << row.target;
    if (got->status != 200 && got->status != 404 && got->status != 405 && got->status != 413) {
      ASSERT_TRUE(nlohmann::json::parse(got->body).contains("error")) << got->body;
    }
    if (!row.says.empty()) {
      const std::string error = nlohmann::json::parse(got->body)["error"];
      EXPECT_NE(error.find(row.says), std::string::npos) << row.target << " " << error;
    }
    if (!row.args.empty()) {
      const ToolRun refused = RunTool(folder.path, row.args + " --json=-");
      const std::string error = nlohmann::json::parse(got->body)["error"];
      EXPECT_NE(refused.status, 0);
      EXPECT_NE(refused.err.find("fvscope: " + error), std::string::npos)
          << refused.err << " / " << error;
    }
  }
  // Another site's name for this address; a header section over 16 KiB.
  const std::string port = std::to_string(server.port);
  EXPECT_NE(RawExchange(server.port, "GET /api/info HTTP/1.1\r\nHost: evil.example:" + port +
                                         "\r\n\r\n")
                .find("HTTP/1.1 403"),
            std::string::npos);
  std::string big = "GET /api/info HTTP/1.1\r\nHost: localhost:" + port + "\r\n";
  while (big.size() < (17 << 10)) big += "X-Filler: " + std::string(1000, 'y') + "\r\n";
  EXPECT_EQ(RawExchange(server.port, big + "\r\n"), "");
  // Side by side, each closed about 10 s after its first byte, the first
  // two with 408: a header section never ended, a body sent one byte every
  // 4 s; an answer of 2 MB the client does not take.
  const std::string head = "POST /api/game HTTP/1.1\r\nHost: localhost:" + port + "\r\n";
  double slow_header = 0, slow_body = 0, unread = 0;
  size_t unread_bytes = 0;
  const auto seconds_since = [](Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  };
  std::thread header_client([&] {
    const auto began = Clock::now();
    const std::string answer =
        RawExchange(server.port, "GET /api/info HTTP/1.1\r\nHost: localhost:" + port + "\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 408 ", 0), 0u) << answer;
    EXPECT_NE(answer.find("within 10 seconds"), std::string::npos) << answer;
    slow_header = seconds_since(began);
  });
  std::thread body_client([&] {
    const int sock = Connect(server.port);
    const auto began = Clock::now();
    const std::string start = head + "Content-Length: 100\r\n\r\ns";
    (void)!send(sock, start.data(), start.size(), MSG_NOSIGNAL);
    for (int i = 0; i < 4 && send(sock, "t", 1, MSG_NOSIGNAL) == 1; ++i) {
      pollfd fd{sock, POLLIN, 0};
      if (poll(&fd, 1, 4000) != 0) break;  // closed
    }
    const std::string answer = ReadToClose(sock);
    EXPECT_EQ(answer.rfind("HTTP/1.1 408 ", 0), 0u) << answer;
    slow_body = seconds_since(began);
  });
  // Four answers of 2 MB asked at once: more than the sockets hold.
  std::thread reader_client([&] {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string body = KingWalk(10000);
    std::string request = head + "Content-Length: " + std::to_string(body.size()) +
                          "\r\n\r\n" + body;
    request = request + request + request + request;
    (void)!send(sock, request.data(), request.size(), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::seconds(16));
    const auto began = Clock::now();
    timeval timeout{15, 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    unread_bytes = ReadToClose(sock).size();
    unread = seconds_since(began);
  });
  header_client.join();
  body_client.join();
  reader_client.join();
  EXPECT_GT(slow_header, 9.0);
  EXPECT_LT(slow_header, 12.0);
  EXPECT_GT(slow_body, 9.0);
  EXPECT_LT(slow_body, 12.0);
  EXPECT_LT(unread, 2.0) << "the unread answer's connection was still open";
  EXPECT_LT(unread_bytes, size_t{6000000});
  // The server goes on after all of them.
  httplib::Result info = client.Get("/api/info");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->status, 200);
  // A second server on the same port cannot bind it.
  const ToolRun taken = RunTool(folder.path, "--serve=127.0.0.1:" + port);
  EXPECT_EQ(taken.status, 1);
  EXPECT_NE(taken.err.find("127.0.0.1:" + port), std::string::npos) << taken.err;
}

// Many clients at once get what one gets.
TEST(Serve, ANetworksCensusIsAnsweredAndAMixOfFamiliesRefused) {
  ServeFolder folder;
  ASSERT_TRUE(WriteNetworkFile(folder.path + "/nn.bin", RandomNetwork({256, 32, 32}, 3)));
  {
    Server server(folder.path, {"--fv=nn.bin"});
    httplib::Result got = server.Client().Get("/api/census");
    ASSERT_TRUE(got);
    ASSERT_EQ(got->status, 200) << got->body.substr(0, 300);
    EXPECT_EQ(nlohmann::json::parse(got->body)["census"]["kings"].size(), 81u);
    // A king's map of one neuron, and a piece's squares: the command line's documents.
    for (const auto& [get, args] :
         {std::pair<std::string, std::string>{"/api/map?king=-51OU&neuron=3", "--map=-51OU --neuron=3"},
          {"/api/squares?piece=-82HI&pv=7g7f", "--position=startpos --pv=7g7f --squares=-82HI"}}) {
      got = server.Client().Get(get);
      ASSERT_TRUE(got);
      EXPECT_EQ(got->status, 200) << got->body.substr(0, 300);
      EXPECT_EQ(WithoutPictures(got->body),
                WithoutPictures(RunTool(folder.path, "--fv=nn.bin " + args + " --json=-").out))
          << get;
    }
  }
  // A table against a network: neither is read as the other's family.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--fv=fv.bin", "--compare=nn.bin"}, {"--fv=nn.bin", "--compare=fv.bin"}}) {
    Server server(folder.path, args);
    httplib::Client client = server.Client();
    httplib::Result census = client.Get("/api/census");
    ASSERT_TRUE(census);
    EXPECT_EQ(census->status, 400) << census->body.substr(0, 300);
    EXPECT_NE(census->body.find("two files of one family"), std::string::npos) << census->body;
    httplib::Result map = client.Get("/api/map?king=%2B59OU&piece=%2B58KI");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->status, 400) << map->body.substr(0, 300);
  }
}

TEST(Serve, ConcurrentClientsGetTheSameAnswers) {
  ServeFolder folder;
  Server server(folder.path, {});
  const std::vector<std::string> targets = {
      "/api/position?position=startpos%20moves%207g7f%203c3d%202g2f&pieces=1",
      "/api/scan?square=76", "/api/position?pv=2g2f", "/api/map?king=%2B59OU&piece=-FU*3"};
  std::vector<std::string> alone;
  for (const std::string& target : targets) alone.push_back(server.Client().Get(target)->body);
  std::vector<int> mismatches(16, 0);
  std::vector<std::thread> clients;
  for (int c = 0; c < 16; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client = server.Client();
      for (int i = 0; i < 40; ++i) {
        const size_t t = static_cast<size_t>(c + i) % targets.size();
        httplib::Result got = client.Get(targets[t]);
        if (!got || got->body != alone[t]) ++mismatches[c];
      }
    });
  }
  for (std::thread& client : clients) client.join();
  for (int c = 0; c < 16; ++c) EXPECT_EQ(mismatches[c], 0) << "client " << c;
}

// SIGTERM while a request is being read and another's body trickles in:
// the first is answered, the server exits 0 within 2 seconds.
TEST(Serve, StopLetsTheRequestInFlightFinish) {
  ServeFolder folder;
  Server server(folder.path, {});
  const std::string body = ReadWholeFile(folder.path + "/even.kif");
  const std::string head = "POST /api/game HTTP/1.1\r\nHost: 127.0.0.1:" +
                           std::to_string(server.port) + "\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n";
  const int stuck = Connect(server.port);
  ASSERT_GE(stuck, 0);
  ASSERT_GT(send(stuck, head.data(), head.size(), MSG_NOSIGNAL), 0);
  const int sock = Connect(server.port);
  ASSERT_GE(sock, 0);
  const std::string first = head + body.substr(0, 100);
  ASSERT_EQ(send(sock, first.data(), first.size(), MSG_NOSIGNAL), static_cast<ssize_t>(first.size()));
  // The server has the request's start when the signal comes, the rest after.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto signalled = Clock::now();
  kill(server.pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string rest = body.substr(100);
  ASSERT_EQ(send(sock, rest.data(), rest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(rest.size()));
  const std::string answer = ReadToClose(sock);
  int status = 0;
  waitpid(server.pid, &status, 0);
  const double stopped = std::chrono::duration<double>(Clock::now() - signalled).count();
  server.pid = -1;
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 300);
  EXPECT_NE(answer.find("\"mode\": \"record\""), std::string::npos);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_LT(stopped, 2.0);
  close(stuck);
}

// Heavy runs under many clients: engine searches go one at a time, so that
// of four at once with an engine that thinks 3 s some wait past the limit
// and are told to come back (503, Retry-After); the others are answered, and
// a light request is answered at once all the while.
TEST(Serve, WorkLimitTurnsAwayWhatCannotRunSoon) {
  ServeFolder folder;
  folder.dir.Write("work/slow_engine",
                   "#!/bin/sh\n"
                   "while read -r line; do\n"
                   "  case \"$line\" in\n"
                   "    usi) echo 'id name slow'; echo usiok ;;\n"
                   "    isready) echo readyok ;;\n"
                   "    go*) sleep 3; echo 'info depth 1 score cp 10 pv 7g7f'; echo 'bestmove 7g7f' ;;\n"
                   "    quit) exit 0 ;;\n"
                   "  esac\n"
                   "done\n");
  chmod((folder.path + "/slow_engine").c_str(), 0755);
  Server server(folder.path, {"--usi=./slow_engine"});
  std::vector<int> statuses(4, 0);
  std::vector<std::string> retry(4);
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      httplib::Result got = server.Client().Get("/api/position?usi=1");
      if (!got) return;
      statuses[c] = got->status;
      retry[c] = got->get_header_value("Retry-After");
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto light = Clock::now();
  httplib::Result scan = server.Client().Get("/api/scan?square=40");
  const double light_seconds = std::chrono::duration<double>(Clock::now() - light).count();
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(scan);
  EXPECT_EQ(scan->status, 200);
  EXPECT_LT(light_seconds, 1.0);
  int answered = 0, busy = 0;
  for (int c = 0; c < 4; ++c) {
    if (statuses[c] == 200) ++answered;
    if (statuses[c] == 503) {
      ++busy;
      EXPECT_EQ(retry[c], "2");
    }
  }
  EXPECT_EQ(answered + busy, 4);
  EXPECT_GE(answered, 1);
  EXPECT_GE(busy, 2);
}

// What a burst of requests got: answers by status, and the connections
// that got none (reset, or closed before a status line).
struct BurstCount {
  int ok = 0;
  int busy = 0;   // 503 with Retry-After
  int other = 0;  // any other status
  int none = 0;
};

// Opens count connections to port at once, sends on each head (which asks
// for the connection to close) and then body as a segment of its own, and
// reads every answer to its end.
BurstCount Burst(int port, int count, const std::string& head, const std::string& body) {
  std::vector<int> socks;
  for (int i = 0; i < count; ++i) {
    const int sock = Connect(port);
    if (sock < 0) continue;
    const int on = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socks.push_back(sock);
  }
  for (const int sock : socks) (void)!send(sock, head.data(), head.size(), MSG_NOSIGNAL);
  for (const int sock : socks) (void)!send(sock, body.data(), body.size(), MSG_NOSIGNAL);
  BurstCount got;
  got.none = count - static_cast<int>(socks.size());
  std::vector<std::string> answers(socks.size());
  std::vector<pollfd> open;
  for (const int sock : socks) open.push_back({sock, POLLIN, 0});
  std::vector<bool> done(socks.size(), false);
  size_t left = socks.size();
  char buffer[65536];
  for (const auto began = Clock::now();
       left > 0 && Clock::now() - began < std::chrono::seconds(60);) {
    if (poll(open.data(), open.size(), 1000) <= 0) continue;
    for (size_t i = 0; i < open.size(); ++i) {
      if (done[i] || open[i].revents == 0) continue;
      const ssize_t n = recv(open[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        answers[i].append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      done[i] = true;
      open[i].fd = -1;
      --left;
    }
  }
  for (size_t i = 0; i < socks.size(); ++i) {
    close(socks[i]);
    const std::string& a = answers[i];
    if (!done[i] || a.rfind("HTTP/1.1 ", 0) != 0) {
      ++got.none;
    } else if (a.rfind("HTTP/1.1 200", 0) == 0) {
      ++got.ok;
    } else if (a.rfind("HTTP/1.1 503", 0) == 0 && a.find("Retry-After: 2\r\n") != std::string::npos) {
      ++got.busy;
    } else {
      ++got.other;
    }
  }
  return got;
}

// Bursts of heavy requests, each body a segment after its header section,
// while the machine is busy with them: every connection gets an answer,
// the result or 503 with Retry-After; then a burst of light ones, all
// answered.
TEST(Serve, EveryRequestOfABurstIsAnswered) {
  ServeFolder folder;
  Server server(folder.path, {});
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port) + "\r\n";
  const std::string body = KingWalk(2000);
  const std::string post = "POST /api/game HTTP/1.1\r\n" + host + "Connection: close\r\n" +
                           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  for (int round = 0; round < 3; ++round) {
    const BurstCount got = Burst(server.port, 64, post, body);
    EXPECT_EQ(got.none, 0) << "round " << round;
    EXPECT_EQ(got.other, 0) << "round " << round;
    EXPECT_GE(got.ok, 1) << "round " << round;
  }
  const BurstCount light =
      Burst(server.port, 256, "GET /api/scan?square=40 HTTP/1.1\r\n" + host +
                                  "Connection: close\r\n\r\n", "");
  EXPECT_EQ(light.none, 0);
  EXPECT_EQ(light.ok, 256);
}

// The corpus run fails in the background: its failure is printed and
// /api/corpus answers 500 with it; the server goes on.
TEST(Serve, BackgroundFailureIsPrintedAndAnswered) {
  ServeFolder folder;
  Server server(folder.path, {"--corpus=no_such_folder"});
  httplib::Client client = server.Client();
  int status = 0;
  std::string body;
  for (const auto began = Clock::now(); Clock::now() - began < std::chrono::seconds(30);) {
    httplib::Result got = client.Get("/api/corpus");
    ASSERT_TRUE(got);
    status = got->status;
    body = got->body;
    if (status != 503) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(status, 500) << body;
  const std::string error = nlohmann::json::parse(body)["error"];
  EXPECT_NE(error.find("no_such_folder"), std::string::npos) << error;
  EXPECT_EQ(client.Get("/api/info")->status, 200);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(ReadWholeFile(folder.path + ".server.stderr").find("fvscope: " + error),
            std::string::npos);
}

TEST(Serve, ANetworkAnswersItsViewsAndRefusesATablesOnes) {
  ServeFolder folder;
  ASSERT_TRUE(WriteNetworkFile(folder.path + "/nn.bin", RandomNetwork({256, 32, 32}, 6)));
  Server server(folder.path, {"--fv=nn.bin", "--fv-scale=24"});
  httplib::Client client = server.Client();
  const auto info = nlohmann::json::parse(client.Get("/api/info")->body);
  EXPECT_EQ(info["files"][0]["kind"], "network");
  EXPECT_EQ(info["files"][0]["shape"], nlohmann::json({256, 32, 32}));
  EXPECT_EQ(info["files"][0]["scale"], 24);
  httplib::Result position = client.Get("/api/position?position=startpos&pv=7g7f&pieces=1");
  ASSERT_EQ(position->status, 200) << position->body;
  const auto document = nlohmann::json::parse(position->body);
  EXPECT_EQ(document["network"]["scale"], 24);
  EXPECT_EQ(document["features"].size(), 76u);
  // A table's views would read the network as a table: refused, naming it.
  for (const char* target : {"/api/scan?square=40", "/api/map?king=%2B59OU&piece=%2B58KI"}) {
    httplib::Result refused = client.Get(target);
    EXPECT_EQ(refused->status, 400) << target;
    EXPECT_NE(refused->body.find("nn.bin: a network"), std::string::npos) << refused->body;
  }
}

}  // namespace
}  // namespace fvscope
