// Throughput of the stream client and the test server over loopback, each beside a raw
// baseline over the same loopback: plain sockets moving the same wire bytes in the same
// chunk sizes, with no framing, queue or delivery thread. The ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/frame_codec.h"
#include "net/socket_posix.h"
#include "net/stream_client.h"
#include "server/test_server.h"

namespace {

using namespace std::chrono_literals;
using velnox::StreamClient;
using velnox::TestServer;
namespace sock = velnox::sock;

constexpr std::size_t kBigPayload = 1024 * 1024;
constexpr int kBigBatch = 8;
constexpr std::size_t kSmallPayload = 100;
constexpr int kSmallBatch = 2000;

// Counts up to a target and lets one thread wait for it.
class Counter {
 public:
  void add(std::size_t n) {
    const std::size_t now = m_count.fetch_add(n) + n;
    if (now >= m_target.load()) {
      std::lock_guard lock(m_mutex);
      m_cv.notify_all();
    }
  }
  // Raises the target by n and waits until the count reaches it.
  bool waitMore(std::size_t n, const std::function<void()>& produce) {
    const std::size_t target = m_target.fetch_add(n) + n;
    produce();
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, 30s, [&] { return m_count.load() >= target; });
  }

 private:
  std::atomic<std::size_t> m_count{0};
  std::atomic<std::size_t> m_target{0};
  std::mutex m_mutex;
  std::condition_variable m_cv;
};

// The wire records one message becomes: header plus envelope part, chunk by chunk.
std::vector<std::string> wireChunks(const std::string& payload) {
  const std::string wire = velnox::encodeMessage("0011", payload);
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < wire.size(); at += velnox::kChunkHeaderSize + velnox::kMaxChunkData) {
    chunks.push_back(wire.substr(at, velnox::kChunkHeaderSize + velnox::kMaxChunkData));
  }
  return chunks;
}

// Two connected loopback sockets, configured like the product's, and a thread that reads
// the receiving end and counts bytes.
class RawPair {
 public:
  RawPair() {
    std::uint16_t port = 0;
    m_listener = sock::listenIpv4("127.0.0.1", 0, port);
    std::uint32_t address = 0;
    sock::resolveIpv4("127.0.0.1", address);
    std::atomic<bool> never{false};
    m_sender = sock::connectIpv4(address, port, 2s, never);
    while ((m_receiver = sock::acceptConnection(m_listener)) == sock::kInvalid) {
      sock::waitReadable(m_listener, 10ms);
    }
    sock::setStreamOptions(m_sender);
    sock::setStreamOptions(m_receiver);
    m_reader = std::thread([this] {
      std::vector<char> buffer(64 * 1024);
      while (!m_stop.load()) {
        if (sock::waitReadable(m_receiver, 20ms) != sock::Wait::Ready) continue;
        const long n = sock::receive(m_receiver, buffer.data(), buffer.size());
        if (n > 0) received.add(static_cast<std::size_t>(n));
        if (n == 0 || n == sock::kFailed) break;
      }
    });
  }
  ~RawPair() {
    m_stop = true;
    sock::shutdownBoth(m_sender);
    m_reader.join();
    sock::closeHandle(m_sender);
    sock::closeHandle(m_receiver);
    sock::closeHandle(m_listener);
  }

  // One send per record, as the framed writers do per chunk.
  void write(const std::string& record) {
    std::size_t done = 0;
    while (done < record.size()) {
      const sock::Slice slice{record.data() + done, record.size() - done};
      const long n = sock::sendSlices(m_sender, &slice, 1);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n == sock::kFailed) {
        return;
      } else {
        sock::waitWritable(m_sender, 100ms);
      }
    }
  }

  Counter received;

 private:
  sock::Handle m_listener = sock::kInvalid;
  sock::Handle m_sender = sock::kInvalid;
  sock::Handle m_receiver = sock::kInvalid;
  std::atomic<bool> m_stop{false};
  std::thread m_reader;
};

// A client connected to a test server; the server counts what reaches it, the client's
// handler what reaches the client.
struct FramedPair {
  FramedPair() {
    server.setRecording(false, false);
    server.setOnMessage([this](TestServer::ClientId, const std::string&) { atServer.add(1); });
    server.start(0);
    client = StreamClient::create();
    client->connect(server.port(), "127.0.0.1", [this](const StreamEvent* event) {
      if (StreamClient::eventKind(event) == 1) atClient.add(1);
    });
    id = server.waitForClient(1, 5s);
  }
  using StreamEvent = velnox::StreamEvent;

  // The counters outlive the server's and the client's threads that add to them.
  Counter atServer;
  Counter atClient;
  TestServer server;
  std::unique_ptr<StreamClient> client;
  TestServer::ClientId id = 0;
};

