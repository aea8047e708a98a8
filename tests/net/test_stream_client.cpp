// The stream client against the test server over real loopback sockets: framing on the
// wire, events, the limits, and broken input from the server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/frame_codec.h"
#include "net/stream_client.h"
#include "server/test_server.h"

namespace velnox {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;
// Short wait unit: the limits of 20 waits then pass in a fraction of a second.
constexpr auto kWaitUnit = 10ms;

// Collects what the handler receives, and notices if it is ever entered twice at once.
class EventLog {
 public:
  StreamClient::EventHandler handler() {
    return [this](const StreamEvent* event) {
      const int inside = ++m_inside;
      if (inside > 1) m_overlap = true;
      std::string data;
      const int kind = StreamClient::eventKind(event);
      const bool hasData = StreamClient::eventData(event, data);
      if (m_onEvent) m_onEvent(kind);
      {
        std::lock_guard lock(m_mutex);
        m_kinds.push_back(kind);
        m_data.push_back(hasData ? data : "<none>");
      }
      --m_inside;
      m_changed.notify_all();
    };
  }

  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = kTimeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_kinds.size() >= count; });
  }
  std::vector<int> kinds() {
    std::lock_guard lock(m_mutex);
    return m_kinds;
  }
  std::vector<std::string> data() {
    std::lock_guard lock(m_mutex);
    return m_data;
  }
  bool overlapped() const { return m_overlap; }
  // Runs inside the handler, on the delivery thread.
  void onEvent(std::function<void(int)> fn) { m_onEvent = std::move(fn); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<int> m_kinds;
  std::vector<std::string> m_data;
  std::atomic<int> m_inside{0};
  std::atomic<bool> m_overlap{false};
  std::function<void(int)> m_onEvent;
};

class StreamClientTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start(0));
    server.setRecording(true, true);
    client = StreamClient::create(StreamClient::Timing{kWaitUnit, 2000ms});
  }

  TestServer::ClientId connect(std::size_t nth = 1) {
    EXPECT_TRUE(client->connect(server.port(), "127.0.0.1", log.handler()));
    return server.waitForClient(nth, kTimeout);
  }

  // The tags in the chunk headers of everything the server received from one client.
  std::vector<std::string> tagsOnTheWire(TestServer::ClientId id) {
    const std::string raw = server.rawReceived(id);
    std::vector<std::string> tags;
    for (std::size_t at = 0; at + 20 <= raw.size();) {
      const auto length = static_cast<std::uint32_t>(static_cast<unsigned char>(raw[at + 16])) |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(raw[at + 17])) << 8;
      const auto index = static_cast<unsigned char>(raw[at + 12]);
      if (index == 0) tags.push_back(raw.substr(at + 4, 4));
      at += 20 + length;
    }
    return tags;
  }

  TestServer server;
  EventLog log;  // declared before the client, so it outlives the client's delivery thread
  std::unique_ptr<StreamClient> client;
};

// A payload whose envelope under a four-digit tag is exactly envelopeSize bytes.
std::string payloadForEnvelope(std::size_t envelopeSize) {
  for (std::size_t n = envelopeSize; n > 0; --n) {
    if (envelopeHead("0011", n).size() + n == envelopeSize) {
      std::string payload(n, 'q');
      for (std::size_t i = 0; i < n; i += 101) payload[i] = '\0';
      return payload;
    }
  }
  return {};
}

TEST_F(StreamClientTest, WritesEnvelopeAndHeaderBytesExactly) {
  const auto id = connect();
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(client->send(std::string("a\0b", 3)));
  ASSERT_TRUE(server.waitForMessages(1, kTimeout));
  // "EMSG", tag "0011" as ASCII, envelope length 23, index 0, 23 bytes, then the envelope.
  const std::string expected =
      std::string("EMSG0011\x17\0\0\0\0\0\0\0\x17\0\0\0", 20) + std::string("<Msg0011>3</Msg0011>a\0b", 23);
  EXPECT_EQ(server.rawReceived(id), expected);
  EXPECT_EQ(server.messages().at(0).payload, std::string("a\0b", 3));
}

