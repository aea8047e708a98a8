// The whole application when a document or picture host is hostile: start-up still ends
// within the bounds of the HTTP engine and goes on as for a missing document (the fatal box
// for the update document, no notice lines for the notice document) or a missing picture.
// The documents are reached by a redirect from the harness's own addresses, so the hostile
// servers are the raw ones of tests/support/hostile_http_server.h.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "app/window_ops.h"
#include "tests/support/app_harness.h"
#include "tests/support/hostile_http_server.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

// Resets the message box hook whatever the test's outcome.
struct HookGuard {
  ~HookGuard() { setMessageBoxHook({}); }
};

void redirect(AppHarness& h, const std::string& path, const std::string& to) {
  h.http().on(path, [to](const httplib::Request&, httplib::Response& res) { res.set_redirect(to); });
}

struct StartOutcome {
  int boxes = 0;
  QString boxText;
  bool mainShownDuringBox = false;
  Seconds took{};
};

// Starts the application, dismissing every message box at once, and times the start-up.
StartOutcome startTimed(AppHarness& h) {
  StartOutcome outcome;
  setMessageBoxHook([&](QMessageBox& box) {
    ++outcome.boxes;
    outcome.boxText = box.text();
    outcome.mainShownDuringBox = h.app().mainWindow() && h.app().mainWindow()->isVisible();
    box.button(QMessageBox::Ok)->click();
  });
  const auto begin = std::chrono::steady_clock::now();
  h.start();
  outcome.took = std::chrono::steady_clock::now() - begin;
  setMessageBoxHook({});
  return outcome;
}

// The update document could not be had: one fatal box before the window is ever shown, and
// then the run ends.
void expectFatalEnd(AppHarness& h, const StartOutcome& o) {
  EXPECT_EQ(o.boxes, 1);
  EXPECT_EQ(o.boxText, QString::fromUtf8("软件连接失败，请联系作者！"));
  EXPECT_FALSE(o.mainShownDuringBox);
  EXPECT_TRUE(h.waitUntil([&] { return h.app().mainWindow() == nullptr; }));
}

TEST(HostileDocuments, FloodsBrokenTlsAndLoopsAreAMissingUpdateDocument) {
  HookGuard guard;
  struct Case {
    const char* what;
    HostileServer::Behaviour behaviour;
    bool secure;
  };
  const Case cases[] = {
      {"endless chunked body", hostile::endlessChunkedBody, false},
      {"a terabyte announced", hostile::terabyteContentLength, false},
      {"header lines without end", hostile::endlessHeaderLines, false},
      {"garbage in answer to the TLS hello", hostile::garbageAnswer, true},
      {"a redirect to itself", hostile::redirectToItself, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostileServer server(c.behaviour);
    AppHarness h;
    redirect(h, "/update", c.secure ? server.secureUrl("/update") : server.url("/update"));
    const StartOutcome o = startTimed(h);
    expectFatalEnd(h, o);
    EXPECT_LT(o.took.count(), 10.0);
    // The notice document is still read after the failed check.
    EXPECT_EQ(h.app().state().noticeLines.size(), 2u);
  }

  // A well-formed document announcing a newer version, from a server whose certificate no
  // known authority signed: nothing of it is believed.
  LocalHttpServer forger({.https = true});
  forger.on("/update", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("【9.9.9】【https://evil.example/setup.exe】summary", "text/plain");
  });
  AppHarness h;
  redirect(h, "/update", forger.url("/update"));
  const StartOutcome o = startTimed(h);
  expectFatalEnd(h, o);
  EXPECT_LT(o.took.count(), 10.0);
}

TEST(HostileDocuments, StalledDocumentsEndStartUpWithinTheirBounds) {
  HookGuard guard;
  // The update server reads the request and never answers (30 s without progress); the
  // notice server never answers the TLS hello (10 s to connect). Both are read side by side.
  HostileServer update(hostile::silentAfterRequest);
  HostileServer notice(hostile::silentFromTheStart);
  AppHarness h;
  redirect(h, "/update", update.url("/update"));
  redirect(h, "/notice", notice.secureUrl("/notice"));
  const StartOutcome o = startTimed(h);
  expectFatalEnd(h, o);
  EXPECT_GE(o.took.count(), 29.0);
  EXPECT_LT(o.took.count(), 40.0);
  EXPECT_TRUE(h.app().state().noticeLines.empty());
}

