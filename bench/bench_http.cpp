// The request engine against a bare libcurl GET of the same document from the same
// loopback server, one fresh handle per request on both sides: what the header
// composition, the address helpers and the bounded reading cost on top of the transfer.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "server/test_server.h"
#include "util/http.h"

namespace {

// Answers every request with the same document and closes the connection.
class FixedServer {
 public:
  explicit FixedServer(size_t bodySize) : m_body(bodySize, 'd') {
    m_fd = velnox::listenOnLoopback(m_port);
    m_response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                 std::to_string(m_body.size()) + "\r\n\r\n" + m_body;
    m_thread = std::thread([this] { serve(); });
  }
  ~FixedServer() {
    m_stop = true;
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_thread.join();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/doc"; }
  size_t bodySize() const { return m_body.size(); }

 private:
  void serve() {
    while (!m_stop) {
      const int client = ::accept(m_fd, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      for (size_t sent = 0; sent < m_response.size();) {
        const ssize_t n = ::send(client, m_response.data() + sent, m_response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::close(client);
    }
  }

  std::string m_body;
  std::string m_response;
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// Baseline: a bare GET with curl's default read buffer (state.range(1) == 0) or with the
// engine's 64 KiB one.
void BM_CurlBaseline(benchmark::State& state) {
  FixedServer server(static_cast<size_t>(state.range(0)));
  const std::string url = server.url();
  for (auto _ : state) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (state.range(1) != 0) curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 64L * 1024);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (body.size() != server.bodySize()) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_HttpRequest(benchmark::State& state) {
  FixedServer server(static_cast<size_t>(state.range(0)));
  velnox::HttpRequestParams params;
  params.url = server.url();
  params.method = 0;
  for (auto _ : state) {
    velnox::Bytes body = velnox::HttpRequest(params);
    if (body.size() != server.bodySize()) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_DownloadBytes(benchmark::State& state) {
  FixedServer server(static_cast<size_t>(state.range(0)));
  const std::string url = server.url();
  for (auto _ : state) {
    velnox::Bytes body = velnox::downloadBytes(url);
    if (body.size() != server.bodySize()) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// A shared document is a few KiB; a cover picture up to a few MiB. At 1 MiB a fresh
// connection with curl's default 16 KiB read buffer stalls for milliseconds; the engine's
// 64 KiB buffer does not.
BENCHMARK(BM_CurlBaseline)->ArgsProduct({{4 << 10, 1 << 20, 4 << 20}, {0, 1}})->UseRealTime();
BENCHMARK(BM_HttpRequest)->Arg(4 << 10)->Arg(1 << 20)->Arg(4 << 20)->UseRealTime();
BENCHMARK(BM_DownloadBytes)->Arg(4 << 10)->Arg(1 << 20)->Arg(4 << 20)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
