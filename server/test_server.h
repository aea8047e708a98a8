#pragma once
// A server that speaks the client's framing on a loopback port: the scriptable peer of the
// tests and the core of the velnox-server demo. It accepts any number of clients, reassembles
// what they send, records it, and sends what it is told (framed payloads, or raw bytes for
// deliberately broken frames). Every public operation may be called from any thread,
// including from inside the callbacks.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velnox {

class TestServer {
 public:
  using ClientId = std::uint64_t;  // 1, 2, 3... in the order of acceptance
  // Called on the client's reading thread for every whole message, in arrival order.
  using MessageHandler = std::function<void(ClientId, const std::string& payload)>;
  // Called once per accepted client, before any of its messages.
  using ClientHandler = std::function<void(ClientId)>;

  struct Received {
    ClientId client = 0;
    std::string payload;
  };

  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Set these before start().
  void setOnMessage(MessageHandler handler);
  void setOnConnect(ClientHandler handler);
  void setOnDisconnect(ClientHandler handler);
  // What to keep of the traffic: whole messages (on by default) and every raw byte
  // received per client (off by default). Long runs such as benchmarks turn both off.
  void setRecording(bool messages, bool rawBytes);

  // Listens on host:port; port 0 picks a free port. False when the port cannot be had.
  bool start(std::uint16_t port = 0, const std::string& host = "127.0.0.1");
  // Closes every client and the listening socket, and ends every thread.
  void stop();
  std::uint16_t port() const;

  // Queues a framed message; false when the client is unknown or closed.
  bool send(ClientId client, std::string payload);
  // Queues the message for every open client; returns how many.
  std::size_t sendAll(const std::string& payload);
  // Queues bytes to go out exactly as given.
  bool sendRaw(ClientId client, std::string bytes);
  // Closes the client once what was queued before has been written.
  bool closeClient(ClientId client);
  void closeAll();
  // A paused client's bytes stay unread in the socket, so its sender's buffers fill up.
  void setReadingPaused(ClientId client, bool paused);

  std::vector<Received> messages() const;
  std::size_t messageCount() const;
  std::string rawReceived(ClientId client) const;
  // Broken, oversized or interrupted messages dropped by the reassembly, over all clients.
  std::size_t discardCount() const;
  std::vector<ClientId> openClients() const;
  bool isOpen(ClientId client) const;

  // Waits until at least count messages arrived in all; false on time-out.
  bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;
  // Waits until the count-th client has been accepted; its id, or 0 on time-out.
  ClientId waitForClient(std::size_t count, std::chrono::milliseconds timeout) const;
  // Waits until the client's connection has ended; false on time-out.
  bool waitForClosed(ClientId client, std::chrono::milliseconds timeout) const;
  bool waitForDiscards(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Peer;

  void acceptLoop();
  void reapFinishedPeers();
  void readLoop(const std::shared_ptr<Peer>& peer);
  void writeLoop(const std::shared_ptr<Peer>& peer);
  bool enqueue(ClientId client, std::string bytes, bool framed, bool close);
  void markClosed(const std::shared_ptr<Peer>& peer);
  std::shared_ptr<Peer> find(ClientId client) const;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::map<ClientId, std::shared_ptr<Peer>> m_peers;
  std::vector<Received> m_messages;
  std::size_t m_messageCount = 0;
  std::size_t m_discards = 0;
  std::size_t m_accepted = 0;
  bool m_recordMessages = true;
  bool m_recordRaw = false;
  bool m_running = false;
  bool m_stopping = false;

  MessageHandler m_onMessage;
  ClientHandler m_onConnect;
  ClientHandler m_onDisconnect;

  int m_listener = -1;
  std::uint16_t m_port = 0;
  std::thread m_acceptor;
};

// A loopback port that nothing listens on: taken from the system, then released. Tests and
// benchmarks point a client at it to see a connection refused.
int unusedLoopbackPort();

// A socket listening on 127.0.0.1 at `port` (0: one the system picks, written back to
// `port`), with SO_REUSEADDR; -1 when it cannot listen. The caller closes it.
int listenOnLoopback(int& port, int backlog = 64);

// A loopback listener whose accept queue is full: a connect to it hangs in its handshake
// until the listener closes. Tests and benchmarks use it for a peer that never answers.
class StalledListener {
 public:
  explicit StalledListener(int port = 0);
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;
  int port() const { return m_port; }
  // Closes the listener: a connect waiting on it then fails at its next handshake retry.
  void close();

 private:
  int m_fd = -1;
  int m_port = 0;
  std::vector<int> m_fillers;
};

}  // namespace velnox
