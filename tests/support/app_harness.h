#pragma once
// The whole application on loopback, for widget tests: the protocol test server as the
// debug endpoint, a local HTTP server with the update and notice documents (and whatever
// pictures a test adds), and an Application configured for them. Production is a closed
// port unless a test asks for the server there.
#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/application.h"
#include "server/test_server.h"
#include "tests/support/local_http_server.h"

namespace velnox::test {

struct HarnessOptions {
  // Where the test server listens: the debug endpoint, the production one, or nowhere.
  enum class ServerAt { Debug, Production, Nowhere } serverAt = ServerAt::Debug;
  // With ServerAt::Nowhere: a production port of the test's own (0: a closed one).
  int productionPort = 0;
  // Bodies of the two documents (UTF-8); the defaults publish our own version and two notices.
  std::string updateDocument = "【1.0.3】【http://127.0.0.1/velnox-setup.exe】summary";
  std::string noticeDocument = "【请勿相信私下交易】【资源仅供学习交流】summary";
};

class AppHarness {
 public:
  explicit AppHarness(HarnessOptions options = {});
  ~AppHarness();

  // Starts the application (connect, hello, documents, shown).
  void start();
  Application& app() { return *m_app; }
  MainWindow& main() { return *m_app->mainWindow(); }
  TestServer& server() { return m_server; }
  LocalHttpServer& http() { return m_http; }
  const Config& config() const { return m_config; }

  // The newest open client of the test server (waits for one); 0 when none came.
  TestServer::ClientId client(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Sends a server message (GBK text, converted to UTF-8 as the server does) to the client.
  // Its effects run on the window thread later: follow with waitUntil.
  void sendToClient(const std::string& gbkText);
  // Processes window events until the condition holds or the time is over.
  bool waitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // The messages the client sent, decoded to GBK, in order.
  std::vector<std::string> receivedTexts() const;

 private:
  HarnessOptions m_options;
  TestServer m_server;
  LocalHttpServer m_http;
  Config m_config;
  std::unique_ptr<Application> m_app;
};

}  // namespace velnox::test
