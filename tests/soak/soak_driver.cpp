// soak_driver: the far side of a soak run of the real client. It plays the service on the
// client's own ports (the protocol on 19760 and 38817, the documents and pictures on 19761),
// sends a steady mix of server messages, garbage frames included, and drops the connection
// at random every few seconds. At the end it prints what it did, one "name=value" a line.
//
//   soak_driver [--seconds N] [--rate MESSAGES_PER_SECOND] [--seed N]
//
// It runs until the time is over or until SIGINT or SIGTERM.
#include "server/http_library.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "server/test_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kDebugPort = 19760;
constexpr std::uint16_t kProductionPort = 38817;
constexpr std::uint16_t kHttpPort = 19761;
const std::string kBase = "http://127.0.0.1:19761";

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

std::string pictureBytes(int width, int height, QColor colour, const char* format) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, 85);
  return std::string(data.constData(), static_cast<size_t>(data.size()));
}

// Pictures by path: five ads (three banners, two side pictures) and a dozen covers.
std::map<std::string, std::pair<std::string, std::string>> makePictures() {
  std::map<std::string, std::pair<std::string, std::string>> pictures;
  for (int n = 1; n <= 5; ++n) {
    const bool side = n > 3;
    pictures["/ad-" + std::to_string(n) + ".png"] = {
        pictureBytes(side ? 105 : 654, side ? 704 : 110, QColor::fromHsv(n * 60, 200, 220), "PNG"),
        "image/png"};
  }
  for (int n = 1; n <= 12; ++n) {
    pictures["/cover-" + std::to_string(n) + ".jpg"] = {
        pictureBytes(300 + 20 * n, 200 + 30 * n, QColor::fromHsv(n * 25, 180, 200), "JPEG"), "image/jpeg"};
  }
  return pictures;
}

