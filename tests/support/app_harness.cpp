#include "tests/support/app_harness.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <thread>

#include "server/test_server.h"
#include "util/encoding.h"

namespace velnox::test {

AppHarness::AppHarness(HarnessOptions options) : m_options(std::move(options)) {
  m_http.on("/update", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(m_options.updateDocument, "text/html; charset=utf-8");
  });
  m_http.on("/notice", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(m_options.noticeDocument, "text/html; charset=utf-8");
  });
  m_config.debugHost = "127.0.0.1";
  m_config.debugPort = unusedLoopbackPort();
  m_config.productionHost = "127.0.0.1";
  m_config.productionPort = m_options.productionPort ? m_options.productionPort : unusedLoopbackPort();
  switch (m_options.serverAt) {
    case HarnessOptions::ServerAt::Debug:
      m_server.start(static_cast<std::uint16_t>(m_config.debugPort));
      break;
    case HarnessOptions::ServerAt::Production:
      m_server.start(static_cast<std::uint16_t>(m_config.productionPort));
      break;
    case HarnessOptions::ServerAt::Nowhere:
      break;
  }
  m_config.updateFeedAddress = m_http.url("/update");
  m_config.noticeFeedAddress = m_http.url("/notice");
  m_config.signupPageAddress = m_http.url("/signup");
  m_config.contactLineUtf8 = "联系作者: author@velnox.example";
  m_app = std::make_unique<Application>(m_config);
}

AppHarness::~AppHarness() {
  m_app.reset();
  m_server.stop();
}

void AppHarness::start() { m_app->start(); }

TestServer::ClientId AppHarness::client(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto open = m_server.openClients();
    if (!open.empty()) return open.back();
    if (std::chrono::steady_clock::now() >= end) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void AppHarness::sendToClient(const std::string& gbkText) {
  const auto id = client();
  m_server.send(id, toUtf8(gbkText));
}

bool AppHarness::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<std::string> AppHarness::receivedTexts() const {
  std::vector<std::string> texts;
  for (const auto& message : m_server.messages()) texts.push_back(fromUtf8(message.payload));
  return texts;
}

}  // namespace velnox::test
