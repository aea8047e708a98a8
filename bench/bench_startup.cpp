// Start-up when both shared documents answer slowly (300 ms each): the whole start-up to the
// main window shown, beside the two documents read one after the other in the same run (the
// baseline) and side by side as the start-up reads them. The start-up should take about the
// slower document, not the sum of both.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "feed/feed_reader.h"
#include "feed/update_check.h"
#include "server/test_server.h"

namespace {

using namespace std::chrono_literals;

// Answers every request after a fixed delay, one thread per connection: /update with a
// document that publishes our own version, anything else with three notice lines.
class SlowDocumentServer {
 public:
  explicit SlowDocumentServer(std::chrono::milliseconds delay) : m_delay(delay) {
    m_fd = velnox::listenOnLoopback(m_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
  }
  ~SlowDocumentServer() {
    m_stop = true;
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_acceptor.join();
    std::lock_guard lock(m_mutex);
    for (std::thread& t : m_workers) t.join();
  }
  std::string url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

 private:
  void acceptLoop() {
    while (!m_stop) {
      const int client = ::accept(m_fd, nullptr, nullptr);
      if (client < 0) continue;
      std::lock_guard lock(m_mutex);
      m_workers.emplace_back([this, client] { serve(client); });
    }
  }
  void serve(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    std::this_thread::sleep_for(m_delay);
    const std::string body = request.rfind("GET /update", 0) == 0
                                 ? "【1.0.3】【http://127.0.0.1/velnox-setup.exe】summary"
                                 : "【请勿相信私下交易】【资源仅供学习交流】【第三条】summary";
    const std::string response =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: "
        "close\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    for (size_t sent = 0; sent < response.size();) {
      const ssize_t n = ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    ::close(client);
  }

  std::chrono::milliseconds m_delay;
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::vector<std::thread> m_workers;
};

velnox::Config slowConfig(const SlowDocumentServer& documents, int debugPort) {
  velnox::Config config;
  config.debugPort = debugPort;
  config.productionHost = "127.0.0.1";
  config.productionPort = velnox::unusedLoopbackPort();
  config.updateFeedAddress = documents.url("/update");
  config.noticeFeedAddress = documents.url("/notice");
  config.signupPageAddress = documents.url("/signup");
  config.contactLineUtf8 = "bench";
  return config;
}

constexpr auto kDelay = 300ms;

// The program: connect and hello to the debug endpoint, both documents, the window shown.
void BM_StartupSlowDocuments(benchmark::State& state) {
  SlowDocumentServer documents(kDelay);
  velnox::TestServer server;
  server.setRecording(false, false);
  server.start();
  const velnox::Config config = slowConfig(documents, server.port());
  for (auto _ : state) {
    const auto begin = std::chrono::steady_clock::now();
    auto app = std::make_unique<velnox::Application>(config);
    app->start();
    const auto end = std::chrono::steady_clock::now();
    if (!app->mainWindow() || !app->mainWindow()->isVisible()) state.SkipWithError("main window not shown");
    if (app->state().noticeLines.size() != 3) state.SkipWithError("notice lines missing");
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
  }
}

// Baseline: the two documents read one after the other.
void BM_DocumentsOneAfterTheOther(benchmark::State& state) {
  SlowDocumentServer documents(kDelay);
  const velnox::Config config = slowConfig(documents, velnox::unusedLoopbackPort());
  for (auto _ : state) {
    velnox::TextList update, notice;
    velnox::readFeedItems(config.updateFeedAddress, update);
    velnox::readFeedItems(config.noticeFeedAddress, notice);
    if (update.size() != 2 || notice.size() != 3) state.SkipWithError("documents not read");
  }
}

// The same two documents as the start-up reads them: side by side on workers.
void BM_DocumentsSideBySide(benchmark::State& state) {
  SlowDocumentServer documents(kDelay);
  const velnox::Config config = slowConfig(documents, velnox::unusedLoopbackPort());
  for (auto _ : state) {
    velnox::StartupFeeds feeds = velnox::startFeedReads(config);
    const velnox::TextList update = feeds.updateItems.get();
    const velnox::TextList notice = feeds.noticeItems.get();
    if (update.size() != 2 || notice.size() != 3) state.SkipWithError("documents not read");
  }
}

BENCHMARK(BM_DocumentsOneAfterTheOther)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DocumentsSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_StartupSlowDocuments)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  // The windows are built offscreen unless a platform is named.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
