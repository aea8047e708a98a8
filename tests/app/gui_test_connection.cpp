// The connection at start, the hello, the catalogue request, a lost connection and the
// reconnect on the next tick, against the protocol test server.
#include <gtest/gtest.h>

#include <thread>

#include "net/fingerprint.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

TEST(Connection, DebugEndpointAtStartThenHello) {
  AppHarness h;
  h.start();
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("调试中"));
  EXPECT_EQ(h.main().readCaption(), "Velnox  V1.0.3");
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  EXPECT_EQ(h.receivedTexts().front(), helloMessage());
}

TEST(Connection, ProductionWhenNoDebugServer) {
  AppHarness h({.serverAt = HarnessOptions::ServerAt::Production});
  h.start();
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("已连接"));
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
}

TEST(Connection, NothingListeningLeavesTheFormState) {
  AppHarness h({.serverAt = HarnessOptions::ServerAt::Nowhere});
  h.start();
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("未连接"));
  EXPECT_EQ(h.main().readCaption(), "Velnox");
  // The tick tries production, on a worker, and changes nothing when it fails.
  h.app().onReconnectTimer();
  EXPECT_EQ(h.main().reconnectTimer->interval(), 10000);
  ASSERT_TRUE(h.waitUntil([&] { return !h.app().connection()->attemptInFlight(); }));
  h.app().connection()->waitForAttempt();
  QCoreApplication::processEvents();
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("未连接"));
  EXPECT_EQ(h.main().readCaption(), "Velnox");
}

TEST(Connection, LostThenRegainedOnTheNextTickWithANewHello) {
  AppHarness h({.serverAt = HarnessOptions::ServerAt::Production});
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  // A log-in had moved and disabled the button; the loss puts it back but keeps it disabled.
  h.main().loginButton->setEnabled(false);
  setLeft(h.main().loginButton, 500);
  setWidth(h.main().loginButton, 120);
  h.main().loginButton->writeCaption("someone");

  h.server().closeAll();
  ASSERT_TRUE(h.waitUntil([&] { return h.main().statusBar->panelText(0) == gbk("未连接"); }));
  EXPECT_EQ(h.main().readCaption(), gbk("服务器未启动或检测网络是否畅通"));
  EXPECT_EQ(h.main().loginButton->x(), 615);
  EXPECT_EQ(h.main().loginButton->width(), 35);
  EXPECT_EQ(h.main().loginButton->readCaption(), gbk("登入"));
  EXPECT_FALSE(h.main().loginButton->isEnabled());

  h.app().onReconnectTimer();
  ASSERT_TRUE(h.waitUntil([&] { return h.main().statusBar->panelText(0) == gbk("已连接"); }));
  EXPECT_EQ(h.main().readCaption(), "Velnox  V1.0.3");
  ASSERT_TRUE(h.server().waitForMessages(2, 5s));
  EXPECT_EQ(h.receivedTexts().back(), helloMessage());
}

TEST(Connection, ConnectedTicksOnlyResetThePeriod) {
  AppHarness h;
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  h.app().onReconnectTimer();
  EXPECT_FALSE(h.app().connection()->attemptInFlight());
  EXPECT_EQ(h.main().statusBar->panelText(0), gbk("调试中"));
}

TEST(Connection, CatalogueRequestFromTheSecondRefreshTickOn) {
  AppHarness h;
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));
  EXPECT_EQ(h.main().refreshTimer->interval(), 1000);
  h.app().onRefreshTimer();  // the first tick only moves the period
  EXPECT_EQ(h.main().refreshTimer->interval(), 300000);
  h.app().onRefreshTimer();
  h.app().onRefreshTimer();
  ASSERT_TRUE(h.server().waitForMessages(3, 5s));
  const auto texts = h.receivedTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], "%ov_xml%");
  EXPECT_EQ(texts[2], "%ov_xml%");
}

TEST(Connection, ClosingTheMainWindowDisconnectsWithoutALostEvent) {
  AppHarness h;
  h.start();
  const auto id = h.client();
  ASSERT_NE(id, 0u);
  h.main().close();
  ASSERT_TRUE(h.server().waitForClosed(id, 5s));
  QCoreApplication::processEvents();
  // The window is gone; nothing of a lost connection reached it or crashed on its absence.
  EXPECT_EQ(h.app().mainWindow(), nullptr);
}

TEST(Connection, ExitDoesNotWaitOutAHangingReconnect) {
  // Nothing listens on production at start (refused at once); then a listener that never
  // completes a handshake takes the port, and the next tick's attempt hangs there.
  const int production = unusedLoopbackPort();
  auto h = std::make_unique<AppHarness>(
      HarnessOptions{.serverAt = HarnessOptions::ServerAt::Nowhere, .productionPort = production});
  h->start();
  StalledListener hanging(production);
  h->app().onReconnectTimer();
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(h->app().connection()->attemptInFlight());  // the handshake hangs
  const auto start = std::chrono::steady_clock::now();
  h.reset();  // the application ends while the attempt runs
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace velnox::test
