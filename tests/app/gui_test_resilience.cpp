// The whole client against a server that misbehaves: broken frames, closes in the middle of
// a message, a flood of small messages, many drops in a row, and every message kind with too
// little in it, also for windows that are not open. The client stays up, reconnects on the
// next tick and its memory comes back to where it was.
#include <gtest/gtest.h>

#include <unistd.h>
#include <fstream>

#include "net/frame_codec.h"
#include "tests/support/app_harness.h"
#include "util/encoding.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

HarnessOptions atProduction() { return {.serverAt = HarnessOptions::ServerAt::Production}; }

bool connected(AppHarness& h) { return h.main().statusBar->panelText(0) == gbk("已连接"); }

// Waits for the loss to be shown, then ticks until the client is back.
void expectLossThenReconnect(AppHarness& h, std::chrono::milliseconds timeout = 5s) {
  ASSERT_TRUE(h.waitUntil([&] { return h.main().statusBar->panelText(0) == gbk("未连接"); }, timeout));
  h.app().onReconnectTimer();
  ASSERT_TRUE(h.waitUntil([&] { return connected(h); }));
}

TEST(Resilience, BrokenFramesKeepTheConnectionAndClosingOnesAreReconnected) {
  AppHarness h(atProduction());
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));

  const std::string twoChunks = encodeMessage("0600", std::string(9000, 'x'));
  const std::string keeping[] = {
      std::string(20, 'G'),                                                  // garbage header
      twoChunks.substr(0, 8212) + std::string(40, 'G'),                      // garbage inside a message
      twoChunks.substr(8212),                                                // a chunk without its start
      encodeChunkHeader("0800", 9, 0, 9) + "<Msg0800>",                      // broken envelope
      encodeChunkHeader("0900", 0xFFFFFFF0u, 0, 20) + std::string(20, 'o'),  // huge announced size
  };
  for (const std::string& bytes : keeping) {
    h.server().sendRaw(h.client(), bytes);
    h.sendToClient("$yhts$still here");
    QTest::qWait(50);
    EXPECT_TRUE(connected(h));
  }

  // The peer ends the connection: an empty message, and a close in the middle of a message.
  h.server().send(h.client(), "");
  expectLossThenReconnect(h);
  const auto id = h.client();
  h.server().sendRaw(id, twoChunks.substr(0, 5000));
  h.server().closeClient(id);
  expectLossThenReconnect(h);
  EXPECT_EQ(h.app().mainWindow(), &h.main());
}

TEST(Resilience, MessagesWithTooLittleInThemAndNoWindowOpen) {
  AppHarness h;
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  const char* messages[] = {
      "$yhts$",         "$yhdr$",       "$ov_pz$",
      "$ov_pz$1",       "$ov_pz$1|2",   "$ov_pz$|||||||||",
      "$ov_gg$",        "$ov_gg$|",     "$ov_gg$a|b|c\r\n|\r\nx",
      "$ov_ml$",        "$ov_ml$#",     "$ov_ml$#\r\n#\r\n",
      "$ov_ml$名字",    "$ov_ml$名字#", "$ov_ml$名字#不是时间",
      "$ov_dz$",        "$ov_dz$|",     "$ov_dz$||",
      "$ov_dz$a|b|c|d", "$ov_tp$",      "$ov_tp$http://127.0.0.1:1/none.png",
      "$ov_dz$$ov_tp$",
  };
  for (const char* m : messages) h.sendToClient(gbk(m));
  h.sendToClient("$yhts$end");
  // Each message is handled in turn; the last one arriving means all the others were.
  ASSERT_TRUE(h.waitUntil([&] { return h.server().messageCount() >= 1; }));
  QTest::qWait(300);
  EXPECT_EQ(h.app().mainWindow(), &h.main());
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("调试中"));
  EXPECT_EQ(h.app().detailWindow(), nullptr);
}

TEST(Resilience, FloodOfSmallMessagesAndManyDropsLeaveMemoryWhereItWas) {
  AppHarness h(atProduction());
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));

  constexpr int kFlood = 100000;
  // The flood is over when a connection loss sent after it has been shown.
  auto flood = [&] {
    const auto id = h.client();
    for (int i = 0; i < kFlood; ++i) h.server().send(id, i % 2 ? "hello" : toUtf8(gbk("$yhts$提示")));
    h.server().send(id, "");
    expectLossThenReconnect(h, 60s);
  };
  // A first flood sets the high-water mark of the allocator's pools; a second one must not
  // add to it.
  flood();
  const long before = residentKiB();
  flood();
  if (::testing::Test::HasFatalFailure()) return;
  constexpr int kCycles = 1000;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    // The hello of the new connection has arrived, so the server knows the connection.
    ASSERT_TRUE(h.server().waitForMessages(static_cast<size_t>(cycle) + 3, 5s));
    h.server().closeAll();
    expectLossThenReconnect(h);
    if (::testing::Test::HasFatalFailure()) return;
  }
  QTest::qWait(200);
  const long after = residentKiB();
  RecordProperty("resident_kib_before", static_cast<int>(before));
  RecordProperty("resident_kib_after", static_cast<int>(after));
  std::printf("resident memory: %ld KiB before, %ld KiB after %d messages and %d drops\n", before, after,
              kFlood, kCycles);
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer holds freed memory back in its quarantine; the reading says nothing here.
#else
  EXPECT_LT(after - before, 8 * 1024) << "KiB";
#endif
  EXPECT_EQ(h.server().messageCount(), static_cast<size_t>(kCycles + 3));  // a hello per connection
}

}  // namespace
}  // namespace velnox::test
