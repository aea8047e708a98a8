// Start-up with no server reachable, and the clean-up at the end of the run.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"

namespace velnox {
namespace {

using test::AppHarness;
using test::HarnessOptions;

HarnessOptions offline() { return {.serverAt = HarnessOptions::ServerAt::Nowhere}; }

TEST(Startup, MainWindowOpensWithNothingListening) {
  const int exitsBefore = programExitRuns();
  auto h = std::make_unique<AppHarness>(offline());
  Application& app = h->app();
  ASSERT_NE(app.state().streamClient, nullptr);
  EXPECT_FALSE(app.state().streamClient->isConnected());
  EXPECT_TRUE(app.state().noticeLines.empty());
  EXPECT_EQ(app.mainWindow(), nullptr);  // nothing is loaded before start

  h->start();
  MainWindow* main = app.mainWindow();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(main));
  EXPECT_EQ(main->statusBar->panelText(0), gbk("未连接"));
  EXPECT_EQ(main->statusBar->panelText(2), gbk("联系作者: author@velnox.example"));
  EXPECT_EQ(main->readCaption(), "Velnox");
  EXPECT_EQ(main->tag(), "1.0.3");
  // The banner was moved into the window and stays hidden; so do the login button and the panel.
  EXPECT_EQ(main->bannerPicture->x(), 0);
  EXPECT_FALSE(main->bannerPicture->isVisible());
  EXPECT_FALSE(main->loginButton->isVisible());
  EXPECT_FALSE(main->updateGroup->isVisible());
  EXPECT_TRUE(main->placeholderEdit->isVisible());
  EXPECT_EQ(main->placeholderEdit->y(), 0);
  EXPECT_TRUE(main->reconnectTimer->isActive());
  EXPECT_TRUE(main->refreshTimer->isActive());
  EXPECT_EQ(app.detailWindow(), nullptr);  // no other window at start
  EXPECT_EQ(app.accountWindow(), nullptr);

  QSignalSpy finished(&app, &Application::finished);
  main->close();
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(app.mainWindow(), nullptr);
  EXPECT_EQ(programExitRuns(), exitsBefore);  // the clean-up comes after the message loop

  h.reset();
  EXPECT_EQ(programExitRuns(), exitsBefore + 1);
}

TEST(Startup, ExitRunsOnceWhateverIsStillOpen) {
  const int exitsBefore = programExitRuns();
  {
    AppHarness h(offline());
    h.start();
    Application& app = h.app();
    app.loadDetailWindow();
    app.state().noticeLines = {"a", "b"};
    app.state().bannerImageA = "bytes";
    app.mainWindow()->close();  // with the detail window open
    EXPECT_EQ(app.detailWindow(), nullptr);
  }
  EXPECT_EQ(programExitRuns(), exitsBefore + 1);
  {
    AppHarness h(offline());
    h.start();  // main window still open when the application goes
  }
  EXPECT_EQ(programExitRuns(), exitsBefore + 2);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(Startup, DisconnectsWhenTheMainWindowGoes) {
  // A listening peer, so the stream client has a connection to close.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  AppHarness h(offline());
  h.start();
  Application& app = h.app();
  StreamClient* client = app.state().streamClient.get();
  ASSERT_TRUE(client->connect(ntohs(address.sin_port), "127.0.0.1", [](const StreamEvent*) {}));
  app.mainWindow()->close();
  EXPECT_FALSE(client->isConnected());
  EXPECT_EQ(app.state().streamClient.get(), client);  // the object stays until the exit clean-up
  ::close(listener);
}

}  // namespace
}  // namespace velnox
