// The connection manager without a window: its view is a plain record, and tasks posted to
// "the window thread" run on the test's thread when it drains them. This is where the
// ordering promises are checked (and where ThreadSanitizer watches the worker, the stream
// client's threads and the window side together).
#include "net/connection_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "net/fingerprint.h"
#include "net/stream_client.h"
#include "server/test_server.h"
#include "util/encoding.h"

namespace velnox {
namespace {

using namespace std::chrono_literals;

const Text kNotConnected = "\xCE\xB4\xC1\xAC\xBD\xD3";
const Text kDebugging = "\xB5\xF7\xCA\xD4\xD6\xD0";
const Text kConnected = "\xD2\xD1\xC1\xAC\xBD\xD3";

// The window thread's queue.
class TaskQueue {
 public:
  void post(ConnectionManager::Task task) {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
    m_wake.notify_all();
  }
  // Runs posted tasks until the condition holds (checked between tasks) or time is up.
  bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      ConnectionManager::Task task;
      {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait_until(lock, end, [&] { return !m_tasks.empty(); })) return condition();
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
    }
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<ConnectionManager::Task> m_tasks;
};

// The main window as the manager sees it; touched by window-thread tasks only. The log
// records what happened in order.
struct RecordingView final : ConnectionView {
  Text status = kNotConnected;
  Text caption = "Velnox";
  std::vector<std::string> log;
  Text statusText() override { return status; }
  void setStatusText(const Text& text) override {
    status = text;
    log.push_back("status");
  }
  void setCaption(const Text& text) override { caption = text; }
  Text versionTag() override { return "1.0.3"; }
  void resetLoginButton() override { log.push_back("button"); }
};

class ConnectionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(production.start(0));
    endpoints.debugPort = unusedLoopbackPort();
    endpoints.productionHost = "127.0.0.1";
    endpoints.productionPort = production.port();
  }
  void TearDown() override {
    if (manager) manager->waitForAttempt();
    client->destroy();
    manager.reset();
  }
  void make() {
    manager = std::make_unique<ConnectionManager>(
        *client, endpoints, view, [this](ConnectionManager::Task t) { queue.post(std::move(t)); },
        [this](std::vector<Effect> effects) {
          for (const Effect& e : effects) view.log.push_back("message:" + e.payload);
        },
        [](const Text&) { return Bytes(); });
  }

  TestServer production;
  Endpoints endpoints;
  std::unique_ptr<StreamClient> client = StreamClient::create();
  RecordingView view;
  TaskQueue queue;
  std::unique_ptr<ConnectionManager> manager;
};

TEST_F(ConnectionManagerTest, ReconnectIsAnnouncedBeforeThatConnectionsMessages) {
  make();
  // Production answers with a message the moment the client connects.
  production.setOnConnect([&](TestServer::ClientId id) { production.send(id, "$yhts$first"); });
  manager->reconnectTick();
  ASSERT_TRUE(queue.runUntil([&] { return view.log.size() >= 2; }));
  EXPECT_EQ(view.log, (std::vector<std::string>{"status", "message:first"}));
  EXPECT_EQ(view.status, kConnected);
  EXPECT_EQ(view.caption, "Velnox  V1.0.3");
  ASSERT_TRUE(production.waitForMessages(1, 5s));
  EXPECT_EQ(fromUtf8(production.messages().front().payload), helloMessage());
}

TEST_F(ConnectionManagerTest, OneAttemptAtATimeAndNoneWhileConnected) {
  make();
  manager->reconnectTick();
  manager->reconnectTick();  // the first attempt may still run: this one is skipped or waits its turn
  ASSERT_TRUE(queue.runUntil([&] { return view.status == kConnected; }));
  manager->waitForAttempt();
  manager->reconnectTick();  // connected: nothing
  EXPECT_FALSE(manager->attemptInFlight());
  EXPECT_NE(production.waitForClient(1, 5s), 0u);
  EXPECT_EQ(production.waitForClient(2, 200ms), 0u);  // never a second connection
}

TEST_F(ConnectionManagerTest, LossAfterMessagesComesLastThenTheNextTickReconnects) {
  make();
  manager->reconnectTick();
  ASSERT_TRUE(queue.runUntil([&] { return view.status == kConnected; }));
  const auto id = production.waitForClient(1, 5s);
  ASSERT_TRUE(production.waitForMessages(1, 5s));  // the first hello, before the server closes
  production.send(id, "$yhts$a");
  production.send(id, "$yhts$b");
  production.closeClient(id);
  ASSERT_TRUE(queue.runUntil([&] { return view.status == kNotConnected; }));
  EXPECT_EQ(view.log, (std::vector<std::string>{"status", "message:a", "message:b", "status", "button"}));
  EXPECT_EQ(view.caption,
            "\xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xC6\xF4\xB6\xAF\xBB\xF2\xBC\xEC\xB2\xE2\xCD\xF8"
            "\xC2\xE7\xCA\xC7\xB7\xF1\xB3\xA9\xCD\xA8");
  manager->waitForAttempt();
  manager->reconnectTick();
  ASSERT_TRUE(queue.runUntil([&] { return view.status == kConnected; }));
  ASSERT_TRUE(production.waitForMessages(2, 5s));
}

TEST_F(ConnectionManagerTest, StartPrefersTheDebugEndpoint) {
  TestServer debug;
  ASSERT_TRUE(debug.start(0));
  endpoints.debugPort = debug.port();
  make();
  manager->connectAtStart();
  EXPECT_EQ(view.status, kDebugging);
  EXPECT_EQ(view.caption, "Velnox  V1.0.3");
  EXPECT_NE(debug.waitForClient(1, 5s), 0u);
  EXPECT_TRUE(production.openClients().empty());
  client->destroy();
}

}  // namespace
}  // namespace velnox