TEST(HostileDocuments, ADrippingNoticeDocumentIsAMissingOne) {
  HookGuard guard;
  // A header byte every 300 ms: the body never starts, so the request gives up after 30 s.
  HostileServer notice(hostile::dripHeaders(300ms));
  AppHarness h;
  redirect(h, "/notice", notice.url("/notice"));
  const StartOutcome o = startTimed(h);
  EXPECT_EQ(o.boxes, 0);
  EXPECT_LT(o.took.count(), 40.0);
  ASSERT_NE(h.app().mainWindow(), nullptr);
  EXPECT_TRUE(h.main().isVisible());
  EXPECT_TRUE(h.app().state().noticeLines.empty());
}

TEST(HostileDocuments, ADrippingUpdateDocumentEndsStartUpWithinTheProgressBound) {
  HookGuard guard;
  // A body byte every 300 ms never lets 30 s pass without progress, yet the few hundred
  // bytes of a document would take minutes and the server may go on for ever; until it
  // stops, the main window is not shown. The hostile server gives up after its safety cap.
  HostileServer update(hostile::dripBody(300ms));
  AppHarness h;
  redirect(h, "/update", update.url("/update"));
  const StartOutcome o = startTimed(h);
  expectFatalEnd(h, o);
  EXPECT_LT(o.took.count(), 40.0);
}

TEST(HostilePictures, HostilePicturesAreMissingPictures) {
  HostileServer chunked(hostile::endlessChunkedBody);
  HostileServer headers(hostile::endlessHeaderLine);
  HostileServer garbage(hostile::garbageAnswer);
  HostileServer loop(hostile::redirectToItself);
  LocalHttpServer unknownCa({.https = true});
  AppHarness h;
  h.start();
  AppState& s = h.app().state();
  h.sendToClient(concat({"$ov_gg$", chunked.url("/a.png"), "|http://ad/1\r\n", headers.url("/b.png"),
                         "|http://ad/2\r\n", garbage.secureUrl("/c.png"), "|http://ad/3\r\n",
                         loop.url("/l.png"), "|http://ad/4\r\n", unknownCa.url("/r.png"), "|http://ad/5"}));
  ASSERT_TRUE(h.waitUntil([&] { return s.rightAdUrl == "http://ad/5"; }, 15s));
  // Every slot keeps its address and has no picture; the banner shows nothing.
  EXPECT_EQ(s.bannerUrlA, "http://ad/1");
  EXPECT_EQ(s.bannerUrlB, "http://ad/2");
  EXPECT_EQ(s.bannerUrlC, "http://ad/3");
  EXPECT_EQ(s.leftAdUrl, "http://ad/4");
  for (const Bytes* picture :
       {&s.bannerImageA, &s.bannerImageB, &s.bannerImageC, &s.leftAdImage, &s.rightAdImage})
    EXPECT_TRUE(picture->empty());
  EXPECT_TRUE(h.main().bannerPicture->readPicture().empty());
  EXPECT_EQ(s.bannerClickUrl, "http://ad/1");
  // The connection goes on serving messages.
  h.sendToClient(gbk("$ov_ml$资源甲#2026-01-01"));
  EXPECT_TRUE(h.waitUntil([&] { return h.main().catalogueList->rowCount() == 1; }));
}

TEST(HostilePictures, AStalledPictureHoldsOnlyTheMessagesBehindIt) {
  HostileServer stalled(hostile::silentAfterRequest);
  AppHarness h;
  h.start();
  AppState& s = h.app().state();
  const auto begin = std::chrono::steady_clock::now();
  h.sendToClient(concat({"$ov_gg$", stalled.url("/a.png"), "|http://ad/1"}));
  h.sendToClient(gbk("$ov_ml$资源甲#2026-01-01"));

  // The download waits off the window thread: events keep being processed in short turns
  // while the messages behind the picture wait for it.
  Seconds longestTurn{};
  while (h.main().catalogueList->rowCount() == 0 && std::chrono::steady_clock::now() - begin < 45s) {
    const auto turn = std::chrono::steady_clock::now();
    h.app().onReconnectTimer();  // the banner turns on every tick
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    longestTurn = std::max(longestTurn, Seconds(std::chrono::steady_clock::now() - turn));
    std::this_thread::sleep_for(20ms);
  }
  const Seconds took = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(h.main().catalogueList->rowCount(), 1);
  EXPECT_GE(took.count(), 29.0);
  EXPECT_LT(took.count(), 40.0);
  EXPECT_LT(longestTurn.count(), 1.0);
  EXPECT_EQ(s.bannerUrlA, "http://ad/1");
  EXPECT_TRUE(s.bannerImageA.empty());
}

}  // namespace
}  // namespace velnox::test
