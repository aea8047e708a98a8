// The whole program against the demo service, in one process and offscreen: start-up, the
// catalogue, the detail page, scrolling, the banner, the account window, a lost connection,
// the update panel, the fatal box and the end of the run. The timers are stopped after
// start-up and their ticks called directly, so nothing depends on the wall clock.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <memory>

#include "app/application.h"
#include "app/window_ops.h"
#include "net/fingerprint.h"
#include "server/demo_pictures.h"
#include "server/demo_server.h"
#include "util/encoding.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

Bytes served(const std::string& path) {
  auto picture = demo::pictureForPath(path);
  return picture ? picture->bytes : Bytes();
}

Text itemName(int index) { return fromUtf8(demo::catalogue().at(static_cast<std::size_t>(index)).name); }

class DemoRun {
 public:
  explicit DemoRun(demo::DemoOptions options = {}, const std::function<void(Config&)>& adjust = {}) {
    options.debugPort = 0;
    options.productionPort = 0;
    options.httpPort = 0;
    m_server = std::make_unique<demo::DemoServer>(std::move(options));
    m_started = m_server->start();
    Config config = m_server->clientConfig();
    if (adjust) adjust(config);
    setOpenAddressHook([this](const Text& address) { m_opened.push_back(address); });
    setMessageBoxHook([this](QMessageBox& box) {
      m_boxes.push_back({box.text().toStdString(), box.windowTitle().toStdString()});
      box.done(QMessageBox::Ok);
    });
    m_app = std::make_unique<Application>(config);
  }
  ~DemoRun() {
    m_app.reset();
    setOpenAddressHook({});
    setMessageBoxHook({});
    m_server->stop();
  }

  // Starts the client and stops its timers: the tests call the ticks themselves.
  void start() {
    ASSERT_TRUE(m_started) << m_server->error();
    m_app->start();
    if (MainWindow* main = m_app->mainWindow()) {
      main->reconnectTimer->stop();
      main->refreshTimer->stop();
    }
  }

  bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QTest::qWait(2);
    }
    return true;
  }

  // Double-clicks row `row` of the catalogue as a person would.
  void doubleClickRow(int row) {
    ListView* list = main().catalogueList;
    const QModelIndex index = list->model()->index(row, 1);
    list->scrollTo(index);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    const QPoint at = list->visualRect(index).center();
    // As the platform delivers a double-click: a press and release, then the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }

  // Opens row `row` and waits until its detail page is complete and shown.
  DetailWindow* openItem(int row) {
    doubleClickRow(row);
    const bool complete = waitUntil([&] {
      DetailWindow* d = m_app->detailWindow();
      return d && d->isVisible() && !d->coverPicture->readPicture().empty() &&
             !d->bodyEdit->readText().empty() && d->leftAdPicture->isVisible();
    });
    EXPECT_TRUE(complete) << "detail page of row " << row;
    return m_app->detailWindow();
  }

  bool catalogueShown() {
    return waitUntil([&] { return main().catalogueList->rowCount() == int(demo::catalogue().size()); });
  }

  Application& app() { return *m_app; }
  MainWindow& main() { return *m_app->mainWindow(); }
  demo::DemoServer& server() { return *m_server; }
  const std::vector<Text>& opened() const { return m_opened; }
  struct Box {
    std::string text;
    std::string title;
  };
  const std::vector<Box>& boxes() const { return m_boxes; }
  std::string url(const std::string& path) const { return m_server->baseUrl() + path; }

 private:
  std::unique_ptr<demo::DemoServer> m_server;
  bool m_started = false;
  std::unique_ptr<Application> m_app;
  std::vector<Text> m_opened;
  std::vector<Box> m_boxes;
};

void wheel(QWidget* target, int notches) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  for (int i = 0; i < std::abs(notches); ++i) {
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, notches < 0 ? -120 : 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  }
}

