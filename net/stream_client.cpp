#include "net/stream_client.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "net/frame_codec.h"
#include "net/socket_posix.h"

namespace velnox {

namespace {

// A message not written, or a message stalled half-received, is given up after more than
// this many successive wait units.
constexpr int kWaitLimit = 20;
constexpr std::size_t kReadBufferSize = 64 * 1024;

struct Outgoing {
  std::string tag;
  std::string payload;
};

// One TCP connection and its reader and writer threads. The handle is closed when the last
// holder lets go, so a thread never polls a handle number that was reused.
struct Connection {
  Connection(sock::Handle handle, StreamClient::EventHandler eventHandler)
      : fd(handle), handler(std::move(eventHandler)) {}
  ~Connection() { sock::closeHandle(fd); }

  const sock::Handle fd;
  const StreamClient::EventHandler handler;
  // Set once, under the client's mutex; read freely by the connection's own loops.
  std::atomic<bool> closing{false};
  // Closed by disconnect: none of its events may reach the handler any more.
  bool closedByUser = false;    // guarded by the client's mutex
  std::deque<Outgoing> outbox;  // guarded by the client's mutex
  std::condition_variable outboxCv;
  std::thread reader;
  std::thread writer;
};

struct Pending {
  std::shared_ptr<Connection> connection;
  StreamEvent event;
};

class StreamCore : public std::enable_shared_from_this<StreamCore> {
 public:
  explicit StreamCore(StreamClient::Timing timing) : m_timing(timing) {}

  bool connect(int port, const std::string& host, StreamClient::EventHandler handler);
  bool send(std::string bytes);
  void disconnect();
  void destroy();
  bool isConnected() const;

 private:
  enum class WriteResult { Written, Dropped, Failed };

  void readerLoop(const std::shared_ptr<Connection>& connection);
  void writerLoop(const std::shared_ptr<Connection>& connection);
  WriteResult writeMessage(Connection& connection, const Outgoing& message);
  void deliveryLoop();
  void lose(const std::shared_ptr<Connection>& connection);
  void reap(const std::shared_ptr<Connection>& connection);

  const StreamClient::Timing m_timing;

  mutable std::mutex m_mutex;
  std::shared_ptr<Connection> m_connection;  // the open one, or the last one until reaped
  bool m_connected = false;
  TagCounter m_tags;  // per client object: reconnecting does not restart it
  std::deque<Pending> m_events;
  std::condition_variable m_eventsCv;
  bool m_stopDelivery = false;
  std::string m_spentPayload;  // a handled message's memory, on its way back to the reader
  std::thread m_delivery;

