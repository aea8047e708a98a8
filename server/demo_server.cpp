#include "server/demo_server.h"

#include "server/http_library.h"

#include <ctime>

#include "server/demo_pictures.h"

namespace velnox::demo {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

// A message as it goes into the log: one line, cut to a readable length.
std::string shown(const std::string& payload) {
  std::string line;
  for (char c : payload) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  if (line.size() > 160) line = line.substr(0, 160) + "...";
  return line;
}

}  // namespace

struct DemoServer::Http {
  httplib::Server server;
  std::thread thread;
  int port = 0;
  mutable std::mutex mutex;
  std::vector<std::string> paths;
};

DemoServer::DemoServer(DemoOptions options)
    : m_options(std::move(options)),
      m_http(std::make_unique<Http>()),
      m_accounts(std::make_unique<AccountBook>()) {}

DemoServer::~DemoServer() { stop(); }

void DemoServer::log(const std::string& line) const {
  if (m_options.log) m_options.log(line);
}

bool DemoServer::start() {
  for (const auto& endpoint : {std::pair{&m_debug, "debug"}, std::pair{&m_production, "production"}}) {
    // Plain names: clang 14 cannot capture structured bindings in a lambda.
    TestServer* peer = endpoint.first;
    const char* name = endpoint.second;
    peer->setRecording(m_options.recordMessages, false);
    peer->setOnConnect([this, peer, name](TestServer::ClientId id) { onConnect(*peer, name, id); });
    peer->setOnDisconnect([this, name](TestServer::ClientId id) {
      log(std::string(name) + " client " + std::to_string(id) + " closed");
    });
    peer->setOnMessage([this, peer, name](TestServer::ClientId id, const std::string& payload) {
      onMessage(*peer, name, id, payload);
    });
  }
  if (!m_debug.start(m_options.debugPort, m_options.host)) {
    m_error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.debugPort);
    return false;
  }
  if (!m_production.start(m_options.productionPort, m_options.host)) {
    m_error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.productionPort);
    m_debug.stop();
    return false;
  }

  Http& http = *m_http;
  auto document = [](std::string body) {
    return [body = std::move(body)](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, kHtml);
    };
  };
  http.server.Get("/notice", document(noticeDocument()));
  http.server.Get("/signup", document(signupPage()));
  http.server.Get(R"(/download/([0-9.]+))", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(downloadPage(request.matches[1].str()), kHtml);
  });
  http.server.Get(R"(/ads/([1-5]))", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(adPage(std::stoi(request.matches[1].str())), kHtml);
  });
  http.server.Get(R"(/pictures/.*)", [](const httplib::Request& request, httplib::Response& response) {
    if (auto picture = pictureForPath(request.path)) {
      response.set_content(std::move(picture->bytes), picture->mediaType);
    } else {
      response.status = 404;
    }
  });
  http.server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    {
      std::lock_guard lock(m_http->mutex);
      m_http->paths.push_back(request.path);
    }
    log("http " + request.method + " " + request.path + " " + std::to_string(response.status) + " (" +
        std::to_string(response.body.size()) + " bytes)");
  });

  http.port = m_options.httpPort == 0
                  ? http.server.bind_to_any_port(m_options.host)
                  : (http.server.bind_to_port(m_options.host, m_options.httpPort) ? m_options.httpPort : -1);
  if (http.port <= 0) {
    m_error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.httpPort);
    m_debug.stop();
    m_production.stop();
    return false;
  }
  // The update document names addresses on this server; with a port picked at bind time it
  // can only be written now.
  http.server.Get("/update", document(updateDocument(m_options.newerVersion, baseUrl())));
  http.thread = std::thread([&http] { http.server.listen_after_bind(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!http.server.is_running()) {
    if (std::chrono::steady_clock::now() > deadline) {
      m_error = "the HTTP side did not start";
      stop();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  if (m_options.dropEvery.count() > 0) m_dropper = std::thread([this] { dropLoop(); });
  return true;
}

void DemoServer::stop() {
  {
    std::lock_guard lock(m_dropMutex);
    m_stopping = true;
  }
  m_dropWake.notify_all();
  if (m_dropper.joinable()) m_dropper.join();
  if (m_http->thread.joinable()) {
    m_http->server.stop();
    m_http->thread.join();
  }
  m_debug.stop();
  m_production.stop();
}

std::uint16_t DemoServer::debugPort() const { return m_debug.port(); }
std::uint16_t DemoServer::productionPort() const { return m_production.port(); }
std::uint16_t DemoServer::httpPort() const { return static_cast<std::uint16_t>(m_http->port); }

std::string DemoServer::baseUrl() const { return baseUrlFor(httpPort()); }

std::string DemoServer::baseUrlFor(std::uint16_t port) const {
  return "http://" + m_options.host + ":" + std::to_string(port);
}

Config demoClientConfig(const std::string& host, std::uint16_t debugPort, std::uint16_t productionPort,
                        std::uint16_t httpPort) {
  const std::string base = "http://" + host + ":" + std::to_string(httpPort);
  Config config;
  config.debugHost = host;
  config.debugPort = debugPort;
  config.productionHost = host;
  config.productionPort = productionPort;
  config.updateFeedAddress = base + "/update";
  config.noticeFeedAddress = base + "/notice";
  config.signupPageAddress = base + "/signup";
  config.contactLineUtf8 = "联系作者: author@velnox.example";
  return config;
}

Config DemoServer::clientConfig() const {
  return demoClientConfig(m_options.host, debugPort(), productionPort(), httpPort());
}

void DemoServer::dropConnections() {
  m_debug.closeAll();
  m_production.closeAll();
}

std::vector<std::string> DemoServer::servedPaths() const {
  std::lock_guard lock(m_http->mutex);
  return m_http->paths;
}

void DemoServer::onConnect(TestServer& peer, const char* endpoint, TestServer::ClientId id) {
  log(std::string(endpoint) + " client " + std::to_string(id) + " connected");
  // A fresh client gets what the service publishes unasked: the switches, the ads and the
  // catalogue. It asks for the catalogue itself only every five minutes.
  peer.send(id, adSwitchesMessage());
  peer.send(id, adListMessage(baseUrl()));
  peer.send(id, catalogueMessage(std::time(nullptr)));
}

void DemoServer::onMessage(TestServer& peer, const char* endpoint, TestServer::ClientId id,
                           const std::string& payload) {
  log(std::string(endpoint) + " client " + std::to_string(id) + ": " + shown(payload));
  std::vector<std::string> answers;
  if (payload.starts_with("%ov_mc%")) {
    answers = detailMessages(std::string_view(payload).substr(7), baseUrl());
  } else if (payload.starts_with("%ov_xml%")) {
    answers.push_back(catalogueMessage(std::time(nullptr)));
  } else {
    answers = m_accounts->answer(payload);
  }
  for (const std::string& answer : answers) {
    log("  -> " + shown(answer));
    peer.send(id, answer);
  }
}

void DemoServer::dropLoop() {
  std::unique_lock lock(m_dropMutex);
  while (!m_dropWake.wait_for(lock, m_options.dropEvery, [this] { return m_stopping; })) {
    lock.unlock();
    log("dropping every connection");
    dropConnections();
    lock.lock();
  }
}

}  // namespace velnox::demo
