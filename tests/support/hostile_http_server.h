#pragma once
// Servers that misbehave on purpose, for the tests of what the HTTP engine and the
// application do when a document or picture host is hostile. They are written on raw
// sockets because an HTTP library will not send endless headers, stall halfway through a
// handshake or answer a TLS hello with garbage.
//
// A HostileServer listens on 127.0.0.1 (ephemeral port) and runs its behaviour on a thread
// of its own for every connection it accepts. Every behaviour ends when the client goes
// away, when the server is destroyed, or at the latest after a safety cap, so that an
// engine that fails to give up makes a test fail instead of hang.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velnox::test {

// One accepted connection as a behaviour sees it.
class HostileConnection {
 public:
  HostileConnection(int fd, const std::atomic<bool>& stopping) : m_fd(fd), m_stopping(stopping) {}

  // Reads the next request head, up to its "\r\n\r\n" (with anyBytes, whatever first comes:
  // a TLS hello); false when the client left first.
  bool readRequest(bool anyBytes = false);
  // What readRequest read.
  const std::string& request() const { return m_request; }
  // Writes all of the bytes; false once the client has gone or the server is stopping.
  bool send(std::string_view bytes);
  // Waits, watching the socket; false when the client closed it or the server is stopping.
  bool pause(std::chrono::milliseconds time);
  // How long this connection has been open.
  std::chrono::steady_clock::duration age() const { return std::chrono::steady_clock::now() - m_opened; }

 private:
  int m_fd;
  const std::atomic<bool>& m_stopping;
  std::string m_request;
  std::chrono::steady_clock::time_point m_opened = std::chrono::steady_clock::now();
};

class HostileServer {
 public:
  using Behaviour = std::function<void(HostileConnection&)>;

  // backlog is the listen queue; with acceptConnections false nothing is ever accepted, so
  // once the queue is full the kernel leaves further connection attempts unanswered.
  explicit HostileServer(Behaviour behaviour, bool acceptConnections = true, int backlog = 16);
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  int port() const { return m_port; }
  // "http://127.0.0.1:port" followed by path.
  std::string url(std::string_view path = "/") const;
  // "https://127.0.0.1:port" followed by path.
  std::string secureUrl(std::string_view path = "/") const;
  int connectionsAccepted() const { return m_accepted.load(); }

  // Connects sockets that are never accepted until the listen queue is full, so that the
  // next client's connection attempt goes unanswered. Only without acceptConnections.
  void fillListenQueue();

 private:
  void acceptLoop();

  Behaviour m_behaviour;
  bool m_accepting;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_accepted{0};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::vector<int> m_openFds;  // accepted connections and queue fillers, shut down on stop
  std::vector<std::thread> m_connections;
};

// Behaviours. Each reads the request first where that matters for the client.
namespace hostile {

// The longest any behaviour keeps a connection busy, and the most an endless flood sends,
// whatever the client does.
inline constexpr std::chrono::seconds kSafetyCap{50};
inline constexpr size_t kSafetyBytes = size_t{256} << 20;

// 200 with a chunked body that never ends.
void endlessChunkedBody(HostileConnection& c);
// 200 without a length: a body read until the close that never comes.
void endlessBodyUntilClose(HostileConnection& c);
// 200 announcing a body of a terabyte, then sending it as fast as the client takes it.
void terabyteContentLength(HostileConnection& c);
// A status line followed by header lines without end.
void endlessHeaderLines(HostileConnection& c);
// A status line followed by one header line that never ends.
void endlessHeaderLine(HostileConnection& c);
// Reads the request and then says nothing, keeping the connection open.
void silentAfterRequest(HostileConnection& c);
// Accepts and says nothing, not even reading (a TLS hello then waits for ever).
void silentFromTheStart(HostileConnection& c);
// Answers whatever arrives (a TLS hello) with bytes that are no TLS record, then closes.
void garbageAnswer(HostileConnection& c);
// A well-formed head announcing 1,000 bytes, then one byte of body every `interval`.
std::function<void(HostileConnection&)> dripBody(std::chrono::milliseconds interval);
// A status line, then one byte of header every `interval`, for ever.
std::function<void(HostileConnection&)> dripHeaders(std::chrono::milliseconds interval);
// A 302 to the address that was asked for, for every request.
void redirectToItself(HostileConnection& c);

}  // namespace hostile

}  // namespace velnox::test
