// The window operations: queued destruction, loading, modal blocking, timer periods, the list
// view, the status bar, edit boxes, the scroll bar, the message box, opening addresses, and
// processing events for a time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "app/window_ops.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"

namespace velnox {
namespace {

void deliverDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(QueuedDestruction, WaitsForTheNextMessage) {
  auto* window = new DetailWindow;
  QPointer<DetailWindow> alive(window);
  QSignalSpy destroying(window, &FormWindow::destroying);
  QSignalSpy gone(window, &FormWindow::gone);
  bool controlsThere = false;
  QObject::connect(window, &FormWindow::destroying, [&] { controlsThere = window->coverPicture != nullptr; });

  window->destroyWindow();
  window->destroyWindow();  // a second request changes nothing
  EXPECT_TRUE(window->isMarkedForDestruction());
  EXPECT_FALSE(window->isDestructionComplete());
  EXPECT_EQ(destroying.count(), 0);  // the handler that asked returns first

  QCoreApplication::processEvents();
  EXPECT_EQ(destroying.count(), 1);
  EXPECT_EQ(gone.count(), 1);
  EXPECT_TRUE(controlsThere);    // the destruction handler still finds the controls
  EXPECT_FALSE(alive.isNull());  // deleted only once control is back in the event loop
  deliverDeferredDeletes();
  EXPECT_TRUE(alive.isNull());
}

TEST(QueuedDestruction, CompletedEarlyRunsOnce) {
  auto* window = new AccountWindow;
  QPointer<AccountWindow> alive(window);
  QSignalSpy destroying(window, &FormWindow::destroying);
  window->destroyWindow();
  window->completeDestruction();  // the same window loaded again before the queue ran
  EXPECT_EQ(destroying.count(), 1);
  QCoreApplication::processEvents();
  window->close();
  EXPECT_EQ(destroying.count(), 1);
  deliverDeferredDeletes();
  EXPECT_TRUE(alive.isNull());
}

TEST(QueuedDestruction, UserCloseDestroysAtOnceAndStopsTimers) {
  auto* window = new MainWindow("x");
  window->startTimers();
  window->show();
  QSignalSpy destroying(window, &FormWindow::destroying);
  QTimer* timer = window->reconnectTimer;
  window->close();
  EXPECT_EQ(destroying.count(), 1);
  EXPECT_FALSE(timer->isActive());
  EXPECT_FALSE(window->isVisible());
  deliverDeferredDeletes();
}

TEST(FrontOp, MinimisedWindowIsRestored) {
  DetailWindow window;
  window.showMinimized();
  window.bringToFront();
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
}

// The whole application, documents served on loopback, no server listening.
class WindowOps : public ::testing::Test {
 protected:
  void SetUp() override {
    harness = std::make_unique<test::AppHarness>(
        test::HarnessOptions{.serverAt = test::HarnessOptions::ServerAt::Nowhere});
    harness->start();
    app = &harness->app();
    ASSERT_NE(app->mainWindow(), nullptr);
  }
  void TearDown() override {
    harness.reset();
    deliverDeferredDeletes();
  }
  std::unique_ptr<test::AppHarness> harness;
  Application* app = nullptr;
};

TEST_F(WindowOps, LoadingCompletesAPendingDestructionFirst) {
  DetailWindow* first = app->loadDetailWindow();
  ASSERT_NE(first, nullptr);
  // Loaded again while it exists: brought to the front, not rebuilt.
  EXPECT_EQ(app->loadDetailWindow(), first);

  first->writeCaption(gbk("旧"));
  QSignalSpy destroying(first, &FormWindow::destroying);
  first->destroyWindow();
  EXPECT_EQ(app->detailWindow(), first);  // still loaded until the queue runs
  DetailWindow* second = app->loadDetailWindow();
  EXPECT_EQ(destroying.count(), 1);  // at once, before the new window
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(app->detailWindow(), second);
  EXPECT_NE(second->readCaption(), gbk("旧"));  // a fresh window from its form

  // The queued request of the old window does not touch the new one.
  QSignalSpy secondDestroying(second, &FormWindow::destroying);
  QCoreApplication::processEvents();
  EXPECT_EQ(destroying.count(), 1);
  EXPECT_EQ(secondDestroying.count(), 0);
  EXPECT_EQ(app->detailWindow(), second);

  // Destroyed by the queue: no longer loaded.
  second->destroyWindow();
  QCoreApplication::processEvents();
  EXPECT_EQ(app->detailWindow(), nullptr);
}

TEST_F(WindowOps, AccountWindowBlocksTheOthersUntilClosed) {
  MainWindow* main = app->mainWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
  main->catalogueList->replaceRows({{"1", "a", "b"}});
  QSignalSpy doubleClicks(main->catalogueList, &ListView::rowDoubleClicked);
  const QPoint row = main->catalogueList->visualRect(main->catalogueList->model()->index(0, 1)).center();

  bool sawModal = false;
  bool returnedBeforeClose = true;
  AccountWindow* seen = nullptr;
  QTimer::singleShot(0, [&] {
    seen = app->accountWindow();
    sawModal = seen && QApplication::activeModalWidget() == seen;
    // Input to the main window goes nowhere while the account window is open.
    QTest::mouseDClick(main->catalogueList->viewport(), Qt::LeftButton, {}, row);
    returnedBeforeClose = false;
    seen->close();
  });
  app->loadAccountWindowModal();
  EXPECT_FALSE(returnedBeforeClose);
  EXPECT_TRUE(sawModal);
  EXPECT_EQ(doubleClicks.count(), 0);
  EXPECT_EQ(app->accountWindow(), nullptr);

  // Closed: the main window takes input again.
  QTest::mouseDClick(main->catalogueList->viewport(), Qt::LeftButton, {}, row);
  EXPECT_EQ(doubleClicks.count(), 1);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowOps, EachAccountWindowStartsFromItsForm) {
  AccountWindow* first = app->showAccountWindowModal();
  first->accountEdit->writeText("someone");
  first->destroyWindow();
  QCoreApplication::processEvents();
  AccountWindow* second = app->showAccountWindowModal();
  EXPECT_TRUE(second->accountEdit->readText().empty());
  EXPECT_EQ(second->hintEdit->readText(), gbk("获取注册校验码"));
  second->close();
}

TEST_F(WindowOps, ClosingTheMainWindowClosesTheOthers) {
  QSignalSpy finished(app, &Application::finished);
  app->loadDetailWindow();
  app->showAccountWindowModal();
  app->mainWindow()->close();
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(app->mainWindow(), nullptr);
  EXPECT_EQ(app->detailWindow(), nullptr);
  EXPECT_EQ(app->accountWindow(), nullptr);
}

TEST(Timers, WritingThePeriodRestartsTheWait) {
  // The form's timer runs at 1000 ms; a write 800 ms in makes the next tick come one new
  // period after the write, not when the old period would have ended 200 ms later.
  MainWindow window("x");
  window.startTimers();
  QTimer* timer = window.reconnectTimer;
  QTest::qWait(800);
  QSignalSpy ticks(timer, &QTimer::timeout);
  QElapsedTimer sinceWrite;
  timer->setInterval(400);
  sinceWrite.start();
  ASSERT_TRUE(ticks.wait(3000));
  EXPECT_GE(sinceWrite.elapsed(), 350);
  EXPECT_EQ(timer->interval(), 400);
  EXPECT_TRUE(timer->isActive());
}

TEST(ListViewOps, RowsCellsAndSelection) {
  ListView list;
  list.setColumns({{gbk("编号"), 50}, {gbk("名称"), 450}, {gbk("发布时间"), 146}});
  EXPECT_EQ(list.selectedRow(), -1);
  EXPECT_EQ(list.insertRow(), 0);
  EXPECT_EQ(list.insertRow(-1), 1);
  EXPECT_EQ(list.insertRow(0), 0);   // before the first
  EXPECT_EQ(list.insertRow(99), 3);  // beyond the end: appended
  EXPECT_EQ(list.rowCount(), 4);

  EXPECT_TRUE(list.setCellText(1, 1, gbk("资源名称")));
  EXPECT_EQ(list.cellText(1, 1), gbk("资源名称"));
  EXPECT_EQ(list.model()->data(list.model()->index(1, 1)).toString(), QString::fromUtf8("资源名称"));
  for (auto [row, column] : {std::pair{-1, 0}, {4, 0}, {0, 3}, {0, -1}}) {
    EXPECT_FALSE(list.setCellText(row, column, "x"));
    EXPECT_EQ(list.cellText(row, column), "");
  }

  list.selectRow(2);
  EXPECT_EQ(list.selectedRow(), 2);
  list.deleteAllRows();
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_EQ(list.selectedRow(), -1);
}

TEST(ListViewOps, BulkReplaceInOneStep) {
  ListView list;
  list.setColumns({{"a", 50}, {"b", 450}, {"c", 146}});
  list.replaceRows({{"1", "x", "y"}});
  list.selectRow(0);

  std::vector<ListModel::Row> rows;
  for (int i = 0; i < 5000; ++i)
    rows.push_back({toText(i), gbk("名称") + toText(i)});  // short rows are padded
  int resets = 0;
  int rowCountSeenAtReset = -1;
  QObject::connect(list.model(), &QAbstractItemModel::modelReset, [&] {
    ++resets;
    rowCountSeenAtReset = list.rowCount();
  });
  list.replaceRows(std::move(rows));
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(rowCountSeenAtReset, 5000);  // no observer sees a half-built list
  EXPECT_EQ(list.cellText(4999, 1), gbk("名称") + "4999");
  EXPECT_EQ(list.cellText(4999, 2), "");
  EXPECT_EQ(list.selectedRow(), -1);
}

TEST(StatusBarOps, PanelTexts) {
  StatusBar bar;
  bar.resize(654, 20);
  bar.setPanels({{50, gbk("未连接"), ""}, {454, "b", ""}});
  bar.setPanelText(0, gbk("已连接"));
  EXPECT_EQ(bar.panelText(0), gbk("已连接"));
  EXPECT_EQ(bar.panelLabel(0)->text(), QString::fromUtf8("已连接"));
  bar.setPanelText(5, "ignored");
  bar.setPanelText(-1, "ignored");
  EXPECT_EQ(bar.panelText(5), "");
  EXPECT_EQ(bar.panelText(1), "b");
}

TEST(EditBoxOps, LinesAreCrLf) {
  MultiLineEditBox box;
  box.writeText(gbk("第一行\r\n第二行"));
  EXPECT_EQ(box.toPlainText(), QString::fromUtf8("第一行\n第二行"));
  box.appendText("x\r\n");
  box.appendText("y");
  EXPECT_EQ(box.readText(), gbk("第一行\r\n第二行x\r\ny"));

  EditBox line;
  line.writeText("http://a");
  line.appendText("/b");
  EXPECT_EQ(line.readText(), "http://a/b");
}

TEST(ScrollBarOps, OnlyUserMovesAreReported) {
  ScrollBar bar;
  bar.writeMaximum(500);
  QSignalSpy moved(&bar, &ScrollBar::userMoved);
  bar.writePosition(100);
  EXPECT_EQ(moved.count(), 0);
  bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.at(0).at(0).toInt(), 101);
  bar.writePosition(500);
  bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);  // already at the end: no move
  bar.writePosition(400);
  EXPECT_EQ(moved.count(), 1);
  bar.writePosition(900);
  EXPECT_EQ(bar.readPosition(), 500);
  bar.writeMaximum(-20);
  EXPECT_EQ(bar.readMaximum(), 0);
  EXPECT_EQ(bar.minimum(), 0);
}

