#pragma once
// The program's TCP client: one connection, the message framing, and delivery of
// received messages to a handler on a thread of its own (reader, writer and delivery
// threads). Every public operation may be called from any thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velnox {

// One event handed to the EventHandler; valid only during the call.
struct StreamEvent {
  int kind = -1;     // 0 connection lost, 1 message
  std::string data;  // the payload of a message, exactly as sent
};

class StreamClient {
 public:
  using EventHandler = std::function<void(const StreamEvent*)>;

  struct Timing {
    // Unit of the two "20 successive waits" limits (send queue, stalled message).
    std::chrono::milliseconds waitUnit{1000};
    // Upper bound of a TCP connect.
    std::chrono::milliseconds connectTimeout{10000};
  };

  // create: a closed client.
  static std::unique_ptr<StreamClient> create();
  static std::unique_ptr<StreamClient> create(Timing timing);
  ~StreamClient();  // destroy
  StreamClient(const StreamClient&) = delete;
  StreamClient& operator=(const StreamClient&) = delete;

  // False when already connected, the port is outside 0..65535, or resolving or
  // connecting fails. A dotted IPv4 host is used as is, any other is resolved (first IPv4).
  bool connect(int port, const std::string& host, EventHandler handler);
  // Queues one message; false when not connected.
  bool send(std::string bytes);
  // Closes an open connection; no event follows.
  void disconnect();
  // Disconnects and stops every thread of the client; the object stays closed.
  void destroy();
  bool isConnected() const;

  static int eventKind(const StreamEvent* event);                  // 0, 1, or -1 for none
  static bool eventData(const StreamEvent* event, std::string& out);  // false for kind 0 / none

  struct Impl;

 private:
  explicit StreamClient(Timing timing);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velnox
