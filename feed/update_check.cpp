#include "feed/update_check.h"

#include <system_error>
#include <utility>

#include "app/application.h"
#include "app/window_ops.h"
#include "feed/feed_reader.h"
#include "util/encoding.h"

namespace velnox {

namespace {

const Text kVersionLabel = "\xB0\xE6\xB1\xBE\xBA\xC5\xA3\xBA";  // 版本号：
// 软件连接失败，请联系作者！
const Text kFailureText =
    "\xC8\xED\xBC\xFE\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xC1\xAA\xCF\xB5\xD7\xF7\xD5\xDF\xA3"
    "\xA1";
const Text kFailureTitle = "\xD6\xC2\xC3\xFC\xB4\xED\xCE\xF3";  // 致命错误

std::future<TextList> readInBackground(Text address) {
  auto read = [address = std::move(address)] {
    TextList items;
    readFeedItems(address, items);
    return items;
  };
  try {
    return std::async(std::launch::async, read);
  } catch (const std::system_error&) {
    // No thread to be had: the document is then read when its items are asked for.
    return std::async(std::launch::deferred, read);
  }
}

}  // namespace

StartupFeeds startFeedReads(const Config& config) {
  // Each read blocks for as long as its server takes; side by side, start-up waits for the
  // slower of the two documents instead of both one after the other.
  return StartupFeeds{readInBackground(fromUtf8(config.updateFeedAddress)),
                      readInBackground(fromUtf8(config.noticeFeedAddress))};
}

double versionNumber(std::string_view version) { return toNumber(replace(version, ".", "", true)); }

bool isNewerVersion(std::string_view published, std::string_view own) {
  return versionNumber(published) > versionNumber(own);
}

Text updateNoticeText(const TextList& items) {
  Text text = kVersionLabel;
  for (size_t k = 0; k + 1 < items.size(); ++k) text = concat({text, items[k], "\r\n"});
  return text;
}

void checkForUpdate(Application& app, TextList updateItems) {
  MainWindow* main = app.mainWindow();
  if (!main) return;
  // The panel moves over the catalogue list now and is only shown when an update is found.
  setLeft(main->updateGroup, 0);

  if (updateItems.empty()) {
    // Without the update document the program cannot tell whether it may run: it says so
    // and ends the run once the user has read the box.
    showMessageBox(kFailureText, kFailureTitle);
    if (MainWindow* still = app.mainWindow()) still->destroyWindow();
    return;
  }

  if (!isNewerVersion(updateItems.front(), main->tag())) return;
  main->updateNoticeEdit->setVisible(true);
  main->updateGroup->setVisible(true);
  main->updateNoticeEdit->writeText(updateNoticeText(updateItems));
  // With a single item, the version itself is taken as the address.
  main->updateUrlEdit->appendText(updateItems.back());
}

void readNoticeFeed(Application& app, TextList noticeItems) {
  app.state().noticeLines = std::move(noticeItems);
}

void openUpdateAddress(Application& app) {
  MainWindow* main = app.mainWindow();
  if (!main) return;
  // The address came from the network: only a web address is handed to the browser.
  openAddress(main->updateUrlEdit->readText());
}

}  // namespace velnox