TEST_F(StreamClientTest, CarriesMessagesOfEverySizeBothWays) {
  struct Case {
    std::string payload;
    std::size_t wireSize;  // 0: not checked
  };
  std::string big(3 * 1024 * 1024 + 11, 'b');
  for (std::size_t i = 0; i < big.size(); i += 4093) big[i] = '\0';
  const std::vector<Case> cases = {
      {"1", 20 + 20 + 1},
      {std::string(5, '\0'), 0},
      {payloadForEnvelope(8192), 8192 + 20},
      {payloadForEnvelope(8193), 8193 + 40},
      {big, 0},
  };
  const auto id = connect();
  ASSERT_NE(id, 0u);
  std::size_t rawBefore = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].payload.size());
    ASSERT_TRUE(client->send(cases[i].payload));
    ASSERT_TRUE(server.waitForMessages(i + 1, kTimeout));
    EXPECT_TRUE(server.messages().at(i).payload == cases[i].payload);
    const std::size_t rawNow = server.rawReceived(id).size();
    if (cases[i].wireSize != 0) {
      EXPECT_EQ(rawNow - rawBefore, cases[i].wireSize);
    }
    rawBefore = rawNow;

    ASSERT_TRUE(server.send(id, cases[i].payload));
    ASSERT_TRUE(log.waitFor(i + 1));
    EXPECT_EQ(log.kinds().at(i), 1);
    EXPECT_TRUE(log.data().at(i) == cases[i].payload);
  }
  EXPECT_TRUE(client->isConnected());
}

TEST_F(StreamClientTest, TagsCountOnAcrossReconnectsAndWrapAfter9999) {
  auto first = connect(1);
  ASSERT_TRUE(client->send("one"));
  ASSERT_TRUE(client->send("two"));
  ASSERT_TRUE(server.waitForMessages(2, kTimeout));
  client->disconnect();
  const auto second = connect(2);
  ASSERT_NE(second, 0u);
  // 9989 more messages take the tags 0013 ... 9999, then 0010 and 0011 follow.
  for (int i = 0; i < 9989; ++i) ASSERT_TRUE(client->send("m"));
  ASSERT_TRUE(client->send("wrapped"));
  ASSERT_TRUE(client->send("again"));
  ASSERT_TRUE(server.waitForMessages(2 + 9991, kTimeout));
  EXPECT_EQ(tagsOnTheWire(first), (std::vector<std::string>{"0011", "0012"}));
  const auto tags = tagsOnTheWire(second);
  ASSERT_EQ(tags.size(), 9991u);
  EXPECT_EQ(tags.front(), "0013");
  EXPECT_EQ(tags[9986], "9999");
  EXPECT_EQ(tags[9987], "0010");  // the tag counter wraps to 0010 here
  EXPECT_EQ(server.messages().back().payload, "again");
}

TEST_F(StreamClientTest, SendFailsWhenNotConnected) {
  EXPECT_FALSE(client->send("before"));
  const auto id = connect();
  ASSERT_TRUE(client->send("while"));
  client->disconnect();
  EXPECT_FALSE(client->isConnected());
  EXPECT_FALSE(client->send("after disconnect"));
  ASSERT_TRUE(server.waitForClosed(id, kTimeout));
  client->destroy();
  EXPECT_FALSE(client->send("after destroy"));
  EXPECT_FALSE(client->connect(server.port(), "127.0.0.1", log.handler()));
}

TEST_F(StreamClientTest, ConnectionLostComesAsKindZeroAfterEarlierMessages) {
  struct Case {
    const char* name;
    std::function<void(TestServer&, TestServer::ClientId)> end;
  };
  const Case cases[] = {
      {"peer closes", [](TestServer& s, TestServer::ClientId id) { s.closeClient(id); }},
      {"zero-length payload", [](TestServer& s, TestServer::ClientId id) { s.send(id, ""); }},
      {"peer closes mid-message",
       [](TestServer& s, TestServer::ClientId id) {
         s.sendRaw(id, encodeMessage("0500", payloadForEnvelope(8193)).substr(0, 8212 + 10));
         s.closeClient(id);
       }},
  };
  std::size_t events = 0;
  std::size_t accepted = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto id = connect(++accepted);
    ASSERT_NE(id, 0u);
    server.send(id, "last words");
    c.end(server, id);
    ASSERT_TRUE(log.waitFor(events + 2));
    EXPECT_EQ(log.kinds().at(events), 1);
    EXPECT_EQ(log.data().at(events), "last words");
    EXPECT_EQ(log.kinds().at(events + 1), 0);
    EXPECT_EQ(log.data().at(events + 1), "<none>");  // eventData is false for kind 0
    events += 2;
    EXPECT_FALSE(client->isConnected());
    EXPECT_FALSE(client->send("gone"));
    ASSERT_TRUE(server.waitForClosed(id, kTimeout));
  }
  // The client may connect again, and the new connection works.
  const auto id = connect(++accepted);
  ASSERT_TRUE(server.send(id, "back"));
  ASSERT_TRUE(log.waitFor(events + 1));
  EXPECT_EQ(log.data().back(), "back");
}