TEST(Demo, StartsShownWithHelloCatalogueBannerAndNoUpdatePanel) {
  DemoRun run;
  run.start();
  ASSERT_NE(run.app().mainWindow(), nullptr);
  EXPECT_TRUE(run.main().isVisible());
  EXPECT_EQ(run.main().statusBar->panelText(0), gbk("调试中"));
  EXPECT_EQ(run.main().readCaption(), "Velnox  V1.0.3");
  ASSERT_TRUE(run.server().debugPeer().waitForMessages(1, 5s));
  EXPECT_EQ(run.server().debugPeer().messages().front().payload, toUtf8(helloMessage()));

  ASSERT_TRUE(run.catalogueShown());
  const auto& items = demo::catalogue();
  for (int row = 0; row < int(items.size()); ++row) {
    EXPECT_EQ(run.main().catalogueList->cellText(row, 0), std::to_string(row + 1));
    EXPECT_EQ(run.main().catalogueList->cellText(row, 1), itemName(row));
  }
  // Ages that depend on elapsed time only, over the ways the editors write a time.
  const struct {
    int row;
    const char* age;
  } ages[] = {{0, "刚刚"}, {1, "3小时前"}, {4, "昨天"}, {6, "前天"}, {7, "4天前"}, {10, "9天前"}};
  for (const auto& c : ages) EXPECT_EQ(run.main().catalogueList->cellText(c.row, 2), gbk(c.age)) << c.row;

  ASSERT_TRUE(
      run.waitUntil([&] { return run.main().bannerPicture->readPicture() == served(demo::adPath(1)); }));
  EXPECT_TRUE(run.main().bannerPicture->isVisible());
  EXPECT_EQ(run.main().bannerPicture->x(), 0);
  EXPECT_TRUE(run.main().loginButton->isVisible());
  EXPECT_FALSE(run.main().updateGroup->isVisible());
  EXPECT_TRUE(run.boxes().empty());
}

TEST(Demo, DoubleClickOpensTheDetailPageInEachBodyForm) {
  DemoRun run;
  run.start();
  ASSERT_TRUE(run.catalogueShown());
  const struct {
    int row;
    const char* body;
    int coverHeight;
  } cases[] = {
      // Three fields without labels of their own: the page adds them.
      {0, "链接：https://pan.velnox.example/s/1Py3Rk9Qx\r\n提取码：py3k\r\n解压密码：velnox2026", 980},
      // Three fields that carry their labels, on a wide cover.
      {1, "链接：https://pan.velnox.example/s/7GsMath02\r\n提取码：gs07\r\n解压密码：www.velnox.example",
       245},
      // Two fields: a fast-transfer code and its password.
      {2, "秒传：9f2c6a1e4b7d3e8f0a5c2b6d1e9f7a3c#4831838208#河西走廊.1080P.zip\r\n解压密码：hexi2026", 490},
      // Plain lines, with the line breaks around them trimmed, on a portrait cover.
      {3,
       "本资源为网友分享，仅供学习交流。\r\n下载地址：https://pan.velnox.example/s/"
       "KyEng26\r\n提取码：ky26\r\n"
       "链接失效请在评论区留言。",
       653},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    DetailWindow* detail = run.openItem(c.row);
    ASSERT_NE(detail, nullptr);
    ASSERT_TRUE(run.waitUntil([&] { return detail->readCaption() == itemName(c.row); }));
    EXPECT_EQ(run.server().debugPeer().messages().back().payload, toUtf8("%ov_mc%" + itemName(c.row)));
    EXPECT_EQ(detail->bodyEdit->readText(), gbk(c.body));
    EXPECT_EQ(detail->coverPicture->readPicture(), served(demo::coverPath(c.row)));
    EXPECT_EQ(detail->coverPicture->height(), c.coverHeight);
    EXPECT_EQ(detail->noticeEdit->y(), c.coverHeight + 11);
    EXPECT_EQ(detail->noticeEdit->readText(),
              gbk("本站资源均来自网友分享，仅供学习交流\r\n请勿相信任何私下交易或付费解压\r\n"
                  "链接失效请在评论区留言，我们会尽快补档\r\n"));
    EXPECT_EQ(detail->leftAdPicture->readPicture(), served(demo::adPath(4)));
    EXPECT_EQ(detail->rightAdPicture->readPicture(), served(demo::adPath(5)));
  }
  // One detail window at a time.
  QCoreApplication::processEvents();
  int open = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) open += qobject_cast<DetailWindow*>(w) && w->isVisible();
  EXPECT_EQ(open, 1);
}

TEST(Demo, AWithdrawnCoverShowsThePlaceholderAndKeepsTheFormLayout) {
  DemoRun run;
  run.start();
  ASSERT_TRUE(run.catalogueShown());
  int withdrawn = -1;
  for (int i = 0; i < int(demo::catalogue().size()); ++i) {
    if (demo::catalogue()[std::size_t(i)].coverShape < 0) withdrawn = i;
  }
  ASSERT_GE(withdrawn, 0);
  DetailWindow* detail = run.openItem(withdrawn);
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(detail->coverPicture->height(), 390);
  EXPECT_EQ(detail->noticeEdit->y(), 400);
  EXPECT_FALSE(detail->coverPicture->image().isNull());
}

