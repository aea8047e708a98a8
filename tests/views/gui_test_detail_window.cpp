// The detail window end to end: a double-click asks the test server for the row's detail,
// the answers fill the hidden window during its wait, the page is laid out and scrolled;
// windows that are gone or replaced are never touched.
#include <gtest/gtest.h>

#include <QScrollBar>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/window_ops.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"
#include "util/picture.h"
#include "views/detail_view.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

Bytes png(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return Bytes(data.constData(), static_cast<size_t>(data.size()));
}

void serve(AppHarness& h, const std::string& path, const Bytes& body) {
  h.http().on(path, [body](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "image/png");
  });
}

// A started application with a two-line catalogue and two notice lines.
void startWithCatalogue(AppHarness& h) {
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));  // the hello
  h.app().state().noticeLines = {gbk("请勿相信私下交易"), gbk("资源仅供学习交流")};
  h.sendToClient(gbk("$ov_ml$资源甲#2026-01-01 08:00:00\r\n资源乙#2026-02-01"));
  ASSERT_TRUE(h.waitUntil([&] { return h.main().catalogueList->rowCount() == 2; }));
}

void doubleClickRow(ListView* list, int row) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const QRect rect = list->visualRect(list->listModel()->index(row, 1));
  // As the platform delivers a double-click: a press and release, then the double-click.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