void rawBaseline(benchmark::State& state, std::size_t payloadSize, int batch) {
  RawPair pair;
  const auto chunks = wireChunks(std::string(payloadSize, 'r'));
  std::size_t wireBytes = 0;
  for (const auto& c : chunks) wireBytes += c.size();
  for (auto _ : state) {
    const bool ok = pair.received.waitMore(wireBytes * batch, [&] {
      for (int i = 0; i < batch; ++i) {
        for (const auto& c : chunks) pair.write(c);
      }
    });
    if (!ok) state.SkipWithError("raw transfer stalled");
  }
  state.SetItemsProcessed(state.iterations() * batch);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * batch * payloadSize));
}

void BM_Raw_1MiB(benchmark::State& state) { rawBaseline(state, kBigPayload, kBigBatch); }

void BM_Client_To_Server_1MiB(benchmark::State& state) {
  FramedPair pair;
  const std::string payload(kBigPayload, 'c');
  for (auto _ : state) {
    // The caller's own copies are made untimed and handed over, as the raw writer's chunks are.
    state.PauseTiming();
    std::vector<std::string> batch(kBigBatch, payload);
    state.ResumeTiming();
    const bool ok = pair.atServer.waitMore(kBigBatch, [&] {
      for (auto& message : batch) pair.client->send(std::move(message));
    });
    if (!ok) state.SkipWithError("client to server stalled");
  }
  state.SetItemsProcessed(state.iterations() * kBigBatch);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBigBatch * kBigPayload));
}

void BM_Server_To_Client_1MiB(benchmark::State& state) {
  FramedPair pair;
  const std::string payload(kBigPayload, 's');
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> batch(kBigBatch, payload);
    state.ResumeTiming();
    const bool ok = pair.atClient.waitMore(kBigBatch, [&] {
      for (auto& message : batch) pair.server.send(pair.id, std::move(message));
    });
    if (!ok) state.SkipWithError("server to client stalled");
  }
  state.SetItemsProcessed(state.iterations() * kBigBatch);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBigBatch * kBigPayload));
}

void BM_Raw_100B(benchmark::State& state) { rawBaseline(state, kSmallPayload, kSmallBatch); }

void BM_Server_To_Client_100B(benchmark::State& state) {
  FramedPair pair;
  const std::string payload(kSmallPayload, 'm');
  for (auto _ : state) {
    const bool ok = pair.atClient.waitMore(kSmallBatch, [&] {
      for (int i = 0; i < kSmallBatch; ++i) pair.server.send(pair.id, payload);
    });
    if (!ok) state.SkipWithError("small messages stalled");
  }
  state.SetItemsProcessed(state.iterations() * kSmallBatch);
}

BENCHMARK(BM_Raw_1MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Client_To_Server_1MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Server_To_Client_1MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_100B)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Server_To_Client_100B)->UseRealTime()->Unit(benchmark::kMillisecond);

// Prints the usual table and keeps each benchmark's message rate for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // The median over repetitions when there are several, else the single run.
    for (const auto& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[name] = it->second.value;
      } else if (run.run_type == Run::RT_Iteration) {
        rates[name] = it->second.value;
      }
    }
  }
  double rate(const std::string& name) const {
    if (const auto m = medians.find(name); m != medians.end()) return m->second;
    const auto r = rates.find(name);
    return r == rates.end() ? 0.0 : r->second;
  }

  std::map<std::string, double> rates;
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  // The machine is shared and loopback timings wander: unless told otherwise, repeat each
  // benchmark and interleave the repetitions, so a baseline and the code it is compared
  // with meet the same conditions, and compare medians.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=7";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string aggregatesOnly = "--benchmark_report_aggregates_only=true";
  bool told = false;
  for (int i = 1; i < argc; ++i) told = told || std::string(argv[i]).find("repetitions") != std::string::npos;
  if (!told) {
    args.push_back(repetitions.data());
    args.push_back(interleave.data());
    args.push_back(aggregatesOnly.data());
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char* ours, const char* base, double goal) {
    const double o = reporter.rate(ours);
    const double b = reporter.rate(base);
    if (o <= 0 || b <= 0) return;
    std::printf("%-26s %10.1f msg/s  vs %-12s %10.1f msg/s  ratio %.2f (goal >= %.2f)\n", ours, o, base, b,
                o / b, goal);
  };
  ratio("BM_Client_To_Server_1MiB", "BM_Raw_1MiB", 0.8);
  ratio("BM_Server_To_Client_1MiB", "BM_Raw_1MiB", 0.8);
  ratio("BM_Server_To_Client_100B", "BM_Raw_100B", 0.5);
  benchmark::Shutdown();
  return 0;
}
