#include "server/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>

#include "net/frame_codec.h"
#include "net/socket_posix.h"

namespace velnox {

namespace {

// How often the server's threads look at their stop flags while idle.
constexpr std::chrono::milliseconds kPollSlice{50};
constexpr std::size_t kReadBufferSize = 64 * 1024;

}  // namespace

struct TestServer::Peer {
  enum class Kind { Framed, Raw, Close };
  struct Item {
    Kind kind = Kind::Raw;
    std::string tag;
    std::string bytes;
  };

  Peer(ClientId clientId, sock::Handle handle) : id(clientId), fd(handle) {}
  ~Peer() { sock::closeHandle(fd); }

  const ClientId id;
  const sock::Handle fd;
  std::atomic<bool> closing{false};
  // Guarded by the server's mutex.
  bool closed = false;
  bool paused = false;
  TagCounter tags;
  std::deque<Item> outbox;
  std::string raw;
  std::condition_variable wake;  // outbox filled, pause lifted, or closing
  std::thread reader;
  std::thread writer;
  // Set as each thread leaves its loop, so the accept loop can join it without waiting.
  std::atomic<bool> readerDone{false};
  std::atomic<bool> writerDone{false};
};

TestServer::TestServer() = default;

TestServer::~TestServer() { stop(); }

void TestServer::setOnMessage(MessageHandler handler) {
  std::lock_guard lock(m_mutex);
  m_onMessage = std::move(handler);
}

void TestServer::setOnConnect(ClientHandler handler) {
  std::lock_guard lock(m_mutex);
  m_onConnect = std::move(handler);
}

void TestServer::setOnDisconnect(ClientHandler handler) {
  std::lock_guard lock(m_mutex);
  m_onDisconnect = std::move(handler);
}

void TestServer::setRecording(bool messages, bool rawBytes) {
  std::lock_guard lock(m_mutex);
  m_recordMessages = messages;
  m_recordRaw = rawBytes;
}

bool TestServer::start(std::uint16_t port, const std::string& host) {
  std::lock_guard lock(m_mutex);
  if (m_running) return false;
  std::uint16_t bound = 0;
  const sock::Handle listener = sock::listenIpv4(host, port, bound);
  if (listener == sock::kInvalid) return false;
  m_listener = listener;
  m_port = bound;
  m_running = true;
  m_stopping = false;
  m_acceptor = std::thread([this] { acceptLoop(); });
  return true;
}

void TestServer::stop() {
  {
    std::lock_guard lock(m_mutex);
    if (!m_running) return;
    m_stopping = true;
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  sock::closeHandle(m_listener);
  m_listener = sock::kInvalid;
  std::map<ClientId, std::shared_ptr<Peer>> peers;
  {
    std::lock_guard lock(m_mutex);
    peers = m_peers;
    for (auto& [id, peer] : peers) {
      peer->closing = true;
      sock::shutdownBoth(peer->fd);
      peer->wake.notify_all();
    }
  }
  for (auto& [id, peer] : peers) {
    if (peer->reader.joinable()) peer->reader.join();
    if (peer->writer.joinable()) peer->writer.join();
  }
  std::lock_guard lock(m_mutex);
  m_peers.clear();
  m_running = false;
  m_stopping = false;
  m_changed.notify_all();
}

std::uint16_t TestServer::port() const {
  std::lock_guard lock(m_mutex);
  return m_port;
}

void TestServer::acceptLoop() {
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_stopping) return;
    }
    if (sock::waitReadable(m_listener, kPollSlice) != sock::Wait::Ready) continue;
    const sock::Handle fd = sock::acceptConnection(m_listener);
    if (fd == sock::kInvalid) continue;
    sock::setStreamOptions(fd);
    reapFinishedPeers();
    std::shared_ptr<Peer> peer;
    ClientHandler onConnect;
    {
      std::lock_guard lock(m_mutex);
      peer = std::make_shared<Peer>(m_accepted + 1, fd);
      ++m_accepted;
      m_peers[peer->id] = peer;
      onConnect = m_onConnect;
      peer->writer = std::thread([this, peer] {
        writeLoop(peer);
        peer->writerDone = true;
      });
    }
    // Before the reader starts, so that a client's connect callback precedes its messages.
    if (onConnect) onConnect(peer->id);
    {
      std::lock_guard lock(m_mutex);
      peer->reader = std::thread([this, peer] {
        readLoop(peer);
        peer->readerDone = true;
      });
    }
    m_changed.notify_all();
  }
}