TEST(DetailWindow, DoubleClickAnswersDuringTheWaitThenShownLaidOutAndScrolled) {
  AppHarness h;
  const Bytes cover = png(490, 980, Qt::darkGreen), left = png(105, 700, Qt::red),
              right = png(105, 700, Qt::blue);
  serve(h, "/cover.png", cover);
  serve(h, "/left.png", left);
  serve(h, "/right.png", right);
  startWithCatalogue(h);
  const auto client = h.client();
  h.sendToClient(concat({"$ov_gg$", h.http().url("/a"), "|http://a/\r\n", h.http().url("/b"),
                         "|http://b/\r\n", h.http().url("/c"), "|http://c/\r\n", h.http().url("/left.png"),
                         "|http://left/\r\n", h.http().url("/right.png"), "|http://right/"}));
  ASSERT_TRUE(h.waitUntil([&] { return h.app().state().rightAdImage == right; }));

  // The server answers the request as soon as it arrives, while the new window waits.
  std::atomic<bool> answered = false;
  std::thread server([&] {
    if (!h.server().waitForMessages(2, 5s)) return;
    h.server().send(client, toUtf8(gbk("$ov_dz$\r\nhttp://pan/x|abcd|pw\r\n")));
    h.server().send(client, toUtf8("$ov_tp$" + h.http().url("/cover.png")));
    answered = true;
  });
  doubleClickRow(h.main().catalogueList, 1);
  server.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(h.receivedTexts().at(1), gbk("%ov_mc%资源乙"));

  DetailWindow* d = h.app().detailWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  ASSERT_TRUE(h.waitUntil([&] { return d->coverPicture->readPicture() == cover; }));
  EXPECT_EQ(d->readCaption(), gbk("资源乙"));
  EXPECT_EQ(d->bodyEdit->readText(), gbk("链接：http://pan/x\r\n提取码：abcd\r\n解压密码：pw"));
  EXPECT_EQ(d->noticeEdit->readText(), gbk("请勿相信私下交易\r\n资源仅供学习交流\r\n"));
  // Every notice line is in view, the first one included.
  EXPECT_EQ(d->noticeEdit->verticalScrollBar()->value(), 0);
  for (PictureBox* box : {d->coverPicture, d->leftAdPicture, d->rightAdPicture})
    EXPECT_FALSE(box->hasBorder());
  EXPECT_EQ(d->noticeEdit->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(d->leftAdPicture->readPicture(), left);
  EXPECT_EQ(d->rightAdPicture->readPicture(), right);
  // Side pictures stay hidden until the server switches them on.
  EXPECT_FALSE(d->leftAdPicture->isVisible());

  // Layout: cover 980 high, notice lines right below it, the body below them.
  EXPECT_EQ(d->coverPicture->geometry(), QRect(105, 11, 490, 980));
  EXPECT_EQ(d->noticeEdit->geometry(), QRect(105, 991, 500, 40));
  EXPECT_EQ(d->bodyEdit->geometry(), QRect(105, 1031, 500, 90));
  EXPECT_EQ(d->detailPanel->height(), 980 + 40 + 90 + 16);
  const int maximum = 980 + 40 + 90 + 16 - 720;
  EXPECT_EQ(d->detailScrollBar->readMaximum(), maximum);

  // The wheel moves the page and keeps the side pictures beside the visible part; the last
  // step snaps to the end.
  h.app().scrollByWheel(-1);
  EXPECT_EQ(d->detailScrollBar->readPosition(), 50);
  EXPECT_EQ(d->detailPanel->y(), -50);
  EXPECT_EQ(d->leftAdPicture->y(), 61);
  EXPECT_EQ(d->rightAdPicture->y(), 61);
  h.app().scrollByWheel(-7);
  EXPECT_EQ(d->detailScrollBar->readPosition(), maximum);
  EXPECT_EQ(d->detailPanel->y(), -maximum);
  EXPECT_EQ(d->rightAdPicture->y(), maximum + 11);

  // The user's own move of the bar moves the page only.
  d->detailScrollBar->triggerAction(QAbstractSlider::SliderPageStepSub);
  const int position = d->detailScrollBar->readPosition();
  EXPECT_LT(position, maximum);
  EXPECT_EQ(d->detailPanel->y(), -position);
  EXPECT_EQ(d->leftAdPicture->y(), maximum + 11);

  // The side pictures, once switched on, open their own addresses.
  h.sendToClient("$ov_pz$0|1|0");
  ASSERT_TRUE(h.waitUntil([&] { return d->leftAdPicture->isVisible(); }));
  EXPECT_TRUE(d->rightAdPicture->isVisible());
  EXPECT_FALSE(h.main().bannerPicture->isVisible());
  EXPECT_FALSE(h.main().loginButton->isVisible());
  std::vector<Text> opened;
  setOpenAddressHook([&](const Text& address) { opened.push_back(address); });
  QTest::mouseClick(d->rightAdPicture, Qt::LeftButton);
  QTest::mouseClick(d->leftAdPicture, Qt::LeftButton);
  setOpenAddressHook(nullptr);
  EXPECT_EQ(opened, (std::vector<Text>{"http://right/", "http://left/"}));
}

TEST(DetailWindow, LaterAnswersChangeTheOpenWindowAndAFailedCoverShowsThePlaceholder) {
  AppHarness h;
  startWithCatalogue(h);
  h.main().catalogueList->selectRow(0);
  h.app().openDetail();
  DetailWindow* d = h.app().detailWindow();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->isVisible());

  h.sendToClient(gbk("$ov_dz$第一行\r\n第二行\r\n第三行"));
  ASSERT_TRUE(h.waitUntil([&] { return !d->bodyEdit->readText().empty(); }));
  EXPECT_EQ(d->bodyEdit->height(), 67);

  // Nothing listens at this address: the download yields nothing.
  h.sendToClient("$ov_tp$http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/cover.png");
  ASSERT_TRUE(h.waitUntil([&] { return !d->coverPicture->readPicture().empty(); }));
  const Bytes& placeholder = placeholderPicture();
  EXPECT_EQ(d->coverPicture->readPicture(), placeholder);
  EXPECT_EQ(pictureWidth(placeholder), 640);
  EXPECT_EQ(pictureHeight(placeholder), 640);
  EXPECT_FALSE(d->coverPicture->image().isNull());
  EXPECT_EQ(d->readCaption(), gbk("资源甲"));
  // The form's cover place stays; the body goes below the notice lines; a short page does not scroll.
  EXPECT_EQ(d->coverPicture->geometry(), QRect(105, 11, 490, 390));
  EXPECT_EQ(d->noticeEdit->y(), 400);
  EXPECT_EQ(d->bodyEdit->y(), 440);
  EXPECT_EQ(d->detailPanel->height(), 714);
  EXPECT_EQ(d->detailScrollBar->readMaximum(), 0);
  h.app().scrollByWheel(-1);
  EXPECT_EQ(d->detailPanel->y(), 0);
  EXPECT_EQ(d->leftAdPicture->y(), 11);

  // A cover whose size cannot be read keeps the form's height, and the page stays usable.
  // The list was rebuilt meanwhile, so no row is selected and the caption is empty.
  h.sendToClient(gbk("$ov_ml$资源丙#2026-03-01"));
  ASSERT_TRUE(h.waitUntil([&] { return h.main().catalogueList->cellText(0, 1) == gbk("资源丙"); }));
  h.http().on("/junk", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("not a picture", "image/png");
  });
  h.sendToClient("$ov_tp$" + h.http().url("/junk"));
  ASSERT_TRUE(h.waitUntil([&] { return d->coverPicture->readPicture() == "not a picture"; }));
  EXPECT_EQ(d->coverPicture->height(), 390);
  EXPECT_EQ(d->noticeEdit->y(), 401);
  EXPECT_EQ(d->readCaption(), "");

  // Destruction clears the body.
  d->completeDestruction();
  EXPECT_EQ(d->bodyEdit->readText(), "");
}

