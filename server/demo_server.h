#pragma once
// The demo service on loopback: the protocol peer on the debug and production ports, and an
// HTTP side with the update and notice documents, the sign-up page, the pictures and the
// pages behind the ads. It answers every client message with the demo content
// (demo_content.h). velnox-server runs one; the end-to-end tests and the screenshot tool run
// one in their own process, on ports of their own.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/demo_content.h"
#include "server/test_server.h"
#include "util/config.h"

namespace velnox::demo {

struct DemoOptions {
  std::string host = "127.0.0.1";
  // Port 0 picks a free port. The client tries the debug port at start and reconnects to the
  // production port, so both are served.
  std::uint16_t debugPort = 19760;
  std::uint16_t productionPort = 38817;
  std::uint16_t httpPort = 19761;
  // Publish a version newer than the client's own, so that it shows its update panel.
  bool newerVersion = false;
  // Drop every connection this often (0: never), so that the client shows its reconnecting.
  std::chrono::seconds dropEvery{0};
  // Keep every received message for debugPeer().messages(); a long-running server turns it off.
  bool recordMessages = true;
  // One line per event (connections, messages, pages served); nothing when empty.
  std::function<void(const std::string& line)> log;
};

// What a client needs to use a demo service at these ports: both endpoints and the three
// addresses of its HTTP side.
Config demoClientConfig(const std::string& host, std::uint16_t debugPort, std::uint16_t productionPort,
                        std::uint16_t httpPort);

class DemoServer {
 public:
  explicit DemoServer(DemoOptions options = {});
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // Listens on every port; false, with the reason in error(), when one cannot be had.
  bool start();
  void stop();
  const std::string& error() const { return m_error; }

  std::uint16_t debugPort() const;
  std::uint16_t productionPort() const;
  std::uint16_t httpPort() const;
  // "http://host:httpPort", the prefix of every address the demo hands out.
  std::string baseUrl() const;
  Config clientConfig() const;

  // The two protocol peers, with what they received.
  TestServer& debugPeer() { return m_debug; }
  TestServer& productionPeer() { return m_production; }
  // Closes every client connection now, as --drop-every does on its period.
  void dropConnections();
  // Paths the HTTP side was asked for, in order.
  std::vector<std::string> servedPaths() const;

 private:
  struct Http;

  void onConnect(TestServer& peer, const char* endpoint, TestServer::ClientId id);
  void onMessage(TestServer& peer, const char* endpoint, TestServer::ClientId id, const std::string& payload);
  void dropLoop();
  void log(const std::string& line) const;
  std::string baseUrlFor(std::uint16_t httpPort) const;

  DemoOptions m_options;
  std::string m_error;
  TestServer m_debug;
  TestServer m_production;
  std::unique_ptr<Http> m_http;
  std::unique_ptr<AccountBook> m_accounts;

  std::mutex m_dropMutex;
  std::condition_variable m_dropWake;
  bool m_stopping = false;
  std::thread m_dropper;
};

}  // namespace velnox::demo