  std::mutex m_connectMutex;  // one connect at a time
  std::mutex m_reapMutex;     // one joiner per thread
  std::atomic<bool> m_destroyed{false};
};

bool StreamCore::connect(int port, const std::string& host, StreamClient::EventHandler handler) {
  if (port < 0 || port > 65535) return false;
  std::lock_guard connectLock(m_connectMutex);
  std::shared_ptr<Connection> previous;
  {
    std::lock_guard lock(m_mutex);
    if (m_destroyed.load() || m_connected) return false;
    previous = m_connection;
  }
  if (previous) reap(previous);

  std::uint32_t address = 0;
  if (!sock::resolveIpv4(host, address)) return false;
  const sock::Handle fd =
      sock::connectIpv4(address, static_cast<std::uint16_t>(port), m_timing.connectTimeout, m_destroyed);
  if (fd == sock::kInvalid) return false;
  sock::setStreamOptions(fd);
  auto connection = std::make_shared<Connection>(fd, std::move(handler));

  std::lock_guard lock(m_mutex);
  if (m_destroyed.load()) return false;  // the connection closes its handle
  m_connection = connection;
  m_connected = true;
  if (!m_delivery.joinable()) m_delivery = std::thread([self = shared_from_this()] { self->deliveryLoop(); });
  connection->reader = std::thread([this, connection] { readerLoop(connection); });
  connection->writer = std::thread([this, connection] { writerLoop(connection); });
  return true;
}

bool StreamCore::send(std::string bytes) {
  // The chunk header carries the envelope length in 32 bits.
  if (bytes.size() > kMaxEncodableEnvelope - 64) return false;
  std::lock_guard lock(m_mutex);
  if (!m_connected || !m_connection) return false;
  m_connection->outbox.push_back({m_tags.next(), std::move(bytes)});
  m_connection->outboxCv.notify_one();
  return true;
}

void StreamCore::disconnect() {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(m_mutex);
    connection = m_connection;
    if (!connection) return;
    if (!connection->closing.load()) {
      connection->closing = true;
      connection->closedByUser = true;
      m_connected = false;
      connection->outbox.clear();
      sock::shutdownBoth(connection->fd);
      connection->outboxCv.notify_all();
      std::erase_if(m_events, [&](const Pending& p) { return p.connection == connection; });
    }
  }
  reap(connection);
}

void StreamCore::destroy() {
  if (m_destroyed.exchange(true)) return;
  disconnect();
  // A connect in progress sees m_destroyed within a few milliseconds and gives up.
  { std::lock_guard connectLock(m_connectMutex); }
  disconnect();
  {
    std::lock_guard lock(m_mutex);
    m_stopDelivery = true;
    m_events.clear();
  }
  m_eventsCv.notify_all();
  if (m_delivery.joinable()) {
    // Destroyed from inside the handler: the delivery thread ends on its own once the handler
    // returns, and keeps this core alive until then.
    if (m_delivery.get_id() == std::this_thread::get_id()) {
      m_delivery.detach();
    } else {
      m_delivery.join();
    }
  }
}

bool StreamCore::isConnected() const {
  std::lock_guard lock(m_mutex);
  return m_connected;
}

void StreamCore::lose(const std::shared_ptr<Connection>& connection) {
  {
    std::lock_guard lock(m_mutex);
    if (connection->closing.load()) return;  // already closed, by us or by disconnect
    connection->closing = true;
    if (m_connection == connection) m_connected = false;
    connection->outbox.clear();
    sock::shutdownBoth(connection->fd);
    connection->outboxCv.notify_all();
    m_events.push_back({connection, StreamEvent{0, {}}});
  }
  m_eventsCv.notify_one();
}

void StreamCore::reap(const std::shared_ptr<Connection>& connection) {
  std::lock_guard reapLock(m_reapMutex);
  if (connection->reader.joinable()) connection->reader.join();
  if (connection->writer.joinable()) connection->writer.join();
  std::lock_guard lock(m_mutex);
  if (m_connection == connection && connection->closing.load()) m_connection.reset();
}

void StreamCore::readerLoop(const std::shared_ptr<Connection>& connection) {
  std::vector<char> buffer(kReadBufferSize);
  FrameReassembler reassembler;
  std::vector<FrameEvent> frames;
  int stalledWaits = 0;
  while (!connection->closing.load()) {
    const sock::Wait wait = sock::waitReadable(connection->fd, m_timing.waitUnit);
    if (wait == sock::Wait::Timeout) {
      // Half a message that stops arriving is given up; the connection stays.
      if (!reassembler.midMessage()) {
        stalledWaits = 0;
      } else if (++stalledWaits > kWaitLimit) {
        reassembler.discardPartial();
        stalledWaits = 0;
      }
      continue;
    }
    if (wait == sock::Wait::Failed) break;
    const long received = sock::receive(connection->fd, buffer.data(), buffer.size());
    if (received == sock::kWouldBlock) continue;
    if (received <= 0) break;  // the peer closed, or the socket failed
    stalledWaits = 0;
    frames.clear();
    reassembler.feed(std::string_view(buffer.data(), static_cast<std::size_t>(received)), frames);
    bool closeAsked = false;
    bool delivered = false;
    {
      std::lock_guard lock(m_mutex);
      if (connection->closing.load()) return;
      for (FrameEvent& frame : frames) {
        if (frame.kind == FrameEvent::Kind::Close) {
          closeAsked = true;
          break;
        }
        if (frame.kind == FrameEvent::Kind::Message) {
          m_events.push_back({connection, StreamEvent{1, std::move(frame.payload)}});
          delivered = true;
        }
      }
      if (m_spentPayload.capacity() > 0) reassembler.recycle(std::exchange(m_spentPayload, std::string()));
    }
    if (delivered) m_eventsCv.notify_one();
    if (closeAsked) break;
  }
  lose(connection);
}

void StreamCore::writerLoop(const std::shared_ptr<Connection>& connection) {
  for (;;) {
    Outgoing message;
    {
      std::unique_lock lock(m_mutex);
      connection->outboxCv.wait(lock,
                                [&] { return connection->closing.load() || !connection->outbox.empty(); });
      if (connection->closing.load()) return;
      message = std::move(connection->outbox.front());
      connection->outbox.pop_front();
    }
    if (writeMessage(*connection, message) == WriteResult::Failed) {
      lose(connection);
      return;
    }
  }
}

StreamCore::WriteResult StreamCore::writeMessage(Connection& connection, const Outgoing& message) {
  const MessageChunker chunker(message.tag, message.payload);
  bool started = false;
  int waits = 0;
  for (std::size_t index = 0; index < chunker.chunkCount(); ++index) {
    const MessageChunker::Chunk chunk = chunker.chunk(index);
    // Header and envelope bytes go out in one vectored send, never as two writes.
    sock::Slice slices[3] = {{chunk.header.data(), chunk.header.size()},
                             {chunk.head.data(), chunk.head.size()},
                             {chunk.payload.data(), chunk.payload.size()}};
    std::size_t first = 0;
    while (first < 3) {
      if (slices[first].size == 0) {
        ++first;
        continue;
      }
      const long written = sock::sendSlices(connection.fd, slices + first, 3 - first);
      if (written == sock::kFailed || connection.closing.load()) return WriteResult::Failed;
      if (written > 0) {
        started = true;
        waits = 0;
        auto rest = static_cast<std::size_t>(written);
        while (rest > 0 && first < 3) {
          const std::size_t step = std::min(rest, slices[first].size);
          slices[first].data += step;
          slices[first].size -= step;
          rest -= step;
          if (slices[first].size == 0) ++first;
        }
        continue;
      }
      const sock::Wait wait = sock::waitWritable(connection.fd, m_timing.waitUnit);
      if (wait == sock::Wait::Failed) return WriteResult::Failed;
      if (wait == sock::Wait::Timeout && ++waits > kWaitLimit) {
        // A message that cannot be written is dropped. Once part of it is on the wire the
        // stream can no longer be framed, so the connection is given up instead.
        return started ? WriteResult::Failed : WriteResult::Dropped;
      }
    }
  }
  return WriteResult::Written;
}

void StreamCore::deliveryLoop() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_eventsCv.wait(lock, [&] { return m_stopDelivery || !m_events.empty(); });
    if (m_stopDelivery) return;
    Pending pending = std::move(m_events.front());
    m_events.pop_front();
    if (pending.connection->closedByUser) continue;
    lock.unlock();
    if (pending.connection->handler) pending.connection->handler(&pending.event);
    std::string spent = std::move(pending.event.data);
    // Release the event and, possibly, the last hold on its connection outside the lock.
    pending = Pending{};
    lock.lock();
    // The reader receives the next large message into this memory.
    if (spent.capacity() > m_spentPayload.capacity() && spent.capacity() <= kMaxRecycledBuffer) {
      m_spentPayload.swap(spent);
    }
    lock.unlock();
    spent = std::string();
    lock.lock();
  }
}

}  // namespace