void TestServer::reapFinishedPeers() {
  // A long run with many short connections would otherwise keep two ended threads (and
  // their stacks) per connection until the server stops.
  std::vector<std::thread> ended;
  {
    std::lock_guard lock(m_mutex);
    for (auto& [id, peer] : m_peers) {
      if (!peer->readerDone.load() || !peer->writerDone.load()) continue;
      if (peer->reader.joinable()) ended.push_back(std::move(peer->reader));
      if (peer->writer.joinable()) ended.push_back(std::move(peer->writer));
    }
  }
  for (std::thread& thread : ended) thread.join();
}

void TestServer::readLoop(const std::shared_ptr<Peer>& peer) {
  std::vector<char> buffer(kReadBufferSize);
  FrameReassembler reassembler;
  std::vector<FrameEvent> frames;
  while (!peer->closing.load()) {
    {
      std::unique_lock lock(m_mutex);
      peer->wake.wait(lock, [&] { return !peer->paused || peer->closing.load(); });
    }
    const sock::Wait wait = sock::waitReadable(peer->fd, kPollSlice);
    if (wait == sock::Wait::Timeout) continue;
    if (wait == sock::Wait::Failed) break;
    const long received = sock::receive(peer->fd, buffer.data(), buffer.size());
    if (received == sock::kWouldBlock) continue;
    if (received <= 0) break;
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(received));
    frames.clear();
    reassembler.feed(bytes, frames);
    MessageHandler onMessage;
    {
      std::lock_guard lock(m_mutex);
      if (m_recordRaw) peer->raw.append(bytes);
      onMessage = m_onMessage;
    }
    bool closeAsked = false;
    for (FrameEvent& frame : frames) {
      if (frame.kind == FrameEvent::Kind::Close) {
        closeAsked = true;
        break;
      }
      {
        std::lock_guard lock(m_mutex);
        if (frame.kind == FrameEvent::Kind::Discard) {
          ++m_discards;
        } else {
          ++m_messageCount;
          if (m_recordMessages) m_messages.push_back({peer->id, frame.payload});
        }
      }
      m_changed.notify_all();
      if (frame.kind == FrameEvent::Kind::Message && onMessage) onMessage(peer->id, frame.payload);
      reassembler.recycle(std::move(frame.payload));
    }
    if (closeAsked) break;
  }
  markClosed(peer);
}

void TestServer::writeLoop(const std::shared_ptr<Peer>& peer) {
  for (;;) {
    Peer::Item item;
    {
      std::unique_lock lock(m_mutex);
      peer->wake.wait(lock, [&] { return peer->closing.load() || !peer->outbox.empty(); });
      if (peer->closing.load()) return;
      item = std::move(peer->outbox.front());
      peer->outbox.pop_front();
    }
    if (item.kind == Peer::Kind::Close) {
      markClosed(peer);
      return;
    }
    // Writes one run of slices whole, waiting for room as long as the peer stays open.
    auto writeAll = [&](sock::Slice* slices, std::size_t count) {
      std::size_t first = 0;
      while (first < count) {
        if (slices[first].size == 0) {
          ++first;
          continue;
        }
        const long written = sock::sendSlices(peer->fd, slices + first, count - first);
        if (written == sock::kFailed || peer->closing.load()) return false;
        if (written == sock::kWouldBlock || written == 0) {
          if (sock::waitWritable(peer->fd, kPollSlice) == sock::Wait::Failed) return false;
          continue;
        }
        auto rest = static_cast<std::size_t>(written);
        while (rest > 0 && first < count) {
          const std::size_t step = std::min(rest, slices[first].size);
          slices[first].data += step;
          slices[first].size -= step;
          rest -= step;
          if (slices[first].size == 0) ++first;
        }
      }
      return true;
    };
    bool ok = true;
    if (item.kind == Peer::Kind::Raw) {
      sock::Slice slice{item.bytes.data(), item.bytes.size()};
      ok = writeAll(&slice, 1);
    } else {
      const MessageChunker chunker(item.tag, item.bytes);
      for (std::size_t i = 0; ok && i < chunker.chunkCount(); ++i) {
        const MessageChunker::Chunk chunk = chunker.chunk(i);
        sock::Slice slices[3] = {{chunk.header.data(), chunk.header.size()},
                                 {chunk.head.data(), chunk.head.size()},
                                 {chunk.payload.data(), chunk.payload.size()}};
        ok = writeAll(slices, 3);
      }
    }
    if (!ok) {
      markClosed(peer);
      return;
    }
  }
}

