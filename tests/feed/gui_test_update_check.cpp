// The update check and the notice lines at start, with the whole application on loopback:
// the update panel, the fatal box when the update document yields nothing, the notice lines,
// the update button, and both documents fetched side by side.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <condition_variable>
#include <mutex>

#include "app/window_ops.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

// Resets the test hooks of the window operations whatever the test's outcome.
struct HookGuard {
  ~HookGuard() {
    setMessageBoxHook({});
    setOpenAddressHook({});
  }
};

struct PanelCase {
  const char* what;
  const char* document;  // UTF-8
  bool shown;
  const char* noticeText;  // UTF-8, CR LF as read back from the box
  const char* address;
};

const PanelCase kPanelCases[] = {
    {"newer patch version", "【1.0.4】【fix A】【fix B】【https://dl.example/v104.exe】summary", true,
     "版本号：1.0.4\r\nfix A\r\nfix B\r\n", "https://dl.example/v104.exe"},
    {"version and address only", "【1.0.4】【https://dl.example/v104.exe】summary", true, "版本号：1.0.4\r\n",
     "https://dl.example/v104.exe"},
    {"a single item is the version and the address", "【1.0.4】summary", true, "版本号：", "1.0.4"},
    {"1.0.10 is 1010, above 103", "【1.0.10】【修复若干问题】【https://dl.example/x】summary", true,
     "版本号：1.0.10\r\n修复若干问题\r\n", "https://dl.example/x"},
    {"the same version", "【1.0.3】【https://dl.example/x】summary", false, "", ""},
    {"1.1 is 11, below 103", "【1.1】【https://dl.example/x】summary", false, "", ""},
    {"2 is below 103", "【2】【https://dl.example/x】summary", false, "", ""},
    {"a version that is no number counts as 0", "【v2.0】【https://dl.example/x】summary", false, "", ""},
};

TEST(UpdateCheck, PanelShownOnlyForAHigherVersionNumber) {
  for (const PanelCase& c : kPanelCases) {
    SCOPED_TRACE(c.what);
    AppHarness h({.updateDocument = c.document});
    h.start();
    MainWindow& main = h.main();
    ASSERT_FALSE(main.isMarkedForDestruction());
    ASSERT_TRUE(main.isVisible());
    EXPECT_EQ(main.updateGroup->x(), 0);  // moved over the list whether shown or not
    EXPECT_EQ(main.updateGroup->isVisible(), c.shown);
    EXPECT_EQ(main.updateNoticeEdit->isVisible(), c.shown);
    EXPECT_FALSE(main.updateUrlEdit->isVisible());
    EXPECT_EQ(main.updateNoticeEdit->readText(), gbk(c.noticeText));
    EXPECT_EQ(main.updateUrlEdit->readText(), gbk(c.address));
    // Shown, it lies over the catalogue list: a point of the list belongs to the panel.
    QWidget* atList = main.childAt(main.catalogueList->geometry().center());
    EXPECT_EQ(atList && (atList == main.updateGroup || main.updateGroup->isAncestorOf(atList)), c.shown);
  }
}

TEST(UpdateCheck, NoItemsShowTheFatalBoxAndEndTheRun) {
  HookGuard guard;
  const char* const documents[] = {
      "",                                // nothing served
      "【1.0.4】【https://x/】",         // items, but no "summary" to cut at
      "summary【1.0.4】【https://x/】",  // items only after the cut
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    AppHarness h({.updateDocument = document});
    int boxes = 0;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool mainShownDuringBox = true;
    setMessageBoxHook([&](QMessageBox& box) {
      ++boxes;
      text = box.text();
      title = box.windowTitle();
      icon = box.icon();
      mainShownDuringBox = h.app().mainWindow() && h.app().mainWindow()->isVisible();
      box.button(QMessageBox::Ok)->click();
    });
    QSignalSpy finished(&h.app(), &Application::finished);
    h.start();

    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(text, QString::fromUtf8("软件连接失败，请联系作者！"));
    EXPECT_EQ(title, QString::fromUtf8("致命错误"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_FALSE(mainShownDuringBox);
    // The notice document is still read after the failed check; then the run ends without
    // the main window ever being shown.
    EXPECT_EQ(h.app().state().noticeLines.size(), 2u);
    ASSERT_TRUE(h.waitUntil([&] { return h.app().mainWindow() == nullptr; }));
    EXPECT_EQ(finished.count(), 1);
  }
}

TEST(NoticeFeed, ItemsBecomeTheNoticeLines) {
  AppHarness h({.noticeDocument = "【请勿相信私下交易】【】【资源仅供学习交流\r\n第二行】summary【不算】"});
  h.start();
  EXPECT_EQ(h.app().state().noticeLines,
            (TextList{gbk("请勿相信私下交易"), "", gbk("资源仅供学习交流\r\n第二行")}));
}

TEST(NoticeFeed, AFailedNoticeDocumentLeavesNoLinesAndTheRunGoesOn) {
  AppHarness h({.noticeDocument = "没有条目"});
  h.start();
  EXPECT_TRUE(h.app().state().noticeLines.empty());
  EXPECT_TRUE(h.main().isVisible());
}

TEST(UpdateCheck, TheButtonOpensOnlyAWebAddress) {
  HookGuard guard;
  struct Case {
    const char* address;
    bool opened;
  };
  const Case cases[] = {
      {"https://dl.example/v104.exe", true},
      {"http://dl.example/v104.exe", true},
      {"file:///usr/bin/xterm", false},
      {"xterm", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    AppHarness h({.updateDocument = std::string("【1.0.4】【") + c.address + "】summary"});
    std::vector<Text> opened;
    setOpenAddressHook([&](const Text& address) { opened.push_back(address); });
    h.start();
    ASSERT_TRUE(h.main().openUpdateButton->isVisible());
    QTest::mouseClick(h.main().openUpdateButton, Qt::LeftButton);
    EXPECT_EQ(opened, c.opened ? std::vector<Text>{c.address} : std::vector<Text>{});
  }
}

// Each document's server holds its answer until the other document has been asked for too
// (or a few seconds have passed). Fetched one after the other, neither sees the other.
TEST(StartupFeeds, BothDocumentsAreRequestedBeforeEitherIsAnswered) {
  AppHarness h({.updateDocument = "【1.0.4】【https://dl.example/x】summary",
                .noticeDocument = "【a】【b】【c】summary"});
  std::mutex mutex;
  std::condition_variable arrived;
  int waiting = 0;
  bool overlapped[2] = {false, false};
  auto holdUntilBoth = [&](int which, std::string body) {
    return [&, which, body](const httplib::Request&, httplib::Response& response) {
      {
        std::unique_lock lock(mutex);
        ++waiting;
        arrived.notify_all();
        overlapped[which] = arrived.wait_for(lock, 3s, [&] { return waiting >= 2; });
      }
      response.set_content(body, "text/plain; charset=utf-8");
    };
  };
  h.http().on("/update", holdUntilBoth(0, "【1.0.4】【https://dl.example/x】summary"));
  h.http().on("/notice", holdUntilBoth(1, "【a】【b】【c】summary"));
  h.start();

  std::lock_guard lock(mutex);
  EXPECT_TRUE(overlapped[0]);
  EXPECT_TRUE(overlapped[1]);
  // Applied in their fixed order all the same.
  EXPECT_TRUE(h.main().updateGroup->isVisible());
  EXPECT_EQ(h.app().state().noticeLines, (TextList{"a", "b", "c"}));
}

}  // namespace
}  // namespace velnox::test
