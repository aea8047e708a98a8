// The catalogue list and the advertising slots of the main window, driven by messages from
// the test server through the real dispatcher.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <ctime>

#include "app/qt_text.h"
#include "app/window_ops.h"
#include "tests/support/app_harness.h"
#include "util/gbk_literal.h"
#include "views/catalogue_logic.h"

namespace velnox::test {
namespace {

using namespace std::chrono_literals;

std::string localTimeText(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

std::vector<std::vector<Text>> rowsOf(ListView* list) {
  std::vector<std::vector<Text>> rows;
  for (int r = 0; r < list->rowCount(); ++r)
    rows.push_back({list->cellText(r, 0), list->cellText(r, 1), list->cellText(r, 2)});
  return rows;
}

TEST(Catalogue, MessageRebuildsTheNumberedListInOneStep) {
  AppHarness h;
  h.start();
  ListView* list = h.main().catalogueList;
  const std::time_t now = std::time(nullptr);
  const Text year100 = std::to_string(localNow().year - 100) + gbk("年前");
  // A "#"-only line keeps its number; an unreadable time and a missing time read as year 100.
  h.sendToClient(concat({"$ov_ml$\r\n", gbk("资源甲#"), localTimeText(now - 2 * 3600), "#extra\r\n\r\n##\r\n",
                         gbk("资源乙#2026年x"), "\r\n", gbk("只有名称"), "\r\n"}));
  ASSERT_TRUE(h.waitUntil([&] { return list->rowCount() > 0; }));
  EXPECT_EQ(rowsOf(list), (std::vector<std::vector<Text>>{{"1", gbk("资源甲"), gbk("2小时前")},
                                                          {"3", gbk("资源乙"), year100},
                                                          {"4", gbk("只有名称"), year100}}));

  // The next catalogue replaces the rows and the selection with them.
  list->selectRow(2);
  QSignalSpy resets(list->listModel(), &QAbstractItemModel::modelReset);
  QSignalSpy inserts(list->listModel(), &QAbstractItemModel::rowsInserted);
  h.sendToClient(gbk("$ov_ml$资源丙#2020-01-01"));
  ASSERT_TRUE(h.waitUntil([&] { return list->cellText(0, 1) == gbk("资源丙"); }));
  EXPECT_EQ(list->rowCount(), 1);
  EXPECT_EQ(list->selectedRow(), -1);
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(inserts.count(), 0);

  h.sendToClient("$ov_ml$");
  ASSERT_TRUE(h.waitUntil([&] { return list->rowCount() == 0; }));
}

TEST(Catalogue, LongListShowsReadsAndSendsTheSameCells) {
  AppHarness h;
  h.start();
  ASSERT_TRUE(h.server().waitForMessages(1, 5s));  // the hello
  ListView* list = h.main().catalogueList;
  const int n = 3000;
  const std::string published = localTimeText(std::time(nullptr) - 2 * 3600);
  std::string message = "$ov_ml$";
  for (int i = 0; i < n; ++i) message += gbk("资源") + std::to_string(i) + "#" + published + "\r\n";
  h.sendToClient(message);
  ASSERT_TRUE(h.waitUntil([&] { return list->rowCount() == n; }));

  // A row far down, brought into view: what is painted is what the list reads back, and a
  // double-click asks for that row's name.
  const int row = 2500;
  const QModelIndex name = list->listModel()->index(row, 1);
  list->scrollTo(name);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  EXPECT_EQ(list->cellText(row, 0), "2501");
  EXPECT_EQ(list->cellText(row, 1), gbk("资源2500"));
  EXPECT_EQ(list->cellText(row, 2), gbk("2小时前"));
  for (int column = 0; column < 3; ++column)
    EXPECT_EQ(fromQString(list->listModel()->index(row, column).data().toString()),
              list->cellText(row, column));
  const QPoint centre = list->visualRect(name).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  ASSERT_TRUE(h.server().waitForMessages(2, 5s));
  EXPECT_EQ(h.receivedTexts().at(1), gbk("%ov_mc%资源2500"));

  // Changing one cell or adding a row leaves every other cell as it was.
  ASSERT_TRUE(list->setCellText(0, 1, "x"));
  EXPECT_EQ(list->insertRow(), n);
  EXPECT_EQ(list->rowCount(), n + 1);
  EXPECT_EQ(list->cellText(0, 1), "x");
  EXPECT_EQ(list->cellText(0, 2), gbk("2小时前"));
  EXPECT_EQ(list->cellText(n - 1, 1), gbk("资源2999"));
  EXPECT_EQ(list->cellText(n, 1), "");
}

Bytes png(QColor colour) {
  QImage image(60, 20, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return Bytes(data.constData(), static_cast<size_t>(data.size()));
}

TEST(AdSlots, BannerShowsSlotOneThenRotatesAndOpensTheShownPicturesAddress) {
  AppHarness h;
  const Bytes a = png(Qt::red), b = png(Qt::green), c = png(Qt::blue), left = png(Qt::gray);
  for (const auto& [path, body] :
       {std::pair{"/a.png", a}, {"/b.png", b}, {"/c.png", c}, {"/left.png", left}}) {
    h.http().on(path,
                [body](const httplib::Request&, httplib::Response& r) { r.set_content(body, "image/png"); });
  }
  h.start();
  MainWindow& main = h.main();
  AppState& s = h.app().state();
  std::vector<Text> opened;
  setOpenAddressHook([&](const Text& address) { opened.push_back(address); });

  // Line 3 is malformed: slot 3 stays empty and the others are still stored.
  h.sendToClient(concat({"$ov_gg$", h.http().url("/a.png"), "|http://ad/a\r\n", h.http().url("/b.png"),
                         "|http://ad/b\r\nbroken\r\n", h.http().url("/left.png"), "|http://ad/left\r\n",
                         h.http().url("/missing.png"), "|http://ad/right"}));
  ASSERT_TRUE(h.waitUntil([&] { return s.rightAdUrl == "http://ad/right"; }));
  EXPECT_EQ(main.bannerPicture->readPicture(), a);
  EXPECT_EQ(s.bannerClickUrl, "http://ad/a");
  EXPECT_EQ(s.bannerImageB, b);
  EXPECT_TRUE(s.bannerImageC.empty());
  EXPECT_TRUE(s.bannerUrlC.empty());
  EXPECT_EQ(s.leftAdImage, left);
  EXPECT_EQ(s.adEntryPictureUrl, h.http().url("/missing.png"));
  EXPECT_EQ(s.adEntryClickUrl, "http://ad/right");

  // Hidden until switched on; switches never hide anything.
  EXPECT_FALSE(main.bannerPicture->isVisible());
  h.sendToClient("$ov_pz$1");
  ASSERT_TRUE(h.waitUntil([&] { return main.bannerPicture->isVisible(); }));
  EXPECT_EQ(main.bannerPicture->x(), 0);
  EXPECT_FALSE(main.loginButton->isVisible());
  h.sendToClient("$ov_pz$0|1|1");
  ASSERT_TRUE(h.waitUntil([&] { return main.loginButton->isVisible(); }));
  EXPECT_TRUE(main.bannerPicture->isVisible());

  // A, then on each tick B, C (empty here), A; a click opens the address of what is shown.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  QTest::mouseClick(main.bannerPicture, Qt::LeftButton);
  const std::pair<Bytes, Text> expected[] = {
      {b, "http://ad/b"}, {Bytes(), ""}, {a, "http://ad/a"}, {b, "http://ad/b"}};
  for (const auto& [picture, address] : expected) {
    h.app().onReconnectTimer();
    EXPECT_EQ(main.bannerPicture->readPicture(), picture);
    EXPECT_EQ(s.bannerClickUrl, address);
    QTest::mouseClick(main.bannerPicture, Qt::LeftButton);
  }
  setOpenAddressHook(nullptr);
  // The empty address of slot 3 opens nothing.
  EXPECT_EQ(opened, (std::vector<Text>{"http://ad/a", "http://ad/b", "http://ad/a", "http://ad/b"}));
}

}  // namespace
}  // namespace velnox::test
