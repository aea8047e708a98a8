// velnox-server: the demo service on 127.0.0.1, for trying the client without the real
// service. It answers every client message with demo content and logs the traffic.
#include <unistd.h>
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/demo_server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: velnox-server [options]\n"
               "  --port N             debug endpoint the client tries at start (19760)\n"
               "  --production-port N  endpoint the client reconnects to (38817)\n"
               "  --http-port N        documents, sign-up page and pictures (19761)\n"
               "  --newer-version      publish version %s, so the client shows its update panel\n"
               "  --drop-every N       close every connection each N seconds, to show reconnecting\n"
               "  --quiet              log nothing\n"
               "Port 0 picks a free port.\n",
               std::string(velnox::demo::kNewerVersion).c_str());
}

bool readNumber(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  velnox::demo::DemoOptions options;
  options.recordMessages = false;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    long value = 0;
    auto number = [&](long low, long high) {
      if (i + 1 >= argc || !readNumber(argv[i + 1], low, high, value)) {
        std::fprintf(stderr, "velnox-server: %s needs a number from %ld to %ld\n", arg.c_str(), low, high);
        std::exit(2);
      }
      ++i;
    };
    if (arg == "--port") {
      number(0, 65535);
      options.debugPort = static_cast<std::uint16_t>(value);
    } else if (arg == "--production-port") {
      number(0, 65535);
      options.productionPort = static_cast<std::uint16_t>(value);
    } else if (arg == "--http-port") {
      number(0, 65535);
      options.httpPort = static_cast<std::uint16_t>(value);
    } else if (arg == "--newer-version") {
      options.newerVersion = true;
    } else if (arg == "--drop-every") {
      number(1, 86400);
      options.dropEvery = std::chrono::seconds(value);
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "velnox-server: unknown option %s\n", arg.c_str());
      usage(stderr);
      return 2;
    }
  }
  if (!quiet) {
    options.log = [](const std::string& line) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    };
  }

  // The pictures carry their titles, and text needs the GUI library's fonts; no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication gui(argc, argv);

  velnox::demo::DemoServer server(options);
  if (!server.start()) {
    std::fprintf(stderr, "velnox-server: %s\n", server.error().c_str());
    return 1;
  }
  std::printf("velnox-server: protocol on 127.0.0.1:%u (debug) and :%u (production), pages on %s\n",
              server.debugPort(), server.productionPort(), server.baseUrl().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!g_stop) pause();
  server.stop();
  return 0;
}
