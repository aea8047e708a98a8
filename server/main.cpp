// velnox-server: the protocol peer on the client's debug endpoint, for trying the program
// without the real service. It logs what arrives; answering is up to the callbacks.
#include <csignal>
#include <cstdio>

#include "server/test_server.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }
}  // namespace

int main() {
  velnox::TestServer server;
  server.setRecording(false, false);
  server.setOnConnect([](velnox::TestServer::ClientId id) {
    std::printf("client %llu connected\n", (unsigned long long)id);
  });
  server.setOnDisconnect(
      [](velnox::TestServer::ClientId id) { std::printf("client %llu closed\n", (unsigned long long)id); });
  server.setOnMessage([](velnox::TestServer::ClientId id, const std::string& payload) {
    std::printf("client %llu: %zu bytes: %.*s\n", (unsigned long long)id, payload.size(),
                static_cast<int>(payload.size() > 200 ? 200 : payload.size()), payload.data());
    std::fflush(stdout);
  });
  if (!server.start(19760, "127.0.0.1")) {
    std::fprintf(stderr, "velnox-server: cannot listen on 127.0.0.1:19760\n");
    return 1;
  }
  std::printf("velnox-server listening on 127.0.0.1:%u\n", server.port());
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!g_stop) pause();
  server.stop();
  return 0;
}
