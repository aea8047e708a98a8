#pragma once
// The two documents read at start: the update document (is a newer version published, and
// where) and the notice document (the lines shown in every detail window).
//
// The update document's items by position: item 1 the published version, the items between
// the release notes, the last item the download address. Nothing checks that shape.
#include <future>
#include <string_view>

#include "util/config.h"
#include "util/text.h"

namespace velnox {

class Application;

// Both documents, fetched at once on workers while the connection is being made.
struct StartupFeeds {
  std::future<TextList> updateItems;
  std::future<TextList> noticeItems;
};
StartupFeeds startFeedReads(const Config& config);

// Fills the update panel from the update document's items, or shows the fatal box and
// destroys the main window when the document yielded nothing.
void checkForUpdate(Application& app, TextList updateItems);
// Keeps the notice document's items for the detail windows.
void readNoticeFeed(Application& app, TextList noticeItems);
// A click on openUpdateButton.
void openUpdateAddress(Application& app);

// --- The arithmetic of the update check, as plain functions ---

// A version text as a number: every "." removed, the rest read as a number. "1.0.3" is 103,
// "1.1" is 11 and "1.0.10" is 1010; a text that is not a number is 0.
double versionNumber(std::string_view version);
// Whether the published version's number is above our own.
bool isNewerVersion(std::string_view published, std::string_view own);
// The update panel's text: "版本号：", then every item but the last, each followed by CR LF.
// A single item leaves "版本号：" alone.
Text updateNoticeText(const TextList& items);

}  // namespace velnox
