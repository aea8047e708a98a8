// The token chain over large messages, and how long the window thread is held while the
// connection works: a reconnect attempt that hangs, and an ad list whose pictures come
// slowly. Each is measured beside a baseline in the same run: a plain copy of the message,
// and the same network work done on the window thread itself.
#include <benchmark/benchmark.h>
#include "server/http_library.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "net/connection_manager.h"
#include "net/protocol.h"
#include "net/stream_client.h"
#include "server/test_server.h"
#include "util/encoding.h"
#include "util/http.h"

namespace velnox {
namespace {

// --- The token chain ---

std::string catalogueMessage(size_t bytes) {
  std::string line = fromUtf8("某资源合集 第一卷#2026-12-01 08:30:15\r\n");
  std::string text = "$ov_ml$";
  text.reserve(bytes + line.size());
  while (text.size() < bytes) text += line;
  return text;
}

void BM_TokenChain(benchmark::State& state) {
  const std::string message = catalogueMessage(static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    auto effects = tokenChain(message);
    benchmark::DoNotOptimize(effects.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
}
BENCHMARK(BM_TokenChain)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_PlainCopyBaseline(benchmark::State& state) {
  const std::string message = catalogueMessage(static_cast<size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    std::string copy = message;
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
}
BENCHMARK(BM_PlainCopyBaseline)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

// --- Window-thread latency ---

// A 10 ms timer on the window thread; the worst lateness of its ticks while `work` runs.
double worstProbeDelayMs(const std::function<void()>& start, const std::function<bool()>& done, int maxMs) {
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QElapsedTimer clock;
  double worst = 0;
  qint64 last = 0;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    worst = std::max(worst, (now - last) / 1e6 - 10.0);
    last = now;
  });
  clock.start();
  probe.start(10);
  QTimer::singleShot(0, start);
  while (!done() && clock.elapsed() < maxMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  // A few more ticks, so a stall that ended with the work is seen too.
  const qint64 end = clock.elapsed() + 50;
  while (clock.elapsed() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  probe.stop();
  return worst;
}

class StaticView final : public ConnectionView {
 public:
  Text status = "\xCE\xB4\xC1\xAC\xBD\xD3";  // 未连接
  Text statusText() override { return status; }
  void setStatusText(const Text& text) override { status = text; }
  void setCaption(const Text&) override {}
  Text versionTag() override { return "1.0.3"; }
  void resetLoginButton() override {}
};

void postToWindowThread(std::function<void()> task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

// The listener goes away after 1.5 s, so every attempt ends at its next handshake retry.
void BM_ReconnectHangingPeer(benchmark::State& state) {
  const bool onWindowThread = state.range(0) != 0;
  double worst = 0;
  for (auto _ : state) {
    StalledListener listener;
    auto client = StreamClient::create();
    StaticView view;
    Endpoints endpoints{"127.0.0.1", 1, "127.0.0.1", listener.port()};
    ConnectionManager manager(
        *client, endpoints, view, postToWindowThread, [](std::vector<Effect>) {}, downloadBytes);
    std::atomic<bool> finished{false};
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      listener.close();
    });
    worst = worstProbeDelayMs(
        [&] {
          if (onWindowThread) {
            client->connect(listener.port(), "127.0.0.1", [](const StreamEvent*) {});
            finished = true;
          } else {
            manager.reconnectTick();
          }
        },
        [&] { return onWindowThread ? finished.load() : false; }, 2000);
    closer.join();
    manager.waitForAttempt();
    client->destroy();
  }
  state.counters["worst_window_delay_ms"] = worst;
}
BENCHMARK(BM_ReconnectHangingPeer)->Arg(0)->Arg(1)->ArgName("on_window_thread")->Iterations(1)->UseRealTime();

// Five ad pictures from a server that answers each after a second.
void BM_AdListSlowPictures(benchmark::State& state) {
  const bool onWindowThread = state.range(0) != 0;
  httplib::Server http;
  http.Get(R"(/ad(\d).png)", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    response.set_content(std::string(2000, 'x'), "image/png");
  });
  const int httpPort = http.bind_to_any_port("127.0.0.1");
  std::thread httpThread([&] { http.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(httpPort) + "/ad";
  std::string list = "$ov_gg$";
  for (int i = 1; i <= 5; ++i)
    list += base + std::to_string(i) + ".png|http://example.com/" + std::to_string(i) + "\r\n";

  double worst = 0;
  for (auto _ : state) {
    std::atomic<bool> applied{false};
    if (onWindowThread) {
      worst = worstProbeDelayMs(
          [&] {
            auto effects = tokenChain(list);
            fetchDownloads(effects, downloadBytes);
            applied = true;
          },
          [&] { return applied.load(); }, 8000);
    } else {
      TestServer server;
      server.start(0);
      auto client = StreamClient::create();
      StaticView view;
      Endpoints endpoints{"127.0.0.1", server.port(), "127.0.0.1", 1};
      ConnectionManager manager(
          *client, endpoints, view, postToWindowThread, [&](std::vector<Effect>) { applied = true; },
          downloadBytes);
      manager.connectAtStart();
      const auto id = server.waitForClient(1, std::chrono::seconds(5));
      worst = worstProbeDelayMs([&] { server.send(id, toUtf8(list)); }, [&] { return applied.load(); }, 8000);
      client->destroy();
      server.stop();
    }
  }
  http.stop();
  httpThread.join();
  state.counters["worst_window_delay_ms"] = worst;
}
BENCHMARK(BM_AdListSlowPictures)->Arg(0)->Arg(1)->ArgName("on_window_thread")->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace velnox

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
