#pragma once
// Keeps the program's one connection to the server: connects at start, shows the state,
// says hello after every successful connection, notices a lost connection and reconnects
// on the reconnect timer's ticks while it is down.
//
// The state lives in panel 0 of the status bar, which the manager reads and writes through
// ConnectionView on the window thread. Everything the stream client delivers is posted to
// the window thread in the order it arrived; a reconnect attempt runs on a worker and its
// result is posted the same way, before any event of the new connection.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/protocol.h"
#include "util/text.h"

namespace velnox {

class StreamClient;
struct StreamEvent;

// What the manager needs of the main window. Called on the window thread only.
class ConnectionView {
 public:
  virtual ~ConnectionView() = default;
  virtual Text statusText() = 0;                   // panel 0
  virtual void setStatusText(const Text& text) = 0;  // panel 0
  virtual void setCaption(const Text& caption) = 0;
  virtual Text versionTag() = 0;  // the main window's tag
  // loginButton back to its form place, width and caption; visibility and disabled state kept.
  virtual void resetLoginButton() = 0;
};

struct Endpoints {
  Text debugHost = "127.0.0.1";
  int debugPort = 19760;
  Text productionHost;
  int productionPort = 38817;
};

class ConnectionManager {
 public:
  using Task = std::function<void()>;
  // post: runs a task on the window thread later, in the order of the posts.
  // onMessage: the window-thread end of a received message (its effects, downloads done).
  ConnectionManager(StreamClient& client, Endpoints endpoints, ConnectionView& view,
                    std::function<void(Task)> post,
                    std::function<void(std::vector<Effect>)> onMessage, Downloader download);
  ~ConnectionManager();
  ConnectionManager(const ConnectionManager&) = delete;
  ConnectionManager& operator=(const ConnectionManager&) = delete;

  // Blocking, on the window thread, before the main window is shown.
  void connectAtStart();
  void sendHello();
  // The connection half of the reconnect timer's tick (the caller sets the period).
  void reconnectTick();
  // True while a reconnect attempt runs on the worker.
  bool attemptInFlight() const { return m_inFlight.load(); }
  // Waits for a running attempt to finish (exit, tests).
  void waitForAttempt();

  // The stream client's EventHandler (delivery thread).
  void onServerEvent(const StreamEvent* event);
  // Window thread: the effects of a lost connection.
  void onConnectionLost();

 private:
  bool connectTo(const Text& host, int port);
  void postInOrder(Task task);
  void announceConnection(Task first);

  StreamClient& m_client;
  Endpoints m_endpoints;
  ConnectionView& m_view;
  std::function<void(Task)> m_post;
  std::function<void(std::vector<Effect>)> m_onMessage;
  Downloader m_download;

  // Events of a connection are held back until its success has been posted, so the
  // window thread sees "connected" before that connection's messages or its loss.
  std::mutex m_orderMutex;
  bool m_announced = true;
  std::deque<Task> m_held;

  std::atomic<bool> m_inFlight{false};
  std::thread m_worker;
};

}  // namespace velnox