TEST_F(StreamClientTest, DisconnectGivesNoEvent) {
  const auto first = connect(1);
  ASSERT_NE(first, 0u);
  for (int i = 0; i < 50; ++i) server.send(first, "noise");
  client->disconnect();
  ASSERT_TRUE(server.waitForClosed(first, kTimeout));
  const std::size_t before = log.kinds().size();
  // Events are delivered in order: once the marker of the next connection has arrived,
  // anything the first connection could still produce would have come before it.
  const auto second = connect(2);
  ASSERT_TRUE(server.send(second, "marker"));
  ASSERT_TRUE(log.waitFor(before + 1));
  const auto kinds = log.kinds();
  for (const int kind : kinds) EXPECT_EQ(kind, 1);
  EXPECT_EQ(log.data().back(), "marker");
}

TEST_F(StreamClientTest, BrokenInputLeavesTheConnectionUsable) {
  const std::string twoChunks = encodeMessage("0600", payloadForEnvelope(8193));
  std::string oversized =
      std::string(kMaxEnvelopeSize + 1 - envelopeHead("0700", kMaxEnvelopeSize).size(), 'o');
  struct Case {
    const char* name;
    std::function<void(TestServer&, TestServer::ClientId)> breakIt;
  };
  const Case cases[] = {
      {"garbage header", [](TestServer& s, TestServer::ClientId id) { s.sendRaw(id, std::string(20, 'G')); }},
      {"garbage inside a message",
       [&](TestServer& s, TestServer::ClientId id) {
         s.sendRaw(id, twoChunks.substr(0, 8212) + std::string(40, 'G'));
       }},
      {"broken chunk run",
       [&](TestServer& s, TestServer::ClientId id) { s.sendRaw(id, twoChunks.substr(0, 8212)); }},
      {"chunk without its start",
       [&](TestServer& s, TestServer::ClientId id) { s.sendRaw(id, twoChunks.substr(8212)); }},
      {"envelope over 16 MiB", [&](TestServer& s, TestServer::ClientId id) { s.send(id, oversized); }},
      {"broken envelope",
       [](TestServer& s, TestServer::ClientId id) {
         s.sendRaw(id, encodeChunkHeader("0800", 9, 0, 9) + "<Msg0800>");
       }},
  };
  const auto id = connect();
  std::size_t good = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.breakIt(server, id);
    ASSERT_TRUE(server.send(id, std::string("good after ") + c.name));
    ASSERT_TRUE(log.waitFor(++good));
    EXPECT_EQ(log.data().back(), std::string("good after ") + c.name);
    EXPECT_TRUE(client->isConnected());
  }
  EXPECT_EQ(log.kinds(), std::vector<int>(good, 1));
}

TEST_F(StreamClientTest, StalledMessageIsDiscardedAndTheConnectionStays) {
  const auto id = connect();
  const std::string stale = encodeMessage("0900", payloadForEnvelope(8193));
  server.sendRaw(id, stale.substr(0, 8212 + 7));
  // The stimulus is time itself: the rest comes well after 20 wait units of silence.
  std::this_thread::sleep_for(kWaitUnit * 40);
  server.sendRaw(id, stale.substr(8212 + 7));
  ASSERT_TRUE(server.send(id, "fresh"));
  ASSERT_TRUE(log.waitFor(1));
  EXPECT_EQ(log.data(), std::vector<std::string>{"fresh"});
  EXPECT_TRUE(client->isConnected());
}

TEST_F(StreamClientTest, MessageThatCannotBeWrittenIsGivenUp) {
  // The server stops reading, so the socket buffers fill and the writer waits. Part of the
  // message is already on the wire, so giving it up ends the connection.
  const auto id = connect();
  server.setReadingPaused(id, true);
  ASSERT_TRUE(client->send(std::string(24 * 1024 * 1024, 'w')));
  ASSERT_TRUE(log.waitFor(1));
  EXPECT_EQ(log.kinds(), std::vector<int>{0});
  EXPECT_FALSE(client->isConnected());
  server.setReadingPaused(id, false);
}