TEST(MessageBoxOp, ShowsTextIconAndTitleUntilDismissed) {
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool wasVisible = false;
  setMessageBoxHook([&](QMessageBox& box) {
    text = box.text();
    title = box.windowTitle();
    icon = box.icon();
    wasVisible = box.isVisible();
    box.accept();
  });
  showMessageBox(gbk("软件连接失败，请联系作者！"), gbk("致命错误"));
  setMessageBoxHook(nullptr);
  EXPECT_TRUE(wasVisible);
  EXPECT_EQ(text, QString::fromUtf8("软件连接失败，请联系作者！"));
  EXPECT_EQ(title, QString::fromUtf8("致命错误"));
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(OpenAddressOp, OnlyWebAddressesReachTheBrowser) {
  std::vector<Text> opened;
  setOpenAddressHook([&](const Text& address) { opened.push_back(address); });
  const struct {
    const char* address;
    bool opens;
  } cases[] = {
      {"http://example.org/a?b=1", true},
      {"https://example.org", true},
      {"HTTPS://EXAMPLE.ORG/X", true},
      {"", false},
      {"file:///etc/passwd", false},
      {"/usr/bin/xterm", false},
      {"calc.exe", false},
      {"javascript:alert(1)", false},
      {"ftp://example.org/f", false},
      {"http://", false},
      {" http://example.org", false},
      {"mailto:someone@example.org", false},
  };
  for (const auto& c : cases) {
    opened.clear();
    EXPECT_EQ(openAddress(c.address), c.opens) << c.address;
    EXPECT_EQ(opened.size(), c.opens ? 1u : 0u) << c.address;
    if (c.opens && !opened.empty()) {
      EXPECT_EQ(opened[0], c.address);
    }
  }
  setOpenAddressHook(nullptr);
}

TEST(ProcessEventsOp, DispatchesForTheWholeTime) {
  bool ran = false;
  QTimer::singleShot(20, [&] { ran = true; });
  QElapsedTimer clock;
  clock.start();
  processEventsFor(150);
  EXPECT_TRUE(ran);
  EXPECT_GE(clock.elapsed(), 140);
}

}  // namespace
}  // namespace velnox