TEST(Demo, WheelScrollsTheTallPageToItsBodyAndBack) {
  DemoRun run;
  run.start();
  ASSERT_TRUE(run.catalogueShown());
  DetailWindow* detail = run.openItem(0);  // a 490 x 980 cover
  ASSERT_NE(detail, nullptr);
  // 980 cover + 60 notices + 90 body + 16 margins, less the 720 of the canvas.
  ASSERT_EQ(detail->detailScrollBar->readMaximum(), 426);

  wheel(detail->detailCanvas, -1);
  EXPECT_EQ(detail->detailPanel->y(), -50);
  EXPECT_EQ(detail->leftAdPicture->y(), 61);
  wheel(detail->leftAdPicture, -10);  // the side pictures take the wheel too
  EXPECT_EQ(detail->detailScrollBar->readPosition(), 426);
  EXPECT_EQ(detail->detailPanel->y(), -426);
  EXPECT_EQ(detail->rightAdPicture->y(), 437);
  // The body is now inside the visible part of the canvas.
  EXPECT_LT(detail->bodyEdit->y() + detail->bodyEdit->height() + detail->detailPanel->y(), 720);

  wheel(detail->detailCanvas, 1);
  EXPECT_EQ(detail->detailPanel->y(), -376);
  EXPECT_EQ(detail->detailScrollBar->readPosition(), 376);

  // The side pictures open their own ads.
  QTest::mouseClick(detail->leftAdPicture, Qt::LeftButton);
  QTest::mouseClick(detail->rightAdPicture, Qt::LeftButton);
  ASSERT_EQ(run.opened().size(), 2u);
  EXPECT_EQ(run.opened()[0], run.url("/ads/4"));
  EXPECT_EQ(run.opened()[1], run.url("/ads/5"));
}

TEST(Demo, BannerTurnsOnEveryTickAndAClickOpensTheAdShown) {
  DemoRun run;
  run.start();
  PictureBox* banner = run.main().bannerPicture;
  ASSERT_TRUE(run.waitUntil([&] { return banner->readPicture() == served(demo::adPath(1)); }));
  for (int slot : {2, 3, 1, 2}) {
    run.app().onReconnectTimer();
    EXPECT_EQ(banner->readPicture(), served(demo::adPath(slot))) << slot;
    QTest::mouseClick(banner, Qt::LeftButton);
    ASSERT_FALSE(run.opened().empty());
    EXPECT_EQ(run.opened().back(), run.url("/ads/" + std::to_string(slot)));
  }
}

TEST(Demo, SignUpThenLogInThroughTheAccountWindow) {
  DemoRun run;
  run.start();
  ASSERT_TRUE(run.catalogueShown());
  AccountWindow* account = run.app().showAccountWindowModal();
  ASSERT_NE(account, nullptr);
  auto fill = [&](EditBox* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
  };
  auto press = [&](Button* button, const char* hint) {
    QTest::mouseClick(button, Qt::LeftButton);
    return run.waitUntil(
        [&] { return run.app().accountWindow() && account->hintEdit->readText() == gbk(hint); });
  };

  fill(account->accountEdit, QStringLiteral("xiaoming"));
  fill(account->passwordEdit, QStringLiteral("pw-2026"));
  fill(account->signupCodeEdit, QStringLiteral("123456"));
  EXPECT_TRUE(press(account->signupButton, "注册校验码无效，请点击下方获取"));
  fill(account->signupCodeEdit, QStringLiteral("VX-2026"));
  EXPECT_TRUE(press(account->signupButton, "注册成功，请点击登入"));
  EXPECT_TRUE(press(account->signupButton, "该账号已被注册"));
  fill(account->passwordEdit, QStringLiteral("wrong"));
  EXPECT_TRUE(press(account->accountLoginButton, "密码错误，请重新输入"));

  // The code link opens the page that gives out sign-up codes.
  QTest::mouseClick(account->codeLinkEdit, Qt::LeftButton);
  ASSERT_FALSE(run.opened().empty());
  EXPECT_EQ(run.opened().back(), run.url("/signup"));

  fill(account->passwordEdit, QStringLiteral("pw-2026"));
  QTest::mouseClick(account->accountLoginButton, Qt::LeftButton);
  ASSERT_TRUE(run.waitUntil([&] { return run.app().accountWindow() == nullptr; }));
  Button* login = run.main().loginButton;
  EXPECT_EQ(login->readCaption(), gbk("欢迎，xiaoming"));
  EXPECT_FALSE(login->isEnabled());
  EXPECT_EQ(login->x(), 550);
  EXPECT_EQ(login->width(), 100);
  // On the wire: the token, the account, the separator and the password, nothing else.
  EXPECT_EQ(run.server().debugPeer().messages().back().payload, "%yhdr%xiaoming\xE7\xBD\xB8pw-2026");
}