struct StreamClient::Impl {
  std::shared_ptr<StreamCore> core;
};

std::unique_ptr<StreamClient> StreamClient::create() { return create(Timing{}); }

std::unique_ptr<StreamClient> StreamClient::create(Timing timing) {
  return std::unique_ptr<StreamClient>(new StreamClient(timing));
}

StreamClient::StreamClient(Timing timing) : m_impl(std::make_unique<Impl>()) {
  m_impl->core = std::make_shared<StreamCore>(timing);
}

StreamClient::~StreamClient() { destroy(); }

bool StreamClient::connect(int port, const std::string& host, EventHandler handler) {
  return m_impl->core->connect(port, host, std::move(handler));
}

bool StreamClient::send(std::string bytes) { return m_impl->core->send(std::move(bytes)); }

void StreamClient::disconnect() { m_impl->core->disconnect(); }

void StreamClient::destroy() { m_impl->core->destroy(); }

bool StreamClient::isConnected() const { return m_impl->core->isConnected(); }

int StreamClient::eventKind(const StreamEvent* event) {
  if (event == nullptr || (event->kind != 0 && event->kind != 1)) return -1;
  return event->kind;
}

bool StreamClient::eventData(const StreamEvent* event, std::string& out) {
  if (eventKind(event) != 1) return false;
  out = event->data;
  return true;
}

}  // namespace velnox
