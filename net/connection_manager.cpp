#include "net/connection_manager.h"

#include "net/fingerprint.h"
#include "net/stream_client.h"
#include "util/encoding.h"

namespace velnox {

namespace {
const Text kNotConnected = "\xCE\xB4\xC1\xAC\xBD\xD3";  // 未连接
const Text kDebugging = "\xB5\xF7\xCA\xD4\xD6\xD0";     // 调试中
const Text kConnected = "\xD2\xD1\xC1\xAC\xBD\xD3";     // 已连接
// 服务器未启动或检测网络是否畅通
const Text kLostCaption =
    "\xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xC6\xF4\xB6\xAF\xBB\xF2\xBC\xEC\xB2\xE2\xCD\xF8\xC2\xE7\xCA\xC7\xB7\xF1"
    "\xB3\xA9\xCD\xA8";
}  // namespace

ConnectionManager::ConnectionManager(StreamClient& client, Endpoints endpoints, ConnectionView& view,
                                     std::function<void(Task)> post,
                                     std::function<void(std::vector<Effect>)> onMessage, Downloader download)
    : m_client(client),
      m_endpoints(std::move(endpoints)),
      m_view(view),
      m_post(std::move(post)),
      m_onMessage(std::move(onMessage)),
      m_download(std::move(download)) {}

ConnectionManager::~ConnectionManager() { waitForAttempt(); }

void ConnectionManager::waitForAttempt() {
  if (m_worker.joinable()) m_worker.join();
}

bool ConnectionManager::connectTo(const Text& host, int port) {
  {
    std::lock_guard lock(m_orderMutex);
    m_announced = false;
  }
  const bool ok = m_client.connect(port, host, [this](const StreamEvent* e) { onServerEvent(e); });
  if (!ok) {
    // Nothing of a failed attempt may stay held back.
    std::lock_guard lock(m_orderMutex);
    m_announced = true;
    for (Task& t : m_held) m_post(std::move(t));
    m_held.clear();
  }
  return ok;
}

void ConnectionManager::announceConnection(Task first) {
  std::lock_guard lock(m_orderMutex);
  if (first) m_post(std::move(first));
  for (Task& t : m_held) m_post(std::move(t));
  m_held.clear();
  m_announced = true;
}

void ConnectionManager::postInOrder(Task task) {
  std::lock_guard lock(m_orderMutex);
  if (m_announced) {
    m_post(std::move(task));
  } else {
    m_held.push_back(std::move(task));
  }
}

void ConnectionManager::connectAtStart() {
  Text status;
  if (connectTo(m_endpoints.debugHost, m_endpoints.debugPort)) {
    status = kDebugging;
  } else if (connectTo(m_endpoints.productionHost, m_endpoints.productionPort)) {
    status = kConnected;
  }
  if (!status.empty()) {
    m_view.setStatusText(status);
    m_view.setCaption(concat({"Velnox  V", m_view.versionTag()}));
    announceConnection(nullptr);
  }
}

void ConnectionManager::sendHello() { sendMessage(m_client, helloMessage()); }

void ConnectionManager::reconnectTick() {
  if (m_view.statusText() != kNotConnected) return;
  // One attempt at a time; the window thread never waits for it.
  if (m_inFlight.exchange(true)) return;
  waitForAttempt();
  m_worker = std::thread([this] {
    if (connectTo(m_endpoints.productionHost, m_endpoints.productionPort)) {
      announceConnection([this] {
        m_view.setCaption(concat({"Velnox  V", m_view.versionTag()}));
        m_view.setStatusText(kConnected);
        sendHello();
      });
    }
    m_inFlight.store(false);
  });
}

void ConnectionManager::onServerEvent(const StreamEvent* event) {
  switch (StreamClient::eventKind(event)) {
    case 0:
      postInOrder([this] { onConnectionLost(); });
      break;
    case 1: {
      std::string bytes;
      if (!StreamClient::eventData(event, bytes)) return;
      // Decoding, the token chain and the downloads run here, off the window thread.
      std::vector<Effect> effects = tokenChain(fromUtf8(bytes));
      if (effects.empty()) return;
      fetchDownloads(effects, m_download);
      postInOrder([this, effects = std::move(effects)]() mutable { m_onMessage(std::move(effects)); });
      break;
    }
    default:
      break;
  }
}

void ConnectionManager::onConnectionLost() {
  m_view.setCaption(kLostCaption);
  m_view.setStatusText(kNotConnected);
  m_view.resetLoginButton();
}

}  // namespace velnox