TEST_F(StreamClientTest, HandlerIsNeverEnteredTwiceAtOnce) {
  // A slow handler while the server floods and the test thread sends.
  log.onEvent([](int) { std::this_thread::sleep_for(100us); });
  const auto id = connect();
  constexpr int kCount = 500;
  std::thread flood([&] {
    for (int i = 0; i < kCount; ++i) server.send(id, "m" + std::to_string(i));
  });
  for (int i = 0; i < 100; ++i) client->send("up");
  flood.join();
  ASSERT_TRUE(log.waitFor(kCount));
  EXPECT_FALSE(log.overlapped());
  const auto data = log.data();
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(data[i], "m" + std::to_string(i));
  EXPECT_TRUE(server.waitForMessages(100, kTimeout));
}

TEST_F(StreamClientTest, HandlerMayDisconnectAndReconnect) {
  std::atomic<bool> reconnected{false};
  log.onEvent([&](int kind) {
    if (kind == 0 && !reconnected) {
      reconnected = client->connect(server.port(), "localhost", log.handler());
    }
  });
  const auto first = connect(1);
  server.closeClient(first);
  const auto second = server.waitForClient(2, kTimeout);
  ASSERT_NE(second, 0u);
  ASSERT_TRUE(server.send(second, "hello again"));
  ASSERT_TRUE(log.waitFor(2));
  EXPECT_TRUE(reconnected);
  EXPECT_EQ(log.data().back(), "hello again");
}

TEST_F(StreamClientTest, ConnectRefusals) {
  EXPECT_FALSE(client->connect(-1, "127.0.0.1", log.handler()));
  EXPECT_FALSE(client->connect(65536, "127.0.0.1", log.handler()));
  EXPECT_FALSE(client->connect(server.port(), "", log.handler()));
  EXPECT_FALSE(client->connect(server.port(), "no-such-host.invalid", log.handler()));
  // A port nobody listens on: a fresh server's port, freed again.
  std::uint16_t freePort = 0;
  {
    TestServer other;
    ASSERT_TRUE(other.start(0));
    freePort = other.port();
  }
  EXPECT_FALSE(client->connect(freePort, "127.0.0.1", log.handler()));
  EXPECT_FALSE(client->isConnected());
  ASSERT_NE(connect(), 0u);
  EXPECT_FALSE(client->connect(server.port(), "127.0.0.1", log.handler()));  // already connected
  EXPECT_TRUE(client->isConnected());
}

// A loopback listener that never answers a new connection: its accept queue is full, so
// the kernel drops further connection requests and a connect waits.
class SilentListener {
 public:
  SilentListener() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof local;
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::listen(m_listener, 0);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &size);
    port = ntohs(local.sin_port);
    for (int i = 0; i < 4; ++i) {
      const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(filler, reinterpret_cast<sockaddr*>(&local), sizeof local);
      m_fillers.push_back(filler);
    }
  }
  ~SilentListener() {
    for (const int fd : m_fillers) ::close(fd);
    ::close(m_listener);
  }
  int port = 0;

 private:
  int m_listener = -1;
  std::vector<int> m_fillers;
};

TEST_F(StreamClientTest, ConnectGivesUpWithinItsTimeout) {
  SilentListener silent;
  auto slow = StreamClient::create(StreamClient::Timing{kWaitUnit, 300ms});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(slow->connect(silent.port, "127.0.0.1", log.handler()));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 3s);
}

TEST_F(StreamClientTest, DestroyEndsAConnectInProgress) {
  SilentListener silent;
  auto slow = StreamClient::create(StreamClient::Timing{kWaitUnit, 10000ms});
  std::atomic<bool> result{true};
  std::thread worker([&] { result = slow->connect(silent.port, "127.0.0.1", log.handler()); });
  std::this_thread::sleep_for(100ms);  // let the connect begin
  const auto start = std::chrono::steady_clock::now();
  slow->destroy();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  worker.join();
  EXPECT_FALSE(result);
}

TEST_F(StreamClientTest, ConnectFromAWorkerWhileAnotherThreadSends) {
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  std::thread sender([&] {
    while (!stop) {
      if (client->send("x")) ++accepted;
      std::this_thread::yield();
    }
  });
  std::thread worker([&] { EXPECT_TRUE(client->connect(server.port(), "127.0.0.1", log.handler())); });
  worker.join();
  ASSERT_NE(server.waitForClient(1, kTimeout), 0u);
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (accepted < 10 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  stop = true;
  sender.join();
  EXPECT_TRUE(server.waitForMessages(static_cast<std::size_t>(accepted.load()), kTimeout));
  client->destroy();
}

}  // namespace
}  // namespace velnox