TEST(DetailWindow, MessagesWithoutADetailWindowChangeNothing) {
  AppHarness h;
  startWithCatalogue(h);
  h.sendToClient("$ov_dz$a|b|c");
  h.sendToClient("$ov_tp$" + h.http().url("/nothing"));
  h.sendToClient("$ov_pz$0|1|0");
  h.sendToClient(gbk("$ov_ml$资源丁#2026-03-01"));  // sent last: its arrival says the others were run
  ASSERT_TRUE(h.waitUntil([&] { return h.main().catalogueList->cellText(0, 1) == gbk("资源丁"); }));
  h.app().scrollByWheel(-1);
  h.app().onScrollBarMoved();
  EXPECT_EQ(h.app().detailWindow(), nullptr);

  // No row selected: a double-click opens nothing. The next window starts from its form.
  h.app().openDetail();
  EXPECT_EQ(h.app().detailWindow(), nullptr);
  h.main().catalogueList->selectRow(0);
  h.app().openDetail();
  DetailWindow* d = h.app().detailWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->bodyEdit->readText(), "");
  EXPECT_TRUE(d->coverPicture->readPicture().empty());
  EXPECT_FALSE(d->leftAdPicture->isVisible());
}

int visibleDetailWindows() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<DetailWindow*>(w) && w->isVisible()) ++n;
  return n;
}

TEST(DetailWindow, ASecondDoubleClickDuringTheWaitReplacesTheWindow) {
  AppHarness h;
  startWithCatalogue(h);
  ListView* list = h.main().catalogueList;
  QPointer<DetailWindow> first;
  QTimer::singleShot(100, [&] {
    first = h.app().detailWindow();
    list->selectRow(1);
    h.app().openDetail();
  });
  list->selectRow(0);
  h.app().openDetail();

  DetailWindow* second = h.app().detailWindow();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first.data());
  EXPECT_TRUE(second->isVisible());
  ASSERT_TRUE(h.waitUntil([&] { return first.isNull(); }));
  EXPECT_EQ(visibleDetailWindows(), 1);
  ASSERT_TRUE(h.server().waitForMessages(3, 5s));
  const auto texts = h.receivedTexts();
  EXPECT_EQ(texts[1], gbk("%ov_mc%资源甲"));
  EXPECT_EQ(texts[2], gbk("%ov_mc%资源乙"));
}

TEST(DetailWindow, ClosingTheWindowDuringTheWaitLeavesNothingOpen) {
  AppHarness h;
  startWithCatalogue(h);
  QTimer::singleShot(100, [&] {
    if (DetailWindow* d = h.app().detailWindow()) d->close();
  });
  h.main().catalogueList->selectRow(0);
  h.app().openDetail();
  EXPECT_EQ(h.app().detailWindow(), nullptr);
  EXPECT_EQ(visibleDetailWindows(), 0);
  // The answers that arrive afterwards find no window.
  h.sendToClient("$ov_dz$a|b");
  h.sendToClient(gbk("$ov_ml$资源戊#2026-03-01"));
  ASSERT_TRUE(h.waitUntil([&] { return h.main().catalogueList->cellText(0, 1) == gbk("资源戊"); }));
  EXPECT_EQ(visibleDetailWindows(), 0);
}

}  // namespace
}  // namespace velnox::test