std::string localTimeText(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

struct Counters {
  std::atomic<long> connections{0};
  std::atomic<long> clientMessages{0};
  std::atomic<long> pictureRequests{0};
  std::atomic<long> documentRequests{0};
};

class Traffic {
 public:
  explicit Traffic(unsigned seed) : m_random(seed) {}

  // One server message (UTF-8), or raw bytes that are no frame when garbage is set.
  std::string next(bool& garbage) {
    garbage = false;
    switch (pick(0, 99) / 10) {
      case 0:
      case 1:
      case 2:
        return catalogue();
      case 3:
        return "$ov_pz$" + bit() + "|" + bit() + "|" + bit();
      case 4:
        return adList();
      case 5:
      case 6:
        return "$ov_dz$" + detailText();
      case 7:
        return "$ov_tp$" + kBase + "/cover-" + std::to_string(pick(1, 12)) + ".jpg";
      case 8:
        return pick(0, 1) ? "$yhts$账号或密码错误" : "$yhts$校验码已发送";
      default:
        garbage = true;
        return garbageBytes();
    }
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
  std::string bit() { return pick(0, 1) ? "1" : "0"; }

  std::string catalogue() {
    std::string text = "$ov_ml$";
    const int rows = pick(0, 60);
    const std::time_t now = std::time(nullptr);
    for (int i = 0; i < rows; ++i) {
      text += "资源条目" + std::to_string(pick(1, 100000)) + "#" + localTimeText(now - pick(0, 400 * 86400)) +
              "\r\n";
    }
    return text;
  }

  std::string adList() {
    std::string text = "$ov_gg$";
    for (int n = 1; n <= 5; ++n) {
      text += kBase + "/ad-" + std::to_string(pick(1, 5)) + ".png|https://ads.example/" + std::to_string(n) +
              "\r\n";
    }
    return text;
  }

  std::string detailText() {
    std::string text =
        "链接: https://pan.example/s/" + std::to_string(pick(1, 1 << 30)) + "\r\n提取码: abcd\r\n";
    const int extra = pick(0, 40);
    for (int i = 0; i < extra; ++i) text += "说明第" + std::to_string(i) + "行\r\n";
    return text;
  }

  std::string garbageBytes() {
    std::string bytes(static_cast<size_t>(pick(1, 200)), '\0');
    for (char& c : bytes) c = static_cast<char>(pick(0, 255));
    return bytes;
  }

  std::mt19937 m_random;
};

}  // namespace

int main(int argc, char** argv) {
  long seconds = 600;
  double rate = 20;
  unsigned seed = 20261211;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--seconds") {
      seconds = std::strtol(argv[i + 1], nullptr, 10);
    } else if (arg == "--rate") {
      rate = std::strtod(argv[i + 1], nullptr);
    } else if (arg == "--seed") {
      seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    } else {
      std::fprintf(stderr, "usage: soak_driver [--seconds N] [--rate N] [--seed N]\n");
      return 2;
    }
  }
  if (seconds <= 0 || rate <= 0) {
    std::fprintf(stderr, "soak_driver: --seconds and --rate must be positive\n");
    return 2;
  }
  // Image format plugins are found through the application's library paths.
  QCoreApplication app(argc, argv);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  Counters counters;
  const auto pictures = makePictures();
  httplib::Server http;
  http.Get("/update", [&](const httplib::Request&, httplib::Response& res) {
    ++counters.documentRequests;
    res.set_content("【1.0.3】【" + kBase + "/velnox-setup.exe】summary", "text/html; charset=utf-8");
  });
  http.Get("/notice", [&](const httplib::Request&, httplib::Response& res) {
    ++counters.documentRequests;
    res.set_content("【请勿相信私下交易】【资源仅供学习交流】summary", "text/html; charset=utf-8");
  });
  http.Get(R"(/(ad-\d|cover-\d+)\.(png|jpg))", [&](const httplib::Request& req, httplib::Response& res) {
    ++counters.pictureRequests;
    const auto it = pictures.find(req.path);
    if (it == pictures.end()) {
      res.status = 404;
      return;
    }
    res.set_content(it->second.first, it->second.second);
  });
  if (!http.bind_to_port("127.0.0.1", kHttpPort)) {
    std::fprintf(stderr, "soak_driver: port %d is taken\n", kHttpPort);
    return 1;
  }
  std::thread httpThread([&] { http.listen_after_bind(); });

  velnox::TestServer debug, production;
  for (velnox::TestServer* peer : {&debug, &production}) {
    // A long run keeps nothing of the traffic.
    peer->setRecording(false, false);
    peer->setOnConnect([&](velnox::TestServer::ClientId) { ++counters.connections; });
    peer->setOnMessage([&](velnox::TestServer::ClientId, const std::string&) { ++counters.clientMessages; });
  }
  if (!debug.start(kDebugPort) || !production.start(kProductionPort)) {
    std::fprintf(stderr, "soak_driver: port %d or %d is taken\n", kDebugPort, kProductionPort);
    http.stop();
    httpThread.join();
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  Traffic traffic(seed);
  std::mt19937 dropRandom(seed + 1);
  auto nextDropIn = [&] {
    return std::chrono::milliseconds(std::uniform_int_distribution<int>(2000, 8000)(dropRandom));
  };
  long messages = 0, garbageFrames = 0, drops = 0, sentToNobody = 0;
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
  const auto begin = Clock::now();
  const auto end = begin + std::chrono::seconds(seconds);
  auto nextSend = begin;
  // Each connection is dropped a few seconds after it was seen open; the client comes back
  // on its next reconnect tick.
  constexpr Clock::time_point kNoDrop = Clock::time_point::max();
  Clock::time_point nextDrop = kNoDrop;
  while (!g_stop && Clock::now() < end) {
    std::this_thread::sleep_until(nextSend);
    nextSend += period;
    bool garbage = false;
    const std::string payload = traffic.next(garbage);
    size_t reached = 0;
    for (velnox::TestServer* peer : {&debug, &production}) {
      for (const auto id : peer->openClients()) {
        if (garbage ? peer->sendRaw(id, payload) : peer->send(id, payload)) ++reached;
      }
    }
    if (reached == 0) {
      ++sentToNobody;
      nextDrop = kNoDrop;
      continue;
    }
    ++(garbage ? garbageFrames : messages);
    if (nextDrop == kNoDrop) {
      nextDrop = Clock::now() + nextDropIn();
    } else if (Clock::now() >= nextDrop) {
      debug.closeAll();
      production.closeAll();
      ++drops;
      nextDrop = kNoDrop;
    }
  }

  debug.stop();
  production.stop();
  http.stop();
  httpThread.join();
  const double ran = std::chrono::duration<double>(Clock::now() - begin).count();
  std::printf("seconds=%.0f\n", ran);
  std::printf("messages_sent=%ld\n", messages);
  std::printf("garbage_frames_sent=%ld\n", garbageFrames);
  std::printf("sends_while_disconnected=%ld\n", sentToNobody);
  std::printf("drops=%ld\n", drops);
  std::printf("connections=%ld\n", counters.connections.load());
  std::printf("reconnections=%ld\n", counters.connections.load() > 0 ? counters.connections.load() - 1 : 0);
  std::printf("client_messages=%ld\n", counters.clientMessages.load());
  std::printf("document_requests=%ld\n", counters.documentRequests.load());
  std::printf("picture_requests=%ld\n", counters.pictureRequests.load());
  return 0;
}
