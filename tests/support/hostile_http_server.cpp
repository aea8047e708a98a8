#include "tests/support/hostile_http_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace velnox::test {

namespace {

using namespace std::chrono_literals;

constexpr auto kPollStep = 50ms;

bool pastCap(const HostileConnection& c) { return c.age() > hostile::kSafetyCap; }

}  // namespace

// ---- Connection -----------------------------------------------------------------------------

bool HostileConnection::readRequest(bool anyBytes) {
  m_request.clear();
  char buffer[4096];
  while (!m_stopping && !pastCap(*this)) {
    pollfd pfd{m_fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(kPollStep.count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    m_request.append(buffer, static_cast<size_t>(n));
    if (anyBytes || m_request.find("\r\n\r\n") != std::string::npos) return true;
  }
  return false;
}

bool HostileConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (m_stopping || pastCap(*this)) return false;
    pollfd pfd{m_fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(kPollStep.count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if ((pfd.revents & (POLLERR | POLLHUP)) != 0) return false;
    const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool HostileConnection::pause(std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < end) {
    if (m_stopping || pastCap(*this)) return false;
    pollfd pfd{m_fd, POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::clamp(left, 0ms, kPollStep).count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    // Whatever the client sends now is read and dropped; only its leaving matters.
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
  }
  return true;
}

// ---- Server ---------------------------------------------------------------------------------

HostileServer::HostileServer(Behaviour behaviour, bool acceptConnections, int backlog)
    : m_behaviour(std::move(behaviour)), m_accepting(acceptConnections) {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0) throw std::runtime_error("no socket for the hostile server");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, backlog) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(m_listener);
    throw std::runtime_error("the hostile server cannot listen");
  }
  m_port = ntohs(address.sin_port);
  if (m_accepting) m_acceptor = std::thread([this] { acceptLoop(); });
}

HostileServer::~HostileServer() {
  m_stopping = true;
  if (m_acceptor.joinable()) m_acceptor.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(m_mutex);
    // A behaviour blocked on its socket wakes up once the socket is shut down.
    for (const int fd : m_openFds) ::shutdown(fd, SHUT_RDWR);
    connections.swap(m_connections);
  }
  for (std::thread& t : connections) t.join();
  std::lock_guard lock(m_mutex);
  for (const int fd : m_openFds) ::close(fd);
  ::close(m_listener);
}

std::string HostileServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::string HostileServer::secureUrl(std::string_view path) const {
  return "https://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

void HostileServer::fillListenQueue() {
  // A few more than the queue holds: the kernel admits backlog + 1, and the excess attempts
  // go unanswered without blocking us (non-blocking connects).
  for (int i = 0; i < 8; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    std::lock_guard lock(m_mutex);
    m_openFds.push_back(fd);
  }
  // Give the handshakes of the fillers time to land in the queue.
  std::this_thread::sleep_for(200ms);
}

void HostileServer::acceptLoop() {
  while (!m_stopping) {
    pollfd pfd{m_listener, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(kPollStep.count())) <= 0) continue;
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++m_accepted;
    std::lock_guard lock(m_mutex);
    m_openFds.push_back(fd);
    m_connections.emplace_back([this, fd] {
      HostileConnection connection(fd, m_stopping);
      m_behaviour(connection);
      // Closed only by the destructor: the descriptor number stays ours until then.
      ::shutdown(fd, SHUT_RDWR);
    });
  }
}

// ---- Behaviours -----------------------------------------------------------------------------

namespace hostile {

namespace {

// Sends the bytes again and again, up to the byte cap.
void repeat(HostileConnection& c, const std::string& bytes) {
  for (size_t sent = 0; sent < kSafetyBytes && c.send(bytes); sent += bytes.size()) {
  }
}

}  // namespace

void endlessChunkedBody(HostileConnection& c) {
  if (!c.readRequest()) return;
  if (!c.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
  repeat(c, "10000\r\n" + std::string(0x10000, 'x') + "\r\n");
}

void endlessBodyUntilClose(HostileConnection& c) {
  if (!c.readRequest()) return;
  if (!c.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n")) return;
  repeat(c, std::string(0x10000, 'y'));
}

void terabyteContentLength(HostileConnection& c) {
  if (!c.readRequest()) return;
  if (!c.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1099511627776\r\n\r\n")) return;
  repeat(c, std::string(0x10000, 'z'));
}

void endlessHeaderLines(HostileConnection& c) {
  if (!c.readRequest()) return;
  if (!c.send("HTTP/1.1 200 OK\r\n")) return;
  const std::string line = "X-Filler: " + std::string(1000, 'h') + "\r\n";
  repeat(c, line);
}

void endlessHeaderLine(HostileConnection& c) {
  if (!c.readRequest()) return;
  if (!c.send("HTTP/1.1 200 OK\r\nX-Endless: ")) return;
  repeat(c, std::string(0x10000, 'l'));
}

void silentAfterRequest(HostileConnection& c) {
  if (!c.readRequest()) return;
  while (c.pause(1s)) {
  }
}

void silentFromTheStart(HostileConnection& c) {
  while (c.pause(1s)) {
  }
}

void garbageAnswer(HostileConnection& c) {
  if (!c.readRequest(true)) return;
  c.send("HTTP/1.1 400 Bad Request\r\n\r\n\x01\x02garbage, not a TLS record\r\n");
}

std::function<void(HostileConnection&)> dripBody(std::chrono::milliseconds interval) {
  return [interval](HostileConnection& c) {
    if (!c.readRequest()) return;
    if (!c.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\n")) return;
    for (int i = 0; i < 1000 && c.pause(interval); ++i) {
      if (!c.send("d")) return;
    }
  };
}

std::function<void(HostileConnection&)> dripHeaders(std::chrono::milliseconds interval) {
  return [interval](HostileConnection& c) {
    if (!c.readRequest()) return;
    if (!c.send("HTTP/1.1 200 OK\r\nX-Drip: ")) return;
    while (c.pause(interval) && c.send("d")) {
    }
  };
}

void redirectToItself(HostileConnection& c) {
  while (c.readRequest()) {
    const std::string& request = c.request();
    const size_t start = request.find(' ');
    const size_t end = request.find(' ', start + 1);
    const std::string target = start == std::string::npos || end == std::string::npos
                                   ? "/"
                                   : request.substr(start + 1, end - start - 1);
    // Keep-alive, so that the whole loop may run on one connection.
    if (!c.send("HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n")) return;
  }
}

}  // namespace hostile

}  // namespace velnox::test