void TestServer::markClosed(const std::shared_ptr<Peer>& peer) {
  ClientHandler onDisconnect;
  {
    std::lock_guard lock(m_mutex);
    peer->closing = true;
    sock::shutdownBoth(peer->fd);
    peer->wake.notify_all();
    if (peer->closed) return;
    peer->closed = true;
    peer->outbox.clear();
    if (!m_stopping) onDisconnect = m_onDisconnect;
  }
  m_changed.notify_all();
  if (onDisconnect) onDisconnect(peer->id);
}

std::shared_ptr<TestServer::Peer> TestServer::find(ClientId client) const {
  const auto it = m_peers.find(client);
  return it == m_peers.end() ? nullptr : it->second;
}

bool TestServer::enqueue(ClientId client, std::string bytes, bool framed, bool close) {
  std::lock_guard lock(m_mutex);
  const auto peer = find(client);
  if (!peer || peer->closing.load()) return false;
  Peer::Item item;
  item.kind = close ? Peer::Kind::Close : framed ? Peer::Kind::Framed : Peer::Kind::Raw;
  if (framed) item.tag = peer->tags.next();
  item.bytes = std::move(bytes);
  peer->outbox.push_back(std::move(item));
  peer->wake.notify_all();
  return true;
}

bool TestServer::send(ClientId client, std::string payload) {
  return enqueue(client, std::move(payload), true, false);
}

std::size_t TestServer::sendAll(const std::string& payload) {
  std::size_t sent = 0;
  for (const ClientId client : openClients()) sent += send(client, payload) ? 1 : 0;
  return sent;
}

bool TestServer::sendRaw(ClientId client, std::string bytes) {
  return enqueue(client, std::move(bytes), false, false);
}

bool TestServer::closeClient(ClientId client) { return enqueue(client, {}, false, true); }

void TestServer::closeAll() {
  for (const ClientId client : openClients()) closeClient(client);
}

void TestServer::setReadingPaused(ClientId client, bool paused) {
  std::lock_guard lock(m_mutex);
  if (const auto peer = find(client)) {
    peer->paused = paused;
    peer->wake.notify_all();
  }
}

std::vector<TestServer::Received> TestServer::messages() const {
  std::lock_guard lock(m_mutex);
  return m_messages;
}

std::size_t TestServer::messageCount() const {
  std::lock_guard lock(m_mutex);
  return m_messageCount;
}

std::string TestServer::rawReceived(ClientId client) const {
  std::lock_guard lock(m_mutex);
  const auto peer = find(client);
  return peer ? peer->raw : std::string();
}

std::size_t TestServer::discardCount() const {
  std::lock_guard lock(m_mutex);
  return m_discards;
}

std::vector<TestServer::ClientId> TestServer::openClients() const {
  std::lock_guard lock(m_mutex);
  std::vector<ClientId> open;
  for (const auto& [id, peer] : m_peers) {
    if (!peer->closed) open.push_back(id);
  }
  return open;
}

bool TestServer::isOpen(ClientId client) const {
  std::lock_guard lock(m_mutex);
  const auto peer = find(client);
  return peer && !peer->closed;
}

bool TestServer::waitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_messageCount >= count; });
}

TestServer::ClientId TestServer::waitForClient(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  if (!m_changed.wait_for(lock, timeout, [&] { return m_accepted >= count; })) return 0;
  return static_cast<ClientId>(count);
}

bool TestServer::waitForClosed(ClientId client, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] {
    const auto peer = find(client);
    return !peer || peer->closed;
  });
}

bool TestServer::waitForDiscards(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_discards >= count; });
}

int listenOnLoopback(int& port, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

StalledListener::StalledListener(int port) : m_port(port) {
  m_fd = listenOnLoopback(m_port, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(m_port));
  // A backlog of 0 still takes a connection or two; these fill it.
  for (int i = 0; i < 4; ++i) {
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ::fcntl(filler, F_SETFL, O_NONBLOCK);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    m_fillers.push_back(filler);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

StalledListener::~StalledListener() {
  close();
  for (int filler : m_fillers) ::close(filler);
}

void StalledListener::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

int unusedLoopbackPort() {
  int port = 0;
  const int fd = listenOnLoopback(port);
  if (fd >= 0) ::close(fd);
  return port;
}

}  // namespace velnox