TEST(Demo, ConnectionLostThenRegainedOnTheNextTick) {
  DemoRun run;
  run.start();
  ASSERT_TRUE(run.catalogueShown());
  run.server().dropConnections();
  ASSERT_TRUE(run.waitUntil([&] { return run.main().statusBar->panelText(0) == gbk("未连接"); }));
  EXPECT_EQ(run.main().readCaption(), gbk("服务器未启动或检测网络是否畅通"));

  // The reconnect goes to the production endpoint, which greets the client like the debug one.
  run.main().catalogueList->deleteAllRows();
  run.app().onReconnectTimer();
  ASSERT_TRUE(run.waitUntil([&] { return run.main().statusBar->panelText(0) == gbk("已连接"); }));
  EXPECT_EQ(run.main().readCaption(), "Velnox  V1.0.3");
  ASSERT_TRUE(run.server().productionPeer().waitForMessages(1, 5s));
  EXPECT_EQ(run.server().productionPeer().messages().front().payload, toUtf8(helloMessage()));
  EXPECT_TRUE(run.catalogueShown());

  // The refresh tick asks for the catalogue on the new connection, and gets it.
  run.main().catalogueList->deleteAllRows();
  run.app().onRefreshTimer();  // the first tick only sets the five-minute period
  run.app().onRefreshTimer();
  ASSERT_TRUE(run.server().productionPeer().waitForMessages(2, 5s));
  EXPECT_EQ(run.server().productionPeer().messages()[1].payload, "%ov_xml%");
  EXPECT_TRUE(run.catalogueShown());
}

TEST(Demo, DropEveryPeriodCutsTheConnection) {
  demo::DemoOptions options;
  options.dropEvery = 1s;
  DemoRun run(options);
  run.start();
  ASSERT_TRUE(run.waitUntil([&] { return run.main().statusBar->panelText(0) == gbk("未连接"); }, 5s));
  run.app().onReconnectTimer();
  ASSERT_TRUE(run.waitUntil([&] { return run.main().statusBar->panelText(0) == gbk("已连接"); }));
  ASSERT_TRUE(run.waitUntil([&] { return run.main().statusBar->panelText(0) == gbk("未连接"); }, 5s));
}

TEST(Demo, ANewerVersionShowsTheUpdatePanel) {
  demo::DemoOptions options;
  options.newerVersion = true;
  DemoRun run(options);
  run.start();
  ASSERT_NE(run.app().mainWindow(), nullptr);
  EXPECT_TRUE(run.main().updateGroup->isVisible());
  EXPECT_EQ(run.main().updateGroup->x(), 0);
  EXPECT_EQ(run.main().updateNoticeEdit->readText(),
            gbk("版本号：1.0.4\r\n新增：详情页支持滚轮快速翻页\r\n修复：断线重连后登入按钮位置不对\r\n"
                "优化：目录刷新更快，封面加载更稳\r\n"));
  EXPECT_EQ(run.main().updateUrlEdit->readText(), run.url("/download/1.0.4"));
  QTest::mouseClick(run.main().openUpdateButton, Qt::LeftButton);
  ASSERT_EQ(run.opened().size(), 1u);
  EXPECT_EQ(run.opened().front(), run.url("/download/1.0.4"));
}

TEST(Demo, AMissingUpdateDocumentEndsTheRunAfterTheFatalBox) {
  DemoRun run({}, [](Config& config) { config.updateFeedAddress += "-withdrawn"; });
  QSignalSpy finished(&run.app(), &Application::finished);
  run.start();
  ASSERT_EQ(run.boxes().size(), 1u);
  EXPECT_EQ(run.boxes()[0].text, "软件连接失败，请联系作者！");
  EXPECT_EQ(run.boxes()[0].title, "致命错误");
  ASSERT_TRUE(run.waitUntil([&] { return finished.count() == 1; }));
  EXPECT_EQ(run.app().mainWindow(), nullptr);
}

TEST(Demo, ClosingTheMainWindowEndsTheRunCleanly) {
  const int exitsBefore = programExitRuns();
  {
    DemoRun run;
    run.start();
    ASSERT_TRUE(run.catalogueShown());
    ASSERT_NE(run.openItem(5), nullptr);
    QSignalSpy finished(&run.app(), &Application::finished);
    const auto client = run.server().debugPeer().openClients();
    ASSERT_EQ(client.size(), 1u);

    run.main().close();
    ASSERT_TRUE(run.waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(run.app().mainWindow(), nullptr);
    EXPECT_TRUE(run.waitUntil([&] { return run.app().detailWindow() == nullptr; }));
    EXPECT_TRUE(run.server().debugPeer().waitForClosed(client.front(), 5s));
    // The connection was closed by us: nothing came back as a lost connection.
    EXPECT_TRUE(run.server().productionPeer().openClients().empty());
  }
  EXPECT_EQ(programExitRuns(), exitsBefore + 1);
}

}  // namespace
}  // namespace velnox::test
